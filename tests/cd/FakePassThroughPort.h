// A pass-through port for tests: drive letters backed by the bench's drive models.
#pragma once

#include "MmcDevice.h"
#include "PassThrough.h"
#include "TestSupport.h"

#include <winioctl.h>
#include <ntddscsi.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace cdtest {

// Drive letters backed by drive models, answering as Windows' CD-ROM class driver does: a
// unit attention for a new disc fails the request with ERROR_MEDIA_CHANGED.
class FakePort : public akrip::PassThroughPort {
public:
    struct Unit {
        char letter;
        uint8_t port, target, lun;
        std::unique_ptr<cdbench::MmcDevice> device;
        bool refuseWrite = false;
        bool refuseAll = false; // cannot be opened at all
    };
    struct Request {
        uint8_t opcode;
        uint8_t direction;
    };

    Unit& Add(char letter, uint8_t port, uint8_t target, const std::string& settings = "") {
        cdbench::DriveConfig config;
        std::string error;
        EXPECT_TRUE(config.Parse(settings, error)) << error;
        units.push_back(Unit{letter, port, target, 0, std::make_unique<cdbench::MmcDevice>(config)});
        return units.back();
    }
    void InvalidateHandles() { m_open.clear(); }

    UINT DriveType(char letter) override {
        if (letter == 'C')
            return DRIVE_FIXED;
        return Find(letter) ? DRIVE_CDROM : DRIVE_NO_ROOT_DIR;
    }
    HANDLE Open(char letter, DWORD access) override {
        accesses.push_back(access);
        Unit* unit = Find(letter);
        if (!unit || unit->refuseAll || (unit->refuseWrite && (access & GENERIC_WRITE))) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x10000 + 4 * ++m_handles));
        m_open[handle] = unit;
        return handle;
    }
    BOOL Control(HANDLE device, DWORD code, void* in, DWORD, void* out, DWORD, DWORD* returned) override {
        auto found = m_open.find(device);
        if (found == m_open.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        Unit& unit = *found->second;
        if (code == IOCTL_SCSI_GET_ADDRESS) {
            auto* address = static_cast<SCSI_ADDRESS*>(out);
            address->PortNumber = unit.port;
            address->TargetId = unit.target;
            address->Lun = unit.lun;
            return TRUE;
        }
        if (code == IOCTL_SCSI_PASS_THROUGH) {
            // The buffered form: the data follows the request in the same buffer.
            auto* spt = static_cast<SCSI_PASS_THROUGH*>(in);
            requests.push_back({spt->Cdb[0], spt->DataIn});
            cdbench::CommandResult result = unit.device->Execute(
                spt->Cdb, spt->CdbLength, static_cast<uint8_t*>(in) + spt->DataBufferOffset,
                spt->DataTransferLength);
            spt->ScsiStatus = result.status;
            spt->DataTransferLength = result.transferred;
            *returned = static_cast<DWORD>(spt->DataBufferOffset + result.transferred);
            return TRUE;
        }
        auto* sptd = static_cast<SCSI_PASS_THROUGH_DIRECT*>(in);
        requests.push_back({sptd->Cdb[0], sptd->DataIn});
        cdbench::CommandResult result = unit.device->Execute(
            sptd->Cdb, sptd->CdbLength, static_cast<uint8_t*>(sptd->DataBuffer), sptd->DataTransferLength);
        if (result.status && result.sense.key == 6 && result.sense.asc == 0x28) {
            SetLastError(1110);
            return FALSE;
        }
        sptd->ScsiStatus = result.status;
        sptd->DataTransferLength = result.transferred;
        uint8_t* sense = static_cast<uint8_t*>(in) + sptd->SenseInfoOffset;
        sense[2] = result.sense.key;
        sense[12] = result.sense.asc;
        sense[13] = result.sense.ascq;
        *returned = sizeof(SCSI_PASS_THROUGH_DIRECT);
        return TRUE;
    }
    void Close(HANDLE device) override {
        ++closes;
        m_open.erase(device);
    }

    std::vector<Unit> units;
    std::vector<DWORD> accesses;
    std::vector<Request> requests;
    int closes = 0;

private:
    Unit* Find(char letter) {
        for (Unit& unit : units)
            if (unit.letter == letter)
                return &unit;
        return nullptr;
    }
    std::map<HANDLE, Unit*> m_open;
    int m_handles = 0;
};

} // namespace cdtest
