// TCON, the content type: ID3v1 genre references "(n)" and free text, edited as a list of
// genre names.
#pragma once

#include "FrameDialog.h"
#include "MetadataFrameText.h"

class CMetadataFrameTextGenre : public trelvox::CMetadataFrameText<CMetadataFrameTextGenre>,
                                private trelvox::FrameDialog {
public:
    using CMetadataFrameText::CMetadataFrameText;
    int TX_THISCALL Edit(HWND parent) override;

protected:
    std::wstring Display(const std::wstring& text) override { return trelvox::DisplayGenre(text); }

private:
    void OnInitDialog() override;
    bool OnOK() override;
    bool OnCommand(int id, int code) override;
    void AddGenre();
};
