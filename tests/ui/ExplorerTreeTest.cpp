// The explorer tree in a real tree-view control whose owner forwards its notifications, on a
// folder tree made for the test: lazy filling, SetPath down to a nested folder, Update after a
// folder went away, and the selection's path.
#include "TestSupport.h"
#include "Trelvox.h"
#include "TrelvoxUI.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

IExplorerTree* g_tree = nullptr;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && g_tree)
        return g_tree->OnNotify(wParam, reinterpret_cast<const NMHDR*>(lParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

class ExplorerTree : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TxExplorerTreeTestOwner";
        RegisterClassA(&wc);
        owner = CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 500,
                                nullptr, nullptr, wc.hInstance, nullptr);
        tree = CreateWindowExA(0, WC_TREEVIEWA, "",
                               WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, 0, 0,
                               280, 460, owner, nullptr, wc.hInstance, nullptr);
        ASSERT_EQ(CreateExplorerTree(&g_tree, owner, tree), S_OK);
        for (const char* dir :
             {"album", "album\\disc 1", "album\\disc 1\\scans", "album\\extras", "album\\extras\\video"})
            CreateDirectoryA((temp / dir).c_str(), nullptr);
    }
    void TearDown() override {
        if (g_tree)
            g_tree->Release();
        g_tree = nullptr;
        DestroyWindow(owner);
    }

    HTREEITEM Next(HTREEITEM item, UINT relation) const {
        return reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
    }
    std::string TextOf(HTREEITEM item) const {
        char text[MAX_PATH] = {};
        TVITEMA data = {};
        data.mask = TVIF_TEXT | TVIF_HANDLE;
        data.hItem = item;
        data.pszText = text;
        data.cchTextMax = sizeof(text);
        return SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) ? text : "(gone)";
    }
    std::vector<std::string> Children(HTREEITEM item) const {
        std::vector<std::string> names;
        for (HTREEITEM child = Next(item, TVGN_CHILD); child; child = Next(child, TVGN_NEXT))
            names.push_back(TextOf(child));
        return names;
    }
    HTREEITEM Child(HTREEITEM item, const std::string& name) const {
        for (HTREEITEM child = Next(item, TVGN_CHILD); child; child = Next(child, TVGN_NEXT))
            if (TextOf(child) == name)
                return child;
        return nullptr;
    }
    bool HasButton(HTREEITEM item) const {
        TVITEMA data = {};
        data.mask = TVIF_CHILDREN | TVIF_HANDLE;
        data.hItem = item;
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
        return data.cChildren != 0;
    }
    std::string Path() const {
        char path[MAX_PATH] = "unchanged";
        return g_tree->GetPath(path, sizeof(path)) ? path : "(none: " + std::string(path) + ")";
    }

    txtest::TempDir temp;
    HWND owner = nullptr;
    HWND tree = nullptr;
};

} // namespace

TEST_F(ExplorerTree, FillsLazilyFollowsPathsAndKeepsItemsOnUpdate) {
    EXPECT_EQ(SendMessageA(tree, TVM_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(Path(), "(none: )");
    g_tree->Refresh();
    HTREEITEM root = Next(nullptr, TVGN_ROOT);
    // The computer's folder is open on its drives; the drives are not read yet.
    HTREEITEM computer = Next(root, TVGN_CHILD);
    while (computer &&
           !(SendMessageA(tree, TVM_GETITEMSTATE, WPARAM(computer), TVIS_EXPANDED) & TVIS_EXPANDED))
        computer = Next(computer, TVGN_NEXT);
    ASSERT_TRUE(computer) << ::testing::PrintToString(Children(root));
    HTREEITEM drive = Next(computer, TVGN_CHILD);
    ASSERT_TRUE(drive) << TextOf(computer);
    EXPECT_TRUE(HasButton(drive)) << TextOf(drive);
    EXPECT_FALSE(Next(drive, TVGN_CHILD)) << TextOf(drive);
    // A virtual folder has no path.
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(computer));
    EXPECT_EQ(Path(), "(none: )") << "selected " << TextOf(computer) << " of the desktop's "
                                  << ::testing::PrintToString(Children(root));

    std::string target = temp / "album\\disc 1\\scans";
    g_tree->SetPath(target.c_str());
    EXPECT_EQ(Path(), target);
    EXPECT_EQ(GetFocus(), tree);
    HTREEITEM selected = Next(nullptr, TVGN_CARET);
    EXPECT_EQ(TextOf(selected), "scans");
    HTREEITEM disc = Next(selected, TVGN_PARENT);
    HTREEITEM album = Next(disc, TVGN_PARENT);
    EXPECT_EQ(Children(album), (std::vector<std::string>{"disc 1", "extras"}));
    HTREEITEM extras = Child(album, "extras");
    // Not expanded: a button for its subfolder, no items yet. Expanding a folder without
    // subfolders takes its button away.
    EXPECT_TRUE(HasButton(extras));
    EXPECT_TRUE(Children(extras).empty());
    SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(selected));
    EXPECT_FALSE(HasButton(selected));

    // A folder that went away disappears on Update; the others keep their items and selection.
    ASSERT_TRUE(RemoveDirectoryA((temp / "album\\extras\\video").c_str()));
    ASSERT_TRUE(RemoveDirectoryA((temp / "album\\extras").c_str()));
    CreateDirectoryA((temp / "album\\bonus").c_str(), nullptr);
    g_tree->Update();
    EXPECT_EQ(Children(album), (std::vector<std::string>{"bonus", "disc 1"}));
    EXPECT_EQ(TextOf(disc), "disc 1");
    EXPECT_EQ(Next(nullptr, TVGN_CARET), selected);
    EXPECT_EQ(Path(), target);

    // A path the shell cannot parse changes nothing.
    g_tree->SetPath((temp / "no such folder").c_str());
    EXPECT_EQ(Path(), target);
}
