#pragma once

#include "SettingsDlg.h"
#include "WMASettingsRecord.h"

#include <memory>

// "Windows Media Audio Settings": codec, encoding mode and a format of the codec chosen by
// sample rate and bit rate (or quality), all as the Windows Media runtime lists them, with
// the maximum bit rate of bit-rate VBR and profile files (.prx) to load and save.
class CWMASettingsDlg : public CSettingsDlg<CWMASettingsDlg, WMASETTINGS, IDD_WMA_SETTINGS> {
public:
    CWMASettingsDlg(); // the record comes from the registry
    ~CWMASettingsDlg() override;

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              INT_PTR& result) override;
    void Save() override;
    void Load() override;
    void FillControls() override;
    void ReadControls() override;

private:
    // The runtime's lists while the dialog is open.
    struct Lists;

    int32_t SelectedCodec() const;
    int32_t SelectedMode() const;
    // Lists the selected codec's formats under the selected mode and shows those of the
    // record's format (or the first) in the sample-rate list and on the slider. fromRecord:
    // the low-delay box follows the format.
    void ShowFormats(int32_t format, bool fromRecord);
    // The slider's formats for the selected sample-rate entry, placed at format.
    void ShowSlider(int32_t format);
    void ShowNumber();
    void EnableMaximum();
    // The format index at the slider, or -1 when nothing is listed.
    int32_t SliderFormat() const;
    void LoadProfile();
    void SaveProfile();

    std::unique_ptr<Lists> m_lists;
};
