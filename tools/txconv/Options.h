// The command line of txconv, parsed into one record. Parsing is pure: it touches no file and
// calls nothing of the library, so that the rules can be tested on their own.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

namespace txconv {

enum class NormalizeMode {
    Off,
    Track, // each file to full scale by its own peak
    Album, // every file by the one gain that brings the loudest of them to full scale
    Gain,  // every file by the caller's gain factor
};

enum class OverwriteAnswer {
    Ask, // ask on the console when there is one, else refuse
    Yes,
    No,
};

// One --opt NAME[=VALUE]: handed to the destination's SetOption as it stands.
struct DestinationOption {
    std::string name;
    std::string value;
    bool hasValue = false;
};

// The disc's titles from CDDB for a rip, or a corrected entry to submit.
struct CddbOptions {
    bool enabled = true; // --no-cddb clears it
    std::string server;  // --cddb HOST[:PORT][/SCRIPT]: "CDDB_Server" (and "CDDB_CGI")
    std::string script;  // the /SCRIPT of --cddb; empty: the stored one
    int match = 0;       // --cddb-match N: the N-th match (1-based); 0: ask
    bool submit = false; // --cddb-submit
    std::string email;   // --cddb-email: "CDDB_EMailAddress"
    std::string title;   // --title
    std::string artist;  // --artist
    std::vector<std::pair<int, std::string>> trackTitles; // --track-title N=TEXT (1-based)
};

// Ripping audio CDs: --cd and the secure-read settings. Unset values (-1) leave the stored
// settings as they are.
struct CdOptions {
    bool enabled = false;           // --cd: list the drives, or rip from drive
    int drive = -1;                 // 0 = A:; -1: none named (list the drives)
    std::vector<int> tracks;        // track numbers, in order; empty: every audio track
    bool secure = false;            // --secure: the drive engine's secure read
    int retries = -1;               // --retries N: "ReadRetry"
    int errorMode = -1;             // --error-mode[=N]: "ErrorMode"
    int jitter = -1;                // --jitter drive|off|on: "JitterCorrection" 0, 1, 2
    int speed = -1;                 // --speed N: "ReadingSpeed" (--burn: write speed), times 1x
    std::string virtualDrive;       // --virtual-drive CUE: the CD bench's drive with this disc
    std::string virtualDriveConfig; // --drive-settings FILE: how that drive misbehaves
    CddbOptions cddb;
};

// Writing an audio CD: --burn and its switches. The speed and the virtual drive come from
// CdOptions; with --burn, --virtual-drive names where the bench keeps the written disc.
struct BurnOptions {
    int drive = -1;         // --burn D: (0 = A:); -1: no burning
    bool testWrite = false; // --test-write: "BurnCD" "TestMode" for the run
    bool burnProof = false; // --burn-proof: buffer-underrun protection
};

struct Options {
    std::string format = "Wave";
    std::string outputDir; // empty: the scheme decides
    std::string scheme;    // empty: the default scheme
    int32_t startMs = -1;  // -1: from the beginning
    int32_t endMs = -1;    // -1: to the end
    bool trimStart = false;
    bool trimEnd = false;
    int32_t fadeInMs = 0;
    int32_t fadeOutMs = 0;
    NormalizeMode normalize = NormalizeMode::Off;
    double gain = 0.0; // NormalizeMode::Gain only
    bool bpm = false;
    std::vector<DestinationOption> destinationOptions;
    unsigned jobs = 0; // 0: one per processor
    OverwriteAnswer overwrite = OverwriteAnswer::Ask;
    bool listFormats = false;
    bool help = false;
    CdOptions cd;
    BurnOptions burn;
    std::vector<std::string> tagFiles;
    std::string play;     // --play FILE: play it instead of converting
    std::string playlist; // --playlist OUT.m3u: write the converted files as a playlist
    std::vector<std::string> files;
};

// Parses the arguments after the program name. On failure returns false with a one-line
// reason in error (without a "txconv:" prefix or newline).
bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

// The help text, one option per line.
const char* UsageText();

} // namespace txconv
