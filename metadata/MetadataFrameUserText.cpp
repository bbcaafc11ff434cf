#include "MetadataFrameUserText.h"

#include "ResourceIds.h"

int TX_THISCALL CMetadataFrameUserText::Edit(HWND parent) {
    return RunDialog(parent, IDD_FRAME_USER_TEXT);
}

void CMetadataFrameUserText::OnInitDialog() {
    m_description = Field(ID3FN_DESCRIPTION);
    m_text = Field(ID3FN_TEXT);
    SetCaption(GetName());
    SetItemText(IDC_FRAME_DESCRIPTION, m_description);
    SetItemText(IDC_FRAME_TEXT, m_text);
}

bool CMetadataFrameUserText::OnOK() {
    m_description = ItemText(IDC_FRAME_DESCRIPTION);
    m_text = ItemText(IDC_FRAME_TEXT);
    SetDescription(m_description.c_str());
    SetText(m_text.c_str());
    return true;
}
