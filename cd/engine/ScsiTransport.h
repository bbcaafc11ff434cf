// The one way this library reaches a SCSI device: the ASPI manager library when one is
// installed, else the ASPI emulation over the Windows pass-through interface (PassThrough.h).
// The CD access layer (Akrip.h) and the drive engine (CdEngine.h) both send their commands
// through it, so that they can live at the same time in one process.
//
// The loaded manager is shared and counted: the first Acquire loads it, the last Release
// unloads it. Commands on one device come from one thread at a time.
#pragma once

#include "AspiTypes.h"

#include <windows.h>

#include <stdint.h>

#include <initializer_list>

namespace cdengine {

// Transport modes.
constexpr int kTransportNone = 0;
constexpr int kTransportManager = 1;
constexpr int kTransportPassThrough = 2;

// Acquire's failures.
constexpr int kLoadNoManager = -1;     // no manager library and no pass-through drive
constexpr int kLoadNoSupportInfo = -2; // the manager lacks GetASPI32SupportInfo
constexpr int kLoadNoSendCommand = -3; // the manager lacks SendASPI32Command

struct ScsiAddress {
    uint8_t adapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
};

// One command block with its data phase. flags are the ASPI request flags: data in by default.
struct ScsiCommand {
    uint8_t cdb[16] = {};
    uint8_t cdbLength = 0;
    uint8_t flags = aspi::kFlagEventNotify | aspi::kFlagDataIn;
    uint8_t* buffer = nullptr;
    uint32_t bufferLength = 0;
    DWORD timeout = 4000; // milliseconds to wait for a pending request

    ScsiCommand(std::initializer_list<uint8_t> bytes, uint8_t length);
};

struct ScsiResult {
    uint8_t status = aspi::kError; // the ASPI status: 1 = success
    uint8_t targetStatus = 0;      // the device's SCSI status (2 = check condition)
    uint8_t senseKey = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    bool ok() const { return status == aspi::kComplete; }
};

namespace transport {

// 0 with a reference held, or one of the kLoad codes (and no reference). Without a manager,
// the pass-through emulation is used when passThrough allows it.
int Acquire(bool passThrough = true);
void Release();
int Mode();
// The manager libraries Acquire tries, in order (null: "WNASPI32.DLL" and "WNASPINT.DLL").
void SetLibraryNames(const char* first, const char* second);

// The active manager's entry points; without one, a request fails with status E3h.
uint32_t SupportInfo();
uint32_t Send(void* request);

// Host adapter inquiry of adapter; its status (1 = success).
uint8_t InquireAdapter(uint8_t adapter, aspi::HostAdapterInquiry& inquiry);
// The targets an adapter's inquiry announces (8 when it says nothing).
inline int TargetCount(const aspi::HostAdapterInquiry& inquiry) {
    return inquiry.unique[3] ? inquiry.unique[3] : 8;
}
// Get device type of address: its status, and the peripheral type into type.
uint8_t DeviceType(const ScsiAddress& address, uint8_t& type);

// Sends command to the device at address and waits for it (on an event, for at most the
// command's time-out). The sense bytes are those the manager returned with the request.
ScsiResult Execute(const ScsiAddress& address, const ScsiCommand& command);

} // namespace transport

} // namespace cdengine
