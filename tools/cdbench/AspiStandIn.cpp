// A stand-in ASPI manager, WNASPI32.DLL, whose drives are the bench's drive models with disc
// images in them. Programs load it instead of a real manager when it sits beside them and
// Wine is told to prefer it (WINEDLLOVERRIDES=wnaspi32=n).
//
// The drive list is a text file named by CDBENCH_CONFIG, else cdbench.ini beside this DLL:
//   drive ADAPTER TARGET LUN DISC [SETTINGS]
//   drive ADAPTER TARGET LUN blank OUT.cue [SETTINGS]
// DISC is a cue sheet or "none" (an empty drive); SETTINGS a drive settings file (see
// MmcDevice.h). "blank" makes the drive a CD-R writer with a blank disc, whose recording goes
// to OUT.cue and OUT.bin when its session closes. Relative paths start at the list's folder.
// The list is read again when it changes: a drive whose DISC changed sees the new disc as
// just inserted.
#include "AspiTypes.h"
#include "MmcDevice.h"

#include <windows.h>

#include <string.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Address = std::tuple<int, int, int>;

struct Drive {
    std::string discPath;
    std::string settingsPath;
    std::unique_ptr<cdbench::MmcDevice> device;
};

struct State {
    CRITICAL_SECTION lock;
    std::string configPath;
    FILETIME configTime = {};
    bool read = false;
    std::map<Address, Drive> drives;
    int adapterCount = 0;
    std::string problems;
};

State* g_state = nullptr;
HMODULE g_module = nullptr;

std::string ReadText(const std::string& path) {
    std::string text;
    if (FILE* file = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t got;
        while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
            text.append(buffer, got);
        fclose(file);
    }
    return text;
}

std::string Resolve(const std::string& dir, const std::string& path) {
    if (path.size() > 1 && (path[0] == '\\' || path[0] == '/' || path[1] == ':'))
        return path;
    return dir + path;
}

void Report(const std::string& text) {
    g_state->problems += text + "\n";
    OutputDebugStringA(("cdbench: " + text + "\n").c_str());
}

// Reads the drive list when it is new or changed. Called with the lock held.
void Refresh() {
    State& s = *g_state;
    char path[MAX_PATH];
    std::string configPath;
    DWORD got = GetEnvironmentVariableA("CDBENCH_CONFIG", path, sizeof(path));
    if (got > 0 && got < sizeof(path)) {
        configPath = path;
    } else {
        got = GetModuleFileNameA(g_module, path, sizeof(path));
        std::string self(path, got);
        configPath = self.substr(0, self.find_last_of("\\/") + 1) + "cdbench.ini";
    }
    if (configPath != s.configPath) {
        s.configPath = configPath;
        s.read = false;
    }
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(s.configPath.c_str(), GetFileExInfoStandard, &info))
        info.ftLastWriteTime = FILETIME();
    if (s.read && CompareFileTime(&info.ftLastWriteTime, &s.configTime) == 0)
        return;
    s.read = true;
    s.configTime = info.ftLastWriteTime;
    s.problems.clear();

    std::string dir = s.configPath.substr(0, s.configPath.find_last_of("\\/") + 1);
    std::string text = ReadText(s.configPath);
    std::map<Address, Drive> drives;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        std::vector<std::string> w = cdbench::SplitWords(line);
        for (size_t i = 0; i < w.size(); ++i)
            if (!w[i].empty() && w[i][0] == '#')
                w.resize(i);
        if (w.empty())
            continue;
        if (w[0] != "drive" || w.size() < 5) {
            Report("cannot read \"" + line + "\" in " + s.configPath);
            continue;
        }
        Address address(atoi(w[1].c_str()), atoi(w[2].c_str()), atoi(w[3].c_str()));
        Drive drive;
        bool blank = w[4] == "blank" && w.size() > 5;
        size_t settings = blank ? 6 : 5;
        drive.discPath = w[4] == "none" ? std::string()
                         : blank        ? "blank " + Resolve(dir, w[5])
                                        : Resolve(dir, w[4]);
        drive.settingsPath = w.size() > settings ? Resolve(dir, w[settings]) : std::string();
        auto old = s.drives.find(address);
        bool announce = old != s.drives.end();
        if (old != s.drives.end() && old->second.settingsPath == drive.settingsPath) {
            drive.device = std::move(old->second.device);
            if (old->second.discPath == drive.discPath) {
                drives[address] = std::move(drive);
                continue;
            }
        } else {
            cdbench::DriveConfig config;
            std::string error;
            if (!drive.settingsPath.empty() && !config.Parse(ReadText(drive.settingsPath), error))
                Report(drive.settingsPath + ": " + error);
            drive.device.reset(new cdbench::MmcDevice(config));
        }
        if (blank) {
            drive.device->InsertBlank(drive.discPath.substr(6), announce);
            drives[address] = std::move(drive);
            continue;
        }
        std::shared_ptr<cdbench::DiscImage> disc;
        if (!drive.discPath.empty()) {
            disc = std::make_shared<cdbench::DiscImage>();
            std::string error;
            if (!disc->LoadCue(drive.discPath, error)) {
                Report(error);
                disc.reset();
            }
        }
        drive.device->Insert(disc, announce);
        drives[address] = std::move(drive);
    }
    s.drives = std::move(drives);
    s.adapterCount = 0;
    for (const auto& entry : s.drives)
        s.adapterCount = std::max(s.adapterCount, std::get<0>(entry.first) + 1);
}

class Locked {
public:
    Locked() {
        EnterCriticalSection(&g_state->lock);
        Refresh();
    }
    ~Locked() { LeaveCriticalSection(&g_state->lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

struct LateCompletion {
    aspi::ExecScsiCommand* request;
    uint8_t status;
    DWORD delay;
};

// Completes a request after its delay; holds a reference on this DLL until it has finished.
DWORD WINAPI CompleteLater(void* param) {
    LateCompletion job = *static_cast<LateCompletion*>(param);
    delete static_cast<LateCompletion*>(param);
    Sleep(job.delay);
    job.request->header.status = job.status;
    if ((job.request->header.flags & aspi::kFlagEventNotify) && job.request->postProc)
        SetEvent(static_cast<HANDLE>(job.request->postProc));
    FreeLibraryAndExitThread(g_module, 0);
}

uint8_t Execute(aspi::ExecScsiCommand* request) {
    auto found = g_state->drives.find(Address(request->header.adapter, request->target, request->lun));
    if (found == g_state->drives.end())
        return request->header.status = aspi::kNoDevice;
    cdbench::MmcDevice& device = *found->second.device;
    uint8_t op = request->cdb[0];
    cdbench::CommandResult result =
        device.Execute(request->cdb, std::min<size_t>(request->cdbLength, 16), request->buffer,
                       request->buffer ? request->bufferLength : 0);
    request->targetStatus = result.status;
    request->adapterStatus = 0;
    uint8_t status = aspi::kComplete;
    if (result.status != cdbench::kStatusGood) {
        status = aspi::kError;
        uint8_t sense[18] = {
            0x70, 0, result.sense.key, 0, 0, 0, 0, 10, 0, 0, 0, 0, result.sense.asc, result.sense.ascq};
        memcpy(request->sense, sense, std::min<size_t>(request->senseLength, sizeof(request->sense)));
    }
    int delay = device.Config().DelayFor(op);
    if (delay < 0)
        return request->header.status = aspi::kPending; // a drive that never answers
    if (delay > 0) {
        request->header.status = aspi::kPending;
        HMODULE self = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&CompleteLater),
                           &self);
        auto* job = new LateCompletion{request, status, static_cast<DWORD>(delay)};
        HANDLE thread = CreateThread(nullptr, 0, CompleteLater, job, 0, nullptr);
        if (thread) {
            CloseHandle(thread);
            return aspi::kPending;
        }
        delete job;
        FreeLibrary(self);
    }
    request->header.status = status;
    if ((request->header.flags & aspi::kFlagEventNotify) && request->postProc)
        SetEvent(static_cast<HANDLE>(request->postProc));
    return status;
}

} // namespace

extern "C" {

__declspec(dllexport) uint32_t __cdecl GetASPI32SupportInfo() {
    Locked lock;
    if (g_state->adapterCount == 0)
        return aspi::kNoAdapters << 8;
    return aspi::kComplete << 8 | g_state->adapterCount;
}

__declspec(dllexport) uint32_t __cdecl SendASPI32Command(void* block) {
    if (!block)
        return aspi::kError;
    Locked lock;
    auto* header = static_cast<aspi::RequestHeader*>(block);
    switch (header->command) {
    case aspi::kHostAdapterInquiry: {
        auto* inquiry = static_cast<aspi::HostAdapterInquiry*>(block);
        inquiry->adapterCount = static_cast<uint8_t>(g_state->adapterCount);
        if (header->adapter >= g_state->adapterCount)
            return header->status = aspi::kInvalidHostAdapter;
        inquiry->scsiId = 7;
        memcpy(inquiry->managerId, "CDBENCH ASPI    ", 16);
        memcpy(inquiry->adapterId, "CDBENCH ADAPTER ", 16);
        memset(inquiry->unique, 0, sizeof(inquiry->unique));
        inquiry->unique[3] = 8;
        inquiry->unique[6] = 1; // 0x10000 bytes at most per transfer
        return header->status = aspi::kComplete;
    }
    case aspi::kGetDeviceType: {
        auto* type = static_cast<aspi::GetDeviceType*>(block);
        if (header->adapter >= g_state->adapterCount)
            return header->status = aspi::kInvalidHostAdapter;
        auto found = g_state->drives.find(Address(header->adapter, type->target, type->lun));
        bool present = found != g_state->drives.end();
        type->deviceType = present ? found->second.device->Config().deviceType : aspi::kDeviceTypeUnknown;
        return header->status = present ? aspi::kComplete : aspi::kNoDevice;
    }
    case aspi::kExecScsiCommand:
        return Execute(static_cast<aspi::ExecScsiCommand*>(block));
    default:
        return header->status = aspi::kError;
    }
}

__declspec(dllexport) int __cdecl GetASPI32Buffer(void*) {
    return 0;
}
__declspec(dllexport) int __cdecl FreeASPI32Buffer(void*) {
    return 0;
}
__declspec(dllexport) int __cdecl TranslateASPI32Address(uint32_t*, uint32_t*) {
    return 0;
}
__declspec(dllexport) uint32_t __cdecl GetASPI32DLLVersion() {
    return 1;
}

// For tests: the commands a drive received, one per line; returns the length of the whole
// text (copied when it fits, with its terminator) or -1 for no drive at that address.
__declspec(dllexport) int __cdecl CdBenchCommandLog(int adapter, int target, int lun, char* buffer,
                                                    int size) {
    Locked lock;
    auto found = g_state->drives.find(Address(adapter, target, lun));
    if (found == g_state->drives.end())
        return -1;
    std::string text;
    for (const std::string& line : found->second.device->Log())
        text += line + "\n";
    if (buffer && size > static_cast<int>(text.size()))
        memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}

// For tests and users: what the drive list or a disc could not be read for ("" when fine).
__declspec(dllexport) int __cdecl CdBenchProblems(char* buffer, int size) {
    Locked lock;
    const std::string& text = g_state->problems;
    if (buffer && size > static_cast<int>(text.size()))
        memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        g_state = new (std::nothrow) State;
        if (!g_state)
            return FALSE;
        InitializeCriticalSection(&g_state->lock);
    } else if (reason == DLL_PROCESS_DETACH && g_state) {
        DeleteCriticalSection(&g_state->lock);
        delete g_state;
        g_state = nullptr;
    }
    return TRUE;
}

} // extern "C"
