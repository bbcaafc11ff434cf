// The shell folder tree that runs in the caller's tree view.
#pragma once

#include "ComPtr.h"
#include "TrelvoxUI.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

class CExplorerTree final : public IExplorerTree {
public:
    // Initialises OLE for the thread, takes the shell's allocator, desktop folder and small
    // icons; S_OK or the failing call's result (the object is then not usable).
    static HRESULT Create(HWND owner, HWND tree, CExplorerTree** out);

    LRESULT TX_THISCALL OnNotify(WPARAM controlId, const NMHDR* header) override;
    bool TX_THISCALL GetPath(char* buf, int size) override;
    void TX_THISCALL SetPath(const char* path) override;
    void TX_THISCALL HandleMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void TX_THISCALL Refresh() override;
    void TX_THISCALL Update() override;
    void TX_THISCALL Release() override;

    virtual ~CExplorerTree();

private:
    CExplorerTree(HWND owner, HWND tree) : m_tree(tree), m_owner(owner) {}

    // What each tree item owns: a reference to its parent folder, its identifier list
    // relative to that folder and its absolute one (both from the shell's allocator).
    struct Item {
        IShellFolder* parent;
        LPITEMIDLIST relative;
        LPITEMIDLIST absolute;
    };

    HTREEITEM Insert(HTREEITEM parent, IShellFolder* folder, LPITEMIDLIST relative, LPCITEMIDLIST parentPath,
                     bool hasSubfolders);
    void Fill(HTREEITEM item, IShellFolder* folder);
    // Orders item's children as folder orders its own contents.
    void Sort(HTREEITEM item, IShellFolder* folder);
    static int CALLBACK CompareItems(LPARAM a, LPARAM b, LPARAM folder);
    // The folder object of item (the desktop for the root); null when the shell cannot bind.
    trelvox::ComPtr<IShellFolder> FolderOf(HTREEITEM item);
    Item* DataOf(HTREEITEM item) const;
    void FreeItem(Item* item);
    void FreeAllItems(HTREEITEM first);
    void ShowContextMenu();
    void Free(void* block) const;

    HWND m_tree;
    HWND m_owner;
    HIMAGELIST m_imageList = nullptr; // the system's, never destroyed
    LONG m_selectionLocked = 0;
    IContextMenu2* m_contextMenu = nullptr; // only while the menu is shown
    trelvox::ComPtr<IMalloc> m_allocator;
    trelvox::ComPtr<IShellFolder> m_desktop;
    char m_selectedPath[MAX_PATH] = "";
    bool m_oleInitialized = false;
};
