// Text frames edited as one line of text: the plain ones, and those whose text must follow a
// rule (year, copyright, date, time, part of a set). They share one dialog, which runs the
// frame's Validate on OK.
#pragma once

#include "FrameDialog.h"
#include "FrameValidation.h"
#include "MetadataFrameText.h"

// Plain text frames; also the base of the text frames whose dialog checks the input.
class CMetadataFrameTextDef : public trelvox::CMetadataFrameText<CMetadataFrameTextDef>,
                              private trelvox::FrameDialog {
public:
    using CMetadataFrameText::CMetadataFrameText;
    int TX_THISCALL Edit(HWND parent) override;
    // The check the text dialog runs on OK: an empty string or the message to show.
    virtual std::string Validate(const std::wstring&) { return std::string(); }

private:
    void OnInitDialog() override;
    bool OnOK() override;

    std::wstring m_text; // the dialog's text field
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
