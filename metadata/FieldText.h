// Moving texts between id3lib fields and the UTF-16 strings of the frame interfaces.
#pragma once

#include "PathText.h"

#include <id3/tag.h>
#include <id3/writer.h>

#include <string>
#include <vector>

namespace trelvox {

// Reads field fieldId of frame. Returns false (and leaves text alone) when the frame has no
// such field. UTF-16 fields come back as they are, UTF-8 ones are decoded, anything else is
// 8-bit text in the ANSI code page.
bool ReadFieldText(const ID3_Frame& frame, ID3_FieldID fieldId, std::wstring& text);

// Stores text into field fieldId; false when the frame has no such field. Plain ASCII is
// stored as ISO-8859-1 so that ID3v1 and old readers keep it; anything else as UTF-16, and
// the frame's text-encoding field follows.
bool WriteFieldText(ID3_Frame& frame, ID3_FieldID fieldId, const std::wstring& text);

// Copies text into a caller's buffer of size characters: at most size - 1 and a terminator.
// Nothing happens when buf is null or size is not positive.
void CopyToBuffer(const std::wstring& text, wchar_t* buf, int size);

// The frames of tag in order. id3lib hands out its iterators with new and documents deleting
// them through the base, whose destructor is not virtual; the concrete iterator holds nothing
// that needs destroying, so this is the one place that does so.
std::vector<ID3_Frame*> FramesOf(ID3_Tag& tag);

// Collects what id3lib renders. Its own memory writer needs a buffer of the final size, which
// ID3_Tag::Size can underestimate when the new tag is padded to the old one's size.
class StringWriter : public ID3_Writer {
public:
    explicit StringWriter(std::string& out) : m_out(out) {}
    using ID3_Writer::writeChars;
    void close() override {}
    void flush() override {}
    pos_type getCur() override { return static_cast<pos_type>(m_out.size()); }
    size_type writeChars(const char_type buf[], size_type len) override {
        m_out.append(reinterpret_cast<const char*>(buf), len);
        return len;
    }

private:
    std::string& m_out;
};

} // namespace trelvox
