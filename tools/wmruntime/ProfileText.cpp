#include "ProfileText.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>

namespace wmruntime {

namespace {

// .prx files are ASCII apart from names and descriptions: the text is handled as UTF-16 and
// only the structure is matched.
std::u16string Ascii(const char* text) {
    std::u16string wide;
    for (; *text; ++text)
        wide.push_back(static_cast<unsigned char>(*text));
    return wide;
}

std::u16string Escaped(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text) {
        switch (c) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'"':
            out += u"&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::u16string Unescaped(const std::u16string& text) {
    static const struct {
        const char16_t* entity;
        char16_t c;
    } kEntities[] = {
        {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&apos;", u'\''}};
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        bool replaced = false;
        if (text[i] == u'&') {
            for (const auto& entity : kEntities) {
                std::u16string name(entity.entity);
                if (text.compare(i, name.size(), name) == 0) {
                    out.push_back(entity.c);
                    i += name.size() - 1;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out.push_back(text[i]);
    }
    return out;
}

std::u16string GuidText(const GUID& guid) {
    char text[40];
    snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
             guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return Ascii(text);
}

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

bool ParseGuid(const std::u16string& text, GUID* guid) {
    unsigned long d1;
    unsigned d2, d3, b[8];
    std::string narrow = Narrow(text);
    if (sscanf(narrow.c_str(), "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0], &b[1], &b[2],
               &b[3], &b[4], &b[5], &b[6], &b[7]) != 11)
        return false;
    guid->Data1 = d1;
    guid->Data2 = static_cast<WORD>(d2);
    guid->Data3 = static_cast<WORD>(d3);
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = static_cast<BYTE>(b[i]);
    return true;
}

// A decimal (possibly negative, as "-1" for "none") value.
bool ParseNumber(const std::u16string& text, long long* value) {
    std::string narrow = Narrow(text);
    if (narrow.empty())
        return false;
    char* end = nullptr;
    *value = strtoll(narrow.c_str(), &end, 10);
    return end && *end == '\0';
}

struct Element {
    std::u16string name;                                 // lower case
    std::map<std::u16string, std::u16string> attributes; // names in lower case
    bool closing = false;
};

std::u16string Lower(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// The elements of the text in order; comments, declarations and character data are skipped.
bool Tokenize(const std::u16string& text, std::vector<Element>* elements) {
    size_t at = 0;
    while ((at = text.find(u'<', at)) != std::u16string::npos) {
        if (text.compare(at, 4, u"<!--") == 0) {
            size_t end = text.find(u"-->", at);
            if (end == std::u16string::npos)
                return false;
            at = end + 3;
            continue;
        }
        if (at + 1 < text.size() && (text[at + 1] == u'?' || text[at + 1] == u'!')) {
            size_t end = text.find(u'>', at);
            if (end == std::u16string::npos)
                return false;
            at = end + 1;
            continue;
        }
        Element element;
        ++at;
        if (at < text.size() && text[at] == u'/') {
            element.closing = true;
            ++at;
        }
        size_t nameEnd = at;
        while (nameEnd < text.size() && !IsSpace(text[nameEnd]) && text[nameEnd] != u'>' &&
               text[nameEnd] != u'/')
            ++nameEnd;
        element.name = Lower(text.substr(at, nameEnd - at));
        at = nameEnd;
        for (;;) {
            while (at < text.size() && IsSpace(text[at]))
                ++at;
            if (at >= text.size())
                return false;
            if (text[at] == u'>') {
                ++at;
                break;
            }
            if (text[at] == u'/') {
                ++at;
                continue;
            }
            size_t equals = text.find(u'=', at);
            if (equals == std::u16string::npos)
                return false;
            size_t nameEnd2 = equals;
            while (nameEnd2 > at && IsSpace(text[nameEnd2 - 1]))
                --nameEnd2;
            std::u16string name = Lower(text.substr(at, nameEnd2 - at));
            size_t quote = equals + 1;
            while (quote < text.size() && IsSpace(text[quote]))
                ++quote;
            if (quote >= text.size() || (text[quote] != u'"' && text[quote] != u'\''))
                return false;
            size_t close = text.find(text[quote], quote + 1);
            if (close == std::u16string::npos)
                return false;
            element.attributes[name] = Unescaped(text.substr(quote + 1, close - quote - 1));
            at = close + 1;
        }
        elements->push_back(std::move(element));
    }
    return true;
}

class Attributes {
public:
    explicit Attributes(const Element& element) : m_element(element) {}
    bool Has(const char* name) const { return m_element.attributes.count(Ascii(name)) != 0; }
    std::u16string Text(const char* name) const {
        auto found = m_element.attributes.find(Ascii(name));
        return found == m_element.attributes.end() ? std::u16string() : found->second;
    }
    // A number, or fallback when absent; false when present but no number.
    bool Number(const char* name, long long fallback, long long* value) const {
        if (!Has(name)) {
            *value = fallback;
            return true;
        }
        return ParseNumber(Text(name), value);
    }

private:
    const Element& m_element;
};

std::vector<uint8_t> HexBytes(const std::u16string& text, bool* ok) {
    std::vector<uint8_t> bytes;
    std::string narrow = Narrow(text);
    *ok = narrow.size() % 2 == 0;
    for (size_t i = 0; *ok && i < narrow.size(); i += 2) {
        unsigned value;
        char pair[3] = {narrow[i], narrow[i + 1], 0};
        char* end = nullptr;
        value = static_cast<unsigned>(strtoul(pair, &end, 16));
        *ok = end == pair + 2;
        bytes.push_back(static_cast<uint8_t>(value));
    }
    return bytes;
}

void Append(std::u16string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::u16string& out, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    out += Ascii(text);
}

long Signed(DWORD value) {
    return value == 0xFFFFFFFF ? -1 : static_cast<long>(value);
}

} // namespace

std::u16string ProfileToText(const ProfileData& profile) {
    std::u16string out;
    Append(out, "<profile version=\"%lu\" storageformat=\"1\" name=\"",
           static_cast<unsigned long>(profile.version));
    out += Escaped(profile.name) + u"\" description=\"" + Escaped(profile.description) + u"\">\r\n";
    for (const StreamData& stream : profile.streams) {
        out += u"  <streamconfig majortype=\"" + GuidText(stream.type) + u"\"";
        Append(out, " streamnumber=\"%u\" streamname=\"", stream.number);
        out += Escaped(stream.name) + u"\" inputname=\"" + Escaped(stream.connection) + u"\"";
        Append(out, " bitrate=\"%lu\" bufferwindow=\"%ld\" reliabletransport=\"0\" decodercomplexity=\"\"",
               static_cast<unsigned long>(stream.bitrate), Signed(stream.bufferWindow));
        out += u" rfc1766langid=\"" + Escaped(stream.language) + u"\"";
        const PropertyList& properties = stream.properties;
        Append(out,
               " vbrenabled=\"%lu\" passesused=\"%lu\" vbrquality=\"%lu\" bitratemax=\"%ld\""
               " bufferwindowmax=\"%ld\">\r\n",
               static_cast<unsigned long>(properties.Number(wmsdk::kVbrEnabled, 0)),
               static_cast<unsigned long>(properties.Number(wmsdk::kNumPasses, 1)),
               static_cast<unsigned long>(properties.Number(wmsdk::kVbrQuality, 0)),
               Signed(properties.Number(wmsdk::kVbrBitrateMax, 0)),
               Signed(properties.Number(wmsdk::kVbrBufferWindowMax, 0)));
        const WM_MEDIA_TYPE& type = stream.media.Header();
        out += u"    <wmmediatype subtype=\"" + GuidText(type.subtype) + u"\"";
        Append(out, " bfixedsizesamples=\"%d\" btemporalcompression=\"%d\" lsamplesize=\"%lu\">\r\n",
               type.bFixedSizeSamples ? 1 : 0, type.bTemporalCompression ? 1 : 0,
               static_cast<unsigned long>(type.lSampleSize));
        if (const WAVEFORMATEX* wave = stream.media.Wave()) {
            Append(out,
                   "      <waveformatex wFormatTag=\"%u\" nChannels=\"%u\" nSamplesPerSec=\"%lu\""
                   " nAvgBytesPerSec=\"%lu\" nBlockAlign=\"%u\" wBitsPerSample=\"%u\" codecdata=\"",
                   wave->wFormatTag, wave->nChannels, static_cast<unsigned long>(wave->nSamplesPerSec),
                   static_cast<unsigned long>(wave->nAvgBytesPerSec), wave->nBlockAlign,
                   wave->wBitsPerSample);
            const std::vector<uint8_t>& format = stream.media.Format();
            for (size_t i = 18; i < format.size(); ++i)
                Append(out, "%02X", format[i]);
            out += u"\"/>\r\n";
        }
        out += u"    </wmmediatype>\r\n  </streamconfig>\r\n";
    }
    out += u"</profile>\r\n";
    return out;
}

bool ProfileFromText(const std::u16string& text, ProfileData* profile) {
    std::vector<Element> elements;
    if (!Tokenize(text, &elements))
        return false;
    ProfileData read;
    bool inProfile = false, sawProfile = false;
    StreamData* stream = nullptr;
    long long number = 0;
    for (const Element& element : elements) {
        Attributes attributes(element);
        if (element.name == u"profile") {
            if (element.closing) {
                inProfile = false;
                continue;
            }
            if (sawProfile || !attributes.Number("version", WMT_VER_9_0, &number))
                return false;
            read.version = static_cast<WMT_VERSION>(number);
            read.name = attributes.Text("name");
            read.description = attributes.Text("description");
            inProfile = sawProfile = true;
        } else if (!inProfile) {
            continue;
        } else if (element.name == u"streamconfig") {
            if (element.closing) {
                stream = nullptr;
                continue;
            }
            read.streams.emplace_back();
            stream = &read.streams.back();
            if (!ParseGuid(attributes.Text("majortype"), &stream->type))
                return false;
            long long bitrate, window, streamNumber, vbr, passes, quality, rmax, bmax;
            if (!attributes.Number("streamnumber", 0, &streamNumber) ||
                !attributes.Number("bitrate", 0, &bitrate) ||
                !attributes.Number("bufferwindow", -1, &window) ||
                !attributes.Number("vbrenabled", 0, &vbr) || !attributes.Number("passesused", 1, &passes) ||
                !attributes.Number("vbrquality", 0, &quality) || !attributes.Number("bitratemax", 0, &rmax) ||
                !attributes.Number("bufferwindowmax", 0, &bmax) || streamNumber < 0 || streamNumber > 127)
                return false;
            stream->number = static_cast<WORD>(streamNumber);
            stream->bitrate = static_cast<DWORD>(bitrate);
            stream->bufferWindow = static_cast<DWORD>(window);
            stream->name = attributes.Text("streamname");
            stream->connection = attributes.Text("inputname");
            stream->language = attributes.Text("rfc1766langid");
            stream->properties.SetBool(wmsdk::kVbrEnabled, vbr != 0);
            stream->properties.SetDword(wmsdk::kNumPasses, static_cast<DWORD>(passes));
            if (quality != 0)
                stream->properties.SetDword(wmsdk::kVbrQuality, static_cast<DWORD>(quality));
            stream->properties.SetDword(wmsdk::kVbrBitrateMax, static_cast<DWORD>(rmax));
            stream->properties.SetDword(wmsdk::kVbrBufferWindowMax, static_cast<DWORD>(bmax));
        } else if (stream && !element.closing && element.name == u"wmmediatype") {
            WM_MEDIA_TYPE type = {};
            type.majortype = stream->type;
            long long fixed, temporal, sampleSize;
            if (!ParseGuid(attributes.Text("subtype"), &type.subtype) ||
                !attributes.Number("bfixedsizesamples", 1, &fixed) ||
                !attributes.Number("btemporalcompression", 0, &temporal) ||
                !attributes.Number("lsamplesize", 0, &sampleSize))
                return false;
            type.bFixedSizeSamples = fixed != 0;
            type.bTemporalCompression = temporal != 0;
            type.lSampleSize = static_cast<ULONG>(sampleSize);
            stream->media.Set(type);
        } else if (stream && !element.closing && element.name == u"waveformatex" && !stream->media.Empty()) {
            long long tag, channels, rate, bytes, align, bits;
            bool ok = false;
            std::vector<uint8_t> extra = HexBytes(attributes.Text("codecdata"), &ok);
            if (!ok || extra.size() > 0xFFFF || !attributes.Number("wformattag", -1, &tag) ||
                !attributes.Number("nchannels", -1, &channels) ||
                !attributes.Number("nsamplespersec", -1, &rate) ||
                !attributes.Number("navgbytespersec", -1, &bytes) ||
                !attributes.Number("nblockalign", -1, &align) ||
                !attributes.Number("wbitspersample", -1, &bits) || tag < 0 || channels < 0 || rate < 0 ||
                bytes < 0 || align < 0 || bits < 0)
                return false;
            WAVEFORMATEX wave = {};
            wave.wFormatTag = static_cast<WORD>(tag);
            wave.nChannels = static_cast<WORD>(channels);
            wave.nSamplesPerSec = static_cast<DWORD>(rate);
            wave.nAvgBytesPerSec = static_cast<DWORD>(bytes);
            wave.nBlockAlign = static_cast<WORD>(align);
            wave.wBitsPerSample = static_cast<WORD>(bits);
            wave.cbSize = static_cast<WORD>(extra.size());
            std::vector<uint8_t> format(18);
            memcpy(format.data(), &wave, 18);
            format.insert(format.end(), extra.begin(), extra.end());
            WM_MEDIA_TYPE type = stream->media.Header();
            type.formattype = wmsdk::kFormatWaveFormatEx;
            type.cbFormat = static_cast<ULONG>(format.size());
            type.pbFormat = format.data();
            stream->media.Set(type);
        }
    }
    if (!sawProfile)
        return false;
    *profile = std::move(read);
    return true;
}

} // namespace wmruntime
