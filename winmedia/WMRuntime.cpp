#include "WMRuntime.h"

#include <wmsdk.h>

#include <string.h>

namespace trelvox {

namespace {

constexpr DWORD kMaxMessage = 1024;

constexpr char kOwnRuntime[] = "TrelvoxWM.dll";
constexpr const char* kWriterEntries[] = {"WMCreateWriter", "WMCreateProfileManager", "WMCreateEditor"};

HMODULE RuntimeModule() {
    // Never freed: readers created from it may live until the process ends.
    static const HMODULE module = LoadLibraryA("wmvcore.dll");
    return module;
}

bool RunningOnWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Our runtime from the directory of this module (Trelvox.dll, or a test program that has the
// library compiled in), not from the search path: it belongs with the library beside it.
HMODULE LoadOwnRuntime() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&LoadOwnRuntime), &self))
        return nullptr;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    char* name = strrchr(path, '\\');
    name = name ? name + 1 : path;
    if (static_cast<size_t>(name - path) + sizeof kOwnRuntime > MAX_PATH)
        return nullptr;
    strcpy(name, kOwnRuntime);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool HasWriterEntries(HMODULE module) {
    if (!module)
        return false;
    for (const char* entry : kWriterEntries)
        if (!GetProcAddress(module, entry))
            return false;
    return true;
}

struct WriterBinding {
    HMODULE module = nullptr;
    const char* name = "";
};

WriterBinding BindWriter() {
    WriterBinding binding;
    // Loaded only when needed, and never freed, like wmvcore.dll.
    HMODULE system = RuntimeModule();
    if (RunningOnWine() || !HasWriterEntries(system)) {
        HMODULE own = LoadOwnRuntime();
        if (HasWriterEntries(own)) {
            binding.module = own;
            binding.name = kOwnRuntime;
            return binding;
        }
        if (own)
            FreeLibrary(own);
    }
    if (HasWriterEntries(system)) {
        binding.module = system;
        binding.name = "wmvcore.dll";
    }
    return binding;
}

const WriterBinding& Writer() {
    static const WriterBinding binding = BindWriter();
    return binding;
}

template <class Create, class... Args> HRESULT CallWriterEntry(const char* name, Args... args) {
    auto create = reinterpret_cast<Create>(reinterpret_cast<void*>(WmWriterProc(name)));
    if (!create)
        return kWmRuntimeMissing;
    return create(args...);
}

// Loads the first "wmerr*.dll" of the system directory as a message resource, or null.
HMODULE LoadMessageModule() {
    char dir[MAX_PATH];
    UINT length = GetSystemDirectoryA(dir, MAX_PATH);
    if (length == 0 || length + strlen("\\wmerr*.dll") >= MAX_PATH)
        return nullptr;
    char pattern[MAX_PATH];
    strcpy(pattern, dir);
    strcat(pattern, "\\wmerr*.dll");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return nullptr;
    FindClose(search);
    if (length + 1 + strlen(found.cFileName) >= MAX_PATH)
        return nullptr;
    char path[MAX_PATH];
    strcpy(path, dir);
    strcat(path, "\\");
    strcat(path, found.cFileName);
    return LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

} // namespace

FARPROC WmRuntimeProc(const char* name) {
    HMODULE module = RuntimeModule();
    return module ? GetProcAddress(module, name) : nullptr;
}

HRESULT WmCreateSyncReader(IWMSyncReader** reader) {
    using Create = HRESULT(WINAPI*)(IUnknown*, DWORD, IWMSyncReader**);
    auto create = reinterpret_cast<Create>(reinterpret_cast<void*>(WmRuntimeProc("WMCreateSyncReader")));
    if (!create)
        return kWmRuntimeMissing;
    return create(nullptr, 0, reader);
}

FARPROC WmWriterProc(const char* name) {
    HMODULE module = Writer().module;
    return module ? GetProcAddress(module, name) : nullptr;
}

const char* WmWriterModuleName() {
    return Writer().name;
}

HRESULT WmCreateWriter(IWMWriter** writer) {
    return CallWriterEntry<HRESULT(WINAPI*)(IUnknown*, IWMWriter**)>("WMCreateWriter", nullptr, writer);
}

HRESULT WmCreateProfileManager(IWMProfileManager** manager) {
    return CallWriterEntry<HRESULT(WINAPI*)(IWMProfileManager**)>("WMCreateProfileManager", manager);
}

HRESULT WmCreateEditor(IWMMetadataEditor** editor) {
    return CallWriterEntry<HRESULT(WINAPI*)(IWMMetadataEditor**)>("WMCreateEditor", editor);
}

void TrimWmErrorText(char* text) {
    text[strcspn(text, "\r")] = '\0';
    text[strcspn(text, "\n")] = '\0';
    size_t length = strlen(text);
    if (length > 0 && text[length - 1] == '.')
        text[length - 1] = '\0';
}

void DescribeWmError(const CDefErrLog& log, HRESULT code) {
    HMODULE module = LoadMessageModule();
    if (!module)
        return;
    char text[kMaxMessage] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  module, static_cast<DWORD>(code), 0, text, kMaxMessage, nullptr);
    FreeLibrary(module);
    if (length == 0)
        return;
    TrimWmErrorText(text);
    log.SetError("%s", text);
}

} // namespace trelvox
