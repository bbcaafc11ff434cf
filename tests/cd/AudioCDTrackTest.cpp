// The CD track source on a disc in the bench's virtual drive (the stand-in WNASPI32.DLL beside
// this program): its interfaces and tag, both read paths, a cancel from the sink and from the
// conversion's callback, and the engine's texts of a failed secure read. Whole rips, their
// bytes and checksums are check_cd_rip.py's.
#include "AudioCDTrack.h"
#include "ComPtr.h"
#include "DiscFixture.h"
#include "EngineStatus.h"
#include "TestSupport.h"

#include "Trelvox.h"
#include "TrelvoxCD.h"
#include "TrelvoxMetadata.h"

#include <windows.h>

#include <string>

namespace {

using trelvox::ComPtr;

class MemorySink final : public IPlayCallback {
public:
    bool TX_THISCALL OnData(const void* pcm, uint32_t bytes) override {
        m_pcm.append(static_cast<const char*>(pcm), bytes);
        return ++m_blocks != m_stopAfter;
    }
    std::string m_pcm;
    size_t m_blocks = 0;
    size_t m_stopAfter = 0; // 0: never
};

// A callback that cancels once the conversion has gone some way.
class CancellingCallback final : public txtest::RecordingCallback {
public:
    void TX_THISCALL StepProgress(uint32_t bytes) override {
        m_done += bytes;
        if (m_done >= 100000)
            cancelled = 1;
    }
    uint64_t m_done = 0;
};

class TrackBench : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitTX(nullptr); } // opens the settings store
    // Three tracks of 300, 140 and 200 frames; the drive's settings file may make it fail.
    void Insert(const std::string& settings = "") {
        m_disc.reset(new cdtest::DiscFixture(m_dir.path(), cdtest::AudioDisc({300, 140, 200})));
        m_drives.Set(0, 1, 0, m_disc->CuePath(), settings);
    }
    void TearDown() override {
        m_devices.reset();
        PutProfileString("Settings", "NoGoldenhawk", nullptr);
        PutProfileString("AudioCD", "ErrorMode", nullptr);
        PutProfileString("AudioCD", "ReadRetry", nullptr);
    }

    // The track at index of the disc in the only drive, as a conversion source.
    ComPtr<IConvertSource> Track(int index, ComPtr<cdrip::IAudioCDTrack>* asTrack = nullptr) {
        ComPtr<IConvertSource> source;
        ComPtr<cdrip::IAudioCD> cd;
        ComPtr<cdrip::IAudioCDTrack> track;
        if (CreateAudioCDDevices(m_devices.put()) != S_OK || m_devices->GetCD(0, cd.put()) != S_OK ||
            cd->RefreshToc() != S_OK || cd->GetTrack(index, track.put()) != S_OK) {
            ADD_FAILURE() << "no track " << index << " on the virtual drive";
            return source;
        }
        track->QueryInterface(IID_IConvertSource, source.putVoid());
        if (asTrack)
            *asTrack = track;
        return source;
    }

    // Opens the track at index and plays it into sink: Play's result (false when Open failed
    // too), with every line the source reported in log.
    bool Play(int index, MemorySink& sink, txtest::RecordingCallback& log) {
        ComPtr<IConvertSource> source = Track(index);
        if (!source)
            return false;
        source->SetErrorLog(&log);
        bool played = source->Open() && source->Play(&sink);
        source->Close();
        source->SetErrorLog(nullptr);
        return played;
    }

    // The image's frames of the track at index.
    std::string Frames(size_t index) const {
        const std::vector<int32_t>& starts = m_disc->Starts();
        int32_t end = index + 1 < starts.size() ? starts[index + 1] : m_disc->LeadOut();
        return m_disc->Frames(starts[index], static_cast<uint32_t>(end - starts[index]));
    }

    txtest::TempDir m_dir;
    cdtest::BenchDrives m_drives{m_dir.path()};
    std::unique_ptr<cdtest::DiscFixture> m_disc;
    ComPtr<cdrip::IAudioCDDevices> m_devices;
};

TEST_F(TrackBench, OneObjectWithATagFromTheDisc) {
    Insert();
    ComPtr<cdrip::IAudioCDTrack> track;
    ComPtr<IConvertSource> source = Track(1, &track);
    ASSERT_TRUE(source);
    txtest::CheckInterfaces(
        source.get(),
        {IID_IConvertSource, cdrip::IID_IAudioCDTrack, IID_IMetadata, cdrip::IID_IAudioCDTrackReport},
        {cdrip::IID_IAudioCD, IID_IConvertDestination});
    ULONG refs = txtest::RefCount(source.get());
    ComPtr<IMetadata> metadata;
    ASSERT_TRUE(source->GetMetadata(metadata.put()));
    EXPECT_EQ(refs + 1, txtest::RefCount(track.get())) << "one count for all interfaces";

    char name[MAX_PATH] = {};
    ASSERT_TRUE(source->GetFileName(name, sizeof(name)));
    EXPECT_STREQ("D:\\Track02.cda", name);
    ASSERT_TRUE(source->GetFileTitle(name, sizeof(name)));
    EXPECT_STREQ("Track 2", name);

    ComPtr<IMetadataTag> tag;
    ASSERT_EQ(S_OK, metadata->GetTag(tag.put()));
    ComPtr<cdrip::IAudioCD> cd;
    ASSERT_EQ(S_OK, track->GetAudioCD(cd.put()));
    char discId[16];
    snprintf(discId, sizeof(discId), "%08X", static_cast<unsigned>(cd->GetDiscId()));
    // TRCK, TIT2, TALB (the disc id: no title), TLEN (140 frames: 1866 ms), TMED.
    const std::pair<int, std::wstring> expected[] = {
        {68, L"2/3"}, {47, L"Track 2"}, {29, std::wstring(discId, discId + 8)}, {51, L"1866"}, {53, L"CD"}};
    EXPECT_EQ(5u, tag->GetFrameCount());
    for (const auto& frame : expected) {
        ComPtr<IMetadataFrameText> text;
        wchar_t value[64] = {};
        if (SUCCEEDED(tag->GetFrame(frame.first, IID_IMetadataFrameText, text.putVoid())) && text)
            text->GetText(value, 64);
        EXPECT_EQ(frame.second, value) << "frame " << frame.first;
    }
    EXPECT_EQ(E_NOTIMPL, metadata->SetTag(tag.get()));
}

TEST_F(TrackBench, CancelFromTheSinkStopsAfterTheBlockAndOnlyTheSecurePathFails) {
    Insert();
    for (int secure : {0, 1}) {
        SCOPED_TRACE(secure ? "secure" : "direct");
        PutProfileInt("Settings", "NoGoldenhawk", !secure);
        txtest::RecordingCallback log;
        MemorySink sink;
        sink.m_stopAfter = 2;
        EXPECT_EQ(!secure, Play(0, sink, log));
        EXPECT_EQ(2u, sink.m_blocks);
        EXPECT_EQ(Frames(0).substr(0, sink.m_pcm.size()), sink.m_pcm);
        EXPECT_EQ("", log.AllText());
    }
}

// The CD access layer lists CD-ROM devices only; a write-once drive is the engine's alone. With
// "NoGoldenhawk" absent the same Play then reads securely, and the setting becomes 0.
TEST_F(TrackBench, DriveTheAccessLayerLacksIsReadSecurely) {
    Insert("device-type 4\n");
    PutProfileString("Settings", "NoGoldenhawk", nullptr);
    txtest::RecordingCallback log;
    MemorySink sink;
    EXPECT_TRUE(Play(2, sink, log));
    EXPECT_EQ("", log.Errors());
    EXPECT_TRUE(sink.m_pcm == Frames(2)) << sink.m_pcm.size() << " bytes";
    int setting = -1;
    EXPECT_TRUE(GetProfileIntA("Settings", "NoGoldenhawk", &setting));
    EXPECT_EQ(0, setting);
}

TEST_F(TrackBench, ConversionCancelledDuringASecureReadLeavesNoTempFile) {
    Insert();
    PutProfileInt("Settings", "NoGoldenhawk", 0);
    ComPtr<IConvertSource> source = Track(0);
    ASSERT_TRUE(source);
    FormatRecord wave = {};
    ASSERT_EQ(S_OK, ConvGetFormatByName(&wave, "Wave"));
    ComPtr<IConvertDestination> dest;
    ASSERT_EQ(S_OK, ConvCreateDest(&wave, dest.put()));
    ASSERT_TRUE(dest->SetFileName((m_dir / "out.wav").c_str()));
    char temp[MAX_PATH] = {};
    auto count = [&] { return txtest::FilesIn(TXTempPath(temp), "ana*").size(); };
    const size_t before = count();
    CancellingCallback callback;
    ConvertOptions options = {};
    options.trimTrailingSilence = true; // the analysis pass goes through a temporary file
    EXPECT_NE(S_OK,
              AudioConvert(source.get(), dest.get(), &callback, &options, TX_NORMALIZE_MEASURED, -1, -1));
    EXPECT_EQ("", callback.Errors());
    EXPECT_EQ(before, count());
    ComPtr<cdrip::IAudioCDTrackReport> reporter;
    ASSERT_EQ(S_OK, source->QueryInterface(cdrip::IID_IAudioCDTrackReport, reporter.putVoid()));
    cdrip::TrackReadReport report = {};
    report.size = sizeof(report);
    ASSERT_EQ(S_OK, reporter->GetReadReport(&report));
    EXPECT_EQ(2u, report.path);
    EXPECT_LT(report.framesDelivered, 300u) << "stopped after the block the cancel came in";
}

TEST_F(TrackBench, FailedSecureReadReportsTheEngineTexts) {
    Insert("medium-error 320\n");
    PutProfileInt("Settings", "NoGoldenhawk", 0);
    PutProfileInt("AudioCD", "ReadRetry", 1);
    txtest::RecordingCallback log;
    MemorySink sink;
    EXPECT_FALSE(Play(1, sink, log));
    std::string expected = cdengine::ErrorText(cdengine::kErrRead) + "\n";
    std::string sense = cdengine::SubCodeText(cdengine::kErrRead, 0x031100);
    if (!sense.empty())
        expected += sense + "\n";
    EXPECT_EQ(expected, log.Errors());
}

} // namespace
