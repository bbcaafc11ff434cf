#include "MetadataFrameTextLang.h"

#include "ResourceIds.h"

int TX_THISCALL CMetadataFrameTextLang::Edit(HWND parent) {
    return RunDialog(parent, IDD_FRAME_LANGUAGE);
}

void CMetadataFrameTextLang::OnInitDialog() {
    SetCaption(GetName());
    trelvox::FillLanguageList(Item(IDC_FRAME_LANGUAGE), Field(ID3FN_TEXT));
}

bool CMetadataFrameTextLang::OnOK() {
    SetText(trelvox::SelectedLanguageCode(Item(IDC_FRAME_LANGUAGE)).c_str());
    return true;
}
