#include "MetadataFrameUserURL.h"

#include "FrameValidation.h"
#include "ResourceIds.h"

int TX_THISCALL CMetadataFrameUserURL::Edit(HWND parent) {
    return RunDialog(parent, IDD_FRAME_USER_URL);
}

void CMetadataFrameUserURL::OnInitDialog() {
    m_url = Field(ID3FN_URL);
    m_description = Field(ID3FN_DESCRIPTION);
    SetCaption(GetName());
    SetItemText(IDC_FRAME_TEXT, m_url);
    SetItemText(IDC_FRAME_DESCRIPTION, m_description);
}

bool CMetadataFrameUserURL::OnOK() {
    std::wstring url = ItemText(IDC_FRAME_TEXT);
    std::wstring description = ItemText(IDC_FRAME_DESCRIPTION);
    if (!Check(trelvox::ValidateUserURL(url, description)))
        return false;
    m_url = url;
    m_description = description;
    SetURL(m_url.c_str());
    SetDescription(m_description.c_str());
    return true;
}
