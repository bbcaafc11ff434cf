#include "DiscRecording.h"

#include "ComPtr.h"
#include "DefErrLog.h"
#include "Handles.h"
#include "RedBookDest.h"
#include "Recorder.h"
#include "SettingsStore.h"
#include "Trace.h"
#include "Trelvox.h"

#include <string>

namespace cdrip {

namespace {

// 74 minutes of frames: what every writer and blank takes. Longer layouts need an 80-minute
// blank and a writer that goes past the nominal lead-out.
constexpr uint32_t kStandardDiscFrames = 74 * 60 * 75;

MessageBoxFunction g_messageBox = MessageBoxA;

cdengine::TrackText EngineText(const RecordText& text) {
    auto copy = [](const char* value) { return std::string(value ? value : ""); };
    cdengine::TrackText out;
    out.title = copy(text.title);
    out.performer = copy(text.performer);
    out.songwriter = copy(text.songwriter);
    out.composer = copy(text.composer);
    out.arranger = copy(text.arranger);
    out.message = copy(text.message);
    return out;
}

// Steps 1 to 7 of one attempt: the layout, the option lines and the write itself.
cdengine::Status RecordOnce(cdengine::Drive& drive, const std::vector<std::string>& paths,
                            const RecordRequest& request, IConvertCallback* callback, HANDLE abortEvent) {
    cdengine::WriteLayout layout;
    cdengine::Status status = cdengine::BuildWriteLayout(paths, layout);
    if (status && request.discText) {
        cdengine::CdTextBlock text;
        text.disc = EngineText(*request.discText);
        if (request.trackText)
            for (uint32_t i = 0; i < request.sourceCount; ++i)
                text.tracks.push_back(EngineText(request.trackText[i]));
        status = cdengine::AttachCdText(layout, text);
    }
    if (!status)
        return status;

    // Information lines go out as the error log's kind "i", with their newline.
    CDefErrLog log;
    log.SetCallback(callback);
    const uint32_t total = layout.totalFrames;
    callback->SetProgressRange(total);
    if (total > kStandardDiscFrames)
        log.SetInfo("Total disc time (%02u:%02u:%02u) exceeds 74 minutes!", total / 4500, total / 75 % 60,
                    total % 75);
    const int factor =
        request.speedIndex == cdengine::kSpeedIndexMax ? 0 : cdengine::SpeedFactor(request.speedIndex);
    log.SetInfo("Recording Options: Speed %d (%d)", request.speedIndex, factor);
    callback->SetStatusText("Recording:");
    callback->SetItemText("Preparing...", 0);

    cdengine::WriteOptions options;
    options.speedIndex = request.speedIndex;
    options.testMode = trelvox::ReadSettingInt("BurnCD", "TestMode", 0) != 0;
    options.burnProof = request.burnProof != 0;
    if (options.testMode)
        log.SetInfo("Recording Options: Test mode enabled");
    if (options.burnProof)
        log.SetInfo("Recording Options: BURN-Proof enabled");
    options.progress = [callback, abortEvent](cdengine::WriteEvent event, uint32_t value) {
        switch (event) {
        case cdengine::kWriteTrackStart: {
            char item[32];
            wsprintfA(item, "Track %d", static_cast<int>(value));
            callback->SetItemText(item, 0);
            break;
        }
        case cdengine::kWriteProgress:
            callback->StepProgress(value);
            break;
        case cdengine::kWriteLeadOut:
            callback->SetItemText("Lead-out track", 0);
            break;
        case cdengine::kWriteEnd:
            callback->SetProgressPos(1);
            break;
        }
        // The engine stops between two commands once the event is set.
        if (callback->IsCancelled())
            SetEvent(abortEvent);
    };
    callback->ReportMessage("Writing the disc using disc-at-once recording...\n");
    drive.SetAbortEvent(abortEvent);
    status = cdengine::WriteDiscAtOnce(drive, layout, options);
    drive.SetAbortEvent(nullptr);
    return status;
}

} // namespace

MessageBoxFunction SetRecordingMessageBox(MessageBoxFunction box) {
    MessageBoxFunction previous = g_messageBox;
    g_messageBox = box ? box : MessageBoxA;
    return previous;
}

bool IsValidRequest(const RecordRequest* request) {
    if (!request || request->size != sizeof(RecordRequest) || request->sourceCount < 1 ||
        request->sourceCount > CRedBookDest::kMaxTracks || !request->sources)
        return false;
    for (uint32_t i = 0; i < request->sourceCount; ++i)
        if (!request->sources[i])
            return false;
    return request->speedIndex == cdengine::kSpeedIndexMax ||
           request->speedIndex < cdengine::kSpeedIndexCount;
}

int MaxWriteSpeed(cdengine::Drive& drive) {
    return cdengine::MaxWriteSpeedIndex(drive);
}

int EstimateRecordingTime(cdengine::Drive& drive, int speedIndex, uint32_t frames) {
    // The fastest speed of a drive that names none is taken as 1x.
    if (speedIndex == cdengine::kSpeedIndexMax)
        speedIndex = cdengine::MaxWriteSpeedIndex(drive);
    int factor = cdengine::SpeedFactor(speedIndex < 0 ? 0 : speedIndex);
    if (factor <= 0)
        return E_INVALIDARG;
    // Whole minutes, rounded up, with 19999 frames for the lead-in, lead-out and the drive's
    // start-up.
    const uint64_t minute = 4500ull * static_cast<unsigned>(factor);
    return static_cast<int>((frames + 19999ull + minute) / minute);
}

HRESULT RecordTrackFiles(cdengine::Drive& drive, const std::vector<std::string>& paths,
                         const RecordRequest& request, IConvertCallback* callback) {
    trelvox::UniqueEvent abortEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!abortEvent) {
        callback->ReportError("Out of memory\n", "e");
        return E_FAIL;
    }
    for (;;) {
        const cdengine::Status status = RecordOnce(drive, paths, request, callback, abortEvent.get());
        if (status)
            return S_OK;
        if (status.code == cdengine::kErrAborted)
            return E_ABORT;
        TX_TRACE(cd, "recording failed: code %d, sub-code %06X", status.code, status.subCode);
        callback->ReportError((cdengine::ErrorText(status.code) + "\n").c_str(), "e");
        const std::string detail = cdengine::SubCodeText(status.code, status.subCode);
        if (!detail.empty())
            callback->ReportError((detail + "\n").c_str(), "e");
        const std::string message = cdengine::WriteFailureMessage(status);
        if (g_messageBox(request.owner, message.c_str(), "Harvane", MB_RETRYCANCEL | MB_ICONERROR) != IDRETRY)
            return E_FAIL;
    }
}

HRESULT RecordDisc(cdengine::Drive& drive, int mode, const RecordRequest& request,
                   IConvertCallback* callback) {
    if (mode != 1) {
        callback->ReportMessage("Writing the ISO9660 disc using disc-at-once recording...\n");
        callback->ReportError((cdengine::ErrorText(cdengine::kErrNotImplemented) + "\n").c_str(), "e");
        return E_NOTIMPL;
    }
    // The table's files go with the destination, whichever way this ends.
    trelvox::ComPtr<CRedBookDest> destination(new CRedBookDest);
    callback->ReportMessage("Converting audio files to Red-book format...\n");
    for (uint32_t i = 0; i < request.sourceCount; ++i) {
        IConvertSource* source = request.sources[i];
        char name[MAX_PATH] = {};
        if (source->GetFileName(name, MAX_PATH))
            callback->ReportMessage((std::string(name) + "\n").c_str());
        if (!destination->AddTrack()) {
            callback->ReportError("Temporary file cannot be created\n", "e");
            return E_FAIL;
        }
        if (AudioConvert(source, destination.get(), callback, nullptr, TX_NORMALIZE_OFF, -1, -1) != S_OK)
            return callback->IsCancelled() ? E_ABORT : E_FAIL;
    }
    std::vector<std::string> paths;
    for (unsigned i = 0; i < destination->TrackCount(); ++i)
        paths.push_back(destination->TrackPath(i));
    return RecordTrackFiles(drive, paths, request, callback);
}

} // namespace cdrip
