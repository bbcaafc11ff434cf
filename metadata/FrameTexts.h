// Fixed English texts the edit dialogs and the frame list show.
#pragma once

namespace trelvox {

constexpr unsigned kPictureTypeCount = 21;
constexpr int kLongDescriptionSlots = 95;

// The name of an ID3v2 picture type byte (0-20), or null. The dialogs list them in this
// order, so a list index is the type byte.
const char* PictureTypeName(unsigned type);

// A one- or two-sentence explanation of the frame identifier, or null for frames the model
// does not describe (and for identifiers outside the table).
const char* FrameLongDescription(int frameId);

} // namespace trelvox
