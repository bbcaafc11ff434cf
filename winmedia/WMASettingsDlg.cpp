#include "WMASettingsDlg.h"

#include "TrelvoxUI.h"
#include "WMAProfile.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

using trelvox::WmaListedFormat;

namespace {

// The mode list's texts and modes, in the order shown.
struct ModeEntry {
    const char* text;
    int32_t mode;
};
constexpr ModeEntry kModes[4] = {
    {"Constant Bitrate", WMASETTINGS::kCBR},
    {"Constant Bitrate (Two-Pass)", WMASETTINGS::kTwoPassCBR},
    {"Quality-based Variable Bitrate", WMASETTINGS::kQualityVBR},
    {"Variable/Average Bitrate", WMASETTINGS::kBitrateVBR},
};

bool SameShape(const WmaListedFormat& a, const WmaListedFormat& b) {
    return a.sampleRate == b.sampleRate && a.bitsPerSample == b.bitsPerSample && a.channels == b.channels;
}

int32_t ComboData(HWND combo) {
    LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    return index < 0 ? -1 : int32_t(SendMessageA(combo, CB_GETITEMDATA, index, 0));
}

void AddComboEntry(HWND combo, const char* text, LPARAM data) {
    LRESULT index = SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index >= 0)
        SendMessageA(combo, CB_SETITEMDATA, index, data);
}

} // namespace

struct CWMASettingsDlg::Lists {
    trelvox::WmaCodecInfo info;
    bool open = false;
    std::vector<WmaListedFormat> formats; // of the selected codec and mode
    std::vector<size_t> shapes;           // sample-rate entries: a format of each shape
    std::vector<size_t> slider;           // the slider's formats, by rate
};

CWMASettingsDlg::CWMASettingsDlg() {
    m_record.Load();
}

CWMASettingsDlg::~CWMASettingsDlg() = default;

void CWMASettingsDlg::Save() {
    m_record.Save();
}

void CWMASettingsDlg::Load() {
    m_record.Load();
}

int32_t CWMASettingsDlg::SelectedCodec() const {
    int32_t codec = ComboData(Item(IDC_WMA_CODEC));
    return codec < 0 ? m_record.codec : codec;
}

int32_t CWMASettingsDlg::SelectedMode() const {
    int32_t mode = ComboData(Item(IDC_WMA_MODE));
    return mode < 0 ? m_record.mode : mode;
}

void CWMASettingsDlg::FillControls() {
    if (!m_lists)
        m_lists = std::make_unique<Lists>();
    if (!m_lists->open)
        m_lists->open = SUCCEEDED(m_lists->info.Open());

    HWND codecs = Item(IDC_WMA_CODEC);
    SendMessageA(codecs, CB_RESETCONTENT, 0, 0);
    const DWORD count = m_lists->open ? m_lists->info.CodecCount() : 0;
    for (DWORD codec = 0; codec < count; ++codec) {
        LRESULT index = SendMessageA(codecs, CB_ADDSTRING, 0,
                                     reinterpret_cast<LPARAM>(m_lists->info.CodecName(codec).c_str()));
        SendMessageA(codecs, CB_SETITEMDATA, index, codec);
        if (int32_t(codec) == m_record.codec)
            SendMessageA(codecs, CB_SETCURSEL, index, 0);
    }
    HWND modes = Item(IDC_WMA_MODE);
    SendMessageA(modes, CB_RESETCONTENT, 0, 0);
    for (const ModeEntry& entry : kModes) {
        // Without enumeration settings the runtime offers constant bit rate formats only.
        if (entry.mode != WMASETTINGS::kCBR && m_lists->open && !m_lists->info.HasEnumerationSettings())
            continue;
        LRESULT index = SendMessageA(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.text));
        SendMessageA(modes, CB_SETITEMDATA, index, entry.mode);
        if (entry.mode == m_record.mode)
            SendMessageA(modes, CB_SETCURSEL, index, 0);
    }
    if (SendMessageA(modes, CB_GETCURSEL, 0, 0) < 0)
        SendMessageA(modes, CB_SETCURSEL, 0, 0);
    CheckDlgButton(m_window, IDC_WMA_LOW_DELAY, BST_UNCHECKED);
    CheckDlgButton(m_window, IDC_WMA_USE_MAX, m_record.maxBitrate != 0 ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemInt(m_window, IDC_WMA_MAX_BITRATE, UINT(m_record.maxBitrate / 1000), FALSE);
    SetDlgItemInt(m_window, IDC_WMA_MAX_BUFFER, UINT(m_record.bufferWindow), FALSE);
    ShowFormats(m_record.format, true);
    EnableMaximum();
}

void CWMASettingsDlg::ShowFormats(int32_t format, bool fromRecord) {
    Lists& lists = *m_lists;
    lists.formats.clear();
    if (lists.open)
        lists.info.ListFormats(DWORD(SelectedCodec()), SelectedMode(), lists.formats);
    // Opening on a low-delay format shows the low-delay list.
    for (const WmaListedFormat& listed : lists.formats) {
        if (fromRecord && int32_t(listed.index) == format && listed.lowDelay)
            CheckDlgButton(m_window, IDC_WMA_LOW_DELAY, BST_CHECKED);
    }
    const bool lowDelay = IsDlgButtonChecked(m_window, IDC_WMA_LOW_DELAY) == BST_CHECKED;

    HWND rates = Item(IDC_WMA_SAMPLE_RATE);
    SendMessageA(rates, CB_RESETCONTENT, 0, 0);
    lists.shapes.clear();
    int selected = 0;
    for (size_t i = 0; i < lists.formats.size(); ++i) {
        const WmaListedFormat& listed = lists.formats[i];
        if (lowDelay && !listed.lowDelay)
            continue;
        auto same = std::find_if(lists.shapes.begin(), lists.shapes.end(),
                                 [&](size_t shape) { return SameShape(lists.formats[shape], listed); });
        size_t entry = size_t(same - lists.shapes.begin());
        if (same == lists.shapes.end()) {
            char text[64];
            char channels[16];
            if (listed.channels == 1)
                lstrcpyA(channels, "mono");
            else if (listed.channels == 2)
                lstrcpyA(channels, "stereo");
            else
                wsprintfA(channels, "%d channel", int(listed.channels));
            wsprintfA(text, "%d kHz, %d bit, %s", int(listed.sampleRate / 1000), int(listed.bitsPerSample),
                      channels);
            lists.shapes.push_back(i);
            AddComboEntry(rates, text, LPARAM(entry));
        }
        if (int32_t(listed.index) == format)
            selected = int(entry);
    }
    // CB_ADDSTRING keeps the order of addition in an unsorted list: entry n is item n.
    SendMessageA(rates, CB_SETCURSEL, selected, 0);
    ShowSlider(format);
}

void CWMASettingsDlg::ShowSlider(int32_t format) {
    Lists& lists = *m_lists;
    const bool quality = SelectedMode() == WMASETTINGS::kQualityVBR;
    const bool lowDelay = IsDlgButtonChecked(m_window, IDC_WMA_LOW_DELAY) == BST_CHECKED;
    lists.slider.clear();
    int32_t entry = ComboData(Item(IDC_WMA_SAMPLE_RATE));
    if (entry >= 0 && size_t(entry) < lists.shapes.size()) {
        const WmaListedFormat& shape = lists.formats[lists.shapes[size_t(entry)]];
        for (size_t i = 0; i < lists.formats.size(); ++i) {
            if (SameShape(lists.formats[i], shape) && (!lowDelay || lists.formats[i].lowDelay))
                lists.slider.push_back(i);
        }
        std::stable_sort(lists.slider.begin(), lists.slider.end(),
                         [&](size_t a, size_t b) { return lists.formats[a].rate < lists.formats[b].rate; });
    }
    SetItemText(IDC_WMA_VALUE_LABEL, quality ? "Quality:" : "Bitrate:");
    char text[64] = "";
    int position = 0;
    if (!lists.slider.empty()) {
        const DWORD low = lists.formats[lists.slider.front()].rate;
        const DWORD high = lists.formats[lists.slider.back()].rate;
        wsprintfA(text, quality ? "%d%%" : "%d kBits / sec.", int(quality ? low : low / 1000));
        SetItemText(IDC_WMA_LOW_END, text);
        wsprintfA(text, quality ? "%d%%" : "%d kbps", int(quality ? high : high / 1000));
        SetItemText(IDC_WMA_HIGH_END, text);
        for (size_t i = 0; i < lists.slider.size(); ++i) {
            if (int32_t(lists.formats[lists.slider[i]].index) == format)
                position = int(i);
        }
    } else {
        SetItemText(IDC_WMA_LOW_END, "");
        SetItemText(IDC_WMA_HIGH_END, "");
    }
    HWND slider = Item(IDC_WMA_SLIDER);
    SendMessageA(slider, TXSM_SETRANGE, lists.slider.empty() ? 0 : lists.slider.size() - 1, 0);
    SendMessageA(slider, TXSM_SETPOS, position, 0);
    InvalidateRect(slider, nullptr, TRUE);
    ShowNumber();
}

int32_t CWMASettingsDlg::SliderFormat() const {
    const Lists& lists = *m_lists;
    if (lists.slider.empty())
        return -1;
    LRESULT position = SendMessageA(Item(IDC_WMA_SLIDER), TXSM_GETPOS, 0, 0);
    position = std::max<LRESULT>(0, std::min<LRESULT>(position, LRESULT(lists.slider.size()) - 1));
    return int32_t(lists.formats[lists.slider[size_t(position)]].index);
}

void CWMASettingsDlg::ShowNumber() {
    const Lists& lists = *m_lists;
    char text[16] = "";
    int32_t format = SliderFormat();
    for (const WmaListedFormat& listed : lists.formats) {
        if (int32_t(listed.index) == format)
            wsprintfA(text, "%d",
                      int(SelectedMode() == WMASETTINGS::kQualityVBR ? listed.rate : listed.rate / 1000));
    }
    SetItemText(IDC_WMA_NUMBER, text);
}

void CWMASettingsDlg::EnableMaximum() {
    const bool vbr = SelectedMode() == WMASETTINGS::kBitrateVBR;
    const bool use = vbr && IsDlgButtonChecked(m_window, IDC_WMA_USE_MAX) == BST_CHECKED;
    EnableWindow(Item(IDC_WMA_USE_MAX), vbr);
    EnableWindow(Item(IDC_WMA_MAX_BITRATE), use);
    EnableWindow(Item(IDC_WMA_MAX_BUFFER), use);
}

void CWMASettingsDlg::ReadControls() {
    m_record.codec = SelectedCodec();
    m_record.mode = SelectedMode();
    int32_t format = SliderFormat();
    if (format >= 0)
        m_record.format = format;
    if (m_record.mode == WMASETTINGS::kBitrateVBR &&
        IsDlgButtonChecked(m_window, IDC_WMA_USE_MAX) == BST_CHECKED) {
        m_record.maxBitrate = int32_t(GetDlgItemInt(m_window, IDC_WMA_MAX_BITRATE, nullptr, FALSE) * 1000);
        m_record.bufferWindow = int32_t(GetDlgItemInt(m_window, IDC_WMA_MAX_BUFFER, nullptr, FALSE));
    } else {
        m_record.maxBitrate = 0;
        m_record.bufferWindow = 0;
    }
}

namespace {

constexpr char kPrxFilter[] = "Windows Media Profile (.prx)\0*.prx\0";

OPENFILENAMEA PrxFileDialog(HWND owner, char* path) {
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kPrxFilter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = "prx";
    return dialog;
}

} // namespace

void CWMASettingsDlg::LoadProfile() {
    char path[MAX_PATH] = "";
    OPENFILENAMEA dialog = PrxFileDialog(m_window, path);
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&dialog))
        return;
    if (const char* message = trelvox::ReadWmaProfileFile(path, m_record)) {
        trelvox::ShowWmaProfileMessage(m_window, message);
        return;
    }
    FillControls();
}

void CWMASettingsDlg::SaveProfile() {
    char path[MAX_PATH] = "";
    OPENFILENAMEA dialog = PrxFileDialog(m_window, path);
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    if (!GetSaveFileNameA(&dialog))
        return;
    // The profile is what the controls show; the record itself changes only with OK.
    WMASETTINGS kept = m_record;
    ReadControls();
    const char* message = trelvox::WriteWmaProfileFile(path, m_record);
    m_record = kept;
    if (message)
        trelvox::ShowWmaProfileMessage(m_window, message);
}

bool CWMASettingsDlg::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                           INT_PTR& result) {
    if (message == WM_COMMAND) {
        const WORD id = LOWORD(wParam);
        const WORD code = HIWORD(wParam);
        if (code == CBN_SELCHANGE && (id == IDC_WMA_CODEC || id == IDC_WMA_MODE)) {
            ShowFormats(m_record.format, false);
            EnableMaximum();
            return true;
        }
        if (code == CBN_SELCHANGE && id == IDC_WMA_SAMPLE_RATE) {
            ShowSlider(SliderFormat());
            return true;
        }
        if (id == IDC_WMA_SLIDER && code == TXSN_MOVED) {
            ShowNumber();
            return true;
        }
        if (code == BN_CLICKED) {
            switch (id) {
            case IDC_WMA_LOW_DELAY:
                ShowFormats(SliderFormat(), false);
                return true;
            case IDC_WMA_USE_MAX:
                EnableMaximum();
                return true;
            case IDC_WMA_LOAD_PROFILE:
                LoadProfile();
                return true;
            case IDC_WMA_SAVE_PROFILE:
                SaveProfile();
                return true;
            }
        }
    }
    return CSettingsDlgBase::ProcessWindowMessage(window, message, wParam, lParam, result);
}
