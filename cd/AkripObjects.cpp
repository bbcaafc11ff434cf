#include "AkripObjects.h"

#include "Trace.h"

#include <string.h>

#include <new>

namespace akrip {

namespace {

constexpr uint32_t kDataSessionGap = 11250; // lead-out and lead-in in front of a data session

uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

} // namespace

CAudioCDDevices::CAudioCDDevices() {
    if (!LoadAspiManager())
        m_startError = GetAkripError();
    CreateOpenTable();
    m_list.capacity = kMaxDrives;
    if (!m_startError && !EnumCdDrives(&m_list))
        m_startError = GetAkripError();
}

CAudioCDDevices::~CAudioCDDevices() {
    for (CAudioCD*& cd : m_cds) {
        if (cd)
            cd->Release();
        cd = nullptr;
    }
    DestroyOpenTable();
    UnloadAspiManager();
}

HRESULT CAudioCDDevices::GetCD(uint8_t adapter, uint8_t target, uint8_t lun, CAudioCD** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    for (uint32_t i = 0; i < m_list.count; ++i) {
        const CdDriveRecord& record = m_list.drives[i];
        if (record.adapter != adapter || record.target != target || record.lun != lun)
            continue;
        if (!m_cds[i]) {
            m_cds[i] = new (std::nothrow) CAudioCD(record);
            if (!m_cds[i])
                return E_OUTOFMEMORY;
        }
        m_cds[i]->AddRef();
        *out = m_cds[i];
        return S_OK;
    }
    return E_FAIL;
}

CAudioCD::CAudioCD(const CdDriveRecord& record) : m_record(record) {}

CAudioCD::~CAudioCD() {
    if (m_openCount > 0) {
        m_openCount = 1;
        Close();
    }
    ReleaseTracks();
}

void CAudioCD::ReleaseTracks() {
    for (CAudioCDTrack*& track : m_tracks) {
        if (track) {
            track->Detach();
            track->Release();
        }
        track = nullptr;
    }
    m_trackCount = 0;
}

HRESULT CAudioCD::Open(bool skipToc) {
    if (m_openCount > 0) {
        ++m_openCount;
        return S_OK;
    }
    GetCdHandleRequest request = {12, 1, m_record.adapter, m_record.target, m_record.lun, 0, 2, 1, 3};
    m_handle = GetCdHandle(&request);
    if (!m_handle)
        return E_FAIL;
    m_openCount = 1;
    if (!skipToc) {
        ReleaseTracks();
        if (ReadToc(m_handle, m_toc) != aspi::kComplete) {
            TX_TRACE(cd, "%s: no table of contents", m_record.name);
            Close();
            return E_FAIL;
        }
        int count = m_toc[2] == 0 && m_toc[3] == 0 ? 0 : m_toc[3] - m_toc[2] + 1;
        if (count < 0 || count > 99)
            count = 0;
        for (int i = 0; i < count; ++i) {
            m_tracks[i] = new (std::nothrow) CAudioCDTrack(this, m_toc + 4 + 8 * i, m_toc + 12 + 8 * i);
            if (!m_tracks[i]) {
                ReleaseTracks();
                Close();
                return E_OUTOFMEMORY;
            }
            m_trackCount = i + 1;
        }
    }
    uint32_t speed = 0;
    GetMaxReadSpeed(m_handle, &speed);
    SetCdSpeed(m_handle, static_cast<uint16_t>(speed));
    return S_OK;
}

void CAudioCD::Close() {
    if (m_openCount == 0 || --m_openCount > 0)
        return;
    CloseCdHandle(m_handle);
    m_handle = 0;
}

int CAudioCD::GetTrackCount() const {
    return m_trackCount;
}

bool CAudioCD::GetTrack(int index, CAudioCDTrack** out) {
    if (!out || index < 0 || index >= m_trackCount || !m_tracks[index])
        return false;
    m_tracks[index]->AddRef();
    *out = m_tracks[index];
    return true;
}

CAudioCDTrack::CAudioCDTrack(CAudioCD* cd, const uint8_t* descriptor, const uint8_t* next) : m_cd(cd) {
    memcpy(m_descriptor, descriptor, sizeof(m_descriptor));
    memcpy(m_next, next, sizeof(m_next));
}

CAudioCDTrack::~CAudioCDTrack() {
    CloseStream();
}

uint32_t CAudioCDTrack::Start() const {
    return Be32(m_descriptor + 4);
}

uint32_t CAudioCDTrack::Length() const {
    uint32_t length = Be32(m_next + 4) - Start();
    if ((m_next[1] & 0x04) && length > kDataSessionGap)
        length -= kDataSessionGap;
    return length;
}

HRESULT CAudioCDTrack::OpenStream() {
    CloseStream();
    if (!m_cd)
        return E_FAIL;
    m_buffer = AllocateTrackBuffer(kFramesPerRead);
    if (!m_buffer)
        return E_OUTOFMEMORY;
    m_buffer->startFrame = Start();
    m_remaining = Length();
    if (m_cd->Open(true) != S_OK) {
        m_lastError = GetAkripError();
        m_buffer.reset();
        return E_FAIL;
    }
    m_open = true;
    if (!Refill()) {
        CloseStream();
        return E_FAIL;
    }
    return S_OK;
}

bool CAudioCDTrack::Refill() {
    m_bytesLeft = 0;
    uint32_t frames = m_remaining < kFramesPerRead ? m_remaining : kFramesPerRead;
    if (frames == 0)
        return true;
    m_buffer->numFrames = frames;
    m_lastStatus = ReadCdAudioLba(m_cd ? m_cd->Handle() : 0, m_buffer.get());
    if (m_lastStatus != aspi::kComplete) {
        m_lastError = GetAkripError();
        TX_TRACE(cd, "track %d: reading %u frames at %u failed: status %02X, error %d", Number(),
                 static_cast<unsigned>(frames), static_cast<unsigned>(m_buffer->startFrame), m_lastStatus,
                 m_lastError);
        return false;
    }
    m_buffer->startFrame += frames;
    m_remaining -= frames;
    m_cursor = m_buffer->data + m_buffer->startOffset;
    m_bytesLeft = m_buffer->len;
    return true;
}

HRESULT CAudioCDTrack::Read(uint8_t* destination, uint32_t* count) {
    uint32_t copied = 0;
    HRESULT result = S_OK;
    if (!m_open || !destination) {
        result = E_FAIL;
    } else {
        while (copied < kReadBytes) {
            if (m_bytesLeft == 0) {
                if (m_remaining == 0) {
                    result = S_FALSE;
                    break;
                }
                if (!Refill()) {
                    result = E_FAIL;
                    break;
                }
            }
            uint32_t n = kReadBytes - copied < m_bytesLeft ? kReadBytes - copied : m_bytesLeft;
            memcpy(destination + copied, m_cursor, n);
            copied += n;
            m_cursor += n;
            m_bytesLeft -= n;
        }
    }
    if (count)
        *count = copied;
    return result;
}

void CAudioCDTrack::CloseStream() {
    if (m_open && m_cd)
        m_cd->Close();
    m_open = false;
    m_buffer.reset();
    m_bytesLeft = 0;
    m_remaining = 0;
}

} // namespace akrip
