#pragma once

#include "Handles.h"
#include "SettingsDlg.h"
#include "WaveSettingsRecord.h"

#include <vector>

// "Wave Audio Settings": the ACM codec (format tag) and, optionally, one exact format of it.
class CWAVSettings : public CSettingsDlg<CWAVSettings, WAVSETTINGS, IDD_WAV_SETTINGS> {
public:
    CWAVSettings(); // the record comes from the registry

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              INT_PTR& result) override;
    void Save() override;
    void Load() override;
    void FillControls() override;
    void ReadControls() override;

private:
    // The formats of the selected codec, "Automatic Detection (default)" first.
    void FillFormats();
    // The information fields and the OK and "Set &Default" buttons for the selected format.
    void ShowFormatInfo();
    // The selected format's block, or null for automatic detection.
    const WAVEFORMATEX* SelectedFormat() const;

    // One block per format list entry after the first; the entries' item data point here.
    std::vector<trelvox::UniqueBytes> m_formats;
};
