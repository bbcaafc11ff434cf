#include "AsfEncoder.h"

#include "ComHelpers.h"
#include "Handles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

namespace wmruntime {

namespace {

constexpr int kIoBufferBytes = 64 * 1024;

// FFmpeg's own messages, only while TRELVOX_TRACE names "wm": they are the why of a failure.
void LogToDebugger(void*, int level, const char* format, va_list args) {
    if (level > AV_LOG_WARNING)
        return;
    char text[1024];
    vsnprintf(text, sizeof text, format, args);
    OutputDebugStringA(text);
}

void SetUpLogging() {
    static const bool once = [] {
        const char* trace = getenv("TRELVOX_TRACE");
        if (trace && strstr(trace, "wm")) {
            av_log_set_callback(LogToDebugger);
        } else {
            av_log_set_level(AV_LOG_QUIET);
        }
        return true;
    }();
    (void)once;
}

struct ContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
    void operator()(SwrContext* context) const { swr_free(&context); }
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
    void operator()(AVFormatContext* format) const { avformat_free_context(format); }
};
template <class T> using Owned = std::unique_ptr<T, ContextDeleter>;

} // namespace

struct AsfEncoder::State {
    std::u16string path;
    trelvox::UniqueHandle file;
    bool finished = false;
    Owned<AVIOContext> io;
    Owned<AVFormatContext> format;
    AVStream* stream = nullptr;
    Owned<AVCodecContext> codec;
    Owned<SwrContext> resampler;
    Owned<AVAudioFifo> fifo;
    Owned<AVFrame> frame;
    Owned<AVPacket> packet;
    PcmInput input = {};
    size_t inputFrameBytes = 0;
    std::vector<uint8_t> partial; // bytes of an incomplete input frame
    std::vector<int32_t> widened; // 24-bit input as 32-bit
    std::vector<float> converted; // resampler output, planar
    int64_t nextPts = 0;          // samples at the stream's rate

    ~State() {
        // The muxer's context goes before the file it writes through.
        format.reset();
        io.reset();
        if (!finished && file) {
            file.reset();
            DeleteFileW(W(path));
        }
    }

    static int WritePacket(void* opaque, uint8_t* buffer, int size) {
        auto* state = static_cast<State*>(opaque);
        DWORD written = 0;
        if (!WriteFile(state->file.get(), buffer, static_cast<DWORD>(size), &written, nullptr) ||
            written != static_cast<DWORD>(size))
            return AVERROR(EIO);
        return size;
    }

    static int64_t Seek(void* opaque, int64_t offset, int whence) {
        auto* state = static_cast<State*>(opaque);
        LARGE_INTEGER size = {};
        if (whence & AVSEEK_SIZE)
            return GetFileSizeEx(state->file.get(), &size) ? size.QuadPart : AVERROR(EIO);
        DWORD method = FILE_BEGIN;
        switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            method = FILE_BEGIN;
            break;
        case SEEK_CUR:
            method = FILE_CURRENT;
            break;
        case SEEK_END:
            method = FILE_END;
            break;
        default:
            return AVERROR(EINVAL);
        }
        LARGE_INTEGER distance = {}, position = {};
        distance.QuadPart = offset;
        if (!SetFilePointerEx(state->file.get(), distance, &position, method))
            return AVERROR(EIO);
        return position.QuadPart;
    }

    // Codes one frame (null drains the encoder) and hands its packets to the muxer.
    HRESULT Encode(AVFrame* input) {
        if (avcodec_send_frame(codec.get(), input) < 0)
            return NS_E_INVALID_DATA;
        for (;;) {
            int result = avcodec_receive_packet(codec.get(), packet.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return S_OK;
            if (result < 0)
                return NS_E_INVALID_DATA;
            av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format.get(), packet.get()) < 0)
                return NS_E_FILE_WRITE;
        }
    }

    // Codes every whole frame waiting in the FIFO; at the end also the rest, padded.
    HRESULT Drain(bool end) {
        const int frameSize = codec->frame_size;
        while (av_audio_fifo_size(fifo.get()) >= frameSize || (end && av_audio_fifo_size(fifo.get()) > 0)) {
            av_frame_unref(frame.get());
            frame->nb_samples = frameSize;
            frame->format = codec->sample_fmt;
            frame->sample_rate = codec->sample_rate;
            if (av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout) < 0 ||
                av_frame_get_buffer(frame.get(), 0) < 0)
                return E_OUTOFMEMORY;
            int got = av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(frame->data), frameSize);
            if (got < 0)
                return E_FAIL;
            if (got < frameSize)
                av_samples_set_silence(frame->data, got, frameSize - got, codec->ch_layout.nb_channels,
                                       codec->sample_fmt);
            frame->pts = nextPts;
            nextPts += frameSize;
            HRESULT hr = Encode(frame.get());
            if (FAILED(hr))
                return hr;
        }
        return S_OK;
    }

    // Resamples frames input frames (null flushes the resampler) into the FIFO.
    HRESULT Convert(const uint8_t* data, int frames) {
        int room = swr_get_out_samples(resampler.get(), frames);
        if (room < 0)
            return E_FAIL;
        int channels = codec->ch_layout.nb_channels;
        converted.resize(static_cast<size_t>(room + 1) * channels);
        std::vector<uint8_t*> planes(channels);
        for (int c = 0; c < channels; ++c)
            planes[c] = reinterpret_cast<uint8_t*>(converted.data() + static_cast<size_t>(c) * (room + 1));
        const uint8_t* in[1] = {data};
        int got = swr_convert(resampler.get(), planes.data(), room + 1, data ? in : nullptr, frames);
        if (got < 0)
            return E_FAIL;
        if (got > 0 && av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(planes.data()), got) < got)
            return E_OUTOFMEMORY;
        return S_OK;
    }

    HRESULT Take(const uint8_t* pcm, size_t frames) {
        if (frames == 0)
            return S_OK;
        if (input.bits != 24)
            return Convert(pcm, static_cast<int>(frames));
        // libswresample has no packed 24-bit format: widen to 32 bits first.
        size_t samples = frames * input.channels;
        widened.resize(samples);
        for (size_t i = 0; i < samples; ++i) {
            const uint8_t* p = pcm + 3 * i;
            widened[i] =
                static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                     static_cast<uint32_t>(p[2]) << 24);
        }
        return Convert(reinterpret_cast<const uint8_t*>(widened.data()), static_cast<int>(frames));
    }
};

AsfEncoder::AsfEncoder() = default;
AsfEncoder::~AsfEncoder() = default;

HRESULT AsfEncoder::Open(const std::u16string& path, const EncodeTarget& target, const PcmInput& input) {
    SetUpLogging();
    m_state.reset();
    auto state = std::make_unique<State>();
    state->path = path;
    state->input = input;
    state->inputFrameBytes = static_cast<size_t>(input.channels) * (input.bits / 8);
    AVSampleFormat inputFormat;
    switch (input.bits) {
    case 8:
        inputFormat = AV_SAMPLE_FMT_U8;
        break;
    case 16:
        inputFormat = AV_SAMPLE_FMT_S16;
        break;
    case 24:
        inputFormat = AV_SAMPLE_FMT_S32;
        break;
    case 32:
        inputFormat = input.floating ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S32;
        break;
    default:
        return NS_E_INVALID_INPUT_FORMAT;
    }
    if ((input.floating && input.bits != 32) || input.channels == 0 || input.sampleRate == 0)
        return NS_E_INVALID_INPUT_FORMAT;

    const AVCodec* encoder =
        avcodec_find_encoder(target.version == 1 ? AV_CODEC_ID_WMAV1 : AV_CODEC_ID_WMAV2);
    if (!encoder)
        return NS_E_CODEC_UNAVAILABLE;
    state->codec.reset(avcodec_alloc_context3(encoder));
    state->frame.reset(av_frame_alloc());
    state->packet.reset(av_packet_alloc());
    if (!state->codec || !state->frame || !state->packet)
        return E_OUTOFMEMORY;
    AVCodecContext* codec = state->codec.get();
    codec->sample_rate = static_cast<int>(target.sampleRate);
    av_channel_layout_default(&codec->ch_layout, target.channels);
    codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec->bit_rate = target.bitrate;
    codec->time_base = AVRational{1, codec->sample_rate};

    AVFormatContext* rawFormat = nullptr;
    if (avformat_alloc_output_context2(&rawFormat, nullptr, "asf", nullptr) < 0 || !rawFormat)
        return NS_E_INVALID_OUTPUT_FORMAT;
    state->format.reset(rawFormat);
    if (state->format->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(codec, encoder, nullptr) < 0 || codec->frame_size <= 0)
        return NS_E_INVALID_OUTPUT_FORMAT;

    AVChannelLayout inputLayout;
    av_channel_layout_default(&inputLayout, input.channels);
    SwrContext* resampler = nullptr;
    int swr = swr_alloc_set_opts2(&resampler, &codec->ch_layout, AV_SAMPLE_FMT_FLTP, codec->sample_rate,
                                  &inputLayout, inputFormat, static_cast<int>(input.sampleRate), 0, nullptr);
    av_channel_layout_uninit(&inputLayout);
    state->resampler.reset(resampler);
    if (swr < 0 || swr_init(resampler) < 0)
        return NS_E_INVALID_INPUT_FORMAT;
    state->fifo.reset(
        av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, codec->ch_layout.nb_channels, codec->frame_size * 2));
    if (!state->fifo)
        return E_OUTOFMEMORY;

    state->stream = avformat_new_stream(state->format.get(), nullptr);
    if (!state->stream || avcodec_parameters_from_context(state->stream->codecpar, codec) < 0)
        return E_OUTOFMEMORY;
    state->stream->time_base = codec->time_base;

    HANDLE file = CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        return code == ERROR_PATH_NOT_FOUND ? NS_E_FILE_OPEN_FAILED : HRESULT_FROM_WIN32(code);
    }
    state->file.reset(file);
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (!buffer)
        return E_OUTOFMEMORY;
    state->io.reset(avio_alloc_context(buffer, kIoBufferBytes, 1, state.get(), nullptr, &State::WritePacket,
                                       &State::Seek));
    if (!state->io) {
        av_free(buffer);
        return E_OUTOFMEMORY;
    }
    state->format->pb = state->io.get();
    state->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_init_output(state->format.get(), nullptr) < 0)
        return NS_E_INVALID_OUTPUT_FORMAT;
    // The muxer would name itself in the header; the header's attributes are the caller's.
    av_dict_set(&state->format->metadata, "encoder", nullptr, 0);
    if (avformat_write_header(state->format.get(), nullptr) < 0)
        return NS_E_FILE_WRITE;
    m_state = std::move(state);
    return S_OK;
}

HRESULT AsfEncoder::Write(const uint8_t* pcm, size_t bytes) {
    if (!m_state || m_state->finished)
        return NS_E_INVALID_REQUEST;
    State& state = *m_state;
    return Guard([&] {
        if (!state.partial.empty()) {
            size_t wanted = std::min(state.inputFrameBytes - state.partial.size(), bytes);
            state.partial.insert(state.partial.end(), pcm, pcm + wanted);
            pcm += wanted;
            bytes -= wanted;
            if (state.partial.size() < state.inputFrameBytes)
                return S_OK;
            HRESULT hr = state.Take(state.partial.data(), 1);
            state.partial.clear();
            if (FAILED(hr))
                return hr;
        }
        size_t frames = bytes / state.inputFrameBytes;
        // At most one second at a time keeps the resampler's buffer small.
        for (size_t done = 0; done < frames;) {
            size_t chunk = std::min<size_t>(frames - done, state.input.sampleRate);
            HRESULT hr = state.Take(pcm + done * state.inputFrameBytes, chunk);
            if (SUCCEEDED(hr))
                hr = state.Drain(false);
            if (FAILED(hr))
                return hr;
            done += chunk;
        }
        state.partial.assign(pcm + frames * state.inputFrameBytes, pcm + bytes);
        return S_OK;
    });
}

HRESULT AsfEncoder::Finish() {
    if (!m_state || m_state->finished)
        return NS_E_INVALID_REQUEST;
    State& state = *m_state;
    HRESULT hr = Guard([&] {
        HRESULT result = state.Convert(nullptr, 0);
        if (SUCCEEDED(result))
            result = state.Drain(true);
        if (SUCCEEDED(result))
            result = state.Encode(nullptr);
        if (SUCCEEDED(result) && av_write_trailer(state.format.get()) < 0)
            result = NS_E_FILE_WRITE;
        return result;
    });
    if (SUCCEEDED(hr)) {
        avio_flush(state.io.get());
        state.format.reset();
        state.io.reset();
        state.finished = FlushFileBuffers(state.file.get()) != FALSE;
        if (!state.finished)
            hr = NS_E_FILE_WRITE;
        state.file.reset();
    }
    if (FAILED(hr))
        m_state.reset();
    return hr;
}

} // namespace wmruntime
