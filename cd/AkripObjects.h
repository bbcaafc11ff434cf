// The CD access layer's objects: the drive list, a drive with its disc, and a track read as
// a stream of bytes. Reference-counted; the list owns its drives and a drive its tracks.
#pragma once

#include "Akrip.h"
#include "ComObject.h"

namespace akrip {

// Slots: QueryInterface, AddRef, Release, then the deleting destructor.
class IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
    virtual ~IUnknown() = default;
};

class CAudioCD;
class CAudioCDTrack;

// The layer's life: constructing it loads the ASPI manager (or the emulation) and lists the
// CD-ROM drives; destroying it unloads them again. One lives at a time per process.
class CAudioCDDevices : public trelvox::ComObject<IUnknown> {
public:
    CAudioCDDevices();
    ~CAudioCDDevices() override;

    // The drive at that address, made on first request; one reference for the caller.
    // E_FAIL for no such drive, E_OUTOFMEMORY.
    HRESULT GetCD(uint8_t adapter, uint8_t target, uint8_t lun, CAudioCD** out);
    const CdDriveList& Drives() const { return m_list; }
    // The last error of loading and enumeration (0 when both went well).
    int StartError() const { return m_startError; }

private:
    void* FindInterface(REFIID) override { return nullptr; }

    CdDriveList m_list = {};
    CAudioCD* m_cds[kMaxDrives] = {};
    int m_startError = 0;
};

// A drive and the disc in it. Open and Close are counted: the drive is opened by the first
// Open and closed by the last Close.
class CAudioCD : public trelvox::ComObject<IUnknown> {
public:
    explicit CAudioCD(const CdDriveRecord& record);
    ~CAudioCD() override;

    // S_OK; E_FAIL when the drive cannot be opened or its table of contents read (unless
    // skipToc); E_OUTOFMEMORY.
    HRESULT Open(bool skipToc);
    void Close();
    int GetTrackCount() const;
    // The track with one reference for the caller; false for an index out of range or before
    // the table of contents was read.
    bool GetTrack(int index, CAudioCDTrack** out);

    CdHandle Handle() const { return m_handle; }
    const CdDriveRecord& Record() const { return m_record; }
    const uint8_t* Toc() const { return m_toc; }

private:
    void* FindInterface(REFIID) override { return nullptr; }
    void ReleaseTracks();

    CdDriveRecord m_record;
    uint8_t m_toc[kTocBytes] = {};
    CdHandle m_handle = 0;
    CAudioCDTrack* m_tracks[99] = {};
    int m_trackCount = 0;
    int m_openCount = 0;
};

// One track of the disc, read in blocks of 27 frames.
class CAudioCDTrack : public trelvox::ComObject<IUnknown> {
public:
    static constexpr uint32_t kReadBytes = kFramesPerRead * kFrameBytes;

    // descriptor and next are the track's TOC entry and the one after it (the lead-out for the
    // last track); cd is the owning drive, which detaches its tracks before it goes.
    CAudioCDTrack(CAudioCD* cd, const uint8_t* descriptor, const uint8_t* next);
    ~CAudioCDTrack() override;

    int Number() const { return m_descriptor[2]; }
    uint32_t Start() const;
    // Frames: up to the next track, less the gap in front of a data session.
    uint32_t Length() const;

    HRESULT OpenStream();
    // Copies up to kReadBytes bytes into destination: S_OK with the full count, S_FALSE at the
    // end of the track (with what came before it), E_FAIL when a read failed.
    HRESULT Read(uint8_t* destination, uint32_t* count);
    void CloseStream();
    uint8_t LastStatus() const { return m_lastStatus; }
    int LastError() const { return m_lastError; }

    void Detach() { m_cd = nullptr; }

private:
    void* FindInterface(REFIID) override { return nullptr; }
    bool Refill();

    CAudioCD* m_cd;
    uint8_t m_descriptor[8];
    uint8_t m_next[8];
    UniqueTrackBuffer m_buffer;
    uint32_t m_remaining = 0;
    const uint8_t* m_cursor = nullptr;
    uint32_t m_bytesLeft = 0;
    uint8_t m_lastStatus = 0;
    int m_lastError = 0;
    bool m_open = false;
};

} // namespace akrip
