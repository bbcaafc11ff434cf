#include "Akrip.h"

#include "PassThrough.h"
#include "ScsiTransport.h"
#include "Trace.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <initializer_list>

namespace akrip {

namespace {

struct CdHandleEntry;
using ReadFunction = uint8_t (*)(CdHandleEntry& entry, TrackBuffer* buffer);
using RestoreFunction = uint8_t (*)(CdHandleEntry& entry);

constexpr uint8_t kPageErrorRecovery = 0x01;
constexpr uint8_t kPageCdParameters = 0x0D;
constexpr uint8_t kPageCapabilities = 0x2A;
constexpr uint8_t kPageAudioControl = 0x0E;

struct ModePages {
    uint8_t errorRecovery[8];
    uint8_t cdParameters[8];
    uint8_t capabilities[20];
    uint8_t audioControl[16];
    uint32_t hasErrorRecovery;
    uint32_t hasCdParameters;
    uint32_t hasCapabilities;
    uint32_t hasAudioControl;
};
static_assert(sizeof(ModePages) == 68, "mode page copies and their flags");

struct CdHandleEntry {
    uint8_t adapter;
    uint8_t target;
    uint8_t lun;
    uint8_t readMethod;
    uint32_t inUse;
    uint32_t msfToc;
    uint32_t readModeReady;
    ModePages modePages;
    uint32_t modePagesRead;
    ReadFunction readFunction;
    RestoreFunction restoreFunction;
    uint8_t byte1; // the open request's last two bytes
    uint8_t byte2;
};

struct Layer {
    bool held = false; // a reference on the shared transport
    int lastError = 0;
    uint8_t lastStatus = 0;
    CdHandleEntry handles[kMaxHandles] = {};
    int lastSlot = 0;
    CRITICAL_SECTION tableLock;
    bool tableReady = false;
};

Layer g_layer;

static_assert(kModeNone == cdengine::kTransportNone && kModeManager == cdengine::kTransportManager &&
                  kModePassThrough == cdengine::kTransportPassThrough &&
                  kErrNoManager == cdengine::kLoadNoManager &&
                  kErrNoSupportInfo == cdengine::kLoadNoSupportInfo &&
                  kErrNoSendCommand == cdengine::kLoadNoSendCommand,
              "the layer reports the transport's modes and load failures as they are");

void SetError(int code) {
    g_layer.lastError = code;
}

CdHandleEntry* EntryOf(CdHandle handle) {
    if (handle < 1 || handle > static_cast<int>(kMaxHandles) || !g_layer.handles[handle - 1].inUse)
        return nullptr;
    return &g_layer.handles[handle - 1];
}

using Command = cdengine::ScsiCommand;

uint8_t Execute(uint8_t adapter, uint8_t target, uint8_t lun, const Command& command) {
    cdengine::ScsiResult result = cdengine::transport::Execute({adapter, target, lun}, command);
    if (!result.ok()) {
        SetError(kErrAspi);
        g_layer.lastStatus = result.status;
    }
    return result.status;
}

uint8_t Execute(const CdHandleEntry& entry, const Command& command) {
    return Execute(entry.adapter, entry.target, entry.lun, command);
}

// Commands whose CDB carries an LBA in bytes 3-5 (the top byte is sent as 0).
void PutLba(Command& command, uint32_t lba) {
    command.cdb[3] = static_cast<uint8_t>(lba >> 16);
    command.cdb[4] = static_cast<uint8_t>(lba >> 8);
    command.cdb[5] = static_cast<uint8_t>(lba);
}

// MODE SELECT(6) of a parameter list; listLength is what the CDB announces.
uint8_t ModeSelect(const CdHandleEntry& entry, uint8_t byte1, uint8_t listLength,
                   std::initializer_list<uint8_t> list, uint8_t flags = aspi::kFlagEventNotify) {
    uint8_t parameters[20] = {};
    memcpy(parameters, list.begin(), list.size());
    Command command({0x15, byte1, 0, 0, listLength, 0}, 6);
    command.flags = flags;
    command.buffer = parameters;
    command.bufferLength = static_cast<uint32_t>(list.size());
    return Execute(entry, command);
}

uint8_t Pause(const CdHandleEntry& entry) {
    Command command({0x4B, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 10);
    command.flags = aspi::kFlagEventNotify;
    return Execute(entry, command);
}

uint8_t RestoreBlockLength(CdHandleEntry& entry) {
    uint8_t status = ModeSelect(entry, 0x00, 0x0C, {0, 0, 0, 8, 0x53, 0, 0, 0, 0, 0, 0x08, 0x00},
                                aspi::kFlagEventNotify | aspi::kFlagResidualCount);
    entry.readModeReady = 0;
    return status;
}

// Methods 3, 4 and 8 read with READ(10) after switching the block length to 2352.
uint8_t PrepareRead10(CdHandleEntry& entry) {
    if (entry.readModeReady)
        return aspi::kComplete;
    uint8_t status;
    if (entry.readMethod == 8) {
        status = ModeSelect(entry, 0x10, 0x14,
                            {0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x09, 0x30, 0x23, 0x06, 0, 0, 0, 0, 0, 0x80});
        if (status == aspi::kComplete)
            status = ModeSelect(entry, 0x10, 0x14, {0,    0,    0,    8,    0,    0,    0, 0, 0, 0,
                                                    0x09, 0x30, 0x01, 0x06, 0x20, 0x07, 0, 0, 0, 0});
    } else {
        status = ModeSelect(entry, 0x00, 0x0C, {0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x09, 0x30});
    }
    if (status != aspi::kComplete)
        return status;
    entry.restoreFunction = RestoreBlockLength;
    entry.readModeReady = 1;
    return status;
}

// Methods 5, 6 and 7: vendor reads after stopping any audio play.
uint8_t PrepareVendorRead(CdHandleEntry& entry) {
    if (entry.readModeReady)
        return aspi::kComplete;
    Pause(entry);
    if (entry.readMethod == 7) {
        uint8_t status = ModeSelect(entry, 0x10, 0x08, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x09, 0x30});
        if (status != aspi::kComplete)
            return status;
    }
    entry.readModeReady = 1;
    return aspi::kComplete;
}

// Sends a read command of buffer's frames into its data area, of which the drive may fill
// length bytes.
uint8_t ExecuteRead(const CdHandleEntry& entry, Command& command, TrackBuffer* buffer, uint32_t length) {
    PutLba(command, buffer->startFrame);
    command.buffer = buffer->data;
    command.bufferLength = length;
    return Execute(entry, command);
}

uint8_t ReadWithReadCd(CdHandleEntry& entry, TrackBuffer* buffer) {
    Command command({0xBE, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(buffer->numFrames),
                     static_cast<uint8_t>(entry.readMethod == 1 ? 0x10 : 0xF0)},
                    12);
    return ExecuteRead(entry, command, buffer, buffer->maxLen);
}

uint8_t ReadWithRead10(CdHandleEntry& entry, TrackBuffer* buffer) {
    uint8_t status = PrepareRead10(entry);
    if (status != aspi::kComplete)
        return status;
    Command command({0x28, static_cast<uint8_t>(entry.lun << 5), 0, 0, 0, 0, 0, 0,
                     static_cast<uint8_t>(buffer->numFrames), 0},
                    10);
    return ExecuteRead(entry, command, buffer, buffer->maxLen);
}

uint8_t ReadWithD8(CdHandleEntry& entry, TrackBuffer* buffer) {
    uint8_t status = PrepareVendorRead(entry);
    if (status != aspi::kComplete)
        return status;
    Command command({0xD8, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(buffer->numFrames), 0, 0}, 12);
    return ExecuteRead(entry, command, buffer, buffer->numFrames * kFrameBytes);
}

uint8_t ReadWithD4(CdHandleEntry& entry, TrackBuffer* buffer) {
    uint8_t status = PrepareVendorRead(entry);
    if (status != aspi::kComplete)
        return status;
    Command command({0xD4, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(buffer->numFrames), 0}, 10);
    return ExecuteRead(entry, command, buffer, buffer->maxLen);
}

uint8_t DetectAndRead(CdHandleEntry& entry, TrackBuffer* buffer);

ReadFunction ReaderFor(uint8_t method) {
    switch (method) {
    case 1:
    case 2:
        return ReadWithReadCd;
    case 3:
    case 4:
    case 8:
        return ReadWithRead10;
    case 5:
        return ReadWithD8;
    case 6:
    case 7:
        return ReadWithD4;
    default:
        return DetectAndRead;
    }
}

// A drive that accepts a read but leaves the buffer alone leaves the fill pattern: eight
// AAAAAAAAh words in a row never come from a real disc in practice.
bool HasFillRun(const uint8_t* data, uint32_t bytes) {
    int run = 0;
    for (uint32_t i = 0; i + 4 <= bytes; i += 4) {
        uint32_t word;
        memcpy(&word, data + i, 4);
        run = word == 0xAAAAAAAAu ? run + 1 : 0;
        if (run == 8)
            return true;
    }
    return false;
}

uint8_t DetectAndRead(CdHandleEntry& entry, TrackBuffer* buffer) {
    static const uint8_t kOrder[] = {2, 1, 8, 4, 5, 6, 7};
    uint32_t bytes = buffer->numFrames * kFrameBytes;
    uint8_t status = aspi::kError;
    for (uint8_t method : kOrder) {
        entry.readMethod = method;
        entry.readFunction = ReaderFor(method);
        entry.restoreFunction = nullptr;
        entry.readModeReady = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
            memset(buffer->data, 0xAA, bytes);
            status = entry.readFunction(entry, buffer);
            if (status == aspi::kComplete && !HasFillRun(buffer->data, bytes)) {
                TX_TRACE(cd, "%d:%d:%d reads with method %d", entry.adapter, entry.target, entry.lun, method);
                return status;
            }
            TX_TRACE(cd, "%d:%d:%d method %d attempt %d: status %02X%s", entry.adapter, entry.target,
                     entry.lun, method, attempt + 1, status,
                     status == aspi::kComplete ? ", buffer untouched" : "");
        }
    }
    TX_TRACE(cd, "%d:%d:%d no read method works", entry.adapter, entry.target, entry.lun);
    entry.readMethod = 0;
    entry.readFunction = DetectAndRead;
    entry.restoreFunction = nullptr;
    entry.readModeReady = 0;
    return status;
}

uint8_t SendGetDeviceType(uint8_t adapter, uint8_t target, uint8_t lun, uint8_t& type) {
    return cdengine::transport::DeviceType({adapter, target, lun}, type);
}

void CopyField(char* out, const uint8_t* inquiry, size_t length) {
    memcpy(out, inquiry, length);
    out[length] = '\0';
}

} // namespace

UniqueTrackBuffer AllocateTrackBuffer(uint32_t frames) {
    size_t bytes = offsetof(TrackBuffer, data) + static_cast<size_t>(frames) * kFrameBytes;
    UniqueTrackBuffer buffer(static_cast<TrackBuffer*>(::operator new(bytes, std::nothrow)));
    if (buffer) {
        memset(buffer.get(), 0, offsetof(TrackBuffer, data));
        buffer->maxLen = frames * kFrameBytes;
    }
    return buffer;
}

bool LoadAspiManager() {
    UnloadAspiManager();
    int error = cdengine::transport::Acquire();
    if (error) {
        SetError(error);
        return false;
    }
    g_layer.held = true;
    return true;
}

void SetAspiLibraryNames(const char* first, const char* second) {
    cdengine::transport::SetLibraryNames(first, second);
}

void UnloadAspiManager() {
    if (g_layer.held)
        cdengine::transport::Release();
    g_layer.held = false;
}

int AspiMode() {
    return g_layer.held ? cdengine::transport::Mode() : kModeNone;
}

uint32_t GetAspiSupportInfo() {
    return cdengine::transport::SupportInfo();
}

uint32_t SendAspiCommand(void* request) {
    return cdengine::transport::Send(request);
}

void CreateOpenTable() {
    if (g_layer.tableReady)
        return;
    InitializeCriticalSection(&g_layer.tableLock);
    memset(g_layer.handles, 0, sizeof(g_layer.handles));
    g_layer.lastSlot = 0;
    g_layer.tableReady = true;
}

void DestroyOpenTable() {
    if (!g_layer.tableReady)
        return;
    memset(g_layer.handles, 0, sizeof(g_layer.handles));
    DeleteCriticalSection(&g_layer.tableLock);
    g_layer.tableReady = false;
}

bool EnumCdDrives(CdDriveList* list) {
    uint8_t capacity = list->capacity;
    memset(list, 0, sizeof(*list));
    list->capacity = capacity;
    uint32_t info = GetAspiSupportInfo();
    uint8_t status = static_cast<uint8_t>(info >> 8);
    if (status != aspi::kComplete && status != aspi::kNoAdapters) {
        SetError(kErrAspi);
        g_layer.lastStatus = status;
        return false;
    }
    uint8_t adapters = status == aspi::kNoAdapters ? 0 : static_cast<uint8_t>(info);
    if (adapters == 0) {
        SetError(kErrNoAdapters);
        return false;
    }
    uint32_t room = capacity < kMaxDrives ? capacity : kMaxDrives;
    for (uint8_t adapter = 0; adapter < adapters; ++adapter) {
        aspi::HostAdapterInquiry inquiry;
        cdengine::transport::InquireAdapter(adapter, inquiry);
        int targets = cdengine::transport::TargetCount(inquiry);
        for (uint8_t target = 0; target < targets; ++target) {
            for (uint8_t lun = 0; lun < 8; ++lun) {
                uint8_t type = 0;
                if (SendGetDeviceType(adapter, target, lun, type) != aspi::kComplete ||
                    type != aspi::kDeviceTypeCdRom)
                    continue;
                if (list->count >= room) {
                    TX_TRACE(cd, "%d:%d:%d left out: the drive list holds %u drives", adapter, target, lun,
                             static_cast<unsigned>(room));
                    continue;
                }
                uint8_t answer[100] = {};
                Command command({0x12, 0, 0, 0, 100, 0}, 6);
                command.buffer = answer;
                command.bufferLength = sizeof(answer);
                Execute(adapter, target, lun, command);
                char vendor[9], product[17], revision[5];
                CopyField(vendor, answer + 8, 8);
                CopyField(product, answer + 16, 16);
                CopyField(revision, answer + 32, 4);
                CdDriveRecord& record = list->drives[list->count++];
                record.adapter = adapter;
                record.target = target;
                record.lun = lun;
                snprintf(record.name, sizeof(record.name), "%s, %s v%s (%d:%d:%d)", vendor, product, revision,
                         adapter, target, lun);
                TX_TRACE(cd, "drive %s", record.name);
            }
        }
    }
    if (list->count == 0) {
        SetError(kErrNoDrives);
        return false;
    }
    return true;
}

CdHandle GetCdHandle(const GetCdHandleRequest* request) {
    if (!g_layer.tableReady)
        CreateOpenTable();
    EnterCriticalSection(&g_layer.tableLock);
    CdHandle handle = 0;
    uint8_t type = 0;
    if (!request) {
        SetError(kErrNoRequest);
    } else if (request->size < 12 || request->version != 1) {
        SetError(kErrBadRequest);
    } else {
        bool open = false;
        for (const CdHandleEntry& entry : g_layer.handles)
            open = open || (entry.inUse && entry.adapter == request->adapter &&
                            entry.target == request->target && entry.lun == request->lun);
        uint8_t status = open ? 0 : SendGetDeviceType(request->adapter, request->target, request->lun, type);
        if (open) {
            SetError(kErrAlreadyOpen);
        } else if (status != aspi::kComplete) {
            SetError(kErrAspi);
            g_layer.lastStatus = status;
        } else if (type != aspi::kDeviceTypeCdRom) {
            SetError(kErrNotCdRom);
        } else {
            for (uint32_t i = 0; i < kMaxHandles && !handle; ++i) {
                int slot = (g_layer.lastSlot + static_cast<int>(i)) % static_cast<int>(kMaxHandles);
                if (!g_layer.handles[slot].inUse)
                    handle = slot + 1;
            }
            if (!handle)
                SetError(kErrNoFreeHandle);
        }
    }
    if (handle) {
        CdHandleEntry& entry = g_layer.handles[handle - 1];
        memset(&entry, 0, sizeof(entry));
        entry.adapter = request->adapter;
        entry.target = request->target;
        entry.lun = request->lun;
        entry.readMethod = request->readMethod <= 8 ? request->readMethod : 0;
        entry.inUse = 1;
        entry.readFunction = ReaderFor(entry.readMethod);
        entry.byte1 = request->byte1;
        entry.byte2 = request->byte2;
        g_layer.lastSlot = handle - 1;
        if (AspiMode() == kModePassThrough)
            passthrough::OpenDevice(entry.adapter, entry.target, entry.lun);
        TX_TRACE(cd, "%d:%d:%d open as handle %d, read method %d", entry.adapter, entry.target, entry.lun,
                 handle, entry.readMethod);
    } else if (request) {
        TX_TRACE(cd, "%d:%d:%d cannot be opened: error %d", request->adapter, request->target, request->lun,
                 g_layer.lastError);
    }
    LeaveCriticalSection(&g_layer.tableLock);
    return handle;
}

bool CloseCdHandle(CdHandle handle) {
    if (!g_layer.tableReady || !EntryOf(handle)) {
        SetError(kErrInvalidHandle);
        return false;
    }
    EnterCriticalSection(&g_layer.tableLock);
    CdHandleEntry& entry = g_layer.handles[handle - 1];
    if (entry.restoreFunction)
        entry.restoreFunction(entry);
    memset(&entry, 0, sizeof(entry));
    LeaveCriticalSection(&g_layer.tableLock);
    return true;
}

uint8_t ReadToc(CdHandle handle, uint8_t* toc) {
    CdHandleEntry* entry = EntryOf(handle);
    if (!entry) {
        SetError(kErrInvalidHandle);
        return aspi::kError;
    }
    Command command({0x43, static_cast<uint8_t>(entry->msfToc ? 0x02 : 0x00), 0, 0, 0, 0, 0, 0x03, 0x24, 0},
                    10);
    command.buffer = toc;
    command.bufferLength = kTocBytes;
    return Execute(*entry, command);
}

uint8_t ReadModePages(CdHandle handle) {
    CdHandleEntry* entry = EntryOf(handle);
    if (!entry) {
        SetError(kErrInvalidHandle);
        return aspi::kError;
    }
    uint8_t answer[256];
    memset(answer, 0xFF, sizeof(answer));
    Command command({0x5A, 0, 0x3F, 0, 0, 0, 0, 0x01, 0, 0}, 12);
    command.buffer = answer;
    command.bufferLength = sizeof(answer);
    command.timeout = 500;
    uint8_t status = Execute(*entry, command);
    if (status != aspi::kComplete)
        return status;
    ModePages& pages = entry->modePages;
    memset(&pages, 0, sizeof(pages));
    uint32_t end = 2u + (answer[0] << 8 | answer[1]);
    if (end > sizeof(answer))
        end = sizeof(answer);
    for (uint32_t at = 8; at + 2 <= end; at += answer[at + 1] + 2u) {
        uint32_t length = answer[at + 1] + 2u;
        if (at + length > end)
            length = end - at;
        auto keep = [&](uint8_t* slot, size_t size, uint32_t& flag) {
            memcpy(slot, answer + at, length < size ? length : size);
            flag = 1;
        };
        switch (answer[at] & 0x3F) {
        case kPageErrorRecovery:
            keep(pages.errorRecovery, sizeof(pages.errorRecovery), pages.hasErrorRecovery);
            break;
        case kPageCdParameters:
            keep(pages.cdParameters, sizeof(pages.cdParameters), pages.hasCdParameters);
            break;
        case kPageCapabilities:
            keep(pages.capabilities, sizeof(pages.capabilities), pages.hasCapabilities);
            break;
        case kPageAudioControl:
            keep(pages.audioControl, sizeof(pages.audioControl), pages.hasAudioControl);
            break;
        default:
            break;
        }
    }
    entry->modePagesRead = 1;
    return status;
}

bool GetMaxReadSpeed(CdHandle handle, uint32_t* speed) {
    *speed = 0;
    CdHandleEntry* entry = EntryOf(handle);
    if (!entry) {
        SetError(kErrInvalidHandle);
        return false;
    }
    if (!entry->modePagesRead)
        ReadModePages(handle);
    if (!entry->modePages.hasCapabilities)
        return false;
    *speed = entry->modePages.capabilities[8] << 8 | entry->modePages.capabilities[9];
    return true;
}

bool SetCdSpeed(CdHandle handle, uint16_t readSpeed) {
    CdHandleEntry* entry = EntryOf(handle);
    if (!entry) {
        SetError(kErrInvalidHandle);
        return false;
    }
    Command command({0xBB, 0, static_cast<uint8_t>(readSpeed >> 8), static_cast<uint8_t>(readSpeed), 0, 0},
                    12);
    command.flags = aspi::kFlagEventNotify | aspi::kFlagDataOut;
    return Execute(*entry, command) == aspi::kComplete;
}

uint8_t ReadCdAudioLba(CdHandle handle, TrackBuffer* buffer) {
    CdHandleEntry* entry = EntryOf(handle);
    if (!entry) {
        SetError(kErrInvalidHandle);
        return aspi::kError;
    }
    if (buffer->maxLen < buffer->numFrames * kFrameBytes) {
        SetError(kErrBufferTooSmall);
        return aspi::kError;
    }
    buffer->status = 0;
    uint8_t status = entry->readFunction(*entry, buffer);
    if (status == aspi::kComplete) {
        buffer->len = buffer->numFrames * kFrameBytes;
        buffer->startOffset = 0;
        buffer->status = 1;
    }
    return status;
}

int GetAkripError() {
    int error = g_layer.lastError;
    g_layer.lastError = 0;
    return error;
}

uint8_t GetLastAspiStatus() {
    return g_layer.lastStatus;
}

uint8_t GetReadMethod(CdHandle handle) {
    CdHandleEntry* entry = EntryOf(handle);
    return entry ? entry->readMethod : 0;
}

} // namespace akrip
