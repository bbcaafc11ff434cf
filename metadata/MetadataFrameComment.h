// COMM: a comment text with a description and the language of the text.
#pragma once

#include "FrameDialog.h"
#include "FrameDisplay.h"
#include "MetadataFrame.h"

class CMetadataFrameComment final
    : public trelvox::CMetadataFrame<CMetadataFrameComment, IMetadataFrameComment, GUID_MetadataFrameComment>,
      private trelvox::FrameDialog {
public:
    using CMetadataFrame::CMetadataFrame;
    int TX_THISCALL Edit(HWND parent) override;
    void TX_THISCALL SetDescription(const wchar_t* text) override { SetField(ID3FN_DESCRIPTION, text); }
    void TX_THISCALL GetDescription(wchar_t* buf, int size) override {
        GetField(ID3FN_DESCRIPTION, buf, size);
    }
    void TX_THISCALL SetLanguage(const wchar_t* code) override { SetField(ID3FN_LANGUAGE, code); }
    void TX_THISCALL GetLanguage(wchar_t* buf, int size) override { GetField(ID3FN_LANGUAGE, buf, size); }
    void TX_THISCALL SetText(const wchar_t* text) override { SetField(ID3FN_TEXT, text); }
    void TX_THISCALL GetText(wchar_t* buf, int size) override { GetField(ID3FN_TEXT, buf, size); }
    void TX_THISCALL SetDefaults() override {
        SetField(ID3FN_DESCRIPTION, L"");
        SetField(ID3FN_TEXT, L"");
        SetField(ID3FN_LANGUAGE, L"enu");
    }

protected:
    bool DisplayText(std::wstring& text) override {
        text = trelvox::DisplayComment(Field(ID3FN_TEXT), Field(ID3FN_DESCRIPTION));
        return true;
    }

private:
    void OnInitDialog() override;
    bool OnOK() override;

    std::wstring m_description, m_text; // the dialog's fields
};
