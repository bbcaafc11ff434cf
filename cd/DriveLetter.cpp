#include "DriveLetter.h"

#include "Drive.h"
#include "PassThrough.h"
#include "Trace.h"

#include <winioctl.h>
#include <ntddscsi.h>

#include <stddef.h>
#include <string.h>

namespace {

constexpr int kDefaultLetter = 3; // D:
constexpr uint32_t kInquiryBytes = 192;

// IOCTL_SCSI_PASS_THROUGH carries its data behind the request itself.
struct SptWithBuffers {
    SCSI_PASS_THROUGH spt;
    ULONG filler;
    UCHAR sense[24];
    UCHAR data[kInquiryBytes];
};

// Whether the field's start equals text over text's own length.
bool Matches(const UCHAR* field, size_t fieldLength, const std::string& text) {
    return text.size() <= fieldLength && memcmp(field, text.data(), text.size()) == 0;
}

bool Inquire(akrip::PassThroughPort& port, HANDLE device, SptWithBuffers& request) {
    memset(&request, 0, sizeof(request));
    request.spt.Length = sizeof(SCSI_PASS_THROUGH);
    request.spt.CdbLength = 6;
    request.spt.SenseInfoLength = sizeof(request.sense);
    request.spt.DataIn = SCSI_IOCTL_DATA_IN;
    request.spt.DataTransferLength = kInquiryBytes;
    request.spt.TimeOutValue = 2;
    request.spt.DataBufferOffset = offsetof(SptWithBuffers, data);
    request.spt.SenseInfoOffset = offsetof(SptWithBuffers, sense);
    static const UCHAR kCdb[6] = {0x12, 0, 0, 0, kInquiryBytes, 0};
    memcpy(request.spt.Cdb, kCdb, sizeof(kCdb));
    DWORD returned = 0;
    return port.Control(device, IOCTL_SCSI_PASS_THROUGH, &request, sizeof(request), &request, sizeof(request),
                        &returned) != FALSE;
}

} // namespace

int DetectDriveLetter(const cdengine::Drive& drive) {
    akrip::PassThroughPort& port = akrip::CurrentPassThroughPort();
    for (int i = 0; i < 26; ++i) {
        char letter = static_cast<char>('A' + i);
        if (port.DriveType(letter) != DRIVE_CDROM)
            continue;
        // Read access first; a drive that refuses it (or answers nothing) gets one more try with
        // read and write access, shared both ways.
        SptWithBuffers request;
        bool answered = false;
        for (int attempt = 0; attempt < 2 && !answered; ++attempt) {
            HANDLE device = attempt == 0 ? port.OpenShared(letter, GENERIC_READ, FILE_SHARE_READ)
                                         : port.OpenShared(letter, GENERIC_READ | GENERIC_WRITE,
                                                           FILE_SHARE_READ | FILE_SHARE_WRITE);
            if (device == INVALID_HANDLE_VALUE)
                continue;
            answered = Inquire(port, device, request);
            port.Close(device);
        }
        if (!answered) {
            TX_TRACE(cd, "%c: cannot be asked; taken for %s", letter, drive.Product().c_str());
            return i;
        }
        if (Matches(request.data + 8, 8, drive.Vendor()) && Matches(request.data + 16, 16, drive.Product()) &&
            Matches(request.data + 32, 4, drive.Revision()))
            return i;
    }
    return kDefaultLetter;
}
