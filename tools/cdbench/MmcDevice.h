// A CD-ROM drive as a SCSI target: multimedia commands in, status, data and sense out, over
// plain bytes so that it builds without Windows headers. The bench's ASPI manager and the
// tests' pass-through port both put it behind their own interfaces.
#pragma once

#include "DiscImage.h"

#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace cdbench {

constexpr uint8_t kStatusGood = 0x00;
constexpr uint8_t kStatusCheckCondition = 0x02;

struct Sense {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

struct CommandResult {
    uint8_t status = kStatusGood;
    uint32_t transferred = 0; // data bytes moved in either direction
    Sense sense;
};

// How a drive behaves, from a small text file, one setting a line ('#' starts a comment):
//   vendor TEXT | product TEXT | revision TEXT   inquiry strings (padded with blanks)
//   device-type N              the peripheral type it reports (default 5, CD-ROM)
//   speed KBPS                 maximum read speed in mode page 2Ah (default 7056)
//   no-page HH                 leave mode page HH out of MODE SENSE
//   untouched OP [HH]          the read command OP "succeeds" without writing the buffer;
//                              for BEh, HH restricts it to that field byte (byte 9)
//   refuse OP [HH]             OP ends in ILLEGAL REQUEST, invalid command operation code
//   medium-error A[-B] [K]     frames A..B fail with sense key 3 (all reads, or the first K)
//   blank-check A[-B] [K]      the same with sense key 8
//   jitter N [SEED]            each read starts up to N samples (588 at most) early or late
//   media-changed [K]          the first K commands see UNIT ATTENTION, medium changed
//   late OP MS                 OP completes MS milliseconds after it was accepted (keep MS
//                              below the caller's time-out: the answer lands in its request)
//   hang OP                    OP never completes
// A drive that starts with a blank CD-R (InsertBlank) is a writer; these shape its disc and
// its writing:
//   write-speed KBPS           fastest write speed in page 2Ah (default 7056, 40x)
//   capacity TIME              what the blank disc holds, in minutes or MM:SS:FF (default 80)
//   underrun N                 the buffer runs empty when the writing reaches frame N (LBA):
//                              the WRITE fails (3/0C/09) unless buffer-underrun protection
//                              (page 05h, BUFE) is on, which lets the drive go on
//   write-error N [K ASC ASCQ] the WRITE that reaches frame N fails with that sense (hex;
//                              default 3 0C 00); the disc is then spoilt
struct DriveConfig {
    struct OpMatch {
        uint8_t opcode = 0;
        int fieldByte = -1;
    };
    struct FrameFault {
        int32_t first = 0;
        int32_t last = 0;
        uint8_t senseKey = 3;
        int attempts = -1; // failing reads left; -1 = every read
    };
    struct Delay {
        uint8_t opcode = 0;
        int milliseconds = 0; // -1 = never
    };
    struct WriteFault {
        int32_t frame = 0;
        bool underrun = true;
        Sense sense;
    };

    std::string vendor = "TRELVOX";
    std::string product = "VIRTUAL CD-ROM";
    std::string revision = "1.00";
    uint8_t deviceType = 5;
    uint16_t maxSpeed = 7056;
    std::vector<uint8_t> missingPages;
    std::vector<OpMatch> untouched;
    std::vector<OpMatch> refused;
    std::vector<FrameFault> frameFaults;
    int jitter = 0;
    uint32_t seed = 1;
    int mediaChanged = 0;
    std::vector<Delay> delays;
    uint16_t maxWriteSpeed = 7056;
    int32_t capacity = 80 * 60 * 75; // frames from LBA 0 to the last possible lead-out
    std::vector<WriteFault> writeFaults;

    // Adds the settings of text; false with "line N: ..." on a line it cannot read.
    bool Parse(const std::string& text, std::string& error);
    // 0: completes at once; > 0: after that many milliseconds; -1: never.
    int DelayFor(uint8_t opcode) const;
};

// A disc-at-once recording in progress (MmcDevice.cpp).
struct WriteSession;

class MmcDevice {
public:
    explicit MmcDevice(DriveConfig config = DriveConfig());
    ~MmcDevice();
    MmcDevice(const MmcDevice&) = delete;
    MmcDevice& operator=(const MmcDevice&) = delete;

    // Puts a disc in (null: takes it out). A change the host should notice makes the next
    // command see UNIT ATTENTION; a disc that was in the drive from the start does not.
    void Insert(std::shared_ptr<DiscImage> disc, bool announce = true);
    // Puts a blank CD-R in and makes the drive a CD-R writer: page 05h, SEND CUE SHEET (audio
    // tracks, disc-at-once), the lead-in's CD-Text (R-W subchannel packs, 96-byte blocks),
    // WRITE(10) of 2352-byte frames from track 1's pregap on, in order, and SYNCHRONIZE
    // CACHE, which closes the session: the frames from LBA 0 on then go to outCue's .bin
    // (same name, extension .bin), outCue gets the cue sheet with the CD-Text titles and
    // performers, and the drive holds that disc. A test write leaves the disc blank and
    // writes no file.
    void InsertBlank(const std::string& outCue, bool announce = true);
    const DiscImage* Disc() const { return m_disc.get(); }
    const DriveConfig& Config() const { return m_config; }

    // Runs one command. data holds dataLen bytes: the parameter list of a data-out command,
    // or room for the answer of a data-in command.
    CommandResult Execute(const uint8_t* cdb, size_t cdbLen, uint8_t* data, uint32_t dataLen);

    // Every command received, as hex bytes ("BE 00 ..."), with a data-out command's
    // parameter list after " | ".
    const std::vector<std::string>& Log() const { return m_log; }
    void ClearLog() { m_log.clear(); }
    uint32_t BlockLength() const { return m_blockLength; }
    uint16_t ReadSpeed() const { return m_readSpeed; }

private:
    CommandResult Check(uint8_t key, uint8_t asc, uint8_t ascq);
    CommandResult Inquiry(const uint8_t* cdb, uint8_t* data, uint32_t dataLen);
    CommandResult ReadToc(const uint8_t* cdb, uint8_t* data, uint32_t dataLen);
    CommandResult ModeSense(const uint8_t* cdb, uint8_t* data, uint32_t dataLen);
    CommandResult ModeSelect(const uint8_t* cdb, const uint8_t* data, uint32_t dataLen);
    CommandResult RequestSense(const uint8_t* cdb, uint8_t* data, uint32_t dataLen);
    // One read command of any kind; frameBytes tells how many bytes each frame gives and
    // fill writes them.
    CommandResult Read(const uint8_t* cdb, int32_t lba, uint32_t count, uint8_t* data, uint32_t dataLen);
    CommandResult ReadDiscInformation(const uint8_t* cdb, uint8_t* data, uint32_t dataLen);
    CommandResult ModeSelect10(const uint8_t* cdb, const uint8_t* data, uint32_t dataLen);
    CommandResult SendCueSheet(const uint8_t* cdb, const uint8_t* data, uint32_t dataLen);
    CommandResult Write(const uint8_t* cdb, const uint8_t* data, uint32_t dataLen);
    CommandResult CloseSession();
    // Ends the recording in progress: a real one leaves an unfinished disc behind.
    void SpoilSession();

    // A CD-R in the drive without a finished session (m_disc is then null).
    enum class Recordable { None, Blank, Unfinished };

    DriveConfig m_config;
    std::shared_ptr<DiscImage> m_disc;
    std::vector<std::string> m_log;
    Sense m_lastSense;
    int m_unitAttention = 0;
    uint32_t m_blockLength = 2048;
    uint16_t m_readSpeed = 0xFFFF;
    uint32_t m_random;
    bool m_writer = false;
    Recordable m_recordable = Recordable::None;
    std::string m_outCue;
    uint16_t m_writeSpeed = 0xFFFF;
    uint8_t m_writeParameters = 0; // page 05h byte 2: BUFE, test write, write type
    std::unique_ptr<WriteSession> m_session;
};

std::string HexBytes(const uint8_t* bytes, size_t count);

// The CD-Text packs of a disc (titles and performers, then the size information), 18 bytes
// each with their CRC; empty when the disc has no text.
std::vector<uint8_t> BuildCdTextPacks(const DiscImage& disc);
// CRC-16 of a CD-Text pack's first 16 bytes (polynomial 1021h, inverted).
uint16_t CdTextCrc(const uint8_t* pack);
// The strings of one text type (80h titles, 81h performers, ...) in packs: by track, 0 the
// disc. Packs with a bad CRC are left out.
std::map<int, std::string> CdTextStrings(const std::vector<uint8_t>& packs, uint8_t type);

} // namespace cdbench
