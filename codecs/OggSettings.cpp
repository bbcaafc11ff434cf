#include "OggSettings.h"

#include <commctrl.h>

namespace {

using trelvox::kOggBitrates;
using trelvox::OggBitrateIndex;

void SetTrackbar(HWND bar, int maximum, int position) {
    SendMessageA(bar, TBM_SETRANGE, FALSE, MAKELPARAM(0, maximum));
    SendMessageA(bar, TBM_SETPOS, TRUE, position);
}

} // namespace

void COggSettings::Save() {}

void COggSettings::Load() {
    m_record = OGGSETTINGS();
}

int COggSettings::Position(int id) const {
    return int(SendMessageA(Item(id), TBM_GETPOS, 0, 0));
}

void COggSettings::FillControls() {
    SetTrackbar(Item(IDC_OGG_QUALITY), 10, m_record.quality / 10);
    SetTrackbar(Item(IDC_OGG_AVERAGE), 7, OggBitrateIndex(m_record.avgBitrate));
    SetTrackbar(Item(IDC_OGG_MIN), 7, OggBitrateIndex(m_record.minBitrate));
    SetTrackbar(Item(IDC_OGG_MAX), 7, OggBitrateIndex(m_record.maxBitrate));
    CheckDlgButton(m_window, IDC_OGG_QUALITY_MODE, m_record.qualityMode ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(m_window, IDC_OGG_AVERAGE_MODE, m_record.qualityMode ? BST_UNCHECKED : BST_CHECKED);
    CheckDlgButton(m_window, IDC_OGG_USE_MIN, m_record.useMinBitrate ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(m_window, IDC_OGG_USE_MAX, m_record.useMaxBitrate ? BST_CHECKED : BST_UNCHECKED);
    EnableControls();
    ShowValues();
}

void COggSettings::EnableControls() {
    bool quality = IsDlgButtonChecked(m_window, IDC_OGG_QUALITY_MODE) == BST_CHECKED;
    bool useMin = !quality && IsDlgButtonChecked(m_window, IDC_OGG_USE_MIN) == BST_CHECKED;
    bool useMax = !quality && IsDlgButtonChecked(m_window, IDC_OGG_USE_MAX) == BST_CHECKED;
    const struct {
        int id;
        bool enabled;
    } controls[] = {
        {IDC_OGG_QUALITY_LABEL, quality},
        {IDC_OGG_QUALITY, quality},
        {IDC_OGG_QUALITY_VALUE, quality},
        {IDC_OGG_AVERAGE_LABEL, !quality},
        {IDC_OGG_AVERAGE, !quality},
        {IDC_OGG_AVERAGE_VALUE, !quality},
        {IDC_OGG_USE_MIN, !quality},
        {IDC_OGG_USE_MAX, !quality},
        {IDC_OGG_MIN_LABEL, useMin},
        {IDC_OGG_MIN, useMin},
        {IDC_OGG_MIN_VALUE, useMin},
        {IDC_OGG_MAX_LABEL, useMax},
        {IDC_OGG_MAX, useMax},
        {IDC_OGG_MAX_VALUE, useMax},
    };
    for (const auto& control : controls)
        EnableWindow(Item(control.id), control.enabled);
}

void COggSettings::ShowValues() {
    char text[32];
    wsprintfA(text, "%d%%", Position(IDC_OGG_QUALITY) * 10);
    SetItemText(IDC_OGG_QUALITY_VALUE, text);
    const int bars[3][2] = {{IDC_OGG_AVERAGE, IDC_OGG_AVERAGE_VALUE},
                            {IDC_OGG_MIN, IDC_OGG_MIN_VALUE},
                            {IDC_OGG_MAX, IDC_OGG_MAX_VALUE}};
    for (const auto& bar : bars) {
        wsprintfA(text, "%d kbps", int(kOggBitrates[Position(bar[0]) & 7]));
        SetItemText(bar[1], text);
    }
}

void COggSettings::ReadControls() {
    m_record.qualityMode = IsDlgButtonChecked(m_window, IDC_OGG_QUALITY_MODE) == BST_CHECKED;
    if (m_record.qualityMode) {
        m_record.quality = Position(IDC_OGG_QUALITY) * 10;
        return;
    }
    m_record.avgBitrate = kOggBitrates[Position(IDC_OGG_AVERAGE) & 7];
    m_record.minBitrate = kOggBitrates[Position(IDC_OGG_MIN) & 7];
    m_record.maxBitrate = kOggBitrates[Position(IDC_OGG_MAX) & 7];
    m_record.useMinBitrate = IsDlgButtonChecked(m_window, IDC_OGG_USE_MIN) == BST_CHECKED;
    m_record.useMaxBitrate = IsDlgButtonChecked(m_window, IDC_OGG_USE_MAX) == BST_CHECKED;
}

bool COggSettings::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        INT_PTR& result) {
    if (message == WM_HSCROLL) {
        ShowValues();
        return true;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDC_OGG_QUALITY_MODE:
        case IDC_OGG_AVERAGE_MODE:
            // The static texts between the two buttons start groups of their own, so the
            // buttons do not uncheck each other.
            CheckDlgButton(
                window, LOWORD(wParam) == IDC_OGG_QUALITY_MODE ? IDC_OGG_AVERAGE_MODE : IDC_OGG_QUALITY_MODE,
                BST_UNCHECKED);
            EnableControls();
            return true;
        case IDC_OGG_USE_MIN:
        case IDC_OGG_USE_MAX:
            EnableControls();
            return true;
        }
    }
    return CSettingsDlgBase::ProcessWindowMessage(window, message, wParam, lParam, result);
}
