// Playlists as other players write them, read back through PlaylistCreateFromFile, and the
// M3U files the library writes.
#include "Trelvox.h"

#include "TestSupport.h"

#include <memory>
#include <vector>

namespace {

struct PlaylistDeleter {
    void operator()(IPlaylist* playlist) const { playlist->Release(); }
};
using PlaylistPtr = std::unique_ptr<IPlaylist, PlaylistDeleter>;

PlaylistPtr Open(const std::string& path) {
    IPlaylist* playlist = nullptr;
    EXPECT_EQ(S_OK, PlaylistCreateFromFile(path.c_str(), &playlist)) << path;
    return PlaylistPtr(playlist);
}

std::vector<std::string> Entries(IPlaylist* playlist) {
    std::vector<std::string> entries;
    char path[MAX_PATH];
    playlist->Reset();
    while (playlist->GetNext(path) == S_OK)
        entries.emplace_back(path);
    uint32_t count = 0;
    EXPECT_EQ(S_OK, playlist->GetCount(&count));
    EXPECT_EQ(entries.size(), count);
    return entries;
}

std::vector<std::string> Read(const std::string& path, const std::string& text) {
    txtest::WriteFile(path, text);
    PlaylistPtr playlist = Open(path);
    return playlist ? Entries(playlist.get()) : std::vector<std::string>{};
}

} // namespace

TEST(Playlist, CreationByExtension) {
    txtest::TempDir dir;
    IPlaylist* playlist = reinterpret_cast<IPlaylist*>(1);
    EXPECT_EQ(E_INVALIDARG, PlaylistCreateFromFile(nullptr, &playlist));
    EXPECT_EQ(E_INVALIDARG, PlaylistCreateFromFile((dir / "a.m3u").c_str(), nullptr));
    // The extension is compared exactly.
    EXPECT_EQ(E_FAIL, PlaylistCreateFromFile((dir / "list.M3U").c_str(), &playlist));
    EXPECT_EQ(E_FAIL, PlaylistCreateFromFile((dir / "list.Pls").c_str(), &playlist));
    EXPECT_EQ(E_FAIL, PlaylistCreateFromFile((dir / "list.m3u8").c_str(), &playlist));
    EXPECT_EQ(E_FAIL, PlaylistCreateFromFile((dir / "list").c_str(), &playlist));
    EXPECT_EQ(E_NOTIMPL, PlaylistCreateFromFile((dir / "list.wax").c_str(), &playlist));
    // A playlist that does not exist yet is a new, empty one; PLS cannot be written.
    PlaylistPtr m3u = Open(dir / "new.m3u");
    PlaylistPtr pls = Open(dir / "new.pls");
    ASSERT_TRUE(m3u && pls);
    EXPECT_TRUE(Entries(m3u.get()).empty());
    EXPECT_EQ(E_NOTIMPL, pls->Save((dir / "new.pls").c_str()));
    EXPECT_FALSE(txtest::FileExists(dir / "new.pls"));
    EXPECT_EQ(E_FAIL, m3u->Load((dir / "missing.m3u").c_str()));
    uint32_t* none = nullptr;
    EXPECT_EQ(E_INVALIDARG, m3u->GetCount(none));
}

// An M3U as VLC writes it (#EXTM3U, #EXTINF and #EXTVLCOPT lines, forward slashes, CR LF)
// and the path forms a hand-made or older player's list holds.
TEST(Playlist, M3UPathRules) {
    txtest::TempDir dir;
    const std::string d = dir.path();
    const std::string parent = d.substr(0, d.rfind('\\'));
    std::string longName(300, 'n');
    std::vector<std::string> entries =
        Read(dir / "vlc.m3u", "#EXTM3U\r\n"
                              "#EXTINF:185,Artist - Title\r\n"
                              "#EXTVLCOPT:start-time=3\r\n"
                              "sub/a.mp3\r\n"
                              "#EXTINF:-1,Radio\r\n"
                              "http://radio.example/stream\r\n"
                              "HTTP://radio.example/loud\r\n"
                              "ftp://host/b.mp3\n"
                              "file:///C:/music/c.mp3\n"
                              "D:\\b.mp3\n"
                              "D:/forward/slashes.ogg   \t\r\n"
                              "\\root\\c.wav\n"
                              "..\\up.wav\n"
                              "../sub/../up2.wav\n"
                              "   \r\n"
                              "\r\n"
                              "plain.flac\n" +
                                  longName + "\n" + "last-without-newline.wav");
    // A 300-character line is read as a 259-character piece and the rest, each a line.
    std::vector<std::string> expected = {d + "\\sub\\a.mp3",
                                         "D:\\b.mp3",
                                         "D:\\forward\\slashes.ogg",
                                         "\\root\\c.wav",
                                         parent + "\\up.wav",
                                         parent + "\\up2.wav",
                                         d + "\\plain.flac",
                                         d + "\\" + std::string(41, 'n'),
                                         d + "\\last-without-newline.wav"};
    // The first piece exceeds 259 characters once joined to the directory: it gives no entry.
    EXPECT_EQ(expected, entries);
}

// PLS as Winamp and foobar2000 write it: Title and Length keys between the File keys, the
// entry count and the version at the end, keys in any case.
TEST(Playlist, PLSKeys) {
    txtest::TempDir dir;
    const std::string d = dir.path();
    std::vector<std::string> entries = Read(dir / "list.pls", "[playlist]\r\n"
                                                              "File1=C:\\music\\one.mp3\r\n"
                                                              "Title1=Artist - One\r\n"
                                                              "Length1=215\r\n"
                                                              "file2=two/2.ogg\r\n"
                                                              "Title2=Two\r\n"
                                                              "Length2=-1\r\n"
                                                              "File3=http://radio.example:8000/\r\n"
                                                              "File4=rtp://239.0.0.1:5004\r\n"
                                                              "File5=ftp://host/x.mp3\r\n"
                                                              "File6=\r\n"
                                                              "NumberOfEntries=6\r\n"
                                                              "Version=2\r\n");
    // ftp:// is no network address to PLS: it goes the relative way, slashes kept.
    std::vector<std::string> expected = {"C:\\music\\one.mp3", d + "\\two\\2.ogg", d + "\\ftp://host/x.mp3"};
    EXPECT_EQ(expected, entries);
}

// Saving writes the header and the entries inside the playlist's directory as ".\" paths; the
// file reads back to the same entries.
TEST(Playlist, M3URoundTrip) {
    txtest::TempDir dir;
    const std::string d = dir.path();
    PlaylistPtr playlist = Open(dir / "list.m3u");
    ASSERT_TRUE(playlist);
    std::string upper = d;
    for (char& c : upper)
        c = char(toupper(static_cast<unsigned char>(c)));
    const std::vector<std::string> added = {d + "\\sub\\a.mp3", upper + "\\b.wav", d + "2\\c.ogg",
                                            "D:\\elsewhere\\d.flac"};
    for (const std::string& entry : added)
        EXPECT_EQ(S_OK, playlist->Add(entry.c_str()));
    // A number names one of the library's strings.
    EXPECT_EQ(S_OK, playlist->Add(MAKEINTRESOURCEA(11)));
    char next[MAX_PATH];
    EXPECT_EQ(S_OK, playlist->GetNext(next));
    EXPECT_EQ(S_OK, playlist->Save((dir / "list.m3u").c_str()));
    EXPECT_EQ(std::string("# Created by Harvane v7.0\r\n# Get this program at: https://www.trelvox.net/\r\n"
                          ".\\sub\\a.mp3\r\n.\\b.wav\r\n") +
                  d + "2\\c.ogg\r\nD:\\elsewhere\\d.flac\r\nWave Audio Files (.wav)\r\n",
              txtest::ReadFile(dir / "list.m3u"));
    // Save put the cursor back on the first entry; GetNext stops after the last.
    std::vector<std::string> all = added;
    all.push_back("Wave Audio Files (.wav)");
    for (const std::string& entry : all) {
        ASSERT_EQ(S_OK, playlist->GetNext(next));
        EXPECT_EQ(entry, next);
    }
    EXPECT_EQ(E_FAIL, playlist->GetNext(next));
    EXPECT_EQ(E_FAIL, playlist->GetNext(next));

    PlaylistPtr reread = Open(dir / "list.m3u");
    ASSERT_TRUE(reread);
    all[1] = d + "\\b.wav"; // written relative, read against the directory's own spelling
    all.back() = d + "\\Wave Audio Files (.wav)";
    EXPECT_EQ(all, Entries(reread.get()));
    EXPECT_EQ(E_FAIL, reread->Save((dir / "no-such-dir\\list.m3u").c_str()));
}

// Load time of a large list (printed, not judged).
TEST(Playlist, TenThousandEntries) {
    txtest::TempDir dir;
    std::string text = "#EXTM3U\r\n";
    for (int i = 0; i < 10000; ++i)
        text += "#EXTINF:200,Artist " + std::to_string(i) + "\r\nmusic/album " + std::to_string(i / 12) +
                "/track " + std::to_string(i) + ".mp3\r\n";
    txtest::WriteFile(dir / "big.m3u", text);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    PlaylistPtr playlist = Open(dir / "big.m3u");
    QueryPerformanceCounter(&end);
    ASSERT_TRUE(playlist);
    uint32_t count = 0;
    EXPECT_EQ(S_OK, playlist->GetCount(&count));
    EXPECT_EQ(10000u, count);
    printf("10000-entry M3U (%u bytes) loaded in %.1f ms\n", unsigned(text.size()),
           double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
}
