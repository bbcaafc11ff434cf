#include "WMAMetadata.h"

#include "FieldText.h"
#include "HResultGuard.h"
#include "MetadataTag.h"
#include "TextRules.h"
#include "Trace.h"
#include "WMRuntime.h"

#include <wmsdk.h>

#include <id3/readers.h>

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

// id3lib's lookup of a frame by its four-letter identifier, which its headers leave out.
ID3_FrameID ID3_FindFrameID(const char* id);

namespace {

using trelvox::ComPtr;

enum class Write {
    Yes,    // the frame is written into this attribute
    Delete, // the attribute is deleted on every write and not written
    Keep,   // the attribute is left as it is
};

struct AttributeRow {
    const wchar_t* name;
    const char* frame;
    Write write;
};

// Reading finds rows by name, writing by frame, taking the first row that writes the frame.
// Every row is read; the identifiers of TSOA, TSOP, TMOO, TSST and TSOT are unknown to id3lib,
// so their attributes never become frames.
constexpr AttributeRow kRows[] = {
    {L"ID3", "", Write::Delete},
    {L"Author", "TPE1", Write::Yes},
    {L"Copyright", "TCOP", Write::Yes},
    {L"CopyrightURL", "WCOP", Write::Yes},
    {L"Description", "COMM", Write::Yes},
    {L"Duration", "TLEN", Write::Keep},
    {L"FileSize", "TSIZ", Write::Keep},
    {L"Title", "TIT2", Write::Yes},
    {L"WM/AlbumArtist", "TPE2", Write::Yes},
    {L"WM/AlbumSortOrder", "TSOA", Write::Delete},
    {L"WM/AlbumTitle", "TALB", Write::Yes},
    {L"WM/ArtistSortOrder", "TSOP", Write::Delete},
    {L"WM/AudioFileURL", "WOAF", Write::Yes},
    {L"WM/AudioSourceURL", "WOAS", Write::Yes},
    {L"WM/AuthorURL", "WOAR", Write::Yes},
    {L"WM/BeatsPerMinute", "TBPM", Write::Yes},
    {L"WM/Comments", "COMM", Write::Delete},
    {L"WM/Composer", "TCOM", Write::Yes},
    {L"WM/Conductor", "TPE3", Write::Yes},
    {L"WM/ContentGroupDescription", "TIT1", Write::Yes},
    {L"WM/EncodedBy", "TENC", Write::Yes},
    {L"WM/EncodingSettings", "TSSE", Write::Yes},
    {L"WM/GenreID", "TCON", Write::Yes},
    {L"WM/InitialKey", "TKEY", Write::Yes},
    {L"WM/ISRC", "TSRC", Write::Yes},
    {L"WM/Language", "TLAN", Write::Yes},
    {L"WM/ModifiedBy", "TPE4", Write::Yes},
    {L"WM/Mood", "TMOO", Write::Delete},
    {L"WM/OriginalAlbumTitle", "TOAL", Write::Yes},
    {L"WM/OriginalArtist", "TOPE", Write::Yes},
    {L"WM/OriginalFilename", "TOFN", Write::Yes},
    {L"WM/OriginalLyricist", "TOLY", Write::Yes},
    {L"WM/OriginalReleaseYear", "TORY", Write::Yes},
    {L"WM/PartOfSet", "TPOS", Write::Yes},
    {L"WM/PlaylistDelay", "TDLY", Write::Yes},
    {L"WM/Publisher", "TPUB", Write::Yes},
    {L"WM/RadioStationName", "TRSN", Write::Yes},
    {L"WM/RadioStationOwner", "TRSO", Write::Yes},
    {L"WM/SetSubTitle", "TSST", Write::Delete},
    {L"WM/SubTitle", "TIT3", Write::Yes},
    {L"WM/TitleSortOrder", "TSOT", Write::Delete},
    {L"WM/Track", "TRCK", Write::Keep},
    {L"WM/TrackNumber", "TRCK", Write::Yes},
    // UFID has no text: it travels whole as ID3/UFID, and the old attribute goes.
    {L"WM/UniqueFileIdentifier", "UFID", Write::Delete},
    {L"WM/Writer", "TEXT", Write::Yes},
    {L"WM/Year", "TYER", Write::Yes},
};

constexpr wchar_t kFramePrefix[] = L"ID3/";
constexpr size_t kFramePrefixLength = 4;
constexpr WORD kMaxName = 1024;
constexpr size_t kMaxValue = 0xFFFF; // attribute lengths are 16-bit

bool NameIs(const wchar_t* name, const wchar_t* wanted) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name, -1, wanted, -1) == CSTR_EQUAL;
}

const AttributeRow* RowNamed(const wchar_t* name) {
    for (const AttributeRow& row : kRows) {
        if (NameIs(name, row.name))
            return &row;
    }
    return nullptr;
}

// The first row that writes the frame, else one that keeps it from being written (TLEN and
// TSIZ are the file's own facts); null for frames that travel as "ID3/" attributes.
const AttributeRow* RowForFrame(const char* frame) {
    for (Write kind : {Write::Yes, Write::Keep}) {
        for (const AttributeRow& row : kRows) {
            if (row.write == kind && lstrcmpiA(row.frame, frame) == 0)
                return &row;
        }
    }
    return nullptr;
}

// The value of an attribute of stream 0 by name; false when it cannot be read.
bool ReadValue(IWMHeaderInfo* info, const wchar_t* name, WMT_ATTR_DATATYPE* type, std::vector<BYTE>& value) {
    WORD stream = 0;
    WORD length = 0;
    if (FAILED(info->GetAttributeByName(&stream, name, type, nullptr, &length)))
        return false;
    value.assign(length, 0);
    stream = 0;
    return SUCCEEDED(info->GetAttributeByName(&stream, name, type, length ? value.data() : nullptr, &length));
}

std::wstring StringValue(const std::vector<BYTE>& value) {
    const wchar_t* text = reinterpret_cast<const wchar_t*>(value.data());
    return value.empty() ? std::wstring() : std::wstring(text, wcsnlen(text, value.size() / sizeof(wchar_t)));
}

template <class T> T NumberValue(const std::vector<BYTE>& value) {
    T number = 0;
    memcpy(&number, value.data(), value.size() < sizeof(T) ? value.size() : sizeof(T));
    return number;
}

// Adds frame unless the tag has a frame with its identifier already.
void AttachNew(ID3_Tag& tag, std::unique_ptr<ID3_Frame> frame) {
    if (!frame || tag.Find(frame->GetID()))
        return;
    tag.AttachFrame(frame.get());
    frame.release();
}

std::unique_ptr<ID3_Frame> TextFrame(ID3_FrameID id, const std::wstring& text) {
    std::unique_ptr<ID3_Frame> frame(new ID3_Frame(id));
    trelvox::WriteFieldText(*frame, ID3FN_TEXT, text);
    trelvox::WriteFieldText(*frame, ID3FN_URL, text);
    return frame;
}

std::unique_ptr<ID3_Frame> ParseFrame(const std::vector<BYTE>& value) {
    std::unique_ptr<ID3_Frame> frame(new ID3_Frame);
    ID3_MemoryReader reader(reinterpret_cast<const ID3_Reader::char_type*>(value.data()), value.size());
    if (!frame->Parse(reader) || frame->GetID() == ID3FID_NOFRAME)
        return nullptr;
    return frame;
}

void ReadAttribute(IWMHeaderInfo* info, const wchar_t* name, ID3_Tag& tag) {
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    std::vector<BYTE> value;
    if (NameIs(name, L"ID3")) {
        // A whole tag: what earlier attributes gave is dropped.
        if (ReadValue(info, name, &type, value) && type == WMT_TYPE_BINARY) {
            tag.Clear();
            tag.Parse(value.data(), value.size());
        }
        return;
    }
    if (NameIs(name, L"Duration") || NameIs(name, L"FileSize")) {
        if (!ReadValue(info, name, &type, value) || type != WMT_TYPE_QWORD)
            return;
        uint64_t number = NumberValue<uint64_t>(value);
        bool duration = NameIs(name, L"Duration");
        if (duration)
            number /= 10000; // 100-ns units to milliseconds
        char text[24];
        _ui64toa(number, text, 10);
        AttachNew(tag, TextFrame(duration ? ID3FID_SONGLEN : ID3FID_SIZE, trelvox::Widen(text, CP_ACP)));
        return;
    }
    if (NameIs(name, L"WM/Track") || NameIs(name, L"WM/TrackNumber")) {
        if (!ReadValue(info, name, &type, value))
            return;
        long number = 0;
        if (type == WMT_TYPE_DWORD)
            number = long(NumberValue<DWORD>(value));
        else if (type == WMT_TYPE_STRING)
            number = wcstol(StringValue(value).c_str(), nullptr, 10);
        else
            return;
        // "WM/Track" counts from zero.
        if (wcscmp(name, L"WM/Track") == 0)
            ++number;
        if (number > 0 && number < 100) {
            char text[16];
            wsprintfA(text, "%d", int(number));
            AttachNew(tag, TextFrame(ID3FID_TRACKNUM, trelvox::Widen(text, CP_ACP)));
        }
        return;
    }
    if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name, int(kFramePrefixLength), kFramePrefix,
                       int(kFramePrefixLength)) == CSTR_EQUAL) {
        if (!ReadValue(info, name, &type, value))
            return;
        if (type == WMT_TYPE_BINARY) {
            AttachNew(tag, ParseFrame(value));
        } else if (type == WMT_TYPE_STRING) {
            std::string id = trelvox::Narrow(std::wstring(name + kFramePrefixLength).substr(0, 4), CP_ACP);
            ID3_FrameID frameId = ID3_FindFrameID(id.c_str());
            if (frameId != ID3FID_NOFRAME)
                AttachNew(tag, TextFrame(frameId, StringValue(value)));
        }
        return;
    }
    const AttributeRow* row = RowNamed(name);
    if (!row)
        return;
    ID3_FrameID frameId = ID3_FindFrameID(row->frame);
    if (frameId == ID3FID_NOFRAME || !ReadValue(info, name, &type, value))
        return;
    std::wstring text;
    if (type == WMT_TYPE_STRING) {
        text = StringValue(value);
    } else if (type == WMT_TYPE_DWORD || type == WMT_TYPE_WORD || type == WMT_TYPE_QWORD) {
        // Some writers store numbers such as the beats per minute as numbers.
        wchar_t digits[24];
        _ui64tow(type == WMT_TYPE_QWORD  ? NumberValue<uint64_t>(value)
                 : type == WMT_TYPE_WORD ? NumberValue<WORD>(value)
                                         : NumberValue<DWORD>(value),
                 digits, 10);
        text = digits;
    }
    if (!text.empty())
        AttachNew(tag, TextFrame(frameId, text));
}

// Whether SetTag replaces the attribute: "ID3/" ones and the names the table writes or
// deletes, compared exactly.
bool IsReplaced(const wchar_t* name) {
    if (wcsncmp(name, kFramePrefix, kFramePrefixLength) == 0)
        return true;
    for (const AttributeRow& row : kRows) {
        if (row.write != Write::Keep && wcscmp(name, row.name) == 0)
            return true;
    }
    return false;
}

void DeleteOldAttributes(IWMHeaderInfo3* info) {
    WORD count = 0;
    if (FAILED(info->GetAttributeCount(0, &count)))
        return;
    for (WORD index = 0; index < count;) {
        wchar_t name[kMaxName + 1] = {};
        WORD nameLength = kMaxName;
        WORD stream = 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
        WORD length = 0;
        if (FAILED(info->GetAttributeByIndex(index, &stream, name, &nameLength, &type, nullptr, &length)) ||
            !IsReplaced(name)) {
            ++index;
            continue;
        }
        info->DeleteAttribute(0, index);
        WORD now = 0;
        if (FAILED(info->GetAttributeCount(0, &now)) || now == count)
            ++index; // nothing went: go on, or the same attribute comes back for ever
        count = now;
    }
}

void SetString(IWMHeaderInfo* info, const wchar_t* name, const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (bytes > kMaxValue)
        return;
    info->SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(text.c_str()), WORD(bytes));
}

void WriteFrame(IWMHeaderInfo* info, ID3_Frame& frame) {
    const char* id = frame.GetTextID();
    if (!id || !*id)
        return;
    if (const AttributeRow* row = RowForFrame(id)) {
        std::wstring text;
        if (row->write == Write::Yes &&
            (trelvox::ReadFieldText(frame, ID3FN_TEXT, text) ||
             trelvox::ReadFieldText(frame, ID3FN_URL, text)) &&
            !text.empty())
            SetString(info, row->name, text);
        return;
    }
    wchar_t name[20];
    wsprintfW(name, L"ID3/%S", id);
    std::wstring text;
    if (frame.NumFields() == 2 && frame.Contains(ID3FN_TEXTENC) && frame.Contains(ID3FN_TEXT)) {
        trelvox::ReadFieldText(frame, ID3FN_TEXT, text);
        SetString(info, name, text);
    } else if (frame.NumFields() == 1 && frame.Contains(ID3FN_URL)) {
        trelvox::ReadFieldText(frame, ID3FN_URL, text);
        SetString(info, name, text);
    } else {
        std::string rendered;
        trelvox::StringWriter writer(rendered);
        frame.Render(writer);
        if (!rendered.empty() && rendered.size() <= kMaxValue)
            info->SetAttribute(0, name, WMT_TYPE_BINARY, reinterpret_cast<const BYTE*>(rendered.data()),
                               WORD(rendered.size()));
    }
}

// An editor open on path; the runtime's code, E_FAIL without the runtime, or E_UNEXPECTED
// for a name that cannot be made wide.
HRESULT OpenEditor(const std::string& path, ComPtr<IWMMetadataEditor>& editor) {
    std::wstring wide = trelvox::Widen(path, CP_ACP);
    if (wide.empty())
        return E_UNEXPECTED;
    HRESULT hr = trelvox::WmCreateEditor(editor.put());
    if (hr == trelvox::kWmRuntimeMissing)
        return E_FAIL;
    if (FAILED(hr))
        return hr;
    if (!editor)
        return E_UNEXPECTED;
    hr = editor->Open(wide.c_str());
    if (FAILED(hr)) {
        TX_TRACE(tags, "editor cannot open %s: 0x%08lX", path.c_str(), static_cast<unsigned long>(hr));
        editor.reset();
    }
    return hr;
}

} // namespace

namespace trelvox {

void ReadWmAttributes(IWMHeaderInfo* info, ID3_Tag& tag) {
    WORD count = 0;
    if (FAILED(info->GetAttributeCount(0, &count)))
        return;
    for (WORD index = 0; index < count; ++index) {
        wchar_t name[kMaxName + 1] = {};
        WORD nameLength = kMaxName;
        WORD stream = 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
        WORD length = 0;
        if (FAILED(info->GetAttributeByIndex(index, &stream, name, &nameLength, &type, nullptr, &length)))
            continue;
        ReadAttribute(info, name, tag);
    }
}

void WriteWmAttributes(IWMHeaderInfo3* info, ID3_Tag& tag) {
    DeleteOldAttributes(info);
    for (ID3_Frame* frame : FramesOf(tag))
        WriteFrame(info, *frame);
}

} // namespace trelvox

HRESULT TX_THISCALL CWMAMetadata::GetTag(IMetadataTag** tag) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        if (!tag)
            return E_INVALIDARG;
        ComPtr<IWMMetadataEditor> editor;
        HRESULT hr = OpenEditor(FileName(), editor);
        if (FAILED(hr))
            return hr;
        ID3_Tag read;
        ComPtr<IWMHeaderInfo> info;
        if (SUCCEEDED(editor.As(&info)) && info)
            trelvox::ReadWmAttributes(info.get(), read);
        info.reset();
        editor->Close();
        editor.reset();
        std::unique_ptr<CMetadataTag> result(new CMetadataTag(read));
        *tag = result.release();
        return S_OK;
    });
}

HRESULT TX_THISCALL CWMAMetadata::SetTag(IMetadataTag* tag) {
    return trelvox::GuardHResult([&]() -> HRESULT {
        CMetadataTag* source = CMetadataTag::FromInterface(tag);
        if (!source)
            return E_INVALIDARG;
        ComPtr<IWMMetadataEditor> editor;
        HRESULT hr = OpenEditor(FileName(), editor);
        if (FAILED(hr))
            return hr;
        ComPtr<IWMHeaderInfo3> info;
        if (SUCCEEDED(editor.As(&info)) && info)
            trelvox::WriteWmAttributes(info.get(), source->Tag());
        info.reset();
        return editor->Flush();
    });
}
