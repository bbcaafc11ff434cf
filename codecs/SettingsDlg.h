// The modal settings dialogs of the encoders, all built on one template: the dialog class,
// its settings record and its dialog resource.
#pragma once

#include "TrelvoxConvert.h"

#include <windows.h>

#include "ResourceIds.h"

namespace trelvox {

// What every settings dialog shares: the window, the default mode and the OK, Cancel and
// "Set &Default" commands. The virtual operations keep this order: message handling,
// destructor, the two of the window base, then save, load, fill and read.
class CSettingsDlgBase {
public:
    CSettingsDlgBase(const CSettingsDlgBase&) = delete;
    CSettingsDlgBase& operator=(const CSettingsDlgBase&) = delete;

    // Handles one message of the dialog; true when handled, with the dialog procedure's
    // result in result. Derived classes handle their controls and pass the rest on here.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      INT_PTR& result);
    virtual ~CSettingsDlgBase() = default;
    virtual DLGPROC GetDialogProc();
    // Called with the dialog's last message; the object outlives its window.
    virtual void OnFinalMessage(HWND window);
    // The record's registry form.
    virtual void Save() = 0;
    virtual void Load() = 0;
    // Controls from the record, and back.
    virtual void FillControls() = 0;
    virtual void ReadControls() = 0;

    // In default mode the caption ends with " (default)", "Set &Default" is hidden and OK
    // saves the record before the dialog closes.
    void SetDefaultMode(bool on) { m_defaultMode = on; }
    HWND Window() const { return m_window; }

protected:
    CSettingsDlgBase() = default;
    // Shows dialog resource dialogId modally over parent: IDOK or IDCANCEL (IDCANCEL also
    // when the dialog cannot be created).
    INT_PTR RunDialog(HWND parent, int dialogId);
    // Over a destination's record: the settings it holds were restored by the caller on
    // Cancel; OK gives true and copies the record, through copyTo, into every destination of
    // others (null-terminated, may be null) whose class is clsid.
    bool ApplyToOthers(IConvertDestination** others, const GUID& clsid,
                       void (*copyTo)(CSettingsDlgBase& from, IConvertDestination* to));

    void SetItemText(int id, const char* text) const { SetDlgItemTextA(m_window, id, text); }
    HWND Item(int id) const { return GetDlgItem(m_window, id); }

    HWND m_window = nullptr; // while the dialog is shown
    bool m_defaultMode = false;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

} // namespace trelvox

// A settings object: the record (loaded from the registry by the derived class's
// constructor) and the dialog, resource kDialogId, that edits it. T is the dialog class.
template <class T, class TRecord, int kDialogId> class CSettingsDlg : public trelvox::CSettingsDlgBase {
public:
    TRecord& Record() { return m_record; }
    const TRecord& Record() const { return m_record; }

    // 1 = OK, 2 = Cancel.
    INT_PTR Run(HWND parent) { return RunDialog(parent, kDialogId); }

    // The destination's ShowSettingsDialog: Cancel puts the record back as it was and gives
    // false; OK keeps it and copies it into every destination of others of class clsid
    // (TDest, whose Settings() is its record).
    template <class TDest> bool RunFor(HWND parent, IConvertDestination** others, const GUID& clsid) {
        TRecord kept = m_record;
        if (Run(parent) != IDOK) {
            m_record = kept;
            return false;
        }
        return ApplyToOthers(others, clsid, [](CSettingsDlgBase& from, IConvertDestination* to) {
            static_cast<TDest*>(to)->Settings() = static_cast<T&>(from).Record();
        });
    }

    // ConvDefOutputSettings: the registry defaults in default mode. S_OK after OK (saved),
    // E_ABORT after Cancel with the record put back.
    HRESULT RunAsDefaults(HWND parent) {
        TRecord kept = m_record;
        SetDefaultMode(true);
        if (Run(parent) != IDOK) {
            m_record = kept;
            return E_ABORT;
        }
        return S_OK;
    }

protected:
    CSettingsDlg() = default;

    TRecord m_record;
};
