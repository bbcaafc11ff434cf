// Output naming: scheme expansion and the cleaning of the tag texts that go into it. The
// input is the scheme, then the source directory and the tag values, separated by NULs.
#include "FuzzSupport.h"
#include "NamingScheme.h"
#include "TextRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const std::string scheme = input.Piece('\0');
    trelvox::NamingValues values;
    values.sourceDir = input.Piece('\0');
    values.sourceName = input.Piece('\0');
    std::string* tags[] = {&values.artist, &values.album, &values.title, &values.genre, &values.year};
    for (std::string* tag : tags) {
        *tag = input.Piece('\0');
        const size_t before = tag->size();
        trelvox::CleanTagText(*tag, true);
        FUZZ_CHECK(tag->size() <= before, "cleaning grew %zu bytes to %zu", before, tag->size());
        for (size_t i = 0; i < tag->size(); ++i) {
            if (trelvox::IsLeadByte((*tag)[i]) && i + 1 < tag->size()) {
                ++i;
                continue;
            }
            FUZZ_CHECK(!strchr("\"*/:<>?\\|", (*tag)[i]) || (*tag)[i] == '\0', "'%c' left at %zu of '%s'",
                       (*tag)[i], i, tag->c_str());
        }
    }
    values.trackNumber = trelvox::TrackNumberOf(input.Piece('\0'));

    std::string out;
    trelvox::ExpandScheme(scheme, values, out);
    const std::string fallback = trelvox::FallBackToSourceName(scheme);
    FUZZ_CHECK(fallback.size() <= scheme.size() + 12, "fallback '%s' of '%s'", fallback.c_str(),
               scheme.c_str());
    trelvox::ExpandScheme(fallback, values, out);
    trelvox::MentionsTagElement(scheme);
    const long skip = static_cast<long>(input.Word());
    const std::string skipped = trelvox::SkipPathComponents(values.sourceDir, skip);
    FUZZ_CHECK(skipped.size() <= values.sourceDir.size(), "'%s' from '%s'", skipped.c_str(),
               values.sourceDir.c_str());
    return 0;
}
