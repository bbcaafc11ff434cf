// Helpers shared by the test programs.
#pragma once

#include "TrelvoxConvert.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace txtest {

// An IConvertCallback that records everything the library tells it.
class RecordingCallback : public IConvertCallback {
public:
    struct Line {
        std::string text;
        std::string kind;
    };

    bool TX_THISCALL ConfirmOverwrite(const char*) override {
        ++overwriteQuestions;
        return overwriteAnswer;
    }
    void TX_THISCALL ReportMessage(const char* text) override { messages.emplace_back(text ? text : ""); }
    void TX_THISCALL ReportError(const char* text, const char* kind) override {
        lines.push_back({text ? text : "", kind ? kind : ""});
    }
    void TX_THISCALL SetProgressRange(uint32_t total) override { progressRange = total; }
    void TX_THISCALL SetProgressPos(uint32_t) override {}
    void TX_THISCALL StepProgress(uint32_t) override {}
    void TX_THISCALL SetStatusText(const char* text) override { statusTexts.emplace_back(text ? text : ""); }
    int32_t TX_THISCALL IsCancelled() override { return cancelled; }
    void TX_THISCALL SetItemText(const char* text, int32_t) override {
        itemTexts.emplace_back(text ? text : "");
    }

    // The error lines of kind "e" one after the other, each with its trailing newline.
    std::string Errors() const;
    std::string AllText() const;

    bool overwriteAnswer = false;
    int overwriteQuestions = 0;
    int32_t cancelled = 0;
    std::vector<Line> lines;
    std::vector<std::string> messages;
    std::vector<std::string> statusTexts;
    std::vector<std::string> itemTexts;
    uint32_t progressRange = 0;
};

// A fresh directory under the system temporary directory, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "\\" + name
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// The names of the files in dir that match pattern ("ana*.tmp").
std::vector<std::string> FilesIn(const std::string& dir, const std::string& pattern);

// Integer PCM of the given shape.
inline WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
    const uint16_t align = uint16_t(channels * bits / 8);
    return {WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

// The current reference count, read by an AddRef/Release pair.
ULONG RefCount(IUnknown* object);

// Checks that object answers every IID in supported (with a pointer whose IUnknown identity
// is the object's) and refuses every IID in unsupported with E_NOINTERFACE and a null out.
void CheckInterfaces(IUnknown* object, std::initializer_list<IID> supported,
                     std::initializer_list<IID> unsupported);

} // namespace txtest
