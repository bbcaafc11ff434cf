#include "FrameValidation.h"

#include <limits.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>

namespace trelvox {
namespace {

constexpr char kRangeMessage[] = "Please enter a number between %d and %d.";

// Beyond every unsigned bound, so that a number too long for 32 bits fails every range check
// instead of wrapping into one ("4294969296" is not the year 2000).
constexpr uint64_t kTooLarge = uint64_t(UINT_MAX) + 1;

// Reads the leading decimal digits from pos; an empty run reads as 0.
uint64_t ReadNumber(const std::wstring& text, size_t& pos) {
    uint64_t value = 0;
    while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9')
        value = std::min(value * 10 + static_cast<unsigned>(text[pos++] - L'0'), kTooLarge);
    return value;
}

bool IsWholeNumber(const std::wstring& text, uint64_t& value) {
    size_t pos = 0;
    value = ReadNumber(text, pos);
    return pos == text.size();
}

std::string RangeMessage(unsigned lower, unsigned upper) {
    char buf[128];
    snprintf(buf, sizeof buf, kRangeMessage, static_cast<int>(lower), static_cast<int>(upper));
    return buf;
}

} // namespace

std::string ValidateNumber(const std::wstring& text, unsigned lower, unsigned upper) {
    uint64_t value = 0;
    if (!IsWholeNumber(text, value))
        return "Please enter a valid number.";
    if (value < lower || value > upper)
        return RangeMessage(lower, upper);
    return std::string();
}

std::string ValidateCopyright(const std::wstring& text, unsigned lower, unsigned upper) {
    size_t pos = 0;
    uint64_t year = ReadNumber(text, pos);
    if (year < lower || year > upper)
        return "Copyright Text must begin with a year number.";
    return std::string();
}

std::string ValidateDate(const std::wstring& text) {
    uint64_t value = 0;
    bool ok = IsWholeNumber(text, value) && text.size() == 4;
    uint64_t day = value / 100, month = value % 100;
    if (!ok || day < 1 || day > 31 || month < 1 || month > 12)
        return "Please enter a numeric string in DDMM format.";
    return std::string();
}

std::string ValidateTime(const std::wstring& text) {
    uint64_t value = 0;
    bool ok = IsWholeNumber(text, value) && text.size() == 4;
    if (!ok || value / 100 >= 24 || value % 100 >= 60)
        return "Please enter a numeric string in HHMM format.";
    return std::string();
}

std::string ValidatePartNumber(const std::wstring& text, unsigned lower, unsigned upper) {
    size_t pos = 0;
    uint64_t first = ReadNumber(text, pos);
    bool hasSecond = pos < text.size() && text[pos] == L'/';
    uint64_t second = 0;
    if (hasSecond) {
        ++pos;
        second = ReadNumber(text, pos);
    }
    if (pos != text.size())
        return "Please enter a number or two numbers separated by a slash.";
    if (hasSecond && (second < lower || second > upper))
        return RangeMessage(lower, upper);
    if (first < lower || first > upper)
        return RangeMessage(lower, upper);
    if (hasSecond && second < first)
        return "The first number must be smaller than the second one.";
    return std::string();
}

std::string ValidateComment(const std::wstring& text) {
    return text.empty() ? "Please enter a comment." : std::string();
}

std::string ValidateGenreList(size_t entries) {
    return entries == 0 ? "Please enter/select at least one genre and click Add." : std::string();
}

std::string ValidatePicture(const std::wstring& description, const std::wstring& mimeType) {
    if (description.empty())
        return "Please enter description for attached picture.";
    if (mimeType.empty())
        return "Please load a picture.";
    return std::string();
}

} // namespace trelvox
