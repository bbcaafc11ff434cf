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
using txtest::Pcm;
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

// Every test starts from the default record, nothing stored in the "WAV" section, and leaves
// none behind for the programs that run after it.
class WavTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitTX(nullptr);
        PutProfileString("WAV", nullptr, nullptr);
    }
    void TearDown() override { PutProfileString("WAV", nullptr, nullptr); }

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

    // Writes pcm through a fresh destination in pieces of `piece` bytes, to the format tag or
    // to a whole stored format.
    bool Encode(const std::string& path, const WAVEFORMATEX& wfx, const std::string& pcm, size_t piece,
                uint32_t tag = WAVE_FORMAT_PCM, const WAVEFORMATEX* stored = nullptr) {
        CWavConvDest* dest = new CWavConvDest;
        dest->Settings().formatTag = tag;
        if (stored) {
            EXPECT_TRUE(dest->Settings().SetFormat(stored));
        }
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
        return log.Errors();
    }

    RecordingCallback log;
    TempDir dir;
};

// The "fmt " of mono 22050 Hz IMA ADPCM in 512-byte blocks with the given cbSize; its two
// extra bytes (samples per block) follow.
std::string ImaFormat(uint16_t cbSize) {
    return Le16(kImaAdpcm) + Le16(1) + Le32(22050) + Le32(11100) + Le16(512) + Le16(4) + Le16(cbSize) +
           Le16(1017);
}

// Noise to signal of 16-bit `back` against `pcm`, over the samples both have; also the worst
// single difference.
double NoiseToSignal(const std::string& pcm, const std::string& back, int* worst) {
    double error = 0, energy = 0;
    *worst = 0;
    for (size_t i = 0; i + 1 < std::min(pcm.size(), back.size()); i += 2) {
        int16_t a, b;
        memcpy(&a, pcm.data() + i, 2);
        memcpy(&b, back.data() + i, 2);
        error += double(a - b) * (a - b);
        energy += double(a) * a;
        *worst = std::max(*worst, abs(a - b));
    }
    return error / energy;
}

TEST_F(WavTest, PcmRoundTripsForEverySampleSizeAndChannelCountInBlocksUpTo64K) {
    for (uint16_t bits : {8, 16, 24}) {
        for (uint16_t channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " channels");
            WAVEFORMATEX wfx = Pcm(channels, 22050, bits);
            std::string pcm = Signal(wfx, 30001);
            std::string path = dir / ("rt" + std::to_string(bits) + "_" + std::to_string(channels) + ".wav");
            // Only the 18 fixed bytes of a format travel between objects: extra bytes that the
            // input's cbSize announces are not there to be written.
            WAVEFORMATEX announced = wfx;
            announced.cbSize = 22;
            ASSERT_TRUE(
                Encode(path, announced, pcm, 7 * wfx.nBlockAlign + 4000 / wfx.nBlockAlign * wfx.nBlockAlign));
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
            // Play hands out the largest whole-frame blocks up to 64 KiB (65535 bytes of 24-bit mono).
            EXPECT_EQ(back.sink.blocks[0], std::min<size_t>(pcm.size(), 65536 - 65536 % wfx.nBlockAlign));
        }
    }
}

TEST_F(WavTest, SourceSkipsUnknownChunksAndHonoursStartTimeAndStop) {
    WAVEFORMATEX wfx = Pcm(2, 8000, 16);
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
    const std::string fmt = Chunk("fmt ", PcmFormat(2, 44100, 16));
    const std::string good = Riff(fmt + Chunk("data", std::string(400, '\1')));
    const std::string invalid = "File format is invalid or corrupted\n",
                      zero = "Length of audio data is zero\n";
    // Truncated inside the headers (no RIFF form, or a "fmt " that cannot be read whole) or
    // before the first whole frame of "data".
    for (size_t cut : {11, 12, 20, 30, 35, 36, 43, 44, 45}) {
        std::string text = OpenError(good.substr(0, cut));
        EXPECT_TRUE(text == invalid || text == zero) << "cut at " << cut << ": " << text;
    }
    const std::pair<std::string, const std::string&> cases[] = {
        // No RIFF header, or sub-chunks that run past their RIFF chunk.
        {"", invalid},
        {good.substr(0, 4), invalid},
        {Riff(fmt + Chunk("data", "abcd", 5000)), invalid},
        {Riff(fmt + Chunk("data", "abcd", 0xFFFFFFF0u)), invalid},
        {Chunk("RIFF", "AVI " + Chunk("data", "abcd")), invalid},
        // A "fmt " shorter than 16 bytes has no sample size; zero fields describe no stream.
        {Riff(Chunk("fmt ", PcmFormat(2, 44100, 16).substr(0, 14)) + Chunk("data", "abcd")), invalid},
        {Riff(Chunk("fmt ", PcmFormat(0, 44100, 16)) + Chunk("data", "abcd")), invalid},
        // A cbSize announcing more extra bytes than the "fmt " chunk holds (ACM would read them).
        {Riff(Chunk("fmt ", ImaFormat(3)) + Chunk("data", std::string(1024, '\0'))), invalid},
        {Riff(Chunk("fmt ", ImaFormat(600)) + Chunk("data", std::string(1024, '\0'))), invalid},
        {Riff(Chunk("fmt ", ImaFormat(2).substr(0, 18)) + Chunk("data", std::string(1024, '\0'))), invalid},
        {Riff(Chunk("data", "abcd")), zero},
        {Riff(fmt + Chunk("data", "")), zero},
        {Riff(fmt), zero},
        {Riff(""), zero},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OpenError(c.first), c.second) << &c - cases;

    // A compressed tag no ACM driver knows.
    std::string unknown = Le16(0x7A7A) + Le16(2) + Le32(44100) + Le32(20000) + Le16(512) + Le16(4) + Le16(0);
    std::string text = OpenError(Riff(Chunk("fmt ", unknown) + Chunk("data", std::string(1024, '\0'))));
    EXPECT_EQ(text.rfind("PCM format \"suggestion\" for the Wave file failed (ACM error ", 0), 0u) << text;

    log.lines.clear();
    EXPECT_FALSE(Decode(dir / "missing.wav").opened);
    EXPECT_EQ(log.Errors(), "Source file cannot be opened\n");

    // An odd "data" chunk whose pad byte is missing at the end still ends within the file.
    std::string odd = Riff(Chunk("fmt ", PcmFormat(1, 8000, 8)) + Chunk("data", "abc"));
    txtest::WriteFile(dir / "odd.wav", odd.substr(0, odd.size() - 1));
    Decoded back = Decode(dir / "odd.wav");
    ASSERT_TRUE(back.opened) << log.Errors();
    EXPECT_EQ(back.sink.data, "abc");
}

TEST_F(WavTest, TruncatedFilesPlayTheWholeFramesThatAreThere) {
    // An interrupted recording or download: the sizes promise more than the file holds.
    WAVEFORMATEX wfx = Pcm(2, 44100, 16);
    const std::string pcm = Signal(wfx, 1000);
    const std::string fmt = Chunk("fmt ", PcmFormat(2, 44100, 16));
    const std::string whole = Riff(fmt + Chunk("data", pcm));
    const std::string longRiff = Riff(fmt + Chunk("data", pcm), 100000);
    const std::pair<std::string, size_t> cases[] = {
        {whole.substr(0, 44 + 2001), 2000},    // cut inside a frame
        {whole.substr(0, 44 + 4), 4},          // one frame
        {longRiff, pcm.size()},                // only the RIFF size runs past the end
        {longRiff.substr(0, 44 + 1003), 1000}, // both do
        {Riff(fmt + Chunk("data", pcm, 0xFFFFFF00u), 0xFFFFFFF0u), pcm.size()}, // near 4 GB
    };
    for (const auto& c : cases) {
        std::string path = dir / "cut.wav";
        txtest::WriteFile(path, c.first);
        log.lines.clear();
        Decoded back = Decode(path);
        ASSERT_TRUE(back.opened) << c.first.size() << " bytes: " << log.Errors();
        EXPECT_TRUE(back.played);
        EXPECT_EQ(back.length, c.second) << c.first.size() << " bytes";
        EXPECT_TRUE(back.sink.data == pcm.substr(0, c.second)) << back.sink.data.size();
    }
}

TEST_F(WavTest, CompressedFormatsWrittenByUsReadBack) {
    // IMA ADPCM by its tag, in pieces that are not whole codec blocks (the carry-over between
    // Writes); the decoded stream is PCM of the source's shape.
    WAVEFORMATEX wfx = Pcm(2, 44100, 16);
    std::string pcm = Signal(wfx, 44100);
    std::string path = dir / "ima.wav";
    ASSERT_TRUE(Encode(path, wfx, pcm, 10000, kImaAdpcm)) << log.AllText();
    std::string file = txtest::ReadFile(path);
    ASSERT_GT(file.size(), 40u);
    EXPECT_EQ(file.substr(20, 2), Le16(kImaAdpcm));
    EXPECT_EQ(file.find("fact"), std::string::npos);
    // Close converts the last partial block once more without block alignment, which Wine's
    // encoder leaves unencoded: whole blocks only, no silence added.
    const size_t dataStart = file.find("data") + 8;
    const uint16_t blockAlign = uint16_t(uint8_t(file[32]) | uint8_t(file[33]) << 8);
    const uint16_t samplesPerBlock = uint16_t(uint8_t(file[38]) | uint8_t(file[39]) << 8);
    const size_t wholeBlocks = pcm.size() / (samplesPerBlock * wfx.nBlockAlign);
    EXPECT_EQ(file.substr(dataStart - 4, 4), Le32(uint32_t(wholeBlocks * blockAlign)))
        << blockAlign << "-byte blocks of " << samplesPerBlock << " samples";
    EXPECT_EQ(log.lines.size(), 0u) << log.AllText();
    Decoded back = Decode(path);
    ASSERT_TRUE(back.opened) << log.AllText();
    EXPECT_EQ(0, memcmp(&back.format, &wfx, sizeof(wfx)));
    EXPECT_EQ(back.sink.data.size(), wholeBlocks * samplesPerBlock * wfx.nBlockAlign);
    int worst = 0;
    EXPECT_LT(NoiseToSignal(pcm, back.sink.data, &worst), 0.01);

    // Cut inside its third block, the file plays its first two blocks.
    txtest::WriteFile(path, file.substr(0, dataStart + blockAlign * 5 / 2));
    Decoded cut = Decode(path);
    ASSERT_TRUE(cut.opened) << log.AllText();
    EXPECT_EQ(cut.sink.data.size(), 2u * samplesPerBlock * wfx.nBlockAlign);
    EXPECT_TRUE(cut.sink.data == back.sink.data.substr(0, cut.sink.data.size()));

    // u-law stored whole in the record: no suggestion, the format goes to "fmt " as it is.
    WAVEFORMATEX mulaw = {WAVE_FORMAT_MULAW, 1, 8000, 8000, 1, 8, 0};
    wfx = Pcm(1, 8000, 16);
    pcm = Signal(wfx, 12345);
    path = dir / "mulaw.wav";
    ASSERT_TRUE(Encode(path, wfx, pcm, pcm.size() / 2, WAVE_FORMAT_PCM, &mulaw)) << log.AllText();
    file = txtest::ReadFile(path);
    EXPECT_EQ(file.substr(12, 8), "fmt " + Le32(18));
    EXPECT_EQ(file.substr(20, 18), std::string(reinterpret_cast<const char*>(&mulaw), 18));
    back = Decode(path);
    ASSERT_TRUE(back.opened) << log.AllText();
    EXPECT_EQ(back.length, pcm.size());
    ASSERT_EQ(back.sink.data.size(), pcm.size());
    NoiseToSignal(pcm, back.sink.data, &worst);
    EXPECT_LT(worst, 600); // u-law keeps about 3% of the sample's own size
}

TEST_F(WavTest, EncoderWineRefusesIsReportedWithAHelpLine) {
    WAVEFORMATEX wfx = Pcm(2, 44100, 16);
    std::string path = dir / "msadpcm.wav";
    EXPECT_FALSE(Encode(path, wfx, std::string(4096, '\0'), 4096, WAVE_FORMAT_ADPCM));
    EXPECT_FALSE(txtest::FileExists(path)); // no stub of the file Open had begun
    ASSERT_GE(log.lines.size(), 1u);
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

// The text of the defaults is OutputSettingsTest's; the codecs by their exact ACM names are
// check_wav_with_tools.py's.
TEST_F(WavTest, OptionsChooseCodecsAndFormatsByTheirAcmNames) {
    CWavConvDest* dest = new CWavConvDest;
    WAVEFORMATEX wfx = Pcm(2, 44100, 16);
    uint32_t out = 0;
    EXPECT_TRUE(dest->EstimateSize(1234567, &wfx, &out));
    EXPECT_EQ(out, 1234567u);
    WAVEFORMATEX silent = wfx;
    silent.nAvgBytesPerSec = 0;
    EXPECT_FALSE(dest->EstimateSize(100, &silent, &out));
    EXPECT_FALSE(dest->Write(4, "abcd")); // not opened
    EXPECT_TRUE(dest->Close());

    char message[1024] = "untouched";
    EXPECT_FALSE(dest->SetOption("bitrate", "128", message));
    EXPECT_STREQ(message, "untouched");
    EXPECT_FALSE(dest->SetOption("wave-codec", "No Such Codec", message));
    EXPECT_STREQ(message, "ACM Wave Codec was not found");
    EXPECT_FALSE(dest->SetOption("Wave-Format", "no such format", message));
    EXPECT_STREQ(message, "ACM Wave Format was not found");

    // A codec name in another case: an estimate from the suggestion.
    EXPECT_TRUE(dest->SetOption("WAVE-CODEC", "ima adpcm", message));
    EXPECT_EQ(dest->Settings().formatTag, kImaAdpcm);
    EXPECT_EQ(dest->Settings().size, 0u);
    EXPECT_TRUE(dest->EstimateSize(176400 * 10, &wfx, &out));
    EXPECT_TRUE(out > 176400u * 10 / 5 && out < 176400u * 10 / 3) << out;

    // A whole format of that tag, by the name acmFormatDetails gives for the suggestion.
    const uint32_t maxSize = trelvox::MaxAcmFormatSize();
    trelvox::UniqueBytes suggested = trelvox::AllocateBytes(maxSize);
    auto* ima = reinterpret_cast<WAVEFORMATEX*>(suggested.get());
    memset(ima, 0, maxSize);
    ima->wFormatTag = kImaAdpcm;
    ima->cbSize = WORD(maxSize - sizeof(WAVEFORMATEX));
    ASSERT_EQ(acmFormatSuggest(nullptr, &wfx, ima, maxSize, ACM_FORMATSUGGESTF_WFORMATTAG), 0u);
    ACMFORMATDETAILSA format = {};
    format.cbStruct = sizeof(format);
    format.dwFormatTag = kImaAdpcm;
    format.pwfx = ima;
    format.cbwfx = maxSize;
    ASSERT_EQ(acmFormatDetailsA(nullptr, &format, ACM_FORMATDETAILSF_FORMAT), 0u);
    EXPECT_TRUE(dest->SetOption("wave-format", format.szFormat, message)) << format.szFormat;
    ASSERT_NE(dest->Settings().size, 0u);
    EXPECT_TRUE(dest->EstimateSize(176400, &wfx, &out));
    EXPECT_EQ(out, ima->nAvgBytesPerSec);
    char text[256];
    ASSERT_TRUE(dest->GetSettingsText(text, sizeof(text)));
    EXPECT_EQ(std::string(text), "IMA ADPCM; " + std::string(format.szFormat));

    // Saved and loaded through the "WAV" section, the record comes back whole.
    dest->Settings().Save();
    CWavConvDest* reloaded = new CWavConvDest;
    EXPECT_EQ(reloaded->Settings().formatTag, kImaAdpcm);
    ASSERT_EQ(reloaded->Settings().size, dest->Settings().size);
    EXPECT_EQ(0, memcmp(reloaded->Settings().pwfx.get(), dest->Settings().pwfx.get(), dest->Settings().size));
    reloaded->Release();

    // A stored size that disagrees with the format's own cbSize: no format is stored.
    const uint32_t stored = dest->Settings().size;
    for (uint32_t size : {stored - 1, stored + 1}) {
        std::string block(reinterpret_cast<const char*>(dest->Settings().pwfx.get()), stored);
        block.resize(size, '\0');
        PutProfileInt("WAV", "WaveFormatExSize", int(size));
        PutProfileBinary("WAV", "WaveFormatEx", block.data(), size);
        reloaded = new CWavConvDest;
        EXPECT_EQ(reloaded->Settings().size, 0u) << size;
        EXPECT_EQ(reloaded->Settings().formatTag, kImaAdpcm);
        reloaded->Release();
    }
    dest->Release();
}

} // namespace
