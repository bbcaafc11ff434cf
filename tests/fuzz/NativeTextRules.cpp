// The code-page rules of TextRules.h for the native fuzz targets. The ANSI code page is taken
// to be a double-byte one (the lead bytes of code page 932), so that the parsers' lead-byte
// paths are exercised; texts widen byte by byte, UTF-8 decodes to UTF-16 code units.
#include "TextRules.h"

#include <string.h>

namespace trelvox {
namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void AppendUtf16(std::wstring& out, uint32_t code) {
    if (code >= 0x10000) {
        code -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(code));
    }
}

std::wstring DecodeUtf8(const std::string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t extra = lead < 0x80             ? 0
                       : (lead & 0xE0) == 0xC0 ? 1
                       : (lead & 0xF0) == 0xE0 ? 2
                       : (lead & 0xF8) == 0xF0 ? 3
                                               : 4;
        uint32_t code = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        bool valid = extra < 4 && i + extra < text.size();
        for (size_t k = 1; valid && k <= extra; ++k) {
            const unsigned char trail = static_cast<unsigned char>(text[i + k]);
            valid = (trail & 0xC0) == 0x80;
            code = code << 6 | (trail & 0x3F);
        }
        if (!valid || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out.push_back(static_cast<wchar_t>(0xFFFD));
            ++i;
            continue;
        }
        AppendUtf16(out, code);
        i += extra + 1;
    }
    return out;
}

std::string EncodeUtf8(const std::wstring& text) {
    std::string out;
    for (wchar_t unit : text) {
        uint32_t code = static_cast<uint32_t>(unit) & 0xFFFF;
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | code >> 6));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | code >> 12));
            out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

} // namespace

std::wstring Widen(const std::string& text, unsigned codePage) {
    if (codePage == kUtf8CodePage)
        return DecodeUtf8(text);
    std::wstring out;
    for (char c : text)
        out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return out;
}

std::string Narrow(const std::wstring& text, unsigned codePage) {
    if (codePage == kUtf8CodePage)
        return EncodeUtf8(text);
    std::string out;
    for (wchar_t unit : text)
        out.push_back(static_cast<uint32_t>(unit) < 0x100 ? static_cast<char>(unit) : '?');
    return out;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (; *a && LowerAscii(*a) == LowerAscii(*b); ++a, ++b) {
    }
    return LowerAscii(*a) == LowerAscii(*b);
}

bool IsLeadByte(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

} // namespace trelvox
