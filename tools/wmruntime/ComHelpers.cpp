#include "ComHelpers.h"

#include <string.h>

namespace wmruntime {

void MediaType::Set(const WM_MEDIA_TYPE& type) {
    std::vector<uint8_t> format;
    if (type.pbFormat && type.cbFormat)
        format.assign(type.pbFormat, type.pbFormat + type.cbFormat);
    m_header = type;
    m_header.pUnk = nullptr;
    m_header.cbFormat = static_cast<ULONG>(format.size());
    m_header.pbFormat = nullptr;
    m_format = std::move(format);
    m_empty = false;
}

HRESULT MediaType::CopyOut(WM_MEDIA_TYPE* out, DWORD* size) const {
    if (!size)
        return E_POINTER;
    if (m_empty)
        return NS_E_NOT_CONFIGURED;
    DWORD needed = static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + m_format.size());
    DWORD given = *size;
    *size = needed;
    if (!out)
        return S_OK;
    if (given < needed)
        return ASF_E_BUFFERTOOSMALL;
    *out = m_header;
    out->pbFormat = m_format.empty() ? nullptr : reinterpret_cast<BYTE*>(out + 1);
    if (!m_format.empty())
        memcpy(out->pbFormat, m_format.data(), m_format.size());
    return S_OK;
}

const WAVEFORMATEX* MediaType::Wave() const {
    if (m_empty || !IsEqualGUID(m_header.formattype, wmsdk::kFormatWaveFormatEx) || m_format.size() < 16)
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(m_format.data());
}

MediaType MediaType::Audio(const GUID& subtype, const std::vector<uint8_t>& waveFormat, ULONG sampleSize) {
    WM_MEDIA_TYPE type = {};
    type.majortype = wmsdk::kMediaTypeAudio;
    type.subtype = subtype;
    type.bFixedSizeSamples = TRUE;
    type.bTemporalCompression = FALSE;
    type.lSampleSize = sampleSize;
    type.formattype = wmsdk::kFormatWaveFormatEx;
    type.cbFormat = static_cast<ULONG>(waveFormat.size());
    type.pbFormat = const_cast<BYTE*>(waveFormat.data());
    MediaType media;
    media.Set(type);
    return media;
}

void PropertyList::Set(const std::u16string& name, WMT_ATTR_DATATYPE type, const BYTE* value, DWORD size) {
    std::vector<uint8_t> bytes;
    if (value && size)
        bytes.assign(value, value + size);
    for (Entry& entry : m_entries) {
        if (entry.name == name) {
            entry.type = type;
            entry.value = std::move(bytes);
            return;
        }
    }
    m_entries.push_back(Entry{name, type, std::move(bytes)});
}

const PropertyList::Entry* PropertyList::Find(const std::u16string& name) const {
    for (const Entry& entry : m_entries)
        if (entry.name == name)
            return &entry;
    return nullptr;
}

DWORD PropertyList::Number(const std::u16string& name, DWORD fallback) const {
    const Entry* entry = Find(name);
    if (!entry || entry->value.size() != 4)
        return fallback;
    DWORD value;
    memcpy(&value, entry->value.data(), 4);
    return value;
}

HRESULT PropertyList::Get(const WCHAR* name, WMT_ATTR_DATATYPE* type, BYTE* value, DWORD* size) const {
    if (!name || !type || !size)
        return E_POINTER;
    const Entry* entry = Find(U16(name));
    if (!entry)
        return NS_E_UNSUPPORTED_PROPERTY;
    *type = entry->type;
    return CopyBytes(entry->value, value, size);
}

} // namespace wmruntime
