#include "ScsiTransport.h"

#include "Handles.h"
#include "PassThrough.h"
#include "Trace.h"

#include <stdio.h>
#include <string.h>

namespace cdengine {

ScsiCommand::ScsiCommand(std::initializer_list<uint8_t> bytes, uint8_t length) : cdbLength(length) {
    memcpy(cdb, bytes.begin(), bytes.size() < sizeof(cdb) ? bytes.size() : sizeof(cdb));
}

namespace transport {

namespace {

struct Manager {
    int mode = kTransportNone;
    int users = 0;
    trelvox::UniqueModule library;
    aspi::GetSupportInfoFn getSupportInfo = nullptr;
    aspi::SendCommandFn sendCommand = nullptr;
};

Manager g_manager;
const char* g_libraryNames[2] = {"WNASPI32.DLL", "WNASPINT.DLL"};

uint32_t __cdecl StubSupportInfo() {
    return aspi::kNoManager;
}
uint32_t __cdecl StubSendCommand(void* request) {
    if (request)
        static_cast<aspi::RequestHeader*>(request)->status = aspi::kNoManager;
    return aspi::kNoManager;
}

void Unload() {
    akrip::passthrough::CloseAll();
    g_manager.getSupportInfo = nullptr;
    g_manager.sendCommand = nullptr;
    g_manager.library.reset();
    g_manager.mode = kTransportNone;
}

int Load(bool passThrough) {
    HMODULE library = LoadLibraryA(g_libraryNames[0]);
    if (!library)
        library = LoadLibraryA(g_libraryNames[1]);
    if (library) {
        g_manager.library.reset(library);
        g_manager.getSupportInfo = reinterpret_cast<aspi::GetSupportInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(library, "GetASPI32SupportInfo")));
        g_manager.sendCommand = reinterpret_cast<aspi::SendCommandFn>(
            reinterpret_cast<void*>(GetProcAddress(library, "SendASPI32Command")));
        int error = !g_manager.sendCommand      ? kLoadNoSendCommand
                    : !g_manager.getSupportInfo ? kLoadNoSupportInfo
                                                : 0;
        if (error) {
            TX_TRACE(cd, "the ASPI manager lacks %s",
                     error == kLoadNoSendCommand ? "SendASPI32Command" : "GetASPI32SupportInfo");
            Unload();
            return error;
        }
        g_manager.mode = kTransportManager;
        TX_TRACE(cd, "ASPI manager loaded");
        return 0;
    }
    if (passThrough && akrip::passthrough::Start() > 0) {
        g_manager.getSupportInfo = akrip::passthrough::GetSupportInfo;
        g_manager.sendCommand = akrip::passthrough::SendCommand;
        g_manager.mode = kTransportPassThrough;
        TX_TRACE(cd, "no ASPI manager: SCSI pass-through");
        return 0;
    }
    TX_TRACE(cd, "no ASPI manager and no pass-through drive");
    return kLoadNoManager;
}

} // namespace

int Acquire(bool passThrough) {
    if (g_manager.users == 0) {
        int error = Load(passThrough);
        if (error)
            return error;
    }
    ++g_manager.users;
    return 0;
}

void Release() {
    if (g_manager.users > 0 && --g_manager.users == 0)
        Unload();
}

int Mode() {
    return g_manager.mode;
}

void SetLibraryNames(const char* first, const char* second) {
    g_libraryNames[0] = first ? first : "WNASPI32.DLL";
    g_libraryNames[1] = second ? second : "WNASPINT.DLL";
}

uint32_t SupportInfo() {
    return (g_manager.getSupportInfo ? g_manager.getSupportInfo : StubSupportInfo)();
}

uint32_t Send(void* request) {
    return (g_manager.sendCommand ? g_manager.sendCommand : StubSendCommand)(request);
}

uint8_t InquireAdapter(uint8_t adapter, aspi::HostAdapterInquiry& inquiry) {
    inquiry = aspi::HostAdapterInquiry();
    inquiry.header.command = aspi::kHostAdapterInquiry;
    inquiry.header.adapter = adapter;
    Send(&inquiry);
    return inquiry.header.status;
}

uint8_t DeviceType(const ScsiAddress& address, uint8_t& type) {
    aspi::GetDeviceType request = {};
    request.header.command = aspi::kGetDeviceType;
    request.header.adapter = address.adapter;
    request.target = address.target;
    request.lun = address.lun;
    Send(&request);
    type = request.deviceType;
    return request.header.status;
}

ScsiResult Execute(const ScsiAddress& address, const ScsiCommand& command) {
    aspi::ExecScsiCommand request = {};
    request.header.command = aspi::kExecScsiCommand;
    request.header.adapter = address.adapter;
    request.header.flags = command.flags;
    request.target = address.target;
    request.lun = address.lun;
    request.bufferLength = command.bufferLength;
    request.buffer = command.buffer;
    request.senseLength = aspi::kSenseBytes;
    request.cdbLength = command.cdbLength;
    memcpy(request.cdb, command.cdb, sizeof(request.cdb));
    trelvox::UniqueEvent event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (event)
        ResetEvent(event.get());
    request.postProc = event.get();
    if (Send(&request) == aspi::kPending && event)
        WaitForSingleObject(event.get(), command.timeout);
    ScsiResult result;
    result.status = request.header.status;
    result.targetStatus = request.targetStatus;
    if (!result.ok()) {
        result.senseKey = request.sense[2] & 0x0F;
        result.asc = request.sense[12];
        result.ascq = request.sense[13];
    }
    if (trelvox::TraceEnabled(trelvox::TraceChannel::scsi)) {
        char cdb[16 * 3 + 1] = {};
        for (int i = 0; i < command.cdbLength && i < 16; ++i)
            snprintf(cdb + 3 * i, 4, "%02X ", command.cdb[i]);
        trelvox::TraceWrite(trelvox::TraceChannel::scsi,
                            "%d:%d:%d CDB %sflags %02X len %u -> status %02X target %02X sense %X/%02X/%02X",
                            address.adapter, address.target, address.lun, cdb, command.flags,
                            static_cast<unsigned>(command.bufferLength), result.status, request.targetStatus,
                            request.sense[2] & 0x0F, request.sense[12], request.sense[13]);
    }
    return result;
}

} // namespace transport

} // namespace cdengine
