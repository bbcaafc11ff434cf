#include "WAVSettings.h"

#include <shlwapi.h>

#include <string.h>

namespace {

constexpr DWORD kFormatBufferBytes = 32768;

struct TagFill {
    HWND list;
};

BOOL CALLBACK AddFormatTag(HACMDRIVERID, LPACMFORMATTAGDETAILSA details, DWORD_PTR instance, DWORD) {
    HWND list = reinterpret_cast<TagFill*>(instance)->list;
    // Several drivers may offer the same tag; the list shows each tag once.
    int count = int(SendMessageA(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (DWORD(SendMessageA(list, CB_GETITEMDATA, i, 0)) == details->dwFormatTag)
            return TRUE;
    char name[ACMFORMATTAGDETAILS_FORMATTAG_CHARS + 16];
    lstrcpynA(name, details->szFormatTag, ACMFORMATTAGDETAILS_FORMATTAG_CHARS);
    if (details->dwFormatTag == WAVE_FORMAT_PCM)
        lstrcatA(name, " (default)");
    LRESULT index = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    if (index >= 0)
        SendMessageA(list, CB_SETITEMDATA, index, details->dwFormatTag);
    return TRUE;
}

struct FormatFill {
    HWND list;
    std::vector<trelvox::UniqueBytes>* blocks;
};

BOOL CALLBACK AddFormat(HACMDRIVERID, LPACMFORMATDETAILSA details, DWORD_PTR instance, DWORD) {
    auto* fill = reinterpret_cast<FormatFill*>(instance);
    uint32_t bytes = trelvox::FormatBlockSize(details->pwfx);
    trelvox::UniqueBytes block = trelvox::AllocateBytes(bytes);
    if (!block)
        return FALSE;
    memcpy(block.get(), details->pwfx, bytes);
    if (details->pwfx->wFormatTag == WAVE_FORMAT_PCM)
        reinterpret_cast<WAVEFORMATEX*>(block.get())->cbSize = 0;
    // No exception may leave through ACM.
    try {
        fill->blocks->push_back(std::move(block));
    } catch (...) {
        return FALSE;
    }
    LRESULT index = SendMessageA(fill->list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(details->szFormat));
    if (index >= 0)
        SendMessageA(fill->list, CB_SETITEMDATA, index, reinterpret_cast<LPARAM>(fill->blocks->back().get()));
    return TRUE;
}

// "172 KB" and the like, as Explorer shows sizes.
void SetByteSize(HWND window, int id, DWORD bytes, const char* suffix) {
    char size[64] = {}, text[96];
    StrFormatByteSizeA(bytes, size, sizeof(size));
    wsprintfA(text, "%s%s", size, suffix);
    SetDlgItemTextA(window, id, text);
}

} // namespace

CWAVSettings::CWAVSettings() {
    m_record.Load();
}

void CWAVSettings::Save() {
    m_record.Save();
}

void CWAVSettings::Load() {
    m_record = WAVSETTINGS();
    m_record.Load();
}

void CWAVSettings::FillControls() {
    HWND codecs = Item(IDC_WAV_CODEC);
    SendMessageA(codecs, CB_RESETCONTENT, 0, 0);
    ACMFORMATTAGDETAILSA details = {};
    details.cbStruct = sizeof(details);
    TagFill fill = {codecs};
    acmFormatTagEnumA(nullptr, &details, AddFormatTag, reinterpret_cast<DWORD_PTR>(&fill), 0);
    int count = int(SendMessageA(codecs, CB_GETCOUNT, 0, 0));
    int selected = 0;
    for (int i = 0; i < count; ++i)
        if (DWORD(SendMessageA(codecs, CB_GETITEMDATA, i, 0)) == m_record.formatTag)
            selected = i;
    SendMessageA(codecs, CB_SETCURSEL, selected, 0);
    FillFormats();
}

void CWAVSettings::FillFormats() {
    HWND list = Item(IDC_WAV_FORMAT);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    m_formats.clear();
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Automatic Detection (default)"));
    SendMessageA(list, CB_SETITEMDATA, 0, 0);

    HWND codecs = Item(IDC_WAV_CODEC);
    LRESULT codec = SendMessageA(codecs, CB_GETCURSEL, 0, 0);
    if (codec >= 0) {
        trelvox::UniqueBytes buffer = trelvox::AllocateBytes(kFormatBufferBytes);
        if (buffer) {
            memset(buffer.get(), 0, kFormatBufferBytes);
            auto* wfx = reinterpret_cast<WAVEFORMATEX*>(buffer.get());
            wfx->wFormatTag = WORD(SendMessageA(codecs, CB_GETITEMDATA, codec, 0));
            ACMFORMATDETAILSA details = {};
            details.cbStruct = sizeof(details);
            details.dwFormatTag = wfx->wFormatTag;
            details.pwfx = wfx;
            details.cbwfx = kFormatBufferBytes;
            FormatFill fill = {list, &m_formats};
            acmFormatEnumA(nullptr, &details, AddFormat, reinterpret_cast<DWORD_PTR>(&fill),
                           ACM_FORMATENUMF_WFORMATTAG);
        }
    }

    // The stored format, byte for byte over its stored size; else automatic detection.
    int selected = 0;
    if (m_record.size != 0) {
        int count = int(SendMessageA(list, CB_GETCOUNT, 0, 0));
        for (int i = 1; i < count && selected == 0; ++i) {
            auto* entry = reinterpret_cast<const WAVEFORMATEX*>(SendMessageA(list, CB_GETITEMDATA, i, 0));
            if (entry && trelvox::FormatBlockSize(entry) >= m_record.size &&
                memcmp(entry, m_record.Format(), m_record.size) == 0)
                selected = i;
        }
    }
    SendMessageA(list, CB_SETCURSEL, selected, 0);
    ShowFormatInfo();
}

const WAVEFORMATEX* CWAVSettings::SelectedFormat() const {
    HWND list = Item(IDC_WAV_FORMAT);
    LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (index <= 0)
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(SendMessageA(list, CB_GETITEMDATA, index, 0));
}

void CWAVSettings::ShowFormatInfo() {
    bool anySelected = SendMessageA(Item(IDC_WAV_FORMAT), CB_GETCURSEL, 0, 0) != CB_ERR;
    EnableWindow(Item(IDOK), anySelected);
    EnableWindow(Item(IDC_SET_DEFAULT), anySelected);

    const WAVEFORMATEX* format = SelectedFormat();
    if (!format) {
        for (int id : {IDC_WAV_CHANNELS, IDC_WAV_SAMPLE_RATE, IDC_WAV_DATA_RATE, IDC_WAV_ALIGNMENT,
                       IDC_WAV_SAMPLE_SIZE, IDC_WAV_EXTRA})
            SetItemText(id, "Unknown");
        return;
    }
    char text[64];
    const char* layout = format->nChannels == 1 ? "Mono" : format->nChannels == 2 ? "Stereo" : "Unknown";
    wsprintfA(text, "%d - %s", format->nChannels, layout);
    SetItemText(IDC_WAV_CHANNELS, text);
    wsprintfA(text, "%d Hz", int(format->nSamplesPerSec));
    SetItemText(IDC_WAV_SAMPLE_RATE, text);
    SetByteSize(m_window, IDC_WAV_DATA_RATE, format->nAvgBytesPerSec, " / Sec.");
    SetByteSize(m_window, IDC_WAV_ALIGNMENT, format->nBlockAlign, "");
    wsprintfA(text, "%d Bits", format->wBitsPerSample);
    SetItemText(IDC_WAV_SAMPLE_SIZE, text);
    if (format->cbSize == 0)
        SetItemText(IDC_WAV_EXTRA, "No extra information");
    else
        SetByteSize(m_window, IDC_WAV_EXTRA, format->cbSize, "");
}

void CWAVSettings::ReadControls() {
    HWND codecs = Item(IDC_WAV_CODEC);
    LRESULT codec = SendMessageA(codecs, CB_GETCURSEL, 0, 0);
    if (codec >= 0)
        m_record.formatTag = DWORD(SendMessageA(codecs, CB_GETITEMDATA, codec, 0));
    const WAVEFORMATEX* format = SelectedFormat();
    if (!format || !m_record.SetFormat(format))
        m_record.DropFormat();
}

bool CWAVSettings::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        INT_PTR& result) {
    if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELCHANGE) {
        if (LOWORD(wParam) == IDC_WAV_CODEC) {
            FillFormats();
            return true;
        }
        if (LOWORD(wParam) == IDC_WAV_FORMAT) {
            ShowFormatInfo();
            return true;
        }
    }
    if (message == WM_DESTROY)
        m_formats.clear(); // the list's item data point into these
    return CSettingsDlgBase::ProcessWindowMessage(window, message, wParam, lParam, result);
}
