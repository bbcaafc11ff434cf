// A file as a read-only IStream, for the Windows Media reader's OpenStream: its reads are
// watched (ReadWatch), so that a reader whose decoder goes round in circles over a damaged file
// can be made to give up. (A decoder that loops at the very end of the file cannot: Wine's reader
// answers reads at the end without asking the stream.)
#pragma once

#include "ComObject.h"
#include "ComPtr.h"
#include "Handles.h"
#include "RuntimeCaller.h"

#include <memory>
#include <mutex>

#include <objidl.h>

class CWatchedFileStream : public trelvox::ComObject<IStream>, public trelvox::StallCancel {
public:
    // Opens path for reading; null, with the Windows error as *result, when it cannot.
    static trelvox::ComPtr<CWatchedFileStream>
    Open(const wchar_t* path, std::shared_ptr<trelvox::ProgressClock> clock, HRESULT* result);

    // From now on every read fails. Any thread.
    void CancelStalled() override { m_reads.Cancel(); }

    // ISequentialStream.
    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override;
    // IStream.
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* to, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override;

private:
    CWatchedFileStream(HANDLE file, LONGLONG size, std::shared_ptr<trelvox::ProgressClock> clock);
    void* FindInterface(REFIID riid) override;

    trelvox::UniqueHandleOf<HANDLE, trelvox::KernelHandleCloser> m_file;
    const LONGLONG m_size; // bytes in the file
    std::mutex m_lock;     // guards the position and the file pointer
    LONGLONG m_position = 0;
    trelvox::ReadWatch m_reads;
};
