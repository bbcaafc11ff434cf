// Frame objects of the text frames (T***, except TXXX). They share the text kind interface
// and differ in display and in what their edit dialog accepts.
#pragma once

#include "FrameDisplay.h"
#include "FrameValidation.h"
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

// Plain text frames; also the base of the text frames whose dialog checks the input.
class CMetadataFrameTextDef : public trelvox::CMetadataFrameText<CMetadataFrameTextDef> {
public:
    using CMetadataFrameText::CMetadataFrameText;
    // The check the text dialog runs on OK: an empty string or the message to show.
    virtual std::string Validate(const std::wstring&) { return std::string(); }
};

// TYER.
class CMetadataFrameTextNum : public CMetadataFrameTextDef {
public:
    using CMetadataFrameTextDef::CMetadataFrameTextDef;
    std::string Validate(const std::wstring& text) override {
        return trelvox::ValidateNumber(text, m_lower, m_upper);
    }

private:
    unsigned m_lower = 1800;
    unsigned m_upper = 2100;
};

// TCOP.
class CMetadataFrameTextCopyright : public CMetadataFrameTextDef {
public:
    using CMetadataFrameTextDef::CMetadataFrameTextDef;
    std::string Validate(const std::wstring& text) override {
        return trelvox::ValidateCopyright(text, m_lower, m_upper);
    }

protected:
    std::wstring Display(const std::wstring& text) override { return trelvox::DisplayCopyright(text); }

private:
    unsigned m_lower = 1800;
    unsigned m_upper = 2100;
};

// TDAT.
class CMetadataFrameTextDate : public CMetadataFrameTextDef {
public:
    using CMetadataFrameTextDef::CMetadataFrameTextDef;
    std::string Validate(const std::wstring& text) override { return trelvox::ValidateDate(text); }

protected:
    std::wstring Display(const std::wstring& text) override { return trelvox::DisplayDate(text); }
};

// TIME.
class CMetadataFrameTextTime : public CMetadataFrameTextDef {
public:
    using CMetadataFrameTextDef::CMetadataFrameTextDef;
    std::string Validate(const std::wstring& text) override { return trelvox::ValidateTime(text); }

protected:
    std::wstring Display(const std::wstring& text) override { return trelvox::DisplayTime(text); }
};

// TPOS, TRCK.
class CMetadataFrameTextPartNum : public CMetadataFrameTextDef {
public:
    using CMetadataFrameTextDef::CMetadataFrameTextDef;
    std::string Validate(const std::wstring& text) override {
        return trelvox::ValidatePartNumber(text, m_lower, m_upper);
    }

private:
    unsigned m_lower = 1;
    unsigned m_upper = 99;
};

// TCON.
class CMetadataFrameTextGenre : public trelvox::CMetadataFrameText<CMetadataFrameTextGenre> {
public:
    using CMetadataFrameText::CMetadataFrameText;

protected:
    std::wstring Display(const std::wstring& text) override { return trelvox::DisplayGenre(text); }
};

// TLAN.
class CMetadataFrameTextLang : public trelvox::CMetadataFrameText<CMetadataFrameTextLang> {
public:
    using CMetadataFrameText::CMetadataFrameText;
    void TX_THISCALL SetDefaults() override { SetField(ID3FN_TEXT, L"enu"); }

protected:
    std::wstring Display(const std::wstring& text) override { return trelvox::LanguageName(text); }
};

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
