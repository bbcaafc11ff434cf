// The IConvertCallback of one conversion: its lines, progress and questions go to the
// console, labelled with the file they belong to. Called on the conversion's worker thread.
#pragma once

#include "Console.h"
#include "Options.h"

#include "TrelvoxConvert.h"

#include <string>

namespace txconv {

class ConsoleCallback final : public IConvertCallback {
public:
    // item: the name shown with every line and on the progress line.
    ConsoleCallback(Console& console, std::string item, OverwriteAnswer overwrite);
    ~ConsoleCallback();
    ConsoleCallback(const ConsoleCallback&) = delete;
    ConsoleCallback& operator=(const ConsoleCallback&) = delete;

    bool TX_THISCALL ConfirmOverwrite(const char* path) override;
    void TX_THISCALL ReportMessage(const char* text) override;
    void TX_THISCALL ReportError(const char* text, const char* kind) override;
    void TX_THISCALL SetProgressRange(uint32_t total) override;
    void TX_THISCALL SetProgressPos(uint32_t pos) override;
    void TX_THISCALL StepProgress(uint32_t bytes) override;
    void TX_THISCALL SetStatusText(const char* text) override;
    int32_t TX_THISCALL IsCancelled() override;
    void TX_THISCALL SetItemText(const char* text, int32_t flag) override;

    // Takes the conversion off the progress line (also done when the callback goes).
    void Detach();
    // ReportMessage lines are a log to show (a disc recording's steps), not pump failures.
    void SetMessagesAreLog() { m_messagesAreLog = true; }

    // Whether an existing output was allowed to be replaced, or kept by refusing.
    bool OverwriteConfirmed() const { return m_overwriteConfirmed; }
    bool OverwriteRefused() const { return m_overwriteRefused; }
    // Lines of kind "e" (and pump messages) reported so far.
    unsigned ErrorCount() const { return m_errors; }

private:
    Console& m_console;
    const std::string m_item;
    const OverwriteAnswer m_overwrite;
    ProgressSlot m_slot;
    bool m_overwriteConfirmed = false;
    bool m_overwriteRefused = false;
    unsigned m_errors = 0;
    bool m_attached = true;
    bool m_messagesAreLog = false;
};

} // namespace txconv
