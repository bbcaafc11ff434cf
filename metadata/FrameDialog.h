// The modal dialog part of the editable frame objects: running a dialog resource of the
// library over the caller's window, and the control helpers the eight frame dialogs share.
#pragma once

#include <windows.h>

#include <string>

namespace trelvox {

class FrameDialog {
public:
    FrameDialog(const FrameDialog&) = delete;
    FrameDialog& operator=(const FrameDialog&) = delete;

protected:
    FrameDialog() = default;
    virtual ~FrameDialog() = default;

    // Shows dialog resource dialogId modally over parent (may be null): IDOK or IDCANCEL,
    // and IDCANCEL as well when the dialog cannot be created.
    int RunDialog(HWND parent, int dialogId);

    // Fills the controls from the frame; called once the dialog exists, before it is shown.
    virtual void OnInitDialog() = 0;
    // OK was pressed: runs the checks (showing the message of the first that fails) and
    // stores the fields into the frame. False keeps the dialog open and the frame unchanged.
    virtual bool OnOK() = 0;
    // Any other command from a control; true when handled. Handles "&Open URL..." of the
    // two URL dialogs.
    virtual bool OnCommand(int id, int code);

    HWND Window() const { return m_window; }
    HWND Item(int id) const { return GetDlgItem(m_window, id); }
    // The text of a control, at most kMaxFieldText characters.
    std::wstring ItemText(int id) const;
    void SetItemText(int id, const std::wstring& text) const;
    // The dialog's caption becomes the frame's name.
    void SetCaption(const char* frameName) const;
    // The text and URL dialogs: the label above the field names the frame, the one below
    // explains it.
    void ShowFrameLabels(const char* frameName, int frameId) const;

    // Shows message, if there is one, as a message box owned by the dialog; true when it
    // was empty. The caption is always the product name.
    bool Check(const std::string& message, UINT icon = MB_ICONHAND) const;

    // Drop-down lists and list boxes hold wide texts.
    static int AddComboText(HWND combo, const std::wstring& text);
    static std::wstring ListText(HWND list, int index);

    static constexpr int kMaxFieldText = 1024;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool HandleMessage(UINT message, WPARAM wParam);
    // "&Open URL...": the URL check, then the shell opens url; the frame is not involved.
    void OpenURL(const std::wstring& url) const;
    void CenterOverOwner() const;

    HWND m_window = nullptr; // while the dialog is shown
};

// The language drop-down list of the language and comment dialogs: every language Windows
// knows, each entry carrying its locale, with the language of code (three letters, as the
// TLAN and COMM frames hold it) selected when there is one.
void FillLanguageList(HWND combo, const std::wstring& code);
// The three-letter code of the selected entry; empty when none is selected.
std::wstring SelectedLanguageCode(HWND combo);

} // namespace trelvox
