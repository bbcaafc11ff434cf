#include "TestSupport.h"
#include "Trelvox.h"

#include <string.h>

namespace {

FormatRecord Fetch(uint32_t index) {
    FormatRecord rec;
    memset(&rec, 0xCC, sizeof(rec));
    EXPECT_EQ(ConvGetFormatAt(&rec, index), S_OK);
    return rec;
}

std::vector<std::string> Extensions(const FormatRecord& rec) {
    std::vector<std::string> list;
    for (const char* ext = rec.extensions; *ext; ext += strlen(ext) + 1)
        list.emplace_back(ext);
    return list;
}

int IndexOf(const char* path) {
    FormatRecord rec;
    if (ConvGetFormatOf(&rec, path) != S_OK)
        return -1;
    return static_cast<int>(ConvGetFormatPos(&rec));
}

int IndexByName(const char* name) {
    FormatRecord rec;
    if (ConvGetFormatByName(&rec, name) != S_OK)
        return -1;
    return static_cast<int>(ConvGetFormatPos(&rec));
}

} // namespace

TEST(FormatTable, RowsCarryTheirNamesExtensionsDescriptionsAndClasses) {
    ASSERT_EQ(ConvGetFormatCount(), 18);
    FormatRecord mp3 = Fetch(0);
    EXPECT_STREQ(mp3.name, "MP3");
    EXPECT_STREQ(mp3.description, "MP3 Audio Files (.mp3)");
    EXPECT_EQ(mp3.descriptionId, 8u);
    ASSERT_NE(mp3.sourceClsid, nullptr);
    EXPECT_TRUE(IsEqualGUID(*mp3.sourceClsid, CLSID_WMAConvSource));
    ASSERT_NE(mp3.destClsid, nullptr);
    EXPECT_TRUE(IsEqualGUID(*mp3.destClsid, CLSID_MP3ConvDest));

    FormatRecord mpeg = Fetch(1);
    EXPECT_EQ(Extensions(mpeg), (std::vector<std::string>{".mp1", ".mp2", ".mpg", ".mpeg"}));
    EXPECT_EQ(mpeg.destClsid, nullptr);

    FormatRecord real = Fetch(16);
    EXPECT_STREQ(real.name, "RealAudio");
    EXPECT_EQ(Extensions(real), (std::vector<std::string>{".ra", ".rm", ".ram", ".rmvb", ".rmj"}));
    EXPECT_STREQ(real.description, "RealAudio Media File (.ra)");

    FormatRecord ape = Fetch(17);
    EXPECT_STREQ(ape.name, "Monkey's APE");
    EXPECT_STREQ(ape.description, "Monkey's Audio File (.ape)");

    // Every row: a description loaded, a name that finds the row again.
    for (uint32_t i = 0; i < 18; ++i) {
        FormatRecord rec = Fetch(i);
        EXPECT_NE(rec.description[0], '\0') << i;
        EXPECT_EQ(ConvGetFormatPos(&rec), i) << rec.name;
    }
}

TEST(FormatTable, BadArgumentsAreRefused) {
    FormatRecord rec;
    EXPECT_EQ(ConvGetFormatAt(&rec, 18), E_INVALIDARG);
    EXPECT_EQ(ConvGetFormatAt(&rec, 0xFFFFFFFF), E_INVALIDARG);
    EXPECT_EQ(ConvGetFormatAt(nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(ConvGetFormatOf(nullptr, "a.mp3"), E_INVALIDARG);
    EXPECT_EQ(ConvGetFormatByName(nullptr, "MP3"), E_INVALIDARG);

    FormatRecord unknown = {};
    strcpy(unknown.name, "Nothing");
    EXPECT_EQ(ConvGetFormatPos(&unknown), 0xFFFFFFFFu);
}

TEST(FormatTable, ExtensionLookupIgnoresCaseAndUsesTheFileNamePart) {
    EXPECT_EQ(IndexOf("C:\\Music\\Song.MP3"), 0);
    EXPECT_EQ(IndexOf("clip.mpeg"), 1);
    EXPECT_EQ(IndexOf("x.Wav"), 4);
    EXPECT_EQ(IndexOf("x.asx"), 5);
    EXPECT_EQ(IndexOf("x.rmj"), 16);
    EXPECT_EQ(IndexOf("x.m4a"), 12);
    FormatRecord rec;
    EXPECT_EQ(ConvGetFormatOf(&rec, "README"), E_FAIL);
    // The dot of a directory name is not an extension.
    EXPECT_EQ(ConvGetFormatOf(&rec, "C:\\dir.mp3\\README"), E_FAIL);
    EXPECT_EQ(ConvGetFormatOf(&rec, "x.mp"), E_FAIL);
    EXPECT_EQ(ConvGetFormatOf(&rec, "x.mp3.bak"), E_FAIL);
}

TEST(FormatTable, NameLookupIgnoresCaseAndKnowsTheWmaAlias) {
    EXPECT_EQ(IndexByName("wma"), 5);
    EXPECT_EQ(IndexByName("WMA"), 5);
    EXPECT_EQ(IndexByName("windows media"), 5);
    EXPECT_EQ(IndexByName("ogg vorbis"), 8);
    EXPECT_EQ(IndexByName("Ogg"), -1);
    EXPECT_EQ(IndexByName("wave"), 4);
    FormatRecord rec;
    EXPECT_EQ(ConvGetFormatByName(&rec, "Ogg"), E_FAIL);
}

TEST(FormatTable, FactoriesRefuseRowsWithoutAClass) {
    FormatRecord mpeg = Fetch(1);
    IConvertDestination* dest = reinterpret_cast<IConvertDestination*>(1);
    EXPECT_EQ(ConvCreateDest(&mpeg, &dest), E_NOTIMPL);
    EXPECT_EQ(dest, nullptr);

    // A caller's own record with a CLSID the library does not know.
    FormatRecord custom = Fetch(4);
    custom.sourceClsid = &IID_IConvertSource;
    IConvertSource* source = reinterpret_cast<IConvertSource*>(1);
    EXPECT_EQ(ConvCreateSource(&custom, &source), E_NOTIMPL);
    EXPECT_EQ(source, nullptr);
    custom.destClsid = &CLSID_RedBookDest;
    EXPECT_EQ(ConvCreateDest(&custom, &dest), E_NOTIMPL);

    // Rows whose class is not available fail cleanly as well.
    for (uint32_t i = 0; i < 18; ++i) {
        FormatRecord rec = Fetch(i);
        IConvertSource* src = nullptr;
        HRESULT hr = ConvCreateSource(&rec, &src);
        EXPECT_TRUE(hr == S_OK || hr == E_NOTIMPL) << rec.name << " " << std::hex << hr;
        if (src) {
            EXPECT_EQ(src->GetFormatIndex(), static_cast<int32_t>(i));
            EXPECT_EQ(txtest::RefCount(src), 1u);
            GUID clsid = {};
            EXPECT_TRUE(src->GetClassID(&clsid));
            EXPECT_TRUE(IsEqualGUID(clsid, *rec.sourceClsid)) << rec.name;
            src->Release();
        }
        IConvertDestination* dst = nullptr;
        hr = ConvCreateDest(&rec, &dst);
        EXPECT_TRUE(hr == S_OK || hr == E_NOTIMPL) << rec.name << " " << std::hex << hr;
        if (dst) {
            EXPECT_EQ(dst->GetFormatIndex(), static_cast<int32_t>(i));
            GUID clsid = {};
            EXPECT_TRUE(dst->GetClassID(&clsid));
            EXPECT_TRUE(IsEqualGUID(clsid, *rec.destClsid)) << rec.name;
            dst->Release();
        }
    }
}
