// txdemo: a small window program that shows what Trelvox offers a front end's user interface:
// the encoders' settings dialogs, the frame edit dialogs (FrameDialogs.cpp), the slider
// control, and a tag editor made of the explorer tree and the metadata list view (TagEditor.cpp).
//
//   txdemo [--option NAME=VALUE]...
//          [--open wave|mp3|ogg|wma|wave-defaults|mp3-defaults|wma-defaults|slider|frame-...|tags]
//          [--folder PATH] [--shot FILE]
//
// --folder is the folder the tag editor opens on, with all its audio files selected.
// --option hands an encoder option to every destination that knows it (as txconv's --opt
// does), before anything opens. --open opens that item as if it had been chosen from the menu. --shot is for
// screenshots taken from outside: once the item's window is on screen, txdemo creates FILE.ready, waits for
// FILE.done, closes the window and ends.
#include "FrameDialogs.h"
#include "TagEditor.h"
#include "Trelvox.h"
#include "TrelvoxUI.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

enum Command : UINT {
    kWave = 100,
    kMp3,
    kOgg,
    kWma,
    kWaveDefaults,
    kMp3Defaults,
    kWmaDefaults,
    kSlider,
    kTags,
    kExit,
};

const struct {
    const char* name;
    UINT command;
} kOpenNames[] = {{"wave", kWave},
                  {"mp3", kMp3},
                  {"ogg", kOgg},
                  {"wma", kWma},
                  {"wave-defaults", kWaveDefaults},
                  {"mp3-defaults", kMp3Defaults},
                  {"wma-defaults", kWmaDefaults},
                  {"slider", kSlider},
                  {"tags", kTags}};

constexpr UINT_PTR kShotTimer = 1;
constexpr int kSliderId = 10;
constexpr int kSliderLabelId = 11;

struct App {
    HINSTANCE instance = nullptr;
    HWND main = nullptr;
    HWND sliderWindow = nullptr;
    // One destination per format, as a front end keeps them for its next conversion.
    static constexpr int kDestinations = 4;
    IConvertDestination* destinations[kDestinations] = {};
    const char* names[kDestinations] = {"Wave", "MP3", "Ogg Vorbis", "Windows Media"};
    std::vector<std::pair<std::string, std::string>> options; // --option NAME=VALUE
    std::string shot;                                         // --shot FILE, empty when not taking one
    std::string folder;                                       // --folder PATH for the tag editor
    UINT shotCommand = 0;
    bool shotReady = false;
};
App g_app;

IConvertDestination* CreateDestination(const char* name) {
    FormatRecord row = {};
    IConvertDestination* dest = nullptr;
    if (ConvGetFormatByName(&row, name) != S_OK || ConvCreateDest(&row, &dest) != S_OK)
        return nullptr;
    return dest;
}

void ShowDefaults(const char* name) {
    FormatRecord row = {};
    if (ConvGetFormatByName(&row, name) != S_OK)
        return;
    HRESULT result = ConvDefOutputSettings(g_app.main, &row);
    if (result != S_OK && result != E_ABORT) {
        char text[128];
        wsprintfA(text, "ConvDefOutputSettings gave 0x%08lX.", static_cast<unsigned long>(result));
        MessageBoxA(g_app.main, text, "txdemo", MB_ICONINFORMATION);
    }
}

void OpenSliderWindow() {
    if (g_app.sliderWindow) {
        SetForegroundWindow(g_app.sliderWindow);
        return;
    }
    // Below the main window.
    RECT main;
    GetWindowRect(g_app.main, &main);
    g_app.sliderWindow =
        CreateWindowExA(0, "TxDemoSliderWindow", "TXSlider", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                        main.left, main.bottom + 10, 320, 100, g_app.main, nullptr, g_app.instance, nullptr);
    ShowWindow(g_app.sliderWindow, SW_SHOW);
}

// The window that was opened for --shot: a dialog owned by the main window, the slider's, or
// the main window itself when nothing was opened.
HWND ShotWindow() {
    if (g_app.shotCommand == 0)
        return g_app.main;
    if (g_app.shotCommand == kSlider)
        return g_app.sliderWindow;
    if (g_app.shotCommand == kTags)
        return TagEditorWindow();
    HWND popup = GetLastActivePopup(g_app.main);
    return popup != g_app.main ? popup : nullptr;
}

void CheckShot() {
    HWND window = ShotWindow();
    if (!window || !IsWindowVisible(window))
        return;
    if (!g_app.shotReady) {
        UpdateWindow(window);
        CloseHandle(CreateFileA((g_app.shot + ".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                nullptr));
        g_app.shotReady = true;
        return;
    }
    if (GetFileAttributesA((g_app.shot + ".done").c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    KillTimer(g_app.main, kShotTimer);
    if (window == g_app.sliderWindow || window == TagEditorWindow())
        DestroyWindow(window);
    else if (window != g_app.main)
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(g_app.main, WM_CLOSE, 0, 0);
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    int y = 12;
    const char* intro = "The destinations' settings (Settings menu to change them):";
    TextOutA(dc, 12, y, intro, lstrlenA(intro));
    for (int i = 0; i < App::kDestinations; ++i) {
        y += 20;
        char settings[256] = "(not available)";
        if (g_app.destinations[i])
            g_app.destinations[i]->GetSettingsText(settings, sizeof(settings));
        char line[320];
        wsprintfA(line, "%s:   %s", g_app.names[i], settings);
        TextOutA(dc, 24, y, line, lstrlenA(line));
    }
    SelectObject(dc, font);
    EndPaint(window, &paint);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kWave:
        case kMp3:
        case kOgg:
        case kWma:
            if (IConvertDestination* dest = g_app.destinations[LOWORD(wParam) - kWave]) {
                dest->ShowSettingsDialog(window, nullptr);
                InvalidateRect(window, nullptr, TRUE);
            }
            return 0;
        case kWaveDefaults:
            ShowDefaults("Wave");
            return 0;
        case kMp3Defaults:
            ShowDefaults("MP3");
            return 0;
        case kWmaDefaults:
            ShowDefaults("Windows Media");
            return 0;
        case kSlider:
            OpenSliderWindow();
            return 0;
        case kTags:
            OpenTagEditor(g_app.instance, g_app.main, g_app.folder);
            return 0;
        case kExit:
            DestroyWindow(window);
            return 0;
        }
        if (OpenFrameDialog(window, LOWORD(wParam)))
            return 0;
        break;
    case WM_TIMER:
        if (wParam == kShotTimer)
            CheckShot();
        return 0;
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK SliderWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        HWND label =
            CreateWindowExA(0, "STATIC", "Position: 5 of 0 to 10", WS_CHILD | WS_VISIBLE, 12, 12, 280, 16,
                            window, reinterpret_cast<HMENU>(kSliderLabelId), g_app.instance, nullptr);
        SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        HWND slider = CreateWindowExA(0, TXSLIDER_CLASS, "", WS_CHILD | WS_VISIBLE, 12, 40, 280, 16, window,
                                      reinterpret_cast<HMENU>(kSliderId), g_app.instance, nullptr);
        SendMessageA(slider, TXSM_SETRANGE, 10, 0);
        SendMessageA(slider, TXSM_SETPOS, 5, 0);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == kSliderId && HIWORD(wParam) == TXSN_MOVED) {
            char text[64];
            wsprintfA(text, "Position: %d of 0 to 10",
                      static_cast<int>(SendMessageA(reinterpret_cast<HWND>(lParam), TXSM_GETPOS, 0, 0)));
            SetDlgItemTextA(window, kSliderLabelId, text);
            return 0;
        }
        break;
    case WM_DESTROY:
        g_app.sliderWindow = nullptr;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HMENU BuildMenu() {
    HMENU settings = CreatePopupMenu();
    AppendMenuA(settings, MF_STRING, kWave, "&Wave...");
    AppendMenuA(settings, MF_STRING, kMp3, "&MP3...");
    AppendMenuA(settings, MF_STRING, kOgg, "&Ogg Vorbis...");
    AppendMenuA(settings, MF_STRING, kWma, "W&indows Media...");
    AppendMenuA(settings, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(settings, MF_STRING, kWaveDefaults, "Wave &defaults...");
    AppendMenuA(settings, MF_STRING, kMp3Defaults, "MP3 d&efaults...");
    AppendMenuA(settings, MF_STRING, kWmaDefaults, "Windows Media de&faults...");
    AppendMenuA(settings, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(settings, MF_STRING, kExit, "E&xit");
    HMENU controls = CreatePopupMenu();
    AppendMenuA(controls, MF_STRING, kSlider, "&Slider...");
    AppendMenuA(controls, MF_STRING, kTags, "&Tag Editor...");
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(settings), "&Settings");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(controls), "&Controls");
    AppendFrameDialogMenu(bar);
    return bar;
}

// --option, --open and --shot; false for anything else.
bool ParseArguments(int argc, char** argv, UINT* open) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--open" && i + 1 < argc) {
            std::string name = argv[++i];
            *open = FrameDialogCommand(name);
            for (const auto& entry : kOpenNames)
                if (name == entry.name)
                    *open = entry.command;
            if (!*open)
                return false;
        } else if (arg == "--option" && i + 1 < argc) {
            std::string option = argv[++i];
            size_t equals = option.find('=');
            if (equals == std::string::npos)
                return false;
            g_app.options.emplace_back(option.substr(0, equals), option.substr(equals + 1));
        } else if (arg == "--folder" && i + 1 < argc) {
            g_app.folder = argv[++i];
        } else if (arg == "--shot" && i + 1 < argc) {
            g_app.shot = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    UINT open = 0;
    if (!ParseArguments(argc, argv, &open)) {
        std::string usage =
            std::string("usage: txdemo [--option NAME=VALUE]... "
                        "[--open wave|mp3|ogg|wma|wave-defaults|mp3-defaults|wma-defaults|slider|") +
            FrameDialogNames() + "|tags] [--folder PATH] [--shot FILE]";
        MessageBoxA(nullptr, usage.c_str(), "txdemo", MB_ICONINFORMATION);
        return 2;
    }
    g_app.instance = GetModuleHandleA(nullptr);
    InitTX(nullptr);
    for (int i = 0; i < App::kDestinations; ++i) {
        g_app.destinations[i] = CreateDestination(g_app.names[i]);
        char message[1024];
        for (const auto& option : g_app.options)
            if (g_app.destinations[i])
                g_app.destinations[i]->SetOption(option.first.c_str(), option.second.c_str(), message);
    }

    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = g_app.instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "TxDemoMain";
    RegisterClassA(&wc);
    wc.lpfnWndProc = SliderWindowProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "TxDemoSliderWindow";
    RegisterClassA(&wc);

    g_app.main = CreateWindowExA(0, "TxDemoMain", "Trelvox Demo", WS_OVERLAPPEDWINDOW, 20, 20, 460, 180,
                                 nullptr, BuildMenu(), g_app.instance, nullptr);
    ShowWindow(g_app.main, SW_SHOW);
    UpdateWindow(g_app.main);
    if (!g_app.shot.empty()) {
        g_app.shotCommand = open;
        SetTimer(g_app.main, kShotTimer, 100, nullptr);
    }
    if (open)
        PostMessageA(g_app.main, WM_COMMAND, open, 0);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    for (IConvertDestination* dest : g_app.destinations)
        if (dest)
            dest->Release();
    return 0;
}
