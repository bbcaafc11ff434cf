#include "CdBurn.h"

#include "CdDrives.h"
#include "ComRef.h"
#include "ConsoleCallback.h"
#include "Paths.h"
#include "ScopedSetting.h"

#include "Trelvox.h"
#include "TrelvoxCD.h"
#include "TrelvoxMetadata.h"

#include <string>
#include <vector>

namespace txconv {

namespace {

// The write speeds of the recording request's index, in times the audio speed.
constexpr int kSpeedFactors[] = {1,  2,  4,  6,  8,  10, 12, 14, 16, 18, 20, 22,
                                 24, 26, 28, 30, 32, 34, 36, 38, 40, 42, 52, 72};
constexpr uint8_t kFastest = 255;

// The fastest index that does not go beyond factor.
uint8_t SpeedIndexFor(int factor) {
    uint8_t index = 0;
    for (uint8_t i = 0; i < sizeof(kSpeedFactors) / sizeof(kSpeedFactors[0]); ++i)
        if (kSpeedFactors[i] <= factor)
            index = i;
    return index;
}

// One frame's text from the file's tag, in the ANSI code page; empty when there is none.
std::string FrameText(IMetadataTag* tag, int frameId) {
    ComRef<IMetadataFrame> frame;
    if (!tag || tag->GetFrame(frameId, IID_IMetadataFrame, frame.put_void()) != S_OK || !frame)
        return std::string();
    wchar_t wide[256] = {};
    frame->GetDisplayText(wide, 256);
    char text[512] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
    return text;
}

struct Track {
    std::string path;
    ComRef<IConvertSource> source;
    std::string title;
    std::string performer;
    std::string album;
};

// The source for path with the CD-Text the file's tag gives (title, artist, album); a file
// without a title is called by its name.
bool OpenTrack(Console& console, const std::string& file, Track& track) {
    track.path = FullPath(file);
    FormatRecord format{};
    if (!FileExists(track.path) || IsDirectory(track.path)) {
        console.Report("error", file, "no such file");
        return false;
    }
    if (ConvGetFormatOf(&format, track.path.c_str()) != S_OK || !format.sourceClsid ||
        ConvCreateSource(&format, track.source.put()) != S_OK ||
        !track.source->SetFileName(track.path.c_str())) {
        console.Report("error", file, "cannot be read (see --formats)");
        return false;
    }
    ComRef<IMetadata> metadata;
    ComRef<IMetadataTag> tag;
    if (track.source->GetMetadata(metadata.put()) && metadata)
        metadata->GetTag(tag.put());
    track.title = FrameText(tag.get(), 47);     // TIT2
    track.performer = FrameText(tag.get(), 61); // TPE1
    track.album = FrameText(tag.get(), 29);     // TALB
    if (track.title.empty()) {
        track.title = FileNamePart(track.path);
        track.title = track.title.substr(0, track.title.find_last_of('.'));
    }
    return true;
}

// The CD-Text of the disc: --title, or the album of the first file that names one; --artist,
// or the artist every file shares. A track's performer is its own artist, else the disc's.
struct DiscText {
    cdrip::RecordText disc = {};
    std::vector<cdrip::RecordText> tracks;
    std::string title;
    std::string performer;
    std::vector<std::string> trackTitles;
    std::vector<std::string> trackPerformers;
};

void BuildText(const Options& options, const std::vector<Track>& tracks, DiscText& text) {
    const CddbOptions& edits = options.cd.cddb;
    text.title = edits.title;
    for (size_t i = 0; i < tracks.size() && text.title.empty(); ++i)
        text.title = tracks[i].album;
    text.performer = edits.artist;
    if (text.performer.empty() && !tracks.empty()) {
        text.performer = tracks[0].performer;
        for (const Track& track : tracks)
            if (track.performer != text.performer)
                text.performer.clear();
    }
    for (const Track& track : tracks) {
        text.trackTitles.push_back(track.title);
        text.trackPerformers.push_back(track.performer.empty() ? text.performer : track.performer);
    }
    for (const auto& edit : edits.trackTitles)
        if (edit.first <= static_cast<int>(tracks.size()))
            text.trackTitles[edit.first - 1] = edit.second;
    // The strings are all in place: the records point into them.
    text.disc.title = text.title.c_str();
    text.disc.performer = text.performer.c_str();
    for (size_t i = 0; i < tracks.size(); ++i) {
        cdrip::RecordText track = {};
        track.title = text.trackTitles[i].c_str();
        track.performer = text.trackPerformers[i].c_str();
        text.tracks.push_back(track);
    }
}

} // namespace

int RunBurn(const Options& options, Console& console) {
    const std::string driveText = std::string(1, static_cast<char>('A' + options.burn.drive)) + ":";
    const std::string item = "burn"; // names the progress line and the log lines
    VirtualDrive virtualDrive;
    if (!options.cd.virtualDrive.empty()) {
        std::string error;
        // The bench's writer starts with a blank disc and keeps what it writes as this image.
        const std::string disc = "blank \"" + FullPath(options.cd.virtualDrive) + "\"";
        if (!virtualDrive.Start(disc, options.cd.virtualDriveConfig, error)) {
            console.Report("error", "", error);
            return 2;
        }
    }
    if (options.files.size() > 99) {
        console.Report("error", "", "an audio CD holds at most 99 tracks");
        return 2;
    }
    std::vector<Track> tracks(options.files.size());
    for (size_t i = 0; i < tracks.size(); ++i)
        if (!OpenTrack(console, options.files[i], tracks[i]))
            return 2;
    for (const auto& edit : options.cd.cddb.trackTitles)
        if (edit.first > static_cast<int>(tracks.size())) {
            console.Report("error", "",
                           "--track-title " + std::to_string(edit.first) + ": there are only " +
                               std::to_string(tracks.size()) + " tracks");
            return 2;
        }

    ComRef<cdrip::IAudioCDDevices> devices;
    if (!OpenDevices(console, devices))
        return 1;
    ComRef<cdrip::IAudioCD> disc;
    if (devices->GetCDByLetter(options.burn.drive, disc.put()) != S_OK) {
        console.Report("error", "", "no CD drive " + driveText + " (txconv --cd lists them)");
        return 2;
    }
    // Only drives that report write-once as their device type have the writer bits among
    // their capabilities; every CD-R writer has a write speed.
    if (disc->GetMaxWriteSpeed() < 0) {
        console.Report("error", "", driveText + " does not write CD-R discs");
        return 2;
    }

    DiscText text;
    BuildText(options, tracks, text);
    std::vector<IConvertSource*> sources;
    for (const Track& track : tracks)
        sources.push_back(track.source.get());
    cdrip::RecordRequest request = {};
    request.size = sizeof(request);
    request.sourceCount = static_cast<uint32_t>(sources.size());
    request.sources = sources.data();
    request.discText = &text.disc;
    request.trackText = text.tracks.data();
    request.owner = GetConsoleWindow();
    request.speedIndex = options.cd.speed > 0 ? SpeedIndexFor(options.cd.speed) : kFastest;
    request.burnProof = options.burn.burnProof ? 1 : 0;

    // The library reads the test mode from its settings when it writes.
    ScopedSetting testMode("BurnCD", "TestMode", options.burn.testWrite ? 1 : 0);
    if (!testMode.Applied()) {
        console.Report("error", "", "the test mode setting cannot be stored");
        return 1;
    }
    ConsoleCallback callback(console, item, OverwriteAnswer::No);
    callback.SetMessagesAreLog();
    HRESULT hr = disc->RecordDisc(1, &request, &callback);
    callback.Detach();
    if (hr == E_ABORT || console.Cancelled()) {
        console.Report("info", item, "cancelled");
        return 130;
    }
    if (hr != S_OK)
        return 1;
    console.Report("info", item,
                   options.burn.testWrite ? "test write done; the disc is still blank"
                                          : "the disc is written");
    return 0;
}

} // namespace txconv
