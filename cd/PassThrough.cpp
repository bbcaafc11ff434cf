#include "PassThrough.h"

#include "AspiTypes.h"
#include "Trace.h"

#include <winioctl.h>
#include <ntddscsi.h>

#include <stddef.h>
#include <stdio.h>
#include <string.h>

namespace akrip {

namespace {

class WindowsPort : public PassThroughPort {
public:
    UINT DriveType(char letter) override {
        char root[] = {letter, ':', '\\', '\0'};
        return GetDriveTypeA(root);
    }
    HANDLE Open(char letter, DWORD access) override { return OpenShared(letter, access, FILE_SHARE_READ); }
    HANDLE OpenShared(char letter, DWORD access, DWORD share) override {
        char path[] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
        return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    BOOL Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned) override {
        return DeviceIoControl(device, code, in, inSize, out, outSize, returned, nullptr);
    }
    void Close(HANDLE device) override { CloseHandle(device); }
};

struct PassThroughDrive {
    uint8_t adapter; // the port number
    uint8_t target;
    uint8_t lun;
    uint8_t letter; // 0 = A
    bool present;
    HANDLE device;
    uint8_t inquiry[36];
};

struct SptdWithSense {
    SCSI_PASS_THROUGH_DIRECT spt;
    ULONG filler;
    UCHAR sense[32];
};

WindowsPort g_windowsPort;
PassThroughPort* g_port = &g_windowsPort;
PassThroughDrive g_drives[26];
int g_adapterCount = 0;
bool g_started = false;

constexpr DWORD kErrorMediaChanged = 1110;

char Letter(const PassThroughDrive& drive) {
    return static_cast<char>('A' + drive.letter);
}

// Read access, and write access too where Windows asks for it (NT 5 and later); when the
// drive refuses, once more with the write bit the other way.
HANDLE OpenDeviceFile(char letter) {
    DWORD version = GetVersion();
    bool nt5 = !(version & 0x80000000u) && (version & 0xFF) >= 5;
    DWORD access = GENERIC_READ | (nt5 ? GENERIC_WRITE : 0);
    HANDLE device = g_port->Open(letter, access);
    if (device == INVALID_HANDLE_VALUE)
        device = g_port->Open(letter, access ^ GENERIC_WRITE);
    return device;
}

BOOL SendPassThrough(HANDLE device, const uint8_t* cdb, uint8_t cdbLength, uint8_t direction, void* buffer,
                     uint32_t length, ULONG timeoutSeconds, SptdWithSense& request) {
    memset(&request, 0, sizeof(request));
    request.spt.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    request.spt.CdbLength = cdbLength;
    request.spt.SenseInfoLength = 24;
    request.spt.DataIn = direction;
    request.spt.DataTransferLength = length;
    request.spt.TimeOutValue = timeoutSeconds;
    request.spt.DataBuffer = buffer;
    request.spt.SenseInfoOffset = offsetof(SptdWithSense, sense);
    memcpy(request.spt.Cdb, cdb, cdbLength);
    DWORD returned = 0;
    return g_port->Control(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &request, sizeof(request), &request,
                           sizeof(request), &returned);
}

// Finds the drive behind a letter: its inquiry data and its SCSI address.
void Probe(PassThroughDrive& drive) {
    drive.present = false;
    HANDLE device = OpenDeviceFile(Letter(drive));
    if (device == INVALID_HANDLE_VALUE)
        return;
    static const uint8_t kInquiry[6] = {0x12, 0, 0, 0, 100, 0};
    uint8_t answer[100] = {};
    SptdWithSense request;
    SCSI_ADDRESS address = {};
    DWORD returned = 0;
    if (SendPassThrough(device, kInquiry, 6, SCSI_IOCTL_DATA_IN, answer, sizeof(answer), 2, request) &&
        g_port->Control(device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof(address), &returned)) {
        memcpy(drive.inquiry, answer, sizeof(drive.inquiry));
        drive.adapter = address.PortNumber;
        drive.target = address.TargetId;
        drive.lun = address.Lun;
        drive.present = true;
        TX_TRACE(scsi, "%c: is %d:%d:%d", Letter(drive), drive.adapter, drive.target, drive.lun);
    }
    g_port->Close(device);
}

PassThroughDrive* Find(uint8_t adapter, uint8_t target, uint8_t lun) {
    for (PassThroughDrive& drive : g_drives)
        if (drive.present && drive.adapter == adapter && drive.target == target && drive.lun == lun)
            return &drive;
    return nullptr;
}

uint8_t Execute(aspi::ExecScsiCommand& request) {
    PassThroughDrive* drive = Find(request.header.adapter, request.target, request.lun);
    if (!drive)
        return aspi::kError;
    if (request.cdb[0] == 0x12) {
        uint32_t n =
            request.bufferLength < sizeof(drive->inquiry) ? request.bufferLength : sizeof(drive->inquiry);
        if (request.buffer)
            memcpy(request.buffer, drive->inquiry, n);
        return aspi::kComplete;
    }
    uint8_t direction = (request.header.flags & aspi::kFlagDataIn)    ? SCSI_IOCTL_DATA_IN
                        : (request.header.flags & aspi::kFlagDataOut) ? SCSI_IOCTL_DATA_OUT
                                                                      : SCSI_IOCTL_DATA_UNSPECIFIED;
    SptdWithSense sptd;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (drive->device == INVALID_HANDLE_VALUE)
            drive->device = OpenDeviceFile(Letter(*drive));
        if (SendPassThrough(drive->device, request.cdb, request.cdbLength, direction, request.buffer,
                            request.bufferLength, 5, sptd)) {
            request.targetStatus = sptd.spt.ScsiStatus;
            if (sptd.spt.ScsiStatus == 0)
                return aspi::kComplete;
            // The device itself refused: its sense data goes back as an ASPI manager gives it.
            memcpy(request.sense, sptd.sense,
                   request.senseLength < sizeof(request.sense) ? request.senseLength : sizeof(request.sense));
            return aspi::kError;
        }
        DWORD error = GetLastError();
        TX_TRACE(scsi, "%c: pass-through of %02X failed with error %lu", Letter(*drive), request.cdb[0],
                 static_cast<unsigned long>(error));
        if (attempt > 0 || (error != kErrorMediaChanged && error != ERROR_INVALID_HANDLE))
            break;
        // A new disc or a device that went away: find the drive again and resend once.
        if (error == kErrorMediaChanged && drive->device != INVALID_HANDLE_VALUE)
            g_port->Close(drive->device);
        drive->device = INVALID_HANDLE_VALUE;
        Probe(*drive);
        if (!drive->present)
            break;
    }
    return aspi::kError;
}

} // namespace

PassThroughPort& CurrentPassThroughPort() {
    return *g_port;
}

void SetPassThroughPort(PassThroughPort* port) {
    passthrough::CloseAll();
    g_port = port ? port : &g_windowsPort;
    g_started = false;
}

namespace passthrough {

int Start() {
    if (!g_started) {
        g_started = true;
        for (int i = 0; i < 26; ++i) {
            g_drives[i] = PassThroughDrive();
            g_drives[i].letter = static_cast<uint8_t>(i);
            g_drives[i].device = INVALID_HANDLE_VALUE;
            if (i >= 2 && g_port->DriveType(static_cast<char>('A' + i)) == DRIVE_CDROM)
                Probe(g_drives[i]);
        }
        bool seen[256] = {};
        seen[0] = true;
        g_adapterCount = 1;
        for (const PassThroughDrive& drive : g_drives) {
            if (drive.present && !seen[drive.adapter]) {
                seen[drive.adapter] = true;
                ++g_adapterCount;
            }
        }
    }
    int found = 0;
    for (const PassThroughDrive& drive : g_drives)
        found += drive.present;
    return found;
}

uint32_t __cdecl GetSupportInfo() {
    return aspi::kComplete << 8 | g_adapterCount;
}

uint32_t __cdecl SendCommand(void* block) {
    auto* header = static_cast<aspi::RequestHeader*>(block);
    switch (header->command) {
    case aspi::kHostAdapterInquiry: {
        auto* inquiry = static_cast<aspi::HostAdapterInquiry*>(block);
        inquiry->adapterCount = static_cast<uint8_t>(g_adapterCount);
        if (header->adapter >= g_adapterCount)
            return header->status = aspi::kInvalidHostAdapter;
        inquiry->scsiId = 7;
        memcpy(inquiry->managerId, "AKASPI v0.000001", 16);
        char adapterId[17];
        snprintf(adapterId, sizeof(adapterId), "SCSI Adapter %d  ", header->adapter % 10);
        memcpy(inquiry->adapterId, adapterId, 16);
        memset(inquiry->unique, 0, sizeof(inquiry->unique));
        inquiry->unique[3] = 8;
        uint32_t maxTransfer = 0x10000;
        memcpy(inquiry->unique + 4, &maxTransfer, 4);
        return header->status = aspi::kComplete;
    }
    case aspi::kGetDeviceType: {
        auto* type = static_cast<aspi::GetDeviceType*>(block);
        bool present = Find(header->adapter, type->target, type->lun) != nullptr;
        type->deviceType = present ? aspi::kDeviceTypeCdRom : aspi::kDeviceTypeUnknown;
        return header->status = present ? aspi::kComplete : aspi::kNoDevice;
    }
    case aspi::kExecScsiCommand: {
        auto* request = static_cast<aspi::ExecScsiCommand*>(block);
        header->status = Execute(*request);
        if ((header->flags & aspi::kFlagEventNotify) && request->postProc)
            SetEvent(static_cast<HANDLE>(request->postProc));
        return header->status;
    }
    default:
        return header->status = aspi::kError;
    }
}

void OpenDevice(uint8_t adapter, uint8_t target, uint8_t lun) {
    PassThroughDrive* drive = Find(adapter, target, lun);
    if (drive && drive->device == INVALID_HANDLE_VALUE)
        drive->device = OpenDeviceFile(Letter(*drive));
}

void CloseAll() {
    for (PassThroughDrive& drive : g_drives) {
        if (drive.device && drive.device != INVALID_HANDLE_VALUE)
            g_port->Close(drive.device);
        drive.device = INVALID_HANDLE_VALUE;
    }
}

} // namespace passthrough

} // namespace akrip
