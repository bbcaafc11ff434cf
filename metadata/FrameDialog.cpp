#include "FrameDialog.h"

#include "FrameDisplay.h"
#include "FrameTexts.h"
#include "FrameValidation.h"
#include "ResourceIds.h"
#include "TextRules.h"
#include "Trace.h"
#include "WaitCursor.h"

#include <shellapi.h>

#include <algorithm>
#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace trelvox {

int FrameDialog::RunDialog(HWND parent, int dialogId) {
    INT_PTR result = DialogBoxParamW(reinterpret_cast<HINSTANCE>(&__ImageBase), MAKEINTRESOURCEW(dialogId),
                                     parent, DialogProc, reinterpret_cast<LPARAM>(this));
    if (result != IDOK && result != IDCANCEL) {
        TX_TRACE(ui, "frame dialog %d ended with %d (error %lu)", dialogId, int(result), GetLastError());
        result = IDCANCEL;
    }
    return static_cast<int>(result);
}

bool FrameDialog::OnCommand(int id, int code) {
    if (id != IDC_FRAME_OPEN_URL || code != BN_CLICKED)
        return false;
    OpenURL(ItemText(IDC_FRAME_TEXT));
    return true;
}

std::wstring FrameDialog::ItemText(int id) const {
    wchar_t text[kMaxFieldText + 1] = L"";
    GetDlgItemTextW(m_window, id, text, kMaxFieldText + 1);
    return text;
}

void FrameDialog::SetItemText(int id, const std::wstring& text) const {
    SetDlgItemTextW(m_window, id, text.c_str());
}

void FrameDialog::SetCaption(const char* frameName) const {
    if (frameName)
        SetWindowTextA(m_window, frameName);
}

void FrameDialog::ShowFrameLabels(const char* frameName, int frameId) const {
    SetDlgItemTextA(m_window, IDC_FRAME_LABEL, (std::string(frameName ? frameName : "") + ":").c_str());
    const char* explanation = FrameLongDescription(frameId);
    SetDlgItemTextA(m_window, IDC_FRAME_EXPLANATION, explanation ? explanation : "");
}

void FrameDialog::OpenURL(const std::wstring& url) const {
    WaitCursor wait;
    if (!Check(ValidateURL(url)))
        return;
    std::string target = Narrow(url, kAnsiCodePage);
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof(info);
    info.hwnd = m_window;
    info.lpFile = target.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info))
        TX_TRACE(ui, "opening %s failed (error %lu)", target.c_str(), GetLastError());
}

bool FrameDialog::Check(const std::string& message, UINT icon) const {
    if (message.empty())
        return true;
    MessageBoxA(m_window, message.c_str(), "Harvane", MB_OK | icon);
    return false;
}

int FrameDialog::AddComboText(HWND combo, const std::wstring& text) {
    return static_cast<int>(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

std::wstring FrameDialog::ListText(HWND list, int index) {
    LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR)
        return std::wstring();
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

void FrameDialog::CenterOverOwner() const {
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT area = work;
    HWND owner = GetWindow(m_window, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &area);
    RECT dialog = {};
    GetWindowRect(m_window, &dialog);
    int width = dialog.right - dialog.left, height = dialog.bottom - dialog.top;
    int x = (area.left + area.right - width) / 2, y = (area.top + area.bottom - height) / 2;
    // An owner near the screen's edge must not push the dialog off it.
    x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - width));
    y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom) - height));
    SetWindowPos(m_window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool FrameDialog::HandleMessage(UINT message, WPARAM wParam) {
    switch (message) {
    case WM_INITDIALOG:
        CenterOverOwner();
        OnInitDialog();
        return true;
    case WM_COMMAND: {
        int id = LOWORD(wParam), code = HIWORD(wParam);
        if (id == IDOK && code == BN_CLICKED) {
            if (OnOK())
                EndDialog(m_window, IDOK);
            return true;
        }
        if (id == IDCANCEL && code == BN_CLICKED) {
            EndDialog(m_window, IDCANCEL);
            return true;
        }
        return OnCommand(id, code);
    }
    }
    return false;
}

INT_PTR CALLBACK FrameDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<FrameDialog*>(lParam)->m_window = window;
    }
    auto* self = reinterpret_cast<FrameDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self)
        return FALSE;
    bool handled = false;
    try {
        handled = self->HandleMessage(message, wParam);
    } catch (...) {
        // Out of memory while filling or storing: the dialog ends as if cancelled.
        TX_TRACE(ui, "exception in frame dialog message %u", message);
        EndDialog(window, IDCANCEL);
        return TRUE;
    }
    if (message == WM_NCDESTROY)
        self->m_window = nullptr;
    // WM_INITDIALOG's TRUE gives the first control the focus.
    return handled ? TRUE : FALSE;
}

void FillLanguageList(HWND combo, const std::wstring& code) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (unsigned primary = 0; primary <= 254; ++primary) {
        for (unsigned sub = 0; sub <= 31; ++sub) {
            LCID locale = (sub << 10) | primary;
            wchar_t name[256] = L"";
            if (!GetLocaleInfoW(locale, LOCALE_SLANGUAGE, name, 256) || !name[0])
                continue;
            // The neutral and default locales repeat names that are listed already.
            if (SendMessageW(combo, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name)) !=
                CB_ERR)
                continue;
            LRESULT index = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
            if (index >= 0)
                SendMessageW(combo, CB_SETITEMDATA, index, locale);
        }
    }
    std::wstring name = code.empty() ? std::wstring() : LanguageName(code);
    LRESULT selected = name.empty() ? CB_ERR
                                    : SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                   reinterpret_cast<LPARAM>(name.c_str()));
    SendMessageW(combo, CB_SETCURSEL, selected, 0);
}

std::wstring SelectedLanguageCode(HWND combo) {
    LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return std::wstring();
    LCID locale = static_cast<LCID>(SendMessageW(combo, CB_GETITEMDATA, index, 0));
    wchar_t code[16] = L"";
    if (!GetLocaleInfoW(locale, LOCALE_SABBREVLANGNAME, code, 16))
        return std::wstring();
    return code;
}

} // namespace trelvox
