// Plans and runs the conversions of one txconv command: names every output, then converts
// the files on up to --jobs threads at once, each with its own objects and callback. For
// album normalization every file is measured first and all are converted with one gain.
#pragma once

#include "ComRef.h"
#include "Console.h"
#include "Options.h"

#include "Trelvox.h"

#include <stddef.h>

#include <functional>
#include <string>
#include <vector>

namespace txconv {

// The record txconv writes rec's format with: rec itself, or for MP4, which no row of the table
// writes, the same row naming the DirectShow destination.
FormatRecord WriterRecord(const FormatRecord& rec);

class JobRunner {
public:
    JobRunner(const Options& options, Console& console);

    // Looks the output format up and tries every --opt on a destination of it. False after
    // reporting why (a usage error: nothing has been converted).
    bool Prepare();
    const FormatRecord& OutputFormat() const { return m_format; }
    // The first extension of the output format, with its dot.
    std::string OutputExtension() const;

    // Plans the conversion of input; its output is named by the scheme. A file that cannot be
    // converted is reported here and counts as failed.
    void AddFile(const std::string& input);
    // Plans input -> output with the output given; shownAs (if not empty) names the input in
    // messages.
    void AddFile(const std::string& input, const std::string& output, const std::string& shownAs = "");
    // Plans the conversion of a source object made elsewhere (a CD track), named by the scheme
    // from its tags. make hands out a reference to the source: for the conversion, and again
    // for measuring (which closes it before the conversion opens it).
    using SourceMaker = std::function<bool(ComRef<IConvertSource>&)>;
    void AddSource(const std::string& shownAs, SourceMaker make);
    // A conversion that fails or is cancelled deletes what it wrote instead of leaving it
    // (rips: a track cut short must not pass for a whole one).
    void SetRemovePartialOutputs(bool remove) { m_removePartial = remove; }
    // Replaces the overwrite answer of the options.
    void SetOverwrite(OverwriteAnswer answer) { m_overwrite = answer; }

    // Converts every planned file; returns the exit status (0 all done, 1 any failed,
    // 130 cancelled).
    int Run();
    // The outputs of the conversions that succeeded, in the order the files were added.
    std::vector<std::string> ConvertedOutputs() const;

    // After Run: each planned conversion in order, whether it was done, and its output.
    size_t Count() const { return m_jobs.size(); }
    bool Done(size_t index) const { return m_jobs[index].state == State::Done; }
    const std::string& Output(size_t index) const { return m_jobs[index].output; }

private:
    enum class State { Pending, Failed, Done, Cancelled };
    struct Job {
        std::string input;     // as given, shown in messages
        std::string inputPath; // full path
        std::string output;    // full path
        FormatRecord inputFormat{};
        ComRef<IConvertSource> source;
        SourceMaker make; // set for sources that are not files
        State state = State::Pending;
        double gain = 0.0; // album mode: the measured gain, 0 when nothing was measured
    };

    bool PlanInput(Job& job);
    bool NameOutput(Job& job);
    bool CheckOutput(Job& job);
    void Fail(Job& job, const std::string& text);
    // Runs work on every pending job, on up to the number of --jobs threads.
    template <class Work> void RunPool(Work work);
    void Measure(Job& job);
    void Convert(Job& job);
    double AlbumGain();

    const Options& m_options;
    Console& m_console;
    OverwriteAnswer m_overwrite;
    FormatRecord m_format{};
    int32_t m_formatIndex = -1;
    double m_albumGain = 0.0;
    bool m_removePartial = false;
    std::vector<Job> m_jobs;
};

} // namespace txconv
