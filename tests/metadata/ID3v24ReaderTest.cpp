// ID3v2.4 tags built byte by byte: what 2.4 adds over 2.3 is undone, the frames reach id3lib
// in their 2.3 form, and damaged tags neither crash nor invent frames.
#include "FieldText.h"
#include "ID3v24Reader.h"
#include "TagText.h"
#include "TestSupport.h"

#include <zlib.h>

#include <string>

using trelvox::ParseID3v24Tag;
using namespace std::string_literals;

namespace {

// The encoding byte of ISO-8859-1 texts; a literal "\x00" would end a C string.
const std::string kLatin1(1, '\0');

std::string SyncSafe(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 3; i >= 0; --i, value >>= 7)
        bytes[static_cast<size_t>(i)] = static_cast<char>(value & 0x7F);
    return bytes;
}

std::string Frame(const char* id, const std::string& body, uint8_t format = 0) {
    return std::string(id, 4) + SyncSafe(static_cast<uint32_t>(body.size())) + '\0' +
           static_cast<char>(format) + body;
}

std::string Tag(const std::string& frames, uint8_t flags = 0, const std::string& extended = "") {
    std::string body = extended + frames + std::string(16, '\0'); // with padding
    return std::string("ID3\x04\x00", 5) + static_cast<char>(flags) +
           SyncSafe(static_cast<uint32_t>(body.size())) + body;
}

std::string Utf16LE(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

std::string Utf16BE(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(c >> 8);
        bytes += static_cast<char>(c & 0xFF);
    }
    return bytes;
}

std::string Unsynchronise(const std::string& data) {
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        out += data[i];
        if (static_cast<uint8_t>(data[i]) == 0xFF &&
            (i + 1 == data.size() || static_cast<uint8_t>(data[i + 1]) >= 0xE0 || data[i + 1] == 0))
            out += '\0';
    }
    return out;
}

size_t Parse(const std::string& bytes, ID3_Tag& tag) {
    return ParseID3v24Tag(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), tag);
}

std::wstring Field(ID3_Tag& tag, ID3_FrameID id, ID3_FieldID field = ID3FN_TEXT) {
    for (ID3_Frame* frame : trelvox::FramesOf(tag)) {
        std::wstring text;
        if (frame->GetID() == id)
            return trelvox::ReadFieldText(*frame, field, text) ? text : L"<no field>";
    }
    return L"<missing>";
}

// One frame of every kind the conversion treats on its own, in all four encodings (the
// first body byte; octal escapes keep it apart from the digits after it).
std::string RichFrames() {
    return Frame("TIT2", kLatin1 + "Caf\xE9") +
           Frame("TPE1", "\x01" + Utf16LE(L"Bj\u00f6rk") + "\0\0"s + Utf16LE(L"Sugarcubes")) +
           Frame("TALB", "\x02" + Utf16BE(L"\u6771\u4eac")) + Frame("TCON", "\00317\0Dream Pop\0"s) +
           Frame("TDRC", "\0032004-05-06T07:08") + Frame("TSOP", kLatin1 + "Bjork") +
           Frame("TXXX", "\003MOOD\0calm"s) + Frame("COMM", "\003engdesc\0Gr\303\274\303\237e"s) +
           Frame("APIC", "\0image/png\0\003front\0\x89PNG"s) + Frame("WOAR", "http://example.com/") +
           Frame("RVA2", "x\0\x01\0\0\0"s);
}

} // namespace

TEST(ID3v24Reader, EncodingsListsAndRenamedFrames) {
    ID3_Tag tag;
    EXPECT_EQ(Parse(Tag(RichFrames()), tag), 11u) << "TDRC gives three frames; TSOP and RVA2 none";
    // The lists, UTF-16 without a byte order mark, the genre reference and the year are
    // NativeTagTools' mutagen cases.
    EXPECT_EQ(Field(tag, ID3FID_TITLE), L"Caf\u00e9");
    EXPECT_EQ(Field(tag, ID3FID_DATE), L"0605");
    EXPECT_EQ(Field(tag, ID3FID_TIME), L"0708");
    EXPECT_EQ(Field(tag, ID3FID_USERTEXT, ID3FN_DESCRIPTION), L"MOOD");
    EXPECT_EQ(Field(tag, ID3FID_USERTEXT), L"calm");
    EXPECT_EQ(Field(tag, ID3FID_COMMENT, ID3FN_DESCRIPTION), L"desc");
    EXPECT_EQ(Field(tag, ID3FID_COMMENT), L"Gr\u00fc\u00dfe");
    EXPECT_EQ(Field(tag, ID3FID_COMMENT, ID3FN_LANGUAGE), L"eng");
    EXPECT_EQ(Field(tag, ID3FID_PICTURE, ID3FN_MIMETYPE), L"image/png");
    EXPECT_EQ(Field(tag, ID3FID_PICTURE, ID3FN_DESCRIPTION), L"front");
    ID3_Frame* picture = tag.Find(ID3FID_PICTURE);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->GetField(ID3FN_PICTURETYPE)->Get(), 3u);
    EXPECT_EQ(picture->GetField(ID3FN_DATA)->BinSize(), 4u);
    EXPECT_EQ(Field(tag, ID3FID_WWWARTIST, ID3FN_URL), L"http://example.com/");
}

TEST(ID3v24Reader, SizesFlagsAndCompression) {
    // A frame past 127 bytes has a sync-safe size that a plain reading gets wrong.
    std::string frames = Frame("TIT2", kLatin1 + std::string(300, 'x'));
    // Per-frame unsynchronisation with a data length indicator; the body holds 0xFF bytes.
    std::string album = "\x01" + Utf16LE(L"\u00ff\u00ff\u00ffA");
    frames += Frame("TALB", SyncSafe(static_cast<uint32_t>(album.size())) + Unsynchronise(album), 0x03);
    // Compressed, with the indicator the format requires, and grouped.
    std::string artist = kLatin1 + std::string(500, 'a');
    std::string packed(compressBound(static_cast<uLong>(artist.size())), '\0');
    uLongf packedSize = static_cast<uLongf>(packed.size());
    ASSERT_EQ(compress(reinterpret_cast<Bytef*>(&packed[0]), &packedSize,
                       reinterpret_cast<const Bytef*>(artist.data()), static_cast<uLong>(artist.size())),
              Z_OK);
    packed.resize(packedSize);
    frames += Frame("TPE1", "\x07" + SyncSafe(static_cast<uint32_t>(artist.size())) + packed, 0x49);
    // Encrypted frames and frames whose compressed data is broken are skipped; the next is read.
    frames += Frame("TCOM", "\x80" + SyncSafe(4) + "junk", 0x05);
    frames += Frame("TPE2", SyncSafe(8) + "not zlib", 0x09);
    // A plain 32-bit size (256, or 128 read sync-safe); the next frame shows which is meant.
    frames += std::string("TIT3\0\0\x01\0\0\0", 10) + kLatin1 + std::string(255, 's');
    frames += Frame("TRCK", kLatin1 + "3/12");

    ID3_Tag tag;
    EXPECT_EQ(Parse(Tag(frames, 0x40, SyncSafe(6) + "\x01\0"s), tag), 5u);
    EXPECT_EQ(Field(tag, ID3FID_TITLE), std::wstring(300, L'x'));
    EXPECT_EQ(Field(tag, ID3FID_ALBUM), L"\u00ff\u00ff\u00ffA");
    EXPECT_EQ(Field(tag, ID3FID_LEADARTIST), std::wstring(500, L'a'));
    EXPECT_EQ(Field(tag, ID3FID_COMPOSER), L"<missing>");
    EXPECT_EQ(Field(tag, ID3FID_BAND), L"<missing>");
    EXPECT_EQ(Field(tag, ID3FID_SUBTITLE), std::wstring(255, L's'));
    EXPECT_EQ(Field(tag, ID3FID_TRACKNUM), L"3/12");

    // The header's unsynchronisation flag applies to every frame.
    ID3_Tag unsynced;
    std::string body = "\x01" + Utf16LE(L"\u00ff\u00e0");
    EXPECT_EQ(Parse(Tag(Frame("TIT2", Unsynchronise(body))), unsynced), 1u);
    EXPECT_EQ(Parse(Tag(Frame("TALB", Unsynchronise(body)), 0x80), unsynced), 1u);
    EXPECT_NE(Field(unsynced, ID3FID_TITLE), L"\u00ff\u00e0") << "without the flag nothing is undone";
    EXPECT_EQ(Field(unsynced, ID3FID_ALBUM), L"\u00ff\u00e0");
}

TEST(ID3v24Reader, DamagedTagsNeitherCrashNorInventFrames) {
    const std::string good = Tag(RichFrames());
    for (size_t size = 0; size <= good.size(); ++size) {
        ID3_Tag tag;
        size_t frames = Parse(good.substr(0, size), tag);
        ASSERT_LE(frames, 11u) << "cut at " << size;
        EXPECT_EQ(tag.NumFrames(), frames);
    }
    // Absurd frame, tag and extended-header sizes, and a flipped byte anywhere.
    std::string absurd = Tag(Frame("TIT2", kLatin1 + "ok") + std::string("TALB\x7F\x7F\x7F\x7F\0\0x", 11));
    std::string hugeTag = good;
    hugeTag.replace(6, 4, "\x7F\x7F\x7F\x7F");
    std::string badExtended = Tag(Frame("TIT2", kLatin1 + "ok"), 0x40, SyncSafe(100000) + "\x01");
    ID3_Tag tag;
    EXPECT_EQ(Parse(absurd, tag), 1u);
    EXPECT_EQ(Parse(hugeTag, tag), 11u);
    EXPECT_EQ(Parse(badExtended, tag), 0u);
    for (size_t at = 0; at < good.size(); ++at) {
        for (uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
            std::string damaged = good;
            damaged[at] = static_cast<char>(value);
            ID3_Tag scratch;
            ASSERT_LE(Parse(damaged, scratch), 20u) << "byte " << at;
        }
    }
    // Not a 2.4 tag at all.
    ID3_Tag none;
    std::string v23 = good;
    v23[3] = 3;
    EXPECT_EQ(Parse(v23, none), 0u);
    EXPECT_EQ(trelvox::ID3v24TagSize(reinterpret_cast<const uint8_t*>("ID3\x04\x00\x00\x00\x00\x80\x00"), 10),
              -1);
}

// Rewriting such a file as 2.3 in front of the same audio: NativeTagTools' ffmpeg cases.
TEST(ID3v24Reader, FilesReadThroughTheContainer) {
    txtest::TempDir dir;
    std::string path = dir / "v24.mp3";
    // An ID3v1 tag behind the audio fills only what the 2.4 tag lacks.
    std::string v1 = "TAG" + std::string("V1 Title").append(22, '\0') +
                     std::string("V1 Artist").append(21, '\0') + std::string("V1 Album").append(22, '\0') +
                     "1999" + std::string(30, '\0') + "\x11";
    ASSERT_EQ(v1.size(), 128u);
    txtest::WriteFile(path, Tag(Frame("TIT2", "\003Gr\303\274\303\237e") + Frame("TPE1", kLatin1 + "V24")) +
                                "\xFF\xFB\x90" + std::string(414, '\0') + v1);
    EXPECT_EQ(txtest::TagTexts(path, {47, 61, 29, 80}), L"5\nGr\u00fc\u00dfe\nV24\nV1 Album\n1999\n");
}
