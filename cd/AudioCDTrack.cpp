#include "AudioCDTrack.h"

#include "AudioCD.h"

#include <new>

HRESULT CAudioCDTrack::Create(CAudioCD* disc, const cdrip::TrackRecord& record, cdrip::IAudioCDTrack** out) {
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    CAudioCDTrack* track = new (std::nothrow) CAudioCDTrack;
    if (!track)
        return E_OUTOFMEMORY;
    HRESULT result = track->Bind(disc, record);
    if (FAILED(result)) {
        track->Release();
        return result;
    }
    *out = track;
    return S_OK;
}

HRESULT CAudioCDTrack::Bind(CAudioCD* disc, const cdrip::TrackRecord& record) {
    if (!disc)
        return E_INVALIDARG;
    DetachFromCD();
    HRESULT result = disc->AddTrackObject(this);
    if (FAILED(result))
        return result;
    disc->AddRef();
    m_disc = disc;
    m_record = record;
    return S_OK;
}

CAudioCDTrack::~CAudioCDTrack() {
    DetachFromCD();
}

void* CAudioCDTrack::FindInterface(REFIID riid) {
    return IsEqualIID(riid, cdrip::IID_IAudioCDTrack) ? static_cast<cdrip::IAudioCDTrack*>(this) : nullptr;
}

HRESULT CAudioCDTrack::DetachFromCD() {
    if (CAudioCD* disc = m_disc) {
        m_disc = nullptr;
        disc->RemoveTrackObject(this);
        disc->Release();
    }
    return S_OK;
}

HRESULT CAudioCDTrack::GetLengthMsf(uint8_t* minutes, uint8_t* seconds, uint8_t* frames) {
    if (!m_disc)
        return E_FAIL;
    uint32_t length = m_record.length;
    if (minutes)
        *minutes = static_cast<uint8_t>(length / 4500);
    if (seconds)
        *seconds = static_cast<uint8_t>(length / 75 % 60);
    if (frames)
        *frames = static_cast<uint8_t>(length % 75);
    return S_OK;
}

HRESULT CAudioCDTrack::GetAudioCD(cdrip::IAudioCD** cd) {
    if (!m_disc)
        return E_FAIL;
    if (!cd)
        return E_INVALIDARG;
    m_disc->AddRef();
    *cd = m_disc;
    return S_OK;
}

HRESULT CAudioCDTrack::GetTrackRecord(cdrip::TrackRecord* record) {
    if (!record)
        return E_INVALIDARG;
    if (!m_disc)
        return E_FAIL;
    *record = m_record;
    return S_OK;
}
