#include "MetadataFramePicture.h"

#include "FrameTexts.h"
#include "FrameValidation.h"
#include "Handles.h"
#include "ResourceIds.h"
#include "TextRules.h"
#include "Trace.h"

#include <commdlg.h>
#include <shlwapi.h>

namespace {

// The MIME type Windows registers for the extension of path ("Content Type" under the
// extension's key); empty when there is none.
std::string ContentTypeOf(const char* path) {
    const char* extension = PathFindExtensionA(path);
    HKEY opened = nullptr;
    if (!*extension || RegOpenKeyExA(HKEY_CLASSES_ROOT, extension, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return std::string();
    trelvox::UniqueRegKey key(opened);
    char type[256] = "";
    DWORD kind = 0, size = sizeof(type) - 1;
    if (RegQueryValueExA(key.get(), "Content Type", nullptr, &kind, reinterpret_cast<BYTE*>(type), &size) !=
            ERROR_SUCCESS ||
        kind != REG_SZ)
        return std::string();
    return type;
}

// Asks for a file with the open or the save dialog; false when the user cancelled.
bool AskForFile(HWND owner, bool save, const char* filter, char (&path)[MAX_PATH]) {
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    dialog.Flags |= save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST;
    return save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog);
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>& data) {
    trelvox::UniqueFile file(fopen(path, "rb"));
    if (!file || fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    long size = ftell(file.get());
    if (size < 0 || fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return false;
    data.swap(bytes);
    return true;
}

} // namespace

int TX_THISCALL CMetadataFramePicture::Edit(HWND parent) {
    return RunDialog(parent, IDD_FRAME_PICTURE);
}

void CMetadataFramePicture::OnInitDialog() {
    SetCaption(GetName());
    HWND types = Item(IDC_PICTURE_TYPE);
    for (unsigned type = 0; type < trelvox::kPictureTypeCount; ++type)
        AddComboText(types, trelvox::Widen(trelvox::PictureTypeName(type), trelvox::kAnsiCodePage));
    SendMessageW(types, CB_SETCURSEL, GetPictureType(), 0);
    m_description = Field(ID3FN_DESCRIPTION);
    m_mimeType = Field(ID3FN_MIMETYPE);
    m_data.clear();
    if (ID3_Field* data = m_frame->GetField(ID3FN_DATA)) {
        const uint8_t* bytes = data->GetRawBinary();
        if (bytes)
            m_data.assign(bytes, bytes + data->Size());
    }
    SetItemText(IDC_FRAME_DESCRIPTION, m_description);
    SetItemText(IDC_PICTURE_MIME, m_mimeType);
    ShowDataSize();
}

void CMetadataFramePicture::ShowDataSize() {
    wchar_t text[64];
    wsprintfW(text, L"(%d bytes)", static_cast<int>(m_data.size()));
    m_sizeText = text;
    SetItemText(IDC_PICTURE_SIZE, m_sizeText);
}

void CMetadataFramePicture::LoadPicture() {
    char path[MAX_PATH] = "";
    if (!AskForFile(Window(), false,
                    "JPEG files (.jpg)\0*.jpg;*.jpeg\0PNG files (.png)\0*.png\0All files (*.*)\0*.*\0", path))
        return;
    std::string type = ContentTypeOf(path);
    if (type.empty()) {
        SetItemText(IDC_PICTURE_MIME, std::wstring());
        Check("Unable to get MIME type of the picture file.");
        return;
    }
    if (type.compare(0, 5, "image") != 0) {
        Check("File selected is not a picture.");
        return;
    }
    if (type != "image/jpeg" && type != "image/png")
        Check("PNG or JPEG format should be used if interoperability is desired.\n", MB_ICONINFORMATION);
    if (!ReadWholeFile(path, m_data)) {
        TX_TRACE(tags, "reading picture %s failed", path);
        return;
    }
    SetItemText(IDC_PICTURE_MIME, trelvox::Widen(type, trelvox::kAnsiCodePage));
    ShowDataSize();
}

void CMetadataFramePicture::SavePicture() {
    char path[MAX_PATH] = "";
    if (!AskForFile(Window(), true, "JPEG files (.jpg)\0*.jpg\0", path))
        return;
    trelvox::UniqueFile file(fopen(path, "wb"));
    if (!file || fwrite(m_data.data(), 1, m_data.size(), file.get()) != m_data.size())
        TX_TRACE(tags, "writing picture %s failed", path);
}

bool CMetadataFramePicture::OnCommand(int id, int code) {
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_PICTURE_LOAD:
        LoadPicture();
        return true;
    case IDC_PICTURE_SAVE:
        SavePicture();
        return true;
    case IDC_PICTURE_RESET:
        m_data.clear();
        ShowDataSize();
        SetItemText(IDC_PICTURE_MIME, std::wstring());
        return true;
    }
    return false;
}

bool CMetadataFramePicture::OnOK() {
    std::wstring description = ItemText(IDC_FRAME_DESCRIPTION);
    std::wstring type = ItemText(IDC_PICTURE_MIME);
    if (!Check(trelvox::ValidatePicture(description, type)))
        return false;
    m_description = description;
    m_mimeType = type;
    if (ID3_Field* data = m_frame->GetField(ID3FN_DATA)) {
        if (m_data.empty())
            data->Clear();
        else
            data->Set(m_data.data(), m_data.size());
    }
    SetDescription(m_description.c_str());
    SetMimeType(m_mimeType.c_str());
    LRESULT selected = SendMessageW(Item(IDC_PICTURE_TYPE), CB_GETCURSEL, 0, 0);
    if (selected != CB_ERR)
        SetPictureType(static_cast<unsigned>(selected));
    return true;
}
