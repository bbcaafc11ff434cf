#include "SettingsStore.h"

#include "Handles.h"
#include "Trelvox.h"

#include <string.h>

namespace {

// Written once, by the opening step, before other use; never closed.
HKEY g_root = nullptr;

constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;
constexpr DWORD kStringBufferSize = 1024;

} // namespace

namespace trelvox {

bool OpenSettingsRoot() {
    if (g_root)
        return true;
    HKEY software = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, kAccess, &software) != ERROR_SUCCESS)
        return false;
    trelvox::UniqueRegKey softwareKey(software);
    HKEY company = nullptr;
    if (RegCreateKeyExA(software, "Belvonix", 0, nullptr, 0, kAccess, nullptr, &company, nullptr) !=
        ERROR_SUCCESS)
        return false;
    trelvox::UniqueRegKey companyKey(company);
    HKEY product = nullptr;
    if (RegCreateKeyExA(company, "Harvane", 0, nullptr, 0, kAccess, nullptr, &product, nullptr) !=
        ERROR_SUCCESS)
        return false;
    g_root = product;
    return true;
}

int ReadSettingInt(const char* section, const char* key, int fallback) {
    int value = fallback;
    GetProfileIntA(section, key, &value);
    return value;
}

} // namespace trelvox

extern "C" {

HKEY __cdecl GetSectionKey(const char* section) {
    if (!g_root || !section)
        return nullptr;
    HKEY key = nullptr;
    if (RegCreateKeyExA(g_root, section, 0, nullptr, 0, kAccess, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

bool __cdecl GetProfileBinary(const char* section, const char* key, void* data, uint32_t* size) {
    if (!size)
        return false;
    trelvox::UniqueRegKey sectionKey(GetSectionKey(section));
    if (!sectionKey)
        return false;
    DWORD length = *size;
    if (RegQueryValueExA(sectionKey.get(), key, nullptr, nullptr, static_cast<BYTE*>(data), &length) !=
        ERROR_SUCCESS)
        return false;
    *size = length;
    return true;
}

bool __cdecl PutProfileInt(const char* section, const char* key, int value) {
    trelvox::UniqueRegKey sectionKey(GetSectionKey(section));
    if (!sectionKey)
        return false;
    DWORD data = static_cast<DWORD>(value);
    return RegSetValueExA(sectionKey.get(), key, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                          sizeof(data)) == ERROR_SUCCESS;
}

bool __cdecl PutProfileString(const char* section, const char* key, const char* value) {
    if (!key) {
        // Deleting the whole section; the root stays open.
        if (!g_root || !section)
            return false;
        return RegDeleteKeyA(g_root, section) == ERROR_SUCCESS;
    }
    trelvox::UniqueRegKey sectionKey(GetSectionKey(section));
    if (!sectionKey)
        return false;
    if (!value)
        return RegDeleteValueA(sectionKey.get(), key) == ERROR_SUCCESS;
    return RegSetValueExA(sectionKey.get(), key, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>(strlen(value) + 1)) == ERROR_SUCCESS;
}

bool __cdecl PutProfileBinary(const char* section, const char* key, const void* data, uint32_t size) {
    trelvox::UniqueRegKey sectionKey(GetSectionKey(section));
    if (!sectionKey)
        return false;
    return RegSetValueExA(sectionKey.get(), key, 0, REG_BINARY, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

char* __cdecl TXTempPath(char* path) {
    if (!path)
        return path;
    DWORD length = GetTempPathA(MAX_PATH, path);
    if (length == 0 || length >= MAX_PATH)
        path[0] = '\0';
    // The reader fills at most kStringBufferSize bytes, terminator included.
    char configured[kStringBufferSize];
    if (GetProfileStringA("Settings", "TempPath", configured)) {
        size_t copy = strlen(configured);
        if (copy > MAX_PATH - 1)
            copy = MAX_PATH - 1;
        memcpy(path, configured, copy);
        path[copy] = '\0';
    }
    return path;
}

} // extern "C"

bool __cdecl GetProfileIntA(const char* section, const char* key, int* value) {
    if (!value)
        return false;
    trelvox::UniqueRegKey sectionKey(GetSectionKey(section));
    if (!sectionKey)
        return false;
    // At most four bytes of any type; a shorter value only overwrites its own bytes.
    int data = *value;
    DWORD length = sizeof(data);
    if (RegQueryValueExA(sectionKey.get(), key, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &length) !=
        ERROR_SUCCESS)
        return false;
    *value = data;
    return true;
}

bool __cdecl GetProfileStringA(const char* section, const char* key, char* value) {
    if (!value)
        return false;
    trelvox::UniqueRegKey sectionKey(GetSectionKey(section));
    if (!sectionKey)
        return false;
    // Up to 1023 characters and the terminator. Registry values need not end in a terminator:
    // a shorter one is terminated here, and 1024 characters without one are too long, as they
    // are with one, so that the caller's 1024 bytes always hold the result.
    char buffer[kStringBufferSize];
    DWORD length = kStringBufferSize;
    if (RegQueryValueExA(sectionKey.get(), key, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &length) !=
        ERROR_SUCCESS)
        return false;
    if (length == kStringBufferSize && buffer[length - 1] != '\0')
        return false;
    if (length < kStringBufferSize)
        buffer[length] = '\0';
    strcpy(value, buffer);
    return true;
}
