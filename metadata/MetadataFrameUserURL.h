// WXXX: a URL with a description.
#pragma once

#include "FrameDialog.h"
#include "FrameDisplay.h"
#include "MetadataFrame.h"

class CMetadataFrameUserURL final
    : public trelvox::CMetadataFrame<CMetadataFrameUserURL, IMetadataFrameUserURL, GUID_MetadataFrameUserURL>,
      private trelvox::FrameDialog {
public:
    using CMetadataFrame::CMetadataFrame;
    int TX_THISCALL Edit(HWND parent) override;
    void TX_THISCALL SetDescription(const wchar_t* text) override { SetField(ID3FN_DESCRIPTION, text); }
    void TX_THISCALL GetDescription(wchar_t* buf, int size) override {
        GetField(ID3FN_DESCRIPTION, buf, size);
    }
    void TX_THISCALL SetURL(const wchar_t* url) override { SetField(ID3FN_URL, url); }
    void TX_THISCALL GetURL(wchar_t* buf, int size) override { GetField(ID3FN_URL, buf, size); }
    void TX_THISCALL SetDefaults() override {
        SetField(ID3FN_DESCRIPTION, L"");
        SetField(ID3FN_URL, L"");
    }

protected:
    bool DisplayText(std::wstring& text) override {
        if (!HasField(ID3FN_URL) || !HasField(ID3FN_DESCRIPTION))
            return false;
        text = trelvox::DisplayWithDescription(Field(ID3FN_URL), Field(ID3FN_DESCRIPTION));
        return true;
    }

private:
    void OnInitDialog() override;
    bool OnOK() override;

    std::wstring m_description, m_url; // the dialog's fields
};
