// The reference for the Ogg Vorbis rows of benchmarks/report.sh: the shortest encoder loop that
// libvorbisenc allows, reading a 16-bit PCM Wave file and writing quality-based Ogg Vorbis.
// usage: vorbis_loop IN.wav OUT.ogg QUALITY(0..1)
#include <vorbis/vorbisenc.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool WritePages(ogg_stream_state* stream, FILE* out, bool flush) {
    ogg_page page;
    while (flush ? ogg_stream_flush(stream, &page) : ogg_stream_pageout(stream, &page)) {
        if (fwrite(page.header, 1, page.header_len, out) != static_cast<size_t>(page.header_len) ||
            fwrite(page.body, 1, page.body_len, out) != static_cast<size_t>(page.body_len))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    FILE* in = fopen(argv[1], "rb");
    FILE* out = fopen(argv[2], "wb");
    if (!in || !out)
        return 3;
    unsigned char header[12];
    if (fread(header, 1, 12, in) != 12 || memcmp(header, "RIFF", 4) || memcmp(header + 8, "WAVE", 4))
        return 4;
    int channels = 0;
    long rate = 0;
    for (;;) {
        unsigned char chunk[8];
        if (fread(chunk, 1, 8, in) != 8)
            return 4;
        uint32_t size = Le32(chunk + 4);
        if (!memcmp(chunk, "fmt ", 4)) {
            unsigned char fmt[16];
            if (size < 16 || fread(fmt, 1, 16, in) != 16)
                return 4;
            channels = fmt[2] | (fmt[3] << 8);
            rate = static_cast<long>(Le32(fmt + 4));
            fseek(in, static_cast<long>(size - 16 + (size & 1)), SEEK_CUR);
        } else if (!memcmp(chunk, "data", 4)) {
            break;
        } else {
            fseek(in, static_cast<long>(size + (size & 1)), SEEK_CUR);
        }
    }
    if (channels <= 0 || rate <= 0)
        return 4;

    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, static_cast<float>(atof(argv[3]))) != 0)
        return 5;
    vorbis_comment_init(&comment);
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_init(&stream, 1);
    ogg_packet packets[3];
    vorbis_analysis_headerout(&dsp, &comment, &packets[0], &packets[1], &packets[2]);
    for (ogg_packet& packet : packets)
        ogg_stream_packetin(&stream, &packet);
    if (!WritePages(&stream, out, true))
        return 6;

    const int kFrames = 4096;
    static int16_t pcm[kFrames * 8];
    bool done = false;
    while (!done) {
        size_t frames = fread(pcm, 2 * channels, kFrames, in);
        if (frames == 0) {
            vorbis_analysis_wrote(&dsp, 0);
            done = true;
        } else {
            float** planes = vorbis_analysis_buffer(&dsp, static_cast<int>(frames));
            for (int c = 0; c < channels; ++c)
                for (size_t f = 0; f < frames; ++f)
                    planes[c][f] = pcm[f * channels + c] / 32768.0f;
            vorbis_analysis_wrote(&dsp, static_cast<int>(frames));
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                if (!WritePages(&stream, out, false))
                    return 6;
            }
        }
    }
    if (!WritePages(&stream, out, true))
        return 6;
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    fclose(in);
    return fclose(out) == 0 ? 0 : 6;
}
