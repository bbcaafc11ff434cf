#include "Player.h"

#include "ComRef.h"
#include "ConsoleCallback.h"
#include "Paths.h"

#include "Trelvox.h"

#include <stdio.h>

#include <atomic>

namespace txconv {

namespace {

std::string Time(int32_t minutes, int32_t seconds) {
    char text[32];
    snprintf(text, sizeof(text), "%d:%02d", static_cast<int>(minutes), static_cast<int>(seconds));
    return text;
}

// Called on the playback thread: shows the position and answers Ctrl-C with a stop.
class PlayerCallback final : public IPlaybackCallback {
public:
    PlayerCallback(Console& console, ConsoleCallback& line)
        : m_console(console), m_line(line), m_done(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~PlayerCallback() { CloseHandle(m_done); }
    PlayerCallback(const PlayerCallback&) = delete;
    PlayerCallback& operator=(const PlayerCallback&) = delete;

    HRESULT TX_THISCALL OnProgress(int32_t posMinutes, int32_t posSeconds, int32_t totalMinutes,
                                   int32_t totalSeconds) override {
        m_reported = true;
        m_position = Time(posMinutes, posSeconds) + " of " + Time(totalMinutes, totalSeconds);
        m_line.SetProgressRange(static_cast<uint32_t>(totalMinutes * 60 + totalSeconds));
        m_line.SetProgressPos(static_cast<uint32_t>(posMinutes * 60 + posSeconds));
        m_line.SetStatusText(("Playing " + m_position).c_str());
        return m_console.Cancelled() ? E_ABORT : S_OK;
    }
    void TX_THISCALL OnFinished() override { SetEvent(m_done); }

    void WaitFinished() const { WaitForSingleObject(m_done, INFINITE); }
    // Read after OnFinished only.
    bool Reported() const { return m_reported; }
    const std::string& Position() const { return m_position; }

private:
    Console& m_console;
    ConsoleCallback& m_line;
    HANDLE m_done;
    std::atomic<bool> m_reported{false};
    std::string m_position;
};

} // namespace

int PlayFile(Console& console, const std::string& path) {
    std::string full = FullPath(path);
    if (!FileExists(full) || IsDirectory(full)) {
        console.Report("error", path, "no such file");
        return 1;
    }
    FormatRecord format;
    ComRef<IConvertSource> source;
    if (ConvGetFormatOf(&format, full.c_str()) != S_OK || !format.sourceClsid ||
        ConvCreateSource(&format, source.put()) != S_OK || !source->SetFileName(full.c_str())) {
        console.Report("error", path, "this file type cannot be played (see --formats)");
        return 1;
    }
    // Without a device the library's playback would end quietly at 0:00.
    if (waveOutGetNumDevs() == 0) {
        console.Report("error", path, "no sound device to play on");
        return 1;
    }
    ConsoleCallback line(console, path, OverwriteAnswer::No);
    PlayerCallback callback(console, line);
    source->SetErrorLog(&line);
    if (!Playback(source.get(), &callback)) {
        source->SetErrorLog(nullptr);
        console.Report("error", path, "playback cannot be started");
        return 1;
    }
    callback.WaitFinished();
    source->SetErrorLog(nullptr);
    line.Detach();
    if (!callback.Reported()) {
        console.Report("error", path, "the file cannot be played");
        return 1;
    }
    console.Result("played " + callback.Position());
    return console.Cancelled() ? 130 : 0;
}

} // namespace txconv
