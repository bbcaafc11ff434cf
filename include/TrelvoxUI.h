// The library's controls: the window classes it registers for the front end's dialogs (InitTX
// registers them; create them by class name), and the folder tree it runs in the caller's
// tree view.
#pragma once

#include "TrelvoxConvert.h"

#include <windows.h>

// A minimal horizontal slider: a thin track and a small triangular thumb that the user drags.
// The positions run from 0 to the range; wParam carries the value of each message.
#define TXSLIDER_CLASS "TXSlider"
// Moves the thumb to wParam (clamped to 0..range) without notifying the parent.
#define TXSM_SETPOS 0x0BD1
// Returns the position.
#define TXSM_GETPOS 0x0BD2
// Sets the largest position; the thumb is not redrawn.
#define TXSM_SETRANGE 0x0BD3
// The notification code in the high word of the WM_COMMAND the parent gets when the user
// moved the thumb (the control's id in the low word, its window in lParam).
#define TXSN_MOVED 0xF061

// Fills the caller's tree-view control with the shell's folders (desktop, drives, folders),
// lazily as the user expands them, and tells the file-system path of the selected folder.
// A plain object without reference counting: Release destroys it. Every call comes from the
// thread that owns the tree window.
#ifndef __cplusplus
typedef struct IExplorerTree IExplorerTree;
typedef struct IExplorerTreeVtbl {
    LRESULT(TX_CMETHOD* OnNotify)(TX_CTHIS_(IExplorerTree) WPARAM controlId, const NMHDR* header);
    bool(TX_CMETHOD* GetPath)(TX_CTHIS_(IExplorerTree) char* buf, int size);
    void(TX_CMETHOD* SetPath)(TX_CTHIS_(IExplorerTree) const char* path);
    void(TX_CMETHOD* HandleMenuMsg)(TX_CTHIS_(IExplorerTree) UINT msg, WPARAM wParam, LPARAM lParam);
    void(TX_CMETHOD* Refresh)(TX_CTHIS(IExplorerTree));
    void(TX_CMETHOD* Update)(TX_CTHIS(IExplorerTree));
    void(TX_CMETHOD* Release)(TX_CTHIS(IExplorerTree));
} IExplorerTreeVtbl;
struct IExplorerTree {
    const IExplorerTreeVtbl* lpVtbl;
};
static_assert(sizeof(IExplorerTreeVtbl) == 7 * sizeof(void*), "IExplorerTree has seven slots");
#else
class IExplorerTree {
public:
    // The owner forwards each WM_NOTIFY of the tree (wParam, lParam as they came); returns 0.
    virtual LRESULT TX_THISCALL OnNotify(WPARAM controlId, const NMHDR* header) = 0;
    // Copies the selected folder's path (at most size - 1 characters); false when the
    // selection has no file-system path (a virtual folder, or nothing selected).
    virtual bool TX_THISCALL GetPath(char* buf, int size) = 0;
    // Expands the tree down to path, selects it and focuses the tree; a path the shell cannot
    // parse changes nothing.
    virtual void TX_THISCALL SetPath(const char* path) = 0;
    // While the folder's context menu is open the owner passes WM_INITMENUPOPUP, WM_DRAWITEM
    // and WM_MEASUREITEM here, so that the shell can draw its own items.
    virtual void TX_THISCALL HandleMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    // Rebuilds the tree from the desktop, with the computer's folder expanded.
    virtual void TX_THISCALL Refresh() = 0;
    // Re-reads the folders below the root, keeping the items (and their expansion) of those
    // that still exist.
    virtual void TX_THISCALL Update() = 0;
    virtual void TX_THISCALL Release() = 0;

protected:
    ~IExplorerTree() = default;
};
#endif

#ifdef __cplusplus
extern "C" {
#endif
// *out receives the new object (null on failure); tree stays empty until Refresh. owner is
// the window that owns the shell's menus and dialogs.
TX_API HRESULT __cdecl CreateExplorerTree(IExplorerTree** out, HWND owner, HWND tree);
#ifdef __cplusplus
}
#endif
