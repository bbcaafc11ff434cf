#include "MetadataFrameURL.h"

#include "FrameValidation.h"
#include "ResourceIds.h"

int TX_THISCALL CMetadataFrameURL::Edit(HWND parent) {
    return RunDialog(parent, IDD_FRAME_URL);
}

void CMetadataFrameURL::OnInitDialog() {
    m_url = Field(ID3FN_URL);
    ShowFrameLabels(GetName(), GetFrameID());
    SetItemText(IDC_FRAME_TEXT, m_url);
}

bool CMetadataFrameURL::OnOK() {
    std::wstring url = ItemText(IDC_FRAME_TEXT);
    if (!Check(trelvox::ValidateURL(url)))
        return false;
    m_url = url;
    SetURL(m_url.c_str());
    return true;
}
