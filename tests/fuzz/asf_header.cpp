// The ASF header the Windows Media runtime's editor rewrites: any bytes parse or are refused
// without harm, and a parsed header written back with its own attributes parses again to the
// same attributes and the same file size.
#include "AsfHeader.h"
#include "FuzzSupport.h"

using namespace wmruntime;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AsfHeader header;
    std::string why;
    if (!header.Parse(data, size, &why))
        return 0;
    FUZZ_CHECK(header.ParsedSize() <= size, "a header of %llu bytes in %zu",
               (unsigned long long)header.ParsedSize(), size);
    const std::vector<Attribute> attributes = header.Attributes();
    header.SetAttributes(attributes);
    const uint64_t rest = size - header.ParsedSize();
    std::vector<uint8_t> bytes = header.Serialize(rest);
    AsfHeader again;
    FUZZ_CHECK(again.Parse(bytes.data(), bytes.size(), &why), "the rewritten header does not parse: %s",
               why.c_str());
    FUZZ_CHECK(again.ParsedSize() == bytes.size(), "%llu of %zu bytes",
               (unsigned long long)again.ParsedSize(), bytes.size());
    // Values a description object cannot hold as they were (empty, or BOOL of 16 bits) are
    // normalised by the first rewrite; from then on a rewrite changes nothing.
    const std::vector<Attribute> settled = again.Attributes();
    again.SetAttributes(settled);
    std::vector<uint8_t> twice = again.Serialize(rest);
    FUZZ_CHECK(twice == bytes, "a second rewrite changed %zu bytes into %zu", bytes.size(), twice.size());
    for (const Attribute& attribute : settled)
        if (attribute.name == u"FileSize")
            FUZZ_CHECK(attribute.value.size() == 8, "a FileSize of %zu bytes", attribute.value.size());
    return 0;
}
