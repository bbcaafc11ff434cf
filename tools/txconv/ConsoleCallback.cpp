#include "ConsoleCallback.h"

#include <string.h>

#include <utility>

namespace txconv {

namespace {

// The library calls these operations from its own frames: nothing may be thrown back into
// it. A line that cannot be built for lack of memory is dropped.
template <class Work> void Guarded(Work work) noexcept {
    try {
        work();
    } catch (...) {
    }
}

} // namespace

ConsoleCallback::ConsoleCallback(Console& console, std::string item, OverwriteAnswer overwrite)
    : m_console(console), m_item(std::move(item)), m_overwrite(overwrite) {
    m_slot.item = m_item;
    m_slot.status = "Starting:";
    m_console.Attach(&m_slot);
}

ConsoleCallback::~ConsoleCallback() {
    Detach();
}

void ConsoleCallback::Detach() {
    if (m_attached)
        m_console.Detach(&m_slot);
    m_attached = false;
}

bool TX_THISCALL ConsoleCallback::ConfirmOverwrite(const char* path) {
    bool replace = false;
    Guarded([&] {
        switch (m_overwrite) {
        case OverwriteAnswer::Yes:
            replace = true;
            break;
        case OverwriteAnswer::No:
            break;
        case OverwriteAnswer::Ask:
            if (m_console.Interactive())
                replace = m_console.Ask(std::string("replace ") + (path ? path : "") + "?");
            else
                m_console.Report("info", m_item, "not replacing an existing output without -y");
            break;
        }
    });
    (replace ? m_overwriteConfirmed : m_overwriteRefused) = true;
    return replace;
}

void TX_THISCALL ConsoleCallback::ReportMessage(const char* text) {
    if (!m_messagesAreLog)
        ++m_errors;
    Guarded([&] { m_console.Report(m_messagesAreLog ? "log" : "message", m_item, text ? text : ""); });
}

void TX_THISCALL ConsoleCallback::ReportError(const char* text, const char* kind) {
    const char* label = "error";
    if (kind && strcmp(kind, "i") == 0)
        label = "info";
    else if (kind && strcmp(kind, "e") != 0)
        label = kind; // no other kind is defined; show it as it came
    else
        ++m_errors;
    Guarded([&] { m_console.Report(label, m_item, text ? text : ""); });
}

void TX_THISCALL ConsoleCallback::SetProgressRange(uint32_t total) {
    m_console.SetRange(&m_slot, total);
}

void TX_THISCALL ConsoleCallback::SetProgressPos(uint32_t pos) {
    m_console.SetPosition(&m_slot, pos);
}

void TX_THISCALL ConsoleCallback::StepProgress(uint32_t bytes) {
    m_console.Step(&m_slot, bytes);
}

void TX_THISCALL ConsoleCallback::SetStatusText(const char* text) {
    m_console.SetStatus(&m_slot, text ? text : "");
}

int32_t TX_THISCALL ConsoleCallback::IsCancelled() {
    return m_console.Cancelled() ? 1 : 0;
}

void TX_THISCALL ConsoleCallback::SetItemText(const char* text, int32_t flag) {
    // The title of the item (flag 1) is the file we already show; a follow-up step (flag 0,
    // such as the tempo analysis) takes the place of the pass name.
    if (flag == 0 && text)
        Guarded([&] { m_console.SetStatus(&m_slot, text); });
}

} // namespace txconv
