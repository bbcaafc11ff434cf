// Small move-only owners for the Windows handles the library opens.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <stddef.h>
#include <stdint.h>

#include <stdio.h>

#include <memory>
#include <new>

namespace trelvox {

// Owns one handle of type Handle and closes it with Closer when it goes.
template <class Handle, class Closer> class UniqueHandleOf {
public:
    UniqueHandleOf() = default;
    explicit UniqueHandleOf(Handle handle) : m_handle(handle) {}
    ~UniqueHandleOf() { reset(); }
    UniqueHandleOf(UniqueHandleOf&& other) noexcept : m_handle(other.release()) {}
    UniqueHandleOf& operator=(UniqueHandleOf&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandleOf(const UniqueHandleOf&) = delete;
    UniqueHandleOf& operator=(const UniqueHandleOf&) = delete;

    Handle get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    Handle release() {
        Handle handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void reset(Handle handle = nullptr) {
        if (m_handle)
            Closer()(m_handle);
        m_handle = handle;
    }

private:
    Handle m_handle = nullptr;
};

struct MmioCloser {
    void operator()(HMMIO handle) const { mmioClose(handle, 0); }
};
struct AcmStreamCloser {
    void operator()(HACMSTREAM handle) const { acmStreamClose(handle, 0); }
};

struct ModuleCloser {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};

struct KernelHandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

struct RegKeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};

using UniqueMmio = UniqueHandleOf<HMMIO, MmioCloser>;
// An event from CreateEvent (null when creation failed).
using UniqueEvent = UniqueHandleOf<HANDLE, KernelHandleCloser>;
// Any other kernel handle (a file from CreateFile, a thread). CreateFile fails with
// INVALID_HANDLE_VALUE, which the caller checks before handing the handle over.
using UniqueHandle = UniqueHandleOf<HANDLE, KernelHandleCloser>;
using UniqueAcmStream = UniqueHandleOf<HACMSTREAM, AcmStreamCloser>;
// A library loaded with LoadLibrary, freed when the owner goes.
using UniqueModule = UniqueHandleOf<HMODULE, ModuleCloser>;
// A registry key opened with RegOpenKeyEx or RegCreateKeyEx (never a predefined root).
using UniqueRegKey = UniqueHandleOf<HKEY, RegKeyCloser>;

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
// A buffered C stream, closed when the owner goes.
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

// Deletes the file at path when it goes, unless Keep() was called, so that an output whose
// Open fails half-way is not left behind as a stub. The path is not copied and must outlive
// the remover; the file must be closed by then, as an open file cannot be deleted.
class FileRemover {
public:
    explicit FileRemover(const char* path) : m_path(path) {}
    ~FileRemover() {
        if (m_path)
            DeleteFileA(m_path);
    }
    FileRemover(const FileRemover&) = delete;
    FileRemover& operator=(const FileRemover&) = delete;
    void Keep() { m_path = nullptr; }

private:
    const char* m_path;
};

// A heap block of raw bytes. Allocation never throws: an empty result means out of memory,
// which the callers report as a message rather than an exception.
using UniqueBytes = std::unique_ptr<uint8_t[]>;

inline UniqueBytes AllocateBytes(size_t size) {
    return UniqueBytes(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
}

} // namespace trelvox
