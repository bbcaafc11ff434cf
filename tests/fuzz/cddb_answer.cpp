// The CDDB client's answer parsing and its xmcd entries: any server answer parses into at most
// the matches asked for, with zero-terminated fields, and any entry it holds writes within the
// size cap.
#include "CDDBProtocol.h"
#include "FuzzSupport.h"

#include <string_view>

namespace cddb = cdrip::cddb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view answer(reinterpret_cast<const char*>(data), size);
    std::string_view body;
    if (!cddb::AnswerBody(answer, &body))
        return 0;

    cdrip::CDDBMatch matches[10];
    int status = 0;
    const int count = cddb::ParseQueryAnswer(body, matches, 10, &status);
    FUZZ_CHECK(count >= 0 && count <= 10, "%d matches for a capacity of 10", count);
    for (int i = 0; i < count; ++i) {
        FUZZ_CHECK(memchr(matches[i].artist, 0, sizeof matches[i].artist) &&
                       memchr(matches[i].title, 0, sizeof matches[i].title) &&
                       memchr(matches[i].category, 0, sizeof matches[i].category),
                   "match %d has a field without its terminator", i);
    }

    std::string text;
    if (!cddb::ReadAnswerEntry(body, &text))
        text.assign(body);
    cddb::XmcdEntry entry;
    entry.Parse(text);
    const std::string written = entry.Write();
    FUZZ_CHECK(written.size() <= cddb::kEntryCap, "%zu bytes written", written.size());
    return 0;
}
