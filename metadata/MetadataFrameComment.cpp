#include "MetadataFrameComment.h"

#include "FrameValidation.h"
#include "ResourceIds.h"

int TX_THISCALL CMetadataFrameComment::Edit(HWND parent) {
    return RunDialog(parent, IDD_FRAME_COMMENT);
}

void CMetadataFrameComment::OnInitDialog() {
    m_description = Field(ID3FN_DESCRIPTION);
    m_text = Field(ID3FN_TEXT);
    SetCaption(GetName());
    SetItemText(IDC_FRAME_DESCRIPTION, m_description);
    SetItemText(IDC_FRAME_TEXT, m_text);
    trelvox::FillLanguageList(Item(IDC_FRAME_LANGUAGE), Field(ID3FN_LANGUAGE));
}

bool CMetadataFrameComment::OnOK() {
    std::wstring text = ItemText(IDC_FRAME_TEXT);
    if (!Check(trelvox::ValidateComment(text)))
        return false;
    m_description = ItemText(IDC_FRAME_DESCRIPTION);
    m_text = text;
    SetLanguage(trelvox::SelectedLanguageCode(Item(IDC_FRAME_LANGUAGE)).c_str());
    SetDescription(m_description.c_str());
    SetText(m_text.c_str());
    return true;
}
