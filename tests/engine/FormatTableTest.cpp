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

// The row found for a path or a name, -1 for none.
int IndexOf(const char* path) {
    FormatRecord rec;
    return ConvGetFormatOf(&rec, path) == S_OK ? int(ConvGetFormatPos(&rec)) : -1;
}

int IndexByName(const char* name) {
    FormatRecord rec;
    return ConvGetFormatByName(&rec, name) == S_OK ? int(ConvGetFormatPos(&rec)) : -1;
}

} // namespace

TEST(FormatTable, LookupsIgnoreCaseAndUseOnlyTheFileNamePart) {
    const struct {
        const char* path;
        int index;
    } byPath[] = {{"C:\\Music\\Song.MP3", 0},  {"clip.mpeg", 1}, {"x.rmj", 16},    {"README", -1},
                  {"C:\\dir.mp3\\README", -1}, {"x.mp", -1},     {"x.mp3.bak", -1}};
    for (const auto& c : byPath)
        EXPECT_EQ(IndexOf(c.path), c.index) << c.path;
    const struct {
        const char* name;
        int index;
    } byName[] = {{"WMA", 5}, {"windows media", 5}, {"ogg vorbis", 8}, {"Ogg", -1}};
    for (const auto& c : byName)
        EXPECT_EQ(IndexByName(c.name), c.index) << c.name;
}

TEST(FormatTable, BadArgumentsAreRefused) {
    FormatRecord rec;
    EXPECT_EQ(ConvGetFormatAt(&rec, 18), E_INVALIDARG);
    EXPECT_EQ(ConvGetFormatAt(nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(ConvGetFormatOf(nullptr, "a.mp3"), E_INVALIDARG);
    EXPECT_EQ(ConvGetFormatByName(nullptr, "MP3"), E_INVALIDARG);
    FormatRecord unknown = {};
    strcpy(unknown.name, "Nothing");
    EXPECT_EQ(ConvGetFormatPos(&unknown), 0xFFFFFFFFu);
    // A caller's own record with a CLSID the library does not know.
    FormatRecord custom = Fetch(4);
    custom.sourceClsid = &IID_IConvertSource;
    IConvertSource* source = reinterpret_cast<IConvertSource*>(1);
    EXPECT_EQ(ConvCreateSource(&custom, &source), E_NOTIMPL);
    EXPECT_EQ(source, nullptr);
}

TEST(FormatTable, EveryRowFindsItselfAndItsFactoriesMakeItsClassesOrRefuseCleanly) {
    // What each row's factories give in this build: every class the rows name is built.
    constexpr HRESULT Y = S_OK, N = E_NOTIMPL;
    const HRESULT expected[18][2] = {
        {Y, Y}, {Y, N}, {Y, N}, {Y, N}, {Y, Y}, {Y, Y}, {Y, Y}, {Y, N}, {Y, Y},
        {Y, N}, {Y, N}, {Y, N}, {Y, N}, {Y, N}, {Y, N}, {Y, N}, {Y, N}, {Y, N},
    };
    ASSERT_EQ(ConvGetFormatCount(), 18);
    for (uint32_t i = 0; i < 18; ++i) {
        FormatRecord rec = Fetch(i);
        SCOPED_TRACE(rec.name);
        EXPECT_NE(rec.description[0], '\0');
        EXPECT_EQ(ConvGetFormatPos(&rec), i);
        GUID clsid = {};
        IConvertSource* src = reinterpret_cast<IConvertSource*>(1);
        EXPECT_EQ(ConvCreateSource(&rec, &src), expected[i][0]);
        EXPECT_EQ(src != nullptr, expected[i][0] == S_OK);
        if (src) {
            EXPECT_EQ(src->GetFormatIndex(), int32_t(i));
            EXPECT_EQ(txtest::RefCount(src), 1u);
            EXPECT_TRUE(src->GetClassID(&clsid) && IsEqualGUID(clsid, *rec.sourceClsid));
            src->Release();
        }
        IConvertDestination* dst = reinterpret_cast<IConvertDestination*>(1);
        EXPECT_EQ(ConvCreateDest(&rec, &dst), expected[i][1]);
        EXPECT_EQ(dst != nullptr, expected[i][1] == S_OK);
        if (dst) {
            EXPECT_EQ(dst->GetFormatIndex(), int32_t(i));
            EXPECT_TRUE(dst->GetClassID(&clsid) && IsEqualGUID(clsid, *rec.destClsid));
            dst->Release();
        }
    }
    // No row writes MP4: a caller's own record reaches the DirectShow destination.
    FormatRecord mp4 = Fetch(12);
    mp4.destClsid = &CLSID_DirectShowConvDest;
    IConvertDestination* dst = nullptr;
    ASSERT_EQ(ConvCreateDest(&mp4, &dst), S_OK);
    GUID clsid = {};
    EXPECT_TRUE(dst->GetClassID(&clsid) && IsEqualGUID(clsid, CLSID_DirectShowConvDest));
    dst->Release();
}
