// The edit dialogs' input checks and the genre text they build.
#include "FrameDisplay.h"
#include "FrameTexts.h"
#include "FrameValidation.h"
#include "TestSupport.h"

using namespace trelvox;

namespace {
const std::string kOk;
const std::string kRange1800 = "Please enter a number between 1800 and 2100.";
const std::string kRange99 = "Please enter a number between 1 and 99.";
} // namespace

TEST(FrameValidation, YearCopyrightDateAndTime) {
    EXPECT_EQ(ValidateNumber(L"1799", 1800, 2100), kRange1800);
    EXPECT_EQ(ValidateNumber(L"", 1800, 2100), kRange1800);
    EXPECT_EQ(ValidateNumber(L"4294969296", 1800, 2100), kRange1800) << "2000 beyond 32 bits";
    EXPECT_EQ(ValidateNumber(L"1800", 1800, 2100), kOk);
    EXPECT_EQ(ValidateNumber(L"2100", 1800, 2100), kOk);
    EXPECT_EQ(ValidateNumber(L"2005x", 1800, 2100), "Please enter a valid number.");

    const std::string copyright = "Copyright Text must begin with a year number.";
    EXPECT_EQ(ValidateCopyright(L"2004 Some Label", 1800, 2100), kOk);
    for (const wchar_t* bad : {L"Some Label 2004", L"", L"2101", L"4294969296 Label"})
        EXPECT_EQ(ValidateCopyright(bad, 1800, 2100), copyright);

    const std::string date = "Please enter a numeric string in DDMM format.";
    EXPECT_EQ(ValidateDate(L"3112"), kOk);
    EXPECT_EQ(ValidateDate(L"0101"), kOk);
    for (const wchar_t* bad : {L"0000", L"3213", L"312", L"31121", L"31a2", L""})
        EXPECT_EQ(ValidateDate(bad), date) << bad;
    const std::string time = "Please enter a numeric string in HHMM format.";
    EXPECT_EQ(ValidateTime(L"2359"), kOk);
    EXPECT_EQ(ValidateTime(L"0000"), kOk);
    for (const wchar_t* bad : {L"2400", L"1260", L"959", L""})
        EXPECT_EQ(ValidateTime(bad), time) << bad;
}

TEST(FrameValidation, PartNumberChecksInOrder) {
    for (const wchar_t* good : {L"3/12", L"3/3", L"7"})
        EXPECT_EQ(ValidatePartNumber(good, 1, 99), kOk) << good;
    EXPECT_EQ(ValidatePartNumber(L"12/3", 1, 99), "The first number must be smaller than the second one.");
    for (const wchar_t* bad : {L"3-12", L"3/12/1"})
        EXPECT_EQ(ValidatePartNumber(bad, 1, 99),
                  "Please enter a number or two numbers separated by a slash.");
    // b is checked before a, and before the order.
    for (const wchar_t* bad : {L"0", L"", L"100/100", L"5/200", L"4294967297", L"1/4294967395"})
        EXPECT_EQ(ValidatePartNumber(bad, 1, 99), kRange99) << bad;
}

TEST(FrameValidation, OtherDialogs) {
    EXPECT_EQ(ValidateURL(L"http://example.com/"), kOk);
    EXPECT_EQ(ValidateURL(L"not a url"), "Please enter a valid URL.");
    EXPECT_EQ(ValidateUserURL(L"nope", L""), "Please enter a valid URL.");
    EXPECT_EQ(ValidateUserURL(L"http://example.com/", L""),
              "Please enter description for user-defined URL link.");
    EXPECT_EQ(ValidateUserURL(L"http://example.com/", L"home"), kOk);
    EXPECT_EQ(ValidateComment(L""), "Please enter a comment.");
    EXPECT_EQ(ValidateComment(L"x"), kOk);
    EXPECT_EQ(ValidateGenreList(0), "Please enter/select at least one genre and click Add.");
    EXPECT_EQ(ValidateGenreList(1), kOk);
    EXPECT_EQ(ValidatePicture(L"", L""), "Please enter description for attached picture.");
    EXPECT_EQ(ValidatePicture(L"front", L""), "Please load a picture.");
    EXPECT_EQ(ValidatePicture(L"front", L"image/jpeg"), kOk);
}

TEST(GenreText, KnownNamesBecomeReferences) {
    EXPECT_EQ(BuildGenreText({L"Rock", L"Britpop"}), L"(17)Britpop");
    EXPECT_EQ(BuildGenreText({L" hard rock ", L"(Live)"}), L"(79)((Live)");
    EXPECT_EQ(BuildGenreText({}), L"");
}

TEST(LanguageNames, KnownCodeAndUnknownCode) {
    std::wstring english = LanguageName(L"enu");
    EXPECT_NE(english.find(L"English"), std::wstring::npos)
        << "got " << std::string(english.begin(), english.end());
    EXPECT_EQ(LanguageName(L"qqq"), L"qqq");
}

TEST(FrameTexts, PictureTypesAndLongDescriptions) {
    EXPECT_STREQ(PictureTypeName(0), "Other");
    EXPECT_STREQ(PictureTypeName(20), "Publisher/Studio logotype");
    EXPECT_EQ(PictureTypeName(21), nullptr);
    EXPECT_STREQ(FrameLongDescription(92), "Intended for URL links concerning the audiofile.");
    for (int id : {0, 93, -1})
        EXPECT_EQ(FrameLongDescription(id), nullptr) << id;
}
