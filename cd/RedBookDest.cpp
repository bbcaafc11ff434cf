#include "RedBookDest.h"

#include <string.h>

namespace {

bool IsRedBook(const WAVEFORMATEX& format) {
    return format.wFormatTag == WAVE_FORMAT_PCM && format.nSamplesPerSec == 44100 && format.nChannels == 2 &&
           format.wBitsPerSample == 16;
}

} // namespace

WAVEFORMATEX RedBookFormat() {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.nAvgBytesPerSec = 176400;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    return format;
}

CRedBookDest::~CRedBookDest() {
    DeleteTracks();
}

void* CRedBookDest::FindInterface(REFIID riid) {
    return IsEqualIID(riid, IID_IConvertDestination) ? static_cast<IConvertDestination*>(this) : nullptr;
}

bool CRedBookDest::AddTrack() {
    if (m_tracks.size() >= kMaxTracks)
        return false;
    auto track = std::make_unique<Track>();
    // GetTempFileName has made the file; it is written from Open on, and stays this entry's to
    // delete.
    if (!track->file.Create("bcd") || !track->file.Close())
        return false;
    m_tracks.push_back(std::move(track));
    return true;
}

void CRedBookDest::DeleteTracks() {
    Close();
    m_tracks.clear();
}

int32_t CRedBookDest::GetFormatIndex() {
    return -1;
}

int32_t CRedBookDest::SetFormatIndex(int32_t) {
    return -1;
}

bool CRedBookDest::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_RedBookDest;
    return true;
}

bool CRedBookDest::SetFileName(const char*) {
    return false;
}

bool CRedBookDest::GetFileName(char*, int) {
    return false;
}

bool CRedBookDest::SetFormat(const WAVEFORMATEX* wfx) {
    if (!wfx)
        return false;
    memcpy(&m_format, wfx, sizeof(WAVEFORMATEX));
    return true;
}

bool CRedBookDest::Open() {
    if (m_tracks.empty()) {
        SetError("Track count is zero");
        return false;
    }
    Close();
    m_output.reset(fopen(m_tracks.back()->file.Path(), "wb"));
    if (!m_output) {
        SetError("File cannot be written");
        return false;
    }
    // Unbuffered, so that a full disk shows in the Write that hit it: the conversion driver
    // does not look at Close's result.
    setvbuf(m_output.get(), nullptr, _IONBF, 0);
    if (IsRedBook(m_format))
        return true;

    WAVEFORMATEX redBook = RedBookFormat();
    WAVEFORMATEX input = m_format;
    input.cbSize = 0; // only the fixed fields were kept
    HACMSTREAM stream = nullptr;
    MMRESULT result =
        acmStreamOpen(&stream, nullptr, &input, &redBook, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
    if (result != MMSYSERR_NOERROR) {
        SetError("Conversion stream cannot be opened (ACM error %d)", static_cast<int>(result));
        Close();
        return false;
    }
    m_converter.Reset(stream);
    return true;
}

bool CRedBookDest::WriteBytes(const void* data, uint32_t bytes) {
    if (bytes != 0 && (!m_output || fwrite(data, 1, bytes, m_output.get()) != bytes)) {
        SetError("File cannot be written");
        return false;
    }
    return true;
}

bool CRedBookDest::Write(uint32_t bytes, const void* pcm) {
    if (!pcm && bytes != 0)
        return false;
    if (!m_converter)
        return WriteBytes(pcm, bytes);
    return m_converter.Write(pcm, bytes, *this,
                             [this](const void* data, uint32_t size) { return WriteBytes(data, size); });
}

bool CRedBookDest::Close() {
    // What the rate conversion still holds belongs at the end of the track.
    if (m_converter && m_output)
        m_converter.Flush(*this, [this](const void* data, uint32_t size) { return WriteBytes(data, size); });
    m_converter.Reset();
    m_output.reset();
    return true;
}

bool CRedBookDest::GetMetadata(IMetadata**) {
    return false;
}

bool CRedBookDest::SetSource(IConvertSource*) {
    return false;
}

bool CRedBookDest::EstimateSize(uint32_t, const WAVEFORMATEX*, uint32_t*) {
    return false;
}

bool CRedBookDest::ShowSettingsDialog(HWND, IConvertDestination**) {
    return false;
}

bool CRedBookDest::GetSettingsText(char*, int) {
    return false;
}

bool CRedBookDest::SetOption(const char*, const char*, char*) {
    return false;
}

void CRedBookDest::SetErrorLog(IConvertCallback* cb) {
    SetCallback(cb);
}
