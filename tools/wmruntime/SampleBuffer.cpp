#include "SampleBuffer.h"

namespace wmruntime {

void* SampleBuffer::FindInterface(REFIID riid) {
    return IsEqualIID(riid, __uuidof(INSSBuffer)) ? static_cast<INSSBuffer*>(this) : nullptr;
}

HRESULT SampleBuffer::GetLength(DWORD* length) {
    if (!length)
        return E_POINTER;
    *length = m_length;
    return S_OK;
}

HRESULT SampleBuffer::SetLength(DWORD length) {
    if (length > m_bytes.size())
        return E_INVALIDARG;
    m_length = length;
    return S_OK;
}

HRESULT SampleBuffer::GetMaxLength(DWORD* length) {
    if (!length)
        return E_POINTER;
    *length = static_cast<DWORD>(m_bytes.size());
    return S_OK;
}

HRESULT SampleBuffer::GetBuffer(BYTE** buffer) {
    if (!buffer)
        return E_POINTER;
    *buffer = m_bytes.data();
    return S_OK;
}

HRESULT SampleBuffer::GetBufferAndLength(BYTE** buffer, DWORD* length) {
    if (!buffer || !length)
        return E_POINTER;
    *buffer = m_bytes.data();
    *length = m_length;
    return S_OK;
}

void* InputProps::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, __uuidof(IWMMediaProps)) || IsEqualIID(riid, __uuidof(IWMInputMediaProps)))
        return static_cast<IWMInputMediaProps*>(this);
    return nullptr;
}

HRESULT InputProps::GetType(GUID* type) {
    if (!type)
        return E_POINTER;
    *type = m_type.Header().majortype;
    return S_OK;
}

HRESULT InputProps::GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) {
    return m_type.CopyOut(type, size);
}

HRESULT InputProps::SetMediaType(WM_MEDIA_TYPE* type) {
    if (!type)
        return E_POINTER;
    return Guard([&] {
        m_type.Set(*type);
        return S_OK;
    });
}

HRESULT InputProps::GetConnectionName(WCHAR* name, WORD* length) {
    return Guard([&] { return CopyText(m_connection, name, length); });
}

HRESULT InputProps::GetGroupName(WCHAR* name, WORD* length) {
    return Guard([&] { return CopyText(std::u16string(), name, length); });
}

} // namespace wmruntime
