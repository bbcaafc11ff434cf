#include "MetadataFrameTextDef.h"

#include "ResourceIds.h"

int TX_THISCALL CMetadataFrameTextDef::Edit(HWND parent) {
    return RunDialog(parent, IDD_FRAME_TEXT);
}

void CMetadataFrameTextDef::OnInitDialog() {
    m_text = Field(ID3FN_TEXT);
    ShowFrameLabels(GetName(), GetFrameID());
    SetItemText(IDC_FRAME_TEXT, m_text);
}

bool CMetadataFrameTextDef::OnOK() {
    // Checked before it is stored, so that a rejected text never reaches the frame even when
    // the user gives up and cancels.
    std::wstring text = ItemText(IDC_FRAME_TEXT);
    if (!Check(Validate(text)))
        return false;
    m_text = text;
    SetText(m_text.c_str());
    return true;
}
