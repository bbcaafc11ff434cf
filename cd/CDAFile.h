// A .cda file: the small RIFF file by which Windows shows each track of an audio CD in the
// drive's root ("D:\Track01.cda"); it holds the track record that finds the track again.
#pragma once

#include "TrackRecord.h"

#include <windows.h>

class CCDAFile {
public:
    // path is copied (at most 259 characters).
    void SetPath(const char* path);
    // S_OK with the record of the form's last 24-byte "fmt " chunk; E_INVALIDARG for an
    // empty path; E_FAIL when the file cannot be opened, is not a RIFF form "CDDA" or has no
    // such chunk. Nothing is reported anywhere else.
    HRESULT ReadRecord(cdrip::TrackRecord* out);

private:
    char m_path[MAX_PATH] = {};
    cdrip::TrackRecord m_record = {};
};
