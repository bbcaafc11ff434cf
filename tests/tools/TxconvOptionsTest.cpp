// The txconv command line: the rules a user relies on and that are easy to get wrong.
#include "Console.h"
#include "Options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using txconv::NormalizeMode;
using txconv::Options;
using txconv::OverwriteAnswer;

struct Parsed {
    bool ok;
    std::string error;
    Options options;
};

Parsed Parse(std::vector<std::string> args) {
    Parsed parsed;
    parsed.ok = txconv::ParseOptions(args, parsed.options, parsed.error);
    return parsed;
}

TEST(TxconvOptions, ValuesAttachedSeparateAndAfterEquals) {
    Parsed p = Parse({"-fMP3", "--output-dir=out dir", "--start", "1000", "--end=3000", "a.wav", "-j", "3"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.format, "MP3");
    EXPECT_EQ(p.options.outputDir, "out dir");
    EXPECT_EQ(p.options.startMs, 1000);
    EXPECT_EQ(p.options.endMs, 3000);
    EXPECT_EQ(p.options.jobs, 3u);
    EXPECT_EQ(p.options.files, std::vector<std::string>{"a.wav"});
}

TEST(TxconvOptions, NormalizeTakesItsValueOnlyAfterEquals) {
    Parsed p = Parse({"--normalize", "album"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.normalize, NormalizeMode::Track);
    EXPECT_EQ(p.options.files, std::vector<std::string>{"album"});

    p = Parse({"--normalize=album"});
    EXPECT_EQ(p.options.normalize, NormalizeMode::Album);
    p = Parse({"--normalize=1.5"});
    EXPECT_EQ(p.options.normalize, NormalizeMode::Gain);
    EXPECT_DOUBLE_EQ(p.options.gain, 1.5);
    for (const char* bad :
         {"--normalize=0", "--normalize=-2", "--normalize=2x", "--normalize=", "--normalize=nan"})
        EXPECT_FALSE(Parse({bad}).ok) << bad;
}

TEST(TxconvOptions, OptSplitsAtTheFirstEqualsAndKeepsAMissingValueApart) {
    Parsed p =
        Parse({"--opt", "vbr-mode", "--opt", "--bitrate=128kbps", "--opt=wave-format=a=b", "--opt", "x="});
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.options.destinationOptions.size(), 4u);
    EXPECT_EQ(p.options.destinationOptions[0].name, "vbr-mode");
    EXPECT_FALSE(p.options.destinationOptions[0].hasValue);
    EXPECT_EQ(p.options.destinationOptions[1].name, "bitrate");
    EXPECT_EQ(p.options.destinationOptions[1].value, "128kbps");
    EXPECT_EQ(p.options.destinationOptions[2].name, "wave-format");
    EXPECT_EQ(p.options.destinationOptions[2].value, "a=b");
    EXPECT_TRUE(p.options.destinationOptions[3].hasValue);
    EXPECT_EQ(p.options.destinationOptions[3].value, "");
    EXPECT_FALSE(Parse({"--opt", "=128"}).ok);
    EXPECT_FALSE(Parse({"--opt", "--"}).ok);
}

TEST(TxconvOptions, RefusesBadNumbersAndRanges) {
    for (std::vector<std::string> bad :
         std::vector<std::vector<std::string>>{{"--start", "-5"},
                                               {"--start", "1e3"},
                                               {"--fade-in", "99999999999"},
                                               {"--end", ""},
                                               {"--jobs", "0"},
                                               {"--jobs", "65"},
                                               {"--start", "2000", "--end", "2000"},
                                               {"--start", "3000", "--end", "1000"}})
        EXPECT_FALSE(Parse(bad).ok) << bad[0] << " " << bad[1];
    EXPECT_TRUE(Parse({"--end", "2147483647"}).ok);
}

TEST(TxconvOptions, ReportsWhatIsWrong) {
    Parsed p = Parse({"--frobnicate"});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.error, "unknown option --frobnicate");
    p = Parse({"a.wav", "-f"});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.error, "-f needs a value");
    EXPECT_FALSE(Parse({"--trim=yes"}).ok);
    EXPECT_FALSE(Parse({"-yn"}).ok);
    EXPECT_FALSE(Parse({"-y", "-n"}).ok);
}

TEST(TxconvOptions, DashesEndOptionsAndALoneDashIsAFile) {
    Parsed p = Parse({"-y", "--", "-n", "--trim", "-"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.overwrite, OverwriteAnswer::Yes);
    EXPECT_FALSE(p.options.trimStart);
    EXPECT_EQ(p.options.files, (std::vector<std::string>{"-n", "--trim", "-"}));
}

TEST(TxconvOptions, CdTakesADriveTracksAndReadingSettings) {
    Parsed p = Parse({"--cd", "d:", "--tracks", "1-3,7", "--secure", "--retries", "5", "--error-mode",
                      "--jitter", "off", "--speed", "8", "--virtual-drive", "disc.cue"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.cd.enabled);
    EXPECT_EQ(p.options.cd.drive, 3);
    EXPECT_EQ(p.options.cd.tracks, (std::vector<int>{1, 2, 3, 7}));
    EXPECT_TRUE(p.options.cd.secure);
    EXPECT_EQ(p.options.cd.retries, 5);
    EXPECT_EQ(p.options.cd.errorMode, 1);
    EXPECT_EQ(p.options.cd.jitter, 1);
    EXPECT_EQ(p.options.cd.speed, 8);
    EXPECT_EQ(p.options.cd.virtualDrive, "disc.cue");
    EXPECT_TRUE(p.options.files.empty());

    // Alone, --cd lists; a word after it that is no drive is a file, which --cd refuses.
    p = Parse({"--cd"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.cd.drive, -1);
    EXPECT_EQ(Parse({"--cd", "--error-mode=0", "--cd=E:\\"}).options.cd.errorMode, 0);
    EXPECT_EQ(Parse({"--cd=E:\\"}).options.cd.drive, 4);
    for (std::vector<std::string> bad :
         std::vector<std::vector<std::string>>{{"--cd", "song.wav"},
                                               {"--cd=DD:"},
                                               {"--cd", "--tracks", "3-1"},
                                               {"--cd", "--tracks", "0"},
                                               {"--cd", "--tracks", "1,,2"},
                                               {"--cd", "--jitter", "maybe"},
                                               {"--cd", "--error-mode=2"},
                                               {"--cd", "--speed", "0"},
                                               {"--secure", "a.wav"},
                                               {"--virtual-drive", "x.cue"},
                                               {"--drive-settings", "x"},
                                               {"--cd", "--cddb-match", "0"},
                                               {"--cd", "--track-title", "x=a"},
                                               {"--cd", "--cddb-submit"},
                                               {"--no-cddb", "a.wav"},
                                               {"--title", "T"}})
        EXPECT_FALSE(Parse(bad).ok) << bad[0] << " " << bad.back();

    // The CDDB server's script after the first slash; a track title keeps its own '='.
    p = Parse({"--cd", "D:", "--cddb", "host:8880/~cddb/cddb.cgi?mode=a", "--track-title", "2=a=b",
               "--cddb-submit"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.cd.cddb.server, "host:8880");
    EXPECT_EQ(p.options.cd.cddb.script, "/~cddb/cddb.cgi?mode=a");
    ASSERT_EQ(p.options.cd.cddb.trackTitles.size(), 1u);
    EXPECT_EQ(p.options.cd.cddb.trackTitles[0].first, 2);
    EXPECT_EQ(p.options.cd.cddb.trackTitles[0].second, "a=b");
}

TEST(TxconvOptions, BurnTakesADriveFilesAndWritingSwitches) {
    Parsed p = Parse({"--burn", "e:", "a.wav", "b.ogg", "--test-write", "--burn-proof", "--speed", "16",
                      "--virtual-drive", "out.cue", "--artist", "A", "--track-title", "2=B"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.burn.drive, 4);
    EXPECT_TRUE(p.options.burn.testWrite);
    EXPECT_TRUE(p.options.burn.burnProof);
    EXPECT_EQ(p.options.cd.speed, 16);
    EXPECT_EQ(p.options.cd.virtualDrive, "out.cue");
    EXPECT_EQ(p.options.files, (std::vector<std::string>{"a.wav", "b.ogg"}));
    EXPECT_EQ(p.options.cd.cddb.artist, "A");
    EXPECT_FALSE(p.options.cd.enabled);
    for (std::vector<std::string> bad :
         std::vector<std::vector<std::string>>{{"--burn", "D:"},
                                               {"--burn", "a.wav"},
                                               {"--burn", "D:", "--cd", "a.wav"},
                                               {"--test-write", "a.wav"},
                                               {"--burn-proof", "a.wav"},
                                               {"--speed", "8", "a.wav"},
                                               {"--burn", "D:", "--no-cddb", "a.wav"}})
        EXPECT_FALSE(Parse(bad).ok) << bad[0] << " " << bad.back();
}

TEST(TxconvProgressLine, StaysWithinTheWidthWhateverTheNames) {
    txconv::ProgressSlot a{std::string(300, 'a'), "Converting:", 1000, 250};
    txconv::ProgressSlot b{"b.wav", "Analyzing:", 0, 0};
    txconv::ProgressSlot c{"c.wav", "Converting:", 10, 20}; // steps past the range
    std::string one = txconv::Console::FormatLine({&a}, 3, 8, 79);
    EXPECT_LE(one.size(), 79u);
    EXPECT_NE(one.find(" 25%"), std::string::npos) << one;
    EXPECT_NE(one.find("[3/8]"), std::string::npos) << one;
    std::string three = txconv::Console::FormatLine({&a, &b, &c}, 0, 3, 79);
    EXPECT_LE(three.size(), 79u) << three;
    EXPECT_NE(three.find("100%"), std::string::npos) << three;
    EXPECT_LE(txconv::Console::FormatLine({&a, &b, &c}, 0, 3, 10).size(), 10u);
}

} // namespace
