#include "Playlists.h"

#include "Paths.h"

#include "Trelvox.h"

#include <memory>

namespace txconv {

namespace {

struct PlaylistReleaser {
    void operator()(IPlaylist* playlist) const { playlist->Release(); }
};
using PlaylistPtr = std::unique_ptr<IPlaylist, PlaylistReleaser>;

bool EndsWith(const std::string& text, const char* suffix) {
    std::string tail = suffix;
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

bool IsPlaylist(const std::string& path) {
    return EndsWith(path, ".m3u") || EndsWith(path, ".pls");
}

bool ReadPlaylist(Console& console, const std::string& path, std::vector<std::string>& entries) {
    std::string full = FullPath(path);
    // The library takes a missing playlist for a new, empty one.
    if (!FileExists(full) || IsDirectory(full)) {
        console.Report("error", path, "no such playlist");
        return false;
    }
    IPlaylist* created = nullptr;
    if (PlaylistCreateFromFile(full.c_str(), &created) != S_OK || !created) {
        console.Report("error", path, "the playlist cannot be read");
        return false;
    }
    PlaylistPtr playlist(created);
    char entry[MAX_PATH];
    while (playlist->GetNext(entry) == S_OK)
        entries.emplace_back(entry);
    if (entries.empty())
        console.Report("info", path, "the playlist names no files");
    return true;
}

bool WritePlaylist(Console& console, const std::string& path, const std::vector<std::string>& entries) {
    std::string full = FullPath(path);
    // Created from an existing file, the playlist would start with that file's entries.
    DeleteFileA(full.c_str());
    IPlaylist* created = nullptr;
    if (PlaylistCreateFromFile(full.c_str(), &created) != S_OK || !created) {
        console.Report("error", path, "a playlist must end in .m3u");
        return false;
    }
    PlaylistPtr playlist(created);
    for (const std::string& entry : entries)
        playlist->Add(entry.c_str());
    if (playlist->Save(full.c_str()) != S_OK) {
        console.Report("error", path, "the playlist cannot be written");
        return false;
    }
    return true;
}

} // namespace txconv
