#include "CdDrives.h"

#include "Paths.h"

#include <stdio.h>

namespace txconv {

VirtualDrive::~VirtualDrive() {
    if (!m_config.empty())
        DeleteFileA(m_config.c_str());
}

bool VirtualDrive::Start(const std::string& disc, const std::string& settings, std::string& error) {
    char path[MAX_PATH];
    DWORD got = GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string self(path, got);
    std::string aspi = self.substr(0, self.find_last_of("\\/") + 1) + "wnaspi32.dll";
    char temp[MAX_PATH];
    if (!GetTempPathA(sizeof(temp), temp) || !GetTempFileNameA(temp, "vcd", 0, path)) {
        error = "--virtual-drive: cannot make a temporary file";
        return false;
    }
    m_config = path;
    std::string line = "drive 0 1 0 " + disc;
    if (!settings.empty())
        line += " " + FullPath(settings);
    FILE* file = fopen(m_config.c_str(), "w");
    if (!file || fprintf(file, "%s\n", line.c_str()) < 0 || fclose(file) != 0) {
        error = "--virtual-drive: cannot write " + m_config;
        return false;
    }
    SetEnvironmentVariableA("CDBENCH_CONFIG", m_config.c_str());
    // Wine hands out its own WNASPI32.DLL unless the process started with this one
    // preferred (WINEDLLOVERRIDES=wnaspi32=n, as ./txconv does for --virtual-drive).
    if (!FileExists(aspi)) {
        error = "--virtual-drive needs the CD bench's " + aspi + " (build the cdbench_aspi target)";
        return false;
    }
    HMODULE module = LoadLibraryA("WNASPI32.DLL");
    if (!module || !GetProcAddress(module, "CdBenchCommandLog")) {
        error = "--virtual-drive: the ASPI manager loaded is not the CD bench's; start txconv with "
                "WINEDLLOVERRIDES=wnaspi32=n (./txconv does)";
        return false;
    }
    return true;
}

bool OpenDevices(Console& console, ComRef<cdrip::IAudioCDDevices>& devices) {
    if (CreateAudioCDDevices(devices.put()) != S_OK) {
        console.Report("error", "", "the CD drive list cannot be made");
        return false;
    }
    char message[2048] = {};
    if (devices->GetInitError(message)) {
        console.Report("error", "", message);
        return false;
    }
    return true;
}

} // namespace txconv
