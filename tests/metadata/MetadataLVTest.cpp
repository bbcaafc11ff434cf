// The metadata list view in a real list-view control, driven as a user drives it: clicks and
// key presses are the messages they send, and the menus and dialogs they open are answered
// from a second thread while the view's thread is inside them.
//
// The files are three MP3 files that share an album and differ in title: made here from
// silent MPEG frames, or, when TX_LV_DIR names a directory, that directory's a.mp3, b.mp3 and
// c.mp3 (check_tag_editor.py makes them with the native tools and reads them back after).
// The frame dialogs are found by their control ids.
#include "ResourceIds.h"
#include "TestSupport.h"
#include "TagText.h"
#include "Trelvox.h"
#include "TrelvoxMetadata.h"

#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kTALB = 29;
constexpr int kTIT2 = 47;
constexpr int kTLEN = 51;
constexpr int kTYER = 80;
constexpr int kCOMM = 4;

IMetadataLV* g_view = nullptr;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && g_view)
        return g_view->OnNotify(reinterpret_cast<NMHDR*>(lParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

// An MP3 file of silent MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz: 417 bytes each).
void WriteSilentMp3(const std::string& path) {
    std::string frame(417, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x90';
    std::string bytes;
    for (int i = 0; i < 40; ++i)
        bytes += frame;
    txtest::WriteFile(path, bytes);
}

void WriteTag(const std::string& path, const std::vector<txtest::TextFrame>& frames) {
    IMetadata* md = nullptr;
    ASSERT_EQ(MetadataCreateFromFile(path.c_str(), &md), S_OK);
    EXPECT_EQ(txtest::SetTextFrames(md, frames), S_OK) << path;
    md->Release();
}

// The text of the file's frame, read back from the file.
std::wstring TextOf(const std::string& path, int frameId) {
    std::wstring texts = txtest::TagTexts(path, {frameId});
    size_t start = texts.find(L'\n') + 1;
    return texts.substr(start, texts.size() - start - 1);
}

// Waits on a thread of its own (up to waitMs) for a window of class on the view's thread and
// then runs act on it; records whether it saw one.
class User {
public:
    User(const char* windowClass, std::function<void(HWND)> act, int waitMs = 5000)
        : m_thread([this, windowClass, act, waitMs, viewThread = GetCurrentThreadId()] {
              m_class = windowClass;
              for (DWORD end = GetTickCount() + DWORD(waitMs); !m_window && GetTickCount() < end;) {
                  EnumThreadWindows(viewThread, Find, reinterpret_cast<LPARAM>(this));
                  if (!m_window)
                      Sleep(1);
              }
              if (m_window)
                  act(m_window);
          }) {}
    ~User() {
        if (m_thread.joinable())
            m_thread.join();
    }
    bool Saw() {
        if (m_thread.joinable())
            m_thread.join();
        return m_window != nullptr;
    }

private:
    static BOOL CALLBACK Find(HWND window, LPARAM self) {
        User* user = reinterpret_cast<User*>(self);
        char name[32] = {};
        GetClassNameA(window, name, sizeof(name));
        if (lstrcmpA(name, user->m_class) != 0 || !IsWindowVisible(window))
            return TRUE;
        user->m_window = window;
        return FALSE;
    }

    const char* m_class = nullptr;
    std::atomic<HWND> m_window{nullptr};
    std::thread m_thread;
};

// The texts of an open popup menu's items ("" for a separator).
std::vector<std::string> MenuItems(HWND menuWindow) {
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    std::vector<std::string> items;
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        char text[128] = {};
        GetMenuStringA(menu, i, text, sizeof(text), MF_BYPOSITION);
        items.push_back(text);
    }
    return items;
}

// Chooses the item with text as the keyboard does: down to it, then Enter.
void ChooseMenuItem(HWND menuWindow, const std::vector<std::string>& items, const std::string& text) {
    int presses = 0;
    for (const std::string& item : items) {
        if (!item.empty())
            ++presses;
        if (item == text)
            break;
    }
    for (int i = 0; i < presses; ++i)
        PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
}

class MetadataLV : public ::testing::Test {
protected:
    void SetUp() override {
        InitTX(nullptr);
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TxMetadataLVTestParent";
        RegisterClassA(&wc);
        parent = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 420, 700,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 0,
                               0, 400, 660, parent, nullptr, wc.hInstance, nullptr);
        ASSERT_EQ(CreateMetaDataLV(&g_view), S_OK);
        ASSERT_EQ(g_view->Attach(list), S_OK);

        if (const char* given = getenv("TX_LV_DIR")) {
            for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
                files.push_back(std::string(given) + "\\" + name);
            return;
        }
        const wchar_t* titles[] = {L"Title A", L"Title B", L"Title C"};
        for (int i = 0; i < 3; ++i) {
            files.push_back(temp / (std::string(1, char('a' + i)) + ".mp3"));
            WriteSilentMp3(files.back());
            WriteTag(files.back(), {{kTALB, L"Same Album"}, {kTIT2, titles[i]}, {kTYER, L"2004"}});
        }
    }
    void TearDown() override {
        if (g_view)
            g_view->Release();
        g_view = nullptr;
        DestroyWindow(parent);
    }

    void Load(const std::vector<std::string>& paths) {
        std::vector<IMetadata*> md;
        for (const std::string& path : paths) {
            md.push_back(nullptr);
            ASSERT_EQ(MetadataCreateFromFile(path.c_str(), &md.back()), S_OK) << path;
        }
        ASSERT_EQ(g_view->SetFiles(md.data(), unsigned(md.size())), S_OK);
        for (IMetadata* m : md)
            m->Release();
    }

    int Row(int frameId) const {
        LVFINDINFOA find = {};
        find.flags = LVFI_PARAM;
        find.lParam = frameId;
        return int(SendMessageA(list, LVM_FINDITEMA, WPARAM(-1), reinterpret_cast<LPARAM>(&find)));
    }
    std::string Text(int row, int column) const {
        char text[256] = {};
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }
    std::string Value(int frameId) const { return Text(Row(frameId), 1); }
    bool Greyed(int frameId) const {
        return SendMessageA(list, LVM_GETITEMSTATE, Row(frameId), LVIS_CUT) & LVIS_CUT;
    }
    int Image(int row) const {
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    }
    POINT PointOf(int row) const {
        RECT rect = {LVIR_LABEL, 0, 0, 0};
        SendMessageA(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        return {rect.left + 4, (rect.top + rect.bottom) / 2};
    }
    // A right click on the row (or, for -1, on no row), with user answering the menu.
    void RightClick(int row, std::function<void(HWND)> user) {
        POINT at = row >= 0 ? PointOf(row) : POINT{380, 100}; // right of both columns
        User answer("#32768", std::move(user));
        Click(at);
        EXPECT_TRUE(answer.Saw()) << "no menu for row " << row;
    }
    // The control tells a right click from a drag by the messages that follow the button
    // press, so the release is queued first.
    void Click(POINT at) {
        PostMessageA(list, WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        SendMessageA(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
    }
    void Select(int frameId) {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = 0;
        SendMessageA(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&item));
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, Row(frameId), reinterpret_cast<LPARAM>(&item));
    }

    txtest::TempDir temp;
    std::vector<std::string> files;
    HWND parent = nullptr;
    HWND list = nullptr;
};

} // namespace

TEST_F(MetadataLV, ShowsSectionsAndGreysWhatTheFilesDoNotShare) {
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    ASSERT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 2);
    char title[32] = {};
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = title;
    column.cchTextMax = sizeof(title);
    SendMessageA(list, LVM_GETCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));
    EXPECT_EQ(std::string(title), "Value");
    EXPECT_EQ(column.cx, 169);
    DWORD styles = DWORD(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(styles & (LVS_EX_INFOTIP | LVS_EX_HEADERDRAGDROP),
              DWORD(LVS_EX_INFOTIP | LVS_EX_HEADERDRAGDROP));

    Load(files);
    // The main frames under their header, the later identifier on top, then the rest.
    std::vector<std::string> top;
    for (int row = 0; row < 9; ++row)
        top.push_back(Text(row, 0));
    EXPECT_EQ(top, (std::vector<std::string>{"Audio Information", "Year", "Track number/Position in set",
                                             "Lead performer(s)/Soloist(s)",
                                             "Title/songname/content description", "Content type",
                                             "Album/Movie/Show title", "Comments", "Extended Information"}));
    EXPECT_EQ(Value(kTALB), "Same Album");
    EXPECT_FALSE(Greyed(kTALB));
    EXPECT_EQ(Value(kTIT2), "");
    EXPECT_TRUE(Greyed(kTIT2));
    EXPECT_TRUE(Greyed(kCOMM)); // in no file
    // Several files: 4, + 2 in the main section, + 1 for a read-only kind; 8 for a header.
    EXPECT_EQ(Image(0), 8);
    EXPECT_EQ(Image(Row(kTALB)), 6);
    EXPECT_EQ(Image(Row(kTLEN)), 5);
    EXPECT_FALSE(g_view->IsModified());

    char tip[64] = {};
    NMLVGETINFOTIPA request = {{list, 0, LVN_GETINFOTIPA}, 0, tip, sizeof(tip), Row(kTYER), 0, 0};
    g_view->OnNotify(&request.hdr);
    EXPECT_EQ(std::string(tip), "Contains the year of the recording.");

    // One file alone: its values, the single-file images.
    Load({files[1]});
    EXPECT_EQ(Value(kTIT2), "Title B");
    EXPECT_EQ(Image(Row(kTALB)), 2);
}

TEST_F(MetadataLV, ContextMenuOffersEachValueAndRemoves) {
    Load(files);
    std::vector<std::string> items;
    RightClick(Row(kTIT2), [&](HWND menu) {
        items = MenuItems(menu);
        ChooseMenuItem(menu, items, "Title B");
    });
    EXPECT_EQ(items, (std::vector<std::string>{"&Edit", "&Remove", "", "Title A", "Title B", "Title C"}));
    EXPECT_EQ(Value(kTIT2), "Title B");
    EXPECT_FALSE(Greyed(kTIT2));
    EXPECT_TRUE(g_view->IsModified());

    // A read-only kind: no value choices, and its Edit greyed.
    UINT editState = 0;
    RightClick(Row(kTLEN), [&](HWND menu) {
        items = MenuItems(menu);
        editState =
            GetMenuState(reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0)), 0, MF_BYPOSITION);
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(items.size(), 2u);
    EXPECT_TRUE(editState & MF_GRAYED);

    RightClick(Row(kTALB), [&](HWND menu) { ChooseMenuItem(menu, MenuItems(menu), "&Remove"); });
    EXPECT_TRUE(Greyed(kTALB));
    Select(kTYER);
    EXPECT_EQ(g_view->RemoveSelected(), S_OK);
    EXPECT_TRUE(Greyed(kTYER));
    EXPECT_FALSE(Greyed(kTIT2));
    RightClick(-1, [&](HWND menu) {
        items = MenuItems(menu);
        ChooseMenuItem(menu, items, "Remove &All");
    });
    EXPECT_EQ(items, std::vector<std::string>{"Remove &All"});
    EXPECT_TRUE(Greyed(kTIT2));

    // Nothing reached the files.
    EXPECT_EQ(TextOf(files[0], kTIT2), L"Title A");
    EXPECT_EQ(TextOf(files[2], kTALB), L"Same Album");
}

// Double click on the title row, type the new title into the frame's dialog, OK; then Save.
TEST_F(MetadataLV, EditAndSaveWriteEveryFile) {
    Load(files);
    // A read-only kind has no dialog.
    Select(kTLEN);
    POINT at = PointOf(Row(kTLEN));
    User none(
        "#32770", [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }, 500);
    SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    EXPECT_FALSE(none.Saw());
    EXPECT_FALSE(g_view->IsModified());

    Select(kTIT2);
    at = PointOf(Row(kTIT2));
    User user("#32770", [](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_FRAME_TEXT, "Hand Edited Title");
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    });
    SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    ASSERT_TRUE(user.Saw()) << "no dialog";
    std::string expected = Value(kTIT2);
    EXPECT_EQ(expected, "Hand Edited Title");
    EXPECT_FALSE(Greyed(kTIT2));
    EXPECT_TRUE(g_view->IsModified());
    printf("title written: %s\n", expected.c_str());

    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(g_view->Save(), S_OK);
    printf("Save of 3 files: %.1f ms\n",
           std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
    for (const std::string& file : files) {
        EXPECT_EQ(TextOf(file, kTIT2), std::wstring(expected.begin(), expected.end())) << file;
        EXPECT_EQ(TextOf(file, kTALB), L"Same Album") << file;
    }
}

TEST_F(MetadataLV, AnyFileWithoutWritingMakesTheViewReadOnly) {
    std::string flac = temp / "d.flac";
    txtest::WriteFile(flac, "not really flac");
    Load({files[0], flac});
    EXPECT_EQ(Image(Row(kTALB)), 7);
    Select(kTALB);
    EXPECT_EQ(g_view->EditSelected(), E_FAIL);
    EXPECT_EQ(g_view->RemoveSelected(), E_FAIL);
    EXPECT_EQ(g_view->RemoveAll(), S_OK);
    EXPECT_FALSE(g_view->IsModified());
    // No row menu.
    User none(
        "#32768", [](HWND menu) { PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0); }, 500);
    Click(PointOf(Row(kTALB)));
    EXPECT_FALSE(none.Saw());

    // Save still writes the MP3 file, and tells the user once that the other one failed.
    std::string said;
    User box("#32770", [&](HWND message) {
        char text[256] = {};
        GetDlgItemTextA(message, 0xFFFF, text, sizeof(text));
        said = text;
        PostMessageA(message, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(g_view->Save(), E_NOTIMPL);
    EXPECT_TRUE(box.Saw());
    EXPECT_EQ(said,
              "At least one file could not be saved. Please make sure it is not used by other applications.");
}

TEST_F(MetadataLV, FillTime) {
    std::vector<std::string> album;
    for (int i = 0; i < 100; ++i) {
        album.push_back(temp / ("track" + std::to_string(i) + ".mp3"));
        WriteSilentMp3(album.back());
        WriteTag(album.back(), {{kTALB, L"Same Album"}, {kTYER, L"2004"}, {61, L"Artist"}});
    }
    Load({album[0]}); // warm
    for (size_t count : {size_t(1), size_t(100)}) {
        auto started = std::chrono::steady_clock::now();
        Load(std::vector<std::string>(album.begin(), album.begin() + count));
        double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        printf("SetFiles of %zu file(s): %.1f ms\n", count, ms);
        if (count == 100) {
            EXPECT_LT(ms, 1000.0);
        }
    }
    EXPECT_EQ(Value(kTALB), "Same Album");
}
