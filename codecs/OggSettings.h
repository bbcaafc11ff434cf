#pragma once

#include "OggSettingsRecord.h"
#include "SettingsDlg.h"

// "Ogg Vorbis Audio Settings": quality-based VBR or an average bit rate with optional minimum
// and maximum, on four trackbars. The record has no registry form.
class COggSettings : public CSettingsDlg<COggSettings, OGGSETTINGS, IDD_OGG_SETTINGS> {
public:
    COggSettings() = default; // the defaults

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              INT_PTR& result) override;
    void Save() override;
    void Load() override;
    void FillControls() override;
    void ReadControls() override;

private:
    void EnableControls();
    // The readouts beside the trackbars.
    void ShowValues();
    int Position(int id) const;
};
