// The Windows Media destination and its settings: the record and the profile-file rules on
// their own, then encoding, two passes, cancellation, options and profile files through the
// Windows Media runtime when it can write.
#include "ComPtr.h"
#include "TestSupport.h"
#include "Trelvox.h"
#include "TrelvoxWinMedia.h"
#include "WMAConvDest.h"
#include "WMAProfile.h"

#include <math.h>

#include <string>
#include <vector>

namespace {

using txtest::Pcm;
using txtest::RecordingCallback;

std::string Record(const WMASETTINGS& r) {
    char text[96];
    wsprintfA(text, "%ld %ld %ld %ld %ld", long(r.codec), long(r.format), long(r.mode), long(r.maxBitrate),
              long(r.bufferWindow));
    return text;
}

// 16-bit stereo 44.1 kHz: a 440 Hz tone of the given length.
std::string Tone(uint32_t milliseconds) {
    const uint32_t frames = 44100 * milliseconds / 1000;
    std::string pcm(frames * 4, '\0');
    auto* samples = reinterpret_cast<int16_t*>(&pcm[0]);
    for (uint32_t i = 0; i < frames; ++i)
        samples[2 * i] = samples[2 * i + 1] = int16_t(8000 * sin(2 * M_PI * 440 * i / 44100.0));
    return pcm;
}

// The "wpp" files in the library's temporary directory.
size_t ReplayFiles() {
    char dir[MAX_PATH] = {};
    return txtest::FilesIn(TXTempPath(dir), "wpp*").size();
}

// Whether the runtime can build the default profile: the encoding tests need a writer.
bool RuntimeWrites() {
    trelvox::ComPtr<IWMProfile> profile;
    WMASETTINGS record;
    return SUCCEEDED(trelvox::BuildWmaProfile(record, profile.put()));
}

class WMAConvDestTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitTX(nullptr);
        PutProfileString("WMA9", nullptr, nullptr);
        PutProfileInt("Settings", "AddToMediaLibrary", 0);
    }
    void SetUp() override { PutProfileString("WMA9", nullptr, nullptr); }

    // Encodes pcm into path in blocks of 4410 bytes (25 ms); the callback is cb's.
    static bool Encode(CWMAConvDest* dest, RecordingCallback& cb, const std::string& path,
                       const std::string& pcm) {
        WAVEFORMATEX format = Pcm(2, 44100, 16);
        dest->SetErrorLog(&cb);
        dest->SetFormat(&format);
        dest->SetFileName(path.c_str());
        if (!dest->Open())
            return false;
        for (size_t offset = 0; offset < pcm.size(); offset += 4410) {
            if (!dest->Write(uint32_t(std::min<size_t>(4410, pcm.size() - offset)), pcm.data() + offset))
                return false;
        }
        return dest->Close();
    }

    txtest::TempDir m_dir;
};

} // namespace

TEST_F(WMAConvDestTest, RecordAndProfileFileRules) {
    WMASETTINGS record;
    record.Load();
    EXPECT_EQ(Record(record), "0 29 0 0 0") << "no stored value: the defaults";
    record = {1, 5, WMASETTINGS::kBitrateVBR, 192000, 3000};
    record.Save();
    WMASETTINGS loaded;
    loaded.Load();
    EXPECT_EQ(Record(loaded), "1 5 2 192000 3000");
    PutProfileBinary("WMA9", "General", "short", 5);
    loaded.Load();
    EXPECT_EQ(Record(loaded), "0 29 0 0 0") << "a value of another size is not ours";

    EXPECT_EQ(trelvox::WmaCodecForFormatTag(0x0161), 0);
    EXPECT_EQ(trelvox::WmaCodecForFormatTag(0x000A), 2);
    EXPECT_EQ(trelvox::WmaCodecForFormatTag(0x0162), 3);
    EXPECT_EQ(trelvox::WmaCodecForFormatTag(0x0163), 4);
    EXPECT_EQ(trelvox::WmaCodecForFormatTag(0x0001), -1);
    EXPECT_EQ(trelvox::WmaModeOfStream(false, 0x7FFFFF5A), WMASETTINGS::kQualityVBR);
    EXPECT_EQ(trelvox::WmaRateValue(0x7FFFFF5A), 90u);
    EXPECT_EQ(trelvox::WmaModeOfStream(true, 16000), WMASETTINGS::kBitrateVBR);
    EXPECT_EQ(trelvox::WmaModeOfStream(false, 16000), WMASETTINGS::kCBR);
    EXPECT_EQ(trelvox::WmaRateValue(16000), 128000u);

    // Size and presence are checked before the runtime sees the file; the record stays.
    record = {1, 2, 3, 4, 5};
    std::string big = m_dir / "big.prx";
    txtest::WriteFile(big, std::string(trelvox::kMaxPrxBytes + 1, ' '));
    const char* message = trelvox::ReadWmaProfileFile(big.c_str(), record);
    EXPECT_STREQ(message, "Profile file is too big");
    message = trelvox::ReadWmaProfileFile((m_dir / "missing.prx").c_str(), record);
    EXPECT_STREQ(message, "Profile file cannot be opened");
    txtest::WriteFile(big, std::string(20, 'x'));
    message = trelvox::ReadWmaProfileFile(big.c_str(), record);
    EXPECT_STREQ(message, "Profile data is invalid");
    EXPECT_EQ(Record(record), "1 2 3 4 5");
}

TEST_F(WMAConvDestTest, OptionsDescriptionsAndProfileFiles) {
    if (!RuntimeWrites())
        GTEST_SKIP() << "the Windows Media runtime here cannot build profiles";
    trelvox::ComPtr<CWMAConvDest> dest(new CWMAConvDest);
    char message[256] = "untouched";
    EXPECT_FALSE(dest->SetOption("wma-bitrate", "1", message));
    EXPECT_STREQ(message, "untouched");
    EXPECT_FALSE(dest->SetOption("wma-codec", "No Such Codec", message));
    EXPECT_STREQ(message, "WMA codec with this name was not found");
    EXPECT_FALSE(dest->SetOption("WMA-Format", "no such format", message));
    EXPECT_STREQ(message, "WMA format with this name was not found");

    trelvox::WmaCodecInfo info;
    ASSERT_EQ(info.Open(), S_OK);
    std::string codec = info.CodecName(0);
    ASSERT_FALSE(codec.empty());
    char text[256] = {};
    ASSERT_TRUE(dest->GetSettingsText(text, sizeof(text)));
    printf("codec 0: %s; format 29: %s\n", codec.c_str(), text);
    EXPECT_TRUE(dest->SetOption("wma-codec", codec.c_str(), message));
    EXPECT_TRUE(dest->SetOption("wma-format", text, message)) << text;
    // The last mode that lists the same description is taken.
    int32_t lastMode = 0;
    for (int32_t mode : {0, 1, 2, 3}) {
        std::vector<trelvox::WmaListedFormat> formats;
        info.ListFormats(0, mode, formats);
        for (const auto& format : formats)
            lastMode = format.description == text ? mode : lastMode;
    }
    EXPECT_EQ(Record(dest->Settings()), "0 29 " + std::to_string(lastMode) + " 0 0");
    char defaults[256] = {};
    FormatRecord row;
    ASSERT_EQ(ConvGetFormatByName(&row, "Windows Media"), S_OK);
    EXPECT_EQ(ConvDefOutputSettingsString(defaults, sizeof(defaults), &row), S_OK);
    EXPECT_STREQ(defaults, text);

    // Every listed format of every mode goes back through its description, and the sizes follow
    // the bit rate.
    for (int32_t mode : {0, 1, 2, 3}) {
        std::vector<trelvox::WmaListedFormat> formats;
        info.ListFormats(0, mode, formats);
        printf("mode %ld: %u formats\n", long(mode), unsigned(formats.size()));
        for (const auto& format : formats) {
            ASSERT_TRUE(dest->SetOption("wma-format", format.description.c_str(), message))
                << format.description;
            EXPECT_EQ(dest->Settings().format, int32_t(format.index)) << format.description;
        }
    }
    dest->Settings() = WMASETTINGS();
    WAVEFORMATEX cd = Pcm(2, 44100, 16);
    uint32_t bytes = 0;
    ASSERT_TRUE(dest->EstimateSize(176400 * 60, &cd, &bytes));
    printf("one minute: %u bytes\n", bytes);
    EXPECT_NEAR(bytes, 128000 / 8 * 60, 128000 / 8 * 60 / 2) << "about 128 kbps";

    // A saved profile reads back as the same record, through the default settings too.
    WMASETTINGS saved = {0, 29, 0, 0, 0};
    std::string prx = m_dir / "saved.prx";
    ASSERT_EQ(trelvox::WriteWmaProfileFile(prx.c_str(), saved), nullptr);
    std::string bytesOnDisk = txtest::ReadFile(prx);
    ASSERT_GE(bytesOnDisk.size(), 2u);
    EXPECT_NE(bytesOnDisk.substr(0, 2), "\xFF\xFE") << "no byte-order mark";
    WMASETTINGS read = {4, 4, 4, 4, 4};
    EXPECT_EQ(trelvox::ReadWmaProfileFile(prx.c_str(), read), nullptr);
    EXPECT_EQ(Record(read), Record(saved));
    EXPECT_EQ(WMASetDefaultProfile(prx.c_str()), 0);
    WMASETTINGS stored;
    stored.Load();
    EXPECT_EQ(Record(stored), Record(saved));
}

TEST_F(WMAConvDestTest, EncodesInOneOrTwoPassesAndCancels) {
    std::string path = m_dir / "tone.wma";
    if (!RuntimeWrites()) {
        // Without a working runtime Open names the failing step and leaves nothing behind.
        RecordingCallback cb;
        trelvox::ComPtr<CWMAConvDest> dest(new CWMAConvDest);
        EXPECT_FALSE(Encode(dest.get(), cb, path, Tone(100)));
        EXPECT_NE(cb.Errors().find(" (error "), std::string::npos) << cb.AllText();
        EXPECT_FALSE(txtest::FileExists(path));
        GTEST_SKIP() << "the Windows Media runtime here cannot write: " << cb.Errors();
    }
    const size_t replayFilesBefore = ReplayFiles();
    {
        RecordingCallback cb;
        trelvox::ComPtr<CWMAConvDest> dest(new CWMAConvDest);
        WAVEFORMATEX format = Pcm(2, 44100, 16);
        dest->SetErrorLog(&cb);
        dest->SetFormat(&format);
        dest->SetFileName(path.c_str());
        ASSERT_TRUE(dest->Open()) << cb.AllText();
        EXPECT_EQ(dest->PendingPasses(), 0u);
        std::string pcm = Tone(1000);
        ASSERT_TRUE(dest->Write(uint32_t(pcm.size()), pcm.data())) << cb.AllText();
        EXPECT_EQ(dest->SampleTime(), 10000000u) << "one second in 100-ns units";
        EXPECT_EQ(ReplayFiles(), replayFilesBefore) << "one pass needs no copy";
        EXPECT_TRUE(dest->Close());
        EXPECT_EQ(cb.AllText(), "");
        EXPECT_TRUE(cb.statusTexts.empty());
        EXPECT_GT(txtest::ReadFile(path).size(), 1000u);
    }

    // Two passes where the codec offers them: the replay shows as "Pass 2:".
    trelvox::WmaCodecInfo info;
    ASSERT_EQ(info.Open(), S_OK);
    std::vector<trelvox::WmaListedFormat> formats;
    info.ListFormats(0, WMASETTINGS::kTwoPassCBR, formats);
    const trelvox::WmaListedFormat* twoPass = nullptr;
    for (const auto& format : formats) {
        if (format.sampleRate == 44100 && format.channels == 2 && !twoPass)
            twoPass = &format;
    }
    if (!twoPass)
        GTEST_SKIP() << "no two-pass 44.1 kHz stereo format";
    WMASETTINGS record = {0, int32_t(twoPass->index), WMASETTINGS::kTwoPassCBR, 0, 0};
    {
        RecordingCallback cb;
        trelvox::ComPtr<CWMAConvDest> dest(new CWMAConvDest);
        dest->Settings() = record;
        std::string twoPassPath = m_dir / "two-pass.wma";
        EXPECT_TRUE(Encode(dest.get(), cb, twoPassPath, Tone(2500))) << cb.AllText();
        EXPECT_EQ(cb.AllText(), "");
        EXPECT_EQ(cb.statusTexts, std::vector<std::string>{"Pass 2:"});
        EXPECT_GT(txtest::ReadFile(twoPassPath).size(), 1000u);
    }
    {
        // No audio at all.
        RecordingCallback cb;
        trelvox::ComPtr<CWMAConvDest> dest(new CWMAConvDest);
        dest->Settings() = record;
        EXPECT_TRUE(Encode(dest.get(), cb, m_dir / "empty.wma", std::string()));
        EXPECT_EQ(cb.Errors(), "Source file doesn't contain audio: Nothing to do!\n");
    }
    {
        // Cancelled during the replay: writing ends quietly and the copy is gone.
        RecordingCallback cb;
        trelvox::ComPtr<CWMAConvDest> dest(new CWMAConvDest);
        dest->Settings() = record;
        WAVEFORMATEX format = Pcm(2, 44100, 16);
        dest->SetErrorLog(&cb);
        dest->SetFormat(&format);
        dest->SetFileName((m_dir / "cancelled.wma").c_str());
        ASSERT_TRUE(dest->Open()) << cb.AllText();
        EXPECT_EQ(ReplayFiles(), replayFilesBefore + 1);
        std::string pcm = Tone(2000);
        ASSERT_TRUE(dest->Write(uint32_t(pcm.size()), pcm.data()));
        cb.cancelled = 0;
        struct Cancel : RecordingCallback {
            void TX_THISCALL StepProgress(uint32_t) override { cancelled = 1; }
        } cancel;
        dest->SetErrorLog(&cancel);
        EXPECT_TRUE(dest->Close());
        EXPECT_EQ(cancel.AllText(), "");
        EXPECT_EQ(cancel.statusTexts, std::vector<std::string>{"Pass 2:"});
    }
    EXPECT_EQ(ReplayFiles(), replayFilesBefore);
}
