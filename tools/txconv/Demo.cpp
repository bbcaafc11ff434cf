#include "Demo.h"

#include "Paths.h"

#include "Trelvox.h"

#include <math.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace txconv {

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint16_t kChannels = 2;
constexpr const char* kDemoName = "txconv-demo";

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The demo's own directory in the temporary directory, removed with what is in it.
class DemoDirectory {
public:
    DemoDirectory() {
        char temp[MAX_PATH] = {};
        TXTempPath(temp);
        m_path = JoinPath(temp, std::string(kDemoName) + "-" + std::to_string(GetCurrentProcessId()));
        m_created = CreateDirectoryA(m_path.c_str(), nullptr) || IsDirectory(m_path);
    }
    ~DemoDirectory() {
        if (!m_created)
            return;
        DeleteFileA(Source().c_str());
        RemoveDirectoryA(m_path.c_str());
    }
    DemoDirectory(const DemoDirectory&) = delete;
    DemoDirectory& operator=(const DemoDirectory&) = delete;

    bool Created() const { return m_created; }
    std::string Source() const { return JoinPath(m_path, std::string(kDemoName) + ".wav"); }

private:
    std::string m_path;
    bool m_created = false;
};

} // namespace

bool WriteDemoSignal(const std::string& path) {
    const uint32_t frames = kRate * kDemoSeconds;
    const uint32_t dataBytes = frames * kChannels * 2;
    std::vector<uint8_t> bytes;
    bytes.reserve(44 + dataBytes);
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    PutLE(bytes, 36 + dataBytes, 4);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE(bytes, 16, 4);
    PutLE(bytes, WAVE_FORMAT_PCM, 2);
    PutLE(bytes, kChannels, 2);
    PutLE(bytes, kRate, 4);
    PutLE(bytes, kRate * kChannels * 2, 4);
    PutLE(bytes, kChannels * 2, 2);
    PutLE(bytes, 16, 2);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    PutLE(bytes, dataBytes, 4);

    // An A major chord, left and right voiced differently, with short ramps against clicks.
    const double pi = 3.14159265358979323846;
    const uint32_t silent = kRate / 2, ramp = kRate / 50;
    for (uint32_t f = 0; f < frames; ++f) {
        double left = 0.0, right = 0.0;
        if (f >= silent) {
            double t = double(f) / kRate;
            uint32_t sounding = f - silent, remaining = frames - 1 - f;
            double envelope = std::min(1.0, std::min(double(sounding), double(remaining)) / ramp);
            left = envelope *
                   (sin(2 * pi * 220.0 * t) + sin(2 * pi * 277.18 * t) + sin(2 * pi * 329.63 * t)) / 3;
            right = envelope * (sin(2 * pi * 440.0 * t) + sin(2 * pi * 554.37 * t)) / 2;
        }
        PutLE(bytes, static_cast<uint16_t>(static_cast<int16_t>(lround(left * 16383))), 2);
        PutLE(bytes, static_cast<uint16_t>(static_cast<int16_t>(lround(right * 16383))), 2);
    }
    UniqueFile file(fopen(path.c_str(), "wb"));
    return file && fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
           fflush(file.get()) == 0;
}

int RunDemo(const Options& options, Console& console, JobRunner& runner) {
    DemoDirectory directory;
    std::string source = directory.Source();
    if (!directory.Created() || !WriteDemoSignal(source)) {
        console.Report("error", "", "the demo signal cannot be written to " + source);
        return 1;
    }
    console.Report("info", "",
                   "no FILE given: converting " + std::to_string(kDemoSeconds) +
                       " seconds of a generated test signal (txconv --help shows how to convert your files)");
    // The demo's output is its own: replacing the one of an earlier run needs no question.
    if (options.overwrite == OverwriteAnswer::Ask)
        runner.SetOverwrite(OverwriteAnswer::Yes);
    if (!options.scheme.empty())
        runner.AddFile(source);
    else
        runner.AddFile(source,
                       JoinPath(options.outputDir.empty() ? "." : options.outputDir,
                                kDemoName + runner.OutputExtension()),
                       "demo signal");
    return runner.Run();
}

} // namespace txconv
