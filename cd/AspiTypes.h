// The ASPI manager interface (WNASPI32.DLL): request blocks, status codes and entry points.
// Both sides of it use these records: the CD access layer and the bench's stand-in manager.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace aspi {

// Request codes.
constexpr uint8_t kHostAdapterInquiry = 0x00;
constexpr uint8_t kGetDeviceType = 0x01;
constexpr uint8_t kExecScsiCommand = 0x02;

// Request status.
constexpr uint8_t kPending = 0x00;
constexpr uint8_t kComplete = 0x01;
constexpr uint8_t kAborted = 0x02;
constexpr uint8_t kError = 0x04;
constexpr uint8_t kInvalidHostAdapter = 0x81;
constexpr uint8_t kNoDevice = 0x82;
constexpr uint8_t kNoManager = 0xE3;
constexpr uint8_t kNoAdapters = 0xE8;

// Request flags.
constexpr uint8_t kFlagResidualCount = 0x04;
constexpr uint8_t kFlagDataIn = 0x08;
constexpr uint8_t kFlagDataOut = 0x10;
constexpr uint8_t kFlagEventNotify = 0x40;

constexpr uint8_t kDeviceTypeCdRom = 0x05;
constexpr uint8_t kDeviceTypeUnknown = 0x1F;
constexpr size_t kSenseBytes = 14;

#pragma pack(push, 1)
struct RequestHeader {
    uint8_t command;
    uint8_t status;
    uint8_t adapter;
    uint8_t flags;
    uint32_t reserved;
};

struct HostAdapterInquiry {
    RequestHeader header;
    uint8_t adapterCount;
    uint8_t scsiId;
    char managerId[16];
    char adapterId[16];
    // 0-1 buffer alignment, 2 residual count support, 3 targets, 4-7 maximum transfer length
    uint8_t unique[16];
    uint16_t reserved;
};

struct GetDeviceType {
    RequestHeader header;
    uint8_t target;
    uint8_t lun;
    uint8_t deviceType;
    uint8_t reserved;
};

struct ExecScsiCommand {
    RequestHeader header;
    uint8_t target;
    uint8_t lun;
    uint16_t reserved1;
    uint32_t bufferLength;
    uint8_t* buffer;
    uint8_t senseLength;
    uint8_t cdbLength;
    uint8_t adapterStatus;
    uint8_t targetStatus;
    void* postProc; // the event to signal when the request completes with kFlagEventNotify
    void* reserved2;
    uint8_t reserved3[16];
    uint8_t cdb[16];
    uint8_t sense[kSenseBytes + 2];
};
#pragma pack(pop)

static_assert(sizeof(RequestHeader) == 8, "ASPI request header");
static_assert(sizeof(HostAdapterInquiry) == 60, "host adapter inquiry block");
static_assert(offsetof(HostAdapterInquiry, unique) == 42, "host adapter unique parameters");
static_assert(sizeof(GetDeviceType) == 12, "get device type block");
static_assert(offsetof(ExecScsiCommand, bufferLength) == 12, "execute block buffer length");
static_assert(offsetof(ExecScsiCommand, senseLength) == 12 + 4 + sizeof(void*), "execute block sense length");
static_assert(offsetof(ExecScsiCommand, cdb) == 36 + 3 * sizeof(void*), "execute block CDB");
static_assert(sizeof(ExecScsiCommand) == 68 + 3 * sizeof(void*), "execute block: 80 bytes on 32-bit Windows");

// The manager's entry points (all cdecl).
using GetSupportInfoFn = uint32_t(__cdecl*)();
using SendCommandFn = uint32_t(__cdecl*)(void* request);
using GetBufferFn = int(__cdecl*)(void* buffer);
using FreeBufferFn = int(__cdecl*)(void* buffer);
using TranslateAddressFn = int(__cdecl*)(uint32_t* path, uint32_t* node);
using GetVersionFn = uint32_t(__cdecl*)();

} // namespace aspi
