#include "OggConvDest.h"

#include <vorbis/vorbisenc.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

struct COggConvDest::Encoder {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
    bool analysisReady = false;
    bool streamReady = false;

    Encoder() {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~Encoder() {
        if (streamReady)
            ogg_stream_clear(&stream);
        if (analysisReady) {
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
};

namespace {

constexpr float kSampleScale = 1.0f / 32768.0f;
constexpr uint32_t kSliceFrames = 4096;

} // namespace

namespace trelvox {

unsigned WaveChannelForVorbis(unsigned channels, unsigned vorbisChannel) {
    static const unsigned kOrder[6][8] = {
        {0, 2, 1},                // L R C -> L C R
        {0, 1, 2, 3},             // quadraphonic: the same
        {0, 2, 1, 3, 4},          // 5.0
        {0, 2, 1, 4, 5, 3},       // 5.1: the LFE goes last
        {0, 2, 1, 5, 6, 4, 3},    // 6.1
        {0, 2, 1, 6, 7, 4, 5, 3}, // 7.1
    };
    if (channels < 3 || channels > 8)
        return vorbisChannel;
    return kOrder[channels - 3][vorbisChannel];
}

} // namespace trelvox

COggConvDest::COggConvDest() : m_working(m_settings.Record()) {}

COggConvDest::~COggConvDest() {
    Close();
}

bool COggConvDest::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_OggConvDest;
    return true;
}

bool COggConvDest::WritePage(const void* header, long headerBytes, const void* body, long bodyBytes) {
    FILE* file = m_file.get();
    if (fwrite(header, 1, static_cast<size_t>(headerBytes), file) != static_cast<size_t>(headerBytes) ||
        fwrite(body, 1, static_cast<size_t>(bodyBytes), file) != static_cast<size_t>(bodyBytes)) {
        SetError("Output file cannot be written (error %d)", ferror(file));
        return false;
    }
    return true;
}

void COggConvDest::ReleaseEncoder() {
    m_encoder.reset();
    m_file.reset();
}

bool COggConvDest::Open() {
    if (!CDefConvertDestination::Open())
        return false;
    m_working = m_settings.Record();
    if (m_format.wBitsPerSample != 8 && m_format.wBitsPerSample != 16) {
        SetError("Source file must have either 8 or 16 bits/sample");
        return false;
    }
    m_file.reset(fopen(m_path, "wb"));
    if (!m_file) {
        SetError("Output file cannot be opened for writing");
        return false;
    }
    m_encoder = std::make_unique<Encoder>();
    Encoder& enc = *m_encoder;
    int result;
    if (m_working.qualityMode) {
        result =
            vorbis_encode_init_vbr(&enc.info, m_format.nChannels, static_cast<long>(m_format.nSamplesPerSec),
                                   static_cast<float>(m_working.quality) / 100.0f);
    } else {
        result = vorbis_encode_init(&enc.info, m_format.nChannels, static_cast<long>(m_format.nSamplesPerSec),
                                    m_working.useMaxBitrate ? m_working.maxBitrate * 1000 : -1,
                                    m_working.avgBitrate * 1000,
                                    m_working.useMinBitrate ? m_working.minBitrate * 1000 : -1);
    }
    if (result != 0) {
        // Nothing usable was written: the empty file goes too.
        ReleaseEncoder();
        Close();
        DeleteFileA(m_path);
        SetError("Encoding setup failed (error %d)", result);
        return false;
    }
    vorbis_comment_add_tag(&enc.comment, "ENCODER", "Harvane");
    vorbis_analysis_init(&enc.dsp, &enc.info);
    vorbis_block_init(&enc.dsp, &enc.block);
    enc.analysisReady = true;
    srand(GetTickCount());
    ogg_stream_init(&enc.stream, rand());
    enc.streamReady = true;

    ogg_packet identification, comment, codebooks;
    vorbis_analysis_headerout(&enc.dsp, &enc.comment, &identification, &comment, &codebooks);
    ogg_stream_packetin(&enc.stream, &identification);
    ogg_stream_packetin(&enc.stream, &comment);
    ogg_stream_packetin(&enc.stream, &codebooks);
    // The headers end on a page of their own, so that the audio starts on a fresh one.
    ogg_page page;
    while (ogg_stream_flush(&enc.stream, &page)) {
        if (!WritePage(page.header, page.header_len, page.body, page.body_len))
            return false;
    }
    m_endWritten = false;
    return true;
}

bool COggConvDest::Drain() {
    Encoder& enc = *m_encoder;
    ogg_packet packet = {};
    ogg_page page = {};
    while (vorbis_analysis_blockout(&enc.dsp, &enc.block) == 1) {
        // Analysis goes through the bit-rate manager: libvorbis refuses to hand packets out
        // directly when the bit rate is managed, and passes them through when it is not.
        vorbis_analysis(&enc.block, nullptr);
        vorbis_bitrate_addblock(&enc.block);
        while (vorbis_bitrate_flushpacket(&enc.dsp, &packet)) {
            ogg_stream_packetin(&enc.stream, &packet);
            while (!m_endWritten && ogg_stream_pageout(&enc.stream, &page)) {
                if (!WritePage(page.header, page.header_len, page.body, page.body_len))
                    return false;
                if (ogg_page_eos(&page))
                    m_endWritten = true;
            }
        }
    }
    return true;
}

bool COggConvDest::Write(uint32_t bytes, const void* pcm) {
    if (!m_encoder || (bytes && !pcm))
        return false;
    unsigned channels = m_format.nChannels ? m_format.nChannels : 1;
    unsigned bytesPerSample = m_format.wBitsPerSample / 8;
    uint32_t samples = bytes / bytesPerSample;
    uint32_t frames = samples / channels;
    if (frames == 0)
        return true;

    // The encoder takes the block in slices: libvorbis moves its whole pending buffer after
    // every analysis block, so a large block fed at once costs time in its square.
    std::vector<int16_t> widened;
    if (bytesPerSample == 1)
        widened.resize(static_cast<size_t>(std::min(frames, kSliceFrames)) * channels);
    for (uint32_t done = 0; done < frames;) {
        uint32_t count = std::min(frames - done, kSliceFrames);
        const int16_t* input;
        if (bytesPerSample == 1) {
            // Unsigned 8-bit samples widen to 16 bits around 0.
            const uint8_t* bytes8 = static_cast<const uint8_t*>(pcm) + static_cast<size_t>(done) * channels;
            for (size_t i = 0; i < static_cast<size_t>(count) * channels; ++i)
                widened[i] = static_cast<int16_t>((bytes8[i] - 128) * 256);
            input = widened.data();
        } else {
            input = static_cast<const int16_t*>(pcm) + static_cast<size_t>(done) * channels;
        }
        float** planes = vorbis_analysis_buffer(&m_encoder->dsp, static_cast<int>(count));
        for (unsigned c = 0; c < channels; ++c) {
            unsigned from = trelvox::WaveChannelForVorbis(channels, c);
            float* plane = planes[c];
            for (uint32_t f = 0; f < count; ++f)
                plane[f] = input[f * channels + from] * kSampleScale;
        }
        vorbis_analysis_wrote(&m_encoder->dsp, static_cast<int>(count));
        if (!Drain())
            return false;
        done += count;
    }
    return true;
}

bool COggConvDest::Close() {
    CDefConvertDestination::Close();
    if (!m_file || !m_encoder) {
        ReleaseEncoder();
        return true;
    }
    vorbis_analysis_wrote(&m_encoder->dsp, 0);
    bool ok = Drain();
    ReleaseEncoder();
    return ok;
}

bool COggConvDest::EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat, uint32_t* outBytes) {
    if (!inFormat || !outBytes || m_settings.Record().qualityMode || inFormat->nAvgBytesPerSec == 0)
        return false;
    double estimate = static_cast<double>(inBytes) / inFormat->nAvgBytesPerSec *
                      m_settings.Record().avgBitrate * 1000.0 / 8.0;
    *outBytes = static_cast<uint32_t>(estimate);
    return true;
}

bool COggConvDest::ShowSettingsDialog(HWND parent, IConvertDestination** alsoApply) {
    return m_settings.RunFor<COggConvDest>(parent, alsoApply, CLSID_OggConvDest);
}

bool COggConvDest::GetSettingsText(char* buf, int size) {
    if (!buf || size <= 0)
        return false;
    const OGGSETTINGS& settings = m_settings.Record();
    char text[128];
    if (settings.qualityMode) {
        wsprintfA(text, "VBR Quality %d%%", settings.quality);
    } else {
        int length = wsprintfA(text, "ABR %d kbps", settings.avgBitrate);
        if (settings.useMinBitrate)
            length += wsprintfA(text + length, "; Min. %d kbps", settings.minBitrate);
        if (settings.useMaxBitrate)
            wsprintfA(text + length, "; Max. %d kbps", settings.maxBitrate);
    }
    lstrcpynA(buf, text, size);
    return true;
}

bool COggConvDest::SetOption(const char* name, const char* value, char*) {
    return m_settings.Record().SetOption(name, value);
}
