// The runtime's entry points, named and typed as the Windows Media Format runtime's.
#include "Editor.h"
#include "ProfileManager.h"
#include "Writer.h"

using namespace wmruntime;

extern "C" {

__declspec(dllexport) HRESULT WINAPI WMCreateWriter(IUnknown*, IWMWriter** writer) {
    if (!writer)
        return E_POINTER;
    *writer = nullptr;
    return Guard([&] {
        *writer = new Writer();
        return S_OK;
    });
}

__declspec(dllexport) HRESULT WINAPI WMCreateProfileManager(IWMProfileManager** manager) {
    if (!manager)
        return E_POINTER;
    *manager = nullptr;
    return Guard([&] {
        *manager = new ProfileManager();
        return S_OK;
    });
}

__declspec(dllexport) HRESULT WINAPI WMCreateEditor(IWMMetadataEditor** editor) {
    if (!editor)
        return E_POINTER;
    *editor = nullptr;
    return Guard([&] {
        *editor = new Editor();
        return S_OK;
    });
}

} // extern "C"

// ReplacementFile's temporary files are made beside the file they replace; this is the
// default directory of the others, which the runtime does not make.
extern "C" char* __cdecl TXTempPath(char* path) {
    DWORD length = GetTempPathA(MAX_PATH, path);
    if (length == 0 || length >= MAX_PATH)
        strcpy(path, ".\\");
    return path;
}
