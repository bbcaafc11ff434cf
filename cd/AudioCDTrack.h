// One audio track of a disc as a conversion source. The same object is the track's
// IConvertSource, its cdrip::IAudioCDTrack and its IMetadata (a tag made from the disc
// information), all counting on one reference count; a fourth interface reports how the last
// Play read the track.
//
// Play reads either through the CD access layer (akrip), which streams the track as it comes,
// or through the drive engine with the secure read loop: retries, silence for unreadable
// frames and jitter correction. The "NoGoldenhawk" setting chooses.
#pragma once

#include "DefConvertSource.h"
#include "SecureRead.h"
#include "TrelvoxCD.h"
#include "TrelvoxMetadata.h"

#include <vector>

class CAudioCD;
namespace cdengine {
struct Status;
}

class CAudioCDTrack : public CDefConvertSource,
                      public cdrip::IAudioCDTrack,
                      public IMetadata,
                      public cdrip::IAudioCDTrackReport {
public:
    // Unbound, for the format table; SetFileName binds it.
    CAudioCDTrack() = default;
    // A new track object bound to record of disc and registered with it; *out holds the
    // caller's reference. E_INVALIDARG for a null out, E_OUTOFMEMORY.
    static HRESULT Create(CAudioCD* disc, const cdrip::TrackRecord& record, cdrip::IAudioCDTrack** out);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return CDefConvertSource::QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return CDefConvertSource::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CDefConvertSource::Release(); }

    // IConvertSource
    bool TX_THISCALL SetFileName(const char* path) override;
    bool TX_THISCALL GetFileName(char* buf, int size) override;
    bool TX_THISCALL GetClassID(GUID* clsid) override;
    bool TX_THISCALL GetFileTitle(char* buf, uint32_t size) override;
    bool TX_THISCALL GetFileDir(char* buf, uint32_t size) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Play(IPlayCallback* sink) override;
    bool TX_THISCALL GetMetadata(IMetadata** md) override;

    // cdrip::IAudioCDTrack
    HRESULT TX_THISCALL DetachFromCD() override;
    HRESULT TX_THISCALL GetLengthMsf(uint8_t* minutes, uint8_t* seconds, uint8_t* frames) override;
    HRESULT TX_THISCALL GetAudioCD(cdrip::IAudioCD** cd) override;
    HRESULT TX_THISCALL GetTrackRecord(cdrip::TrackRecord* record) override;

    // IMetadata: a tag made from the disc information; it cannot be written.
    unsigned TX_THISCALL GetCapabilities() override;
    HRESULT TX_THISCALL GetTag(IMetadataTag** tag) override;
    HRESULT TX_THISCALL SetTag(IMetadataTag* tag) override;

    // cdrip::IAudioCDTrackReport
    HRESULT TX_THISCALL GetReadReport(cdrip::TrackReadReport* report) override;

    bool Bound() const { return m_disc != nullptr; }
    CAudioCD* Disc() const { return m_disc; }
    const cdrip::TrackRecord& Record() const { return m_record; }

protected:
    ~CAudioCDTrack() override;
    void* FindInterface(REFIID riid) override;

private:
    class ChecksumSink;

    // Binds to record of disc (holding a reference on disc, registered with it), after
    // detaching from any disc before.
    HRESULT Bind(CAudioCD* disc, const cdrip::TrackRecord& record);
    // Whether the disc's first and last audio tracks are this one, for AccurateRip.
    void DiscEnds(bool& first, bool& last);
    // false when the CD access layer does not have the drive: the caller then reads securely.
    bool PlayDirect(IPlayCallback* sink, bool& result);
    bool PlaySecure(IPlayCallback* sink);
    // The engine's texts for the code and the sub-code of status, each when it is not empty, as
    // errors or as information.
    void ReportEngineTexts(const cdengine::Status& status, bool asError);

    CAudioCD* m_disc = nullptr; // one reference held while bound
    cdrip::TrackRecord m_record = {};
    uint32_t m_firstFrame = 0; // the PCM window of Open: first .. end - 1
    uint32_t m_endFrame = 0;
    secureread::Settings m_settings;
    cdrip::TrackReadReport m_report = {};
};
