#pragma once

#include "MP3SettingsRecord.h"
#include "SettingsDlg.h"

#include <stdint.h>

// "MP3 Encoding Settings": the mode, a bit rate or VBR quality on a TXSlider, the
// down-sampling rate and the stream flags.
class CMP3Settings : public CSettingsDlg<CMP3Settings, MP3SETTINGS, IDD_MP3_SETTINGS> {
public:
    CMP3Settings(); // the record comes from the registry

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              INT_PTR& result) override;
    void Save() override;
    void Load() override;
    void FillControls() override;
    void ReadControls() override;

private:
    int32_t SelectedMode() const;
    static bool IsQualityMode(int32_t mode) {
        return mode == MP3SETTINGS::kVBR || mode == MP3SETTINGS::kFastVBR;
    }
    // The label, the slider's scale and the down-sampling list for mode, the slider placed at
    // value (word 1 or word 3) and the list at the record's sample rate.
    void ShowMode(int32_t mode, int32_t value);
    void ShowNumber();
    int32_t SliderValue() const;

    uint16_t m_scale[18] = {};
    int m_scaleCount = 0;
};
