// Small pieces every object of the runtime uses: the out-parameter conventions of the
// runtime's interfaces, the guard that keeps exceptions inside, media types and property lists.
#pragma once

#include "WmSdkExtras.h"

#include "ComObject.h"
#include "ComPtr.h"

#include <stdint.h>

#include <new>
#include <string>
#include <vector>

namespace wmruntime {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is wchar_t on Windows");

inline std::u16string U16(const WCHAR* text) {
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}
inline const WCHAR* W(const std::u16string& text) {
    return reinterpret_cast<const WCHAR*>(text.c_str());
}

// A reference-counted object that exposes Primary and the further interfaces More: one
// IUnknown serves all of them.
template <class Primary, class... More>
class ComObjectOf : public trelvox::ComObject<Primary>, public More... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return trelvox::ComObject<Primary>::QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return trelvox::ComObject<Primary>::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return trelvox::ComObject<Primary>::Release(); }
};

// Runs body (HRESULT()), turning an exception into a result: none may leave an interface call.
template <class Body> HRESULT Guard(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Hands text out the runtime's way: *length is in characters with the terminating zero; with
// no buffer only the length is given, with too small a buffer ASF_E_BUFFERTOOSMALL.
template <class Length> HRESULT CopyText(const std::u16string& text, WCHAR* out, Length* length) {
    if (!length)
        return E_POINTER;
    size_t needed = text.size() + 1;
    if (needed > static_cast<Length>(-1))
        return E_FAIL;
    Length given = *length;
    *length = static_cast<Length>(needed);
    if (!out)
        return S_OK;
    if (given < needed)
        return ASF_E_BUFFERTOOSMALL;
    memcpy(out, text.c_str(), needed * sizeof(WCHAR));
    return S_OK;
}

// The same for a value of bytes.
template <class Length> HRESULT CopyBytes(const std::vector<uint8_t>& bytes, BYTE* out, Length* length) {
    if (!length)
        return E_POINTER;
    if (bytes.size() > static_cast<Length>(-1))
        return E_FAIL;
    Length given = *length;
    *length = static_cast<Length>(bytes.size());
    if (!out)
        return S_OK;
    if (given < bytes.size())
        return ASF_E_BUFFERTOOSMALL;
    if (!bytes.empty())
        memcpy(out, bytes.data(), bytes.size());
    return S_OK;
}

// A media type that owns its format block. Its format object (pUnk) is never kept: the
// runtime's audio types have none.
class MediaType {
public:
    MediaType() = default;
    void Set(const WM_MEDIA_TYPE& type);
    // Fills a caller's buffer the runtime's way: the WM_MEDIA_TYPE followed by the format
    // block, *size the bytes of both; no buffer asks only for the size.
    HRESULT CopyOut(WM_MEDIA_TYPE* out, DWORD* size) const;

    const WM_MEDIA_TYPE& Header() const { return m_header; }
    const std::vector<uint8_t>& Format() const { return m_format; }
    bool Empty() const { return m_empty; }
    // The WAVEFORMATEX of an audio type, or null when the format block is no such record.
    const WAVEFORMATEX* Wave() const;

    static MediaType Audio(const GUID& subtype, const std::vector<uint8_t>& waveFormat, ULONG sampleSize);

private:
    WM_MEDIA_TYPE m_header = {};
    std::vector<uint8_t> m_format;
    bool m_empty = true;
};

// Named, typed values: a stream's properties (IWMPropertyVault) and a codec's enumeration
// settings. Values are held as the interfaces pass them (see Attribute).
class PropertyList {
public:
    struct Entry {
        std::u16string name;
        WMT_ATTR_DATATYPE type;
        std::vector<uint8_t> value;
    };

    void Set(const std::u16string& name, WMT_ATTR_DATATYPE type, const BYTE* value, DWORD size);
    void SetDword(const std::u16string& name, DWORD value) {
        Set(name, WMT_TYPE_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    void SetBool(const std::u16string& name, bool value) {
        BOOL flag = value;
        Set(name, WMT_TYPE_BOOL, reinterpret_cast<const BYTE*>(&flag), sizeof flag);
    }
    // The property names of WmSdkExtras.h are wide literals.
    void SetDword(const WCHAR* name, DWORD value) { SetDword(U16(name), value); }
    void SetBool(const WCHAR* name, bool value) { SetBool(U16(name), value); }
    DWORD Number(const WCHAR* name, DWORD fallback) const { return Number(U16(name), fallback); }
    const Entry* Find(const std::u16string& name) const;
    // A DWORD or BOOL value (any 4-byte value) as a number; fallback when absent.
    DWORD Number(const std::u16string& name, DWORD fallback) const;
    const std::vector<Entry>& Entries() const { return m_entries; }
    void Clear() { m_entries.clear(); }

    HRESULT Get(const WCHAR* name, WMT_ATTR_DATATYPE* type, BYTE* value, DWORD* size) const;

private:
    std::vector<Entry> m_entries;
};

} // namespace wmruntime
