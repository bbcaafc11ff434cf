// APIC: an attached picture with its MIME type, description and picture type.
#pragma once

#include "FrameDialog.h"
#include "FrameDisplay.h"
#include "MetadataFrame.h"

#include <id3/field.h>

#include <vector>

class CMetadataFramePicture final
    : public trelvox::CMetadataFrame<CMetadataFramePicture, IMetadataFramePicture, GUID_MetadataFramePicture>,
      private trelvox::FrameDialog {
public:
    using CMetadataFrame::CMetadataFrame;
    int TX_THISCALL Edit(HWND parent) override;
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

private:
    void OnInitDialog() override;
    bool OnOK() override;
    bool OnCommand(int id, int code) override;
    void LoadPicture();
    void SavePicture();
    void ShowDataSize();

    // The dialog's fields. The picture data stays in the dialog until OK as well, so that
    // Cancel leaves the frame exactly as it was.
    std::wstring m_description, m_mimeType, m_sizeText;
    std::vector<uint8_t> m_data;
};
