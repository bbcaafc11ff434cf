#include "CodecList.h"

#include <stdio.h>

namespace wmruntime {

const std::vector<Codec>& AudioCodecs() {
    static const std::vector<Codec> codecs = {
        {u"Windows Media Audio 2 (libavcodec wmav2)", 0x0161, 2},
        {u"Windows Media Audio 1 (libavcodec wmav1)", 0x0160, 1},
    };
    return codecs;
}

const std::vector<CodecFormat>& AudioFormats() {
    // Constant bit rates only: libavcodec's WMA encoders code every frame in the same number
    // of bytes. By bit rate, then mono before stereo, then sample rate; no format spends fewer
    // than 0.5 or more than 1.5 bits on a sample, and 24 kbps is the encoder's minimum.
    static const std::vector<CodecFormat> formats = {
        {24000, 16000, 1},  {24000, 22050, 1},  {24000, 22050, 2},  {32000, 22050, 1},  {32000, 32000, 1},
        {32000, 22050, 2},  {32000, 32000, 2},  {40000, 32000, 1},  {40000, 32000, 2},  {48000, 32000, 1},
        {48000, 44100, 1},  {48000, 32000, 2},  {48000, 44100, 2},  {48000, 48000, 2},  {64000, 44100, 1},
        {64000, 48000, 1},  {64000, 32000, 2},  {64000, 44100, 2},  {64000, 48000, 2},  {80000, 44100, 1},
        {80000, 48000, 1},  {80000, 44100, 2},  {80000, 48000, 2},  {96000, 44100, 1},  {96000, 48000, 1},
        {96000, 44100, 2},  {96000, 48000, 2},  {128000, 44100, 1}, {128000, 48000, 1}, {128000, 44100, 2},
        {128000, 48000, 2}, {160000, 44100, 2}, {160000, 48000, 2}, {192000, 44100, 2}, {192000, 48000, 2},
        {256000, 44100, 2}, {256000, 48000, 2}, {320000, 44100, 2}, {320000, 48000, 2},
    };
    return formats;
}

const Codec* CodecForTag(WORD formatTag) {
    for (const Codec& codec : AudioCodecs())
        if (codec.formatTag == formatTag)
            return &codec;
    return nullptr;
}

int FrameSamples(int version, DWORD sampleRate) {
    if (sampleRate <= 16000)
        return 512;
    if (sampleRate <= 22050 || (sampleRate <= 32000 && version == 1))
        return 1024;
    return 2048;
}

WORD BlockAlign(int version, DWORD bitrate, DWORD sampleRate) {
    uint64_t bytes = static_cast<uint64_t>(bitrate) * FrameSamples(version, sampleRate) / (sampleRate * 8ull);
    return static_cast<WORD>(bytes > 32768 ? 32768 : bytes);
}

namespace {

// libavcodec's encoder flags: exponents coded with the VLC (bit 0 of the second flag word).
std::vector<uint8_t> EncoderBytes(int version) {
    return version == 1 ? std::vector<uint8_t>{0, 0, 1, 0} : std::vector<uint8_t>{0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
}

} // namespace

WORD PassesOf(const MediaType& type) {
    const WAVEFORMATEX* wave = type.Wave();
    const Codec* codec = wave ? CodecForTag(wave->wFormatTag) : nullptr;
    if (!codec || wave->cbSize != EncoderBytes(codec->version).size() + 2 || type.Format().size() < 18u + wave->cbSize)
        return 1;
    const uint8_t* passes = type.Format().data() + 18 + wave->cbSize - 2;
    return passes[0] == 2 && passes[1] == 0 ? 2 : 1;
}

MediaType FormatMediaType(const Codec& codec, const CodecFormat& format, WORD passes) {
    std::vector<uint8_t> extra = EncoderBytes(codec.version);
    extra.push_back(static_cast<uint8_t>(passes));
    extra.push_back(static_cast<uint8_t>(passes >> 8));
    WAVEFORMATEX wave = {};
    wave.wFormatTag = codec.formatTag;
    wave.nChannels = format.channels;
    wave.nSamplesPerSec = format.sampleRate;
    wave.nAvgBytesPerSec = format.bitrate / 8;
    wave.nBlockAlign = BlockAlign(codec.version, format.bitrate, format.sampleRate);
    wave.wBitsPerSample = 16;
    wave.cbSize = static_cast<WORD>(extra.size());
    // WAVEFORMATEX up to cbSize, then the encoder's bytes.
    std::vector<uint8_t> bytes(18 + extra.size());
    memcpy(bytes.data(), &wave, 18);
    memcpy(bytes.data() + 18, extra.data(), extra.size());
    return MediaType::Audio(wmsdk::AudioSubtype(codec.formatTag), bytes, wave.nBlockAlign);
}

std::u16string FormatDescription(const CodecFormat& format) {
    char text[64];
    snprintf(text, sizeof text, "%lu kbps, %lu kHz, %s CBR",
             static_cast<unsigned long>(format.bitrate / 1000),
             static_cast<unsigned long>(format.sampleRate / 1000), format.channels == 1 ? "mono" : "stereo");
    std::u16string wide;
    for (const char* c = text; *c; ++c)
        wide.push_back(static_cast<char16_t>(*c));
    return wide;
}

} // namespace wmruntime
