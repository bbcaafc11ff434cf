// Drives the library's modal dialogs as a user does: the dialog runs on a thread of its own
// while the test finds its controls by id and sends what clicks and key presses send, and
// answers the message boxes and file dialogs it opens.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace txtest {

inline double NowMs() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return double(count.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// Opens a dialog on a second thread and waits until it is on screen (WM_INITDIALOG has filled
// it before it is shown).
class Dialog {
public:
    explicit Dialog(std::function<int()> open) {
        double started = NowMs();
        m_thread = std::thread([this, open] {
            m_threadId = GetCurrentThreadId();
            m_result = open();
        });
        m_window = WaitForWindow(nullptr);
        msToVisible = NowMs() - started;
    }
    ~Dialog() {
        if (m_thread.joinable()) {
            if (m_window)
                PostMessageA(m_window, WM_COMMAND, IDCANCEL, 0);
            m_thread.join();
        }
    }

    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    HWND window() const { return m_window; }
    bool IsOpen() const { return IsWindow(m_window) && IsWindowVisible(m_window); }
    HWND Item(int id) const { return GetDlgItem(m_window, id); }
    std::string Text(int id) const { return WindowText(id ? Item(id) : m_window); }
    // Types text into an edit field (or a combo box's edit field).
    void SetText(int id, const char* text) const { SetWindowTextA(Item(id), text); }
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageA(Item(id), message, wParam, lParam);
    }
    // The combo box entries' texts.
    std::vector<std::string> Entries(int id) const { return Strings(id, CB_GETCOUNT, CB_GETLBTEXT); }
    // The list box entries' texts.
    std::vector<std::string> ListEntries(int id) const { return Strings(id, LB_GETCOUNT, LB_GETTEXT); }
    // Picks entry index as a click in the drop-down list does.
    void Select(int id, LRESULT index) const {
        Send(id, CB_SETCURSEL, index);
        SendMessageA(m_window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(id)));
    }
    // Moves a trackbar as the keyboard does.
    void Track(int id, int position) const {
        Send(id, TBM_SETPOS, TRUE, position);
        SendMessageA(m_window, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                     reinterpret_cast<LPARAM>(Item(id)));
    }
    void Click(int id) const { Send(id, BM_CLICK); }
    // Presses a button without waiting for what it does: for buttons that open a message box
    // or a file dialog, where a sent click would return only once that is closed.
    void Press(int id) const {
        PostMessageA(m_window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
    }
    bool Checked(int id) const { return Send(id, BM_GETCHECK) == BST_CHECKED; }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    // Presses OK or Cancel and waits for the dialog's end; the opener's result.
    int Close(int button) {
        Press(button);
        m_thread.join();
        return m_result;
    }

    // Waits for the message box the dialog shows next, presses button in it and returns its
    // caption and text as "caption: text" ("" when none came).
    std::string AnswerMessage(int button = IDOK) const {
        HWND box = WaitForWindow(m_window);
        if (!box)
            return std::string();
        std::string text = WindowText(box) + ": ";
        // The text is the longest static control; the icon is a static without text.
        std::string longest;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char name[16] = {};
            GetClassNameA(child, name, sizeof(name));
            std::string childText = WindowText(child);
            if (lstrcmpiA(name, "Static") == 0 && childText.size() > longest.size())
                longest = childText;
        }
        CloseAndWait(box, button);
        return text + longest;
    }
    // Waits for the open or save dialog the dialog shows next and chooses path in it (or
    // cancels it when path is null). False when no such dialog came.
    bool ChooseFile(const char* path) const {
        HWND files = WaitForWindow(m_window);
        if (!files)
            return false;
        if (path) {
            // Explorer-style dialogs name the file in a combo box, older ones in an edit.
            for (int id : {0x47c /* cmb13 */, 0x480 /* edt1 */})
                if (HWND field = GetDlgItem(files, id))
                    SetWindowTextA(field, path);
        }
        CloseAndWait(files, path ? IDOK : IDCANCEL);
        return true;
    }

    double msToVisible = 0;

private:
    static std::string WindowText(HWND window) {
        char text[2048] = {};
        GetWindowTextA(window, text, sizeof(text));
        return text;
    }
    std::vector<std::string> Strings(int id, UINT count, UINT get) const {
        std::vector<std::string> entries;
        for (LRESULT i = 0, n = Send(id, count); i < n; ++i) {
            char text[256] = {};
            Send(id, get, i, reinterpret_cast<LPARAM>(text));
            entries.push_back(text);
        }
        return entries;
    }
    static void CloseAndWait(HWND window, int button) {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        for (int i = 0; i < 10000 && IsWindow(window); ++i)
            Sleep(1);
    }

    struct Search {
        HWND except;
        HWND found;
    };
    static BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
        auto* search = reinterpret_cast<Search*>(param);
        char name[16] = {};
        GetClassNameA(window, name, sizeof(name));
        if (window == search->except || lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window))
            return TRUE;
        search->found = window;
        return FALSE;
    }
    // A visible dialog window of the dialog's thread other than except, within ten seconds.
    HWND WaitForWindow(HWND except) const {
        Search search = {except, nullptr};
        for (int i = 0; i < 10000 && !search.found; ++i) {
            if (m_threadId)
                EnumThreadWindows(m_threadId, FindDialog, reinterpret_cast<LPARAM>(&search));
            if (!search.found)
                Sleep(1);
        }
        return search.found;
    }

    std::thread m_thread;
    std::atomic<DWORD> m_threadId{0};
    HWND m_window = nullptr;
    int m_result = -1;
};

} // namespace txtest
