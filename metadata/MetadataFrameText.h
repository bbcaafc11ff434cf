// Frame objects of the text frames (T***, except TXXX). They share the text kind interface
// and differ in display and in what their edit dialog accepts. The editable ones have files
// of their own (MetadataFrameTextDef.h with the checked texts, MetadataFrameTextGenre.h,
// MetadataFrameTextLang.h); the two here are shown but never edited.
#pragma once

#include "FrameDisplay.h"
#include "MetadataFrame.h"

namespace trelvox {

template <class T>
class CMetadataFrameText : public CMetadataFrame<T, IMetadataFrameText, GUID_MetadataFrameText> {
    using Base = CMetadataFrame<T, IMetadataFrameText, GUID_MetadataFrameText>;

public:
    using Base::Base;

    void TX_THISCALL SetText(const wchar_t* text) override { this->SetField(ID3FN_TEXT, text); }
    void TX_THISCALL GetText(wchar_t* buf, int size) override { this->GetField(ID3FN_TEXT, buf, size); }
    void TX_THISCALL SetDefaults() override { this->SetField(ID3FN_TEXT, L""); }

protected:
    bool DisplayText(std::wstring& text) override {
        if (!this->HasField(ID3FN_TEXT))
            return false;
        text = Display(this->Field(ID3FN_TEXT));
        return true;
    }
    virtual std::wstring Display(const std::wstring& text) { return text; }
};

} // namespace trelvox

// TLEN: written by encoders, shown but not edited.
class CMetadataFrameTextSongLen : public trelvox::CMetadataFrameText<CMetadataFrameTextSongLen> {
public:
    using CMetadataFrameText::CMetadataFrameText;
    bool TX_THISCALL IsReadOnly() override { return true; }

protected:
    std::wstring Display(const std::wstring& text) override { return trelvox::DisplaySongLength(text); }
};

// TFLT, TKEY, TMED, TSIZ, TSRC, TSSE.
class CMetadataFrameTextReadOnly : public trelvox::CMetadataFrameText<CMetadataFrameTextReadOnly> {
public:
    using CMetadataFrameText::CMetadataFrameText;
    bool TX_THISCALL IsReadOnly() override { return true; }
};
