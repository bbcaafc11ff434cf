// The CD drives of txconv: the library's drive list, and the CD bench's virtual drive for
// machines without a drive.
#pragma once

#include "ComRef.h"
#include "Console.h"

#include "TrelvoxCD.h"

#include <string>

namespace txconv {

// The stand-in ASPI manager from beside txconv.exe with a drive list of one drive (adapter 0,
// target 1) in a temporary file, deleted when this goes.
class VirtualDrive {
public:
    VirtualDrive() = default;
    ~VirtualDrive();
    VirtualDrive(const VirtualDrive&) = delete;
    VirtualDrive& operator=(const VirtualDrive&) = delete;

    // disc: the drive list's disc field as the bench reads it (a cue sheet's full path);
    // settings: a settings file, or empty.
    bool Start(const std::string& disc, const std::string& settings, std::string& error);

private:
    std::string m_config;
};

// The library's drive list; false after reporting why there is none.
bool OpenDevices(Console& console, ComRef<cdrip::IAudioCDDevices>& devices);

} // namespace txconv
