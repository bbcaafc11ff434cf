// Windows Media attributes to ID3 frames and back, on an attribute store held in memory in
// place of a file's header.
#include "FieldText.h"
#include "TestSupport.h"
#include "WMAMetadata.h"

#include <wmsdk.h>

#include <id3/tag.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

struct Attribute {
    std::wstring name;
    WMT_ATTR_DATATYPE type;
    std::vector<BYTE> value;
};

Attribute Text(const wchar_t* name, const std::wstring& text) {
    auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {name, WMT_TYPE_STRING, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * 2)};
}

template <class T> Attribute Number(const wchar_t* name, WMT_ATTR_DATATYPE type, T number) {
    std::vector<BYTE> value(sizeof(T));
    memcpy(value.data(), &number, sizeof(T));
    return {name, type, value};
}

// The file-level attributes of one header, in order. Only what the tag code calls is real.
class FakeHeader final : public IWMHeaderInfo3 {
public:
    explicit FakeHeader(std::vector<Attribute> attributes) : attributes(std::move(attributes)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD stream, WORD* count) override {
        EXPECT_EQ(stream, 0);
        *count = WORD(attributes.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD index, WORD* stream, WCHAR* name, WORD* nameLength,
                                                  WMT_ATTR_DATATYPE* type, BYTE* value,
                                                  WORD* length) override {
        if (index >= attributes.size())
            return E_INVALIDARG;
        const Attribute& a = attributes[index];
        *stream = 0;
        if (name && *nameLength <= a.name.size())
            return E_INVALIDARG;
        if (name)
            wcscpy(name, a.name.c_str());
        *nameLength = WORD(a.name.size() + 1);
        return Value(a, type, value, length);
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD* stream, LPCWSTR name, WMT_ATTR_DATATYPE* type,
                                                 BYTE* value, WORD* length) override {
        EXPECT_EQ(*stream, 0);
        for (const Attribute& a : attributes) {
            if (a.name == name)
                return Value(a, type, value, length);
        }
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE SetAttribute(WORD stream, LPCWSTR name, WMT_ATTR_DATATYPE type,
                                           const BYTE* value, WORD length) override {
        EXPECT_EQ(stream, 0);
        attributes.push_back({name, type, std::vector<BYTE>(value, value + length)});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DeleteAttribute(WORD stream, WORD index) override {
        EXPECT_EQ(stream, 0);
        if (index >= attributes.size())
            return E_INVALIDARG;
        attributes.erase(attributes.begin() + index);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMarker(WORD, WCHAR*, WORD*, QWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveMarker(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScriptCount(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScript(WORD, WCHAR*, WORD*, WCHAR*, WORD*, QWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RemoveScript(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCodecInfoCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCodecInfo(DWORD, WORD*, WCHAR*, WORD*, WCHAR*, WMT_CODEC_INFO_TYPE*, WORD*,
                                           BYTE*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeCountEx(WORD, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributeIndices(WORD, LPCWSTR, WORD*, WORD*, WORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndexEx(WORD, WORD, LPWSTR, WORD*, WMT_ATTR_DATATYPE*, WORD*,
                                                    BYTE*, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ModifyAttribute(WORD, WORD, WMT_ATTR_DATATYPE, WORD, const BYTE*,
                                              DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddAttribute(WORD, LPCWSTR, WORD*, WMT_ATTR_DATATYPE, WORD, const BYTE*,
                                           DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddCodecInfo(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE,
                                           WMT_CODEC_INFO_TYPE, WORD, BYTE*) override {
        return E_NOTIMPL;
    }

    const Attribute* Find(const wchar_t* name) const {
        for (const Attribute& a : attributes) {
            if (a.name == name)
                return &a;
        }
        return nullptr;
    }
    std::wstring Names() const {
        std::wstring names;
        for (const Attribute& a : attributes)
            names += a.name + L" ";
        return names;
    }

    std::vector<Attribute> attributes;

private:
    static HRESULT Value(const Attribute& a, WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length) {
        *type = a.type;
        if (value) {
            if (*length < a.value.size())
                return E_INVALIDARG;
            memcpy(value, a.value.data(), a.value.size());
        }
        *length = WORD(a.value.size());
        return S_OK;
    }
};

// The text of the tag's frame id, or "(none)".
std::wstring FrameText(const ID3_Tag& tag, ID3_FrameID id, ID3_FieldID field = ID3FN_TEXT) {
    const ID3_Frame* frame = tag.Find(id);
    std::wstring text = L"(none)";
    if (frame)
        trelvox::ReadFieldText(*frame, field, text);
    return text;
}

ID3_Frame* NewTextFrame(ID3_FrameID id, const wchar_t* text, ID3_FieldID field = ID3FN_TEXT) {
    ID3_Frame* frame = new ID3_Frame(id);
    trelvox::WriteFieldText(*frame, field, text);
    return frame;
}

} // namespace

TEST(WMAMetadata, ReadsAttributesAsFramesTheFirstOneWinning) {
    FakeHeader header({
        Number(L"WM/Track", WMT_TYPE_DWORD, DWORD(0)),
        Text(L"WM/TrackNumber", L"12"),
        Number(L"Duration", WMT_TYPE_QWORD, uint64_t(2150000000)),
        Text(L"description", L"first comment"), // names are matched without regard to case
        Text(L"WM/Comments", L"second comment"),
        Text(L"Title", L""),
        Text(L"WM/Mood", L"calm"),
        Text(L"ID3/TDAT", L"0512"),
        Text(L"WM/AuthorURL", L"http://example.org/"),
        Number(L"WM/BeatsPerMinute", WMT_TYPE_DWORD, DWORD(128)),
    });
    ID3_Tag tag;
    trelvox::ReadWmAttributes(&header, tag);
    EXPECT_EQ(FrameText(tag, ID3FID_TRACKNUM), L"1");
    EXPECT_EQ(FrameText(tag, ID3FID_SONGLEN), L"215000");
    EXPECT_EQ(FrameText(tag, ID3FID_COMMENT), L"first comment");
    EXPECT_EQ(FrameText(tag, ID3FID_TITLE), L"(none)") << "an empty string gives no frame";
    EXPECT_EQ(FrameText(tag, ID3FID_DATE), L"0512");
    EXPECT_EQ(FrameText(tag, ID3FID_WWWARTIST, ID3FN_URL), L"http://example.org/");
    EXPECT_EQ(FrameText(tag, ID3FID_BPM), L"128");
    EXPECT_EQ(tag.NumFrames(), 6u) << "WM/Mood has no frame";

    // Track numbers: "WM/TrackNumber" counts from one, and only 1..99 are kept.
    for (const auto& [attribute, expected] : std::vector<std::pair<Attribute, std::wstring>>{
             {Number(L"WM/TrackNumber", WMT_TYPE_DWORD, DWORD(0)), L"(none)"},
             {Text(L"WM/TrackNumber", L"12"), L"12"},
             {Number(L"WM/Track", WMT_TYPE_DWORD, DWORD(99)), L"(none)"},
         }) {
        FakeHeader one({attribute});
        ID3_Tag read;
        trelvox::ReadWmAttributes(&one, read);
        EXPECT_EQ(FrameText(read, ID3FID_TRACKNUM), expected) << attribute.name;
    }
}

TEST(WMAMetadata, WritesFramesAndReadsThemBack) {
    FakeHeader header({
        Text(L"WM/Mood", L"calm"),
        Number(L"WM/Track", WMT_TYPE_DWORD, DWORD(3)),
        Text(L"Author", L"old artist"),
        Text(L"ID3/TDAT", L"0101"),
        Text(L"WM/Comments", L"old comment"),
        Text(L"Encoder", L"kept"),
        Number(L"Duration", WMT_TYPE_QWORD, uint64_t(50000000)),
    });
    ID3_Tag tag;
    tag.AttachFrame(NewTextFrame(ID3FID_TITLE, L"Title \x263A"));
    tag.AttachFrame(NewTextFrame(ID3FID_LEADARTIST, L"Artist"));
    tag.AttachFrame(NewTextFrame(ID3FID_COMMENT, L"Comment"));
    tag.AttachFrame(NewTextFrame(ID3FID_TRACKNUM, L"7"));
    tag.AttachFrame(NewTextFrame(ID3FID_DATE, L"0512"));
    tag.AttachFrame(NewTextFrame(ID3FID_SONGLEN, L"1000"));
    tag.AttachFrame(NewTextFrame(ID3FID_WWWAUDIOFILE, L"http://example.org/a", ID3FN_URL));
    ID3_Frame* user = NewTextFrame(ID3FID_USERTEXT, L"user value");
    trelvox::WriteFieldText(*user, ID3FN_DESCRIPTION, L"user key");
    tag.AttachFrame(user);
    trelvox::WriteWmAttributes(&header, tag);

    EXPECT_EQ(header.Names(), L"WM/Track Encoder Duration Title Author Description WM/TrackNumber ID3/TDAT "
                              L"WM/AudioFileURL ID3/TXXX ");
    ASSERT_TRUE(header.Find(L"ID3/TXXX"));
    EXPECT_EQ(header.Find(L"ID3/TXXX")->type, WMT_TYPE_BINARY);
    ASSERT_TRUE(header.Find(L"ID3/TDAT"));
    EXPECT_EQ(header.Find(L"ID3/TDAT")->type, WMT_TYPE_STRING);
    const Attribute* title = header.Find(L"Title");
    ASSERT_TRUE(title);
    EXPECT_EQ(title->value.size(), 8u * 2) << "characters and the terminator, in bytes";

    // The old "WM/Track" comes first, so it gives the track number; everything else is back.
    ID3_Tag read;
    trelvox::ReadWmAttributes(&header, read);
    EXPECT_EQ(FrameText(read, ID3FID_TRACKNUM), L"4");
    EXPECT_EQ(FrameText(read, ID3FID_TITLE), L"Title \x263A");
    EXPECT_EQ(FrameText(read, ID3FID_LEADARTIST), L"Artist");
    EXPECT_EQ(FrameText(read, ID3FID_COMMENT), L"Comment");
    EXPECT_EQ(FrameText(read, ID3FID_DATE), L"0512");
    EXPECT_EQ(FrameText(read, ID3FID_SONGLEN), L"5000") << "the file's own duration";
    EXPECT_EQ(FrameText(read, ID3FID_WWWAUDIOFILE, ID3FN_URL), L"http://example.org/a");
    EXPECT_EQ(FrameText(read, ID3FID_USERTEXT), L"user value");
    EXPECT_EQ(FrameText(read, ID3FID_USERTEXT, ID3FN_DESCRIPTION), L"user key");

    // A whole ID3 tag in the "ID3" attribute replaces what came before it, and goes on writing.
    std::string rendered;
    trelvox::StringWriter writer(rendered);
    tag.Render(writer, ID3TT_ID3V2);
    header.attributes.push_back(
        {L"ID3", WMT_TYPE_BINARY, std::vector<BYTE>(rendered.begin(), rendered.end())});
    ID3_Tag whole;
    trelvox::ReadWmAttributes(&header, whole);
    EXPECT_EQ(FrameText(whole, ID3FID_TRACKNUM), L"7");
    trelvox::WriteWmAttributes(&header, whole);
    EXPECT_FALSE(header.Find(L"ID3"));
}
