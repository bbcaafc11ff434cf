#include "CdRip.h"

#include "CdDrives.h"
#include "CdLookup.h"
#include "ComRef.h"
#include "JobRunner.h"
#include "Paths.h"
#include "ScopedSetting.h"

#include "Trelvox.h"
#include "TrelvoxCD.h"

#include <stdarg.h>
#include <stdio.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace txconv {

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return text;
}

// m:ss.ff of a count of frames.
std::string Duration(uint32_t frames) {
    return Format("%u:%02u.%02u", frames / 4500, frames / 75 % 60, frames % 75);
}

struct Track {
    cdrip::TrackRecord record = {};
    std::string title;
    ComRef<IConvertSource> source; // kept past the conversion for its read report
};

// The disc's audio tracks, with their titles.
std::vector<Track> ListTracks(cdrip::IAudioCD* disc) {
    std::vector<Track> tracks;
    int count = 0;
    disc->GetTrackCount(&count);
    for (int i = 0; i < count; ++i) {
        ComRef<cdrip::IAudioCDTrack> object;
        Track track;
        if (disc->GetTrack(i, object.put()) != S_OK || object->GetTrackRecord(&track.record) != S_OK)
            continue;
        char title[256] = {};
        disc->GetTrackTitle(i, title, sizeof(title));
        track.title = title;
        object->QueryInterface(IID_IConvertSource, track.source.put_void());
        tracks.push_back(std::move(track));
    }
    return tracks;
}

std::string DiscLine(cdrip::IAudioCD* disc) {
    char artist[256] = {}, title[256] = {};
    disc->GetArtist(artist, sizeof(artist));
    disc->GetTitle(title, sizeof(title));
    std::string line = Format("CDDB id %08X", static_cast<unsigned>(disc->GetDiscId()));
    if (artist[0] || title[0])
        line = std::string(artist) + " / " + title + ", " + line;
    return line;
}

int ListDrives(Console& console) {
    ComRef<cdrip::IAudioCDDevices> devices;
    if (!OpenDevices(console, devices))
        return 1;
    int count = devices->GetCount(0);
    if (count == 0)
        printf("no CD drives\n");
    for (int i = 0; i < count; ++i) {
        char name[256] = {};
        devices->GetName(i, name, sizeof(name));
        printf("%s\n", name);
        ComRef<cdrip::IAudioCD> disc;
        if (devices->GetCD(i, disc.put()) != S_OK)
            continue;
        disc->RefreshToc();
        std::vector<Track> tracks = ListTracks(disc.get());
        if (tracks.empty()) {
            printf("    no audio disc\n");
            continue;
        }
        printf("    %s\n", DiscLine(disc.get()).c_str());
        for (const Track& track : tracks)
            printf("    %02u  %9s  %s\n", track.record.number, Duration(track.record.length).c_str(),
                   track.title.c_str());
    }
    return 0;
}

// One line of a track's entry in the rip log: the name in a column of its own.
std::string Field(const char* name, const std::string& value) {
    return Format("  %-15s  %s\n", name, value.c_str());
}

std::string RipLog(cdrip::IAudioCD* disc, const std::string& driveName, const Options& options,
                   const std::vector<Track*>& ripped, const JobRunner& runner) {
    std::string log = "txconv rip log\n\n";
    log += "Drive      " + driveName + "\n";
    log += "Disc       " + DiscLine(disc) + "\n";
    log += "Format     " + options.format + "\n\n";
    for (size_t i = 0; i < ripped.size(); ++i) {
        const Track& track = *ripped[i];
        const cdrip::TrackRecord& record = track.record;
        log += Format("Track %02u  %s\n", record.number, track.title.c_str());
        log += Field("output", runner.Output(i).empty() ? "none" : runner.Output(i));
        log += Field("result", runner.Done(i) ? "ripped" : "not ripped");
        ComRef<cdrip::IAudioCDTrackReport> reporter;
        cdrip::TrackReadReport report = {};
        report.size = sizeof(report);
        if (!track.source ||
            track.source->QueryInterface(cdrip::IID_IAudioCDTrackReport, reporter.put_void()) != S_OK ||
            reporter->GetReadReport(&report) != S_OK || report.path == 0) {
            log += Field("read path", "not read") + "\n";
            continue;
        }
        log += Field("read path", report.path == 1 ? "CD access layer (direct)"
                                                   : Format("drive engine (secure), jitter correction %s",
                                                            report.jitterCorrection ? "on" : "off"));
        log += Field("frames", Format("%u of %u from LBA %u (%s)", report.framesDelivered, record.length,
                                      report.firstFrame, Duration(report.framesDelivered).c_str()));
        if (report.path == 2) {
            log += Field("frames re-read", Format("%u", report.framesReread));
            std::string silenced = Format("%u", report.silencedCount);
            for (uint32_t k = 0; k < report.silencedCount && k < 32; ++k)
                silenced += Format("%s%u", k ? ", " : " at LBA ", report.silenced[k]);
            if (report.silencedCount > 32)
                silenced += ", ...";
            log += Field("silenced frames", silenced);
        }
        log += Field("CRC32", Format("%08X", report.crc32));
        if (report.firstFrame == record.start && report.framesDelivered == record.length) {
            log += Field("AccurateRip v1", Format("%08X", report.accurateRipV1));
            log += Field("AccurateRip v2", Format("%08X", report.accurateRipV2));
        } else {
            log += Field("AccurateRip", "none: only part of the track was read");
        }
        log += "\n";
    }
    return log;
}

} // namespace

int RunCd(const Options& options, Console& console) {
    VirtualDrive virtualDrive;
    if (!options.cd.virtualDrive.empty()) {
        std::string error;
        if (!FileExists(options.cd.virtualDrive))
            error = "--virtual-drive: no such disc image " + options.cd.virtualDrive;
        else
            virtualDrive.Start(FullPath(options.cd.virtualDrive), options.cd.virtualDriveConfig, error);
        if (!error.empty()) {
            console.Report("error", "", error);
            return 2;
        }
    }
    if (options.cd.drive < 0)
        return ListDrives(console);

    ComRef<cdrip::IAudioCDDevices> devices;
    if (!OpenDevices(console, devices))
        return 1;
    const std::string driveText = Format("%c:", 'A' + options.cd.drive);
    ComRef<cdrip::IAudioCD> disc;
    if (devices->GetCDByLetter(options.cd.drive, disc.put()) != S_OK) {
        console.Report("error", "", "no CD drive " + driveText + " (txconv --cd lists them)");
        return 2;
    }
    char driveName[256] = {};
    disc->GetName(driveName);
    disc->RefreshToc();
    std::vector<Track> tracks = ListTracks(disc.get());
    if (tracks.empty()) {
        console.Report("error", "", "no audio disc in " + driveText);
        return 1;
    }
    // The entry found names and tags the outputs, or is the base of a submission; the edits of
    // the command line go over it.
    const CddbOptions& cddb = options.cd.cddb;
    if (cddb.enabled && LookUpDisc(console, disc.get(), cddb) == LookupResult::Stopped)
        return 2;
    if (!ApplyEdits(console, disc.get(), cddb))
        return 2;
    if (cddb.submit)
        return SubmitDisc(console, disc.get(), cddb) ? 0 : 1;
    tracks = ListTracks(disc.get());
    std::vector<Track*> chosen;
    if (options.cd.tracks.empty()) {
        for (Track& track : tracks)
            chosen.push_back(&track);
    }
    for (int number : options.cd.tracks) {
        auto it = std::find_if(tracks.begin(), tracks.end(),
                               [&](const Track& track) { return track.record.number == number; });
        if (it == tracks.end()) {
            console.Report("error", "",
                           Format("the disc in %s has no audio track %d", driveText.c_str(), number));
            return 2;
        }
        chosen.push_back(&*it);
    }

    // The reading settings for this run; the library reads them when a track is opened.
    std::vector<std::unique_ptr<ScopedSetting>> settings;
    settings.push_back(
        std::make_unique<ScopedSetting>("Settings", "NoGoldenhawk", options.cd.secure ? 0 : 1));
    const struct {
        const char* key;
        int value;
        bool set;
    } kReading[] = {
        {"ReadRetry", options.cd.retries, options.cd.retries >= 0},
        {"ErrorMode", options.cd.errorMode, options.cd.errorMode >= 0},
        {"JitterCorrection", options.cd.jitter, options.cd.jitter >= 0},
        {"ReadingSpeed", options.cd.speed, options.cd.speed > 0},
    };
    for (const auto& setting : kReading)
        if (setting.set)
            settings.push_back(std::make_unique<ScopedSetting>("AudioCD", setting.key, setting.value));

    // One drive reads one track at a time.
    Options ripOptions = options;
    ripOptions.jobs = 1;
    if (ripOptions.scheme.empty()) {
        ripOptions.scheme = "<tracknum> <title>";
        if (ripOptions.outputDir.empty())
            ripOptions.outputDir = ".";
    }
    JobRunner runner(ripOptions, console);
    if (!runner.Prepare())
        return 2;
    runner.SetRemovePartialOutputs(true);
    for (Track* track : chosen) {
        runner.AddSource(Format("%s track %02u", driveText.c_str(), track->record.number),
                         [track](ComRef<IConvertSource>& out) {
                             if (!track->source)
                                 return false;
                             track->source->AddRef();
                             *out.put() = track->source.get();
                             return true;
                         });
    }
    int status = runner.Run();

    std::string log = RipLog(disc.get(), driveName, ripOptions, chosen, runner);
    fputs(log.c_str(), stdout);
    std::string dir;
    for (size_t i = 0; i < runner.Count() && dir.empty(); ++i)
        if (!runner.Output(i).empty())
            dir = runner.Output(i).substr(0, runner.Output(i).find_last_of('\\'));
    if (!dir.empty()) {
        std::string path = JoinPath(dir, "txconv-rip.log");
        FILE* file = fopen(path.c_str(), "wb");
        bool written = file && fwrite(log.data(), 1, log.size(), file) == log.size();
        if (file && fclose(file) != 0)
            written = false;
        if (written)
            console.Report("info", "", "rip log written to " + path);
        else
            console.Report("error", "", "cannot write the rip log " + path);
    }
    return status;
}

} // namespace txconv
