#include "Options.h"

#include <errno.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

namespace txconv {

namespace {

enum class Argument { None, Required, Optional };

struct OptionSpec {
    const char* name; // long name without the dashes
    char shortName;   // 0: none
    Argument argument;
};

// Optional arguments are only taken when written as --name=VALUE, as getopt does: a word
// after "--normalize" is a file.
// clang-format off
constexpr OptionSpec kOptions[] = {
    {"format", 'f', Argument::Required},  {"output-dir", 'o', Argument::Required},
    {"scheme", 0, Argument::Required},    {"start", 0, Argument::Required},
    {"end", 0, Argument::Required},       {"trim", 0, Argument::None},
    {"trim-start", 0, Argument::None},    {"trim-end", 0, Argument::None},
    {"fade-in", 0, Argument::Required},   {"fade-out", 0, Argument::Required},
    {"normalize", 0, Argument::Optional}, {"bpm", 0, Argument::None},
    {"opt", 0, Argument::Required},       {"jobs", 'j', Argument::Required},
    {"yes", 'y', Argument::None},         {"no", 'n', Argument::None},
    {"formats", 0, Argument::None},       {"tags", 0, Argument::Required},
    {"help", 'h', Argument::None},        {"play", 0, Argument::Required},
    {"playlist", 0, Argument::Required},  {"cd", 0, Argument::Optional},
    {"tracks", 0, Argument::Required},    {"secure", 0, Argument::None},
    {"retries", 0, Argument::Required},   {"error-mode", 0, Argument::Optional},
    {"jitter", 0, Argument::Required},    {"speed", 0, Argument::Required},
    {"virtual-drive", 0, Argument::Required},
    {"drive-settings", 0, Argument::Required},
    {"cddb", 0, Argument::Required},      {"no-cddb", 0, Argument::None},
    {"cddb-match", 0, Argument::Required},
    {"cddb-submit", 0, Argument::None},   {"cddb-email", 0, Argument::Required},
    {"title", 0, Argument::Required},     {"artist", 0, Argument::Required},
    {"track-title", 0, Argument::Required},
    {"burn", 0, Argument::Required},      {"test-write", 0, Argument::None},
    {"burn-proof", 0, Argument::None},
};
// clang-format on

const OptionSpec* FindLong(const std::string& name) {
    for (const OptionSpec& spec : kOptions)
        if (name == spec.name)
            return &spec;
    return nullptr;
}

const OptionSpec* FindShort(char name) {
    for (const OptionSpec& spec : kOptions)
        if (spec.shortName && spec.shortName == name)
            return &spec;
    return nullptr;
}

// A whole decimal number from 0 to max; no sign, no blanks, nothing after the digits.
bool ParseCount(const std::string& text, long max, long& value) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long long parsed = strtoll(text.c_str(), nullptr, 10);
    if (parsed > max)
        return false;
    value = static_cast<long>(parsed);
    return true;
}

bool ParseMilliseconds(const std::string& name, const std::string& text, int32_t& value, std::string& error) {
    long parsed = 0;
    if (!ParseCount(text, INT32_MAX, parsed)) {
        error = "--" + name + " needs a whole number of milliseconds, not '" + text + "'";
        return false;
    }
    value = static_cast<int32_t>(parsed);
    return true;
}

// "D:" or "d:\", as a drive is named on the command line; -1 when text is not one.
int DriveLetterOf(const std::string& text) {
    if ((text.size() != 2 && !(text.size() == 3 && (text[2] == '\\' || text[2] == '/'))) || text[1] != ':')
        return -1;
    char letter = static_cast<char>(text[0] & ~0x20);
    return letter >= 'A' && letter <= 'Z' ? letter - 'A' : -1;
}

// "1-3,7": track numbers from 1 to 99, ranges ascending, in the order given.
bool ParseTracks(const std::string& text, std::vector<int>& tracks, std::string& error) {
    size_t start = 0;
    do {
        size_t comma = text.find(',', start);
        std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        start = comma == std::string::npos ? std::string::npos : comma + 1;
        size_t dash = part.find('-');
        long from = 0, to = 0;
        bool ok = dash == std::string::npos ? ParseCount(part, 99, from) && (to = from, true)
                                            : ParseCount(part.substr(0, dash), 99, from) &&
                                                  ParseCount(part.substr(dash + 1), 99, to);
        if (!ok || from < 1 || to < from) {
            error = "--tracks takes numbers from 1 to 99 and ranges like 1-3,7, not '" + text + "'";
            return false;
        }
        for (long track = from; track <= to; ++track)
            tracks.push_back(static_cast<int>(track));
    } while (start != std::string::npos);
    return true;
}

bool ParseNormalize(const std::string& text, Options& options, std::string& error) {
    if (text == "track") {
        options.normalize = NormalizeMode::Track;
        return true;
    }
    if (text == "album") {
        options.normalize = NormalizeMode::Album;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    double gain = strtod(text.c_str(), &end);
    if (text.empty() || *end || errno || !isfinite(gain) || gain <= 0.0) {
        error = "--normalize takes track, album or a gain factor above 0, not '" + text + "'";
        return false;
    }
    options.normalize = NormalizeMode::Gain;
    options.gain = gain;
    return true;
}

bool ParseDestinationOption(const std::string& text, Options& options, std::string& error) {
    // "--opt --bitrate=128" reads like the option it passes on; take the dashes off.
    size_t start = text.find_first_not_of('-');
    size_t equals = text.find('=');
    DestinationOption option;
    option.name = text.substr(start == std::string::npos ? text.size() : start,
                              equals == std::string::npos ? std::string::npos : equals - start);
    if (option.name.empty()) {
        error = "--opt needs NAME or NAME=VALUE, not '" + text + "'";
        return false;
    }
    if (equals != std::string::npos) {
        option.value = text.substr(equals + 1);
        option.hasValue = true;
    }
    options.destinationOptions.push_back(option);
    return true;
}

bool Apply(const OptionSpec& spec, const std::string& value, bool hasValue, Options& options,
           std::string& error) {
    const std::string name = spec.name;
    long count = 0;
    if (name == "format") {
        options.format = value;
    } else if (name == "output-dir") {
        if (value.empty()) {
            error = "--output-dir needs a directory";
            return false;
        }
        options.outputDir = value;
    } else if (name == "scheme") {
        if (value.empty()) {
            error = "--scheme needs a naming scheme";
            return false;
        }
        options.scheme = value;
    } else if (name == "start") {
        return ParseMilliseconds(name, value, options.startMs, error);
    } else if (name == "end") {
        return ParseMilliseconds(name, value, options.endMs, error);
    } else if (name == "trim") {
        options.trimStart = options.trimEnd = true;
    } else if (name == "trim-start") {
        options.trimStart = true;
    } else if (name == "trim-end") {
        options.trimEnd = true;
    } else if (name == "fade-in") {
        return ParseMilliseconds(name, value, options.fadeInMs, error);
    } else if (name == "fade-out") {
        return ParseMilliseconds(name, value, options.fadeOutMs, error);
    } else if (name == "normalize") {
        if (!hasValue)
            options.normalize = NormalizeMode::Track;
        else
            return ParseNormalize(value, options, error);
    } else if (name == "bpm") {
        options.bpm = true;
    } else if (name == "opt") {
        return ParseDestinationOption(value, options, error);
    } else if (name == "jobs") {
        if (!ParseCount(value, 64, count) || count == 0) {
            error = "--jobs needs a number from 1 to 64, not '" + value + "'";
            return false;
        }
        options.jobs = static_cast<unsigned>(count);
    } else if (name == "yes" || name == "no") {
        OverwriteAnswer answer = name == "yes" ? OverwriteAnswer::Yes : OverwriteAnswer::No;
        if (options.overwrite != OverwriteAnswer::Ask && options.overwrite != answer) {
            error = "-y and -n contradict each other";
            return false;
        }
        options.overwrite = answer;
    } else if (name == "formats") {
        options.listFormats = true;
    } else if (name == "tags") {
        options.tagFiles.push_back(value);
    } else if (name == "help") {
        options.help = true;
    } else if (name == "play") {
        options.play = value;
    } else if (name == "playlist") {
        if (value.size() < 4 || value.compare(value.size() - 4, 4, ".m3u") != 0) {
            error = "--playlist needs a file name ending in .m3u, not '" + value + "'";
            return false;
        }
        options.playlist = value;
    } else if (name == "cd") {
        options.cd.enabled = true;
        if (hasValue && (options.cd.drive = DriveLetterOf(value)) < 0) {
            error = "--cd takes a drive such as D:, not '" + value + "'";
            return false;
        }
    } else if (name == "tracks") {
        return ParseTracks(value, options.cd.tracks, error);
    } else if (name == "secure") {
        options.cd.secure = true;
    } else if (name == "retries") {
        if (!ParseCount(value, 100, count)) {
            error = "--retries needs a number from 0 to 100, not '" + value + "'";
            return false;
        }
        options.cd.retries = static_cast<int>(count);
    } else if (name == "error-mode") {
        if (!hasValue) {
            options.cd.errorMode = 1;
        } else if (!ParseCount(value, 1, count)) {
            error = "--error-mode takes 0 (fail) or 1 (silence), not '" + value + "'";
            return false;
        } else {
            options.cd.errorMode = static_cast<int>(count);
        }
    } else if (name == "jitter") {
        const char* const kModes[] = {"drive", "off", "on"};
        for (int mode = 0; mode < 3; ++mode)
            if (value == kModes[mode])
                options.cd.jitter = mode;
        if (options.cd.jitter < 0) {
            error = "--jitter takes drive, off or on, not '" + value + "'";
            return false;
        }
    } else if (name == "speed") {
        if (!ParseCount(value, 99, count) || count == 0) {
            error = "--speed needs a read speed from 1 to 99 (times the audio speed), not '" + value + "'";
            return false;
        }
        options.cd.speed = static_cast<int>(count);
    } else if (name == "virtual-drive") {
        options.cd.virtualDrive = value;
    } else if (name == "drive-settings") {
        options.cd.virtualDriveConfig = value;
    } else if (name == "cddb") {
        const size_t slash = value.find('/');
        options.cd.cddb.server = value.substr(0, slash);
        options.cd.cddb.script = slash == std::string::npos ? std::string() : value.substr(slash);
        if (options.cd.cddb.server.empty()) {
            error = "--cddb needs a server such as gnudb.gnudb.org:80, not '" + value + "'";
            return false;
        }
    } else if (name == "no-cddb") {
        options.cd.cddb.enabled = false;
    } else if (name == "cddb-match") {
        if (!ParseCount(value, 99, count) || count == 0) {
            error = "--cddb-match needs a match number from 1, not '" + value + "'";
            return false;
        }
        options.cd.cddb.match = static_cast<int>(count);
    } else if (name == "cddb-submit") {
        options.cd.cddb.submit = true;
    } else if (name == "cddb-email") {
        options.cd.cddb.email = value;
    } else if (name == "title") {
        options.cd.cddb.title = value;
    } else if (name == "artist") {
        options.cd.cddb.artist = value;
    } else if (name == "track-title") {
        const size_t equals = value.find('=');
        if (equals == std::string::npos || !ParseCount(value.substr(0, equals), 99, count) || count == 0) {
            error = "--track-title takes N=TEXT with a track number N, not '" + value + "'";
            return false;
        }
        options.cd.cddb.trackTitles.emplace_back(static_cast<int>(count), value.substr(equals + 1));
    } else if (name == "burn") {
        if ((options.burn.drive = DriveLetterOf(value)) < 0) {
            error = "--burn takes a drive such as D:, not '" + value + "'";
            return false;
        }
    } else if (name == "test-write") {
        options.burn.testWrite = true;
    } else if (name == "burn-proof") {
        options.burn.burnProof = true;
    }
    return true;
}

} // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    bool onlyFiles = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyFiles || arg.size() < 2 || arg[0] != '-') {
            options.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        const OptionSpec* spec = nullptr;
        std::string value;
        bool hasValue = false;
        std::string shown; // the option as the user wrote it, for messages
        if (arg[1] == '-') {
            size_t equals = arg.find('=');
            shown = arg.substr(0, equals);
            spec = FindLong(arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2));
            if (spec && equals != std::string::npos) {
                if (spec->argument == Argument::None) {
                    error = shown + " takes no value";
                    return false;
                }
                value = arg.substr(equals + 1);
                hasValue = true;
            }
        } else {
            // Short options stand alone ("-y"), or carry their value attached ("-fMP3").
            shown = arg.substr(0, 2);
            spec = FindShort(arg[1]);
            if (spec && arg.size() > 2) {
                if (spec->argument != Argument::Required) {
                    error = "unknown option " + arg;
                    return false;
                }
                value = arg.substr(2);
                hasValue = true;
            }
        }
        if (!spec) {
            error = "unknown option " + shown;
            return false;
        }
        // "--cd D:" reads naturally; any other word after --cd is not its value.
        if (!hasValue && std::string(spec->name) == "cd" && i + 1 < args.size() &&
            DriveLetterOf(args[i + 1]) >= 0) {
            value = args[++i];
            hasValue = true;
        }
        if (spec->argument == Argument::Required && !hasValue) {
            if (i + 1 >= args.size()) {
                error = shown + " needs a value";
                return false;
            }
            value = args[++i];
            hasValue = true;
        }
        if (!Apply(*spec, value, hasValue, options, error))
            return false;
    }
    const bool burning = options.burn.drive >= 0;
    if (!burning && (options.burn.testWrite || options.burn.burnProof)) {
        error = "--test-write and --burn-proof go with --burn";
        return false;
    }
    if (burning && (options.cd.enabled || !options.tagFiles.empty() || !options.play.empty())) {
        error = "--burn writes the files named to a CD; it goes without --cd, --tags and --play";
        return false;
    }
    if (burning && options.files.empty()) {
        error = "--burn needs the files to write: --burn D: FILE...";
        return false;
    }
    if (!options.cd.enabled && (!options.cd.tracks.empty() || options.cd.secure || options.cd.retries >= 0 ||
                                options.cd.errorMode >= 0 || options.cd.jitter >= 0 ||
                                (!burning && (options.cd.speed >= 0 || !options.cd.virtualDrive.empty())))) {
        error =
            "--tracks, --secure, --retries, --error-mode, --jitter, --speed and --virtual-drive go with --cd "
            "(--speed and --virtual-drive also with --burn)";
        return false;
    }
    const CddbOptions& cddb = options.cd.cddb;
    const bool edits = !cddb.title.empty() || !cddb.artist.empty() || !cddb.trackTitles.empty();
    if (!options.cd.enabled && (!cddb.enabled || !cddb.server.empty() || cddb.match || cddb.submit ||
                                !cddb.email.empty() || (edits && !burning))) {
        error = "the CDDB options and --title, --artist, --track-title go with --cd (the last three also "
                "with --burn)";
        return false;
    }
    if (cddb.submit && options.cd.drive < 0) {
        error = "--cddb-submit submits the entry of one drive's disc: --cd D: --cddb-submit";
        return false;
    }
    if (!options.cd.virtualDriveConfig.empty() && options.cd.virtualDrive.empty()) {
        error = "--drive-settings goes with --virtual-drive";
        return false;
    }
    if (options.cd.enabled && !options.files.empty()) {
        error = "--cd rips from a drive; name no files with it";
        return false;
    }
    if (options.startMs >= 0 && options.endMs >= 0 && options.endMs <= options.startMs) {
        error = "--end must lie after --start";
        return false;
    }
    return true;
}

const char* UsageText() {
    return "usage: txconv [options] FILE...\n"
           "Converts each FILE (a .m3u or .pls playlist: each file it names); with no FILE,\n"
           "converts a short generated demo signal.\n"
           "  -f, --format NAME       output format by name (default Wave; see --formats)\n"
           "  -o, --output-dir DIR    write the outputs into DIR\n"
           "  --scheme SCHEME         output naming scheme, e.g. \"<sourcedir>\\<artist> - <title>\"\n"
           "                          (default \"<sourcedir>\\<sourcename>\", or \"<sourcename>\" with -o)\n"
           "  --start MS, --end MS    convert only this range, in milliseconds\n"
           "  --trim                  drop silence at both ends (--trim-start, --trim-end: one end)\n"
           "  --fade-in MS, --fade-out MS\n"
           "                          fade over this many milliseconds\n"
           "  --normalize[=track|album|GAIN]\n"
           "                          track: each file to full scale (the default);\n"
           "                          album: one common gain for all files; GAIN: this factor\n"
           "  --bpm                   measure the tempo and tag it (otherwise the stored\n"
           "                          BPMAnalysis setting applies)\n"
           "  --opt NAME[=VALUE]      an encoder option, e.g. --opt quality=60 (repeatable)\n"
           "  -j, --jobs N            convert N files at once (default: one per processor)\n"
           "  -y, -n                  replace existing outputs / never replace them\n"
           "                          (default: ask when there is a console, else refuse)\n"
           "  --cd [D:]               list the CD drives and their discs; with a drive, rip its\n"
           "                          tracks (outputs named \"<tracknum> <title>\" unless --scheme)\n"
           "  --tracks LIST           rip only these tracks, e.g. 1-3,7\n"
           "  --secure                read through the drive engine: retries, jitter correction\n"
           "  --retries N             further attempts of a block that fails (secure)\n"
           "  --error-mode[=1|0]      1: unreadable frames become silence; 0: the rip fails\n"
           "  --jitter drive|off|on   jitter correction (secure; default: as the drive asks)\n"
           "  --speed N               read at N times the audio speed (secure)\n"
           "  --virtual-drive CUE     rip a cue/bin or cue/wav disc image through the CD bench's\n"
           "                          virtual drive (wnaspi32.dll beside txconv.exe)\n"
           "  --drive-settings FILE   make that drive misbehave (see tools/cdbench/MmcDevice.h)\n"
           "  --cddb HOST[:PORT][/SCRIPT]\n"
           "                          look the disc up on this CDDB server (for this run)\n"
           "  --no-cddb               rip without looking the disc up\n"
           "  --cddb-match N          take the N-th of several CDDB matches (default: ask)\n"
           "  --title T, --artist A, --track-title N=T\n"
           "                          the disc's title, artist, and track N's title\n"
           "  --cddb-submit           submit the disc's entry, with those edits, to CDDB\n"
           "  --cddb-email ADDRESS    the submitter's address (for this run)\n"
           "  --burn D: FILE...       write the files to an audio CD in D: (disc-at-once, CD-Text\n"
           "                          from their title and artist tags, or --title, --artist and\n"
           "                          --track-title); --speed N writes at N\n"
           "                          times the audio speed (default: the fastest); with\n"
           "                          --virtual-drive OUT.cue, the bench's blank disc, kept as OUT.cue\n"
           "  --test-write            go through the burn with the laser off (the disc stays blank)\n"
           "  --burn-proof            buffer-underrun protection\n"
           "  --formats               list the formats\n"
           "  --tags FILE             print the tags of FILE\n"
           "  --play FILE             play FILE on the sound card (Ctrl-C stops)\n"
           "  --playlist OUT.m3u      write the converted files as a playlist\n"
           "  -h, --help              show this text\n"
           "Exit status: 0 when every file was converted, 1 when any failed, 2 for a usage\n"
           "error, 130 when cancelled with Ctrl-C.\n";
}

} // namespace txconv
