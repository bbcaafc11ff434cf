// The W*** frames: one URL each.
#pragma once

#include "FrameDialog.h"
#include "FrameDisplay.h"
#include "MetadataFrame.h"

class CMetadataFrameURL final
    : public trelvox::CMetadataFrame<CMetadataFrameURL, IMetadataFrameURL, GUID_MetadataFrameURL>,
      private trelvox::FrameDialog {
public:
    using CMetadataFrame::CMetadataFrame;
    int TX_THISCALL Edit(HWND parent) override;
    void TX_THISCALL SetURL(const wchar_t* url) override { SetField(ID3FN_URL, url); }
    void TX_THISCALL GetURL(wchar_t* buf, int size) override { GetField(ID3FN_URL, buf, size); }
    void TX_THISCALL SetDefaults() override { SetField(ID3FN_URL, L""); }

protected:
    bool DisplayText(std::wstring& text) override {
        if (!HasField(ID3FN_URL))
            return false;
        text = Field(ID3FN_URL);
        return true;
    }

private:
    void OnInitDialog() override;
    bool OnOK() override;

    std::wstring m_url; // the dialog's field
};
