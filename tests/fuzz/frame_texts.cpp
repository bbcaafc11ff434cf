// The frame dialogs' checks and the frame lists' display texts. The input starts with two
// bounds, then holds UTF-16LE texts separated by a NUL unit.
#include "FrameDisplay.h"
#include "FrameValidation.h"
#include "FuzzSupport.h"

#include <wchar.h>

namespace {

// A few names of the genre list, padded as the library's are.
const char* GenreName(unsigned index) {
    static const char* const kNames[] = {"Blues          ", "Classic Rock   ", "Country        ",
                                         "Dance          "};
    return index < 4 ? kNames[index] : nullptr;
}

std::wstring WideText(fuzz::Input& input) {
    std::wstring text;
    while (!input.Empty()) {
        const uint8_t low = input.Byte();
        const wchar_t unit = static_cast<wchar_t>(low | input.Byte() << 8);
        if (unit == 0)
            break;
        text.push_back(unit);
    }
    return text;
}

bool AllDigits(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    unsigned lower = input.Word(), upper = input.Word();
    const std::wstring text = WideText(input), description = WideText(input);

    if (trelvox::ValidateNumber(text, lower, upper).empty()) {
        const unsigned long long value = text.empty() ? 0 : wcstoull(text.c_str(), nullptr, 10);
        FUZZ_CHECK(AllDigits(text) && value >= lower && value <= upper, "'%ls' accepted in [%u, %u]",
                   text.c_str(), lower, upper);
    }
    trelvox::ValidateCopyright(text, lower, upper);
    if (trelvox::ValidateDate(text).empty() || trelvox::ValidateTime(text).empty())
        FUZZ_CHECK(text.size() == 4 && AllDigits(text), "'%ls' accepted as DDMM or HHMM", text.c_str());
    if (trelvox::ValidatePartNumber(text, lower, upper).empty())
        FUZZ_CHECK(!text.empty() || lower == 0, "an empty part number accepted in [%u, %u]", lower, upper);
    trelvox::ValidateComment(text);
    trelvox::ValidatePicture(description, text);

    trelvox::DisplaySongLength(text);
    trelvox::DisplayComment(text, description);
    trelvox::DisplayPicture(text, description, size);
    std::string genre(text.begin(), text.end());
    const std::string shown = trelvox::ResolveGenreText(genre, GenreName);
    std::vector<std::string> entries;
    for (size_t start = 0; start <= shown.size();) {
        size_t comma = shown.find(", ", start);
        entries.push_back(
            shown.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        start = comma == std::string::npos ? shown.size() + 1 : comma + 2;
    }
    trelvox::ResolveGenreText(trelvox::BuildGenreText(entries, GenreName), GenreName);
    return 0;
}
