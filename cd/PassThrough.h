// The ASPI emulation over the Windows SCSI pass-through interface, used when no ASPI manager
// is installed. Drives are found by drive letter and addressed by the port, target and lun
// that Windows reports for them.
#pragma once

#include <windows.h>

#include <stdint.h>

namespace akrip {

// What the emulation asks of Windows; tests put a drive model behind it.
class PassThroughPort {
public:
    virtual ~PassThroughPort() = default;
    // GetDriveTypeA of "X:\".
    virtual UINT DriveType(char letter) = 0;
    // CreateFileA of "\\.\X:" for access, shared read, opened existing; INVALID_HANDLE_VALUE
    // and the thread's last error on failure.
    virtual HANDLE Open(char letter, DWORD access) = 0;
    // The same with the given share mode.
    virtual HANDLE OpenShared(char letter, DWORD access, DWORD /*share*/) { return Open(letter, access); }
    // DeviceIoControl without overlapping; FALSE and the thread's last error on failure.
    virtual BOOL Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                         DWORD* returned) = 0;
    virtual void Close(HANDLE device) = 0;
};

// The port in use (Windows itself unless a test set another).
PassThroughPort& CurrentPassThroughPort();
// null puts Windows itself back. The emulation probes the drives again at its next start.
void SetPassThroughPort(PassThroughPort* port);

namespace passthrough {

// Probes the drive letters (once per process, or again after SetPassThroughPort); returns
// the number of drives found.
int Start();
uint32_t __cdecl GetSupportInfo();
uint32_t __cdecl SendCommand(void* request);
// Opens the device file of the drive at that address, when it is not open.
void OpenDevice(uint8_t adapter, uint8_t target, uint8_t lun);
// Closes every device file.
void CloseAll();

} // namespace passthrough

} // namespace akrip
