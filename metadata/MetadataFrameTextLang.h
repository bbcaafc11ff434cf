// TLAN: the language of the recording as a three-letter Windows language code, edited by
// choosing the language's name.
#pragma once

#include "FrameDialog.h"
#include "MetadataFrameText.h"

class CMetadataFrameTextLang : public trelvox::CMetadataFrameText<CMetadataFrameTextLang>,
                               private trelvox::FrameDialog {
public:
    using CMetadataFrameText::CMetadataFrameText;
    void TX_THISCALL SetDefaults() override { SetField(ID3FN_TEXT, L"enu"); }
    int TX_THISCALL Edit(HWND parent) override;

protected:
    std::wstring Display(const std::wstring& text) override { return trelvox::LanguageName(text); }

private:
    void OnInitDialog() override;
    bool OnOK() override;
};
