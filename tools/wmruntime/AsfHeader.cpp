#include "AsfHeader.h"

#include <string.h>

#include <algorithm>

namespace wmruntime {

namespace {

struct GuidBytes {
    uint8_t b[16];
};

// A GUID in the byte order of ASF files (the first three fields little-endian).
constexpr GuidBytes Guid(uint32_t d1, uint16_t d2, uint16_t d3, uint64_t d4) {
    GuidBytes g{};
    for (int i = 0; i < 4; ++i)
        g.b[i] = static_cast<uint8_t>(d1 >> (8 * i));
    for (int i = 0; i < 2; ++i) {
        g.b[4 + i] = static_cast<uint8_t>(d2 >> (8 * i));
        g.b[6 + i] = static_cast<uint8_t>(d3 >> (8 * i));
    }
    for (int i = 0; i < 8; ++i)
        g.b[8 + i] = static_cast<uint8_t>(d4 >> (8 * (7 - i)));
    return g;
}

constexpr GuidBytes kHeader = Guid(0x75B22630, 0x668E, 0x11CF, 0xA6D900AA0062CE6Cull);
constexpr GuidBytes kFileProperties = Guid(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE400C00C205365ull);
constexpr GuidBytes kContentDescription = Guid(0x75B22633, 0x668E, 0x11CF, 0xA6D900AA0062CE6Cull);
constexpr GuidBytes kExtendedContentDescription = Guid(0xD2D0A440, 0xE307, 0x11D2, 0x97F000A0C95EA850ull);

constexpr size_t kObjectHeader = 24;      // GUID and 64-bit size
constexpr size_t kHeaderObjectFixed = 30; // plus the child count and two reserved bytes
constexpr size_t kFilePropertiesBody = 80;
constexpr uint64_t kMaxHeaderSize = 64u << 20; // far above any real header

// The five strings of the content description object, in their order there.
const char16_t* const kDescriptionNames[] = {u"Title", u"Author", u"Copyright", u"Description", u"Rating"};

uint64_t Read(const uint8_t* p, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

void Put(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutAt(std::vector<uint8_t>& out, size_t at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> Bytes(uint64_t value, int bytes) {
    std::vector<uint8_t> out;
    Put(out, value, bytes);
    return out;
}

std::u16string Utf16(const uint8_t* p, size_t bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes; i += 2)
        text.push_back(static_cast<char16_t>(p[i] | (p[i + 1] << 8)));
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    return text;
}

// A string value as the interfaces hold it: UTF-16LE with one terminating zero.
std::vector<uint8_t> StringValue(const std::u16string& text) {
    std::vector<uint8_t> out;
    for (char16_t c : text)
        Put(out, c, 2);
    Put(out, 0, 2);
    return out;
}

// The characters of a string value, up to its first zero.
std::u16string StringText(const std::vector<uint8_t>& value) {
    std::u16string text = Utf16(value.data(), value.size());
    size_t zero = text.find(u'\0');
    return zero == std::u16string::npos ? text : text.substr(0, zero);
}

bool IsDescriptionName(const std::u16string& name) {
    for (const char16_t* known : kDescriptionNames)
        if (name == known)
            return true;
    return false;
}

// Value types of the extended content description object, in the runtime's numbering.
constexpr AttrType kEcdTypes[] = {AttrType::String, AttrType::Binary, AttrType::Bool,
                                  AttrType::Dword,  AttrType::Qword,  AttrType::Word};

uint16_t EcdType(AttrType type) {
    for (uint16_t i = 0; i < 6; ++i)
        if (kEcdTypes[i] == type)
            return i;
    return 1;
}

size_t FixedSize(AttrType type) {
    switch (type) {
    case AttrType::Dword:
    case AttrType::Bool:
        return 4;
    case AttrType::Qword:
        return 8;
    case AttrType::Word:
        return 2;
    case AttrType::Guid:
        return 16;
    default:
        return 0;
    }
}

Attribute Derived(const char16_t* name, AttrType type, uint64_t value) {
    Attribute attribute;
    attribute.name = name;
    attribute.type = type;
    attribute.value = Bytes(value, static_cast<int>(FixedSize(type)));
    attribute.readOnly = true;
    return attribute;
}

} // namespace

const uint8_t kAsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                    0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

bool IsStorable(const std::u16string& name, AttrType type, size_t size) {
    if (name.empty() || name.size() >= 32767 || type == AttrType::Guid || size > 65535)
        return false;
    size_t fixed = FixedSize(type);
    if (fixed != 0 && size != fixed)
        return false;
    return type != AttrType::String || size % 2 == 0;
}

bool AsfHeader::Parse(const uint8_t* data, size_t size, std::string* error) {
    m_objects.clear();
    if (size < kHeaderObjectFixed || memcmp(data, kHeader.b, 16) != 0) {
        *error = "not an ASF file";
        return false;
    }
    uint64_t headerSize = Read(data + 16, 8);
    uint32_t count = static_cast<uint32_t>(Read(data + 24, 4));
    if (headerSize < kHeaderObjectFixed || headerSize > size || headerSize > kMaxHeaderSize) {
        *error = "the header object's size is wrong";
        return false;
    }
    m_reserved[0] = data[28];
    m_reserved[1] = data[29];
    size_t at = kHeaderObjectFixed;
    for (uint32_t i = 0; i < count; ++i) {
        if (headerSize - at < kObjectHeader) {
            *error = "a header object ends early";
            return false;
        }
        uint64_t objectSize = Read(data + at + 16, 8);
        if (objectSize < kObjectHeader || objectSize > headerSize - at) {
            *error = "a header object's size is wrong";
            return false;
        }
        AsfObject object;
        memcpy(object.guid, data + at, 16);
        object.body.assign(data + at + kObjectHeader, data + at + objectSize);
        m_objects.push_back(std::move(object));
        at += static_cast<size_t>(objectSize);
    }
    const AsfObject* properties = Find(kFileProperties.b);
    if (!properties || properties->body.size() < kFilePropertiesBody) {
        *error = "the file properties are missing";
        return false;
    }
    m_parsedSize = headerSize;
    return true;
}

const AsfObject* AsfHeader::Find(const uint8_t* guid) const {
    for (const AsfObject& object : m_objects)
        if (memcmp(object.guid, guid, 16) == 0)
            return &object;
    return nullptr;
}

std::vector<Attribute> AsfHeader::Attributes() const {
    std::vector<Attribute> list;
    if (const AsfObject* properties = Find(kFileProperties.b)) {
        const uint8_t* p = properties->body.data();
        uint64_t playDuration = Read(p + 40, 8), preroll = Read(p + 56, 8);
        uint64_t preroll100ns = preroll * 10000;
        list.push_back(Derived(u"Duration", AttrType::Qword,
                               playDuration > preroll100ns ? playDuration - preroll100ns : 0));
        list.push_back(Derived(u"Bitrate", AttrType::Dword, Read(p + 76, 4)));
        list.push_back(Derived(u"Seekable", AttrType::Bool, (Read(p + 64, 4) & 2) ? 1 : 0));
        list.push_back(Derived(u"FileSize", AttrType::Qword, Read(p + 16, 8)));
    }
    // A header should hold one of each description object; a damaged one may hold more, and
    // all of them are read (and replaced by one on writing).
    for (const AsfObject& description : m_objects) {
        if (memcmp(description.guid, kContentDescription.b, 16) != 0)
            continue;
        const std::vector<uint8_t>& body = description.body;
        if (body.size() >= 10) {
            size_t at = 10;
            for (int i = 0; i < 5; ++i) {
                size_t length = static_cast<size_t>(Read(body.data() + 2 * i, 2));
                if (length > body.size() - at)
                    break;
                // These strings end at their first zero, as they are written.
                std::u16string text =
                    StringText(std::vector<uint8_t>(body.data() + at, body.data() + at + length));
                at += length;
                if (text.empty())
                    continue;
                Attribute attribute;
                attribute.name = kDescriptionNames[i];
                attribute.value = StringValue(text);
                list.push_back(std::move(attribute));
            }
        }
    }
    for (const AsfObject& extended : m_objects) {
        if (memcmp(extended.guid, kExtendedContentDescription.b, 16) != 0)
            continue;
        const std::vector<uint8_t>& body = extended.body;
        size_t count = body.size() >= 2 ? static_cast<size_t>(Read(body.data(), 2)) : 0;
        size_t at = 2;
        for (size_t i = 0; i < count; ++i) {
            if (body.size() - at < 2)
                break;
            size_t nameLength = static_cast<size_t>(Read(body.data() + at, 2));
            if (body.size() - at - 2 < nameLength + 4)
                break;
            Attribute attribute;
            attribute.name = Utf16(body.data() + at + 2, nameLength);
            at += 2 + nameLength;
            uint16_t type = static_cast<uint16_t>(Read(body.data() + at, 2));
            size_t valueLength = static_cast<size_t>(Read(body.data() + at + 2, 2));
            at += 4;
            if (body.size() - at < valueLength)
                break;
            const uint8_t* value = body.data() + at;
            at += valueLength;
            if (type > 5)
                continue;
            attribute.type = kEcdTypes[type];
            if (attribute.type == AttrType::String) {
                attribute.value = StringValue(Utf16(value, valueLength));
            } else {
                // BOOL is 32 bits here; old writers used 16: widen to what the type fixes.
                size_t fixed = FixedSize(attribute.type);
                attribute.value.assign(value, value + valueLength);
                if (fixed != 0)
                    attribute.value.resize(fixed, 0);
            }
            list.push_back(std::move(attribute));
        }
    }
    return list;
}

void AsfHeader::SetAttributes(const std::vector<Attribute>& list) {
    std::u16string texts[5];
    bool taken[5] = {};
    std::vector<uint8_t> extended;
    size_t extendedCount = 0;
    for (const Attribute& attribute : list) {
        if (attribute.readOnly)
            continue;
        if (attribute.type == AttrType::String && IsDescriptionName(attribute.name)) {
            int i = 0;
            while (attribute.name != kDescriptionNames[i])
                ++i;
            if (!taken[i]) {
                taken[i] = true;
                texts[i] = StringText(attribute.value);
                continue;
            }
        }
        if (!IsStorable(attribute.name, attribute.type, attribute.value.size()))
            continue;
        std::vector<uint8_t> name = StringValue(attribute.name);
        Put(extended, name.size(), 2);
        extended.insert(extended.end(), name.begin(), name.end());
        Put(extended, EcdType(attribute.type), 2);
        Put(extended, attribute.value.size(), 2);
        extended.insert(extended.end(), attribute.value.begin(), attribute.value.end());
        ++extendedCount;
    }

    // Where the description objects stand, or after the file properties when they are new.
    auto position = [this](const GuidBytes& guid) {
        for (size_t i = 0; i < m_objects.size(); ++i)
            if (memcmp(m_objects[i].guid, guid.b, 16) == 0)
                return i;
        return m_objects.size();
    };
    auto replace = [this, &position](const GuidBytes& guid, std::vector<uint8_t>* body) {
        size_t at = position(guid);
        bool existed = at < m_objects.size();
        for (size_t i = m_objects.size(); i-- > at;)
            if (memcmp(m_objects[i].guid, guid.b, 16) == 0)
                m_objects.erase(m_objects.begin() + static_cast<ptrdiff_t>(i));
        if (!body)
            return;
        if (!existed) {
            at = position(kFileProperties);
            at = at < m_objects.size() ? at + 1 : m_objects.size();
        }
        AsfObject object;
        memcpy(object.guid, guid.b, 16);
        object.body = std::move(*body);
        m_objects.insert(m_objects.begin() + static_cast<ptrdiff_t>(at), std::move(object));
    };

    bool anyText = false;
    for (const std::u16string& text : texts)
        anyText = anyText || !text.empty();
    std::vector<uint8_t> description;
    if (anyText) {
        std::vector<uint8_t> strings;
        for (const std::u16string& text : texts) {
            std::vector<uint8_t> value = text.empty() ? std::vector<uint8_t>() : StringValue(text);
            Put(description, value.size(), 2);
            strings.insert(strings.end(), value.begin(), value.end());
        }
        description.insert(description.end(), strings.begin(), strings.end());
    }
    replace(kContentDescription, anyText ? &description : nullptr);
    if (extendedCount > 0) {
        std::vector<uint8_t> body = Bytes(extendedCount, 2);
        body.insert(body.end(), extended.begin(), extended.end());
        replace(kExtendedContentDescription, &body);
    } else {
        replace(kExtendedContentDescription, nullptr);
    }
}

std::vector<uint8_t> AsfHeader::Serialize(uint64_t restBytes) const {
    std::vector<uint8_t> out(kHeader.b, kHeader.b + 16);
    Put(out, 0, 8);
    Put(out, m_objects.size(), 4);
    out.push_back(m_reserved[0]);
    out.push_back(m_reserved[1]);
    size_t fileSizeAt = 0;
    for (const AsfObject& object : m_objects) {
        // The first file properties object is the one Parse checked and Attributes reads.
        if (fileSizeAt == 0 && memcmp(object.guid, kFileProperties.b, 16) == 0)
            fileSizeAt = out.size() + kObjectHeader + 16;
        out.insert(out.end(), object.guid, object.guid + 16);
        Put(out, kObjectHeader + object.body.size(), 8);
        out.insert(out.end(), object.body.begin(), object.body.end());
    }
    PutAt(out, 16, out.size(), 8);
    if (fileSizeAt != 0)
        PutAt(out, fileSizeAt, out.size() + restBytes, 8);
    return out;
}

} // namespace wmruntime
