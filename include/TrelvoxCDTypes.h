// The plain records of the audio CD interfaces (TrelvoxCD.h), apart so that code without the
// Windows headers can use them too.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The recording request points at these without needing the Windows or conversion headers
// (HWND__ is the record an HWND points at).
struct HWND__;
struct IConvertSource;

#ifdef __cplusplus
namespace cdrip {
#else
// C callers get the records under their plain names.
#include <assert.h>
typedef struct TrackRecord TrackRecord;
typedef struct DiscToc DiscToc;
typedef struct CDDBMatch CDDBMatch;
typedef struct RecordRequest RecordRequest;
typedef struct RecordText RecordText;
#endif

// One audio track of a disc: the element of a disc's track list, the record a track object is
// bound to, and the content of a .cda file.
#pragma pack(push, 1)
struct TrackRecord {
    uint16_t present;   // 1 for a listed track
    uint16_t number;    // 1-based track number on the disc
    uint32_t discKey;   // sum of the packed start times of the disc's audio tracks
    uint32_t start;     // LBA of the first frame
    uint32_t length;    // frames
    uint32_t startMsf;  // minute << 16 | second << 8 | frame
    uint32_t lengthMsf; // the same layout
};
#pragma pack(pop)
static_assert(sizeof(TrackRecord) == 24, "track record");
static_assert(offsetof(TrackRecord, discKey) == 4 && offsetof(TrackRecord, start) == 8 &&
                  offsetof(TrackRecord, lengthMsf) == 20,
              "track record fields");

// The table of contents as the CDDB client uses it: every track's start (data tracks
// included) and the lead-out.
struct DiscToc {
    int32_t count;
    int32_t start[99];
    int32_t leadOut;
};
static_assert(sizeof(DiscToc) == 404, "table of contents");

// One answer of a CDDB lookup, as the front end's ICDDBCallback::ChooseMatch gets an array of
// them. The texts are zero-terminated and cut to fit.
struct CDDBMatch {
    char category[12]; // at most 11 characters
    char discId[9];    // 8 hexadecimal digits
    char artist[81];
    char title[81];
    uint32_t localKey; // 0 for a server match; the disc key for a match from the local cache
    uint32_t flag;     // 1: exact server match or local-cache match; 0: one of several inexact ones
};
static_assert(sizeof(CDDBMatch) == 192, "CDDB match");
static_assert(offsetof(CDDBMatch, discId) == 12 && offsetof(CDDBMatch, artist) == 21 &&
                  offsetof(CDDBMatch, title) == 102 && offsetof(CDDBMatch, localKey) == 184 &&
                  offsetof(CDDBMatch, flag) == 188,
              "CDDB match fields");

// The CD-Text strings of the disc or of one track, in the system code page. Null or "" leaves
// a kind out. The pointers stay the caller's.
struct RecordText {
    const char* title;      // pack type 80h: album or track title
    const char* performer;  // 81h
    const char* songwriter; // 82h
    const char* composer;   // 83h
    const char* arranger;   // 84h
    const char* message;    // 85h
};
static_assert(sizeof(struct RecordText) == 6 * sizeof(void*), "recording text");

// What IAudioCD::RecordDisc writes. Everything it points at stays the caller's and must live
// until RecordDisc returns; the callback for progress and log lines is RecordDisc's argument.
struct RecordRequest {
    uint32_t size;                      // sizeof(RecordRequest)
    uint32_t sourceCount;               // 1 to 99
    struct IConvertSource** sources;    // sourceCount sources in disc order, named and closed
    const struct RecordText* discText;  // null: no CD-Text is written
    const struct RecordText* trackText; // with discText: sourceCount entries, one per track; or null
    struct HWND__* owner;               // the owner of the Retry/Cancel box; may be null
    uint8_t speedIndex;                 // 0-23 (1x, 2x, 4x ... 52x, 72x); 255: the drive's fastest
    uint8_t burnProof;                  // 1: buffer-underrun protection on
    uint8_t reserved[2];                // 0
};
static_assert(sizeof(struct RecordRequest) == (sizeof(void*) == 4 ? 28 : 48), "recording request");
static_assert(offsetof(struct RecordRequest, sources) == 8 &&
                  offsetof(struct RecordRequest, discText) == 8 + sizeof(void*) &&
                  offsetof(struct RecordRequest, owner) == 8 + 3 * sizeof(void*) &&
                  offsetof(struct RecordRequest, speedIndex) == 8 + 4 * sizeof(void*) &&
                  offsetof(struct RecordRequest, burnProof) == 9 + 4 * sizeof(void*),
              "recording request fields");

#ifdef __cplusplus
} // namespace cdrip
#endif
