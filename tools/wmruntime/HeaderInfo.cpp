#include "HeaderInfo.h"

namespace wmruntime {

HRESULT HeaderInfo::Check(WORD stream, bool change) const {
    // Stream attributes live in the header extension's metadata objects, which are kept as
    // they are but not offered.
    if (stream != 0)
        return NS_E_INVALID_REQUEST;
    return AttributesReady(change);
}

size_t HeaderInfo::FindName(const std::u16string& name) const {
    for (size_t i = 0; i < m_attributes.size(); ++i)
        if (m_attributes[i].name == name)
            return i;
    return m_attributes.size();
}

HRESULT HeaderInfo::Store(size_t at, WMT_ATTR_DATATYPE type, const BYTE* value, DWORD length) {
    Attribute& attribute = m_attributes[at];
    if (attribute.readOnly)
        return NS_E_ATTRIBUTE_READ_ONLY;
    if (!value && length)
        return E_POINTER;
    if (!IsStorable(attribute.name, static_cast<AttrType>(type), length))
        return NS_E_INVALID_REQUEST;
    attribute.type = static_cast<AttrType>(type);
    attribute.value.assign(value, value + length);
    // A string is kept with exactly one terminating zero, as it will be read back.
    if (attribute.type == AttrType::String) {
        while (attribute.value.size() >= 2 && attribute.value[attribute.value.size() - 1] == 0 &&
               attribute.value[attribute.value.size() - 2] == 0)
            attribute.value.resize(attribute.value.size() - 2);
        attribute.value.push_back(0);
        attribute.value.push_back(0);
    }
    return S_OK;
}

HRESULT HeaderInfo::GetAttributeCount(WORD stream, WORD* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    if (stream != 0)
        return S_OK;
    HRESULT hr = AttributesReady(false);
    if (SUCCEEDED(hr))
        *count = static_cast<WORD>(m_attributes.size());
    return hr;
}

HRESULT HeaderInfo::GetAttributeByIndex(WORD index, WORD* stream, WCHAR* name, WORD* nameLength,
                                        WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length) {
    if (!stream || !nameLength || !type || !length)
        return E_POINTER;
    HRESULT hr = Check(*stream, false);
    if (FAILED(hr))
        return hr;
    if (index >= m_attributes.size())
        return E_INVALIDARG;
    return Guard([&] {
        const Attribute& attribute = m_attributes[index];
        HRESULT result = CopyText(attribute.name, name, nameLength);
        if (FAILED(result))
            return result;
        *type = static_cast<WMT_ATTR_DATATYPE>(attribute.type);
        return CopyBytes(attribute.value, value, length);
    });
}

HRESULT HeaderInfo::GetAttributeByName(WORD* stream, LPCWSTR name, WMT_ATTR_DATATYPE* type, BYTE* value,
                                       WORD* length) {
    if (!stream || !name || !type || !length)
        return E_POINTER;
    HRESULT hr = Check(*stream, false);
    if (FAILED(hr))
        return hr;
    return Guard([&] {
        size_t at = FindName(U16(name));
        if (at == m_attributes.size())
            return ASF_E_NOTFOUND;
        *type = static_cast<WMT_ATTR_DATATYPE>(m_attributes[at].type);
        return CopyBytes(m_attributes[at].value, value, length);
    });
}

HRESULT HeaderInfo::SetAttribute(WORD stream, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                                 WORD length) {
    if (!name)
        return E_POINTER;
    HRESULT hr = Check(stream, true);
    if (FAILED(hr))
        return hr;
    return Guard([&] {
        std::u16string key = U16(name);
        size_t at = FindName(key);
        if (at < m_attributes.size())
            return Store(at, type, value, length);
        WORD index = 0;
        return AddAttribute(stream, name, &index, type, 0, value, length);
    });
}

HRESULT HeaderInfo::GetMarkerCount(WORD* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT HeaderInfo::GetMarker(WORD, WCHAR*, WORD*, QWORD*) {
    return E_INVALIDARG;
}

HRESULT HeaderInfo::AddMarker(LPCWSTR_WMSDK_TYPE_SAFE, QWORD) {
    return E_NOTIMPL;
}

HRESULT HeaderInfo::RemoveMarker(WORD) {
    return E_INVALIDARG;
}

HRESULT HeaderInfo::GetScriptCount(WORD* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT HeaderInfo::GetScript(WORD, WCHAR*, WORD*, WCHAR*, WORD*, QWORD*) {
    return E_INVALIDARG;
}

HRESULT HeaderInfo::AddScript(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, QWORD) {
    return E_NOTIMPL;
}

HRESULT HeaderInfo::RemoveScript(WORD) {
    return E_INVALIDARG;
}

HRESULT HeaderInfo::GetCodecInfoCount(DWORD* count) {
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT HeaderInfo::GetCodecInfo(DWORD, WORD*, WCHAR*, WORD*, WCHAR*, WMT_CODEC_INFO_TYPE*, WORD*, BYTE*) {
    return E_INVALIDARG;
}

HRESULT HeaderInfo::GetAttributeCountEx(WORD stream, WORD* count) {
    return GetAttributeCount(stream, count);
}

HRESULT HeaderInfo::GetAttributeIndices(WORD stream, LPCWSTR name, WORD* language, WORD* indices,
                                        WORD* count) {
    if (!count)
        return E_POINTER;
    HRESULT hr = Check(stream, false);
    if (FAILED(hr))
        return hr;
    // Every attribute here has language 0; asking for another finds nothing.
    bool anyLanguage = !language || *language == 0;
    return Guard([&] {
        std::u16string key = U16(name);
        std::vector<WORD> found;
        for (size_t i = 0; anyLanguage && i < m_attributes.size(); ++i)
            if (!name || m_attributes[i].name == key)
                found.push_back(static_cast<WORD>(i));
        WORD given = *count;
        *count = static_cast<WORD>(found.size());
        if (!indices)
            return S_OK;
        if (given < found.size())
            return ASF_E_BUFFERTOOSMALL;
        for (size_t i = 0; i < found.size(); ++i)
            indices[i] = found[i];
        return S_OK;
    });
}

HRESULT HeaderInfo::GetAttributeByIndexEx(WORD stream, WORD index, LPWSTR name, WORD* nameLength,
                                          WMT_ATTR_DATATYPE* type, WORD* language, BYTE* value,
                                          DWORD* length) {
    if (!nameLength || !type || !length)
        return E_POINTER;
    HRESULT hr = Check(stream, false);
    if (FAILED(hr))
        return hr;
    if (index >= m_attributes.size())
        return E_INVALIDARG;
    return Guard([&] {
        const Attribute& attribute = m_attributes[index];
        HRESULT result = CopyText(attribute.name, name, nameLength);
        if (FAILED(result))
            return result;
        *type = static_cast<WMT_ATTR_DATATYPE>(attribute.type);
        if (language)
            *language = 0;
        return CopyBytes(attribute.value, value, length);
    });
}

HRESULT HeaderInfo::ModifyAttribute(WORD stream, WORD index, WMT_ATTR_DATATYPE type, WORD language,
                                    const BYTE* value, DWORD length) {
    HRESULT hr = Check(stream, true);
    if (FAILED(hr))
        return hr;
    if (index >= m_attributes.size() || language != 0)
        return E_INVALIDARG;
    return Guard([&] { return Store(index, type, value, length); });
}

HRESULT HeaderInfo::AddAttribute(WORD stream, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type,
                                 WORD language, const BYTE* value, DWORD length) {
    if (!name || !index)
        return E_POINTER;
    HRESULT hr = Check(stream, true);
    if (FAILED(hr))
        return hr;
    if (language != 0 || m_attributes.size() >= 0xFFFF)
        return E_INVALIDARG;
    return Guard([&] {
        Attribute attribute;
        attribute.name = U16(name);
        m_attributes.push_back(attribute);
        HRESULT result = Store(m_attributes.size() - 1, type, value, length);
        if (FAILED(result))
            m_attributes.pop_back();
        else
            *index = static_cast<WORD>(m_attributes.size() - 1);
        return result;
    });
}

HRESULT HeaderInfo::DeleteAttribute(WORD stream, WORD index) {
    HRESULT hr = Check(stream, true);
    if (FAILED(hr))
        return hr;
    if (index >= m_attributes.size())
        return E_INVALIDARG;
    if (m_attributes[index].readOnly)
        return NS_E_ATTRIBUTE_READ_ONLY;
    m_attributes.erase(m_attributes.begin() + index);
    return S_OK;
}

HRESULT HeaderInfo::AddCodecInfo(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, WMT_CODEC_INFO_TYPE, WORD,
                                 BYTE*) {
    return E_NOTIMPL;
}

} // namespace wmruntime
