#include "ReplacementFile.h"

#include "PathText.h"

#include <stdio.h>

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kChunkBytes = 64 * 1024;
// The new file is "tagXXXX.tmp": what it is, should a crash leave it behind.
constexpr char kPrefix[] = "tag";
// FNV-1a over every byte written: what is read back must give the same value.
constexpr uint64_t kHashBasis = 0xcbf29ce484222325ull;
constexpr uint64_t kHashPrime = 0x100000001b3ull;
// The attributes a user or the shell gives a file on purpose; the new file takes them over.
// It is marked for archiving anyway, as any changed file is.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

uint64_t Hash(uint64_t hash, const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * kHashPrime;
    return hash;
}

} // namespace

bool ReplacementFile::Fail(const char* what, DWORD code) {
    // The first failure is the one worth telling; later steps only fail after it.
    if (m_error.empty()) {
        char text[MAX_PATH + 160];
        if (code != 0)
            snprintf(text, sizeof text, "%s: %s (error %lu)", m_path.c_str(), what,
                     static_cast<unsigned long>(code));
        else
            snprintf(text, sizeof text, "%s: %s", m_path.c_str(), what);
        m_error = text;
    }
    m_new.Reset();
    m_original.reset();
    return false;
}

bool ReplacementFile::Begin(const char* path) {
    m_path = path ? path : "";
    m_error.clear();
    m_written = 0;
    m_hash = kHashBasis;
    m_originalAttributes = GetFileAttributesA(m_path.c_str());
    if (m_originalAttributes == INVALID_FILE_ATTRIBUTES)
        return Fail("the file cannot be opened", GetLastError());
    // Windows refuses to rename over a read-only file, Wine does not: refuse it for both.
    if (m_originalAttributes & FILE_ATTRIBUTE_READONLY)
        return Fail("the file is read-only", ERROR_ACCESS_DENIED);
    // Asking for delete access makes a handle that would block the final rename fail here.
    HANDLE original = CreateFileA(m_path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (original == INVALID_HANDLE_VALUE)
        return Fail("the file cannot be opened", GetLastError());
    m_original.reset(original);
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(original, &size))
        return Fail("the file cannot be read", GetLastError());
    m_originalSize = static_cast<uint64_t>(size.QuadPart);
    if (!GetFileTime(original, &m_originalCreated, nullptr, nullptr))
        m_originalCreated = FILETIME{};

    std::string dir(m_path, 0, static_cast<size_t>(trelvox::FileNamePart(m_path.c_str()) - m_path.c_str()));
    if (!m_new.CreateIn(dir.empty() ? "." : dir.c_str(), kPrefix))
        return Fail("no new file can be created beside it", GetLastError());
    return true;
}

bool ReplacementFile::Write(const void* data, size_t size) {
    if (!m_error.empty() || !m_new.IsOpen())
        return false;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    for (size_t left = size; left > 0;) {
        DWORD chunk = static_cast<DWORD>(std::min(left, kChunkBytes)), done = 0;
        if (!WriteFile(m_new.Handle(), bytes + (size - left), chunk, &done, nullptr))
            return Fail("the new file cannot be written", GetLastError());
        // A disk file takes all of a write or reports an error, except when it is full.
        if (done != chunk)
            return Fail("the new file cannot be written", ERROR_DISK_FULL);
        left -= done;
    }
    m_hash = Hash(m_hash, bytes, size);
    m_written += size;
    return true;
}

bool ReplacementFile::CopyOriginal(uint64_t offset, uint64_t size) {
    if (!m_error.empty() || !m_new.IsOpen())
        return false;
    LARGE_INTEGER position = {};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (offset + size > m_originalSize || !SetFilePointerEx(m_original.get(), position, nullptr, FILE_BEGIN))
        return Fail("the file cannot be read", ERROR_HANDLE_EOF);
    std::vector<uint8_t> buffer(kChunkBytes);
    while (size > 0) {
        DWORD wanted = static_cast<DWORD>(std::min<uint64_t>(size, kChunkBytes));
        DWORD got = 0;
        if (!ReadFile(m_original.get(), buffer.data(), wanted, &got, nullptr))
            return Fail("the file cannot be read", GetLastError());
        if (got != wanted)
            return Fail("the file cannot be read", ERROR_HANDLE_EOF);
        if (!Write(buffer.data(), got))
            return false;
        size -= got;
    }
    return true;
}

bool ReplacementFile::Commit() {
    if (!m_error.empty() || !m_new.IsOpen())
        return false;
    HANDLE handle = m_new.Handle();
    if (!FlushFileBuffers(handle))
        return Fail("the new file cannot be written", GetLastError());

    // A full disk or a failing device may have lost bytes that the writes did not report.
    LARGE_INTEGER size = {}, start = {};
    if (!GetFileSizeEx(handle, &size) || static_cast<uint64_t>(size.QuadPart) != m_written ||
        !SetFilePointerEx(handle, start, nullptr, FILE_BEGIN))
        return Fail("the new file does not read back as written", 0);
    std::vector<uint8_t> buffer(kChunkBytes);
    uint64_t hash = kHashBasis, read = 0;
    DWORD got = 0;
    while (ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
        hash = Hash(hash, buffer.data(), got);
        read += got;
    }
    if (read != m_written || hash != m_hash)
        return Fail("the new file does not read back as written", 0);

    if (m_originalCreated.dwLowDateTime || m_originalCreated.dwHighDateTime)
        SetFileTime(handle, &m_originalCreated, nullptr, nullptr);
    if (!m_new.Close())
        return Fail("the new file cannot be written", GetLastError());
    // Our own handle would keep the original from being replaced.
    m_original.reset();
    if (m_originalAttributes & kKeptAttributes)
        SetFileAttributesA(m_new.Path(), (m_originalAttributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE);
    if (!MoveFileExA(m_new.Path(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Fail("the file cannot be replaced", GetLastError());
    m_new.Keep();
    return true;
}
