#include "Playlist.h"

#include "Handles.h"
#include "PathText.h"

#include <shlwapi.h>
#include <string.h>

#include <new>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr const char* kHomePage = "https://www.trelvox.net/";

// Runs an operation so that no exception leaves the interface.
template <class Operation> HRESULT Guarded(Operation&& operation) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// The full path of path's directory, without a trailing separator ("C:" for a file at the root).
bool PlaylistDir(const char* path, std::string& dir) {
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return false;
    dir.assign(full, trelvox::FileNamePart(full) - full);
    while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/'))
        dir.pop_back();
    return true;
}

bool ReadWholeFile(const char* path, std::string& text) {
    trelvox::UniqueFile file(fopen(path, "rb"));
    if (!file)
        return false;
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file.get())) > 0)
        text.append(chunk, got);
    return true;
}

// The shell's joining, which resolves the "." and ".." parts.
std::string ShellJoin(std::string_view dir, std::string_view rel) {
    char joined[MAX_PATH];
    if (!PathCombineA(joined, std::string(dir).c_str(), std::string(rel).c_str()))
        return std::string();
    return joined;
}

} // namespace

template <class Format> HRESULT TX_THISCALL CPlaylist<Format>::Add(const char* path) {
    return Guarded([&] {
        char text[MAX_PATH] = {};
        if (IS_INTRESOURCE(path))
            LoadStringA(reinterpret_cast<HINSTANCE>(&__ImageBase), LOWORD(reinterpret_cast<ULONG_PTR>(path)),
                        text, sizeof(text));
        else
            trelvox::CopyTruncated(text, sizeof(text), path);
        m_entries.emplace_back(text);
        return S_OK;
    });
}

template <class Format> HRESULT TX_THISCALL CPlaylist<Format>::Load(const char* path) {
    return Guarded([&] {
        std::string dir, text;
        if (!path || !PlaylistDir(path, dir) || !ReadWholeFile(path, text))
            return E_FAIL;
        for (const std::string& value : Format::Values(text)) {
            std::string entry = trelvox::playlist::EntryFor(
                trelvox::playlist::ClassifyLine(value, Format::kFormat), dir, ShellJoin);
            if (!entry.empty())
                m_entries.push_back(std::move(entry));
        }
        m_cursor = 0;
        return S_OK;
    });
}

template <class Format> HRESULT TX_THISCALL CPlaylist<Format>::GetCount(uint32_t* count) {
    if (!count)
        return E_INVALIDARG;
    *count = static_cast<uint32_t>(m_entries.size());
    return S_OK;
}

template <class Format> HRESULT TX_THISCALL CPlaylist<Format>::Reset() {
    m_cursor = 0;
    return S_OK;
}

template <class Format> HRESULT TX_THISCALL CPlaylist<Format>::GetNext(char* path) {
    if (m_cursor >= m_entries.size())
        return E_FAIL;
    if (!path)
        return E_INVALIDARG;
    trelvox::CopyTruncated(path, MAX_PATH, m_entries[m_cursor++].c_str());
    return S_OK;
}

template <class Format> HRESULT TX_THISCALL CPlaylist<Format>::Release() {
    delete this;
    return S_OK;
}

template class CPlaylist<CM3UPlaylist>;
template class CPlaylist<CPLSPlaylist>;

HRESULT TX_THISCALL CM3UPlaylist::Save(const char* path) {
    return Guarded([&] {
        std::string dir;
        if (!path || !PlaylistDir(path, dir))
            return E_FAIL;
        std::string text = trelvox::playlist::M3UText(m_entries, dir, kHomePage);
        trelvox::UniqueFile file(fopen(path, "wb"));
        if (!file)
            return E_FAIL;
        bool written = fwrite(text.data(), 1, text.size(), file.get()) == text.size();
        written = fclose(file.release()) == 0 && written;
        m_cursor = 0;
        return written ? S_OK : E_FAIL;
    });
}

extern "C" HRESULT __cdecl PlaylistCreateFromFile(const char* path, IPlaylist** out) {
    if (!path || !out)
        return E_INVALIDARG;
    const char* dot = strrchr(trelvox::FileNamePart(path), '.');
    if (!dot)
        return E_FAIL;
    IPlaylist* playlist = nullptr;
    if (strcmp(dot, ".pls") == 0)
        playlist = new (std::nothrow) CPLSPlaylist;
    else if (strcmp(dot, ".m3u") == 0)
        playlist = new (std::nothrow) CM3UPlaylist;
    else if (strcmp(dot, ".wax") == 0)
        return E_NOTIMPL;
    else
        return E_FAIL;
    if (!playlist)
        return E_OUTOFMEMORY;
    // A playlist that cannot be read yet is a new, empty one.
    playlist->Load(path);
    *out = playlist;
    return S_OK;
}
