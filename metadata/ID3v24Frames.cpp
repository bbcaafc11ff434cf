#include "ID3v24Frames.h"

#include "TextRules.h"

#include <initializer_list>

namespace {

using Bytes = std::vector<uint8_t>;

// Text encodings of ID3v2.4; 2.3 knows the first two.
constexpr uint8_t kLatin1 = 0, kUtf16 = 1, kUtf16BE = 2, kUtf8 = 3;

bool IsWide(uint8_t encoding) {
    return encoding == kUtf16 || encoding == kUtf16BE;
}

std::wstring Decode(uint8_t encoding, const uint8_t* text, size_t size) {
    std::wstring decoded;
    if (encoding == kLatin1) {
        for (size_t i = 0; i < size; ++i)
            decoded.push_back(static_cast<wchar_t>(text[i]));
    } else if (encoding == kUtf8) {
        if (size >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) {
            text += 3;
            size -= 3;
        }
        decoded =
            trelvox::Widen(std::string(reinterpret_cast<const char*>(text), size), trelvox::kUtf8CodePage);
    } else {
        // UTF-16 without a byte-order mark is taken as little-endian, as the writers that
        // leave the mark out write it; UTF-16BE may carry a mark all the same.
        bool little = encoding == kUtf16;
        size_t i = 0;
        if (size >= 2 && text[0] == 0xFF && text[1] == 0xFE) {
            little = true;
            i = 2;
        } else if (size >= 2 && text[0] == 0xFE && text[1] == 0xFF) {
            little = false;
            i = 2;
        }
        for (; i + 1 < size; i += 2) {
            unsigned unit = little ? (text[i] | text[i + 1] << 8) : (text[i] << 8 | text[i + 1]);
            decoded.push_back(static_cast<wchar_t>(unit));
        }
    }
    return decoded;
}

// Walks a frame body. Reads past the end yield empty values; callers check AtEnd where a
// field is required.
class BodyReader {
public:
    explicit BodyReader(const Bytes& data) : m_data(data) {}

    bool AtEnd() const { return m_pos >= m_data.size(); }

    uint8_t Byte() { return AtEnd() ? 0 : m_data[m_pos++]; }

    // count bytes as they are (a language code).
    std::string Fixed(size_t count) {
        size_t take = count < m_data.size() - m_pos ? count : m_data.size() - m_pos;
        std::string text(reinterpret_cast<const char*>(m_data.data() + m_pos), take);
        m_pos += take;
        return text;
    }

    // An ISO-8859-1 string up to its terminator (or the end), kept as bytes.
    std::string Latin1() {
        size_t end = m_pos;
        while (end < m_data.size() && m_data[end] != 0)
            ++end;
        std::string text(reinterpret_cast<const char*>(m_data.data() + m_pos), end - m_pos);
        m_pos = end < m_data.size() ? end + 1 : end;
        return text;
    }

    // A string in encoding up to its terminator (or the end).
    std::wstring Text(uint8_t encoding) {
        size_t end = m_pos;
        size_t next;
        if (IsWide(encoding)) {
            while (end + 1 < m_data.size() && (m_data[end] != 0 || m_data[end + 1] != 0))
                end += 2;
            if (end + 1 < m_data.size()) {
                next = end + 2;
            } else {
                end = m_data.size();
                next = end;
            }
        } else {
            while (end < m_data.size() && m_data[end] != 0)
                ++end;
            next = end < m_data.size() ? end + 1 : end;
        }
        std::wstring text = Decode(encoding, m_data.data() + m_pos, end - m_pos);
        m_pos = next;
        return text;
    }

    // The values of a list to the end, empty ones left out.
    std::vector<std::wstring> Texts(uint8_t encoding) {
        std::vector<std::wstring> values;
        while (!AtEnd()) {
            std::wstring value = Text(encoding);
            if (!value.empty())
                values.push_back(value);
        }
        return values;
    }

    Bytes Rest() {
        Bytes rest(m_data.begin() + static_cast<ptrdiff_t>(m_pos < m_data.size() ? m_pos : m_data.size()),
                   m_data.end());
        m_pos = m_data.size();
        return rest;
    }

private:
    const Bytes& m_data;
    size_t m_pos = 0;
};

// Builds a 2.3 body that starts with its encoding byte: ISO-8859-1 when every text of the
// frame is ASCII, else UTF-16 with a little-endian byte-order mark (the form id3lib reads).
// Non-ASCII ISO-8859-1 goes to UTF-16 as well, because 8-bit texts are read back in the ANSI
// code page.
class BodyWriter {
public:
    explicit BodyWriter(std::initializer_list<const std::wstring*> texts) {
        for (const std::wstring* text : texts) {
            for (wchar_t c : *text)
                m_unicode = m_unicode || c >= 0x80;
        }
        m_bytes.push_back(m_unicode ? kUtf16 : kLatin1);
    }

    void Text(const std::wstring& text, bool terminated) {
        if (m_unicode) {
            if (!text.empty()) {
                m_bytes.push_back(0xFF);
                m_bytes.push_back(0xFE);
            }
            for (wchar_t c : text) {
                m_bytes.push_back(static_cast<uint8_t>(c & 0xFF));
                m_bytes.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
            }
            if (terminated)
                m_bytes.insert(m_bytes.end(), {0, 0});
        } else {
            for (wchar_t c : text)
                m_bytes.push_back(static_cast<uint8_t>(c));
            if (terminated)
                m_bytes.push_back(0);
        }
    }

    void Raw(const std::string& bytes, bool terminated) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        if (terminated)
            m_bytes.push_back(0);
    }

    void Raw(const Bytes& bytes) { m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end()); }
    void Byte(uint8_t value) { m_bytes.push_back(value); }

    Bytes Take() { return std::move(m_bytes); }

private:
    bool m_unicode = false;
    Bytes m_bytes;
};

std::wstring Join(const std::vector<std::wstring>& values, const wchar_t* separator) {
    std::wstring joined;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            joined += separator;
        joined += values[i];
    }
    return joined;
}

bool AllDigits(const std::wstring& text) {
    if (text.empty())
        return false;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
    }
    return true;
}

// 2.4 lists genres as values ("17", "RX", "Rock"); 2.3 writes references in parentheses
// followed by free text ("(17)Rock"), doubling a parenthesis that starts a free text.
std::wstring GenreText(const std::vector<std::wstring>& values) {
    std::wstring text;
    bool afterFreeText = false;
    for (const std::wstring& value : values) {
        if (AllDigits(value) || value == L"RX" || value == L"CR") {
            text += L"(" + value + L")";
            afterFreeText = false;
        } else {
            if (afterFreeText)
                text += L"/";
            if (value[0] == L'(')
                text += L"(";
            text += value;
            afterFreeText = true;
        }
    }
    return text;
}

void AddText(std::vector<trelvox::ID3v23Frame>& out, const char* id, const std::wstring& text) {
    if (text.empty())
        return;
    BodyWriter body({&text});
    body.Text(text, false);
    out.push_back({id, body.Take()});
}

// A recording time ("yyyy-MM-ddTHH:mm:ss", any tail may be missing) becomes the 2.3 year,
// date ("ddMM") and time ("HHmm") frames.
void AddRecordingTime(std::vector<trelvox::ID3v23Frame>& out, const std::wstring& stamp) {
    if (stamp.size() < 4 || !AllDigits(stamp.substr(0, 4)))
        return;
    AddText(out, "TYER", stamp.substr(0, 4));
    if (stamp.size() >= 10 && stamp[4] == L'-' && stamp[7] == L'-' && AllDigits(stamp.substr(5, 2)) &&
        AllDigits(stamp.substr(8, 2)))
        AddText(out, "TDAT", stamp.substr(8, 2) + stamp.substr(5, 2));
    if (stamp.size() >= 16 && stamp[10] == L'T' && stamp[13] == L':' && AllDigits(stamp.substr(11, 2)) &&
        AllDigits(stamp.substr(14, 2)))
        AddText(out, "TIME", stamp.substr(11, 2) + stamp.substr(14, 2));
}

bool IsOneOf(const std::string& id, std::initializer_list<const char*> ids) {
    for (const char* candidate : ids) {
        if (id == candidate)
            return true;
    }
    return false;
}

} // namespace

namespace trelvox {

void ConvertID3v24Frame(const std::string& id, const std::vector<uint8_t>& data,
                        std::vector<ID3v23Frame>& out) {
    if (data.empty())
        return;
    // Frames of 2.4 without a 2.3 form: sort orders, mood, produced notice, set subtitle, the
    // other time stamps, involved-people lists (2.3 keeps those in ISO-8859-1 only), and the
    // binary newcomers.
    if (IsOneOf(id, {"TSOA", "TSOP", "TSOT", "TMOO", "TPRO", "TSST", "TDEN", "TDRL", "TDTG", "TIPL", "TMCL",
                     "ASPI", "EQU2", "RVA2", "SEEK", "SIGN"}))
        return;

    BodyReader in(data);
    bool encoded = id[0] == 'T' || IsOneOf(id, {"COMM", "USLT", "USER", "APIC", "GEOB", "WXXX", "IPLS",
                                                "OWNE", "COMR", "SYLT"});
    if (!encoded) {
        out.push_back({id, data});
        return;
    }
    uint8_t encoding = in.Byte();
    if (encoding > kUtf8)
        return;

    if (id == "TXXX") {
        std::wstring description = in.Text(encoding);
        std::wstring value = Join(in.Texts(encoding), L"/");
        BodyWriter body({&description, &value});
        body.Text(description, true);
        body.Text(value, false);
        out.push_back({id, body.Take()});
    } else if (id == "TDRC") {
        std::vector<std::wstring> values = in.Texts(encoding);
        if (!values.empty())
            AddRecordingTime(out, values[0]);
    } else if (id == "TDOR") {
        std::vector<std::wstring> values = in.Texts(encoding);
        if (!values.empty() && values[0].size() >= 4 && AllDigits(values[0].substr(0, 4)))
            AddText(out, "TORY", values[0].substr(0, 4));
    } else if (id[0] == 'T') {
        std::vector<std::wstring> values = in.Texts(encoding);
        AddText(out, id.c_str(), id == "TCON" ? GenreText(values) : Join(values, L"/"));
    } else if (id == "COMM" || id == "USLT") {
        std::string language = in.Fixed(3);
        std::wstring description = in.Text(encoding);
        std::wstring text = Join(in.Texts(encoding), L"/");
        if (language.size() < 3)
            return;
        BodyWriter body({&description, &text});
        body.Raw(language, false);
        body.Text(description, true);
        body.Text(text, false);
        out.push_back({id, body.Take()});
    } else if (id == "USER") {
        std::string language = in.Fixed(3);
        std::wstring text = Join(in.Texts(encoding), L"/");
        if (language.size() < 3)
            return;
        BodyWriter body({&text});
        body.Raw(language, false);
        body.Text(text, false);
        out.push_back({id, body.Take()});
    } else if (id == "APIC") {
        std::string mimeType = in.Latin1();
        if (in.AtEnd())
            return;
        uint8_t pictureType = in.Byte();
        std::wstring description = in.Text(encoding);
        Bytes picture = in.Rest();
        BodyWriter body({&description});
        body.Raw(mimeType, true);
        body.Byte(pictureType);
        body.Text(description, true);
        body.Raw(picture);
        out.push_back({id, body.Take()});
    } else if (id == "GEOB") {
        std::string mimeType = in.Latin1();
        std::wstring fileName = in.Text(encoding);
        std::wstring description = in.Text(encoding);
        Bytes object = in.Rest();
        BodyWriter body({&fileName, &description});
        body.Raw(mimeType, true);
        body.Text(fileName, true);
        body.Text(description, true);
        body.Raw(object);
        out.push_back({id, body.Take()});
    } else if (id == "WXXX") {
        std::wstring description = in.Text(encoding);
        std::string url = in.Latin1();
        BodyWriter body({&description});
        body.Text(description, true);
        body.Raw(url, false);
        out.push_back({id, body.Take()});
    } else if (encoding == kLatin1 || encoding == kUtf16) {
        // Ownership, commercial and synchronised-lyrics frames are kept as they are when
        // 2.3 can hold their encoding.
        out.push_back({id, data});
    }
}

} // namespace trelvox
