// The header object of an ASF file as the editor and the writer change it: its child objects
// kept as they are, except the two that hold file-level attributes (content description and
// extended content description), which are rebuilt from an attribute list. A pure core over
// bytes, without Windows headers, so that it builds natively and can be fuzzed.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace wmruntime {

// Attribute value types, numbered as the runtime's WMT_ATTR_DATATYPE.
enum class AttrType : uint16_t { Dword = 0, String = 1, Binary = 2, Bool = 3, Qword = 4, Word = 5, Guid = 6 };

// One file-level attribute. The value is held as the runtime's interfaces pass it: strings
// as UTF-16LE bytes with their terminating zero, BOOL and DWORD as 4 little-endian bytes,
// WORD as 2, QWORD as 8.
struct Attribute {
    std::u16string name;
    AttrType type = AttrType::String;
    std::vector<uint8_t> value;
    // Derived from the file's properties ("Duration", "FileSize", ...): never written back.
    bool readOnly = false;
};

// Whether an attribute of this type and size can be stored in the extended content
// description object (every type but GUID, values up to 65535 bytes, names up to 32767
// characters), and the sizes its type fixes.
bool IsStorable(const std::u16string& name, AttrType type, size_t size);

struct AsfObject {
    uint8_t guid[16];
    std::vector<uint8_t> body; // without the 24-byte object header
};

class AsfHeader {
public:
    // Parses the header object at the start of data (the rest of the file may follow or not).
    // False with a reason when it is not a well-formed ASF header.
    bool Parse(const uint8_t* data, size_t size, std::string* error);
    // Bytes of the header object as it was parsed.
    uint64_t ParsedSize() const { return m_parsedSize; }

    // The attributes: first the read-only ones derived from the file properties, then the
    // content description's, then the extended content description's, in file order.
    std::vector<Attribute> Attributes() const;
    // Replaces both description objects by ones holding the writable attributes of list
    // (a description object that would be empty is left out).
    void SetAttributes(const std::vector<Attribute>& list);

    // The header object's bytes, for a file whose part after the header (data and index
    // objects) is restBytes long; the file size in the file properties is set to match.
    std::vector<uint8_t> Serialize(uint64_t restBytes) const;

private:
    const AsfObject* Find(const uint8_t* guid) const;

    std::vector<AsfObject> m_objects;
    uint8_t m_reserved[2] = {1, 2};
    uint64_t m_parsedSize = 0;
};

extern const uint8_t kAsfHeaderGuid[16];

} // namespace wmruntime
