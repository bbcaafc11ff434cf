// Frame objects of the frames with more than one text field: TXXX, COMM, W***, WXXX, APIC.
#pragma once

#include "FrameDisplay.h"
#include "MetadataFrame.h"

#include <id3/field.h>

class CMetadataFrameUserText final
    : public trelvox::CMetadataFrame<CMetadataFrameUserText, IMetadataFrameUserText,
                                     GUID_MetadataFrameUserText> {
public:
    using CMetadataFrame::CMetadataFrame;
    void TX_THISCALL SetDescription(const wchar_t* text) override { SetField(ID3FN_DESCRIPTION, text); }
    void TX_THISCALL GetDescription(wchar_t* buf, int size) override {
        GetField(ID3FN_DESCRIPTION, buf, size);
    }
    void TX_THISCALL SetText(const wchar_t* text) override { SetField(ID3FN_TEXT, text); }
    void TX_THISCALL GetText(wchar_t* buf, int size) override { GetField(ID3FN_TEXT, buf, size); }
    void TX_THISCALL SetDefaults() override {
        SetField(ID3FN_DESCRIPTION, L"");
        SetField(ID3FN_TEXT, L"");
    }

protected:
    bool DisplayText(std::wstring& text) override {
        text = trelvox::DisplayWithDescription(Field(ID3FN_TEXT), Field(ID3FN_DESCRIPTION));
        return true;
    }
};

class CMetadataFrameComment final
    : public trelvox::CMetadataFrame<CMetadataFrameComment, IMetadataFrameComment,
                                     GUID_MetadataFrameComment> {
public:
    using CMetadataFrame::CMetadataFrame;
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
};

class CMetadataFrameURL final
    : public trelvox::CMetadataFrame<CMetadataFrameURL, IMetadataFrameURL, GUID_MetadataFrameURL> {
public:
    using CMetadataFrame::CMetadataFrame;
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
};

class CMetadataFrameUserURL final
    : public trelvox::CMetadataFrame<CMetadataFrameUserURL, IMetadataFrameUserURL,
                                     GUID_MetadataFrameUserURL> {
public:
    using CMetadataFrame::CMetadataFrame;
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
};

class CMetadataFramePicture final
    : public trelvox::CMetadataFrame<CMetadataFramePicture, IMetadataFramePicture,
                                     GUID_MetadataFramePicture> {
public:
    using CMetadataFrame::CMetadataFrame;
    void TX_THISCALL SetMimeType(const wchar_t* type) override { SetField(ID3FN_MIMETYPE, type); }
    void TX_THISCALL GetMimeType(wchar_t* buf, int size) override { GetField(ID3FN_MIMETYPE, buf, size); }
    void TX_THISCALL SetDescription(const wchar_t* text) override { SetField(ID3FN_DESCRIPTION, text); }
    void TX_THISCALL GetDescription(wchar_t* buf, int size) override {
        GetField(ID3FN_DESCRIPTION, buf, size);
    }
    void TX_THISCALL ReservedA(void*, void*) override {}
    void TX_THISCALL ReservedB(void*, void*) override {}
    void TX_THISCALL SetPictureType(unsigned type) override {
        if (ID3_Field* field = m_frame->GetField(ID3FN_PICTURETYPE))
            field->Set(static_cast<uint32>(type));
    }
    unsigned TX_THISCALL GetPictureType() override {
        ID3_Field* field = m_frame->GetField(ID3FN_PICTURETYPE);
        return field ? static_cast<unsigned>(field->Get()) : 0;
    }
    void TX_THISCALL SetDefaults() override {
        SetField(ID3FN_MIMETYPE, L"");
        SetField(ID3FN_DESCRIPTION, L"");
    }

protected:
    bool DisplayText(std::wstring& text) override {
        ID3_Field* data = m_frame->GetField(ID3FN_DATA);
        if (!data || !HasField(ID3FN_MIMETYPE) || !HasField(ID3FN_DESCRIPTION))
            return false;
        text = trelvox::DisplayPicture(Field(ID3FN_MIMETYPE), Field(ID3FN_DESCRIPTION), data->Size());
        return true;
    }
};
