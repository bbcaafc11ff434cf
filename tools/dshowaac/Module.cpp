// The module's COM entry points: class objects for the two filters and their registration
// under HKEY_CLASSES_ROOT\CLSID, so that CoCreateInstance finds them.
#include "AacEncoderFilter.h"
#include "AacFilterIds.h"
#include "Mp4MuxerFilter.h"

#include "ComObject.h"

extern "C" {
#include <libavutil/log.h>
}

#include <olectl.h>
#include <shlwapi.h>

#include <stdio.h>
#include <string.h>

#include <new>

namespace {

HMODULE g_module = nullptr;

using Maker = IBaseFilter* (*)();

template <class Filter> IBaseFilter* Make() {
    return new (std::nothrow) Filter();
}

struct FilterClass {
    const GUID* clsid;
    const char* name;
    Maker make;
};

const FilterClass kClasses[] = {
    {&trelvox::kClsidAacEncoder, "Trelvox AAC Encoder (libavcodec)", &Make<dshowaac::CAacEncoderFilter>},
    {&trelvox::kClsidMp4Muxer, "Trelvox MP4 Muxer (libavformat)", &Make<dshowaac::CMp4MuxerFilter>},
};

class CClassFactory final : public trelvox::ComObject<IClassFactory> {
public:
    explicit CClassFactory(Maker make) : m_make(make) { ++dshowaac::g_objects; }
    ~CClassFactory() override { --dshowaac::g_objects; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        IBaseFilter* filter = m_make();
        if (!filter)
            return E_OUTOFMEMORY;
        HRESULT hr = filter->QueryInterface(riid, out);
        filter->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ++dshowaac::g_objects;
        else
            --dshowaac::g_objects;
        return S_OK;
    }

private:
    void* FindInterface(REFIID riid) override {
        return IsEqualIID(riid, IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
    }

    Maker m_make;
};

// "CLSID\{...}" for clsid.
void ClassKey(const GUID& clsid, char (&key)[64]) {
    snprintf(key, sizeof key, "CLSID\\{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned long>(clsid.Data1), clsid.Data2, clsid.Data3, clsid.Data4[0],
             clsid.Data4[1], clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5], clsid.Data4[6],
             clsid.Data4[7]);
}

LONG SetValue(HKEY root, const char* subkey, const char* name, const char* value) {
    HKEY key;
    LONG result = RegCreateKeyExA(root, subkey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>(strlen(value) + 1));
    RegCloseKey(key);
    return result;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
        // The host's console is not FFmpeg's: only real errors go there.
        av_log_set_level(AV_LOG_ERROR);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    for (const FilterClass& entry : kClasses) {
        if (!IsEqualCLSID(clsid, *entry.clsid))
            continue;
        auto* factory = new (std::nothrow) CClassFactory(entry.make);
        if (!factory)
            return E_OUTOFMEMORY;
        HRESULT hr = factory->QueryInterface(riid, out);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return dshowaac::g_objects == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return E_FAIL;
    for (const FilterClass& entry : kClasses) {
        char key[64], server[96];
        ClassKey(*entry.clsid, key);
        snprintf(server, sizeof server, "%s\\InprocServer32", key);
        if (SetValue(HKEY_CLASSES_ROOT, key, nullptr, entry.name) != ERROR_SUCCESS ||
            SetValue(HKEY_CLASSES_ROOT, server, nullptr, path) != ERROR_SUCCESS ||
            SetValue(HKEY_CLASSES_ROOT, server, "ThreadingModel", "Both") != ERROR_SUCCESS)
            return SELFREG_E_CLASS;
    }
    return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    for (const FilterClass& entry : kClasses) {
        char key[64];
        ClassKey(*entry.clsid, key);
        SHDeleteKeyA(HKEY_CLASSES_ROOT, key);
    }
    return S_OK;
}
