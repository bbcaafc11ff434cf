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

    bool TX_THISCALL ConfirmOverwrite(const char* path) override;
    void TX_THISCALL ReportMessage(const char* text) override;
    void TX_THISCALL ReportError(const char* text, const char* kind) override;
    void TX_THISCALL SetProgressRange(uint32_t total) override;
    void TX_THISCALL SetProgressPos(uint32_t pos) override;
    void TX_THISCALL StepProgress(uint32_t bytes) override;
    void TX_THISCALL SetStatusText(const char* text) override;
    int32_t TX_THISCALL IsCancelled() override;
    void TX_THISCALL SetItemText(const char* text, int32_t flag) override;

    // The error lines of kind "e", each with its trailing newline.
    std::vector<std::string> Errors() const;
    std::string AllText() const;

    bool overwriteAnswer = false;
    int overwriteQuestions = 0;
    int32_t cancelled = 0;
    std::vector<Line> lines;
    std::vector<std::string> messages;
    std::vector<std::string> statusTexts;
    std::vector<std::string> itemTexts;
    uint32_t progressRange = 0;
    uint64_t progressSteps = 0;
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
    std::string operator/(const std::string& name) const;

private:
    std::string m_path;
};

// Removes a directory tree; true if it is gone afterwards.
bool RemoveTree(const std::string& path);

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// The current reference count, read by an AddRef/Release pair.
ULONG RefCount(IUnknown* object);

// Checks that object answers every IID in supported (with a pointer whose IUnknown identity
// is the object's) and refuses every IID in unsupported with E_NOINTERFACE and a null out.
void CheckInterfaces(IUnknown* object, std::initializer_list<IID> supported,
                     std::initializer_list<IID> unsupported);

// Reads an environment variable set by the test harness ("" if unset).
std::string Env(const char* name);

} // namespace txtest
