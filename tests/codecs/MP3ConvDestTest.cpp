#include "MP3ConvDest.h"
#include "TestSupport.h"
#include "Trelvox.h"
#include "TrelvoxMetadata.h"

#include <math.h>
#include <string.h>

namespace {

using txtest::RecordingCallback;

struct DestHolder {
    CMP3ConvDest* dest = new CMP3ConvDest;
    ~DestHolder() { dest->Release(); }
};

std::string Text(const MP3SETTINGS& settings) {
    char text[128] = {};
    EXPECT_TRUE(settings.GetText(text, sizeof(text)));
    return text;
}

// Applies an option; returns "ok" or the refusal message.
std::string Option(MP3SETTINGS& settings, const char* name, const char* value) {
    char message[1024] = "untouched";
    if (settings.SetOption(name, value, message))
        return "ok";
    return message;
}

WAVEFORMATEX Pcm(WORD channels, DWORD rate, WORD bits) {
    WORD align = static_cast<WORD>(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

// Encodes pcm in blocks of the given sizes (repeated) and returns the file's bytes.
std::string Encode(const std::string& path, const WAVEFORMATEX& format, const std::string& pcm,
                   std::vector<size_t> blocks) {
    RecordingCallback cb;
    DestHolder holder;
    CMP3ConvDest& dest = *holder.dest;
    dest.SetErrorLog(&cb);
    dest.SetFormat(&format);
    dest.SetFileName(path.c_str());
    EXPECT_TRUE(dest.Open()) << cb.AllText();
    size_t offset = 0;
    for (size_t i = 0; offset < pcm.size(); ++i) {
        size_t bytes = std::min(blocks[i % blocks.size()], pcm.size() - offset);
        EXPECT_TRUE(dest.Write(static_cast<uint32_t>(bytes), pcm.data() + offset));
        offset += bytes;
    }
    EXPECT_TRUE(dest.Close()) << cb.AllText();
    EXPECT_EQ(cb.AllText(), "");
    dest.SetErrorLog(nullptr);
    return txtest::ReadFile(path);
}

} // namespace

TEST(MP3Config, DefaultsGiveAbr128) {
    MP3SETTINGS settings;
    trelvox::LAMECONFIG config;
    memset(&config, 0xCC, sizeof(config));
    trelvox::BuildLameConfig(settings, Pcm(2, 44100, 16), &config);
    EXPECT_EQ(config.configKind, 256u);
    EXPECT_EQ(config.structVersion, 1u);
    EXPECT_EQ(config.structSize, 331u);
    EXPECT_EQ(config.sampleRate, 44100u);
    EXPECT_EQ(config.reSampleRate, 0u);
    EXPECT_EQ(config.mode, 1); // joint stereo
    EXPECT_EQ(config.bitrate, 0u);
    EXPECT_EQ(config.maxBitrate, 0u);
    EXPECT_EQ(config.preset, -1);
    EXPECT_EQ(config.writeVBRHeader, 1);
    EXPECT_EQ(config.enableVBR, 1);
    EXPECT_EQ(config.vbrQuality, 3);
    EXPECT_EQ(config.abrBps, 128000u);
    EXPECT_EQ(config.vbrMethod, 4);
    EXPECT_EQ(config.quality, 0xFA05);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&config);
    for (size_t i = 36; i < 48; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    for (size_t i = 84; i < 92; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    for (size_t i = 94; i < sizeof(config); ++i)
        ASSERT_EQ(bytes[i], 0) << i;
}

TEST(MP3Config, ModesAndChannels) {
    MP3SETTINGS settings;
    settings.mode = MP3SETTINGS::kCBR;
    settings.bitrate = 192;
    settings.maxBitrate = 256;
    settings.jointStereo = 0;
    settings.sampleRate = 32000;
    settings.privateBit = settings.crc = settings.copyright = settings.original = settings.strictIso = 1;
    trelvox::LAMECONFIG config;
    trelvox::BuildLameConfig(settings, Pcm(2, 48000, 24), &config);
    EXPECT_EQ(config.mode, 0);
    EXPECT_EQ(config.bitrate, 192u);
    EXPECT_EQ(config.maxBitrate, 256u);
    EXPECT_EQ(config.reSampleRate, 32000u);
    EXPECT_EQ(config.writeVBRHeader, 0);
    EXPECT_EQ(config.abrBps, 0u);
    EXPECT_EQ(config.vbrMethod, -1);
    EXPECT_EQ(config.privateBit + config.crc + config.copyright + config.original, 4);
    EXPECT_EQ(config.strictIso, 0);

    // Mono is mono whatever the joint-stereo word says.
    settings.jointStereo = 1;
    settings.mode = MP3SETTINGS::kVBR;
    settings.vbrQuality = 100;
    trelvox::BuildLameConfig(settings, Pcm(1, 22050, 8), &config);
    EXPECT_EQ(config.mode, 3);
    EXPECT_EQ(config.bitrate, 0u);
    EXPECT_EQ(config.maxBitrate, 256u);
    EXPECT_EQ(config.vbrQuality, 0);
    EXPECT_EQ(config.vbrMethod, 1);
    settings.mode = MP3SETTINGS::kFastVBR;
    settings.vbrQuality = 0;
    trelvox::BuildLameConfig(settings, Pcm(1, 22050, 8), &config);
    EXPECT_EQ(config.vbrMethod, 2);
    EXPECT_EQ(config.vbrQuality, 9);
}

TEST(MP3Settings, OnlyA48ByteRecordIsLoaded) {
    InitTX(nullptr);
    PutProfileString("MP3", nullptr, nullptr);
    MP3SETTINGS stored;
    stored.mode = MP3SETTINGS::kCBR;
    stored.bitrate = 256;
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
    EXPECT_EQ(loaded.bitrate, 256);
    EXPECT_EQ(loaded.crc, 1);
    EXPECT_EQ(loaded.maxBitrate, 320); // never kept
    EXPECT_EQ(Text(loaded), "CBR 256 kbps");

    // A new destination starts from the stored defaults.
    DestHolder holder;
    EXPECT_EQ(Text(holder.dest->Settings()), "CBR 256 kbps");
    PutProfileString("MP3", nullptr, nullptr);
}

TEST(MP3Settings, TextOfEachMode) {
    MP3SETTINGS settings;
    EXPECT_EQ(Text(settings), "ABR 128 kbps");
    settings.mode = MP3SETTINGS::kFastVBR;
    settings.sampleRate = 44100;
    EXPECT_EQ(Text(settings), "Fast VBR Quality 70%; 44 kHz");
    settings.mode = MP3SETTINGS::kVBR;
    EXPECT_EQ(Text(settings), "VBR Quality 70%; 44 kHz");
    char small[5] = "####";
    EXPECT_TRUE(settings.GetText(small, 4));
    EXPECT_STREQ(small, "VBR");
}

TEST(MP3Options, NumbersUnitsAndSwitches) {
    MP3SETTINGS s;
    for (const char* value : {"128", "128kbps", "128KBPS", "128000bps", " 128"}) {
        s.bitrate = 0;
        EXPECT_EQ(Option(s, "bitrate", value), "ok") << value;
        EXPECT_EQ(s.bitrate, 128) << value;
    }
    const std::string rateMessage = "Value must be a number ended by either kbps, bps or nothing";
    for (const char* value : {"128 kbps", "128k", "kbps", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(Option(s, "bitrate", value), rateMessage) << (value ? value : "(none)");
    EXPECT_EQ(s.bitrate, 128);
    EXPECT_EQ(Option(s, "MAX-BITRATE", "192"), "ok");
    EXPECT_EQ(s.maxBitrate, 192);

    EXPECT_EQ(Option(s, "sample-rate", "44.1kHz"),
              "Value must be a number ended by either kHz, Hz or nothing");
    EXPECT_EQ(Option(s, "sample-rate", nullptr), "Value must be a number ended by either kHz, Hz or nothing");
    EXPECT_EQ(s.sampleRate, 0);
    EXPECT_EQ(Option(s, "sample-rate", "44kHz"), "ok");
    EXPECT_EQ(s.sampleRate, 44000);
    EXPECT_EQ(Option(s, "sample-rate", "22050hz"), "ok");
    EXPECT_EQ(s.sampleRate, 22050);

    const std::string qualityMessage =
        "Value must be a number between 10 and 100 (and must be divisible by 10)";
    for (const char* value : {"75", "110", "0", "80%", static_cast<const char*>(nullptr)})
        EXPECT_EQ(Option(s, "vbr-quality", value), qualityMessage) << (value ? value : "(none)");
    EXPECT_EQ(s.vbrQuality, 70);
    EXPECT_EQ(Option(s, "vbr-quality", "80"), "ok");
    EXPECT_EQ(s.vbrQuality, 80);

    EXPECT_EQ(Option(s, "joint-stereo", "off"), "ok");
    EXPECT_EQ(s.jointStereo, 0);
    EXPECT_EQ(Option(s, "joint-stereo", nullptr), "ok");
    EXPECT_EQ(s.jointStereo, 1);
    EXPECT_EQ(Option(s, "joint-stereo", "yes"),
              "Value either 'on' or 'off'. If no value is specified, 'on' will be used");
    EXPECT_EQ(Option(s, "Copyright", "ON"), "ok");
    EXPECT_EQ(Option(s, "private", nullptr), "ok");
    EXPECT_EQ(Option(s, "iso", nullptr), "ok");
    EXPECT_EQ(Option(s, "crc", nullptr), "ok");
    EXPECT_EQ(Option(s, "original", nullptr), "ok");
    EXPECT_EQ(s.copyright + s.privateBit + s.strictIso + s.crc + s.original, 5);
}

TEST(MP3Options, ModesRetiredAndUnknownNames) {
    MP3SETTINGS s;
    EXPECT_EQ(Option(s, "vbr-mode", nullptr), "Use --vbr-mode=... with either CBR, VBR, FASTVBR or ABR");
    EXPECT_EQ(Option(s, "vbr-mode", "slow"), "Value can be either CBR, VBR, FASTVBR or ABR.");
    const char* names[] = {"cbr", "VBR", "Abr", "fastvbr"};
    for (int32_t mode = 0; mode < 4; ++mode) {
        EXPECT_EQ(Option(s, "vbr-mode", names[mode]), "ok");
        EXPECT_EQ(s.mode, mode);
    }
    EXPECT_EQ(Option(s, "encoder", "lame"),
              "The --encoder switch is no longer supported. LAME encoder is used.");
    EXPECT_EQ(Option(s, "mpeg-ii", nullptr), "The --mpeg-ii switch is no longer supported.");
    EXPECT_EQ(Option(s, "channels", "2"), "The --channels switch is no longer supported.");
    EXPECT_EQ(Option(s, "enable-vbr", nullptr), "The --enable-vbr switch is obsolete. Use --vbr-mode");
    EXPECT_EQ(Option(s, "quality", "5"), "");
    EXPECT_EQ(Option(s, nullptr, "5"), "");
    EXPECT_EQ(s.mode, MP3SETTINGS::kFastVBR);
}

TEST(MP3Dest, EstimatesFromTheBitRate) {
    DestHolder holder;
    CMP3ConvDest& dest = *holder.dest;
    dest.Settings() = MP3SETTINGS();
    WAVEFORMATEX cd = Pcm(2, 44100, 16);
    uint32_t out = 0;
    EXPECT_TRUE(dest.EstimateSize(176400 * 10, &cd, &out));
    EXPECT_EQ(out, 160000u);
    dest.Settings().mode = MP3SETTINGS::kVBR; // the bit rate counts in every mode
    dest.Settings().bitrate = 320;
    EXPECT_TRUE(dest.EstimateSize(176400 / 2, &cd, &out));
    EXPECT_EQ(out, 20000u);
    cd.nAvgBytesPerSec = 0;
    EXPECT_FALSE(dest.EstimateSize(176400, &cd, &out));
}

TEST(MP3Dest, RefusesFormatsItCannotEncode) {
    txtest::TempDir temp;
    RecordingCallback cb;
    DestHolder holder;
    CMP3ConvDest& dest = *holder.dest;
    dest.SetErrorLog(&cb);
    dest.SetFileName((temp / "out.mp3").c_str());
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
        dest.SetFormat(&c.format);
        EXPECT_FALSE(dest.Open());
        EXPECT_EQ(cb.Errors(), std::vector<std::string>{c.error});
        EXPECT_FALSE(dest.Write(4, "\0\0\0"));
        EXPECT_TRUE(dest.Close());
        EXPECT_FALSE(txtest::FileExists(temp / "out.mp3"));
    }
    dest.SetErrorLog(nullptr);
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

// The tag goes into the file the destination wrote, in front of its audio, whatever the
// file's name says.
TEST(MP3Dest, MetadataForTheWrittenFile) {
    txtest::TempDir temp;
    std::string silence(44100 * 4, '\0');
    for (const char* name : {"tagged.mp3", "tagged.bin"}) {
        const std::string path = temp / name;
        const std::string audio = Encode(path, Pcm(2, 44100, 16), silence, {silence.size()});
        {
            DestHolder holder;
            holder.dest->SetFileName(path.c_str());
            IMetadata* md = nullptr;
            ASSERT_TRUE(holder.dest->GetMetadata(&md)) << name;
            IMetadataTag* tag = nullptr;
            ASSERT_EQ(MetadataCreateTag(&tag), S_OK);
            IMetadataFrameText* title = nullptr;
            ASSERT_EQ(MetadataCreateFrame(47, IID_IMetadataFrameText, reinterpret_cast<void**>(&title)),
                      S_OK);
            title->SetText(L"Written Title");
            title->AttachTo(tag);
            title->Release();
            EXPECT_EQ(md->SetTag(tag), S_OK) << name;
            tag->Release();
            md->Release();
        }
        const std::string bytes = txtest::ReadFile(path);
        EXPECT_EQ(bytes.substr(0, 3), "ID3") << name;
        EXPECT_NE(bytes.find(audio), std::string::npos) << name << ": the audio is not intact";

        IMetadata* md = nullptr;
        IMetadataTag* tag = nullptr;
        IMetadataFrameText* title = nullptr;
        wchar_t text[64] = L"(no title)";
        ASSERT_EQ(MetadataCreateMP3(path.c_str(), &md), S_OK);
        ASSERT_EQ(md->GetTag(&tag), S_OK);
        if (SUCCEEDED(tag->GetFrame(47, IID_IMetadataFrameText, reinterpret_cast<void**>(&title))) && title) {
            title->GetText(text, 64);
            title->Release();
        }
        EXPECT_STREQ(text, L"Written Title") << name;
        tag->Release();
        md->Release();
    }
}
