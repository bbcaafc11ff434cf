#include "Console.h"

#include <windows.h>

#include <stdio.h>

#include <algorithm>

namespace txconv {

namespace {

std::string Percent(const ProgressSlot& slot) {
    unsigned percent =
        slot.total ? static_cast<unsigned>(uint64_t(std::min(slot.done, slot.total)) * 100 / slot.total) : 0;
    char text[8];
    snprintf(text, sizeof text, "%3u%%", percent);
    return text;
}

// Keeps the end of a long name, which tells files apart better than its start.
std::string Shorten(const std::string& text, size_t width) {
    if (text.size() <= width)
        return text;
    if (width <= 3)
        return text.substr(0, width);
    return "..." + text.substr(text.size() - (width - 3));
}

} // namespace

void WriteText(FILE* stream, const std::wstring& text) {
    fflush(stream);
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && handle && GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string utf8(static_cast<size_t>(std::max(size, 0)), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], size, nullptr,
                            nullptr);
    fwrite(utf8.data(), 1, utf8.size(), stream);
    fflush(stream);
}

void WriteText(FILE* stream, const std::string& text) {
    int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(std::max(size, 0)), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    WriteText(stream, wide);
}

Console::Console(bool showProgress, bool interactive)
    : m_showProgress(showProgress), m_interactive(interactive) {}

std::string Console::FormatLine(const std::vector<const ProgressSlot*>& slots, size_t finished, size_t total,
                                size_t width) {
    std::string line;
    if (total > 1)
        line = "[" + std::to_string(finished) + "/" + std::to_string(total) + "] ";
    if (slots.size() == 1) {
        // One conversion: a bar.
        const ProgressSlot& slot = *slots[0];
        constexpr size_t kBar = 24;
        size_t filled =
            slot.total ? size_t(uint64_t(std::min(slot.done, slot.total)) * kBar / slot.total) : 0;
        line += slot.status + " [" + std::string(filled, '#') + std::string(kBar - filled, '.') + "] " +
                Percent(slot) + " ";
        line += Shorten(slot.item, width > line.size() ? width - line.size() : 0);
    } else {
        // Several at once: the pass, percentage and name of each, as far as they fit.
        size_t each = slots.empty() ? 0 : (width - std::min(width, line.size())) / slots.size();
        for (size_t i = 0; i < slots.size(); ++i) {
            std::string part = (i ? " | " : "") + slots[i]->status + " " + Percent(*slots[i]) + " ";
            part += Shorten(slots[i]->item, each > part.size() ? each - part.size() : 0);
            line += part;
        }
    }
    if (line.size() > width)
        line.resize(width);
    return line;
}

void Console::ClearLocked() {
    if (!m_drawnWidth)
        return;
    WriteText(stderr, "\r" + std::string(m_drawnWidth, ' ') + "\r");
    m_drawnWidth = 0;
}

void Console::DrawLocked(bool force) {
    if (!m_showProgress)
        return;
    uint32_t now = GetTickCount();
    if (!force && now - m_lastDraw < kRedrawMs)
        return;
    m_lastDraw = now;
    std::vector<const ProgressSlot*> slots(m_slots.begin(), m_slots.end());
    std::string line = slots.empty() ? std::string() : FormatLine(slots, m_finished, m_total, kWidth);
    // Overwrite the old line in place; pad with blanks where the new one is shorter.
    size_t pad = m_drawnWidth > line.size() ? m_drawnWidth - line.size() : 0;
    WriteText(stderr, "\r" + line + std::string(pad, ' ') + (pad ? "\r" + line : std::string()));
    m_drawnWidth = line.size();
}

void Console::Report(const char* kind, const std::string& item, const std::string& text) {
    std::string body = text;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
        body.pop_back();
    std::lock_guard<std::mutex> lock(m_mutex);
    ClearLocked();
    WriteText(stderr, std::string(kind) + ": " + (item.empty() ? "" : item + ": ") + body + "\n");
    DrawLocked(true);
}

void Console::Result(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ClearLocked();
    WriteText(stdout, text + "\n");
    DrawLocked(true);
}

void Console::Result(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ClearLocked();
    WriteText(stdout, text + L"\n");
    DrawLocked(true);
}

bool Console::Ask(const std::string& question) {
    const std::string answer = AskLine(question + " [y/N]");
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

std::string Console::AskLine(const std::string& question) {
    if (!m_interactive)
        return std::string();
    std::lock_guard<std::mutex> lock(m_mutex);
    ClearLocked();
    WriteText(stderr, question + " ");
    char answer[256] = {};
    if (!fgets(answer, sizeof answer, stdin))
        answer[0] = '\0';
    DrawLocked(true);
    std::string line = answer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

void Console::Attach(ProgressSlot* slot) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_slots.push_back(slot);
    DrawLocked(true);
}

void Console::Detach(ProgressSlot* slot) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_slots.erase(std::remove(m_slots.begin(), m_slots.end(), slot), m_slots.end());
    if (m_slots.empty())
        ClearLocked();
    else
        DrawLocked(true);
}

void Console::SetStatus(ProgressSlot* slot, const std::string& status) {
    std::lock_guard<std::mutex> lock(m_mutex);
    slot->status = status;
    DrawLocked(true);
}

void Console::SetRange(ProgressSlot* slot, uint32_t total) {
    std::lock_guard<std::mutex> lock(m_mutex);
    slot->total = total;
    slot->done = 0;
    DrawLocked(false);
}

void Console::SetPosition(ProgressSlot* slot, uint32_t done) {
    std::lock_guard<std::mutex> lock(m_mutex);
    slot->done = done;
    DrawLocked(false);
}

void Console::Step(ProgressSlot* slot, uint32_t bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    slot->done = slot->done + bytes < slot->done ? UINT32_MAX : slot->done + bytes;
    DrawLocked(false);
}

void Console::SetCounts(size_t finished, size_t total) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = finished;
    m_total = total;
    DrawLocked(true);
}

} // namespace txconv
