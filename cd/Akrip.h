// The CD access layer: finds the CD-ROM drives, opens them by SCSI address, sends them
// multimedia commands and reads digital audio as raw 2352-byte frames, through an ASPI
// manager or, without one, through its own ASPI emulation over SCSI pass-through. Both are
// reached through the transport it shares with the drive engine (engine/ScsiTransport.h).
//
// The layer's state is per process. Commands on one drive handle come from one thread at a
// time; only the open-drive table is locked.
#pragma once

#include "AspiTypes.h"

#include <stddef.h>
#include <stdint.h>

#include <memory>

namespace akrip {

constexpr uint32_t kFrameBytes = 2352;
constexpr uint32_t kFramesPerRead = 27;
constexpr uint32_t kMaxHandles = 16;
constexpr uint32_t kMaxDrives = 8;
constexpr uint32_t kTocBytes = 804;

// Last error codes (GetAkripError).
constexpr int kErrNoManager = -1;
constexpr int kErrNoSupportInfo = -2;
constexpr int kErrNoSendCommand = -3;
constexpr int kErrAspi = -4;
constexpr int kErrBufferTooSmall = -6;
constexpr int kErrInvalidHandle = -7;
constexpr int kErrNoFreeHandle = -8;
constexpr int kErrNotCdRom = -10;
constexpr int kErrAlreadyOpen = -12;
constexpr int kErrNoRequest = -13;
constexpr int kErrBadRequest = -14;
constexpr int kErrNoAdapters = -16;
constexpr int kErrNoDrives = -17;

// ASPI modes.
constexpr int kModeNone = 0;
constexpr int kModeManager = 1;
constexpr int kModePassThrough = 2;

#pragma pack(push, 1)
struct CdDriveRecord {
    uint8_t adapter;
    uint8_t target;
    uint8_t lun;
    char name[65]; // "vendor, product vrevision (a:t:l)", cut to 64 characters
};

struct CdDriveList {
    uint8_t capacity; // set by the owner; enumeration never lists more than this (or 8)
    uint8_t count;
    CdDriveRecord drives[kMaxDrives];
};

// What GetCdHandle opens.
struct GetCdHandleRequest {
    uint8_t size;    // at least 12
    uint8_t version; // 1
    uint8_t adapter;
    uint8_t target;
    uint8_t lun;
    uint8_t readMethod; // 0 = detect, 1..8 = this method
    uint32_t word;
    uint8_t byte1;
    uint8_t byte2;
};

// Request and result of one read; data holds maxLen bytes.
struct TrackBuffer {
    uint32_t startFrame;
    uint32_t numFrames;
    uint32_t maxLen;
    uint32_t len;
    uint32_t status; // 1 after a successful read
    uint32_t startOffset;
    uint8_t data[1];
};
#pragma pack(pop)

static_assert(sizeof(CdDriveRecord) == 68, "drive record");
static_assert(sizeof(CdDriveList) == 2 + 8 * 68, "drive list");
static_assert(sizeof(GetCdHandleRequest) == 12, "open request");
static_assert(offsetof(TrackBuffer, data) == 24, "track buffer header");

struct TrackBufferDeleter {
    void operator()(TrackBuffer* buffer) const { ::operator delete(buffer); }
};
using UniqueTrackBuffer = std::unique_ptr<TrackBuffer, TrackBufferDeleter>;
// A buffer for frames frames; null when memory runs out.
UniqueTrackBuffer AllocateTrackBuffer(uint32_t frames);

// Drive handles are 1..16; 0 means failure.
using CdHandle = int;

bool LoadAspiManager();
// The manager libraries LoadAspiManager tries, in order (null: "WNASPI32.DLL" and
// "WNASPINT.DLL"); tests point them elsewhere.
void SetAspiLibraryNames(const char* first, const char* second);
void UnloadAspiManager();
int AspiMode();
// High byte: status (1 = success); low byte: number of host adapters.
uint32_t GetAspiSupportInfo();
uint32_t SendAspiCommand(void* request);

// The open-drive table and its lock: made before the first GetCdHandle, freed after the last
// CloseCdHandle.
void CreateOpenTable();
void DestroyOpenTable();

bool EnumCdDrives(CdDriveList* list);
CdHandle GetCdHandle(const GetCdHandleRequest* request);
bool CloseCdHandle(CdHandle handle);

// Commands return the ASPI status: 1 = success, else 4 or the manager's status.
uint8_t ReadToc(CdHandle handle, uint8_t* toc);
uint8_t ReadCdAudioLba(CdHandle handle, TrackBuffer* buffer);
uint8_t ReadModePages(CdHandle handle);
bool GetMaxReadSpeed(CdHandle handle, uint32_t* speed);
bool SetCdSpeed(CdHandle handle, uint16_t readSpeed);

// Returns the last error and clears it.
int GetAkripError();
// The status byte of the last request that failed.
uint8_t GetLastAspiStatus();
// The handle's read method: 0 until detection has chosen one.
uint8_t GetReadMethod(CdHandle handle);

} // namespace akrip
