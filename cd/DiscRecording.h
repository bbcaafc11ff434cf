// Writing an audio CD from conversion sources (IAudioCD::RecordDisc): every source is
// converted into a Red Book track file (RedBookDest.h), and the drive engine writes the files
// disc-at-once. Runs on the caller's thread; the engine calls the progress handler there.
#pragma once

#include "Drive.h"
#include "TrelvoxCD.h"

#include <string>
#include <vector>

namespace cdrip {

// RecordDisc's work for a checked request: mode 1 an audio disc; modes 2 and 3 (ISO 9660
// data discs) fail through the callback with E_NOTIMPL.
HRESULT RecordDisc(cdengine::Drive& drive, int mode, const RecordRequest& request,
                   IConvertCallback* callback);

// The recording alone, from finished track files in disc order (the conversion's results),
// asking Retry or Cancel after each failure. S_OK, E_FAIL after Cancel, E_ABORT when the
// callback cancelled.
HRESULT RecordTrackFiles(cdengine::Drive& drive, const std::vector<std::string>& paths,
                         const RecordRequest& request, IConvertCallback* callback);

// RecordDisc's checks: the size, 1 to 99 sources that are all there, a known speed index.
bool IsValidRequest(const RecordRequest* request);

// The drive's highest write speed index, -1 when it does not write CD-R.
int MaxWriteSpeed(cdengine::Drive& drive);
// Minutes a recording of frames takes at speedIndex (255: the drive's fastest), lead-in and
// lead-out included; E_INVALIDARG for an unknown index.
int EstimateRecordingTime(cdengine::Drive& drive, int speedIndex, uint32_t frames);

// The box that asks Retry or Cancel after a failed recording is MessageBoxA; tests answer it
// through one of their own. Returns the one before.
using MessageBoxFunction = int(WINAPI*)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
MessageBoxFunction SetRecordingMessageBox(MessageBoxFunction box);

} // namespace cdrip
