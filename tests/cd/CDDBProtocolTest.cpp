// The CDDB protocol core without a network: ids, request bytes, answers and entries. Corrupt
// and truncated answers are the cddb_answer fuzz target's.
#include "CDDBProtocol.h"

#include <gtest/gtest.h>

#include <string.h>

using namespace cdrip;
using namespace cdrip::cddb;

namespace {

DiscToc Toc(std::initializer_list<int32_t> starts, int32_t leadOut) {
    DiscToc toc = {};
    for (int32_t start : starts)
        toc.start[toc.count++] = start;
    toc.leadOut = leadOut;
    return toc;
}

const char kHello[] = "&hello=unknown+localhost+trelvox+v5.0&proto=5";

TEST(CDDBProtocol, DiscIdAndRequestBytes) {
    // Frame offsets 150 and 20150, 535 seconds, digit sum 2 + 2+6+8 = 18, 535 - 2 = 533 = 215h.
    const DiscToc toc = Toc({0, 20000}, 40000);
    EXPECT_EQ(150, FrameOffset(0));
    EXPECT_EQ(20150, FrameOffset(20000));
    EXPECT_EQ(535, DiscSeconds(toc));
    EXPECT_EQ(0u, DiscId(DiscToc{}));
    EXPECT_EQ(std::string("cmd=cddb+query+12021502+2+150+20150+535") + kHello, BuildQueryBody(toc));
    EXPECT_EQ(std::string("cmd=cddb+read+rock+12021502") + kHello, BuildReadBody("rock", "12021502"));

    EXPECT_EQ("POST /~cddb/cddb.cgi HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
              "User-Agent: Harvanex\r\nContent-Length: 6\r\n\r\nabcd\r\n",
              BuildFormRequest("cddb.example", "/~cddb/cddb.cgi", false, "abcd"));
    EXPECT_EQ(
        "POST http://cddb.example:8880/x.cgi HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
        "User-Agent: Harvanex\r\nContent-Length: 2\r\n\r\n\r\n",
        BuildFormRequest("cddb.example:8880", "/x.cgi", true, ""));
    const std::string submit =
        BuildSubmitRequest(kSubmitScript, {"rock", "12021502", "me@example.org"}, "E\r\n");
    EXPECT_EQ(
        0u, submit.find("POST /~cddb/submit.cgi HTTP/1.0\r\nUser-Agent: Harvanex\r\nSubmit-Mode: submit\r\n"
                        "Category: rock\r\nDiscid: 12021502\r\nUser-Email: me@example.org\r\nX-Cddbd-Note: "))
        << submit;
    EXPECT_NE(std::string::npos, submit.find("Harvane Support <"));
    EXPECT_NE(std::string::npos, submit.find("Content-Length: 5\r\n\r\nE\r\n\r\n"));

    const Endpoint plain = ParseEndpoint("cddb.example"), port = ParseEndpoint("127.0.0.1:8080"),
                   bad = ParseEndpoint("host:99999");
    EXPECT_EQ("cddb.example", plain.host);
    EXPECT_EQ(80, plain.port);
    EXPECT_EQ("127.0.0.1", port.host);
    EXPECT_EQ(8080, port.port);
    EXPECT_EQ("host:99999", bad.host);
}

TEST(CDDBProtocol, Answers) {
    CDDBMatch matches[10];
    int status = 0;
    std::string_view body;
    ASSERT_TRUE(
        AnswerBody("HTTP/1.0 200 OK\r\nServer: x\r\n\r\n200 rock 12021502 Some One / Some Thing\r\n", &body));
    ASSERT_EQ(1, ParseQueryAnswer(body, matches, 10, &status));
    EXPECT_EQ(200, status);
    EXPECT_STREQ("rock", matches[0].category);
    EXPECT_STREQ("12021502", matches[0].discId);
    EXPECT_STREQ("Some One", matches[0].artist);
    EXPECT_STREQ("Some Thing", matches[0].title);
    EXPECT_EQ(1u, matches[0].flag);
    EXPECT_EQ(0u, matches[0].localKey);

    const std::string list =
        "211 close matches\r\njazz 0a0b0c03 A / One\r\nnot a match\r\n"
        "blues 0a0b0c04  B  / Two\nfolk 0a0b0c05 C /Three\r\n.\r\nrock 0a0b0c06 D / Four\r\n";
    ASSERT_EQ(3, ParseQueryAnswer(list, matches, 10, &status));
    EXPECT_EQ(211, status);
    EXPECT_STREQ("B ", matches[1].artist); // one trailing blank goes
    EXPECT_STREQ("Three", matches[2].title);
    EXPECT_EQ(0u, matches[1].flag);
    EXPECT_EQ(2, ParseQueryAnswer(list, matches, 2, &status));
    EXPECT_EQ(0, ParseQueryAnswer("202 No match for disc ID 12021502.\r\n", matches, 10, &status));
    EXPECT_EQ(202, status);

    // Over-long fields are cut, the id after 8 digits included.
    const std::string longLine = std::string(20, 'c') + " 0123456789 " + std::string(100, 'a') + " / " +
                                 std::string(100, 't') + "\r\n";
    ASSERT_TRUE(ParseMatchLine(longLine, &matches[0]));
    EXPECT_EQ(11u, strlen(matches[0].category));
    EXPECT_STREQ("01234567", matches[0].discId);
    EXPECT_EQ(80u, strlen(matches[0].artist));
    EXPECT_EQ(80u, strlen(matches[0].title));

    std::string entry;
    EXPECT_TRUE(ReadAnswerEntry("210 rock 12021502 follows\r\nDTITLE=a / b\r\n.\r\n", &entry));
    EXPECT_EQ("DTITLE=a / b\r\n.\r\n", entry);
    EXPECT_FALSE(ReadAnswerEntry("401 rock 12021502 No such CD entry\r\n", &entry));
    // A proxy or web server that refuses: no CDDB answer at all.
    EXPECT_FALSE(AnswerBody("HTTP/1.0 407 Proxy Authentication Required\r\n\r\n200 x", &body));
    EXPECT_FALSE(AnswerBody("HTTP/1.1 200 OK\r\nno end of head", &body));
    EXPECT_EQ(0, AnswerStatus("2x0 nonsense"));
    EXPECT_EQ(0, AnswerStatus("20"));
}

TEST(CDDBProtocol, XmcdEscapesContinuationLinesAndLimits) {
    XmcdEntry entry;
    entry.AddComment(" xmcd");
    entry.Add("DTITLE", "Artist / Title");
    entry.Add("EXTD", "line one\nline two\ttab \\n literal\x01\x85");
    const std::string longValue = std::string(300, 'x') + "\\" + std::string(300, 'y');
    entry.Add("TTITLE", 0, longValue);
    const std::string text = entry.Write();
    EXPECT_NE(std::string::npos, text.find("EXTD=line one\\nline two\\ttab \\\\n literal__\r\n")) << text;
    EXPECT_EQ(text.size() - 4, text.rfind("\r\n\r\n\r\n") + 2) << "two empty lines close the entry";
    int ttitleLines = 0;
    for (size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
        const std::string line = text.substr(pos, end - pos);
        EXPECT_LE(line.size(), kLineLimit) << line;
        ttitleLines += line.rfind("TTITLE0=", 0) == 0;
    }
    EXPECT_EQ(3, ttitleLines);

    XmcdEntry back;
    back.Parse(text);
    ASSERT_NE(nullptr, back.Find("EXTD"));
    EXPECT_EQ("line one\nline two\ttab \\n literal__", *back.Find("EXTD"));
    ASSERT_NE(nullptr, back.Find("TTITLE", 0));
    EXPECT_EQ(longValue, *back.Find("TTITLE", 0));
    EXPECT_EQ(-1, back.Revision());

    // An escape pair is never split across lines, wherever the cut falls.
    for (size_t at = 240; at < 260; ++at) {
        XmcdEntry pairs;
        pairs.Add("K", std::string(at, 'a') + "\n\n\\\\");
        XmcdEntry read;
        read.Parse(pairs.Write());
        EXPECT_EQ(std::string(at, 'a') + "\n\n\\\\", *read.Find("K")) << at;
    }

    // Reading: line ends with or without CR, comments, repeated keys, lines without "=".
    XmcdEntry parsed;
    parsed.Parse("# xmcd\n#\n# Revision: 7\r\nDTITLE=Art / Ti\r\nDTITLE=tle\nnonsense\n=x\nTTITLE0=\n");
    EXPECT_EQ("Art / Title", *parsed.Find("DTITLE"));
    EXPECT_EQ("", *parsed.Find("TTITLE0"));
    EXPECT_EQ(7, parsed.Revision());
    EXPECT_EQ(5u, parsed.Items().size());

    // The whole text stays within 32000 bytes.
    XmcdEntry huge;
    for (int i = 0; i < 99; ++i)
        huge.Add("EXTT", i, std::string(1000, 'e'));
    const std::string hugeText = huge.Write();
    EXPECT_LE(hugeText.size(), kEntryCap);
    EXPECT_GT(hugeText.size(), kEntryCap - 300);
    EXPECT_EQ(hugeText.size() - 4, hugeText.rfind("\r\n\r\n"));
}

TEST(CDDBProtocol, SubmissionEntry) {
    DiscInfo info;
    info.artist = "Art";
    info.title = "Title";
    info.genre = "Rock";
    info.category = "rock";
    info.year = 2001;
    info.trackTitles = {"One", "Two"};
    info.trackExtras = {"", "x"};
    const DiscToc toc = Toc({0, 20000}, 40000);
    XmcdEntry previous;
    previous.Parse("# Revision: 4\nEXTD=old notes\nPLAYORDER=1,0\n");
    XmcdEntry entry;
    entry.Parse(BuildSubmission(info, toc, &previous).Write());
    std::vector<std::string> comments;
    for (const XmcdEntry::Item& item : entry.Items())
        if (item.comment)
            comments.push_back(item.value);
    ASSERT_EQ(11u, comments.size());
    const std::vector<std::string> head = {" xmcd",       "", " Track frame offsets:",     "\t150",
                                           "\t20150",     "", " Disc length: 535 seconds", "",
                                           " Revision: 5"};
    EXPECT_EQ(head, std::vector<std::string>(comments.begin(), comments.begin() + 9));
    EXPECT_EQ(0u, comments[9].find(" Submitted via: Harvanex v5.0")) << comments[9];
    EXPECT_EQ("", comments[10]);
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"DISCID", "12021502"}, {"DTITLE", "Art / Title"}, {"DYEAR", "2001"},     {"DGENRE", "Rock"},
        {"TTITLE0", "One"},     {"TTITLE1", "Two"},        {"EXTD", "old notes"}, {"EXTT0", ""},
        {"EXTT1", "x"},         {"PLAYORDER", "1,0"}};
    std::vector<std::pair<std::string, std::string>> got;
    for (const XmcdEntry::Item& item : entry.Items())
        if (!item.comment)
            got.emplace_back(item.key, item.value);
    EXPECT_EQ(fields, got);
    info.year = -1;
    entry.Parse(BuildSubmission(info, toc, nullptr).Write());
    EXPECT_EQ(0, entry.Revision());
    EXPECT_EQ("", *entry.Find("DYEAR"));
}

} // namespace
