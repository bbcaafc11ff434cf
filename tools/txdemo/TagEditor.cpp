#include "TagEditor.h"

#include "Trelvox.h"
#include "TrelvoxMetadata.h"
#include "TrelvoxUI.h"

#include <commctrl.h>
#include <string.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int kTreeId = 1;
constexpr int kFilesId = 2;
constexpr int kTagsId = 3;
constexpr int kSaveId = 4;
constexpr int kStatusId = 5;
// The files' selection changes one item at a time; the tags are read once it settles.
constexpr UINT_PTR kReloadTimer = 1;
constexpr int kPaneWidth = 230;
constexpr UINT kOpenStartFolder = WM_APP;

struct Editor {
    HWND window = nullptr;
    HWND tree = nullptr;
    HWND files = nullptr;
    HWND tags = nullptr;
    HWND save = nullptr;
    HWND status = nullptr;
    IExplorerTree* explorer = nullptr;
    IMetadataLV* view = nullptr;
    std::string folder;             // the folder whose files are listed
    std::vector<std::string> shown; // full paths of the files in the view
    std::string startFolder;
};
Editor g_editor;

void SetStatus(const std::string& text) {
    SetWindowTextA(g_editor.status, text.c_str());
}

bool IsAudioFile(const char* name) {
    const char* dot = strrchr(name, '.');
    if (!dot)
        return false;
    char formats[64] = {};
    MetadataGetFormats(formats);
    for (const char* ext = formats; *ext; ext += lstrlenA(ext) + 1) {
        if (lstrcmpiA(dot, ext) == 0)
            return true;
    }
    return false;
}

// Asks before changes to the shown files would be dropped; false to keep them on screen.
bool ConfirmLeave() {
    if (!g_editor.view || !g_editor.view->IsModified() || g_editor.shown.empty())
        return true;
    int answer = MessageBoxA(g_editor.window, "Save the changed tags first?", "Tag Editor",
                             MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDCANCEL)
        return false;
    if (answer == IDYES)
        return SUCCEEDED(g_editor.view->Save());
    return true;
}

void ShowSelectedFiles() {
    if (!ConfirmLeave())
        return;
    std::vector<IMetadata*> files;
    g_editor.shown.clear();
    for (int row = -1; (row = int(SendMessageA(g_editor.files, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0;) {
        char name[MAX_PATH] = {};
        LVITEMA item = {};
        item.pszText = name;
        item.cchTextMax = sizeof(name);
        SendMessageA(g_editor.files, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        std::string path = g_editor.folder + "\\" + name;
        IMetadata* md = nullptr;
        if (MetadataCreateFromFile(path.c_str(), &md) == S_OK) {
            files.push_back(md);
            g_editor.shown.push_back(path);
        }
    }
    if (files.empty()) {
        SendMessageA(g_editor.tags, LVM_DELETEALLITEMS, 0, 0);
    } else {
        g_editor.view->SetFiles(files.data(), unsigned(files.size()));
    }
    for (IMetadata* md : files)
        md->Release();
    EnableWindow(g_editor.save, !files.empty());
    int total = int(SendMessageA(g_editor.files, LVM_GETITEMCOUNT, 0, 0));
    SetStatus(std::to_string(files.size()) + " of " + std::to_string(total) +
              " files selected. Double-click a tag to edit it in every selected file.");
}

void ListFolder(const std::string& folder) {
    if (folder == g_editor.folder || !ConfirmLeave())
        return;
    g_editor.folder = folder;
    SendMessageA(g_editor.files, LVM_DELETEALLITEMS, 0, 0);
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = folder.empty() ? INVALID_HANDLE_VALUE : FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsAudioFile(found.cFileName))
                names.push_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; });
    for (size_t i = 0; i < names.size(); ++i) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = int(i);
        item.pszText = const_cast<char*>(names[i].c_str());
        SendMessageA(g_editor.files, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    // The whole album to start with: what is shared shows, what differs is greyed.
    LVITEMA all = {};
    all.stateMask = LVIS_SELECTED;
    all.state = LVIS_SELECTED;
    SendMessageA(g_editor.files, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&all));
    ShowSelectedFiles();
}

void Layout(int width, int height) {
    int paneHeight = std::max(height - 48, 40);
    MoveWindow(g_editor.tree, 6, 6, kPaneWidth, paneHeight, TRUE);
    MoveWindow(g_editor.files, 12 + kPaneWidth, 6, kPaneWidth, paneHeight, TRUE);
    MoveWindow(g_editor.tags, 18 + 2 * kPaneWidth, 6, std::max(width - 24 - 2 * kPaneWidth, 40), paneHeight,
               TRUE);
    MoveWindow(g_editor.status, 6, height - 34, std::max(width - 110, 40), 20, TRUE);
    MoveWindow(g_editor.save, width - 96, height - 38, 90, 28, TRUE);
}

HWND Child(HWND parent, const char* windowClass, const char* text, DWORD style, int id) {
    HWND child = CreateWindowExA(WS_EX_CLIENTEDGE * (id != kSaveId && id != kStatusId), windowClass, text,
                                 WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                                 reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

bool Create(HWND window) {
    g_editor.window = window;
    g_editor.tree =
        Child(window, WC_TREEVIEWA, "",
              TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP, kTreeId);
    g_editor.files = Child(window, WC_LISTVIEWA, "", LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP, kFilesId);
    g_editor.tags =
        Child(window, WC_LISTVIEWA, "", LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | WS_TABSTOP, kTagsId);
    g_editor.save = Child(window, "BUTTON", "&Save", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, kSaveId);
    g_editor.status = Child(window, "STATIC", "Choose a folder on the left.", SS_LEFT, kStatusId);
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>("File");
    column.cx = kPaneWidth - 24;
    SendMessageA(g_editor.files, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    SendMessageA(g_editor.files, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    if (CreateMetaDataLV(&g_editor.view) != S_OK || g_editor.view->Attach(g_editor.tags) != S_OK ||
        CreateExplorerTree(&g_editor.explorer, window, g_editor.tree) != S_OK)
        return false;
    g_editor.explorer->Refresh();
    // The start folder is opened once the window is on screen, where the tree can take the focus.
    if (!g_editor.startFolder.empty())
        PostMessageA(window, kOpenStartFolder, 0, 0);
    return true;
}

LRESULT Notify(NMHDR* header) {
    if (header->hwndFrom == g_editor.tree && g_editor.explorer) {
        LRESULT result = g_editor.explorer->OnNotify(kTreeId, header);
        if (header->code == TVN_SELCHANGEDA || header->code == TVN_SELCHANGEDW) {
            char path[MAX_PATH] = {};
            g_editor.explorer->GetPath(path, sizeof(path));
            ListFolder(path);
        }
        return result;
    }
    if (header->hwndFrom == g_editor.files && header->code == LVN_ITEMCHANGED) {
        auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        if ((change->uChanged & LVIF_STATE) && ((change->uOldState ^ change->uNewState) & LVIS_SELECTED))
            SetTimer(g_editor.window, kReloadTimer, 50, nullptr);
        return 0;
    }
    if (header->hwndFrom == g_editor.tags && g_editor.view)
        return g_editor.view->OnNotify(header);
    return 0;
}

LRESULT CALLBACK EditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return Create(window) ? 0 : -1;
    case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case kOpenStartFolder:
        g_editor.explorer->SetPath(g_editor.startFolder.c_str());
        return 0;
    case WM_NOTIFY:
        return Notify(reinterpret_cast<NMHDR*>(lParam));
    case WM_TIMER:
        if (wParam == kReloadTimer) {
            KillTimer(window, kReloadTimer);
            ShowSelectedFiles();
        }
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kSaveId && g_editor.view) {
            HRESULT saved = g_editor.view->Save();
            SetStatus(SUCCEEDED(saved)
                          ? "Saved the tags of " + std::to_string(g_editor.shown.size()) + " file(s)."
                          : std::string("Saving failed."));
            if (SUCCEEDED(saved))
                ShowSelectedFiles(); // read back what the files now hold
            return 0;
        }
        break;
    case WM_INITMENUPOPUP:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        if (g_editor.explorer)
            g_editor.explorer->HandleMenuMsg(message, wParam, lParam);
        break;
    case WM_CLOSE:
        if (!ConfirmLeave())
            return 0;
        break;
    case WM_DESTROY:
        KillTimer(window, kReloadTimer);
        if (g_editor.explorer)
            g_editor.explorer->Release();
        if (g_editor.view)
            g_editor.view->Release();
        g_editor = Editor();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

HWND TagEditorWindow() {
    return g_editor.window;
}

void OpenTagEditor(HINSTANCE instance, HWND owner, const std::string& folder) {
    if (g_editor.window) {
        SetForegroundWindow(g_editor.window);
        return;
    }
    static bool registered = false;
    if (!registered) {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = EditorProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = "TxDemoTagEditor";
        registered = RegisterClassA(&wc) != 0;
    }
    g_editor.startFolder = folder;
    HWND window = CreateWindowExA(0, "TxDemoTagEditor", "Tag Editor", WS_OVERLAPPEDWINDOW, 10, 10, 1000, 560,
                                  owner, nullptr, instance, nullptr);
    if (window)
        ShowWindow(window, SW_SHOW);
}
