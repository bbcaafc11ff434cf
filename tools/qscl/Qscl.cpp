// A PureVoice library for systems that lack the vendor's: QCP files decoded by FFmpeg's QCP
// demuxer and QCELP decoder into 16-bit PCM, behind the file object the QCP source expects.
#include "QsclInterface.h"
#include "TextRules.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/common.h>
}

#include <string.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kSamplesPerFrame = 160;
constexpr uint32_t kSampleRate = 8000;

// Failure codes LastError gives (beside FFmpeg's negative AVERROR values).
constexpr LONG kErrNotOpen = static_cast<LONG>(0x80040001);
constexpr LONG kErrFormat = static_cast<LONG>(0x80040002); // the file's codec is not one the caller takes
constexpr LONG kErrPcm =
    static_cast<LONG>(0x80040003); // the caller wants a PCM form other than 8 kHz 16-bit mono
constexpr LONG kErrFile = static_cast<LONG>(0x80040004); // the file cannot be opened or is no QCP file

// "RIFF" size "QLCM" "fmt " size major minor, then the codec identifier.
constexpr size_t kCodecOffset = 22;

bool ReadCodecId(const char* path, GUID* codec) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    unsigned char head[kCodecOffset + sizeof(GUID)];
    DWORD got = 0;
    const bool ok = ReadFile(file, head, sizeof(head), &got, nullptr) && got == sizeof(head) &&
                    memcmp(head, "RIFF", 4) == 0 && memcmp(head + 8, "QLCMfmt ", 8) == 0;
    CloseHandle(file);
    if (ok)
        memcpy(codec, head + kCodecOffset, sizeof(GUID));
    return ok;
}

class QsclFile final : public IQsclFile, public IQsclError {
public:
    ~QsclFile() { CloseDecoder(); }

    HRESULT __stdcall QueryInterface(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, ID_QsclFile))
            *out = static_cast<IQsclFile*>(this);
        else if (IsEqualGUID(riid, IID_IQsclError))
            *out = static_cast<IQsclError*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG __stdcall AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG __stdcall Release() override {
        const LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

    HRESULT __stdcall Open(const char* path, DWORD, QsclFormat* pcm, QsclFormat* file) override {
        CloseDecoder();
        if (!path || !pcm || !file)
            return Fail(E_POINTER);
        if (pcm->sampleRate != kSampleRate || pcm->bitsPerSample != 16 ||
            (pcm->channels != 0 && pcm->channels != 1))
            return Fail(kErrPcm);
        if (!ReadCodecId(path, &m_codec))
            return Fail(kErrFile);
        bool taken = false;
        for (const GUID& id : file->formats)
            taken = taken || IsEqualGUID(id, m_codec);
        if (!taken)
            return Fail(kErrFormat);
        // FFmpeg's file protocol takes UTF-8; the caller's path is in the ANSI code page.
        m_path = trelvox::Narrow(trelvox::Widen(path, trelvox::kAnsiCodePage), trelvox::kUtf8CodePage);
        // The number of frames is the number of packets: count them once, then start over.
        HRESULT hr = OpenDecoder();
        if (FAILED(hr))
            return hr;
        m_frames = 0;
        while (av_read_frame(m_format, m_packet) >= 0) {
            if (m_packet->stream_index == m_stream)
                ++m_frames;
            av_packet_unref(m_packet);
        }
        hr = OpenDecoder();
        if (FAILED(hr))
            return hr;
        file->sampleRate = kSampleRate;
        file->bitsPerSample = 16;
        file->channels = 1;
        m_lastError = 0;
        return S_OK;
    }

    LONG __stdcall Read(LONG blocks, void* buffer, DWORD) override {
        if (!m_decoder) {
            m_lastError = kErrNotOpen;
            return -1;
        }
        if (blocks <= 0 || !buffer)
            return 0;
        auto* out = static_cast<int16_t*>(buffer);
        const size_t wanted = static_cast<size_t>(blocks) * kSamplesPerFrame;
        size_t done = 0;
        while (done < wanted) {
            if (m_pendingAt < m_pending.size()) {
                const size_t n = std::min(wanted - done, m_pending.size() - m_pendingAt);
                memcpy(out + done, m_pending.data() + m_pendingAt, n * sizeof(int16_t));
                done += n;
                m_pendingAt += n;
                continue;
            }
            const int got = DecodeMore();
            if (got < 0) {
                m_lastError = got;
                return got;
            }
            if (got == 0)
                break;
        }
        return static_cast<LONG>(done);
    }

    HRESULT __stdcall Seek(LONG block) override {
        if (m_path.empty())
            return Fail(kErrNotOpen);
        // QCP has no index: start over and decode up to the block.
        HRESULT hr = OpenDecoder();
        if (FAILED(hr))
            return hr;
        size_t skip = static_cast<size_t>(block < 0 ? 0 : block) * kSamplesPerFrame;
        while (skip > 0) {
            if (m_pendingAt < m_pending.size()) {
                const size_t n = std::min(skip, m_pending.size() - m_pendingAt);
                m_pendingAt += n;
                skip -= n;
                continue;
            }
            const int got = DecodeMore();
            if (got < 0)
                return Fail(got);
            if (got == 0)
                break;
        }
        return S_OK;
    }

    LONG __stdcall FrameCount() override { return m_decoder ? static_cast<LONG>(m_frames) : -1; }

    HRESULT __stdcall GetInfo(QsclInfo* info) override {
        if (!info)
            return E_POINTER;
        if (!m_decoder)
            return Fail(kErrNotOpen);
        memset(info, 0, sizeof(*info));
        info->size = sizeof(*info);
        info->samplesPerFrame = kSamplesPerFrame;
        info->sampleRate = kSampleRate;
        info->blockSize = kSamplesPerFrame;
        info->frameCount = m_frames;
        info->bitsPerSample = 16;
        info->codec = m_codec;
        return S_OK;
    }

    LONG __stdcall LastError() override { return m_lastError; }

private:
    HRESULT Fail(LONG code) {
        m_lastError = code;
        return E_FAIL;
    }

    void CloseDecoder() {
        avcodec_free_context(&m_decoder);
        avformat_close_input(&m_format);
        av_packet_free(&m_packet);
        av_frame_free(&m_frame);
        m_pending.clear();
        m_pendingAt = 0;
        m_flushed = false;
    }

    HRESULT OpenDecoder() {
        CloseDecoder();
        int err = avformat_open_input(&m_format, m_path.c_str(), av_find_input_format("qcp"), nullptr);
        if (err < 0)
            return Fail(kErrFile);
        m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        const AVCodec* codec =
            m_stream < 0 ? nullptr : avcodec_find_decoder(m_format->streams[m_stream]->codecpar->codec_id);
        if (!codec)
            return Fail(kErrFormat);
        m_decoder = avcodec_alloc_context3(codec);
        m_packet = av_packet_alloc();
        m_frame = av_frame_alloc();
        if (!m_decoder || !m_packet || !m_frame)
            return Fail(AVERROR(ENOMEM));
        if ((err = avcodec_parameters_to_context(m_decoder, m_format->streams[m_stream]->codecpar)) < 0 ||
            (err = avcodec_open2(m_decoder, codec, nullptr)) < 0)
            return Fail(err);
        return S_OK;
    }

    // Decodes the next packet(s) into m_pending: samples added, 0 at the end, AVERROR on failure.
    int DecodeMore() {
        m_pending.clear();
        m_pendingAt = 0;
        for (;;) {
            int err = avcodec_receive_frame(m_decoder, m_frame);
            if (err == 0) {
                AppendFrame();
                av_frame_unref(m_frame);
                if (!m_pending.empty())
                    return static_cast<int>(m_pending.size());
                continue;
            }
            if (err == AVERROR_EOF)
                return 0;
            if (err != AVERROR(EAGAIN))
                return err;
            if (m_flushed)
                return 0;
            err = av_read_frame(m_format, m_packet);
            if (err < 0) {
                m_flushed = true;
                avcodec_send_packet(m_decoder, nullptr);
                continue;
            }
            if (m_packet->stream_index == m_stream) {
                err = avcodec_send_packet(m_decoder, m_packet);
                // A damaged packet is the decoder's to conceal; only lasting failures end.
                if (err < 0 && err != AVERROR_INVALIDDATA) {
                    av_packet_unref(m_packet);
                    return err;
                }
            }
            av_packet_unref(m_packet);
        }
    }

    // The decoder's samples as 16-bit PCM, rounded and clipped as FFmpeg's own conversion does.
    void AppendFrame() {
        const int n = m_frame->nb_samples;
        switch (m_frame->format) {
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_FLTP: {
            const auto* in = reinterpret_cast<const float*>(m_frame->data[0]);
            for (int i = 0; i < n; ++i)
                m_pending.push_back(static_cast<int16_t>(av_clip_int16(lrintf(in[i] * 32768.0f))));
            break;
        }
        case AV_SAMPLE_FMT_S16:
        case AV_SAMPLE_FMT_S16P: {
            const auto* in = reinterpret_cast<const int16_t*>(m_frame->data[0]);
            m_pending.insert(m_pending.end(), in, in + n);
            break;
        }
        default:
            break;
        }
    }

    LONG m_refs = 1;
    LONG m_lastError = 0;
    std::string m_path;
    GUID m_codec = {};
    uint32_t m_frames = 0;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_decoder = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    int m_stream = -1;
    bool m_flushed = false;
    std::vector<int16_t> m_pending;
    size_t m_pendingAt = 0;
};

} // namespace

extern "C" HRESULT __stdcall QsclCreateInstance(REFGUID library, REFGUID fileClass, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualGUID(library, QSCL_LIBRARY_ID) || !IsEqualGUID(fileClass, ID_QsclFile))
        return CLASS_E_CLASSNOTAVAILABLE;
    *out = static_cast<IQsclFile*>(new (std::nothrow) QsclFile);
    return *out ? S_OK : E_OUTOFMEMORY;
}
