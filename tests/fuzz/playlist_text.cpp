// The playlist line rules: any file's bytes give entries within the path limit, and the M3U
// text the library writes for entries beside the playlist reads back to the same entries.
#include "PlaylistText.h"
#include "FuzzSupport.h"

#include <strings.h>

#include <string_view>

using namespace trelvox::playlist;

namespace {

// The entries of text; with besideOnly, only those of lines relative to the playlist's folder.
std::vector<std::string> Entries(std::string_view text, Format format, std::string_view dir,
                                 bool besideOnly) {
    std::vector<std::string> entries;
    for (const std::string& value : format == Format::M3U ? M3UValues(text) : PLSValues(text)) {
        const LineEntry line = ClassifyLine(value, format);
        std::string entry = EntryFor(line, dir, JoinResolved);
        FUZZ_CHECK(entry.size() <= kMaxText, "an entry of %zu characters", entry.size());
        if (!entry.empty() && (!besideOnly || line.placement == Placement::Appended))
            entries.push_back(std::move(entry));
    }
    return entries;
}

// The playlist's folder is matched without regard to case, and written back as it is spelled.
bool SameIgnoringCase(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size() || strncasecmp(a[i].c_str(), b[i].c_str(), a[i].size()) != 0)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string_view dir = "C:\\music";
    Entries(text, Format::PLS, dir, false);
    const std::vector<std::string> entries = Entries(text, Format::M3U, dir, true);

    const std::string saved = M3UText(entries, dir, "https://www.trelvox.net/");
    const std::vector<std::string> loaded = Entries(saved, Format::M3U, dir, false);
    FUZZ_CHECK(SameIgnoringCase(loaded, entries), "%zu entries saved, %zu read back", entries.size(),
               loaded.size());
    return 0;
}
