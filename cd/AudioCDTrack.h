// One audio track of a disc, as the front end sees it (cdrip::IAudioCDTrack): bound to its
// disc and its track record until the disc tells it to detach.
#pragma once

#include "ComObject.h"
#include "TrelvoxCD.h"

class CAudioCD;

class CAudioCDTrack : public trelvox::ComObject<cdrip::IAudioCDTrack> {
public:
    // A new track object bound to record of disc and registered with it; *out holds the
    // caller's reference. E_INVALIDARG for a null out, E_OUTOFMEMORY.
    static HRESULT Create(CAudioCD* disc, const cdrip::TrackRecord& record, cdrip::IAudioCDTrack** out);

    // Binds an unbound object (holding a reference on disc, registered with it).
    HRESULT Bind(CAudioCD* disc, const cdrip::TrackRecord& record);
    bool Bound() const { return m_disc != nullptr; }
    CAudioCD* Disc() const { return m_disc; }
    const cdrip::TrackRecord& Record() const { return m_record; }

    // cdrip::IAudioCDTrack
    HRESULT TX_THISCALL DetachFromCD() override;
    HRESULT TX_THISCALL GetLengthMsf(uint8_t* minutes, uint8_t* seconds, uint8_t* frames) override;
    HRESULT TX_THISCALL GetAudioCD(cdrip::IAudioCD** cd) override;
    HRESULT TX_THISCALL GetTrackRecord(cdrip::TrackRecord* record) override;

protected:
    CAudioCDTrack() = default;
    ~CAudioCDTrack() override;
    void* FindInterface(REFIID riid) override;

private:
    CAudioCD* m_disc = nullptr; // one reference held while bound
    cdrip::TrackRecord m_record = {};
};
