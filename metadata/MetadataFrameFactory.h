#pragma once

#include <windows.h>

class ID3_Frame;

namespace trelvox {

// Wraps frame in a frame object of the class that serves frameId and queries it for iid.
// With owns the frame belongs to this call from the start: the object deletes it on its
// final release, and any failure deletes it at once.
// E_INVALIDARG for a null frame or out, or a frame identifier without a frame object.
HRESULT CreateFrameObject(int frameId, ID3_Frame* frame, bool owns, REFIID iid, void** out);

} // namespace trelvox
