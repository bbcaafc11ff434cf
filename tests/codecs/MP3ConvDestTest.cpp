#include "ComPtr.h"
#include "MP3ConvDest.h"
#include "TagText.h"
#include "TestSupport.h"
#include "Trelvox.h"

#include <math.h>
#include <string.h>

namespace {

using txtest::Pcm;
using txtest::RecordingCallback;

trelvox::ComPtr<CMP3ConvDest> NewDest() {
    return trelvox::ComPtr<CMP3ConvDest>(new CMP3ConvDest);
}

std::string Text(const MP3SETTINGS& settings) {
    char text[128] = {};
    EXPECT_TRUE(settings.GetText(text, sizeof(text)));
    return text;
}

// Encodes pcm in blocks of the given sizes (repeated) and returns the file's bytes.
std::string Encode(const std::string& path, const WAVEFORMATEX& format, const std::string& pcm,
                   std::vector<size_t> blocks) {
    RecordingCallback cb;
    auto dest = NewDest();
    dest->SetErrorLog(&cb);
    dest->SetFormat(&format);
    dest->SetFileName(path.c_str());
    EXPECT_TRUE(dest->Open()) << cb.AllText();
    size_t offset = 0;
    for (size_t i = 0; offset < pcm.size(); ++i) {
        size_t bytes = std::min(blocks[i % blocks.size()], pcm.size() - offset);
        EXPECT_TRUE(dest->Write(static_cast<uint32_t>(bytes), pcm.data() + offset));
        offset += bytes;
    }
    EXPECT_TRUE(dest->Close()) << cb.AllText();
    EXPECT_EQ(cb.AllText(), "");
    dest->SetErrorLog(nullptr);
    return txtest::ReadFile(path);
}

} // namespace

// The words of the encoder record that leave no trace mpg123 can see in the stream; the
// modes, rates and Xing header are checked on the files (check_mp3_with_tools.py).
TEST(MP3Config, WordsTheStreamDoesNotShow) {
    MP3SETTINGS settings;
    trelvox::LAMECONFIG config, overGarbage;
    memset(&config, 0, sizeof(config));
    memset(&overGarbage, 0xCC, sizeof(overGarbage));
    trelvox::BuildLameConfig(settings, Pcm(2, 44100, 16), &config);
    trelvox::BuildLameConfig(settings, Pcm(2, 44100, 16), &overGarbage);
    EXPECT_EQ(memcmp(&config, &overGarbage, sizeof(config)), 0) << "bytes left unwritten";
    EXPECT_EQ(config.structVersion, 1u);
    EXPECT_EQ(config.structSize, 331u);
    EXPECT_EQ(config.preset, -1);
    EXPECT_EQ(config.maxBitrate, 0u); // no ceiling for ABR
    EXPECT_EQ(config.vbrMethod, 4);
    EXPECT_EQ(config.quality, 0xFA05); // quality 5 and its complement

    settings.mode = MP3SETTINGS::kCBR;
    settings.maxBitrate = 256;
    settings.privateBit = settings.crc = settings.copyright = settings.original = settings.strictIso = 1;
    trelvox::BuildLameConfig(settings, Pcm(2, 48000, 24), &config);
    EXPECT_EQ(config.maxBitrate, 256u);
    EXPECT_EQ(config.privateBit + config.crc + config.copyright + config.original, 4);
    EXPECT_EQ(config.strictIso, 0); // kept in the record only
    EXPECT_EQ(config.vbrMethod, -1);
    EXPECT_EQ(config.writeVBRHeader, 0);

    // VBR quality 100..10 is LAME's 0..9, clamped.
    settings.mode = MP3SETTINGS::kVBR;
    settings.vbrQuality = 100;
    trelvox::BuildLameConfig(settings, Pcm(1, 22050, 8), &config);
    EXPECT_EQ(config.vbrQuality, 0);
    EXPECT_EQ(config.vbrMethod, 1);
    settings.mode = MP3SETTINGS::kFastVBR;
    settings.vbrQuality = 0;
    trelvox::BuildLameConfig(settings, Pcm(1, 22050, 8), &config);
    EXPECT_EQ(config.vbrQuality, 9);
    EXPECT_EQ(config.vbrMethod, 2);
}

// The stored record and the text a fresh destination gives are also OutputSettingsTest's.
TEST(MP3Settings, OnlyA48ByteRecordIsLoadedAndTheTextNamesTheMode) {
    InitTX(nullptr);
    PutProfileString("MP3", nullptr, nullptr);
    MP3SETTINGS stored;
    stored.mode = MP3SETTINGS::kCBR;
    stored.maxBitrate = 64;
    stored.crc = 1;
    std::string bytes(reinterpret_cast<const char*>(&stored), sizeof(stored));
    for (size_t size : {47u, 49u}) {
        std::string odd = bytes + "xx";
        ASSERT_TRUE(PutProfileBinary("MP3", "LAMESettings", odd.data(), static_cast<uint32_t>(size)));
        MP3SETTINGS loaded;
        loaded.Load();
        EXPECT_EQ(Text(loaded), "ABR 128 kbps") << size;
    }
    stored.Save();
    MP3SETTINGS loaded;
    loaded.Load();
    EXPECT_EQ(loaded.crc, 1);
    EXPECT_EQ(loaded.maxBitrate, 320); // never kept
    PutProfileString("MP3", nullptr, nullptr);

    loaded.mode = MP3SETTINGS::kFastVBR;
    loaded.sampleRate = 44100;
    EXPECT_EQ(Text(loaded), "Fast VBR Quality 70%; 44 kHz");
    loaded.mode = MP3SETTINGS::kVBR;
    EXPECT_EQ(Text(loaded), "VBR Quality 70%; 44 kHz");
    char small[5] = "####";
    EXPECT_TRUE(loaded.GetText(small, 4));
    EXPECT_STREQ(small, "VBR");
}

// The files of check_mp3_with_tools.py are written with vbr-mode=CBR, vbr, fastvbr and cbr,
// bitrate=64 and 192000bps, sample-rate=32kHz, joint-stereo, joint-stereo=off and
// vbr-quality=80, and mpg123 sees each in the stream.
TEST(MP3Options, ValuesUnitsSwitchesAndRefusals) {
    const char* kRate = "Value must be a number ended by either kbps, bps or nothing";
    const char* kQuality = "Value must be a number between 10 and 100 (and must be divisible by 10)";
    const char* kSwitch = "Value either 'on' or 'off'. If no value is specified, 'on' will be used";
    const char* kMode = "Value can be either CBR, VBR, FASTVBR or ABR.";
    constexpr int32_t kUnchanged = -99;
    const struct {
        const char* name;
        const char* value;
        const char* refusal; // null when applied
        int32_t MP3SETTINGS::*field = nullptr;
        int32_t expected = 0;
    } cases[] = {
        {"bitrate", "128KBPS", nullptr, &MP3SETTINGS::bitrate, 128},
        {"bitrate", " 128", nullptr, &MP3SETTINGS::bitrate, 128},
        {"bitrate", "128 kbps", kRate, &MP3SETTINGS::bitrate, kUnchanged},
        {"bitrate", "kbps", kRate, &MP3SETTINGS::bitrate, kUnchanged},
        {"bitrate", nullptr, kRate, &MP3SETTINGS::bitrate, kUnchanged},
        {"MAX-BITRATE", "192", nullptr, &MP3SETTINGS::maxBitrate, 192},
        {"sample-rate", "44.1kHz", "Value must be a number ended by either kHz, Hz or nothing",
         &MP3SETTINGS::sampleRate, kUnchanged},
        {"sample-rate", "22050hz", nullptr, &MP3SETTINGS::sampleRate, 22050},
        // Beyond 32 bits in Hz: saturates instead of wrapping around.
        {"sample-rate", "3000000kHz", nullptr, &MP3SETTINGS::sampleRate, INT32_MAX},
        {"vbr-quality", "10", nullptr, &MP3SETTINGS::vbrQuality, 10},
        {"vbr-quality", "100", nullptr, &MP3SETTINGS::vbrQuality, 100},
        {"vbr-quality", "75", kQuality, &MP3SETTINGS::vbrQuality, kUnchanged},
        {"vbr-quality", "110", kQuality, &MP3SETTINGS::vbrQuality, kUnchanged},
        {"vbr-quality", "0", kQuality, &MP3SETTINGS::vbrQuality, kUnchanged},
        {"vbr-quality", "80%", kQuality, &MP3SETTINGS::vbrQuality, kUnchanged},
        {"joint-stereo", "yes", kSwitch, &MP3SETTINGS::jointStereo, kUnchanged},
        {"Copyright", "ON", nullptr, &MP3SETTINGS::copyright, 1},
        {"private", nullptr, nullptr, &MP3SETTINGS::privateBit, 1},
        {"iso", nullptr, nullptr, &MP3SETTINGS::strictIso, 1},
        {"crc", nullptr, nullptr, &MP3SETTINGS::crc, 1},
        {"original", nullptr, nullptr, &MP3SETTINGS::original, 1},
        {"vbr-mode", "slow", kMode, &MP3SETTINGS::mode, kUnchanged},
        {"vbr-mode", nullptr, "Use --vbr-mode=... with either CBR, VBR, FASTVBR or ABR", &MP3SETTINGS::mode,
         kUnchanged},
        {"encoder", "lame", "The --encoder switch is no longer supported. LAME encoder is used."},
        {"mpeg-ii", nullptr, "The --mpeg-ii switch is no longer supported."},
        {"channels", "2", "The --channels switch is no longer supported."},
        {"enable-vbr", nullptr, "The --enable-vbr switch is obsolete. Use --vbr-mode"},
        {"quality", "5", ""},
        {nullptr, "5", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name ? c.name : "(no name)") + "=" + (c.value ? c.value : "(no value)"));
        MP3SETTINGS s;
        if (c.field)
            s.*c.field = kUnchanged;
        char message[1024] = "untouched";
        EXPECT_EQ(s.SetOption(c.name, c.value, message), !c.refusal);
        EXPECT_STREQ(message, c.refusal ? c.refusal : "untouched");
        if (c.field) {
            EXPECT_EQ(s.*c.field, c.expected);
        }
    }
}

TEST(MP3Dest, EstimatesFromTheBitRate) {
    auto dest = NewDest();
    dest->Settings() = MP3SETTINGS();
    WAVEFORMATEX cd = Pcm(2, 44100, 16);
    uint32_t out = 0;
    EXPECT_TRUE(dest->EstimateSize(176400 * 10, &cd, &out));
    EXPECT_EQ(out, 160000u);
    dest->Settings().mode = MP3SETTINGS::kVBR; // the bit rate counts in every mode
    dest->Settings().bitrate = 320;
    EXPECT_TRUE(dest->EstimateSize(176400 / 2, &cd, &out));
    EXPECT_EQ(out, 20000u);
    cd.nAvgBytesPerSec = 0;
    EXPECT_FALSE(dest->EstimateSize(176400, &cd, &out));
}

TEST(MP3Dest, RefusesFormatsItCannotEncode) {
    txtest::TempDir temp;
    RecordingCallback cb;
    auto dest = NewDest();
    dest->SetErrorLog(&cb);
    dest->SetFileName((temp / "out.mp3").c_str());
    const struct {
        WAVEFORMATEX format;
        const char* error;
    } cases[] = {
        {Pcm(2, 44100, 32), "Source uses unsupported 32 bit samples\n"},
        {Pcm(2, 44100, 4), "Source uses unsupported 4 bit samples\n"},
        {Pcm(3, 44100, 16), "Source uses 3 channels; MP3 files hold only mono or stereo\n"},
    };
    for (const auto& c : cases) {
        cb.lines.clear();
        dest->SetFormat(&c.format);
        EXPECT_FALSE(dest->Open());
        EXPECT_EQ(cb.Errors(), c.error);
        EXPECT_FALSE(dest->Write(4, "\0\0\0"));
        EXPECT_TRUE(dest->Close());
        EXPECT_FALSE(txtest::FileExists(temp / "out.mp3"));
    }
    dest->SetErrorLog(nullptr);
}

TEST(MP3Dest, EveryInputWidthAndBlockingGivesTheSameStream) {
    txtest::TempDir temp;
    // Two seconds of a stereo tone whose 16-bit values have a zero low byte, so that the 8-
    // and 24-bit forms carry exactly the same signal.
    const size_t frames = 44100 * 2 + 333;
    std::string pcm8, pcm16, pcm24;
    for (size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < 2; ++c) {
            int v = static_cast<int>(lround(100 * sin(2 * M_PI * (440 + 110 * c) * f / 44100.0)));
            int16_t s = static_cast<int16_t>(v * 256);
            pcm8 += static_cast<char>(v + 128);
            pcm16.append(reinterpret_cast<const char*>(&s), 2);
            pcm24 += static_cast<char>(f & 0xFF); // the low byte is dropped
            pcm24.append(reinterpret_cast<const char*>(&s), 2);
        }
    }
    std::string whole = Encode(temp / "whole.mp3", Pcm(2, 44100, 16), pcm16, {pcm16.size()});
    ASSERT_GT(whole.size(), 20000u);
    // Blocks that end inside chunks, one that completes a held chunk exactly, tiny ones.
    EXPECT_TRUE(whole == Encode(temp / "blocks.mp3", Pcm(2, 44100, 16), pcm16, {4, 4604, 4608, 40000, 12}));
    EXPECT_TRUE(whole == Encode(temp / "wide.mp3", Pcm(2, 44100, 24), pcm24, {6 * 999, 6 * 5000}));
    EXPECT_TRUE(whole == Encode(temp / "narrow.mp3", Pcm(2, 44100, 8), pcm8, {1000, 2 * 1152}));
}

// A name whose extension chooses no tag container still gets an ID3 tag in front of the
// audio; check_mp3_with_tools.py reads the tags of .mp3 files with id3v2 and mutagen.
TEST(MP3Dest, MetadataForTheWrittenFileWhateverItsName) {
    txtest::TempDir temp;
    const std::string path = temp / "tagged.bin";
    const std::string silence(44100 * 4, '\0');
    const std::string audio = Encode(path, Pcm(2, 44100, 16), silence, {silence.size()});
    {
        auto dest = NewDest();
        dest->SetFileName(path.c_str());
        IMetadata* md = nullptr;
        ASSERT_TRUE(dest->GetMetadata(&md));
        EXPECT_EQ(txtest::SetTextFrames(md, {{47, L"Written Title"}}), S_OK);
        md->Release();
    }
    const std::string bytes = txtest::ReadFile(path);
    EXPECT_EQ(bytes.substr(0, 3), "ID3");
    EXPECT_NE(bytes.find(audio), std::string::npos) << "the audio is not intact";
    EXPECT_EQ(txtest::TagTexts(path, {47}), L"1\nWritten Title\n");
}
