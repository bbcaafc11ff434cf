#include "MP3Settings.h"

#include "TrelvoxUI.h"

#include <stdio.h>

namespace {

constexpr uint16_t kBitrates[18] = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                                    96, 112, 128, 144, 160, 192, 224, 256, 320};
constexpr uint16_t kQualities[10] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
// 0 = "[disable]"; the VBR modes offer the first four entries only.
constexpr int32_t kSampleRates[10] = {0, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
constexpr int kVbrSampleRates = 4;

// Text and item data in mode order; the trailing blanks belong to the texts.
constexpr const char* kModes[4] = {"CBR - Constant Bitrate ", "VBR - Variable Bitrate",
                                   "ABR - Average Bitrate [recommended] ",
                                   "Fast VBR - Variable Bitrate [Fast Mode]"};

struct CheckBox {
    int id;
    int32_t MP3SETTINGS::*field;
};
constexpr CheckBox kCheckBoxes[6] = {
    {IDC_MP3_ORIGINAL, &MP3SETTINGS::original},  {IDC_MP3_COPYRIGHT, &MP3SETTINGS::copyright},
    {IDC_MP3_PRIVATE, &MP3SETTINGS::privateBit}, {IDC_MP3_CRC, &MP3SETTINGS::crc},
    {IDC_MP3_ISO, &MP3SETTINGS::strictIso},      {IDC_MP3_JOINT_STEREO, &MP3SETTINGS::jointStereo},
};

} // namespace

CMP3Settings::CMP3Settings() {
    m_record.Load();
}

void CMP3Settings::Save() {
    m_record.Save();
}

void CMP3Settings::Load() {
    m_record = MP3SETTINGS();
    m_record.Load();
}

int32_t CMP3Settings::SelectedMode() const {
    HWND modes = Item(IDC_MP3_MODE);
    LRESULT index = SendMessageA(modes, CB_GETCURSEL, 0, 0);
    return index < 0 ? MP3SETTINGS::kABR : int32_t(SendMessageA(modes, CB_GETITEMDATA, index, 0));
}

void CMP3Settings::FillControls() {
    HWND modes = Item(IDC_MP3_MODE);
    SendMessageA(modes, CB_RESETCONTENT, 0, 0);
    for (int32_t mode = 0; mode < 4; ++mode) {
        LRESULT index = SendMessageA(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kModes[mode]));
        SendMessageA(modes, CB_SETITEMDATA, index, mode);
    }
    int32_t mode = m_record.mode < 0 ? 0 : m_record.mode > 3 ? 3 : m_record.mode;
    SendMessageA(modes, CB_SETCURSEL, mode, 0);
    ShowMode(mode, IsQualityMode(mode) ? m_record.vbrQuality : m_record.bitrate);
    for (const CheckBox& box : kCheckBoxes)
        CheckDlgButton(m_window, box.id, m_record.*box.field ? BST_CHECKED : BST_UNCHECKED);
}

void CMP3Settings::ShowMode(int32_t mode, int32_t value) {
    bool quality = IsQualityMode(mode);
    SetItemText(IDC_MP3_VALUE_LABEL, quality ? "VBR Quality:" : "Bit rate:");

    const uint16_t* scale = quality ? kQualities : kBitrates;
    m_scaleCount = quality ? 10 : 18;
    for (int i = 0; i < m_scaleCount; ++i)
        m_scale[i] = scale[i];
    char text[64];
    wsprintfA(text, quality ? "%d%%" : "%d kBits / sec.", m_scale[0]);
    SetItemText(IDC_MP3_LOW_END, text);
    wsprintfA(text, quality ? "%d%%" : "%d kbps", m_scale[m_scaleCount - 1]);
    SetItemText(IDC_MP3_HIGH_END, text);
    // The first scale value not below the value; values above the scale go to its top.
    int position = m_scaleCount - 1;
    for (int i = 0; i < m_scaleCount; ++i) {
        if (m_scale[i] >= value) {
            position = i;
            break;
        }
    }
    HWND slider = Item(IDC_MP3_SLIDER);
    SendMessageA(slider, TXSM_SETRANGE, m_scaleCount - 1, 0);
    SendMessageA(slider, TXSM_SETPOS, position, 0);
    ShowNumber();

    HWND rates = Item(IDC_MP3_DOWNSAMPLING);
    SendMessageA(rates, CB_RESETCONTENT, 0, 0);
    int rateCount = quality ? kVbrSampleRates : int(sizeof(kSampleRates) / sizeof(kSampleRates[0]));
    int selected = 0;
    for (int i = 0; i < rateCount; ++i) {
        if (kSampleRates[i] == 0)
            lstrcpyA(text, "[disable]");
        else
            wsprintfA(text, "%d,%03d Hz", kSampleRates[i] / 1000, kSampleRates[i] % 1000);
        LRESULT index = SendMessageA(rates, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        SendMessageA(rates, CB_SETITEMDATA, index, kSampleRates[i]);
        if (kSampleRates[i] == m_record.sampleRate)
            selected = i;
    }
    SendMessageA(rates, CB_SETCURSEL, selected, 0);
}

int32_t CMP3Settings::SliderValue() const {
    LRESULT position = SendMessageA(Item(IDC_MP3_SLIDER), TXSM_GETPOS, 0, 0);
    if (position < 0)
        position = 0;
    if (position >= m_scaleCount)
        position = m_scaleCount - 1;
    return m_scale[position];
}

void CMP3Settings::ShowNumber() {
    char text[16];
    wsprintfA(text, "%d", SliderValue());
    SetItemText(IDC_MP3_NUMBER, text);
}

void CMP3Settings::ReadControls() {
    m_record.mode = SelectedMode();
    for (const CheckBox& box : kCheckBoxes)
        m_record.*box.field = IsDlgButtonChecked(m_window, box.id) == BST_CHECKED;
    if (IsQualityMode(m_record.mode))
        m_record.vbrQuality = SliderValue();
    else
        m_record.bitrate = SliderValue();
    HWND rates = Item(IDC_MP3_DOWNSAMPLING);
    LRESULT index = SendMessageA(rates, CB_GETCURSEL, 0, 0);
    m_record.sampleRate = index < 0 ? 0 : int32_t(SendMessageA(rates, CB_GETITEMDATA, index, 0));
}

bool CMP3Settings::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        INT_PTR& result) {
    if (message == WM_COMMAND) {
        if (LOWORD(wParam) == IDC_MP3_MODE && HIWORD(wParam) == CBN_SELCHANGE) {
            // The new scale starts from the record's word for it: bit rate or VBR quality.
            int32_t mode = SelectedMode();
            ShowMode(mode, IsQualityMode(mode) ? m_record.vbrQuality : m_record.bitrate);
            return true;
        }
        if (LOWORD(wParam) == IDC_MP3_SLIDER && HIWORD(wParam) == TXSN_MOVED) {
            ShowNumber();
            return true;
        }
    }
    return CSettingsDlgBase::ProcessWindowMessage(window, message, wParam, lParam, result);
}
