// Output names from naming schemes: source location, tags, errors, extensions, collisions.
#include "TagText.h"
#include "TestSupport.h"
#include "Trelvox.h"

#include <ctype.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr int kTALB = 29, kTCON = 32, kTIT2 = 47, kTPE1 = 61, kTRCK = 68, kTYER = 80;
constexpr int kMP3 = 0;

// Eight silent MPEG-1 Layer III frames to carry a tag.
std::string MpegAudio() {
    std::string frame = std::string("\xFF\xFB\x90", 3) + std::string(414, '\0');
    return frame + frame + frame + frame + frame + frame + frame + frame;
}

void WriteTaggedFile(const std::string& path, const std::vector<txtest::TextFrame>& frames) {
    txtest::WriteFile(path, MpegAudio());
    IMetadata* md = nullptr;
    ASSERT_EQ(MetadataCreateMP3(path.c_str(), &md), S_OK);
    EXPECT_EQ(txtest::SetTextFrames(md, frames), S_OK);
    md->Release();
}

class OutputNaming : public ::testing::Test {
protected:
    void SetUp() override {
        InitTX(nullptr);
        PutProfileInt("Settings", "UseOriginalFileNameIfNoID3Tag", 1);
        PutProfileInt("Settings", "RenameOnCollision", 0);
        FormatRecord wave, mp3;
        ASSERT_EQ(ConvGetFormatByName(&wave, "Wave"), S_OK);
        ASSERT_EQ(ConvCreateSource(&wave, &waveSource), S_OK);
        // The MP3 row's source reads the tags of its file.
        ASSERT_EQ(ConvGetFormatByName(&mp3, "MP3"), S_OK);
        ASSERT_EQ(ConvCreateSource(&mp3, &mp3Source), S_OK);
    }
    void TearDown() override {
        if (waveSource)
            waveSource->Release();
        if (mp3Source)
            mp3Source->Release();
        PutProfileString("Settings", "UseOriginalFileNameIfNoID3Tag", nullptr);
        PutProfileString("Settings", "RenameOnCollision", nullptr);
    }

    // The result of SuggestOutputFile, with "ERR:" in front of a failure's message.
    std::string Suggest(const char* scheme, IConvertSource* source, int formatIndex = kMP3, int size = 260) {
        std::string out(static_cast<size_t>(size) + 16, '#');
        int32_t ok = SuggestOutputFile(scheme, formatIndex, source, &out[0], size);
        EXPECT_EQ(out[static_cast<size_t>(size)], '#') << "wrote past outSize";
        out.resize(strlen(out.c_str()));
        return ok ? out : "ERR:" + out;
    }
    std::string ForWave(const char* scheme, const char* sourcePath, int formatIndex = kMP3) {
        EXPECT_TRUE(waveSource->SetFileName(sourcePath));
        return Suggest(scheme, waveSource, formatIndex);
    }
    std::string ForMP3(const std::string& scheme, const std::string& sourcePath) {
        EXPECT_TRUE(mp3Source->SetFileName(sourcePath.c_str()));
        return Suggest(scheme.c_str(), mp3Source);
    }

    IConvertSource* waveSource = nullptr;
    IConvertSource* mp3Source = nullptr;
    txtest::TempDir dir;
};

} // namespace

TEST_F(OutputNaming, ElementsOfTheSourceLocation) {
    EXPECT_EQ(ForWave("<sourcedir>\\<sourcename>", "C:\\in\\song.wav"), "C:\\in\\song.mp3");
    EXPECT_EQ(ForWave("<SourceDir><SOURCENAME>", "C:\\in\\song.wav"), "C:\\in\\song.mp3");
    EXPECT_EQ(ForWave("D:\\out\\<sourcepath:2>\\<sourcename>", "C:\\a\\b\\c\\x.wav"), "D:\\out\\b\\c\\x.mp3");
    EXPECT_EQ(ForWave("D:\\<sourcepath>\\<sourcename>", "C:\\a\\b\\c\\x.wav"), "D:\\a\\b\\c\\x.mp3");
    EXPECT_EQ(ForWave("D:\\<sourcepath:0>", "C:\\a\\x.wav"), "D:\\C:\\a.mp3");
    EXPECT_EQ(ForWave("D:\\<sourcepath:9>x", "C:\\a\\x.wav"), "D:\\x.mp3");
    EXPECT_EQ(ForWave("D:\\out\\\\\\<sourcename>", "C:\\in\\song.wav"), "D:\\out\\song.mp3");
    EXPECT_EQ(ForWave("  D:\\out\\Song.MP3  ", "C:\\in\\x.wav"), "D:\\out\\Song.mp3");
    EXPECT_EQ(ForWave("list", "C:\\in\\x.wav", -1), "list.m3u");
    EXPECT_EQ(ForWave("D:\\my.lists\\list.txt", "C:\\in\\x.wav", -1), "D:\\my.lists\\list.m3u");
    EXPECT_EQ(ForWave("CONOUT$", "C:\\in\\x.wav", 18), "CONOUT$");
    // A scheme kept in the string table (27: "Converting:").
    EXPECT_EQ(Suggest(MAKEINTRESOURCEA(27), waveSource), "Converting:.mp3");
}

TEST_F(OutputNaming, ClockElementsUseTheirPictures) {
    std::string name = ForWave("<time> <date>", "C:\\in\\x.wav");
    const std::string picture = "00-00 00-00-0000.mp3";
    ASSERT_EQ(name.size(), picture.size()) << name;
    for (size_t i = 0; i < picture.size(); ++i)
        EXPECT_TRUE(picture[i] == '0' ? isdigit(static_cast<unsigned char>(name[i])) != 0
                                      : name[i] == picture[i])
            << name;
}

TEST_F(OutputNaming, EveryFailureReportsItsMessage) {
    const char* wav = "C:\\in\\x.wav";
    EXPECT_EQ(ForWave("D:\\<sourcename - <title", wav),
              "ERR:Naming scheme element 'sourcename - <title' not closed with a '>' character.");
    EXPECT_EQ(ForWave("D:\\out\\<sourcedir>", wav),
              "ERR:Naming scheme element 'sourcedir' can only be used in the first position.");
    EXPECT_EQ(ForWave("<Bogus>", wav), "ERR:Unknown naming scheme element 'Bogus'");
    EXPECT_EQ(ForWave("<sourcepathx>", wav), "ERR:Unknown naming scheme element 'sourcepathx'");
    EXPECT_EQ(ForWave("<sourcepath:x>", wav), "ERR:Expected number after 'sourcepath:'");
    EXPECT_EQ(ForWave(" \t ", wav), "ERR:Empty output file name specifed");
    EXPECT_EQ(ForWave(std::string(256, 'a').c_str(), wav), "ERR:Filename too long (259 character limit)");
    EXPECT_EQ(ForWave(std::string(260, 'a').c_str(), wav, -1), "ERR:Filename too long (259 character limit)");
    EXPECT_EQ(ForWave(std::string(255, 'a').c_str(), wav), std::string(255, 'a') + ".mp3");
    EXPECT_EQ(ForWave("x", wav, 18), "ERR:Invalid output format");
    // A message is cut to the caller's buffer.
    waveSource->SetFileName(wav);
    EXPECT_EQ(Suggest("<nothing>", waveSource, kMP3, 10), "ERR:Unknown n");
    EXPECT_EQ(Suggest(nullptr, waveSource), "ERR:Empty output file name specifed");
}

TEST_F(OutputNaming, CollisionsAreNumberedWhenAsked) {
    std::string scheme = dir / "song";
    txtest::WriteFile(dir / "song.mp3", "x");
    EXPECT_EQ(ForWave(scheme.c_str(), "C:\\x.wav"), dir / "song.mp3") << "numbering is off by default";
    PutProfileInt("Settings", "RenameOnCollision", 1);
    EXPECT_EQ(ForWave(scheme.c_str(), "C:\\x.wav"), dir / "song (2).mp3");
    txtest::WriteFile(dir / "song (2).mp3", "x");
    EXPECT_EQ(ForWave(scheme.c_str(), "C:\\x.wav"), dir / "song (3).mp3");
    EXPECT_EQ(ForWave(scheme.c_str(), "C:\\x.wav", -1), dir / "song.m3u") << "lists are not numbered";

    // The numbered name must fit the caller's buffer as well.
    waveSource->SetFileName("C:\\x.wav");
    int size = static_cast<int>((dir / "song.mp3").size()) + 3;
    EXPECT_EQ(Suggest(scheme.c_str(), waveSource, kMP3, size),
              "ERR:Filename too long (" + std::to_string(size - 1) + " character limit)");
}

TEST_F(OutputNaming, TagValuesAreCleanedAndCut) {
    std::string path = dir / "song.mp3";
    WriteTaggedFile(path, {{kTPE1, L"Up/Down"},
                           {kTIT2, L"Why?"},
                           {kTALB, L"a\"b*c/d:e<f>g?h\\i|j\tk  "},
                           {kTRCK, L"7/12"},
                           {kTYER, L"19999"},
                           {kTCON, L"Rock"}});
    EXPECT_EQ(ForMP3("D:\\<artist> - <title>", path), "D:\\Up Down - Why.mp3");
    EXPECT_EQ(ForMP3("D:\\<album>", path), "D:\\a b c d e f g h i j k.mp3");
    EXPECT_EQ(ForMP3("D:\\<tracknum> <year> <genre>", path), "D:\\07 1999 Rock.mp3");

    WriteTaggedFile(path, {{kTRCK, L"11"}, {kTIT2, std::wstring(150, L'x')}});
    EXPECT_EQ(ForMP3("D:\\<tracknum> <title> <artist> <year> <genre>", path),
              "D:\\11 " + std::string(99, 'x') + " Unknown 0000 Unknown.mp3");
}

TEST_F(OutputNaming, MissingTagsFallBackToTheSourceName) {
    const char* wav = "C:\\in\\song.wav"; // Wave sources carry no tags
    EXPECT_EQ(ForWave("D:\\<artist> - <title>", wav), "D:\\song.mp3");
    EXPECT_EQ(ForWave("D:\\<ARTIST>\\<Title> <sourcename>", wav), "D:\\Unknown\\song.mp3");
    EXPECT_EQ(ForWave("<artist> - <title>", wav), "song.mp3");

    std::string untagged = dir / "plain.mp3";
    txtest::WriteFile(untagged, MpegAudio());
    EXPECT_EQ(ForMP3("D:\\<artist> - <title>", untagged), "D:\\plain.mp3");

    PutProfileInt("Settings", "UseOriginalFileNameIfNoID3Tag", 0);
    EXPECT_EQ(ForWave("D:\\<artist> - <title>", wav), "D:\\Unknown - Unknown.mp3");
    EXPECT_EQ(ForMP3("<tracknum> <year>", untagged), "00 0000.mp3");
}

TEST_F(OutputNaming, TextsOutsideAsciiBecomeValidNames) {
    std::string path = dir / "song.mp3";
    WriteTaggedFile(path,
                    {{kTPE1, L"Caf\u00e9"}, {kTIT2, L"\u6771\u4eac\u306e\u591c"}, {kTALB, L"A\u2215B"}});
    std::string name = ForMP3(dir.path() + "\\<artist> - <album> - <title>", path);
    char artist[16] = "";
    WideCharToMultiByte(CP_ACP, 0, L"Caf\u00e9", -1, artist, sizeof(artist), nullptr, nullptr);
    EXPECT_EQ(name.rfind(dir.path() + "\\" + artist + " - ", 0), 0u) << name;
    std::string fileName = name.substr(dir.path().size() + 1);
    EXPECT_EQ(fileName.find_first_of("\"*/:<>?\\|"), std::string::npos) << fileName;
    // Whatever the code page made of the title, the name must be one a file can have.
    txtest::WriteFile(name, "x");
    EXPECT_TRUE(txtest::FileExists(name)) << name;
}
