#include "WMRuntime.h"

#include <wmsdk.h>

#include <string.h>

namespace trelvox {

namespace {

constexpr DWORD kMaxMessage = 1024;

HMODULE RuntimeModule() {
    // Never freed: readers created from it may live until the process ends.
    static const HMODULE module = LoadLibraryA("wmvcore.dll");
    return module;
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

namespace {

template <class Function> Function RuntimeFunction(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(WmRuntimeProc(name)));
}

} // namespace

HRESULT WmCreateSyncReader(IWMSyncReader** reader) {
    auto create = RuntimeFunction<HRESULT(WINAPI*)(IUnknown*, DWORD, IWMSyncReader**)>("WMCreateSyncReader");
    return create ? create(nullptr, 0, reader) : kWmRuntimeMissing;
}

HRESULT WmCreateWriter(IWMWriter** writer) {
    auto create = RuntimeFunction<HRESULT(WINAPI*)(IUnknown*, IWMWriter**)>("WMCreateWriter");
    return create ? create(nullptr, writer) : kWmRuntimeMissing;
}

HRESULT WmCreateProfileManager(IWMProfileManager** manager) {
    auto create = RuntimeFunction<HRESULT(WINAPI*)(IWMProfileManager**)>("WMCreateProfileManager");
    return create ? create(manager) : kWmRuntimeMissing;
}

HRESULT WmCreateEditor(IWMMetadataEditor** editor) {
    auto create = RuntimeFunction<HRESULT(WINAPI*)(IWMMetadataEditor**)>("WMCreateEditor");
    return create ? create(editor) : kWmRuntimeMissing;
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
