#include "SettingsDlg.h"

#include "Trace.h"
#include "WaitCursor.h"

#include <commctrl.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace trelvox {

INT_PTR CSettingsDlgBase::RunDialog(HWND parent, int dialogId) {
    // The Ogg Vorbis dialog's trackbars.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    INT_PTR result = DialogBoxParamA(reinterpret_cast<HINSTANCE>(&__ImageBase), MAKEINTRESOURCEA(dialogId),
                                     parent, GetDialogProc(), reinterpret_cast<LPARAM>(this));
    if (result != IDOK && result != IDCANCEL) {
        TX_TRACE(ui, "dialog %d ended with %d (error %lu)", dialogId, int(result), GetLastError());
        result = IDCANCEL;
    }
    return result;
}

bool CSettingsDlgBase::ApplyToOthers(IConvertDestination** others, const GUID& clsid,
                                     void (*copyTo)(CSettingsDlgBase& from, IConvertDestination* to)) {
    for (; others && *others; ++others) {
        // Only our own destinations of this class have a record of this kind.
        GUID other = {};
        if ((*others)->GetClassID(&other) && IsEqualGUID(other, clsid))
            copyTo(*this, *others);
    }
    return true;
}

DLGPROC CSettingsDlgBase::GetDialogProc() {
    return DialogProc;
}

void CSettingsDlgBase::OnFinalMessage(HWND) {}

INT_PTR CALLBACK CSettingsDlgBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        SetWindowLongPtrA(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<CSettingsDlgBase*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!self)
        return FALSE;
    INT_PTR result = TRUE;
    bool handled = false;
    try {
        handled = self->ProcessWindowMessage(window, message, wParam, lParam, result);
    } catch (...) {
        // Out of memory while filling or reading: the dialog ends as if cancelled.
        TX_TRACE(ui, "exception in message %u", message);
        EndDialog(window, IDCANCEL);
        return TRUE;
    }
    if (message == WM_NCDESTROY) {
        self->m_window = nullptr;
        self->OnFinalMessage(window);
    }
    return handled ? result : FALSE;
}

bool CSettingsDlgBase::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM,
                                            INT_PTR& result) {
    switch (message) {
    case WM_INITDIALOG: {
        m_window = window;
        FillControls();
        if (m_defaultMode) {
            ShowWindow(Item(IDC_SET_DEFAULT), SW_HIDE);
            char caption[1024 + 16] = {};
            GetWindowTextA(window, caption, 1024);
            lstrcatA(caption, " (default)");
            SetWindowTextA(window, caption);
        }
        result = TRUE; // the first control gets the focus
        return true;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            return false;
        switch (LOWORD(wParam)) {
        case IDC_SET_DEFAULT: {
            WaitCursor wait;
            ReadControls();
            Save();
            return true;
        }
        case IDOK:
            ReadControls();
            if (m_defaultMode)
                Save();
            EndDialog(window, IDOK);
            return true;
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return true;
        }
        return false;
    }
    return false;
}

} // namespace trelvox
