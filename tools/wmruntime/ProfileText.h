// Profiles as .prx text: the XML that IWMProfileManager::SaveProfile writes and
// LoadProfileByData reads (see the README for the elements and attributes).
#pragma once

#include "Profile.h"

namespace wmruntime {

std::u16string ProfileToText(const ProfileData& profile);
// False when the text is not a profile (no <profile> element, a stream without a type, a
// number that is no number).
bool ProfileFromText(const std::u16string& text, ProfileData* profile);

} // namespace wmruntime
