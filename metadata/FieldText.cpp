#include "FieldText.h"

#include <windows.h>

#include <id3/field.h>

namespace trelvox {

static_assert(sizeof(wchar_t) == sizeof(unicode_t), "id3lib's UTF-16 is the platform's wchar_t");

namespace {

// id3lib keeps UTF-16 text as big-endian byte pairs in its unicode_t units, whatever the
// byte-order mark in the file said, and writes those units out after a little-endian mark.
// Swapping at this one boundary gives host-order text to us and correct files to others.
unicode_t SwapBytes(unicode_t c) {
    return static_cast<unicode_t>(((c & 0xFF) << 8) | (c >> 8));
}

} // namespace

bool ReadFieldText(const ID3_Frame& frame, ID3_FieldID fieldId, std::wstring& text) {
    ID3_Field* field = frame.GetField(fieldId);
    if (!field)
        return false;
    ID3_TextEnc encoding = field->GetEncoding();
    if (ID3TE_IS_DOUBLE_BYTE_ENC(encoding)) {
        const unicode_t* raw = field->GetRawUnicodeText();
        text.clear();
        if (raw) {
            for (size_t i = 0; i < field->Size() / sizeof(unicode_t) && raw[i]; ++i)
                text.push_back(static_cast<wchar_t>(SwapBytes(raw[i])));
        }
        return true;
    }
    const char* raw = field->GetRawText();
    std::string narrow = raw ? std::string(raw, strnlen(raw, field->Size())) : std::string();
    text = Widen(narrow, encoding == ID3TE_UTF8 ? CP_UTF8 : CP_ACP);
    return true;
}

namespace {

bool FrameIsUtf16(const ID3_Frame& frame) {
    ID3_Field* encoding = frame.GetField(ID3FN_TEXTENC);
    return encoding && ID3TE_IS_DOUBLE_BYTE_ENC(static_cast<ID3_TextEnc>(encoding->Get()));
}

void StoreUtf16(ID3_Field& field, const std::wstring& text) {
    field.SetEncoding(ID3TE_UTF16);
    std::basic_string<unicode_t> wide;
    for (wchar_t c : text)
        wide.push_back(SwapBytes(static_cast<unicode_t>(c)));
    field.Set(wide.c_str());
}

} // namespace

bool WriteFieldText(ID3_Frame& frame, ID3_FieldID fieldId, const std::wstring& text) {
    ID3_Field* field = frame.GetField(fieldId);
    if (!field)
        return false;
    bool ascii = true;
    for (wchar_t c : text)
        ascii = ascii && c < 0x80;
    // Languages, URLs and MIME types are Latin-1 only fields: they are never UTF-16.
    if (!field->IsEncodable()) {
        field->Set(Narrow(text, CP_ACP).c_str());
        return true;
    }
    if (ascii && !FrameIsUtf16(frame)) {
        field->SetEncoding(ID3TE_ISO8859_1);
        field->Set(Narrow(text, CP_ACP).c_str());
        return true;
    }
    // One encoding byte covers every text of the frame. id3lib would convert the frame's
    // other 8-bit texts itself when rendering, but writes them in the wrong byte order, so
    // they are stored again as UTF-16 here.
    if (!FrameIsUtf16(frame)) {
        for (ID3_FieldID other : {ID3FN_TEXT, ID3FN_DESCRIPTION}) {
            ID3_Field* otherField = other == fieldId ? nullptr : frame.GetField(other);
            std::wstring otherText;
            if (otherField && ReadFieldText(frame, other, otherText))
                StoreUtf16(*otherField, otherText);
        }
        if (ID3_Field* encodingField = frame.GetField(ID3FN_TEXTENC))
            encodingField->Set(static_cast<uint32>(ID3TE_UTF16));
    }
    StoreUtf16(*field, text);
    return true;
}

std::vector<ID3_Frame*> FramesOf(ID3_Tag& tag) {
    std::vector<ID3_Frame*> frames;
    ID3_Tag::Iterator* it = tag.CreateIterator();
    while (ID3_Frame* frame = it->GetNext())
        frames.push_back(frame);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
    delete it;
#pragma GCC diagnostic pop
    return frames;
}

void CopyToBuffer(const std::wstring& text, wchar_t* buf, int size) {
    if (!buf || size <= 0)
        return;
    size_t count = text.size() < static_cast<size_t>(size - 1) ? text.size() : static_cast<size_t>(size - 1);
    text.copy(buf, count);
    buf[count] = L'\0';
}

} // namespace trelvox
