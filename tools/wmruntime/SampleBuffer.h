// A sample the writer hands out (INSSBuffer from AllocateSample): a block of bytes with a
// maximum length fixed at allocation and a current length.
#pragma once

#include "ComHelpers.h"

#include <wmsbuffer.h>

namespace wmruntime {

class SampleBuffer : public ComObjectOf<INSSBuffer> {
public:
    // May throw std::bad_alloc.
    explicit SampleBuffer(DWORD size) : m_bytes(size), m_length(size) {}

    HRESULT STDMETHODCALLTYPE GetLength(DWORD* length) override;
    HRESULT STDMETHODCALLTYPE SetLength(DWORD length) override;
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* length) override;
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** buffer) override;
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** buffer, DWORD* length) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    std::vector<BYTE> m_bytes;
    DWORD m_length;
};

// Input properties of the writer (IWMInputMediaProps): the media type one input takes.
class InputProps : public ComObjectOf<IWMInputMediaProps> {
public:
    InputProps(MediaType type, std::u16string connection)
        : m_type(std::move(type)), m_connection(std::move(connection)) {}

    HRESULT STDMETHODCALLTYPE GetType(GUID* type) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR* name, WORD* length) override;
    HRESULT STDMETHODCALLTYPE GetGroupName(WCHAR* name, WORD* length) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    MediaType m_type;
    std::u16string m_connection;
};

} // namespace wmruntime
