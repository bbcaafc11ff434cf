// The conversion driver: one source into one destination on a worker thread, with optional
// time range, silence trimming, fades, normalization and tempo measurement, and the tags
// carried over at the end.
#include "ComPtr.h"
#include "Fade.h"
#include "Handles.h"
#include "PathText.h"
#include "PlayCallback.h"
#include "SettingsStore.h"
#include "SilenceDetector.h"
#include "TempFile.h"
#include "TempoDetector.h"
#include "Trelvox.h"
#include "TrelvoxMetadata.h"

#include <io.h>
#include <process.h>
#include <stdio.h>
#include <string.h>

#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace {

constexpr int kTssFrame = 77;  // ID3 "TSSE", the encoder settings
constexpr int kTbpmFrame = 30; // ID3 "TBPM", beats per minute
constexpr int kSettingsTextSize = 1024;
// The temporary file of the analysis pass is read back in blocks of this many frames, and
// buffered by as many bytes: a whole number of pages for any frame size, few calls per second
// of audio and little memory.
constexpr uint32_t kSecondPassFrames = 65536;
constexpr size_t kTempFileBuffer = 256 * 1024;

// The arguments of one AudioConvert call and its result, on the caller's stack while the
// worker runs.
struct ConvertJob {
    IConvertSource* source;
    IConvertDestination* destination;
    IConvertCallback* callback;
    const ConvertOptions* options;
    double* normalize;
    int32_t startMs;
    int32_t endMs;
    HRESULT result;
};

// The process priority class belongs to the whole process, while several conversions may run
// at once: the first boost remembers the class it found, and the last one to end restores it.
class PriorityBoost {
public:
    PriorityBoost() = default;
    ~PriorityBoost() { Restore(); }
    PriorityBoost(const PriorityBoost&) = delete;
    PriorityBoost& operator=(const PriorityBoost&) = delete;

    // High priority class for the process, above-normal priority for the calling thread.
    void Raise() {
        if (m_raised)
            return;
        {
            std::lock_guard<std::mutex> lock(ProcessLock());
            if (s_boosts++ == 0) {
                s_savedClass = GetPriorityClass(GetCurrentProcess());
                SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
            }
        }
        m_thread = GetCurrentThread();
        m_savedThreadPriority = GetThreadPriority(m_thread);
        SetThreadPriority(m_thread, THREAD_PRIORITY_ABOVE_NORMAL);
        m_raised = true;
    }

    // Must run on the thread that raised.
    void Restore() {
        if (!m_raised)
            return;
        m_raised = false;
        SetThreadPriority(m_thread, m_savedThreadPriority == THREAD_PRIORITY_ERROR_RETURN
                                        ? THREAD_PRIORITY_NORMAL
                                        : m_savedThreadPriority);
        std::lock_guard<std::mutex> lock(ProcessLock());
        if (--s_boosts == 0)
            SetPriorityClass(GetCurrentProcess(), s_savedClass ? s_savedClass : NORMAL_PRIORITY_CLASS);
    }

private:
    static std::mutex& ProcessLock() {
        static std::mutex lock;
        return lock;
    }
    static inline int s_boosts = 0;       // conversions holding the boost; under ProcessLock
    static inline DWORD s_savedClass = 0; // the class before the first boost; under ProcessLock

    bool m_raised = false;
    HANDLE m_thread = nullptr; // the pseudo handle of the raising thread
    int m_savedThreadPriority = THREAD_PRIORITY_NORMAL;
};

// Ends a normalizer with its Destroy.
struct NormalizerDestroyer {
    void operator()(INormalizer* normalizer) const { normalizer->Destroy(); }
};
using UniqueNormalizer = std::unique_ptr<INormalizer, NormalizerDestroyer>;

// True when both paths name one existing file: the directory entries agree in attributes,
// times and size, and the names found on disk are equal.
bool IsSameFile(const char* first, const char* second) {
    WIN32_FIND_DATAA a = {};
    WIN32_FIND_DATAA b = {};
    HANDLE find = FindFirstFileA(first, &a);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    find = FindFirstFileA(second, &b);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return a.dwFileAttributes == b.dwFileAttributes &&
           CompareFileTime(&a.ftCreationTime, &b.ftCreationTime) == 0 &&
           CompareFileTime(&a.ftLastAccessTime, &b.ftLastAccessTime) == 0 &&
           CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0 &&
           a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
           strcmp(a.cFileName, b.cFileName) == 0;
}

// Creates a text frame of kind frameId holding text and hands it to tag.
void AttachTextFrame(IMetadataTag* tag, int frameId, const std::wstring& text) {
    trelvox::ComPtr<IMetadataFrameText> frame;
    if (FAILED(MetadataCreateFrame(frameId, IID_IMetadataFrameText, frame.putVoid())) || !frame)
        return;
    frame->SetText(text.c_str());
    frame->AttachTo(tag);
}

class Conversion {
public:
    explicit Conversion(const ConvertJob& job)
        : m_source(job.source), m_destination(job.destination), m_callback(job.callback),
          m_normalize(job.normalize), m_startMs(job.startMs), m_endMs(job.endMs), m_pump(job.callback) {
        if (job.options)
            m_options = *job.options;
    }

    HRESULT Run();

private:
    // Steps up to the end of both passes; false when the conversion failed. Whatever it
    // opened is closed by Finish.
    bool Convert();
    bool PrepareAnalysis();
    bool SecondPass();
    // Closes what was opened, measures the tempo and detaches the callback; false when the
    // user cancelled.
    bool Finish();
    void WriteTags();

    bool NormalizeWithMeasuredGain() const { return m_normalize == TX_NORMALIZE_MEASURED; }
    bool NormalizeWithCallersDouble() const { return m_normalize && !NormalizeWithMeasuredGain(); }
    bool TwoPasses() const {
        return m_normalize || m_options.fadeInMs > 0 || m_options.fadeOutMs > 0 ||
               m_options.trimLeadingSilence || m_options.trimTrailingSilence;
    }

    IConvertSource* m_source;
    IConvertDestination* m_destination;
    IConvertCallback* m_callback;
    double* m_normalize;
    int32_t m_startMs;
    int32_t m_endMs;
    ConvertOptions m_options = {};

    int m_silenceThreshold = 5;
    bool m_tempoOn = false;
    TempoDetector m_tempoDetector;
    bool m_tempoSized = false;
    double m_tempo = 0.0;
    CPlayCallback m_pump;

    WAVEFORMATEX m_format = {};
    uint32_t m_length = 0;
    bool m_sourceOpened = false;
    bool m_destinationOpened = false;
    PriorityBoost m_boost;

    double m_presetGain = 0.0;
    trelvox::UniqueBytes m_block;
    uint32_t m_blockBytes = 0;
    TempFile m_tempFile;
    UniqueNormalizer m_normalizer;
    std::unique_ptr<SilenceDetector> m_silence;
};

HRESULT Conversion::Run() {
    m_silenceThreshold = SilenceDetector::ThresholdSetting();
    m_tempoOn = trelvox::ReadSettingInt("Settings", "BPMAnalysis", 0) != 0;
    if (m_tempoOn)
        m_pump.SetTempoDetector(&m_tempoDetector);

    m_source->SetErrorLog(m_callback);
    m_destination->SetErrorLog(m_callback);
    m_callback->SetStatusText("Converting:");
    char title[MAX_PATH] = {};
    if (m_source->GetFileTitle(title, MAX_PATH))
        m_callback->SetItemText(title, 1);

    bool succeeded = false;
    try {
        succeeded = Convert();
    } catch (const std::bad_alloc&) {
        m_callback->ReportError("Out of memory\n", "e");
    } catch (...) {
    }
    if (!Finish())
        succeeded = false;
    if (succeeded) {
        try {
            WriteTags();
        } catch (...) {
        }
    }
    m_tempFile.Reset();
    return succeeded ? S_OK : E_FAIL;
}

bool Conversion::Convert() {
    char sourcePath[MAX_PATH] = {};
    char destinationPath[MAX_PATH] = {};
    if (m_source->GetFileName(sourcePath, MAX_PATH) &&
        m_destination->GetFileName(destinationPath, MAX_PATH) && IsSameFile(sourcePath, destinationPath)) {
        m_callback->ReportError("Source file is equal to destination file\n", "e");
        return false;
    }

    m_source->SetStartTime(m_startMs);
    if (!m_source->Open())
        return false;
    m_sourceOpened = true;

    m_source->GetFormat(&m_format);
    m_destination->SetSource(m_source);
    m_destination->SetFormat(&m_format);

    m_source->GetLength(&m_length, m_startMs, m_endMs);
    if (m_startMs != -1 || m_endMs != -1) {
        // The source starts at startMs by itself; the pump stops it after length bytes.
        if (m_format.nBlockAlign > 1)
            m_length -= m_length % m_format.nBlockAlign;
        m_pump.SetLimit(m_length);
    }

    if (!m_destination->Open())
        return false;
    m_destinationOpened = true;

    GUID clsid = GUID_NULL;
    m_source->GetClassID(&clsid);
    m_callback->SetProgressPos(0);
    m_callback->SetProgressRange(m_length);

    // 0 = never; 1 = while reading a CD track, where the drive must not starve; else always.
    int highPriority = trelvox::ReadSettingInt("Settings", "HighPriority", 1);
    if (highPriority != 0 && (highPriority != 1 || IsEqualGUID(clsid, CLSID_AudioCDTrack)))
        m_boost.Raise();

    if (m_tempoOn)
        m_tempoSized = m_tempoDetector.Start(m_length);

    const bool twoPasses = TwoPasses();
    if (twoPasses) {
        if (!PrepareAnalysis())
            return false;
    } else {
        m_pump.SetDestination(m_destination);
    }

    if (!m_source->Play(&m_pump) && !m_pump.LimitReached())
        return false;
    if (!twoPasses) {
        m_callback->SetProgressPos(m_length);
        return true;
    }
    return SecondPass();
}

bool Conversion::PrepareAnalysis() {
    if (NormalizeWithCallersDouble())
        m_presetGain = *m_normalize;

    m_blockBytes = kSecondPassFrames * (m_format.nBlockAlign ? m_format.nBlockAlign : 1);
    m_block = trelvox::AllocateBytes(m_blockBytes);
    if (!m_block) {
        m_callback->ReportError("Out of memory\n", "e");
        return false;
    }

    m_callback->SetStatusText("Analyzing:");
    if (!m_tempFile.Create("ana")) {
        m_callback->ReportError("Temporary file cannot be created\n", "e");
        return false;
    }
    // Sources that deliver small blocks (a decoder's frames) would otherwise cost a write call
    // per page.
    setvbuf(m_tempFile.get(), nullptr, _IOFBF, kTempFileBuffer);
    m_pump.SetTempFile(&m_tempFile);

    if (m_normalize) {
        INormalizer* normalizer = nullptr;
        if (FAILED(CreateNormalizer(&normalizer)) || !normalizer) {
            m_callback->ReportError("Normalizer cannot be started\n", "e");
            return false;
        }
        m_normalizer.reset(normalizer);
        m_normalizer->Init(&m_format);
        m_pump.SetNormalizer(m_normalizer.get());
    }

    if (m_options.trimLeadingSilence || m_options.trimTrailingSilence) {
        m_silence.reset(new (std::nothrow) SilenceDetector(m_format, m_silenceThreshold));
        if (!m_silence) {
            m_callback->ReportError("Out of memory\n", "e");
            return false;
        }
        m_pump.SetSilenceDetector(m_silence.get());
    }
    return true;
}

bool Conversion::SecondPass() {
    FILE* file = m_tempFile.get();
    uint32_t leading = 0;
    uint32_t trailing = 0;
    if (m_silence) {
        leading = m_options.trimLeadingSilence ? m_silence->LeadingBytes() : 0;
        trailing = m_options.trimTrailingSilence ? m_silence->TrailingBytes() : 0;
    }

    if (fflush(file) != 0) {
        m_callback->ReportMessage("Temporary file cannot be written\n");
        return false;
    }
    if (trailing) {
        long long size = _filelengthi64(_fileno(file));
        long long cut = size > (long long)trailing ? size - trailing : 0;
        if (size < 0 || _chsize_s(_fileno(file), cut) != 0) {
            m_callback->ReportMessage("Temporary file cannot be written\n");
            return false;
        }
    }
    _fseeki64(file, m_options.trimLeadingSilence ? (long long)leading : 0, SEEK_SET);

    if (m_options.fadeInMs > 0)
        Fade(m_format, uint32_t(m_options.fadeInMs)).ApplyIn(file);
    if (m_options.fadeOutMs > 0)
        Fade(m_format, uint32_t(m_options.fadeOutMs)).ApplyOut(file);

    if (m_normalizer && NormalizeWithCallersDouble()) {
        m_normalizer->GetGain(m_normalize);
        if (m_presetGain != 0.0)
            m_normalizer->SetGain(m_presetGain);
    }

    uint32_t remaining = m_length;
    remaining -= leading < remaining ? leading : remaining;
    remaining -= trailing < remaining ? trailing : remaining;
    m_callback->SetStatusText("Converting:");
    m_callback->SetProgressPos(0);
    m_callback->SetProgressRange(remaining);

    if (!m_callback->IsCancelled()) {
        for (;;) {
            size_t got = fread(m_block.get(), 1, m_blockBytes, file);
            if (got < m_blockBytes && ferror(file)) {
                m_callback->ReportError("Temporary file cannot be read\n", "e");
                m_callback->SetProgressPos(m_length);
                return false;
            }
            if (got == 0)
                break;
            const uint32_t bytes = static_cast<uint32_t>(got);
            if (m_normalizer)
                m_normalizer->Process(bytes, m_block.get(), m_block.get());
            if (!m_destination->Write(bytes, m_block.get()))
                return false;
            m_callback->StepProgress(bytes);
            if (m_callback->IsCancelled())
                break;
        }
    }
    m_callback->SetProgressPos(m_length);
    return true;
}

bool Conversion::Finish() {
    m_boost.Restore();
    m_block.reset();
    m_normalizer.reset();
    const bool cancelled = m_callback->IsCancelled() != 0;
    // Close writes the file's trailer. Its result does not change the outcome: a destination
    // that cannot complete its file has said so through the error log already.
    if (m_sourceOpened)
        m_source->Close();
    if (m_destinationOpened)
        m_destination->Close();

    if (m_tempoSized && !cancelled) {
        m_callback->SetItemText("BPM Analysis...", 0);
        m_tempo = m_tempoDetector.Estimate();
    }

    m_source->SetErrorLog(nullptr);
    m_destination->SetErrorLog(nullptr);
    m_destination->SetSource(nullptr);
    return !cancelled;
}

void Conversion::WriteTags() {
    trelvox::ComPtr<IMetadataTag> tag;
    {
        trelvox::ComPtr<IMetadata> md;
        if (m_source->GetMetadata(md.put()) && md)
            md->GetTag(tag.put());
    }
    if (!tag && (FAILED(MetadataCreateTag(tag.put())) || !tag))
        return;

    trelvox::ComPtr<IMetadata> outMd;
    if (!m_destination->GetMetadata(outMd.put()) || !outMd)
        return;

    tag->RemoveFrames(kTssFrame);
    char settings[kSettingsTextSize] = {};
    if (m_destination->GetSettingsText(settings, kSettingsTextSize))
        AttachTextFrame(tag.get(), kTssFrame, L"Harvane, " + trelvox::Widen(settings, CP_ACP));

    if (m_tempo != 0.0) {
        tag->RemoveFrames(kTbpmFrame);
        char text[32];
        snprintf(text, sizeof text, "%04.0f0", m_tempo * 10);
        AttachTextFrame(tag.get(), kTbpmFrame, trelvox::Widen(text, CP_ACP));
    }

    // The audio is complete whether or not the tag gets in; the conversion's result stands.
    outMd->SetTag(tag.get());
}

unsigned __stdcall ConvertThread(void* argument) {
    ConvertJob* job = static_cast<ConvertJob*>(argument);
    HRESULT com = CoInitialize(nullptr);
    try {
        Conversion conversion(*job);
        job->result = conversion.Run();
    } catch (...) {
        job->result = E_FAIL;
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

} // namespace

HRESULT __cdecl AudioConvert(IConvertSource* source, IConvertDestination* destination,
                             IConvertCallback* callback, const ConvertOptions* options, double* normalize,
                             int32_t startMs, int32_t endMs) {
    if (!source || !destination || !callback)
        return E_INVALIDARG;
    ConvertJob job = {source, destination, callback, options, normalize, startMs, endMs, E_FAIL};
    trelvox::UniqueHandle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ConvertThread, &job, 0, nullptr)));
    if (!thread) {
        callback->ReportError("Out of memory\n", "e");
        return E_FAIL;
    }
    // Keep the caller's windows alive (a cancel button among them) until the worker ends.
    // Waiting for either a message or the end of the worker gives the same order of events
    // as polling both, without spinning a processor.
    // A quit request is not dispatched but handed back to the caller's own loop afterwards.
    HANDLE handle = thread.get();
    bool quit = false;
    WPARAM quitCode = 0;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (WaitForSingleObject(handle, 0) == WAIT_OBJECT_0)
            break;
        MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    }
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
    return job.result;
}
