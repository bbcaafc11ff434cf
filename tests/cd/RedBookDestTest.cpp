// Writing audio CDs: the Red Book destination and its track files, and IAudioCD's recording
// slots against the bench's CD-R writer (the stand-in WNASPI32.DLL beside this program). The
// round trip of whole files in several formats through txconv, and the exported image through
// third-party tools, are check_cd_burn.py's.
#include "AudioCD.h"
#include "ComPtr.h"
#include "DiscFixture.h"
#include "DiscRecording.h"
#include "RedBookDest.h"
#include "Recorder.h"
#include "TestSupport.h"
#include "WavTestFiles.h"

#include "Trelvox.h"
#include "TrelvoxCD.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

using trelvox::ComPtr;

// The track files the library has in its temporary directory now.
std::vector<std::string> TrackFiles() {
    char dir[MAX_PATH] = {};
    return txtest::FilesIn(TXTempPath(dir), "bcd*.tmp");
}

class RedBookDest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTX(nullptr); }
};

TEST_F(RedBookDest, WritesRedBookAsItComesAndConvertsTheRestThroughAcm) {
    const std::vector<std::string> before = TrackFiles();
    txtest::RecordingCallback log;
    ComPtr<CRedBookDest> dest(new CRedBookDest);
    txtest::CheckInterfaces(dest.get(), {IID_IConvertDestination}, {IID_IConvertSource});
    GUID clsid = GUID_NULL;
    EXPECT_TRUE(dest->GetClassID(&clsid) && IsEqualGUID(clsid, CLSID_RedBookDest));
    EXPECT_FALSE(dest->SetFileName("x.wav"));
    char settings[64] = {};
    EXPECT_FALSE(dest->GetSettingsText(settings, sizeof(settings)));

    dest->SetErrorLog(&log);
    const WAVEFORMATEX redBook = txtest::Pcm(2, 44100, 16);
    dest->SetFormat(&redBook);
    EXPECT_FALSE(dest->Open());
    EXPECT_EQ(log.Errors(), "Track count is zero\n");

    // Red Book in: the bytes go to the file as they come, with no ACM stream.
    ASSERT_TRUE(dest->AddTrack());
    const std::string stereo = wavtest::Signal(redBook, 44100);
    ASSERT_TRUE(dest->Open());
    EXPECT_FALSE(dest->Converting());
    EXPECT_TRUE(dest->Write(static_cast<uint32_t>(stereo.size() / 2), stereo.data()));
    EXPECT_TRUE(dest->Write(static_cast<uint32_t>(stereo.size() / 2), stereo.data() + stereo.size() / 2));
    dest->Close();
    const std::string first = dest->TrackPath(0);
    char dir[MAX_PATH] = {};
    TXTempPath(dir);
    EXPECT_EQ(first.rfind(dir, 0), 0u) << first << " not in " << dir;
    EXPECT_EQ(first.substr(first.find_last_of('\\') + 1, 3), "bcd") << first;
    EXPECT_TRUE(txtest::ReadFile(first) == stereo) << "Red Book PCM was changed on its way";

    // 48 kHz mono: one second comes out as one second of 44.1 kHz stereo.
    ASSERT_TRUE(dest->AddTrack());
    const WAVEFORMATEX mono = txtest::Pcm(1, 48000, 16);
    dest->SetFormat(&mono);
    const std::string pcm = wavtest::Signal(mono, 48000);
    ASSERT_TRUE(dest->Open());
    EXPECT_TRUE(dest->Converting());
    for (size_t at = 0; at < pcm.size(); at += 9600)
        ASSERT_TRUE(dest->Write(9600, pcm.data() + at)) << log.Errors();
    dest->Close();
    EXPECT_EQ(dest->TrackCount(), 2);
    const size_t converted = txtest::ReadFile(dest->TrackPath(1)).size();
    EXPECT_NEAR(static_cast<double>(converted), 176400.0, 4 * 10.0) << converted;
    EXPECT_EQ(log.Errors(), "Track count is zero\n");

    EXPECT_EQ(TrackFiles().size(), before.size() + 2);
    dest->DeleteTracks();
    EXPECT_FALSE(txtest::FileExists(first));
    EXPECT_EQ(TrackFiles(), before);
}

// Records what a recording tells its caller, in order.
class RecordingLog final : public txtest::RecordingCallback {
public:
    void TX_THISCALL SetProgressPos(uint32_t pos) override { positions.push_back(pos); }
    // The recording's range follows the conversions' ranges; its steps count from there.
    void TX_THISCALL SetProgressRange(uint32_t total) override {
        progressRange = total;
        steps = 0;
    }
    void TX_THISCALL StepProgress(uint32_t value) override { steps += value; }
    std::string Info() const {
        std::string text;
        for (const Line& line : lines)
            if (line.kind == "i")
                text += line.text;
        return text;
    }
    std::vector<uint32_t> positions;
    uint64_t steps = 0;
};

struct BoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
std::vector<BoxCall> g_boxes;
std::vector<int> g_answers; // one per box, in order; IDCANCEL when they run out

int WINAPI AnswerBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    g_boxes.push_back({owner, text ? text : "", caption ? caption : "", type});
    int answer = g_boxes.size() <= g_answers.size() ? g_answers[g_boxes.size() - 1] : IDCANCEL;
    return answer;
}

// The bench's CD-R writer with a blank disc, and the conversion sources to write to it.
class Recording : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTX(nullptr); }
    void SetUp() override {
        g_boxes.clear();
        g_answers.clear();
        cdrip::SetRecordingMessageBox(AnswerBox);
    }
    void TearDown() override {
        cdrip::SetRecordingMessageBox(nullptr);
        m_disc.reset();
        m_devices.reset();
        PutProfileString("BurnCD", "TestMode", nullptr);
        PutProfileString("Settings", "NoGoldenhawk", nullptr);
    }

    // The writer at 0:1:0 with a blank disc, misbehaving as settings says.
    cdrip::IAudioCD* Writer(const std::string& settings = "") {
        m_drives.SetBlank(0, 1, 0, m_dir / "out.cue", settings);
        if (CreateAudioCDDevices(m_devices.put()) != S_OK || m_devices->GetCD(0, m_disc.put()) != S_OK)
            ADD_FAILURE() << "no writer on the bench";
        return m_disc.get();
    }

    // A Wave file of the given shape and length, as a source.
    ComPtr<IConvertSource> WaveSource(const std::string& name, const WAVEFORMATEX& format, uint32_t frames,
                                      std::string* pcm = nullptr) {
        std::string samples = wavtest::Signal(format, frames);
        std::string path = m_dir / name;
        txtest::WriteFile(
            path,
            wavtest::Riff(wavtest::Chunk("fmt ", wavtest::PcmFormat(format.nChannels, format.nSamplesPerSec,
                                                                    format.wBitsPerSample)) +
                          wavtest::Chunk("data", samples)));
        if (pcm)
            *pcm = samples;
        return Source(path);
    }
    ComPtr<IConvertSource> Source(const std::string& path) {
        FormatRecord format{};
        ComPtr<IConvertSource> source;
        if (ConvGetFormatOf(&format, path.c_str()) != S_OK ||
            ConvCreateSource(&format, source.put()) != S_OK || !source->SetFileName(path.c_str()))
            ADD_FAILURE() << "no source for " << path;
        return source;
    }

    cdrip::RecordRequest Request(std::vector<IConvertSource*>& sources) {
        cdrip::RecordRequest request = {};
        request.size = sizeof(request);
        request.sourceCount = static_cast<uint32_t>(sources.size());
        request.sources = sources.data();
        request.speedIndex = 255;
        return request;
    }

    // The finished disc's layout and CD-Text as the drive reads them now.
    cdengine::DiscLayout ReadBack() {
        cdengine::DiscLayout layout;
        static_cast<CAudioCD*>(m_disc.get())->EngineDrive().ReadLayout(layout, true);
        return layout;
    }

    txtest::TempDir m_dir;
    cdtest::BenchDrives m_drives{m_dir.path()};
    ComPtr<cdrip::IAudioCDDevices> m_devices;
    ComPtr<cdrip::IAudioCD> m_disc;
};

TEST_F(Recording, WritesEachSourceAsATrackWithCdTextAndReportsEachStep) {
    const std::vector<std::string> before = TrackFiles();
    cdrip::IAudioCD* writer = Writer();
    ASSERT_TRUE(writer);
    std::string first;
    ComPtr<IConvertSource> a = WaveSource("a.wav", txtest::Pcm(2, 44100, 16), 300 * 588, &first);
    ComPtr<IConvertSource> b = WaveSource("b.wav", txtest::Pcm(1, 48000, 16), 48000);
    std::vector<IConvertSource*> sources = {a.get(), b.get()};
    cdrip::RecordRequest request = Request(sources);
    cdrip::RecordText disc = {"Bench Album", "Bench Band", nullptr, nullptr, nullptr, nullptr};
    cdrip::RecordText tracks[2] = {{"One", "Solo", nullptr, nullptr, nullptr, nullptr},
                                   {"Two", "Bench Band", nullptr, nullptr, nullptr, nullptr}};
    request.discText = &disc;
    request.trackText = tracks;
    request.burnProof = 1;
    RecordingLog log;
    ASSERT_EQ(writer->RecordDisc(1, &request, &log), S_OK) << log.AllText();

    std::vector<std::string> messages = {"Converting audio files to Red-book format...\n", m_dir / "a.wav\n",
                                         m_dir / "b.wav\n",
                                         "Writing the disc using disc-at-once recording...\n"};
    EXPECT_EQ(log.messages, messages);
    EXPECT_EQ(log.Info(), "Recording Options: Speed 255 (0)\nRecording Options: BURN-Proof enabled\n");
    EXPECT_EQ(log.Errors(), "");
    std::string items;
    for (const std::string& item : log.itemTexts)
        items += item + "|";
    EXPECT_NE(items.find("Preparing...|Track 1|Track 2|Lead-out track|"), std::string::npos) << items;
    EXPECT_EQ(log.progressRange, 375u);
    EXPECT_EQ(log.steps, 375u);
    EXPECT_FALSE(log.positions.empty() || log.positions.back() != 1) << "the end sets the position to 1";
    EXPECT_EQ(TrackFiles(), before);

    // 300 frames as they were; one second of 48 kHz mono is 75 frames of Red Book.
    cdengine::DiscLayout layout = ReadBack();
    ASSERT_EQ(layout.tracks.size(), 2u);
    EXPECT_EQ(layout.tracks[0].start, 0u);
    EXPECT_EQ(layout.tracks[1].start, 300u);
    EXPECT_EQ(layout.leadOut, 375u);
    ASSERT_EQ(layout.text.titles.size(), 3u);
    EXPECT_EQ(layout.text.titles[0] + "/" + layout.text.titles[1] + "/" + layout.text.titles[2],
              "Bench Album/One/Two");
    ASSERT_EQ(layout.text.performers.size(), 3u);
    EXPECT_EQ(layout.text.performers[1], "Solo");

    // The secure read gives the first source's PCM back bit for bit.
    ASSERT_EQ(writer->RefreshToc(), S_OK);
    cdrip::TrackRecord record = {};
    ComPtr<cdrip::IAudioCDTrack> track;
    ASSERT_EQ(writer->GetTrack(0, track.put()), S_OK);
    track->GetTrackRecord(&record);
    EXPECT_EQ(record.startMsf, 0x000200u) << "track 1 behind the two-second pregap";
    PutProfileInt("Settings", "NoGoldenhawk", 0);
    ComPtr<IConvertSource> readBack;
    track->QueryInterface(IID_IConvertSource, readBack.putVoid());
    std::string ripped = m_dir / "ripped.wav";
    FormatRecord wave{};
    ConvGetFormatByName(&wave, "Wave");
    ComPtr<IConvertDestination> dest;
    ASSERT_EQ(ConvCreateDest(&wave, dest.put()), S_OK);
    dest->SetFileName(ripped.c_str());
    txtest::RecordingCallback ripLog;
    ASSERT_EQ(AudioConvert(readBack.get(), dest.get(), &ripLog, nullptr, TX_NORMALIZE_OFF, -1, -1), S_OK)
        << ripLog.AllText();
    std::string bytes = txtest::ReadFile(ripped);
    EXPECT_TRUE(bytes.size() == first.size() + 44 && bytes.compare(44, std::string::npos, first) == 0)
        << bytes.size() << " bytes ripped for " << first.size();
}

TEST_F(Recording, AFailedConversionEndsWithoutTrackFilesOrWriting) {
    const std::vector<std::string> before = TrackFiles();
    cdrip::IAudioCD* writer = Writer();
    ASSERT_TRUE(writer);
    ComPtr<IConvertSource> a = WaveSource("a.wav", txtest::Pcm(2, 44100, 16), 44100);
    txtest::WriteFile(m_dir / "broken.wav", wavtest::Riff(wavtest::Chunk("fmt ", "short")));
    ComPtr<IConvertSource> b = Source(m_dir / "broken.wav");
    std::vector<IConvertSource*> sources = {a.get(), b.get()};
    cdrip::RecordRequest request = Request(sources);
    RecordingLog log;
    EXPECT_EQ(writer->RecordDisc(1, &request, &log), E_FAIL);
    EXPECT_NE(log.Errors(), "");
    EXPECT_EQ(TrackFiles(), before);
    EXPECT_TRUE(ReadBack().tracks.empty()) << "the disc stays blank";
    EXPECT_TRUE(g_boxes.empty());
}

// A selection past 74 minutes: the information line, and the recording goes on to the writer,
// here one whose blank holds only 70 minutes. The track file is sparse: 75 minutes that cost
// neither time nor disk.
TEST_F(Recording, PastSeventyFourMinutesTheRecordingGoesOn) {
    cdrip::IAudioCD* writer = Writer("capacity 70\n");
    ASSERT_TRUE(writer);
    const uint32_t frames = 333000 + 4500 + 1;
    std::string path = m_dir / "long.bin";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = int64_t(frames) * 2352;
    EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    std::vector<IConvertSource*> none = {nullptr};
    cdrip::RecordRequest request = Request(none);
    request.speedIndex = 8;
    PutProfileInt("BurnCD", "TestMode", 1);
    RecordingLog log;
    EXPECT_EQ(cdrip::RecordTrackFiles(static_cast<CAudioCD*>(writer)->EngineDrive(), {path}, request, &log),
              E_FAIL);
    EXPECT_EQ(log.Info(), "Total disc time (75:00:01) exceeds 74 minutes!\n"
                          "Recording Options: Speed 8 (16)\n"
                          "Recording Options: Test mode enabled\n");
    EXPECT_EQ(log.progressRange, frames);
    EXPECT_EQ(log.messages, std::vector<std::string>{"Writing the disc using disc-at-once recording...\n"});
    EXPECT_EQ(log.Errors().find(cdengine::ErrorText(cdengine::kErrDiscTooSmall)), 0u) << log.Errors();
    EXPECT_EQ(g_boxes.size(), 1u);
}

TEST_F(Recording, AFailedWriteAsksRetryOrCancel) {
    cdrip::IAudioCD* writer = Writer("write-error 100\n");
    ASSERT_TRUE(writer);
    ComPtr<IConvertSource> a = WaveSource("a.wav", txtest::Pcm(2, 44100, 16), 200 * 588);
    std::vector<IConvertSource*> sources = {a.get()};
    cdrip::RecordRequest request = Request(sources);
    request.owner = reinterpret_cast<HWND>(0x1234);
    g_answers = {IDRETRY, IDCANCEL};
    RecordingLog log;
    EXPECT_EQ(writer->RecordDisc(1, &request, &log), E_FAIL);
    ASSERT_EQ(g_boxes.size(), 2u) << log.AllText();
    // The failed write spoils the blank, which the second attempt finds.
    const int codes[] = {cdengine::kErrWrite, cdengine::kErrNotBlank};
    for (size_t i = 0; i < g_boxes.size(); ++i) {
        const BoxCall& box = g_boxes[i];
        EXPECT_EQ(box.caption, "Harvane");
        EXPECT_EQ(box.type, UINT(MB_RETRYCANCEL | MB_ICONERROR));
        EXPECT_EQ(box.owner, request.owner);
        EXPECT_NE(box.text.find(cdengine::ErrorText(codes[i])), std::string::npos) << box.text;
    }
    const std::string errors = log.Errors();
    const std::string first = cdengine::ErrorText(cdengine::kErrWrite) + "\n" +
                              cdengine::SubCodeText(cdengine::kErrWrite, 0x030C00) + "\n";
    EXPECT_EQ(errors.find(first), 0u) << errors;
    EXPECT_NE(errors.find(cdengine::ErrorText(cdengine::kErrNotBlank) + "\n", first.size()),
              std::string::npos)
        << errors;
    size_t writes = 0;
    for (const std::string& message : log.messages)
        writes += message == "Writing the disc using disc-at-once recording...\n";
    EXPECT_EQ(writes, 2u);
}

TEST_F(Recording, ModesRequestsSpeedsAndEstimates) {
    cdrip::IAudioCD* writer = Writer();
    ASSERT_TRUE(writer);
    ComPtr<IConvertSource> a = WaveSource("a.wav", txtest::Pcm(2, 44100, 16), 588);
    std::vector<IConvertSource*> sources = {a.get()};
    cdrip::RecordRequest request = Request(sources);
    RecordingLog log;
    EXPECT_EQ(writer->RecordDisc(2, &request, &log), E_NOTIMPL);
    ASSERT_FALSE(log.messages.empty());
    EXPECT_EQ(log.messages[0], "Writing the ISO9660 disc using disc-at-once recording...\n");
    EXPECT_NE(log.Errors(), "");
    EXPECT_EQ(writer->RecordDisc(0, &request, &log), E_INVALIDARG);
    EXPECT_EQ(writer->RecordDisc(4, &request, &log), E_INVALIDARG);
    EXPECT_EQ(writer->RecordDisc(1, nullptr, &log), E_INVALIDARG);
    EXPECT_EQ(writer->RecordDisc(1, &request, nullptr), E_INVALIDARG);
    for (auto spoil :
         {+[](cdrip::RecordRequest& r) { r.size = 4; }, +[](cdrip::RecordRequest& r) { r.sourceCount = 0; },
          +[](cdrip::RecordRequest& r) { r.speedIndex = 24; },
          +[](cdrip::RecordRequest& r) { r.sources = nullptr; }}) {
        cdrip::RecordRequest bad = request;
        spoil(bad);
        EXPECT_EQ(writer->RecordDisc(1, &bad, &log), E_INVALIDARG);
    }
    EXPECT_TRUE(ReadBack().tracks.empty());

    // (frames + 19999 + 4500 f) / 4500 f, in whole minutes.
    EXPECT_EQ(writer->EstimateRecordingTime(0, 333000), 79);
    EXPECT_EQ(writer->EstimateRecordingTime(8, 333000), 5);
    EXPECT_EQ(writer->EstimateRecordingTime(24, 333000), E_INVALIDARG);
    const int fastest = writer->GetMaxWriteSpeed();
    EXPECT_GE(fastest, 0);
    EXPECT_EQ(writer->EstimateRecordingTime(255, 333000), writer->EstimateRecordingTime(fastest, 333000));
}

} // namespace
