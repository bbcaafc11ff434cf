// Audio CD objects shared by the library and its callers: the drive list, one disc object per
// drive, and the track objects that read a disc's audio tracks.
//
// The layout rules of TrelvoxConvert.h hold here too: IUnknown's methods are __stdcall, the
// interfaces' own operations are __thiscall, booleans are one byte. The drive list and the disc
// each end their table with the slot where MSVC puts a class's scalar deleting destructor; it is
// declared as that slot, never called by callers, and never a C++ destructor.
#pragma once

#include "TrelvoxCDTypes.h"
#include "TrelvoxConvert.h"

#ifdef __cplusplus
namespace cdrip {

struct IAudioCD;
struct IAudioCDTrack;
struct ICDDBCallback;
struct RecordRequest;
#else
typedef struct TrackReadReport TrackReadReport;
#endif

// Capability bits of GetCapabilities.
#ifdef __cplusplus
enum : uint32_t {
#else
enum {
#endif
    kCapRead = 1,           // the engine drive's first capability flag
    kCapWriteCdr = 2,       // write-once drives: writer flag 2h
    kCapWriteBurnProof = 4, // writer flag 400h
    kCapWriteTest = 8,      // writer flag 200h
};

// How the last Play of a track read it, for a rip log. The checksums cover the frames the
// sink accepted, from firstFrame on; they are the whole track's when firstFrame is the track's
// start and framesDelivered its length.
struct TrackReadReport {
    uint32_t size;             // in: sizeof(TrackReadReport)
    uint32_t path;             // 0: not played, 1: the CD access layer, 2: the secure read
    uint32_t jitterCorrection; // secure read: 1 when it was on
    uint32_t firstFrame;       // LBA of the first frame read
    uint32_t framesDelivered;  // frames the sink accepted
    uint32_t framesReread;     // secure read: frames read more than once
    uint32_t silencedCount;    // secure read: frames replaced by silence
    uint32_t silenced[32];     // the LBAs of the first 32 of them
    uint32_t crc32;            // CRC-32 of the PCM bytes
    uint32_t accurateRipV1;    // AccurateRip checksums, with the disc's first and last audio
    uint32_t accurateRipV2;    // track's five frames at the disc's ends left out
};
static_assert(sizeof(TrackReadReport) == 40 + 4 * 32, "track read report");

#ifndef __cplusplus
/* The interfaces for C callers, slot by slot as in the C++ declarations below. */
typedef struct IAudioCDDevices IAudioCDDevices;
typedef struct IAudioCD IAudioCD;
typedef struct ICDDBCallback ICDDBCallback;
typedef struct ICDDBQuery ICDDBQuery;
typedef struct IAudioCDTrack IAudioCDTrack;
typedef struct IAudioCDTrackReport IAudioCDTrackReport;

typedef struct IAudioCDDevicesVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IAudioCDDevices* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(IAudioCDDevices* This);
    ULONG(STDMETHODCALLTYPE* Release)(IAudioCDDevices* This);
    HRESULT(TX_CMETHOD* GetCD)(TX_CTHIS_(IAudioCDDevices) int index, IAudioCD** cd);
    HRESULT(TX_CMETHOD* SetDriveLetter)(TX_CTHIS_(IAudioCDDevices) int index, int letter);
    int(TX_CMETHOD* GetDriveLetterOf)(TX_CTHIS_(IAudioCDDevices) int index);
    HRESULT(TX_CMETHOD* QueryDriveLetter)(TX_CTHIS_(IAudioCDDevices) int index, int* letter);
    HRESULT(TX_CMETHOD* DetectDriveLetter)(TX_CTHIS_(IAudioCDDevices) int index);
    HRESULT(TX_CMETHOD* GetCDByLetter)(TX_CTHIS_(IAudioCDDevices) int letter, IAudioCD** cd);
    bool(TX_CMETHOD* GetName)(TX_CTHIS_(IAudioCDDevices) int index, char* buffer, int size);
    bool(TX_CMETHOD* GetInitError)(TX_CTHIS_(IAudioCDDevices) char* buffer);
    uint32_t(TX_CMETHOD* GetCapabilities)(TX_CTHIS_(IAudioCDDevices) int index);
    int(TX_CMETHOD* GetCount)(TX_CTHIS_(IAudioCDDevices) uint32_t mask);
    void*(TX_CMETHOD* DeletingDestructor)(TX_CTHIS_(IAudioCDDevices) unsigned flags);
} IAudioCDDevicesVtbl;
struct IAudioCDDevices {
    const IAudioCDDevicesVtbl* lpVtbl;
};
static_assert(sizeof(IAudioCDDevicesVtbl) == 14 * sizeof(void*), "IAudioCDDevices has 14 slots");

typedef struct IAudioCDVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IAudioCD* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(IAudioCD* This);
    ULONG(STDMETHODCALLTYPE* Release)(IAudioCD* This);
    int(TX_CMETHOD* GetDriveLetter)(TX_CTHIS(IAudioCD));
    void(TX_CMETHOD* SetDriveLetter)(TX_CTHIS_(IAudioCD) int letter);
    void(TX_CMETHOD* DetectDriveLetter)(TX_CTHIS(IAudioCD));
    uint32_t(TX_CMETHOD* GetCapabilities)(TX_CTHIS(IAudioCD));
    HRESULT(TX_CMETHOD* RefreshToc)(TX_CTHIS(IAudioCD));
    const DiscToc*(TX_CMETHOD* GetToc)(TX_CTHIS(IAudioCD));
    uint32_t(TX_CMETHOD* GetDiscId)(TX_CTHIS(IAudioCD));
    HRESULT(TX_CMETHOD* AddTrackObject)(TX_CTHIS_(IAudioCD) IAudioCDTrack* track);
    HRESULT(TX_CMETHOD* RemoveTrackObject)(TX_CTHIS_(IAudioCD) IAudioCDTrack* track);
    HRESULT(TX_CMETHOD* GetTrack)(TX_CTHIS_(IAudioCD) int index, IAudioCDTrack** track);
    HRESULT(TX_CMETHOD* GetTrackFromCda)(TX_CTHIS_(IAudioCD) const char* path, IAudioCDTrack** track);
    HRESULT(TX_CMETHOD* GetTrackCount)(TX_CTHIS_(IAudioCD) int* count);
    int(TX_CMETHOD* GetMaxWriteSpeed)(TX_CTHIS(IAudioCD));
    int(TX_CMETHOD* EstimateRecordingTime)(TX_CTHIS_(IAudioCD) int speedIndex, uint32_t frames);
    HRESULT(TX_CMETHOD* RecordDisc)
    (TX_CTHIS_(IAudioCD) int mode, RecordRequest* request, IConvertCallback* callback);
    bool(TX_CMETHOD* GetName)(TX_CTHIS_(IAudioCD) char* buffer);
    HRESULT(TX_CMETHOD* StartLookup)(TX_CTHIS_(IAudioCD) ICDDBCallback* callback);
    HRESULT(TX_CMETHOD* StartSubmit)(TX_CTHIS_(IAudioCD) ICDDBCallback* callback);
    bool(TX_CMETHOD* GetTitle)(TX_CTHIS_(IAudioCD) char* buffer, int size);
    bool(TX_CMETHOD* GetArtist)(TX_CTHIS_(IAudioCD) char* buffer, int size);
    bool(TX_CMETHOD* GetGenre)(TX_CTHIS_(IAudioCD) char* buffer, int size);
    bool(TX_CMETHOD* GetCategory)(TX_CTHIS_(IAudioCD) char* buffer, int size);
    bool(TX_CMETHOD* GetYear)(TX_CTHIS_(IAudioCD) int* year);
    bool(TX_CMETHOD* GetTrackTitle)(TX_CTHIS_(IAudioCD) int index, char* buffer, int size);
    bool(TX_CMETHOD* GetTrackExtra)(TX_CTHIS_(IAudioCD) int index, char* buffer, int size);
    bool(TX_CMETHOD* SetTitle)(TX_CTHIS_(IAudioCD) const char* text);
    bool(TX_CMETHOD* SetArtist)(TX_CTHIS_(IAudioCD) const char* text);
    bool(TX_CMETHOD* SetGenre)(TX_CTHIS_(IAudioCD) const char* text);
    bool(TX_CMETHOD* SetCategory)(TX_CTHIS_(IAudioCD) const char* text);
    bool(TX_CMETHOD* SetYear)(TX_CTHIS_(IAudioCD) int year);
    bool(TX_CMETHOD* SetTrackTitle)(TX_CTHIS_(IAudioCD) int index, const char* text);
    bool(TX_CMETHOD* SetTrackExtra)(TX_CTHIS_(IAudioCD) int index, const char* text);
    void*(TX_CMETHOD* DeletingDestructor)(TX_CTHIS_(IAudioCD) unsigned flags);
} IAudioCDVtbl;
struct IAudioCD {
    const IAudioCDVtbl* lpVtbl;
};
static_assert(sizeof(IAudioCDVtbl) == 36 * sizeof(void*), "IAudioCD has 36 slots");

typedef struct ICDDBCallbackVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(ICDDBCallback* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(ICDDBCallback* This);
    ULONG(STDMETHODCALLTYPE* Release)(ICDDBCallback* This);
    HRESULT(TX_CMETHOD* Reserved)(TX_CTHIS(ICDDBCallback));
    HRESULT(TX_CMETHOD* SetStatus)(TX_CTHIS_(ICDDBCallback) const char* text);
    HRESULT(TX_CMETHOD* ChooseMatch)
    (TX_CTHIS_(ICDDBCallback) int count, const CDDBMatch* matches, int* chosen);
} ICDDBCallbackVtbl;
struct ICDDBCallback {
    const ICDDBCallbackVtbl* lpVtbl;
};
static_assert(sizeof(ICDDBCallbackVtbl) == 6 * sizeof(void*), "ICDDBCallback has six slots");

typedef struct ICDDBQueryVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(ICDDBQuery* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(ICDDBQuery* This);
    ULONG(STDMETHODCALLTYPE* Release)(ICDDBQuery* This);
    int(TX_CMETHOD* QueryCDDB)(TX_CTHIS(ICDDBQuery));
    int(TX_CMETHOD* GetMatchCount)(TX_CTHIS(ICDDBQuery));
    HRESULT(TX_CMETHOD* GetMatchText)(TX_CTHIS_(ICDDBQuery) int index, char* artist, char* title);
    int(TX_CMETHOD* ReadMatch)(TX_CTHIS_(ICDDBQuery) int index);
    int(TX_CMETHOD* GetQueryStatus)(TX_CTHIS(ICDDBQuery));
} ICDDBQueryVtbl;
struct ICDDBQuery {
    const ICDDBQueryVtbl* lpVtbl;
};
static_assert(sizeof(ICDDBQueryVtbl) == 8 * sizeof(void*), "ICDDBQuery has eight slots");

typedef struct IAudioCDTrackVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IAudioCDTrack* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(IAudioCDTrack* This);
    ULONG(STDMETHODCALLTYPE* Release)(IAudioCDTrack* This);
    HRESULT(TX_CMETHOD* DetachFromCD)(TX_CTHIS(IAudioCDTrack));
    HRESULT(TX_CMETHOD* GetLengthMsf)
    (TX_CTHIS_(IAudioCDTrack) uint8_t* minutes, uint8_t* seconds, uint8_t* frames);
    HRESULT(TX_CMETHOD* GetAudioCD)(TX_CTHIS_(IAudioCDTrack) IAudioCD** cd);
    HRESULT(TX_CMETHOD* GetTrackRecord)(TX_CTHIS_(IAudioCDTrack) TrackRecord* record);
} IAudioCDTrackVtbl;
struct IAudioCDTrack {
    const IAudioCDTrackVtbl* lpVtbl;
};
static_assert(sizeof(IAudioCDTrackVtbl) == 7 * sizeof(void*), "IAudioCDTrack has seven slots");

typedef struct IAudioCDTrackReportVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IAudioCDTrackReport* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(IAudioCDTrackReport* This);
    ULONG(STDMETHODCALLTYPE* Release)(IAudioCDTrackReport* This);
    HRESULT(TX_CMETHOD* GetReadReport)(TX_CTHIS_(IAudioCDTrackReport) TrackReadReport* report);
} IAudioCDTrackReportVtbl;
struct IAudioCDTrackReport {
    const IAudioCDTrackReportVtbl* lpVtbl;
};
static_assert(sizeof(IAudioCDTrackReportVtbl) == 4 * sizeof(void*), "IAudioCDTrackReport has four slots");
#else
// The drives of this machine; at most one list per process.
struct IAudioCDDevices : public IUnknown {
    virtual HRESULT TX_THISCALL GetCD(int index, IAudioCD** cd) = 0;
    virtual HRESULT TX_THISCALL SetDriveLetter(int index, int letter) = 0;
    virtual int TX_THISCALL GetDriveLetterOf(int index) = 0;
    virtual HRESULT TX_THISCALL QueryDriveLetter(int index, int* letter) = 0;
    virtual HRESULT TX_THISCALL DetectDriveLetter(int index) = 0;
    virtual HRESULT TX_THISCALL GetCDByLetter(int letter, IAudioCD** cd) = 0;
    virtual bool TX_THISCALL GetName(int index, char* buffer, int size) = 0;
    // False when the drive engine started; else its message for the failure.
    virtual bool TX_THISCALL GetInitError(char* buffer) = 0;
    virtual uint32_t TX_THISCALL GetCapabilities(int index) = 0;
    // Drives whose capability bits include every bit of mask (0: all drives).
    virtual int TX_THISCALL GetCount(uint32_t mask) = 0;
    virtual void* TX_THISCALL DeletingDestructor(unsigned flags) = 0;
};

// One drive and the disc in it. Letters count from 0 (A:); -1 is not yet known.
struct IAudioCD : public IUnknown {
    virtual int TX_THISCALL GetDriveLetter() = 0;
    virtual void TX_THISCALL SetDriveLetter(int letter) = 0;
    virtual void TX_THISCALL DetectDriveLetter() = 0;
    virtual uint32_t TX_THISCALL GetCapabilities() = 0;
    virtual HRESULT TX_THISCALL RefreshToc() = 0;
    // Null while the disc has no tracks.
    virtual const DiscToc* TX_THISCALL GetToc() = 0;
    virtual uint32_t TX_THISCALL GetDiscId() = 0;
    virtual HRESULT TX_THISCALL AddTrackObject(IAudioCDTrack* track) = 0;
    virtual HRESULT TX_THISCALL RemoveTrackObject(IAudioCDTrack* track) = 0;
    virtual HRESULT TX_THISCALL GetTrack(int index, IAudioCDTrack** track) = 0;
    virtual HRESULT TX_THISCALL GetTrackFromCda(const char* path, IAudioCDTrack** track) = 0;
    virtual HRESULT TX_THISCALL GetTrackCount(int* count) = 0;
    // Recording. The drive's highest write speed index (RecordRequest), -1 for a drive that
    // does not write CD-R.
    virtual int TX_THISCALL GetMaxWriteSpeed() = 0;
    // Whole minutes that writing frames takes at speedIndex (255: the drive's fastest), lead-in
    // and lead-out included; E_INVALIDARG for an unknown index.
    virtual int TX_THISCALL EstimateRecordingTime(int speedIndex, uint32_t frames) = 0;
    // Mode 1: converts the request's sources into temporary Red Book track files and writes
    // them disc-at-once to the blank disc, on this thread, with progress and log lines through
    // callback and a Retry/Cancel box after a failed write. S_OK; E_FAIL after a failure
    // (reported); E_ABORT when callback cancelled. Modes 2 and 3 (ISO 9660 data discs) fail
    // with E_NOTIMPL; other modes, a null callback or a malformed request give E_INVALIDARG.
    virtual HRESULT TX_THISCALL RecordDisc(int mode, RecordRequest* request, IConvertCallback* callback) = 0;
    virtual bool TX_THISCALL GetName(char* buffer) = 0;
    // CDDB lookups and submissions on a thread of their own.
    virtual HRESULT TX_THISCALL StartLookup(ICDDBCallback* callback) = 0;
    virtual HRESULT TX_THISCALL StartSubmit(ICDDBCallback* callback) = 0;
    // Disc information; the getters copy with truncation and are true for a non-empty text.
    virtual bool TX_THISCALL GetTitle(char* buffer, int size) = 0;
    virtual bool TX_THISCALL GetArtist(char* buffer, int size) = 0;
    virtual bool TX_THISCALL GetGenre(char* buffer, int size) = 0;
    virtual bool TX_THISCALL GetCategory(char* buffer, int size) = 0;
    virtual bool TX_THISCALL GetYear(int* year) = 0;
    virtual bool TX_THISCALL GetTrackTitle(int index, char* buffer, int size) = 0;
    virtual bool TX_THISCALL GetTrackExtra(int index, char* buffer, int size) = 0;
    virtual bool TX_THISCALL SetTitle(const char* text) = 0;
    virtual bool TX_THISCALL SetArtist(const char* text) = 0;
    virtual bool TX_THISCALL SetGenre(const char* text) = 0;
    virtual bool TX_THISCALL SetCategory(const char* text) = 0;
    virtual bool TX_THISCALL SetYear(int year) = 0;
    virtual bool TX_THISCALL SetTrackTitle(int index, const char* text) = 0;
    virtual bool TX_THISCALL SetTrackExtra(int index, const char* text) = 0;
    virtual void* TX_THISCALL DeletingDestructor(unsigned flags) = 0;
};

// The front end's view of a CDDB lookup or submission, implemented by the front end. The thread
// that runs the request holds one reference for its whole run and calls these on that thread;
// the release of that reference is the request's end.
struct ICDDBCallback : public IUnknown {
    // Slot 3 is kept for the front end's own use; the library never calls it.
    virtual HRESULT TX_THISCALL Reserved() = 0;
    // Shows a status line. Before a resubmission the text is "REVISION": a negative result
    // cancels the submission.
    virtual HRESULT TX_THISCALL SetStatus(const char* text) = 0;
    // Several matches: *chosen receives the index of the one to read (matches stays the
    // library's). A negative result cancels the lookup.
    virtual HRESULT TX_THISCALL ChooseMatch(int count, const CDDBMatch* matches, int* chosen) = 0;
};

// The disc's CDDB matches (the disc object's second interface).
struct ICDDBQuery : public IUnknown {
    // Looks the disc up (up to 10 matches kept): 0 when the server answered, nonzero when it
    // could not be reached.
    virtual int TX_THISCALL QueryCDDB() = 0;
    virtual int TX_THISCALL GetMatchCount() = 0;
    // artist and title receive at most 81 bytes each.
    virtual HRESULT TX_THISCALL GetMatchText(int index, char* artist, char* title) = 0;
    // Reads the match's entry into the disc: 0 on success.
    virtual int TX_THISCALL ReadMatch(int index) = 0;
    // The three-digit status of the last query's answer, 0 when there was none.
    virtual int TX_THISCALL GetQueryStatus() = 0;
};

// What the front end asks of one track; the same object is the track's IConvertSource and
// IMetadata, all counting on one reference count.
struct IAudioCDTrack : public IUnknown {
    virtual HRESULT TX_THISCALL DetachFromCD() = 0;
    virtual HRESULT TX_THISCALL GetLengthMsf(uint8_t* minutes, uint8_t* seconds, uint8_t* frames) = 0;
    virtual HRESULT TX_THISCALL GetAudioCD(IAudioCD** cd) = 0;
    virtual HRESULT TX_THISCALL GetTrackRecord(TrackRecord* record) = 0;
};

// The track object's fourth interface, for rip logs.
struct IAudioCDTrackReport : public IUnknown {
    // S_OK; E_INVALIDARG for a null pointer or a size other than sizeof(TrackReadReport).
    virtual HRESULT TX_THISCALL GetReadReport(TrackReadReport* report) = 0;
};
#endif

TX_DEFINE_GUID(IID_IAudioCDDevices, 0x5EF03C47, 0x6E87, 0x41E1, 0x8E, 0x0A, 0xBB, 0xD3, 0x9E, 0x1F, 0xA0,
               0xC9);
TX_DEFINE_GUID(IID_IAudioCD, 0x6DD6FEDD, 0x1A33, 0x4A6E, 0x80, 0x50, 0x5B, 0xCF, 0x7E, 0x63, 0x51, 0x97);
TX_DEFINE_GUID(IID_ICDDBQuery, 0x6DD6FEDD, 0x1A33, 0x4A6E, 0x80, 0x50, 0x5B, 0xCF, 0x7E, 0x63, 0x51, 0x94);
TX_DEFINE_GUID(IID_IAudioCDTrack, 0x834D1A56, 0x16ED, 0x4BED, 0xB9, 0xBC, 0xE2, 0xC9, 0xFA, 0x02, 0x29, 0x97);

// Not a published identifier: this library's own.
TX_DEFINE_GUID(IID_IAudioCDTrackReport, 0x1C4B2E9A, 0x57D3, 0x4F0B, 0x9E, 0x61, 0x2A, 0x8C, 0x43, 0xD5, 0x7B,
               0x16);

#ifdef __cplusplus
} // namespace cdrip

extern "C" {
// The drive list of this process: created on the first call, shared while references are
// held. E_INVALIDARG for a null pointer, E_OUTOFMEMORY when it cannot be made.
TX_API HRESULT __cdecl CreateAudioCDDevices(cdrip::IAudioCDDevices** devices);
}
#else
TX_API HRESULT __cdecl CreateAudioCDDevices(IAudioCDDevices** devices);
#endif
