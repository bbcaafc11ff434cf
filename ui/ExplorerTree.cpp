#include "ExplorerTree.h"

#include "TextRules.h"
#include "WaitCursor.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

using trelvox::ComPtr;

namespace {

constexpr UINT kLastShellCommand = 0x7FFF;

// The bytes of an identifier list without its terminator.
UINT ListBytes(LPCITEMIDLIST list) {
    UINT size = ILGetSize(list);
    return size >= sizeof(USHORT) ? size - sizeof(USHORT) : 0;
}

// Whether two identifier lists relative to folder name the same item: byte for byte, or as
// the folder compares them (a file system item's list carries its times, which change when the
// folder's contents do).
bool SameItem(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
    UINT size = ListBytes(a);
    if (size == ListBytes(b) && memcmp(a, b, size) == 0)
        return true;
    HRESULT hr = folder->CompareIDs(0, a, b);
    return SUCCEEDED(hr) && HRESULT_CODE(hr) == 0;
}

// Whether relative names the item of the single element at element.
bool SameElement(IShellFolder* folder, LPCITEMIDLIST relative, LPCITEMIDLIST element) {
    std::vector<BYTE> single(element->mkid.cb + sizeof(USHORT), 0);
    memcpy(single.data(), element, element->mkid.cb);
    return SameItem(folder, relative, reinterpret_cast<LPCITEMIDLIST>(single.data()));
}

int IconOf(LPCITEMIDLIST absolute, UINT extra) {
    SHFILEINFOA info = {};
    SHGetFileInfoA(reinterpret_cast<LPCSTR>(absolute), 0, &info, sizeof(info),
                   SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | extra);
    return info.iIcon;
}

// Keeps selection changes from touching the selected path while the tree is rebuilt.
class SelectionLock {
public:
    explicit SelectionLock(LONG& counter) : m_counter(counter) { ++m_counter; }
    ~SelectionLock() { --m_counter; }
    SelectionLock(const SelectionLock&) = delete;
    SelectionLock& operator=(const SelectionLock&) = delete;

private:
    LONG& m_counter;
};

} // namespace

HRESULT CExplorerTree::Create(HWND owner, HWND tree, CExplorerTree** out) {
    *out = nullptr;
    CExplorerTree* created = new (std::nothrow) CExplorerTree(owner, tree);
    if (!created)
        return E_OUTOFMEMORY;
    HRESULT hr = OleInitialize(nullptr);
    created->m_oleInitialized = SUCCEEDED(hr);
    if (SUCCEEDED(hr))
        hr = SHGetMalloc(created->m_allocator.put());
    if (SUCCEEDED(hr))
        hr = SHGetDesktopFolder(created->m_desktop.put());
    if (FAILED(hr)) {
        delete created;
        return hr;
    }
    SHFILEINFOA info = {};
    created->m_imageList = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoA("C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    SendMessageA(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(created->m_imageList));
    *out = created;
    return S_OK;
}

CExplorerTree::~CExplorerTree() {
    SelectionLock lock(m_selectionLocked);
    if (IsWindow(m_tree)) {
        // The owner may no longer forward the deletions; free the items' data here.
        FreeAllItems(reinterpret_cast<HTREEITEM>(SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)));
        SendMessageA(m_tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    }
    m_desktop.reset();
    m_allocator.reset();
    if (m_oleInitialized)
        OleUninitialize();
}

void TX_THISCALL CExplorerTree::Release() {
    delete this;
}

void CExplorerTree::Free(void* block) const {
    if (block)
        m_allocator->Free(block);
}

CExplorerTree::Item* CExplorerTree::DataOf(HTREEITEM item) const {
    TVITEMA data = {};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    if (!item || !SendMessageA(m_tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)))
        return nullptr;
    return reinterpret_cast<Item*>(data.lParam);
}

void CExplorerTree::FreeItem(Item* item) {
    if (!item)
        return;
    if (item->parent)
        item->parent->Release();
    Free(item->relative);
    Free(item->absolute);
    delete item;
}

void CExplorerTree::FreeAllItems(HTREEITEM first) {
    for (HTREEITEM item = first; item;
         item = reinterpret_cast<HTREEITEM>(
             SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
        FreeAllItems(reinterpret_cast<HTREEITEM>(
            SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item))));
        FreeItem(DataOf(item));
        TVITEMA cleared = {};
        cleared.mask = TVIF_PARAM | TVIF_HANDLE;
        cleared.hItem = item;
        SendMessageA(m_tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&cleared));
    }
}

// Takes over relative (freeing it on failure).
HTREEITEM CExplorerTree::Insert(HTREEITEM parent, IShellFolder* folder, LPITEMIDLIST relative,
                                LPCITEMIDLIST parentPath, bool hasSubfolders) {
    Item* data = new (std::nothrow) Item{folder, relative, ILCombine(parentPath, relative)};
    if (!data || !data->absolute) {
        Free(relative);
        delete data;
        return nullptr;
    }
    folder->AddRef();
    char name[MAX_PATH] = "";
    STRRET text = {};
    if (SUCCEEDED(folder->GetDisplayNameOf(relative, SHGDN_NORMAL, &text)))
        StrRetToBufA(&text, relative, name, sizeof(name));
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = name;
    insert.item.iImage = IconOf(data->absolute, 0);
    insert.item.iSelectedImage = IconOf(data->absolute, SHGFI_OPENICON);
    insert.item.cChildren = hasSubfolders ? 1 : 0;
    insert.item.lParam = reinterpret_cast<LPARAM>(data);
    auto handle = reinterpret_cast<HTREEITEM>(
        SendMessageA(m_tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    if (!handle)
        FreeItem(data);
    return handle;
}

ComPtr<IShellFolder> CExplorerTree::FolderOf(HTREEITEM item) {
    ComPtr<IShellFolder> folder;
    Item* data = DataOf(item);
    if (!data)
        return folder;
    if (ListBytes(data->absolute) == 0)
        folder.assign(m_desktop.get());
    else
        data->parent->BindToObject(data->relative, nullptr, IID_IShellFolder, folder.putVoid());
    return folder;
}

int CALLBACK CExplorerTree::CompareItems(LPARAM a, LPARAM b, LPARAM folder) {
    HRESULT hr = reinterpret_cast<IShellFolder*>(folder)->CompareIDs(0, reinterpret_cast<Item*>(a)->relative,
                                                                     reinterpret_cast<Item*>(b)->relative);
    return SUCCEEDED(hr) ? static_cast<short>(HRESULT_CODE(hr)) : 0;
}

void CExplorerTree::Sort(HTREEITEM item, IShellFolder* folder) {
    TVSORTCB sort = {};
    sort.hParent = item;
    sort.lpfnCompare = CompareItems;
    sort.lParam = reinterpret_cast<LPARAM>(folder);
    SendMessageA(m_tree, TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(&sort));
}

void CExplorerTree::Fill(HTREEITEM item, IShellFolder* folder) {
    Item* data = DataOf(item);
    if (!data)
        return;
    trelvox::WaitCursor wait;
    SetCapture(m_tree);
    struct Child {
        HTREEITEM handle;
        LPCITEMIDLIST relative;
        bool expanded;
        bool seen;
    };
    std::vector<Child> children;
    for (auto child = reinterpret_cast<HTREEITEM>(
             SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
         child; child = reinterpret_cast<HTREEITEM>(
                    SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)))) {
        Item* childData = DataOf(child);
        UINT state = static_cast<UINT>(
            SendMessageA(m_tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(child), TVIS_EXPANDED));
        children.push_back(
            {child, childData ? childData->relative : nullptr, (state & TVIS_EXPANDED) != 0, false});
    }

    ComPtr<IEnumIDList> entries;
    if (folder->EnumObjects(m_owner, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, entries.put()) == S_OK &&
        entries) {
        LPITEMIDLIST entry = nullptr;
        ULONG fetched = 0;
        while (entries->Next(1, &entry, &fetched) == S_OK && fetched == 1) {
            SFGAOF attributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
            LPCITEMIDLIST asked = entry;
            if (FAILED(folder->GetAttributesOf(1, &asked, &attributes)) || !(attributes & SFGAO_FOLDER)) {
                Free(entry);
                continue;
            }
            Child* existing = nullptr;
            for (Child& child : children) {
                if (!existing && !child.seen && child.relative && SameItem(folder, child.relative, entry))
                    existing = &child;
            }
            if (!existing) {
                Insert(item, folder, entry, data->absolute, (attributes & SFGAO_HASSUBFOLDER) != 0);
                continue;
            }
            Free(entry);
            existing->seen = true;
            if (existing->expanded) {
                if (ComPtr<IShellFolder> sub = FolderOf(existing->handle)) {
                    Fill(existing->handle, sub.get());
                    Sort(existing->handle, sub.get());
                }
            }
        }
    }
    for (const Child& child : children) {
        if (!child.seen)
            SendMessageA(m_tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(child.handle));
    }
    if (!SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item))) {
        TVITEMA none = {};
        none.mask = TVIF_CHILDREN | TVIF_HANDLE;
        none.hItem = item;
        SendMessageA(m_tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&none));
    }
    Sort(item, folder);
    ReleaseCapture();
}

void TX_THISCALL CExplorerTree::Refresh() {
    try {
        {
            SelectionLock lock(m_selectionLocked);
            SendMessageA(m_tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
        }
        m_selectedPath[0] = '\0';
        LPITEMIDLIST desktop = nullptr;
        if (FAILED(SHGetSpecialFolderLocation(m_owner, CSIDL_DESKTOP, &desktop)) || !desktop)
            return;
        LPITEMIDLIST relative = ILClone(desktop);
        HTREEITEM root = relative ? Insert(nullptr, m_desktop.get(), relative, desktop, true) : nullptr;
        Free(desktop);
        if (!root)
            return;
        // The desktop's own name: its empty list asked of the desktop.
        SHFILEINFOA info = {};
        Item* data = DataOf(root);
        SHGetFileInfoA(reinterpret_cast<LPCSTR>(data->absolute), 0, &info, sizeof(info),
                       SHGFI_PIDL | SHGFI_DISPLAYNAME);
        TVITEMA text = {};
        text.mask = TVIF_TEXT | TVIF_HANDLE;
        text.hItem = root;
        text.pszText = info.szDisplayName;
        SendMessageA(m_tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&text));
        SendMessageA(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
        // The computer's drives folder opens too. It is normally the desktop's first folder;
        // Wine sorts its Unix root ("/") before it.
        auto computer = reinterpret_cast<HTREEITEM>(
            SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(root)));
        LPITEMIDLIST drives = nullptr;
        if (SUCCEEDED(SHGetSpecialFolderLocation(m_owner, CSIDL_DRIVES, &drives)) && drives) {
            for (HTREEITEM child = computer; child;
                 child = reinterpret_cast<HTREEITEM>(
                     SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)))) {
                Item* childData = DataOf(child);
                if (childData && SameItem(m_desktop.get(), childData->relative, drives)) {
                    computer = child;
                    break;
                }
            }
            Free(drives);
        }
        if (computer)
            SendMessageA(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(computer));
    } catch (...) {
        // Out of memory: the tree shows what it could build.
    }
}

void TX_THISCALL CExplorerTree::Update() {
    try {
        auto root = reinterpret_cast<HTREEITEM>(SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
        if (root)
            Fill(root, m_desktop.get());
    } catch (...) {
        // Out of memory: the items stay as they were.
    }
}

LRESULT TX_THISCALL CExplorerTree::OnNotify(WPARAM, const NMHDR* header) {
    if (!header || header->hwndFrom != m_tree)
        return 0;
    try {
        // The A and W forms of these notifications share their layout up to the text pointers,
        // which are not used here.
        const auto* view = reinterpret_cast<const NMTREEVIEWA*>(header);
        switch (header->code) {
        case TVN_ITEMEXPANDINGA:
        case TVN_ITEMEXPANDINGW:
            if ((view->action & TVE_EXPAND) && !(view->itemNew.state & TVIS_EXPANDED)) {
                if (ComPtr<IShellFolder> folder = FolderOf(view->itemNew.hItem))
                    Fill(view->itemNew.hItem, folder.get());
            }
            break;
        case TVN_DELETEITEMA:
        case TVN_DELETEITEMW:
            FreeItem(reinterpret_cast<Item*>(view->itemOld.lParam));
            break;
        case TVN_SELCHANGEDA:
        case TVN_SELCHANGEDW:
            if (!m_selectionLocked) {
                Item* data = reinterpret_cast<Item*>(view->itemNew.lParam);
                if (!data || !SHGetPathFromIDListA(data->absolute, m_selectedPath))
                    m_selectedPath[0] = '\0';
            }
            break;
        case NM_RCLICK:
            ShowContextMenu();
            break;
        }
    } catch (...) {
        // A failed notification leaves the tree as it was.
    }
    return 0;
}

void CExplorerTree::ShowContextMenu() {
    TVHITTESTINFO hit = {};
    GetCursorPos(&hit.pt);
    POINT screen = hit.pt;
    ScreenToClient(m_tree, &hit.pt);
    auto item =
        reinterpret_cast<HTREEITEM>(SendMessageA(m_tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (!item || !(hit.flags & TVHT_ONITEM))
        return;
    SendMessageA(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    Item* data = DataOf(item);
    if (!data)
        return;
    LPCITEMIDLIST relative = data->relative;
    ComPtr<IContextMenu> menu;
    if (FAILED(
            data->parent->GetUIObjectOf(m_owner, 1, &relative, IID_IContextMenu, nullptr, menu.putVoid())) ||
        !menu)
        return;
    HMENU popup = CreatePopupMenu();
    if (!popup)
        return;
    UINT command = 0;
    if (SUCCEEDED(menu->QueryContextMenu(popup, 0, 1, kLastShellCommand, CMF_EXPLORE))) {
        ComPtr<IContextMenu2> drawing;
        menu->QueryInterface(IID_IContextMenu2, drawing.putVoid());
        m_contextMenu = drawing.get();
        command =
            TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, 0, m_owner, nullptr);
        m_contextMenu = nullptr;
    }
    DestroyMenu(popup);
    if (command == 0)
        return;
    CMINVOKECOMMANDINFO invoke = {};
    invoke.cbSize = sizeof(invoke);
    invoke.hwnd = m_owner;
    invoke.lpVerb = MAKEINTRESOURCEA(command - 1);
    invoke.nShow = SW_SHOWNORMAL;
    menu->InvokeCommand(&invoke);
}

void TX_THISCALL CExplorerTree::HandleMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (m_contextMenu)
        m_contextMenu->HandleMenuMsg(msg, wParam, lParam);
}

bool TX_THISCALL CExplorerTree::GetPath(char* buf, int size) {
    if (!buf || size <= 0)
        return false;
    lstrcpynA(buf, m_selectedPath, size);
    return m_selectedPath[0] != '\0';
}

void TX_THISCALL CExplorerTree::SetPath(const char* path) {
    if (!path)
        return;
    try {
        std::wstring wide = trelvox::Widen(path, CP_ACP);
        LPITEMIDLIST target = nullptr;
        ULONG eaten = 0;
        if (FAILED(m_desktop->ParseDisplayName(m_owner, nullptr, const_cast<wchar_t*>(wide.c_str()), &eaten,
                                               &target, nullptr)) ||
            !target)
            return;
        auto item = reinterpret_cast<HTREEITEM>(SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
        for (LPCITEMIDLIST element = target; item && element->mkid.cb;
             element =
                 reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(element) + element->mkid.cb)) {
            SendMessageA(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
            ComPtr<IShellFolder> folder = FolderOf(item);
            HTREEITEM found = nullptr;
            for (auto child = reinterpret_cast<HTREEITEM>(
                     SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
                 child && folder && !found;
                 child = reinterpret_cast<HTREEITEM>(
                     SendMessageA(m_tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)))) {
                Item* data = DataOf(child);
                if (data && SameElement(folder.get(), data->relative, element))
                    found = child;
            }
            item = found;
        }
        Free(target);
        if (!item)
            return;
        SendMessageA(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
        SetFocus(m_tree);
    } catch (...) {
        // Out of memory: the selection stays.
    }
}

extern "C" HRESULT __cdecl CreateExplorerTree(IExplorerTree** out, HWND owner, HWND tree) {
    if (!out)
        return E_INVALIDARG;
    try {
        CExplorerTree* created = nullptr;
        HRESULT hr = CExplorerTree::Create(owner, tree, &created);
        *out = created;
        return hr;
    } catch (...) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
}
