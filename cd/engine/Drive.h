// One CD device of a host adapter: its identity (INQUIRY), its capabilities (mode page 2Ah)
// and the reading side: table of contents, CD-Text, read speed, block size and frame reads.
// Commands on one Drive come from one thread at a time; SetAbortEvent's event may be set
// from any thread.
#pragma once

#include "DiscLayout.h"
#include "EngineStatus.h"
#include "ScsiTransport.h"

#include <windows.h>

#include <stdint.h>

#include <string>

namespace cdengine {

constexpr uint32_t kDataFrameBytes = 2048;

// Capability flags (CapabilityFlags), from mode page 2Ah.
constexpr uint32_t kCapCdda = 0x1;           // reads CD-DA with READ CD
constexpr uint32_t kCapAccurateStream = 0x2; // audio reads start exactly where asked
constexpr uint32_t kCapReadCdr = 0x4;
constexpr uint32_t kCapReadCdrw = 0x8;
constexpr uint32_t kCapC2Pointers = 0x10;
constexpr uint32_t kCapCdText = 0x20; // returns R-W subchannel data (CD-Text)

// Writer flags (WriterFlags), from mode page 2Ah; zero for a device that does not write.
constexpr uint32_t kWriteCdrw = 0x1;
constexpr uint32_t kWriteCdr = 0x2;
constexpr uint32_t kWriteTest = 0x200;
constexpr uint32_t kWriteBurnProof = 0x400;

class Drive {
public:
    // inquiry holds at least 36 bytes of the device's INQUIRY answer. maxFrames is the most
    // frames one read command moves.
    Drive(const ScsiAddress& address, const uint8_t* inquiry, uint32_t maxFrames, bool retryUnitAttention);
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;

    uint8_t Type() const { return m_type; } // 5 CD-ROM, 4 write-once
    // The INQUIRY strings without their trailing blanks.
    const std::string& Vendor() const { return m_vendor; }
    const std::string& Product() const { return m_product; }
    const std::string& Revision() const { return m_revision; }
    int HostAdapter() const { return m_address.adapter; }
    int Target() const { return m_address.target; }
    int Lun() const { return m_address.lun; }
    const ScsiAddress& Address() const { return m_address; }

    // MODE SENSE of page 2Ah; done at start when the engine was asked to, else on first use.
    Status ReadCapabilities() const;
    uint32_t CapabilityFlags() const;
    uint32_t WriterFlags() const;
    // kB/s from page 2Ah, 0 when the drive does not tell.
    uint32_t MaxReadSpeed() const;

    // The table of contents; with text, the disc's CD-Text as well (left empty when the
    // drive has none).
    Status ReadLayout(DiscLayout& layout, bool text = false);

    // In multiples of the audio speed (1 = 176 kB/s); -1: the drive's fastest.
    Status SetReadSpeed(int speed);
    // 2352 for audio, 2048 for data.
    Status SetBlockSize(uint32_t bytes);
    // count frames of 2352 bytes from lba into out, in commands of at most MaxFrames() frames.
    // A failed command gives kErrRead with the drive's sense.
    Status ReadFrames(uint32_t lba, uint32_t count, void* out);
    uint32_t MaxFrames() const { return m_maxFrames; }
    // What every successfully read block goes through: drives that deliver big-endian
    // samples get them swapped (SetSwapBytes).
    void PostRead(void* data, uint32_t frames);
    void SetSwapBytes(bool swap) { m_swapBytes = swap; }
    // The drive cannot be trusted to start an audio read at the exact frame.
    bool WantsJitterCorrection() const;

    // null clears it. The event is not owned.
    void SetAbortEvent(HANDLE event) { m_abortEvent = event; }
    bool AbortRequested() const;

    // Sends command, once more after a UNIT ATTENTION when allowed; failures become
    // failCode with the sense as sub-code. The writing side (Recorder.h) sends its commands
    // through it too.
    Status Run(ScsiCommand& command, int failCode) const;

private:
    ScsiAddress m_address;
    uint8_t m_type = 5;
    std::string m_vendor;
    std::string m_product;
    std::string m_revision;
    uint32_t m_maxFrames = 27;
    bool m_retryUnitAttention = true;
    // Page 2Ah as read on first use.
    mutable bool m_capabilitiesRead = false;
    mutable uint8_t m_page2A[32] = {};
    bool m_swapBytes = false;
    HANDLE m_abortEvent = nullptr;
};

} // namespace cdengine
