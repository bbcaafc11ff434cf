// The option strings of the MP3 and Ogg Vorbis records, and their round trip: a record
// written out as options and read into a fresh record is the same record. The input is
// option pairs "name\0value\0" (a value "\x01" stands for none), then the record to write.
#include "FuzzSupport.h"
#include "MP3SettingsRecord.h"
#include "OggSettingsRecord.h"

namespace {

const char* ValueOf(const std::string& value) {
    return value == "\x01" ? nullptr : value.c_str();
}

template <typename Record>
bool SetAll(Record& record, const std::vector<std::pair<std::string, std::string>>& options);

template <>
bool SetAll(MP3SETTINGS& record, const std::vector<std::pair<std::string, std::string>>& options) {
    char message[256];
    for (const auto& option : options) {
        if (!record.SetOption(option.first.c_str(), option.second.c_str(), message)) {
            fprintf(stderr, "--%s=%s: %s\n", option.first.c_str(), option.second.c_str(), message);
            return false;
        }
    }
    return true;
}

template <>
bool SetAll(OGGSETTINGS& record, const std::vector<std::pair<std::string, std::string>>& options) {
    for (const auto& option : options) {
        if (!record.SetOption(option.first.c_str(), option.second.c_str()))
            return false;
    }
    return true;
}

// Random letter case, as users type option values.
std::string Cased(std::string text, uint8_t bits) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (bits >> (i % 8) & 1)
            text[i] = static_cast<char>(toupper(static_cast<unsigned char>(text[i])));
    }
    return text;
}

void CheckMP3RoundTrip(fuzz::Input& input) {
    static const char* const kModes[] = {"cbr", "vbr", "abr", "fastvbr"};
    static const char* const kSwitches[] = {"joint-stereo", "iso", "crc", "original", "copyright", "private"};
    MP3SETTINGS written;
    written.mode = input.Byte() % 4;
    written.bitrate = static_cast<int32_t>(input.Word());
    written.maxBitrate = static_cast<int32_t>(input.Word());
    written.vbrQuality = 10 * (1 + input.Byte() % 10);
    written.sampleRate = static_cast<int32_t>(input.Word());
    int32_t* switches[] = {&written.jointStereo, &written.strictIso, &written.crc,
                           &written.original,    &written.copyright, &written.privateBit};
    const uint8_t on = input.Byte();
    for (int i = 0; i < 6; ++i)
        *switches[i] = on >> i & 1;
    const uint8_t casing = input.Byte();

    std::vector<std::pair<std::string, std::string>> options;
    options.emplace_back(Cased("vbr-mode", casing), Cased(kModes[written.mode], casing));
    // A bit rate in bps where it converts back exactly, kHz likewise for the sample rate.
    const bool inBps = (casing & 1) && written.bitrate >= -2147483 && written.bitrate <= 2147483;
    options.emplace_back("bitrate",
                         std::to_string(inBps ? int64_t(written.bitrate) * 1000 : written.bitrate) +
                             Cased(inBps          ? "bps"
                                   : (casing & 2) ? "kbps"
                                                  : "",
                                   casing));
    options.emplace_back("max-bitrate", std::to_string(written.maxBitrate));
    options.emplace_back("vbr-quality", std::to_string(written.vbrQuality));
    const bool inKhz = (casing & 4) && written.sampleRate % 1000 == 0;
    options.emplace_back("sample-rate",
                         std::to_string(inKhz ? written.sampleRate / 1000 : written.sampleRate) +
                             Cased(inKhz ? "khz" : "hz", casing));
    for (int i = 0; i < 6; ++i)
        options.emplace_back(kSwitches[i], *switches[i] ? "on" : "OFF");

    MP3SETTINGS read;
    FUZZ_CHECK(SetAll(read, options), "the options of a record are refused");
    FUZZ_CHECK(memcmp(&read, &written, sizeof read) == 0, "mode %d/%d bitrate %d/%d rate %d/%d", read.mode,
               written.mode, read.bitrate, written.bitrate, read.sampleRate, written.sampleRate);
}

void CheckOggRoundTrip(fuzz::Input& input) {
    static const int32_t kTable[] = {48, 64, 96, 128, 160, 192, 256, 320};
    OGGSETTINGS written;
    written.qualityMode = input.Byte() & 1;
    written.quality = input.Byte() % 101;
    written.useMinBitrate = input.Byte() & 1;
    written.useMaxBitrate = input.Byte() & 1;
    written.minBitrate = written.useMinBitrate ? kTable[input.Byte() % 8] : OGGSETTINGS().minBitrate;
    written.maxBitrate = written.useMaxBitrate ? kTable[input.Byte() % 8] : OGGSETTINGS().maxBitrate;
    written.avgBitrate = kTable[input.Byte() % 8];

    std::vector<std::pair<std::string, std::string>> options;
    options.emplace_back("quality-based", written.qualityMode ? "yes" : "No");
    options.emplace_back("quality", std::to_string(written.quality));
    options.emplace_back("min-bitrate", written.useMinBitrate ? std::to_string(written.minBitrate) : "0");
    options.emplace_back("max-bitrate",
                         written.useMaxBitrate ? std::to_string(written.maxBitrate) + "kbps" : "-1");
    options.emplace_back("AVG-bitrate", std::to_string(written.avgBitrate));
    OGGSETTINGS read;
    FUZZ_CHECK(SetAll(read, options), "the options of an Ogg record are refused");
    FUZZ_CHECK(memcmp(&read, &written, sizeof read) == 0, "quality %d/%d avg %d/%d", read.quality,
               written.quality, read.avgBitrate, written.avgBitrate);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    MP3SETTINGS mp3;
    OGGSETTINGS ogg;
    // Options until an empty name.
    for (std::string name = input.Piece('\0'); !name.empty(); name = input.Piece('\0')) {
        const std::string value = input.Piece('\0');
        char message[256];
        memset(message, 0x55, sizeof message);
        const MP3SETTINGS before = mp3;
        if (!mp3.SetOption(name.c_str(), ValueOf(value), message)) {
            FUZZ_CHECK(memchr(message, '\0', sizeof message) != nullptr, "unterminated message for %s",
                       name.c_str());
            FUZZ_CHECK(memcmp(&before, &mp3, sizeof mp3) == 0, "a refused --%s changed the record",
                       name.c_str());
        }
        const OGGSETTINGS oggBefore = ogg;
        if (!ogg.SetOption(name.c_str(), ValueOf(value)))
            FUZZ_CHECK(memcmp(&oggBefore, &ogg, sizeof ogg) == 0, "a refused --%s changed the Ogg record",
                       name.c_str());
        FUZZ_CHECK(ogg.quality >= 0 && ogg.quality <= 100, "quality %d", ogg.quality);
        long number;
        int unit;
        static const char* const kUnits[] = {"kbps", "bps"};
        trelvox::ParseMP3Number(ValueOf(value), kUnits, 2, &number, &unit);
    }
    // Every record the options can make has a text, cut to the caller's buffer (exactly that
    // big, so that a byte beyond it is seen).
    const int bufferSize = 1 + input.Byte() % 64;
    std::vector<char> text(static_cast<size_t>(bufferSize));
    FUZZ_CHECK(mp3.GetText(text.data(), bufferSize), "no text");
    FUZZ_CHECK(strlen(text.data()) < size_t(bufferSize), "text of %zu in %d", strlen(text.data()),
               bufferSize);
    CheckMP3RoundTrip(input);
    CheckOggRoundTrip(input);
    return 0;
}
