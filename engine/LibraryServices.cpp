#include "LibraryEntry.h"

#include "Handles.h"
#include "PathText.h"
#include "SettingsStore.h"
#include "TempFile.h"
#include "Trelvox.h"

#include <shellapi.h>
#include <string.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// Read once by InitTX, before any AddReferer.
char g_referrer[trelvox::kReferrerLength + 1] = {};
// AddReferer's result, shared by all its callers.
char g_decorated[1024];

// The library file's own path; false if it cannot be had.
bool LibraryPath(char (&path)[MAX_PATH]) {
    DWORD length = GetModuleFileNameA(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
    return length > 0 && length < MAX_PATH;
}

// Shows the wait cursor for its lifetime and then the cursor that was there before.
class WaitCursor {
public:
    WaitCursor() : m_previous(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(m_previous); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR m_previous;
};

} // namespace

namespace trelvox {

void ReadReferrer(const char* path, char (&referrer)[kReferrerLength + 1]) {
    UniqueFile file(fopen(path, "rb"));
    if (!file)
        return;
    size_t length = fread(referrer, 1, kReferrerLength, file.get());
    referrer[length] = '\0';
    // The id goes into web addresses: only ASCII letters and digits pass.
    for (size_t i = 0; i < length; ++i) {
        char c = referrer[i];
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!plain)
            referrer[i] = 'x';
    }
}

void LoadReferrer() {
    char path[MAX_PATH];
    if (!LibraryPath(path))
        return;
    std::string refPath(path, FileNamePart(path) - path);
    ReadReferrer(refPath.append("Ref.txt").c_str(), g_referrer);
}

} // namespace trelvox

extern "C" {

char* __cdecl AddReferer(const char* address) {
    trelvox::CopyTruncated(g_decorated, sizeof(g_decorated), address ? address : "");
    if (g_referrer[0]) {
        strncat(g_decorated, "?ref=", sizeof(g_decorated) - strlen(g_decorated) - 1);
        strncat(g_decorated, g_referrer, sizeof(g_decorated) - strlen(g_decorated) - 1);
    }
    return g_decorated;
}

BOOL __cdecl _SHOpen(HWND parent, const char* file, const char* parameters) {
    WaitCursor wait;
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof(info);
    info.hwnd = parent;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExA(&info);
}

void __cdecl GetTrelvoxDllDateString(char* longDate, char* shortDate) {
    char path[MAX_PATH];
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!LibraryPath(path) || !GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return;
    // The build date as the file system keeps it, in UTC.
    SYSTEMTIME time;
    if (!FileTimeToSystemTime(&data.ftLastWriteTime, &time))
        return;
    if (longDate)
        GetDateFormatA(LOCALE_SYSTEM_DEFAULT, 0, &time, "MMMM d, yyyy", longDate, 256);
    if (shortDate)
        GetDateFormatA(LOCALE_SYSTEM_DEFAULT, 0, &time, "yyMMdd", shortDate, 10);
}

BOOL __cdecl PlayEventSound(const char* event) {
    if (!event)
        return PlaySoundA(nullptr, nullptr, 0);
    char file[1024];
    if (!GetProfileStringA("Sounds", event, file))
        return FALSE;
    // Longer values could not name a file anyway.
    if (strlen(file) > MAX_PATH - 1 || !trelvox::PathExists(file) || trelvox::IsDirectory(file))
        return FALSE;
    return PlaySoundA(file, nullptr, SND_FILENAME | SND_ASYNC | SND_NOWAIT);
}

HRESULT __cdecl AddToMediaLibrary(HWND, const char* path) {
    if (trelvox::ReadSettingInt("Settings", "AddToMediaLibrary", 0) == 0)
        return S_FALSE;
    if (!path)
        return E_FAIL;
    TempFile script;
    if (!script.Create("vbs"))
        return E_FAIL;
    // The script's own first line keeps the script host from showing its errors.
    fprintf(script.get(),
            "On Error Resume Next\r\nDim Player\r\nSet Player = CreateObject(\"WMPlayer.OCX\")\r\n"
            "Player.MediaCollection.add(\"%s\")",
            path);
    if (fflush(script.get()) != 0)
        return E_FAIL;

    // The shell runs scripts by their extension; the temporary name ends in ".tmp".
    char vbsPath[MAX_PATH];
    trelvox::CopyTruncated(vbsPath, sizeof(vbsPath), script.Path());
    char* dot = strrchr(const_cast<char*>(trelvox::FileNamePart(vbsPath)), '.');
    if (!dot || dot - vbsPath + 5 > MAX_PATH)
        return E_FAIL;
    strcpy(dot, ".vbs");
    if (!CopyFileA(script.Path(), vbsPath, FALSE))
        return E_FAIL;
    trelvox::FileRemover removeVbs(vbsPath);

    WaitCursor wait;
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = vbsPath;
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExA(&info) && info.hProcess) {
        trelvox::UniqueHandle process(info.hProcess);
        WaitForSingleObject(process.get(), INFINITE);
    }
    return S_OK;
}

} // extern "C"
