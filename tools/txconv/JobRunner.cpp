#include "JobRunner.h"

#include "ConsoleCallback.h"
#include "Paths.h"

#include <objbase.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <exception>
#include <system_error>
#include <thread>

namespace txconv {

namespace {

std::string HexResult(HRESULT hr) {
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

struct NormalizerDestroyer {
    void operator()(INormalizer* normalizer) const { normalizer->Destroy(); }
};
using UniqueNormalizer = std::unique_ptr<INormalizer, NormalizerDestroyer>;

// COM for one job thread: sources that decode through the Windows Media runtime or DirectShow
// need it on the thread that opens them.
class ComApartment {
public:
    ComApartment() : m_initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (m_initialised)
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    const bool m_initialised;
};

// The sink of the album measurement: feeds every block of the converted range to a normalizer.
class LevelMeter final : public IPlayCallback {
public:
    LevelMeter(INormalizer& normalizer, IConvertCallback& callback, uint32_t limit)
        : m_normalizer(normalizer), m_callback(callback), m_limit(limit) {}

    bool TX_THISCALL OnData(const void* pcm, uint32_t bytes) override {
        if (m_callback.IsCancelled())
            return false;
        if (m_delivered >= m_limit) {
            m_limitReached = true;
            return false;
        }
        bytes = std::min(bytes, m_limit - m_delivered);
        if (bytes == 0)
            return true;
        if (FAILED(m_normalizer.Analyze(bytes, pcm)))
            return false;
        m_callback.StepProgress(bytes);
        m_delivered += bytes;
        return true;
    }

    bool LimitReached() const { return m_limitReached; }
    uint32_t Delivered() const { return m_delivered; }

private:
    INormalizer& m_normalizer;
    IConvertCallback& m_callback;
    const uint32_t m_limit;
    uint32_t m_delivered = 0;
    bool m_limitReached = false;
};

unsigned ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
}

} // namespace

FormatRecord WriterRecord(const FormatRecord& rec) {
    FormatRecord writer = rec;
    if (!writer.destClsid && strcmp(writer.name, "MP4") == 0)
        writer.destClsid = &CLSID_DirectShowConvDest;
    return writer;
}

JobRunner::JobRunner(const Options& options, Console& console)
    : m_options(options), m_console(console), m_overwrite(options.overwrite) {}

bool JobRunner::Prepare() {
    if (ConvGetFormatByName(&m_format, m_options.format.c_str()) != S_OK) {
        m_console.Report("error", "", "unknown output format '" + m_options.format + "' (see --formats)");
        return false;
    }
    m_formatIndex = static_cast<int32_t>(ConvGetFormatPos(&m_format));
    m_format = WriterRecord(m_format);
    if (!m_format.destClsid) {
        m_console.Report("error", "", std::string("the ") + m_format.name + " format can only be read");
        return false;
    }
    ComRef<IConvertDestination> probe;
    HRESULT hr = ConvCreateDest(&m_format, probe.put());
    if (hr != S_OK) {
        m_console.Report("error", "",
                         std::string("no ") + m_format.name + " encoder in this build (" + HexResult(hr) +
                             ")");
        return false;
    }
    // Try the encoder options once here, so that a mistake is reported once and not per file.
    for (const DestinationOption& option : m_options.destinationOptions) {
        char message[1024] = {};
        if (!probe->SetOption(option.name.c_str(), option.hasValue ? option.value.c_str() : nullptr,
                              message)) {
            std::string reason = message[0] ? message : "not an option of this encoder";
            m_console.Report("error", "", "--" + option.name + ": " + reason);
            return false;
        }
    }
    return true;
}

std::string JobRunner::OutputExtension() const {
    return m_format.extensions;
}

void JobRunner::Fail(Job& job, const std::string& text) {
    m_console.Report("error", job.input, text);
    job.state = State::Failed;
}

bool JobRunner::PlanInput(Job& job) {
    job.inputPath = FullPath(job.input);
    if (!FileExists(job.inputPath)) {
        Fail(job, "no such file");
        return false;
    }
    if (IsDirectory(job.inputPath)) {
        Fail(job, "is a directory");
        return false;
    }
    if (ConvGetFormatOf(&job.inputFormat, job.inputPath.c_str()) != S_OK) {
        Fail(job, "unknown file type (see --formats)");
        return false;
    }
    HRESULT hr =
        job.inputFormat.sourceClsid ? ConvCreateSource(&job.inputFormat, job.source.put()) : E_NOTIMPL;
    if (hr != S_OK) {
        Fail(job, std::string("no ") + job.inputFormat.name + " decoder in this build");
        return false;
    }
    if (!job.source->SetFileName(job.inputPath.c_str())) {
        Fail(job, "Filename too long (259 character limit)");
        return false;
    }
    return true;
}

bool JobRunner::NameOutput(Job& job) {
    std::string scheme = m_options.scheme;
    if (scheme.empty())
        scheme = m_options.outputDir.empty() ? "<sourcedir>\\<sourcename>" : "<sourcename>";
    char name[MAX_PATH] = {};
    if (!SuggestOutputFile(scheme.c_str(), m_formatIndex, job.source.get(), name, MAX_PATH)) {
        Fail(job, name);
        return false;
    }
    std::string output = name;
    // With -o the result goes into that directory: a relative result below it, a rooted one
    // (from <sourcedir>) by its file name only.
    if (!m_options.outputDir.empty())
        output = JoinPath(m_options.outputDir, IsRooted(output) ? FileNamePart(output) : output);
    job.output = FullPath(output);
    return true;
}

bool JobRunner::CheckOutput(Job& job) {
    // Two inputs must not write one file, and no input may be replaced by its own output.
    if (!job.inputPath.empty() && SamePath(job.output, job.inputPath)) {
        Fail(job, "the output " + job.output +
                      " would replace the input; choose another format, -o DIR or --scheme");
        return false;
    }
    for (size_t i = 0; i + 1 < m_jobs.size(); ++i) {
        if (m_jobs[i].state == State::Pending && SamePath(m_jobs[i].output, job.output)) {
            Fail(job, "the output " + job.output + " is already the output of " + m_jobs[i].input);
            return false;
        }
    }
    return true;
}

void JobRunner::AddFile(const std::string& input) {
    m_jobs.emplace_back();
    Job& job = m_jobs.back();
    job.input = input;
    if (PlanInput(job) && NameOutput(job))
        CheckOutput(job);
}

void JobRunner::AddSource(const std::string& shownAs, SourceMaker make) {
    m_jobs.emplace_back();
    Job& job = m_jobs.back();
    job.input = shownAs;
    job.make = std::move(make);
    if (!job.make(job.source)) {
        Fail(job, "cannot be read");
        return;
    }
    if (NameOutput(job))
        CheckOutput(job);
}

void JobRunner::AddFile(const std::string& input, const std::string& output, const std::string& shownAs) {
    m_jobs.emplace_back();
    Job& job = m_jobs.back();
    job.input = input;
    if (PlanInput(job))
        job.output = FullPath(output);
    if (!shownAs.empty())
        job.input = shownAs;
}

template <class Work> void JobRunner::RunPool(Work work) {
    size_t pending = 0;
    for (const Job& job : m_jobs)
        pending += job.state == State::Pending;
    if (pending == 0)
        return;
    size_t threads = std::min<size_t>(pending, m_options.jobs ? m_options.jobs : ProcessorCount());
    std::atomic<size_t> next{0};
    auto worker = [&] {
        ComApartment apartment;
        for (size_t i = next++; i < m_jobs.size(); i = next++) {
            Job& job = m_jobs[i];
            if (job.state != State::Pending)
                continue;
            if (m_console.Cancelled()) {
                job.state = State::Cancelled;
                continue;
            }
            try {
                work(job);
            } catch (const std::exception& e) {
                // Only allocation can throw here; the other files still get their turn.
                job.state = State::Failed;
                m_console.Report("error", job.input, e.what());
            }
        }
    };
    std::vector<std::thread> pool;
    try {
        for (size_t i = 1; i < threads; ++i)
            pool.emplace_back(worker);
    } catch (const std::system_error&) {
        // Fewer threads than asked for still convert everything.
    }
    worker();
    for (std::thread& thread : pool)
        thread.join();
}

void JobRunner::Measure(Job& job) {
    ConsoleCallback callback(m_console, job.input, m_overwrite);
    callback.SetStatusText("Measuring:");
    // A source object of its own: the job's source is opened later by the conversion.
    ComRef<IConvertSource> source;
    if (job.make ? !job.make(source)
                 : ConvCreateSource(&job.inputFormat, source.put()) != S_OK ||
                       !source->SetFileName(job.inputPath.c_str())) {
        Fail(job, "cannot be read");
        return;
    }
    source->SetErrorLog(&callback);
    source->SetStartTime(m_options.startMs);
    INormalizer* created = nullptr;
    if (!source->Open()) {
        source->SetErrorLog(nullptr);
        job.state = State::Failed;
        return;
    }
    WAVEFORMATEX format{};
    uint32_t length = 0;
    source->GetFormat(&format);
    source->GetLength(&length, m_options.startMs, m_options.endMs);
    uint32_t limit = UINT32_MAX;
    if ((m_options.startMs != -1 || m_options.endMs != -1) && format.nBlockAlign)
        limit = length - length % format.nBlockAlign;
    bool played = false, limitReached = false, started = false;
    if (CreateNormalizer(&created) == S_OK) {
        UniqueNormalizer normalizer(created);
        if (normalizer->Init(&format) == S_OK) {
            started = true;
            LevelMeter meter(*normalizer, callback, limit);
            callback.SetProgressPos(0);
            callback.SetProgressRange(length);
            played = source->Play(&meter);
            limitReached = meter.LimitReached();
            normalizer->GetGain(&job.gain);
            if (meter.Delivered() == 0 || !isfinite(job.gain))
                job.gain = 0.0; // silence: any gain suits it
        }
    }
    source->Close();
    source->SetErrorLog(nullptr);
    if (!started) {
        Fail(job, "the level of " + std::to_string(format.wBitsPerSample) + "-bit audio with " +
                      std::to_string(format.nChannels) + " channels cannot be measured");
    } else if (m_console.Cancelled()) {
        job.state = State::Cancelled;
    } else if (!played && !limitReached) {
        if (!callback.ErrorCount())
            Fail(job, "cannot be read to its end");
        job.state = State::Failed;
    }
}

double JobRunner::AlbumGain() {
    const Job* loudest = nullptr;
    for (const Job& job : m_jobs)
        if (job.state == State::Pending && job.gain > 0.0 && (!loudest || job.gain < loudest->gain))
            loudest = &job;
    if (!loudest) {
        m_console.Report("info", "", "album gain 1 (every file is silent)");
        return 1.0;
    }
    char text[64];
    snprintf(text, sizeof text, "%.4f", loudest->gain);
    m_console.Report("info", "",
                     std::string("album gain ") + text + ", set by the loudest file " + loudest->input);
    return loudest->gain;
}

void JobRunner::Convert(Job& job) {
    ConsoleCallback callback(m_console, job.input, m_overwrite);
    ComRef<IConvertDestination> destination;
    HRESULT hr = ConvCreateDest(&m_format, destination.put());
    if (hr != S_OK) {
        Fail(job, std::string("no ") + m_format.name + " encoder (" + HexResult(hr) + ")");
        return;
    }
    if (!destination->SetFileName(job.output.c_str())) {
        Fail(job, "Filename too long (259 character limit)");
        return;
    }
    for (const DestinationOption& option : m_options.destinationOptions) {
        char message[1024] = {};
        if (!destination->SetOption(option.name.c_str(), option.hasValue ? option.value.c_str() : nullptr,
                                    message)) {
            Fail(job, "--" + option.name + ": " + (message[0] ? message : "not an option of this encoder"));
            return;
        }
    }
    ConvertOptions effects{};
    effects.trimLeadingSilence = m_options.trimStart;
    effects.trimTrailingSilence = m_options.trimEnd;
    effects.fadeInMs = m_options.fadeInMs;
    effects.fadeOutMs = m_options.fadeOutMs;
    // The library reads a preset gain from the double and writes the measured one back into it.
    double gain = 0.0;
    double* normalize = TX_NORMALIZE_OFF;
    switch (m_options.normalize) {
    case NormalizeMode::Off:
        break;
    case NormalizeMode::Track:
        normalize = TX_NORMALIZE_MEASURED;
        break;
    case NormalizeMode::Gain:
        gain = m_options.gain;
        normalize = &gain;
        break;
    case NormalizeMode::Album:
        gain = m_albumGain;
        normalize = &gain;
        break;
    }

    bool existed = FileExists(job.output);
    hr = AudioConvert(job.source.get(), destination.get(), &callback, &effects, normalize, m_options.startMs,
                      m_options.endMs);
    destination.reset();
    job.source.reset();
    callback.Detach();
    if (hr == S_OK) {
        job.state = State::Done;
        m_console.Result(job.input + " -> " + job.output);
        return;
    }
    bool cancelled = m_console.Cancelled();
    job.state = cancelled ? State::Cancelled : State::Failed;
    if (!cancelled && !callback.ErrorCount())
        m_console.Report("error", job.input, "conversion failed (" + HexResult(hr) + ")");
    // A file that was there before and was not allowed to be replaced is still the old one.
    bool untouched = existed && !callback.OverwriteConfirmed();
    int64_t size = FileSize(job.output);
    if (size >= 0 && !untouched && m_removePartial) {
        bool removed = DeleteFileA(job.output.c_str()) != 0;
        m_console.Report(cancelled ? "cancelled" : "info", job.input,
                         (removed ? "partial output removed: " : "partial output could not be removed: ") +
                             job.output);
    } else if (size >= 0 && !untouched)
        m_console.Report(cancelled ? "cancelled" : "info", job.input,
                         "partial output left in " + job.output + " (" + std::to_string(size) + " bytes)");
    else if (cancelled)
        m_console.Report("cancelled", job.input, "no output written");
}

int JobRunner::Run() {
    size_t total = m_jobs.size();
    if (m_options.normalize == NormalizeMode::Album) {
        RunPool([&](Job& job) { Measure(job); });
        if (!m_console.Cancelled() && std::any_of(m_jobs.begin(), m_jobs.end(),
                                                  [](const Job& job) { return job.state == State::Pending; }))
            m_albumGain = AlbumGain();
    }
    std::atomic<size_t> finished{0};
    for (const Job& job : m_jobs)
        finished += job.state != State::Pending;
    m_console.SetCounts(finished, total);
    RunPool([&](Job& job) {
        Convert(job);
        m_console.SetCounts(++finished, total);
    });

    size_t done = 0, failed = 0, cancelled = 0;
    for (Job& job : m_jobs) {
        if (job.state == State::Pending)
            job.state = State::Cancelled; // never started: Ctrl-C came first
        done += job.state == State::Done;
        failed += job.state == State::Failed;
        cancelled += job.state == State::Cancelled;
    }
    if (total > 1 || cancelled) {
        std::string summary = std::to_string(done) + " of " + std::to_string(total) + " files converted";
        if (failed)
            summary += ", " + std::to_string(failed) + " failed";
        if (cancelled)
            summary += ", " + std::to_string(cancelled) + " cancelled";
        m_console.Report(failed || cancelled ? "error" : "info", "", summary);
    }
    if (cancelled)
        return 130;
    return failed || done == 0 ? 1 : 0;
}

std::vector<std::string> JobRunner::ConvertedOutputs() const {
    std::vector<std::string> outputs;
    for (const Job& job : m_jobs) {
        if (job.state == State::Done)
            outputs.push_back(job.output);
    }
    return outputs;
}

} // namespace txconv
