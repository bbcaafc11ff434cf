// The CDDB client against the loopback server of cddb_server.py (started by the test run; its
// state directory comes in TX_CDDB_STATE): lookups, the local cache, submissions, failures,
// and the threads of a disc, on a disc object of the test's own.
#include <winsock2.h>

#include "AudioCD.h"
#include "CDDB.h"
#include "CDDBThreads.h"
#include "DiscFixture.h"
#include "SettingsStore.h"
#include "TestSupport.h"
#include "TrackRecord.h"
#include "Trelvox.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <thread>

using namespace cdrip;

namespace {

std::string StateDir() {
    const char* state = getenv("TX_CDDB_STATE");
    std::string path = state ? std::string("Z:") + state : std::string();
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string ServerAddress() {
    static const std::string address = "127.0.0.1:" + txtest::ReadFile(StateDir() + "\\port");
    return address;
}

// A loopback port with nothing listening on it.
int ClosedPort() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int size = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    closesocket(s);
    WSACleanup();
    return ntohs(address.sin_port);
}

// The "AudioCD" settings of one test, removed again at its end.
using Values = std::map<std::string, std::string>;

class Settings {
public:
    explicit Settings(Values values = {}) : m_values(std::move(values)) {
        trelvox::OpenSettingsRoot();
        m_values.emplace("CDDB_Server", ServerAddress());
        m_values.emplace("CDDB_Timeout", "2");
        for (const auto& [key, value] : m_values) {
            if (key == "CDDB_UseProxy" || key == "CDDB_ProxyPort" || key == "CDDB_Timeout")
                PutProfileInt("AudioCD", key.c_str(), atoi(value.c_str()));
            else
                PutProfileString("AudioCD", key.c_str(), value.c_str());
        }
    }
    ~Settings() {
        for (const auto& entry : m_values)
            PutProfileString("AudioCD", entry.first.c_str(), nullptr);
    }

private:
    Values m_values;
};

// An object of the test's stack: the count only shows who holds it.
template <class Interface> class OnStack : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
    ULONG Refs() const { return m_refs; }

protected:
    std::atomic<ULONG> m_refs{1};
};

// A disc object with the information fields of the real one, all tracks audio.
class FakeDisc : public OnStack<IAudioCD> {
public:
    FakeDisc(std::initializer_list<int32_t> starts, int32_t leadOut)
        : FakeDisc(std::vector<int32_t>(starts), leadOut) {}
    FakeDisc(const std::vector<int32_t>& starts, int32_t leadOut) {
        for (int32_t start : starts)
            m_toc.start[m_toc.count++] = start;
        m_toc.leadOut = leadOut;
        for (int i = 0; i < m_toc.count; ++i) {
            m_key += PackLba(m_toc.start[i]);
            m_titles.push_back("Track " + std::to_string(i + 1));
            m_extras.emplace_back();
        }
    }
    ~FakeDisc() { WritePrivateProfileStringA(CacheSection().c_str(), nullptr, nullptr, "cdplayer.ini"); }

    std::string CacheSection() const {
        char text[16];
        snprintf(text, sizeof text, "%X", m_key);
        return text;
    }
    uint32_t Key() const { return m_key; }
    // Turns the first (a mixed-mode disc, CDDB id 0) or the last track (an enhanced disc) into
    // a data track: it stays in the table of contents only.
    void MakeDataTrack(bool first) {
        const int index = first ? 0 : m_toc.count - 1;
        m_key -= PackLba(m_toc.start[index]);
        m_titles.pop_back();
        m_extras.pop_back();
        m_mixedMode = first;
    }
    CDDBRequests& Requests() { return m_requests; }

    int TX_THISCALL GetDriveLetter() override { return 3; }
    void TX_THISCALL SetDriveLetter(int) override {}
    void TX_THISCALL DetectDriveLetter() override {}
    uint32_t TX_THISCALL GetCapabilities() override { return 1; }
    HRESULT TX_THISCALL RefreshToc() override { return S_OK; }
    const DiscToc* TX_THISCALL GetToc() override { return m_toc.count ? &m_toc : nullptr; }
    uint32_t TX_THISCALL GetDiscId() override { return m_mixedMode ? 0 : cddb::DiscId(m_toc); }
    HRESULT TX_THISCALL AddTrackObject(IAudioCDTrack*) override { return S_OK; }
    HRESULT TX_THISCALL RemoveTrackObject(IAudioCDTrack*) override { return S_OK; }
    HRESULT TX_THISCALL GetTrack(int, IAudioCDTrack**) override { return E_NOTIMPL; }
    HRESULT TX_THISCALL GetTrackFromCda(const char*, IAudioCDTrack**) override { return E_NOTIMPL; }
    HRESULT TX_THISCALL GetTrackCount(int* count) override {
        *count = int(m_titles.size());
        return S_OK;
    }
    int TX_THISCALL GetMaxWriteSpeed() override { return 0; }
    int TX_THISCALL EstimateRecordingTime(int, uint32_t) override { return 0; }
    HRESULT TX_THISCALL RecordDisc(int, RecordRequest*, IConvertCallback*) override { return E_NOTIMPL; }
    bool TX_THISCALL GetName(char* buffer) override {
        strcpy(buffer, "Fake Disc 1.0 (D:)");
        return true;
    }
    HRESULT TX_THISCALL StartLookup(ICDDBCallback* callback) override {
        return m_requests.StartLookup(this, callback);
    }
    HRESULT TX_THISCALL StartSubmit(ICDDBCallback* callback) override {
        return m_requests.StartSubmit(this, callback);
    }
    bool TX_THISCALL GetTitle(char* b, int n) override { return Copy(m_title, b, n); }
    bool TX_THISCALL GetArtist(char* b, int n) override { return Copy(m_artist, b, n); }
    bool TX_THISCALL GetGenre(char* b, int n) override { return Copy(m_genre, b, n); }
    bool TX_THISCALL GetCategory(char* b, int n) override { return Copy(m_category, b, n); }
    bool TX_THISCALL GetYear(int* year) override {
        *year = m_year;
        return true;
    }
    bool TX_THISCALL GetTrackTitle(int i, char* b, int n) override {
        return Valid(i) && Copy(m_titles[i], b, n);
    }
    bool TX_THISCALL GetTrackExtra(int i, char* b, int n) override {
        return Valid(i) && Copy(m_extras[i], b, n);
    }
    bool TX_THISCALL SetTitle(const char* text) override { return Set(m_title, text); }
    bool TX_THISCALL SetArtist(const char* text) override { return Set(m_artist, text); }
    bool TX_THISCALL SetGenre(const char* text) override { return Set(m_genre, text); }
    bool TX_THISCALL SetCategory(const char* text) override { return Set(m_category, text); }
    bool TX_THISCALL SetYear(int year) override {
        m_year = year;
        return true;
    }
    bool TX_THISCALL SetTrackTitle(int i, const char* text) override {
        return Valid(i) && Set(m_titles[i], text);
    }
    bool TX_THISCALL SetTrackExtra(int i, const char* text) override {
        return Valid(i) && Set(m_extras[i], text);
    }
    void* TX_THISCALL DeletingDestructor(unsigned) override { return nullptr; }

    std::string m_title, m_artist, m_genre, m_category;
    int m_year = -1;
    std::vector<std::string> m_titles, m_extras;

private:
    bool Valid(int i) const { return i >= 0 && i < int(m_titles.size()); }
    static bool Copy(const std::string& text, char* buffer, int size) {
        snprintf(buffer, size_t(size), "%s", text.c_str());
        return buffer[0] != '\0';
    }
    static bool Set(std::string& field, const char* text) {
        field = text ? text : "";
        return true;
    }

    DiscToc m_toc = {};
    uint32_t m_key = 0;
    bool m_mixedMode = false;
    CDDBRequests m_requests;
};

// The front end's callback: records the status texts, answers the questions as told.
class Callback : public OnStack<ICDDBCallback> {
public:
    HRESULT TX_THISCALL Reserved() override { return E_NOTIMPL; }
    HRESULT TX_THISCALL SetStatus(const char* text) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_statuses.emplace_back(text);
        return std::string(text) == "REVISION" ? revisionAnswer : S_OK;
    }
    HRESULT TX_THISCALL ChooseMatch(int count, const CDDBMatch* matches, int* chosen) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        offered.assign(matches, matches + count);
        *chosen = choice;
        return choice < 0 ? E_ABORT : S_OK;
    }

    // Waits until the thread let go of the callback (the end of the request); false after
    // the given time.
    bool WaitForEnd(double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (m_refs != 1 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return m_refs == 1;
    }
    std::vector<std::string> Statuses() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_statuses;
    }
    int choice = 0;
    HRESULT revisionAnswer = S_OK;
    std::vector<CDDBMatch> offered;

private:
    std::mutex m_mutex;
    std::vector<std::string> m_statuses;
};

using Texts = std::vector<std::string>;

// Runs a lookup (or submission) to its end and returns the status texts.
Texts RunToEnd(FakeDisc& disc, Callback& callback, bool submit = false, double seconds = 10) {
    EXPECT_EQ(S_OK, submit ? disc.StartSubmit(&callback) : disc.StartLookup(&callback));
    EXPECT_TRUE(callback.WaitForEnd(seconds)) << "still running after " << seconds << " s";
    EXPECT_FALSE(disc.Requests().Busy());
    EXPECT_EQ(1u, disc.Refs());
    return callback.Statuses();
}

const char kContacting[] = "Contacting CDDB Server...";
const char kRetrieving[] = "Retrieving CD information...";
const char kUnreachable[] = "Unable to contact CDDB server";

// The disc of the id example, filed by the server in "rock".
FakeDisc ExampleDisc() {
    return FakeDisc({0, 20000}, 40000);
}

void SaveToCache(FakeDisc& disc, const char* category, const char* artist, const char* title) {
    disc.m_category = category;
    disc.m_artist = artist;
    disc.m_title = title;
    disc.m_genre = "Cached Genre";
    disc.m_year = 1987;
    disc.m_titles[0] = "Cached\nfirst";
    CCDDB().SaveLocal(&disc);
    disc.m_category = disc.m_artist = disc.m_title = disc.m_genre = "";
    disc.m_year = -1;
    disc.m_titles[0] = "Track 1";
}

class CDDB : public ::testing::Test {
protected:
    void SetUp() override {
        if (StateDir().empty() || !txtest::FileExists(StateDir() + "\\port"))
            GTEST_SKIP()
                << "no loopback CDDB server (TX_CDDB_STATE names its directory; cddb_server.py starts it)";
    }
};

TEST_F(CDDB, LookupRoundTripAndQueryInterface) {
    Settings settings;
    FakeDisc disc({0, 20000}, 40000);
    Callback callback;
    EXPECT_EQ(Texts({kContacting, kRetrieving}), RunToEnd(disc, callback));
    EXPECT_EQ("Example Title", disc.m_title);
    EXPECT_EQ("Example Artist", disc.m_artist);
    EXPECT_EQ("rock", disc.m_category);
    EXPECT_EQ("Rock", disc.m_genre);
    EXPECT_EQ(1999, disc.m_year);
    EXPECT_EQ(Texts({"First\tTab", "Second Half"}), disc.m_titles);
    EXPECT_EQ(Texts({"Line one\nLine two \\ done", ""}), disc.m_extras);

    CDDBRequests& query = disc.Requests();
    EXPECT_EQ(0, query.QueryCDDB(&disc));
    EXPECT_EQ(200, query.GetQueryStatus());
    ASSERT_EQ(1, query.GetMatchCount());
    char artist[81], title[81];
    EXPECT_EQ(S_OK, query.GetMatchText(0, artist, title));
    EXPECT_STREQ("Example Artist", artist);
    EXPECT_STREQ("Example Title", title);
    EXPECT_EQ(E_INVALIDARG, query.GetMatchText(1, artist, title));
    EXPECT_EQ(E_INVALIDARG, query.ReadMatch(&disc, -1));
    disc.m_year = 0;
    EXPECT_EQ(0, query.ReadMatch(&disc, 0));
    EXPECT_EQ(1999, disc.m_year);

    // An equal entry of the local cache is not listed twice; a different one is.
    SaveToCache(disc, "rock", "Example Artist", "Example Title");
    EXPECT_EQ(0, query.QueryCDDB(&disc));
    EXPECT_EQ(1, query.GetMatchCount());
    SaveToCache(disc, "rock", "Example Artist", "Other Title");
    EXPECT_EQ(0, query.QueryCDDB(&disc));
    EXPECT_EQ(2, query.GetMatchCount());

    // The cache key of a disc with a data track counts the audio tracks only.
    for (bool first : {true, false}) {
        FakeDisc mixed({0, 20000, 30000}, 40000);
        mixed.MakeDataTrack(first);
        SaveToCache(mixed, "misc", "A", "B");
        EXPECT_EQ(2u, GetPrivateProfileIntA(mixed.CacheSection().c_str(), "NumTracks", 0, "cdplayer.ini"))
            << first;
        CDDBMatch local;
        EXPECT_TRUE(CCDDB().FindLocal(&mixed, &local));
        EXPECT_EQ(mixed.Key(), local.localKey);
    }
}

TEST_F(CDDB, InexactMatchesAndTheLocalCache) {
    Settings settings(Values{{"CDDB_CGI", "/~cddb/cddb.cgi?mode=inexact"}});
    FakeDisc disc({0, 20000, 30000}, 40000);
    SaveToCache(disc, "misc", "Cached Artist", "Cached Title");
    Callback callback;
    callback.choice = 3;
    EXPECT_EQ(Texts({kContacting, "Multiple CDDB Matches", kRetrieving}), RunToEnd(disc, callback));
    ASSERT_EQ(4u, callback.offered.size());
    const char* const kServer[3][3] = {{"blues", "Blues Band", "Blue Two"},
                                       {"folk", "Folk Band", "Blue Three"},
                                       {"jazz", "Jazz Band", "Blue One"}};
    for (int i = 0; i < 3; ++i) {
        const CDDBMatch& match = callback.offered[size_t(i)];
        EXPECT_STREQ(kServer[i][0], match.category) << i;
        EXPECT_STREQ(kServer[i][1], match.artist) << i;
        EXPECT_STREQ(kServer[i][2], match.title) << i;
        EXPECT_EQ(0u, match.flag);
        EXPECT_EQ(0u, match.localKey);
    }
    const CDDBMatch& local = callback.offered[3];
    EXPECT_STREQ("misc", local.category);
    EXPECT_STREQ("Cached Title", local.title);
    char id[16];
    snprintf(id, sizeof id, "%08x", disc.GetDiscId());
    EXPECT_STREQ(id, local.discId);
    EXPECT_EQ(1u, local.flag);
    EXPECT_EQ(disc.Key(), local.localKey);
    EXPECT_EQ("Cached Title", disc.m_title);
    EXPECT_EQ("Cached Genre", disc.m_genre);
    EXPECT_EQ(1987, disc.m_year);
    EXPECT_EQ(Texts({"Cached\nfirst", "Track 2", "Track 3"}), disc.m_titles);

    // A server match chosen; then a cancelled choice.
    Callback second;
    second.choice = 2;
    RunToEnd(disc, second);
    EXPECT_EQ("Blue One", disc.m_title);
    EXPECT_EQ("a", disc.m_titles[0]);
    Callback cancelled;
    cancelled.choice = -1;
    EXPECT_EQ(Texts({kContacting, "Multiple CDDB Matches", ""}), RunToEnd(disc, cancelled));
}

TEST_F(CDDB, SubmissionRoundTrip) {
    const std::string log = StateDir() + "\\submit.log";
    auto attempts = [&] { return txtest::FileExists(log) ? txtest::ReadFile(log).size() : 0; };
    FakeDisc disc({0, 12345, 23456}, 34567);
    disc.m_category = "newage";
    disc.m_artist = "Sub Artist";
    disc.m_title = "Sub Title";
    disc.m_genre = "New Age";
    disc.m_year = 2024;
    disc.m_titles = {"One\nwith a line feed", std::string(600, 'L'), "Three"};
    disc.m_extras = {"", "tab\there", "back\\slash"};
    {
        Settings settings(Values{{"CDDB_EMailAddress", ""}});
        const size_t before = attempts();
        Callback callback;
        EXPECT_EQ(Texts({kContacting, "Submitting to CDDB Server...", "Submission failed"}),
                  RunToEnd(disc, callback, true));
        EXPECT_EQ(before, attempts()) << "sent without an e-mail address";
    }
    Settings settings(Values{{"CDDB_EMailAddress", "tester@example.org"}});
    Callback first;
    EXPECT_EQ(Texts({kContacting, "Submitting to CDDB Server...", "Submission succeeded"}),
              RunToEnd(disc, first, true))
        << txtest::ReadFile(log);

    // What the server filed reads back field for field.
    CDDBMatch match = {};
    strcpy(match.category, "newage");
    snprintf(match.discId, sizeof match.discId, "%08x", disc.GetDiscId());
    std::vector<char> text(cddb::kEntryCap);
    ASSERT_EQ(0, CCDDB().ReadText(&match, text.data()));
    cddb::XmcdEntry entry;
    entry.Parse(text.data());
    EXPECT_EQ(0, entry.Revision());
    FakeDisc back({0, 12345, 23456}, 34567);
    strcpy(match.artist, "Sub Artist");
    strcpy(match.title, "Sub Title");
    ASSERT_EQ(0, CCDDB().Read(&match, &back));
    EXPECT_EQ(disc.m_titles, back.m_titles);
    EXPECT_EQ(disc.m_extras, back.m_extras);
    EXPECT_EQ("New Age", back.m_genre);
    EXPECT_EQ(2024, back.m_year);
    EXPECT_EQ("Sub Artist / Sub Title", *entry.Find("DTITLE"));

    // A resubmission asks first; refused, nothing is sent.
    const size_t before = attempts();
    Callback refused;
    refused.revisionAnswer = E_ABORT;
    EXPECT_EQ(Texts({kContacting, "REVISION"}), RunToEnd(disc, refused, true));
    EXPECT_EQ(before, attempts());
    disc.m_titles[2] = "Three, corrected";
    Callback again;
    EXPECT_EQ(Texts({kContacting, "REVISION", "Submitting to CDDB Server...", "Submission succeeded"}),
              RunToEnd(disc, again, true))
        << txtest::ReadFile(log);
    ASSERT_EQ(0, CCDDB().ReadText(&match, text.data()));
    entry.Parse(text.data());
    EXPECT_EQ(1, entry.Revision());
    EXPECT_EQ("Three, corrected", *entry.Find("TTITLE2"));
}

TEST_F(CDDB, FailuresEndWithTheirStatus) {
    const std::string closed = "127.0.0.1:" + std::to_string(ClosedPort());
    const std::string proxyPort = ServerAddress().substr(ServerAddress().find(':') + 1);
    struct Case {
        const char* name;
        Values settings;
        Texts statuses;
    };
    const Texts unreachable = {kContacting, kUnreachable};
    const Texts found = {kContacting, kRetrieving};
    const Case cases[] = {
        {"nothing listening", {{"CDDB_Server", closed}}, unreachable},
        {"unknown host", {{"CDDB_Server", "cddb.invalid"}}, unreachable},
        {"hanging server", {{"CDDB_CGI", "/~cddb/cddb.cgi?mode=hang"}}, unreachable},
        {"dropped connection", {{"CDDB_CGI", "/~cddb/cddb.cgi?mode=drop"}}, unreachable},
        {"garbage",
         {{"CDDB_CGI", "/~cddb/cddb.cgi?mode=garbage"}},
         {kContacting, "No matches in CDDB database"}},
        {"garbage read",
         {{"CDDB_CGI", "/~cddb/cddb.cgi?mode=garbage-read"}},
         {kContacting, kRetrieving, "Unable to retrieve CDDB information"}},
        {"slow server", {{"CDDB_CGI", "/~cddb/cddb.cgi?mode=slow=300"}}, found},
        {"proxy",
         {{"CDDB_Server", "cddb.invalid"},
          {"CDDB_UseProxy", "1"},
          {"CDDB_ProxyAddress", "127.0.0.1"},
          {"CDDB_ProxyPort", proxyPort}},
         found},
        {"refusing proxy",
         {{"CDDB_Server", "cddb.invalid"},
          {"CDDB_CGI", "/~cddb/cddb.cgi?mode=refuse-proxy"},
          {"CDDB_UseProxy", "1"},
          {"CDDB_ProxyAddress", "127.0.0.1"},
          {"CDDB_ProxyPort", proxyPort}},
         unreachable},
        {"no proxy listening",
         {{"CDDB_UseProxy", "1"},
          {"CDDB_ProxyAddress", "127.0.0.1"},
          {"CDDB_ProxyPort", closed.substr(closed.find(':') + 1)}},
         unreachable},
    };
    for (const Case& test : cases) {
        Settings settings(test.settings);
        FakeDisc disc = ExampleDisc();
        Callback callback;
        const auto start = std::chrono::steady_clock::now();
        // Time-outs of 2 s: the hanging server holds on for a minute, so 5 s tells the
        // time-out from a wait for the server, even on a busy machine.
        EXPECT_EQ(test.statuses, RunToEnd(disc, callback, false, 5)) << test.name;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 5.0) << test.name;
        printf("%-20s %.2f s\n", test.name, seconds);
    }

    // Unreachable, the local cache answers.
    Settings settings(Values{{"CDDB_Server", closed}});
    FakeDisc disc = ExampleDisc();
    SaveToCache(disc, "rock", "Cached Artist", "Cached Title");
    Callback callback;
    EXPECT_EQ(Texts({kContacting, kUnreachable, kRetrieving}), RunToEnd(disc, callback));
    EXPECT_EQ("Cached Artist", disc.m_artist);
    EXPECT_EQ("Cached\nfirst", disc.m_titles[0]);
    EXPECT_EQ("Track 2", disc.m_titles[1]);
}

TEST_F(CDDB, OneThreadAtATime) {
    Settings settings(Values{{"CDDB_CGI", "/~cddb/cddb.cgi?mode=slow=500"}});
    FakeDisc disc = ExampleDisc();
    Callback first, second;
    ASSERT_EQ(S_OK, disc.StartLookup(&first));
    EXPECT_EQ(S_OK, disc.StartSubmit(&second));
    EXPECT_TRUE(disc.Requests().Busy());
    EXPECT_EQ(2u, disc.Refs()) << "the thread holds the disc";
    EXPECT_EQ(2u, first.Refs()) << "the thread holds the callback";
    EXPECT_EQ(1u, second.Refs());
    EXPECT_TRUE(first.WaitForEnd(5));
    EXPECT_TRUE(second.Statuses().empty());
    EXPECT_EQ(1u, disc.Refs());
    EXPECT_EQ("Example Title", disc.m_title);

    EXPECT_EQ(E_INVALIDARG, disc.StartLookup(nullptr));
    FakeDisc empty({}, 0);
    EXPECT_EQ(E_UNEXPECTED, empty.StartLookup(&first));
}

// The disc object of a drive (the bench's, with a disc the server knows): its lookup thread
// fills it, ICDDBQuery lists and reads the matches, and changed information goes to the local
// cache at the next refresh.
TEST_F(CDDB, TheDiscObjectOfADrive) {
    InitTX(nullptr);
    Settings settings;
    txtest::TempDir dir;
    cdtest::BenchDrives bench(dir.path());
    cdtest::DiscFixture image(dir.path(), cdtest::AudioDisc({300, 450}));
    bench.Set(0, 0, 0, image.CuePath());
    IAudioCDDevices* devices = nullptr;
    ASSERT_EQ(S_OK, CreateAudioCDDevices(&devices));
    IAudioCD* cd = nullptr;
    ASSERT_EQ(S_OK, devices->GetCD(0, &cd));
    devices->Release();
    ASSERT_EQ(S_OK, cd->RefreshToc());
    Callback callback;
    ASSERT_EQ(S_OK, cd->StartLookup(&callback));
    ASSERT_TRUE(callback.WaitForEnd(10));
    EXPECT_EQ(Texts({kContacting, kRetrieving}), callback.Statuses());
    auto text = [](auto getter) {
        char buffer[256] = "";
        getter(buffer, int(sizeof buffer));
        return std::string(buffer);
    };
    EXPECT_EQ("Bench Disc", text([&](char* b, int n) { cd->GetTitle(b, n); }));
    EXPECT_EQ("Bench Artist", text([&](char* b, int n) { cd->GetArtist(b, n); }));
    EXPECT_EQ("soundtrack", text([&](char* b, int n) { cd->GetCategory(b, n); }));
    EXPECT_EQ("Score", text([&](char* b, int n) { cd->GetGenre(b, n); }));
    EXPECT_EQ("Closing", text([&](char* b, int n) { cd->GetTrackTitle(1, b, n); }));
    EXPECT_EQ("Bonus\nnotes", text([&](char* b, int n) { cd->GetTrackExtra(1, b, n); }));
    int year = 0;
    cd->GetYear(&year);
    EXPECT_EQ(2005, year);

    // The match list is LookupRoundTripAndQueryInterface's; here the disc's interface reads
    // into the disc.
    ICDDBQuery* query = nullptr;
    ASSERT_EQ(S_OK, cd->QueryInterface(IID_ICDDBQuery, reinterpret_cast<void**>(&query)));
    EXPECT_EQ(0, query->QueryCDDB());
    char artist[81], title[81];
    EXPECT_EQ(S_OK, query->GetMatchText(0, artist, title));
    EXPECT_STREQ("Bench Artist", artist);
    cd->SetTrackTitle(0, "Edited");
    EXPECT_EQ(0, query->ReadMatch(0));
    EXPECT_EQ("Opening", text([&](char* b, int n) { cd->GetTrackTitle(0, b, n); }));
    query->Release();

    cd->SetTitle("Changed");
    const uint32_t key = static_cast<CAudioCD*>(cd)->Tracks()[0].discKey;
    char section[16];
    snprintf(section, sizeof section, "%X", key);
    ASSERT_EQ(S_OK, cd->RefreshToc());
    char cached[64] = "";
    GetPrivateProfileStringA(section, "Title", "", cached, sizeof cached, "cdplayer.ini");
    EXPECT_STREQ("Changed", cached);
    EXPECT_EQ(2u, GetPrivateProfileIntA(section, "NumTracks", 0, "cdplayer.ini"));
    WritePrivateProfileStringA(section, nullptr, nullptr, "cdplayer.ini");
    cd->Release();
}

// The server checks every query's disc id against libdiscid's for the same offsets and
// refuses a different one with 500: any other answer is agreement.
TEST_F(CDDB, DiscIdsAgreeWithLibdiscid) {
    Settings settings;
    std::mt19937 random(99);
    for (int run = 0; run < 30; ++run) {
        const int tracks = run == 0 ? 99 : 1 + int(random() % 30);
        std::vector<int32_t> starts;
        int32_t lba = run == 1 ? 0 : int32_t(random() % 40000);
        for (int i = 0; i < tracks; ++i, lba += 1 + int32_t(random() % (run == 0 ? 3000 : 10000)))
            starts.push_back(lba);
        FakeDisc disc(starts, lba + 150 + int32_t(random() % 1000));
        CDDBMatch matches[10];
        int count = 10, status = 0;
        EXPECT_EQ(0, CCDDB().Query(&disc, &count, matches, &status));
        EXPECT_TRUE(status == 202 || status == 200)
            << status << " for " << tracks << " tracks, id " << std::hex << disc.GetDiscId();
    }
}

// What a lookup adds to a rip on loopback: connect, query and read, median of 100.
TEST_F(CDDB, LookupLatency) {
    Settings settings;
    FakeDisc disc = ExampleDisc();
    std::vector<double> connect, query, read, whole;
    for (int run = 0; run < 100; ++run) {
        const auto start = std::chrono::steady_clock::now();
        CCDDB cddb;
        CDDBMatch matches[10];
        int count = 10, status = 0;
        ASSERT_EQ(0, cddb.Query(&disc, &count, matches, &status));
        ASSERT_EQ(1, count);
        connect.push_back(cddb.LastTiming().connectMs);
        query.push_back(cddb.LastTiming().totalMs);
        ASSERT_EQ(0, cddb.Read(&matches[0], &disc));
        read.push_back(cddb.LastTiming().totalMs);
        whole.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return (values[49] + values[50]) / 2;
    };
    printf("lookup on loopback, median of 100: connect %.2f ms, query %.2f ms, read %.2f ms, whole lookup "
           "%.2f ms\n",
           median(connect), median(query), median(read), median(whole));
    // About 4 ms on an idle machine; the bound only catches a lookup that waits for something
    // (a time-out, a name look-up), not a busy machine.
    EXPECT_LT(median(whole), 1000.0);
}

} // namespace
