// The terminal side of txconv: message lines, the one live progress line, overwrite
// questions and the Ctrl-C flag. Callbacks of several conversions call it from their worker
// threads at once; one lock keeps lines whole and the progress line redrawn after them.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace txconv {

// Writes text to stdout or stderr. Narrow text is in the ANSI code page, as the command line
// and the library's paths are. A console gets it through its wide output; a pipe or file gets
// UTF-8, whatever the code page.
void WriteText(FILE* stream, const std::string& text);
void WriteText(FILE* stream, const std::wstring& text);

// What the progress line shows of one running conversion. Owned by its callback; the
// console reads it only under its lock, and the callback changes it only through the console.
struct ProgressSlot {
    std::string item;   // the file being worked on
    std::string status; // the pass ("Converting:", "Analyzing:") or a follow-up step
    uint32_t total = 0; // bytes of the pass
    uint32_t done = 0;
};

class Console {
public:
    // showProgress: draw the progress line (only sensible when stderr is a console).
    // interactive: questions may be asked on stdin.
    Console(bool showProgress, bool interactive);
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // One line on stderr: "kind: item: text" ("kind: text" without an item). A trailing
    // newline of text is dropped.
    void Report(const char* kind, const std::string& item, const std::string& text);
    // One line on stdout: results that scripts may read.
    void Result(const std::string& text);
    void Result(const std::wstring& text);
    // Asks a yes/no question on the console; false (without asking) when not interactive.
    bool Ask(const std::string& question);
    // Asks for a line of text; empty (without asking) when not interactive.
    std::string AskLine(const std::string& question);
    bool Interactive() const { return m_interactive; }

    // Slots being shown; a slot must be detached before it goes.
    void Attach(ProgressSlot* slot);
    void Detach(ProgressSlot* slot);
    // Changes a slot under the lock. A redraw follows when something visible changed, at
    // most every kRedrawMs for mere steps.
    void SetStatus(ProgressSlot* slot, const std::string& status);
    void SetRange(ProgressSlot* slot, uint32_t total);
    void SetPosition(ProgressSlot* slot, uint32_t done);
    void Step(ProgressSlot* slot, uint32_t bytes);
    // Files finished so far of all, for the "[3/8]" counter of a batch.
    void SetCounts(size_t finished, size_t total);

    // Set from the Ctrl-C handler's thread; every callback polls it.
    void Cancel() { m_cancelled = true; }
    bool Cancelled() const { return m_cancelled; }

    // The progress line for the given slots, at most width characters; public for testing.
    static std::string FormatLine(const std::vector<const ProgressSlot*>& slots, size_t finished,
                                  size_t total, size_t width);

private:
    static constexpr uint32_t kRedrawMs = 100;
    static constexpr size_t kWidth = 79;

    void ClearLocked();
    void DrawLocked(bool force);

    std::mutex m_mutex;
    const bool m_showProgress;
    const bool m_interactive;
    std::atomic<bool> m_cancelled{false};
    std::vector<ProgressSlot*> m_slots;
    size_t m_finished = 0;
    size_t m_total = 0;
    size_t m_drawnWidth = 0; // characters of the progress line now on the screen
    uint32_t m_lastDraw = 0; // GetTickCount of the last redraw
};

} // namespace txconv
