#pragma once

#include <windows.h>

namespace trelvox {

// Opens (creating as needed) HKCU\Software\Belvonix\Harvane and keeps it for the process.
// Returns false if the root cannot be opened; reads and writes then fail.
bool OpenSettingsRoot();

// Reads an integer setting, returning fallback when it is missing.
int ReadSettingInt(const char* section, const char* key, int fallback);

} // namespace trelvox
