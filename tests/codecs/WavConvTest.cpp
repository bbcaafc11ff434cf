// The Wave source and destination against files built byte by byte and Wine's real ACM.
#include "Trelvox.h"
#include "WavConvDest.h"
#include "WavConvSource.h"
#include "WavTestFiles.h"
#include "TestSupport.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

using namespace wavtest;
using txtest::RecordingCallback;
using txtest::TempDir;

constexpr uint16_t kImaAdpcm = 0x0011;

class CollectingSink : public IPlayCallback {
public:
    bool TX_THISCALL OnData(const void* pcm, uint32_t bytes) override {
        data.append(static_cast<const char*>(pcm), bytes);
        blocks.push_back(bytes);
        return blocks.size() < stopAfter;
    }
    std::string data;
    std::vector<uint32_t> blocks;
    size_t stopAfter = SIZE_MAX;
};

// Every test starts from the default record: nothing stored in the "WAV" section.
class WavTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitTX(nullptr);
        PutProfileString("WAV", nullptr, nullptr);
    }

    struct Decoded {
        bool opened = false;
        WAVEFORMATEX format = {};
        uint32_t length = 0;
        CollectingSink sink;
        bool played = false;
    };

    Decoded Decode(const std::string& path) {
        Decoded out;
        CWavConvSource* source = new CWavConvSource;
        source->SetErrorLog(&log);
        source->SetFileName(path.c_str());
        out.opened = source->Open();
        if (out.opened) {
            source->GetFormat(&out.format);
            source->GetLength(&out.length, -1, -1);
            out.played = source->Play(&out.sink);
            source->Close();
        }
        source->Release();
        return out;
    }

    // Writes pcm through a fresh destination in pieces of `piece` bytes.
    bool Encode(const std::string& path, const WAVEFORMATEX& wfx, const std::string& pcm, size_t piece,
                uint32_t tag = WAVE_FORMAT_PCM) {
        CWavConvDest* dest = new CWavConvDest;
        dest->Settings().formatTag = tag;
        dest->SetErrorLog(&log);
        dest->SetFileName(path.c_str());
        dest->SetFormat(&wfx);
        bool ok = dest->Open();
        for (size_t at = 0; ok && at < pcm.size(); at += piece) {
            size_t n = std::min(piece, pcm.size() - at);
            ok = dest->Write(uint32_t(n), pcm.data() + at);
        }
        ok = dest->Close() && ok;
        dest->Release();
        return ok;
    }

    std::string OpenError(const std::string& bytes) {
        std::string path = dir / "bad.wav";
        txtest::WriteFile(path, bytes);
        log.lines.clear();
        Decoded out = Decode(path);
        EXPECT_FALSE(out.opened);
        return Errors();
    }

    std::string Errors() const {
        std::string all;
        for (const std::string& line : log.Errors())
            all += line;
        return all;
    }

    RecordingCallback log;
    TempDir dir;
};

TEST_F(WavTest, PcmRoundTripsForEverySampleSizeAndChannelCount) {
    for (uint16_t bits : {8, 16, 24}) {
        for (uint16_t channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " channels");
            WAVEFORMATEX wfx = PcmWfx(channels, 22050, bits);
            std::string pcm = Signal(wfx, 30001);
            std::string path = dir / ("rt" + std::to_string(bits) + "_" + std::to_string(channels) + ".wav");
            ASSERT_TRUE(
                Encode(path, wfx, pcm, 7 * wfx.nBlockAlign + 4000 / wfx.nBlockAlign * wfx.nBlockAlign));
            std::string file = txtest::ReadFile(path);
            // RIFF header, a 16-byte "fmt " and "data"; the odd 8-bit mono payload gets a pad byte.
            EXPECT_EQ(file.size(), 44 + pcm.size() + pcm.size() % 2);
            EXPECT_EQ(file.substr(12, 8), "fmt " + Le32(16));
            EXPECT_EQ(file.substr(20, 16), PcmFormat(channels, 22050, bits));

            Decoded back = Decode(path);
            ASSERT_TRUE(back.opened) << log.AllText();
            EXPECT_TRUE(back.played);
            EXPECT_EQ(0, memcmp(&back.format, &wfx, sizeof(wfx)));
            EXPECT_EQ(back.length, pcm.size());
            EXPECT_TRUE(back.sink.data == pcm);
        }
    }
}

TEST_F(WavTest, PlayDeliversTheLargestWholeFrameBlocksUpTo64K) {
    struct Case {
        uint16_t channels, bits;
        uint32_t block;
    } cases[] = {{2, 16, 65536}, {1, 24, 65535}};
    for (const Case& c : cases) {
        WAVEFORMATEX wfx = PcmWfx(c.channels, 44100, c.bits);
        std::string pcm = Signal(wfx, 50000);
        std::string path = dir / "blocks.wav";
        txtest::WriteFile(path,
                          Riff(Chunk("fmt ", PcmFormat(c.channels, 44100, c.bits)) + Chunk("data", pcm)));
        Decoded back = Decode(path);
        ASSERT_TRUE(back.opened);
        ASSERT_GE(back.sink.blocks.size(), 2u);
        EXPECT_EQ(back.sink.blocks[0], c.block);
        EXPECT_EQ(back.sink.blocks.back(), pcm.size() % c.block);
        EXPECT_TRUE(back.sink.data == pcm);
    }
}

TEST_F(WavTest, SourceSkipsUnknownChunksAndHonoursStartTimeAndStop) {
    WAVEFORMATEX wfx = PcmWfx(2, 8000, 16);
    std::string pcm = Signal(wfx, 40000); // 160000 bytes: 5 seconds
    std::string path = dir / "chunks.wav";
    // A second "fmt " and "data" do not count; "LIST" and "fact" are skipped.
    txtest::WriteFile(path, Riff(Chunk("LIST", "INFOabc") + Chunk("fmt ", PcmFormat(2, 8000, 16) + Le16(0)) +
                                 Chunk("fact", Le32(1)) + Chunk("data", pcm) +
                                 Chunk("fmt ", PcmFormat(1, 11025, 8)) + Chunk("data", "xx")));
    CWavConvSource* source = new CWavConvSource;
    source->SetFileName(path.c_str());
    source->SetStartTime(1001); // 32032 bytes, rounded down to frames: 32032
    ASSERT_TRUE(source->Open());
    WAVEFORMATEX got = {};
    source->GetFormat(&got);
    EXPECT_EQ(0, memcmp(&got, &wfx, sizeof(wfx))); // the 18-byte "fmt " reads back with cbSize 0
    uint32_t length = 0;
    EXPECT_TRUE(source->GetLength(&length, 1000, 2000));
    EXPECT_EQ(length, 32000u);
    CollectingSink sink;
    sink.stopAfter = 1;
    EXPECT_FALSE(source->Play(&sink));
    ASSERT_EQ(sink.blocks.size(), 1u);
    EXPECT_TRUE(sink.data == pcm.substr(32032, 65536));
    source->Close();
    source->Release();
}

TEST_F(WavTest, MalformedFilesFailOpenWithTheirMessage) {
    std::string good = Riff(Chunk("fmt ", PcmFormat(2, 44100, 16)) + Chunk("data", std::string(400, '\1')));
    const std::string invalid = "File format is invalid or corrupted\n";
    const std::string zero = "Length of audio data is zero\n";

    // Truncated inside the headers: no RIFF form, or a "fmt " that cannot be read whole.
    for (size_t cut : {0, 4}) {
        EXPECT_EQ(OpenError(good.substr(0, cut)), invalid) << "cut at " << cut;
    }
    for (size_t cut : {11, 12, 20, 30, 35, 36, 43}) {
        std::string text = OpenError(good.substr(0, cut));
        EXPECT_TRUE(text == invalid || text == zero) << "cut at " << cut << ": " << text;
    }
    EXPECT_EQ(OpenError(Riff(Chunk("fmt ", PcmFormat(2, 44100, 16)) + Chunk("data", "abcd", 5000))), invalid);
    EXPECT_EQ(OpenError(Riff(Chunk("fmt ", PcmFormat(2, 44100, 16)) + Chunk("data", "abcd", 0xFFFFFFF0u))),
              invalid);
    EXPECT_EQ(OpenError(Riff(Chunk("data", "abcd"))), zero);
    EXPECT_EQ(OpenError(Riff(Chunk("fmt ", PcmFormat(2, 44100, 16)) + Chunk("data", ""))), zero);
    EXPECT_EQ(OpenError(Riff(Chunk("fmt ", PcmFormat(2, 44100, 16)))), zero);
    EXPECT_EQ(OpenError(Riff("")), zero);
    EXPECT_EQ(OpenError(Chunk("RIFF", "AVI " + Chunk("data", "abcd"))), invalid);
    // A "fmt " shorter than 16 bytes has no sample size; zero fields describe no stream.
    EXPECT_EQ(OpenError(Riff(Chunk("fmt ", PcmFormat(2, 44100, 16).substr(0, 14)) + Chunk("data", "abcd"))),
              invalid);
    EXPECT_EQ(OpenError(Riff(Chunk("fmt ", PcmFormat(0, 44100, 16)) + Chunk("data", "abcd"))), invalid);

    // A compressed tag no ACM driver knows.
    std::string unknown = Le16(0x7A7A) + Le16(2) + Le32(44100) + Le32(20000) + Le16(512) + Le16(4) + Le16(0);
    std::string text = OpenError(Riff(Chunk("fmt ", unknown) + Chunk("data", std::string(1024, '\0'))));
    EXPECT_EQ(text.rfind("PCM format \"suggestion\" for the Wave file failed (ACM error ", 0), 0u) << text;
    std::cout << "unknown tag: " << text;

    std::string missing = dir / "missing.wav";
    log.lines.clear();
    EXPECT_FALSE(Decode(missing).opened);
    EXPECT_EQ(Errors(), "Source file cannot be opened\n");
}

TEST_F(WavTest, SizesBeyondTheEndOfTheFileAreCorrupt) {
    std::string pcm(1000, '\x55');
    std::string file = Riff(Chunk("fmt ", PcmFormat(2, 44100, 16)) + Chunk("data", pcm));
    const std::string invalid = "File format is invalid or corrupted\n";
    // Cut inside the samples: the RIFF and "data" sizes still claim the whole file.
    EXPECT_EQ(OpenError(file.substr(0, 44 + 600)), invalid);
    // Both sizes near 4 GB, consistent with each other but not with the file.
    std::string huge =
        Riff(Chunk("fmt ", PcmFormat(2, 44100, 16)) + Chunk("data", "abcd", 0xFFFFFF00u), 0xFFFFFFF0u);
    EXPECT_EQ(OpenError(huge), invalid);
    // An odd "data" chunk whose pad byte is missing at the end still ends within the file.
    std::string odd = Riff(Chunk("fmt ", PcmFormat(1, 8000, 8)) + Chunk("data", "abc"));
    std::string path = dir / "odd.wav";
    txtest::WriteFile(path, odd.substr(0, odd.size() - 1));
    Decoded back = Decode(path);
    ASSERT_TRUE(back.opened) << Errors();
    EXPECT_EQ(back.sink.data, "abc");
}

TEST_F(WavTest, ImaAdpcmWrittenByUsReadsBack) {
    WAVEFORMATEX wfx = PcmWfx(2, 44100, 16);
    std::string pcm = Signal(wfx, 44100);
    std::string path = dir / "ima.wav";
    // Pieces that are not whole codec blocks exercise the carry-over between Writes.
    ASSERT_TRUE(Encode(path, wfx, pcm, 10000, kImaAdpcm)) << log.AllText();
    std::string file = txtest::ReadFile(path);
    ASSERT_GT(file.size(), 40u);
    EXPECT_EQ(file.substr(20, 2), Le16(kImaAdpcm));
    EXPECT_EQ(file.find("fact"), std::string::npos);

    Decoded back = Decode(path);
    ASSERT_TRUE(back.opened) << log.AllText();
    EXPECT_EQ(back.format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(back.format.nChannels, 2);
    EXPECT_EQ(back.format.nSamplesPerSec, 44100u);
    EXPECT_EQ(back.format.wBitsPerSample, 16);
    // ADPCM is lossy: compare the waveform within a tolerance, over the frames both have.
    size_t frames = std::min(back.sink.data.size(), pcm.size()) / 4;
    EXPECT_GT(frames, 44100u * 9 / 10);
    double error = 0, energy = 0;
    for (size_t i = 0; i < frames * 2; ++i) {
        int16_t a, b;
        memcpy(&a, pcm.data() + 2 * i, 2);
        memcpy(&b, back.sink.data.data() + 2 * i, 2);
        error += double(a - b) * (a - b);
        energy += double(a) * a;
    }
    EXPECT_LT(error / energy, 0.01) << "noise to signal";
    std::cout << "IMA ADPCM: " << pcm.size() << " PCM bytes -> " << file.size() << " file bytes -> "
              << back.sink.data.size() << " PCM bytes, noise/signal " << error / energy << "\n";
}

TEST_F(WavTest, AStoredCompleteFormatIsWrittenAsItIs) {
    // u-law at 8 kHz mono, stored whole in the record: no suggestion, the format goes to "fmt ".
    WAVEFORMATEX mulaw = {WAVE_FORMAT_MULAW, 1, 8000, 8000, 1, 8, 0};
    WAVEFORMATEX wfx = PcmWfx(1, 8000, 16);
    std::string pcm = Signal(wfx, 12345);
    std::string path = dir / "mulaw.wav";
    CWavConvDest* dest = new CWavConvDest;
    dest->SetErrorLog(&log);
    ASSERT_TRUE(dest->Settings().SetFormat(&mulaw));
    dest->SetFileName(path.c_str());
    dest->SetFormat(&wfx);
    ASSERT_TRUE(dest->Open()) << log.AllText();
    EXPECT_TRUE(dest->Write(uint32_t(pcm.size() / 2), pcm.data()));
    EXPECT_TRUE(dest->Write(uint32_t(pcm.size() - pcm.size() / 2), pcm.data() + pcm.size() / 2));
    EXPECT_TRUE(dest->Close());
    dest->Release();

    std::string file = txtest::ReadFile(path);
    EXPECT_EQ(file.substr(12, 8), "fmt " + Le32(18));
    EXPECT_EQ(file.substr(20, 18), std::string(reinterpret_cast<const char*>(&mulaw), 18));
    Decoded back = Decode(path);
    ASSERT_TRUE(back.opened) << log.AllText();
    EXPECT_EQ(back.length, pcm.size());
    ASSERT_EQ(back.sink.data.size(), pcm.size());
    int worst = 0;
    for (size_t i = 0; i < pcm.size(); i += 2) {
        int16_t a, b;
        memcpy(&a, pcm.data() + i, 2);
        memcpy(&b, back.sink.data.data() + i, 2);
        worst = std::max(worst, abs(a - b));
    }
    // u-law keeps about 3% of the sample's own size.
    EXPECT_LT(worst, 600);
}

TEST_F(WavTest, EncoderWineRefusesIsReportedWithAHelpLine) {
    WAVEFORMATEX wfx = PcmWfx(2, 44100, 16);
    std::string path = dir / "msadpcm.wav";
    EXPECT_FALSE(Encode(path, wfx, std::string(4096, '\0'), 4096, WAVE_FORMAT_ADPCM));
    ASSERT_GE(log.lines.size(), 1u);
    std::cout << "MS ADPCM encoder: " << log.AllText();
    const std::string& first = log.lines[0].text;
    bool streamRefused = first.rfind("Conversion stream cannot be opened (ACM error ", 0) == 0;
    bool suggestRefused = first.rfind("PCM format \"suggestion\" for Wave file failed (ACM error ", 0) == 0;
    EXPECT_TRUE(streamRefused || suggestRefused) << first;
    if (streamRefused) {
        ASSERT_EQ(log.lines.size(), 2u);
        EXPECT_EQ(log.lines[1].kind, "i");
        EXPECT_EQ(log.lines[1].text.rfind("For information on how to avoid this error, see: ", 0), 0u);
    }
}

TEST_F(WavTest, SettingsTextOptionsAndEstimates) {
    CWavConvDest* dest = new CWavConvDest;
    char text[256];
    ASSERT_TRUE(dest->GetSettingsText(text, sizeof(text)));
    std::cout << "default: " << text << "\n";
    std::string defaults = text;
    EXPECT_NE(defaults.find("; auto detection"), std::string::npos);
    EXPECT_TRUE(dest->GetSettingsText(text, 4));
    EXPECT_EQ(std::string(text), defaults.substr(0, 3));

    WAVEFORMATEX wfx = PcmWfx(2, 44100, 16);
    uint32_t out = 0;
    EXPECT_TRUE(dest->EstimateSize(1234567, &wfx, &out));
    EXPECT_EQ(out, 1234567u);
    WAVEFORMATEX silent = wfx;
    silent.nAvgBytesPerSec = 0;
    EXPECT_FALSE(dest->EstimateSize(100, &silent, &out));

    char message[1024] = "untouched";
    EXPECT_FALSE(dest->SetOption("bitrate", "128", message));
    EXPECT_STREQ(message, "untouched");
    EXPECT_FALSE(dest->SetOption("wave-codec", "No Such Codec", message));
    EXPECT_STREQ(message, "ACM Wave Codec was not found");
    EXPECT_FALSE(dest->SetOption("Wave-Format", "no such format", message));
    EXPECT_STREQ(message, "ACM Wave Format was not found");

    // Find the IMA ADPCM tag's name as ACM lists it, then choose it by name in another case.
    ACMFORMATTAGDETAILSA details = {};
    details.cbStruct = sizeof(details);
    details.dwFormatTag = kImaAdpcm;
    ASSERT_EQ(acmFormatTagDetailsA(nullptr, &details, ACM_FORMATTAGDETAILSF_FORMATTAG), 0u);
    std::string name = details.szFormatTag;
    for (char& c : name)
        c = char(toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(dest->SetOption("WAVE-CODEC", name.c_str(), message));
    EXPECT_EQ(dest->Settings().formatTag, kImaAdpcm);
    EXPECT_EQ(dest->Settings().size, 0u);
    EXPECT_TRUE(dest->EstimateSize(176400 * 10, &wfx, &out));
    EXPECT_GT(out, 176400u * 10 / 5);
    EXPECT_LT(out, 176400u * 10 / 3);

    // A whole format of that tag, by the name acmFormatDetails gives for the suggestion.
    trelvox::UniqueBytes suggested = trelvox::AllocateBytes(trelvox::MaxAcmFormatSize());
    auto* ima = reinterpret_cast<WAVEFORMATEX*>(suggested.get());
    memset(ima, 0, trelvox::MaxAcmFormatSize());
    ima->wFormatTag = kImaAdpcm;
    ima->cbSize = WORD(trelvox::MaxAcmFormatSize() - sizeof(WAVEFORMATEX));
    ASSERT_EQ(
        acmFormatSuggest(nullptr, &wfx, ima, trelvox::MaxAcmFormatSize(), ACM_FORMATSUGGESTF_WFORMATTAG), 0u);
    ACMFORMATDETAILSA format = {};
    format.cbStruct = sizeof(format);
    format.dwFormatTag = kImaAdpcm;
    format.pwfx = ima;
    format.cbwfx = trelvox::MaxAcmFormatSize();
    ASSERT_EQ(acmFormatDetailsA(nullptr, &format, ACM_FORMATDETAILSF_FORMAT), 0u);
    EXPECT_TRUE(dest->SetOption("wave-format", format.szFormat, message)) << format.szFormat;
    ASSERT_NE(dest->Settings().size, 0u);
    EXPECT_EQ(dest->Settings().Format()->nAvgBytesPerSec, ima->nAvgBytesPerSec);
    EXPECT_TRUE(dest->EstimateSize(176400, &wfx, &out));
    EXPECT_EQ(out, ima->nAvgBytesPerSec);
    ASSERT_TRUE(dest->GetSettingsText(text, sizeof(text)));
    EXPECT_EQ(std::string(text), std::string(details.szFormatTag) + "; " + format.szFormat);
    std::cout << "IMA: " << text << "\n";

    // Saved and loaded through the "WAV" section, the record comes back whole.
    dest->Settings().Save();
    CWavConvDest* reloaded = new CWavConvDest;
    EXPECT_EQ(reloaded->Settings().size, dest->Settings().size);
    EXPECT_EQ(reloaded->Settings().formatTag, kImaAdpcm);
    ASSERT_NE(reloaded->Settings().size, 0u);
    EXPECT_EQ(0, memcmp(reloaded->Settings().pwfx.get(), dest->Settings().pwfx.get(), dest->Settings().size));
    reloaded->Release();
    EXPECT_FALSE(dest->ShowSettingsDialog(nullptr, nullptr));
    dest->Release();
}

TEST_F(WavTest, DestinationOutsideOpenWritesNothing) {
    CWavConvDest* dest = new CWavConvDest;
    dest->SetErrorLog(&log);
    WAVEFORMATEX wfx = PcmWfx(2, 44100, 16);
    dest->SetFormat(&wfx);
    EXPECT_FALSE(dest->Write(4, "abcd"));
    EXPECT_EQ(Errors(), "Output file cannot be written\n");
    EXPECT_TRUE(dest->Close()); // never opened: closes without error
    dest->Release();
}

} // namespace
