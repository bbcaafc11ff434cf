// The drive engine's results: a code and a sub-code, and their texts (see CdEngine.h).
#pragma once

#include <string>

namespace cdengine {

enum ErrorCode : int {
    kOk = 0,
    kErrNoAspi = -1,         // no ASPI manager: GetInitError adds the help link for this code
    kErrAspiIncomplete = -2, // the manager lacks an entry point; subCode names which
    kErrNotStarted = -3,     // the engine has not been started
    kErrCommand = -4,        // a command failed; subCode = senseKey << 16 | asc << 8 | ascq
    kErrNoDisc = -5,         // the drive holds no disc, or its table of contents is unreadable
    kErrBadArgument = -6,    // a size, count or speed the engine cannot use
    kErrOutOfMemory = -7,
    kErrTransferSize = -16, // the ASPI manager refused the transfer size; subCode = its limit
    kErrAborted = -17,      // the abort event was set; ErrorText gives "" for it
    kErrRead = -18,         // a read failed; subCode = senseKey << 16 | asc << 8 | ascq
    kErrSync = -19,         // jitter correction lost its reference frame
    // Writing (Recorder.h).
    kErrNotWriter = -32,      // the device does not write CD-R discs
    kErrNotBlank = -33,       // no blank disc; subCode = the disc's status (1..3, DiscSpace) or the sense
    kErrDiscTooSmall = -34,   // the layout does not fit; subCode = the disc's capacity in frames
    kErrTrackFile = -35,      // a track file cannot be opened or read; subCode = the track number
    kErrWriteMode = -36,      // the drive refused the write parameters or speed; subCode = the sense
    kErrCueSheet = -37,       // the drive refused the cue sheet; subCode = the sense
    kErrWrite = -38,          // a WRITE failed; subCode = the sense
    kErrBufferUnderrun = -39, // the drive's buffer ran empty while writing; subCode = the sense
    kErrCloseSession = -40,   // closing the session failed; subCode = the sense
    kErrNoTestWrite = -41,    // test mode was asked of a drive that has none
    kErrNotImplemented = -42, // a kind of recording the engine does not write (ISO 9660 discs)
    kErrCdTextTooLong = -43,  // the CD-Text does not fit into the lead-in; subCode = packs needed
};

struct Status {
    int code = kOk;
    int subCode = 0;
    explicit operator bool() const { return code == kOk; }
};

// The text of an engine code: "" for kOk and kErrAborted.
std::string ErrorText(int code);
// What the sub-code adds (the sense text of a command or read failure, the manager's limit);
// "" when there is nothing to add.
std::string SubCodeText(int code, int subCode);

} // namespace cdengine
