// The secure read loop against a fake drive: a disc of pseudo-random PCM, frames that fail a
// number of times, and reads whose data lands early or late in the buffer. No Windows headers:
// this also builds and runs natively.
#include "SecureRead.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using secureread::DriveStatus;
using secureread::kFrameBytes;
using secureread::Outcome;

constexpr int kReadErrorCode = -20; // stands for the engine's read-error code

class FakeDrive : public secureread::FrameReader {
public:
    explicit FakeDrive(uint32_t frames) : m_pcm(frames * kFrameBytes) {
        uint32_t state = 12345;
        for (uint8_t& byte : m_pcm) {
            state = state * 1103515245u + 12345u;
            byte = static_cast<uint8_t>(state >> 16);
        }
    }

    DriveStatus SetBlockSize(uint32_t bytes) override {
        m_blockSizes.push_back(bytes);
        return DriveStatus();
    }

    // Data shifts are in bytes: positive puts the data later in the buffer (the drive started
    // early), negative earlier. The first read is never shifted, as nothing could re-align it.
    DriveStatus ReadFrames(uint32_t lba, uint32_t count, uint8_t* out) override {
        m_reads.push_back({lba, count});
        for (auto& fault : m_faults) {
            if (fault.first >= lba && fault.first < lba + count && fault.second.attempts != 0) {
                if (fault.second.attempts > 0) {
                    --fault.second.attempts;
                    // The other faulty frames of the block were not reached this time.
                }
                DriveStatus status;
                status.code = kReadErrorCode;
                status.senseKey = fault.second.senseKey;
                status.subCode = fault.second.senseKey << 16 | 0x11 << 8;
                return status;
            }
        }
        long shift = 0;
        if (!m_shifts.empty() && m_reads.size() > 1) {
            shift = m_shifts[(m_reads.size() - 2) % m_shifts.size()];
            if (lba + count >= m_trackEnd && !m_shiftLastBlockLate)
                shift = std::min(shift, 0L);
        }
        for (uint32_t i = 0; i < count * kFrameBytes; ++i) {
            long at = static_cast<long>(lba * kFrameBytes + i) - shift;
            out[i] = at >= 0 && at < static_cast<long>(m_pcm.size()) ? m_pcm[at] : 0;
        }
        return DriveStatus();
    }

    void PostRead(uint8_t*, uint32_t frames) override { m_postRead += frames; }
    bool WantsJitterCorrection() const override { return m_wantsJitter; }
    bool AbortRequested() const override { return m_abortAfterReads && m_reads.size() >= m_abortAfterReads; }

    // Frame lba fails the next attempts reads that cover it (-1: every read).
    void Fail(uint32_t lba, int attempts, int senseKey = 3) { m_faults[lba] = {attempts, senseKey}; }

    std::vector<uint8_t> Frames(uint32_t first, uint32_t end) const {
        return std::vector<uint8_t>(m_pcm.begin() + first * kFrameBytes, m_pcm.begin() + end * kFrameBytes);
    }

    struct Fault {
        int attempts;
        int senseKey;
    };
    struct Read {
        uint32_t lba;
        uint32_t count;
    };
    std::vector<uint8_t> m_pcm;
    std::map<uint32_t, Fault> m_faults;
    std::vector<long> m_shifts;
    uint32_t m_trackEnd = UINT32_MAX;
    bool m_shiftLastBlockLate = false;
    bool m_wantsJitter = false;
    size_t m_abortAfterReads = 0;
    std::vector<Read> m_reads;
    std::vector<uint32_t> m_blockSizes;
    uint32_t m_postRead = 0;
};

class Collect : public secureread::BlockSink {
public:
    bool OnBlock(const uint8_t* pcm, uint32_t bytes) override {
        EXPECT_EQ(0u, bytes % kFrameBytes);
        m_pcm.insert(m_pcm.end(), pcm, pcm + bytes);
        ++m_blocks;
        return m_stopAfterBlocks == 0 || m_blocks < m_stopAfterBlocks;
    }
    std::vector<uint8_t> m_pcm;
    size_t m_blocks = 0;
    size_t m_stopAfterBlocks = 0;
};

// The first frame at which two PCM streams differ, or -1 when they are equal.
long FirstDifferentFrame(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return static_cast<long>(i / kFrameBytes);
    return a.size() == b.size() ? -1 : static_cast<long>(n / kFrameBytes);
}

struct ReadRun {
    secureread::Result result;
    secureread::Report report;
    std::vector<uint8_t> pcm;
};

ReadRun Read(FakeDrive& drive, uint32_t first, uint32_t end, secureread::Settings settings,
             size_t stopAfter = 0) {
    ReadRun run;
    Collect sink;
    sink.m_stopAfterBlocks = stopAfter;
    drive.m_trackEnd = end;
    run.result = secureread::ReadSecure(drive, first, end, settings, sink, &run.report);
    run.pcm = sink.m_pcm;
    EXPECT_EQ(run.report.framesDelivered * kFrameBytes, run.pcm.size());
    EXPECT_EQ((std::vector<uint32_t>{kFrameBytes, 2048}), drive.m_blockSizes)
        << "block size set and restored";
    return run;
}

constexpr long kSample = 4;
constexpr long kFrame = kFrameBytes;

// A track of 161 frames (not a multiple of 27) in the middle of a disc, whose reads land up
// to 2 frames early (less the one sample at which the backward search stops) and 3 frames
// late, and at odd sample offsets in between.
TEST(SecureRead, JitterCorrectionRealignsToTheSample) {
    const std::vector<long> shifts = {
        3 * kFrame, -2 * kFrame + kSample,   517 * kSample, -1 * kSample, kSample, -1100 * kSample,
        0,          2 * kFrame + 3 * kSample};
    const uint32_t first = 40, end = 201;
    for (int setting : {2, 1, 0}) {
        FakeDrive drive(260);
        drive.m_shifts = shifts;
        drive.m_wantsJitter = setting == 0;
        secureread::Settings settings;
        settings.jitterCorrection = setting;
        ReadRun run = Read(drive, first, end, settings);
        SCOPED_TRACE("JitterCorrection " + std::to_string(setting));
        ASSERT_TRUE(run.result.Ok()) << static_cast<int>(run.result.outcome);
        EXPECT_EQ(setting != 1, run.report.jitterCorrection);
        EXPECT_EQ(end - first, run.report.framesDelivered);
        long differs = FirstDifferentFrame(drive.Frames(first, end), run.pcm);
        if (setting == 1) {
            EXPECT_NE(-1, differs) << "without correction the shifted reads must show";
            continue;
        }
        EXPECT_EQ(-1, differs);
        // After the first block every read starts 3 frames before the next frame it needs.
        ASSERT_GT(drive.m_reads.size(), 2u);
        EXPECT_EQ(first, drive.m_reads[0].lba);
        EXPECT_EQ(first + 27 - 3, drive.m_reads[1].lba);
        EXPECT_EQ(end, drive.m_reads.back().lba + drive.m_reads.back().count);
    }
}

TEST(SecureRead, JitterEdges) {
    secureread::Settings settings;
    settings.jitterCorrection = 2;
    {
        // The drive started late on the final block: the last frame's missing tail is silence.
        FakeDrive drive(100);
        drive.m_shifts = {5 * kSample};
        drive.m_shiftLastBlockLate = true;
        ReadRun run = Read(drive, 0, 40, settings);
        ASSERT_TRUE(run.result.Ok());
        std::vector<uint8_t> expected = drive.Frames(0, 40);
        memset(expected.data() + expected.size() - 5 * kSample, 0, 5 * kSample);
        EXPECT_EQ(-1, FirstDifferentFrame(expected, run.pcm));
    }
    {
        // Further off than the search reaches: the read stops rather than guess.
        FakeDrive drive(100);
        drive.m_shifts = {3 * kFrame + kSample};
        ReadRun run = Read(drive, 0, 80, settings);
        EXPECT_EQ(Outcome::SyncLost, run.result.outcome);
        EXPECT_EQ(27u, run.report.framesDelivered);
    }
}

TEST(SecureRead, RetriesRecoverAFrameThatFailsAFewTimes) {
    for (int retries : {0, 1, 2, 5}) {
        FakeDrive drive(100);
        drive.Fail(30, 2);
        secureread::Settings settings;
        settings.readRetry = retries;
        ReadRun run = Read(drive, 0, 60, settings);
        SCOPED_TRACE("ReadRetry " + std::to_string(retries));
        if (retries < 2) {
            EXPECT_EQ(Outcome::DriveError, run.result.outcome);
            EXPECT_EQ(kReadErrorCode, run.result.drive.code);
            EXPECT_EQ(0x31100, run.result.drive.subCode);
            EXPECT_EQ(27u, run.report.framesDelivered) << "the block before the bad one";
            continue;
        }
        ASSERT_TRUE(run.result.Ok());
        EXPECT_EQ(-1, FirstDifferentFrame(drive.Frames(0, 60), run.pcm));
        EXPECT_EQ(2u * 27, run.report.framesReread);
        EXPECT_TRUE(run.report.silencedFrames.empty());
        EXPECT_EQ(60u, drive.m_postRead);
    }
}

TEST(SecureRead, UnreadableFramesBecomeSilenceOnlyWithErrorMode) {
    for (int errorMode : {1, 0}) {
        FakeDrive drive(100);
        drive.Fail(30, -1);
        drive.Fail(52, -1, 8); // a blank check counts as unreadable too
        secureread::Settings settings;
        settings.errorMode = errorMode;
        settings.readRetry = 2;
        ReadRun run = Read(drive, 0, 70, settings);
        SCOPED_TRACE("ErrorMode " + std::to_string(errorMode));
        if (!errorMode) {
            EXPECT_EQ(Outcome::DriveError, run.result.outcome);
            EXPECT_EQ(3, run.result.drive.senseKey);
            EXPECT_EQ(1u + 3, drive.m_reads.size()) << "the first block, then 1 + ReadRetry attempts";
            continue;
        }
        ASSERT_TRUE(run.result.Ok());
        std::vector<uint8_t> expected = drive.Frames(0, 70);
        memset(expected.data() + 30 * kFrameBytes, 0, kFrameBytes);
        memset(expected.data() + 52 * kFrameBytes, 0, kFrameBytes);
        EXPECT_EQ(-1, FirstDifferentFrame(expected, run.pcm));
        EXPECT_EQ((std::vector<uint32_t>{30, 52}), run.report.silencedFrames);
        // Both lie in the block of frames 27-53: two further attempts of it, then each of its
        // 27 frames once.
        EXPECT_EQ(2u * 27 + 27, run.report.framesReread);
    }
    // Any other failure is not the medium's: the read stops even with ErrorMode 1.
    FakeDrive drive(100);
    drive.Fail(30, -1, 5);
    secureread::Settings settings;
    settings.errorMode = 1;
    ReadRun run = Read(drive, 0, 70, settings);
    EXPECT_EQ(Outcome::DriveError, run.result.outcome);
    EXPECT_EQ(5, run.result.drive.senseKey);
}

TEST(SecureRead, StopsAfterTheCurrentBlock) {
    secureread::Settings settings;
    {
        FakeDrive drive(200);
        ReadRun run = Read(drive, 0, 150, settings, 2);
        EXPECT_EQ(Outcome::Aborted, run.result.outcome);
        EXPECT_EQ(2u * 27, run.report.framesDelivered) << "the sink's refusal";
        EXPECT_EQ(2u, drive.m_reads.size());
    }
    {
        FakeDrive drive(200);
        drive.m_abortAfterReads = 3;
        ReadRun run = Read(drive, 0, 150, settings);
        EXPECT_EQ(Outcome::Aborted, run.result.outcome);
        EXPECT_EQ(3u * 27, run.report.framesDelivered) << "the abort flag";
    }
}

} // namespace
