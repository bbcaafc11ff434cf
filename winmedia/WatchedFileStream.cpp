#include "WatchedFileStream.h"

#include <string.h>

#include <new>

using trelvox::ComPtr;

trelvox::ComPtr<CWatchedFileStream> CWatchedFileStream::Open(const wchar_t* path,
                                                             std::shared_ptr<trelvox::ProgressClock> clock,
                                                             HRESULT* result) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *result = HRESULT_FROM_WIN32(GetLastError());
        return {};
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        *result = HRESULT_FROM_WIN32(GetLastError());
        CloseHandle(file);
        return {};
    }
    ComPtr<CWatchedFileStream> stream(new (std::nothrow)
                                          CWatchedFileStream(file, size.QuadPart, std::move(clock)));
    if (!stream) {
        CloseHandle(file);
        *result = E_OUTOFMEMORY;
        return {};
    }
    *result = S_OK;
    return stream;
}

CWatchedFileStream::CWatchedFileStream(HANDLE file, LONGLONG size,
                                       std::shared_ptr<trelvox::ProgressClock> clock)
    : m_file(file), m_size(size), m_reads(std::move(clock)) {}

void* CWatchedFileStream::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_ISequentialStream))
        return static_cast<IStream*>(this);
    return nullptr;
}

HRESULT CWatchedFileStream::Read(void* data, ULONG size, ULONG* read) {
    if (read)
        *read = 0;
    if (!data)
        return STG_E_INVALIDPOINTER;
    if (m_reads.Cancelled())
        return E_ABORT;
    std::lock_guard<std::mutex> hold(m_lock);
    LARGE_INTEGER at;
    at.QuadPart = m_position;
    DWORD got = 0;
    if (!SetFilePointerEx(m_file.get(), at, nullptr, FILE_BEGIN) ||
        !ReadFile(m_file.get(), data, size, &got, nullptr))
        return STG_E_READFAULT;
    m_position += got;
    if (got > 0)
        m_reads.Reached(m_position);
    if (read)
        *read = got;
    return S_OK;
}

HRESULT CWatchedFileStream::Write(const void*, ULONG, ULONG* written) {
    if (written)
        *written = 0;
    return STG_E_ACCESSDENIED;
}

HRESULT CWatchedFileStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
    std::lock_guard<std::mutex> hold(m_lock);
    LONGLONG base = 0;
    switch (origin) {
    case STREAM_SEEK_SET:
        break;
    case STREAM_SEEK_CUR:
        base = m_position;
        break;
    case STREAM_SEEK_END:
        base = m_size;
        break;
    default:
        return STG_E_INVALIDFUNCTION;
    }
    if (base + move.QuadPart < 0)
        return STG_E_INVALIDFUNCTION;
    m_position = base + move.QuadPart;
    if (position)
        position->QuadPart = static_cast<ULONGLONG>(m_position);
    return S_OK;
}

HRESULT CWatchedFileStream::SetSize(ULARGE_INTEGER) {
    return STG_E_ACCESSDENIED;
}

HRESULT CWatchedFileStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
    return E_NOTIMPL;
}

HRESULT CWatchedFileStream::Commit(DWORD) {
    return S_OK;
}

HRESULT CWatchedFileStream::Revert() {
    return S_OK;
}

HRESULT CWatchedFileStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT CWatchedFileStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return STG_E_INVALIDFUNCTION;
}

HRESULT CWatchedFileStream::Stat(STATSTG* stat, DWORD) {
    if (!stat)
        return STG_E_INVALIDPOINTER;
    memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = static_cast<ULONGLONG>(m_size);
    stat->grfMode = STGM_READ;
    return S_OK;
}

HRESULT CWatchedFileStream::Clone(IStream** copy) {
    if (copy)
        *copy = nullptr;
    return E_NOTIMPL;
}
