#include "MmcDevice.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <sstream>

namespace cdbench {

namespace {

void PutBe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void PutBe32(uint8_t* p, uint32_t v) {
    PutBe16(p, v >> 16);
    PutBe16(p + 2, v);
}

uint32_t Be16(const uint8_t* p) {
    return p[0] << 8 | p[1];
}
uint32_t Be24(const uint8_t* p) {
    return p[0] << 16 | p[1] << 8 | p[2];
}
uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | Be24(p + 1);
}

// Copies an answer built in full into the caller's allocation.
uint32_t Deliver(const std::vector<uint8_t>& answer, uint32_t allocation, uint8_t* data, uint32_t dataLen) {
    uint32_t n = std::min<uint32_t>({static_cast<uint32_t>(answer.size()), allocation, dataLen});
    // An empty transfer may come with no buffer at all.
    if (n > 0)
        memcpy(data, answer.data(), n);
    return n;
}

void PutAddress(uint8_t* p, int32_t lba, bool msf) {
    if (!msf) {
        PutBe32(p, static_cast<uint32_t>(lba));
        return;
    }
    int32_t value = lba + 150;
    p[0] = 0;
    p[1] = static_cast<uint8_t>(value / 4500);
    p[2] = static_cast<uint8_t>(value / 75 % 60);
    p[3] = static_cast<uint8_t>(value % 75);
}

bool ParseHexByte(const std::string& word, uint8_t& out) {
    char* end = nullptr;
    unsigned long value = strtoul(word.c_str(), &end, 16);
    if (word.empty() || *end || value > 0xFF)
        return false;
    out = static_cast<uint8_t>(value);
    return true;
}

std::string Padded(const std::string& text, size_t width) {
    std::string out = text.substr(0, width);
    out.resize(width, ' ');
    return out;
}

} // namespace

std::string HexBytes(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

bool DriveConfig::Parse(const std::string& text, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(lines, line)) {
        ++lineNo;
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string key;
        if (!(words >> key))
            continue;
        std::string rest;
        std::getline(words >> std::ws, rest);
        while (!rest.empty() && (rest.back() == '\r' || rest.back() == ' '))
            rest.pop_back();
        std::istringstream args(rest);
        std::string a, b, c;
        args >> a >> b >> c;
        bool ok = true;
        if (key == "vendor") {
            vendor = rest;
        } else if (key == "product") {
            product = rest;
        } else if (key == "revision") {
            revision = rest;
        } else if (key == "device-type") {
            deviceType = static_cast<uint8_t>(atoi(a.c_str()));
            ok = deviceType < 0x20;
        } else if (key == "speed") {
            maxSpeed = static_cast<uint16_t>(atoi(a.c_str()));
            ok = maxSpeed > 0;
        } else if (key == "no-page") {
            uint8_t page = 0;
            ok = ParseHexByte(a, page);
            missingPages.push_back(page);
        } else if (key == "untouched" || key == "refuse") {
            OpMatch match;
            uint8_t field = 0;
            ok = ParseHexByte(a, match.opcode) && (b.empty() || ParseHexByte(b, field));
            if (!b.empty())
                match.fieldByte = field;
            (key == "untouched" ? untouched : refused).push_back(match);
        } else if (key == "medium-error" || key == "blank-check") {
            FrameFault fault;
            fault.senseKey = key == "medium-error" ? 3 : 8;
            ok = sscanf(a.c_str(), "%d", &fault.first) == 1;
            size_t dash = a.find('-', 1);
            fault.last = dash == std::string::npos ? fault.first : atoi(a.c_str() + dash + 1);
            fault.attempts = b.empty() ? -1 : atoi(b.c_str());
            ok = ok && fault.last >= fault.first;
            frameFaults.push_back(fault);
        } else if (key == "jitter") {
            jitter = atoi(a.c_str());
            seed = b.empty() ? 1 : static_cast<uint32_t>(strtoul(b.c_str(), nullptr, 10));
            // The model shifts within the frames on either side: at most a frame of samples.
            ok = jitter >= 0 && jitter <= static_cast<int>(kFrameBytes / 4);
        } else if (key == "media-changed") {
            mediaChanged = a.empty() ? 1 : atoi(a.c_str());
        } else if (key == "write-speed") {
            maxWriteSpeed = static_cast<uint16_t>(atoi(a.c_str()));
            ok = maxWriteSpeed > 0;
        } else if (key == "capacity") {
            capacity = a.find(':') == std::string::npos ? atoi(a.c_str()) * 60 * 75 : ParseCueTime(a);
            ok = capacity > 0;
        } else if (key == "underrun" || key == "write-error") {
            WriteFault fault;
            fault.underrun = key == "underrun";
            fault.sense = fault.underrun ? Sense{3, 0x0C, 0x09} : Sense{3, 0x0C, 0x00};
            std::string d;
            args >> d;
            ok = sscanf(a.c_str(), "%d", &fault.frame) == 1 && fault.frame >= 0;
            if (!fault.underrun && !b.empty())
                ok = ok && ParseHexByte(b, fault.sense.key) && ParseHexByte(c, fault.sense.asc) &&
                     ParseHexByte(d, fault.sense.ascq);
            writeFaults.push_back(fault);
        } else if (key == "late" || key == "hang") {
            Delay delay;
            ok = ParseHexByte(a, delay.opcode);
            delay.milliseconds = key == "hang" ? -1 : atoi(b.c_str());
            ok = ok && (key == "hang" || delay.milliseconds > 0);
            delays.push_back(delay);
        } else {
            ok = false;
        }
        if (!ok) {
            error = "line " + std::to_string(lineNo) + ": cannot read \"" + line + "\"";
            return false;
        }
    }
    return true;
}

int DriveConfig::DelayFor(uint8_t opcode) const {
    for (const Delay& delay : delays)
        if (delay.opcode == opcode)
            return delay.milliseconds;
    return 0;
}

// Where a blank disc's lead-in starts: 97:27:00 on the disc's clock.
constexpr int32_t kLeadInStart = (97 * 60 + 27) * 75 - 450150;
constexpr int32_t kPregap = 150;
constexpr uint32_t kSubchannelBytes = 96;

struct WriteSession {
    bool test = false;
    bool underrunProtection = false;
    bool text = false;
    std::vector<int32_t> index0; // per track: LBA of index 0, or -1
    std::vector<int32_t> index1;
    int32_t leadOut = 0;
    int32_t next = 0;                              // the LBA the next WRITE must start at
    std::map<uint8_t, std::vector<uint8_t>> packs; // by sequence number
    FILE* bin = nullptr;
    std::string binPath;
    ~WriteSession() {
        if (bin)
            fclose(bin);
    }
};

MmcDevice::MmcDevice(DriveConfig config) : m_config(std::move(config)), m_random(m_config.seed) {
    m_unitAttention = m_config.mediaChanged;
}

MmcDevice::~MmcDevice() = default;

void MmcDevice::InsertBlank(const std::string& outCue, bool announce) {
    Insert(nullptr, announce);
    m_session.reset();
    m_writer = true;
    m_recordable = Recordable::Blank;
    m_outCue = outCue;
}

void MmcDevice::Insert(std::shared_ptr<DiscImage> disc, bool announce) {
    m_disc = std::move(disc);
    m_recordable = Recordable::None;
    m_session.reset();
    if (announce)
        m_unitAttention = std::max(m_unitAttention, 1);
    m_blockLength = 2048;
}

CommandResult MmcDevice::Check(uint8_t key, uint8_t asc, uint8_t ascq) {
    CommandResult result;
    result.status = kStatusCheckCondition;
    result.sense = {key, asc, ascq};
    m_lastSense = result.sense;
    return result;
}

CommandResult MmcDevice::Execute(const uint8_t* cdb, size_t cdbLen, uint8_t* data, uint32_t dataLen) {
    uint8_t op = cdbLen ? cdb[0] : 0;
    // Parameter lists go into the log, the frames of a WRITE do not.
    bool dataOut = op == 0x15 || op == 0x55 || op == 0x5D;
    std::string entry = HexBytes(cdb, cdbLen);
    if (dataOut && dataLen)
        entry += " | " + HexBytes(data, dataLen);
    m_log.push_back(entry);

    if (cdbLen < 6)
        return Check(5, 0x20, 0);
    if (op != 0x12 && op != 0x03) {
        if (m_unitAttention > 0) {
            --m_unitAttention;
            return Check(6, 0x28, 0);
        }
        m_lastSense = Sense();
    }
    for (const DriveConfig::OpMatch& match : m_config.refused)
        if (match.opcode == op && (match.fieldByte < 0 || (cdbLen > 9 && cdb[9] == match.fieldByte)))
            return Check(5, 0x20, 0);

    bool needsDisc =
        op == 0x00 || op == 0x43 || op == 0x4B || op == 0xBE || op == 0x28 || op == 0xD8 || op == 0xD4;
    if ((needsDisc || op == 0x51) && !m_disc) {
        if (m_recordable == Recordable::None)
            return Check(2, 0x3A, 0);
        // A CD-R without a finished session has nothing to read yet.
        if (op != 0x00 && op != 0x51)
            return Check(5, 0x24, 0);
    }
    bool writing = op == 0x55 || op == 0x5D || op == 0x2A || op == 0x35;
    if (writing && !m_writer)
        return Check(5, 0x20, 0);

    switch (op) {
    case 0x00: // TEST UNIT READY
        return CommandResult();
    case 0x03:
        return RequestSense(cdb, data, dataLen);
    case 0x12:
        return Inquiry(cdb, data, dataLen);
    case 0x43:
        if (cdbLen < 10)
            return Check(5, 0x24, 0);
        return ReadToc(cdb, data, dataLen);
    case 0x5A:
        if (cdbLen < 10)
            return Check(5, 0x24, 0);
        return ModeSense(cdb, data, dataLen);
    case 0x15:
        return ModeSelect(cdb, data, dataLen);
    case 0xBB: // SET CD SPEED
        if (cdbLen < 12)
            return Check(5, 0x24, 0);
        m_readSpeed = static_cast<uint16_t>(Be16(cdb + 2));
        m_writeSpeed = static_cast<uint16_t>(Be16(cdb + 4));
        return CommandResult();
    case 0x51:
        if (cdbLen < 10)
            return Check(5, 0x24, 0);
        return ReadDiscInformation(cdb, data, dataLen);
    case 0x55:
        if (cdbLen < 10)
            return Check(5, 0x24, 0);
        return ModeSelect10(cdb, data, dataLen);
    case 0x5D:
        if (cdbLen < 10)
            return Check(5, 0x24, 0);
        return SendCueSheet(cdb, data, dataLen);
    case 0x2A:
        if (cdbLen < 10)
            return Check(5, 0x24, 0);
        return Write(cdb, data, dataLen);
    case 0x35:
        return CloseSession();
    case 0x4B: // PAUSE/RESUME
        return CommandResult();
    case 0xBE:
        if (cdbLen < 12)
            return Check(5, 0x24, 0);
        return Read(cdb, static_cast<int32_t>(Be32(cdb + 2)), Be24(cdb + 6), data, dataLen);
    case 0x28:
        if (cdbLen < 10)
            return Check(5, 0x24, 0);
        return Read(cdb, static_cast<int32_t>(Be32(cdb + 2)), Be16(cdb + 7), data, dataLen);
    case 0xD8:
        if (cdbLen < 12)
            return Check(5, 0x24, 0);
        return Read(cdb, static_cast<int32_t>(Be32(cdb + 2)), Be32(cdb + 6), data, dataLen);
    case 0xD4:
        if (cdbLen < 10)
            return Check(5, 0x24, 0);
        return Read(cdb, static_cast<int32_t>(Be32(cdb + 2)), Be16(cdb + 7), data, dataLen);
    default:
        return Check(5, 0x20, 0);
    }
}

CommandResult MmcDevice::RequestSense(const uint8_t* cdb, uint8_t* data, uint32_t dataLen) {
    std::vector<uint8_t> answer(18, 0);
    answer[0] = 0x70;
    answer[2] = m_lastSense.key;
    answer[7] = 10;
    answer[12] = m_lastSense.asc;
    answer[13] = m_lastSense.ascq;
    m_lastSense = Sense();
    CommandResult result;
    result.transferred = Deliver(answer, cdb[4], data, dataLen);
    return result;
}

CommandResult MmcDevice::Inquiry(const uint8_t* cdb, uint8_t* data, uint32_t dataLen) {
    std::vector<uint8_t> answer(36, 0);
    answer[0] = m_config.deviceType;
    answer[1] = 0x80; // removable
    answer[3] = 0x02;
    answer[4] = 31;
    std::string ids =
        Padded(m_config.vendor, 8) + Padded(m_config.product, 16) + Padded(m_config.revision, 4);
    memcpy(&answer[8], ids.data(), ids.size());
    CommandResult result;
    result.transferred = Deliver(answer, Be16(cdb + 3), data, dataLen);
    return result;
}

CommandResult MmcDevice::ReadToc(const uint8_t* cdb, uint8_t* data, uint32_t dataLen) {
    bool msf = (cdb[1] & 0x02) != 0;
    uint8_t format = cdb[2] & 0x0F;
    if (format == 0 && (cdb[9] & 0xC0))
        format = cdb[9] >> 6; // the older place of the format field
    const std::vector<DiscTrack>& tracks = m_disc->Tracks();
    std::vector<uint8_t> answer(4, 0);
    auto descriptor = [&](uint8_t control, uint8_t number, int32_t lba) {
        uint8_t d[8] = {0, static_cast<uint8_t>(0x10 | control), number, 0};
        PutAddress(d + 4, lba, msf);
        answer.insert(answer.end(), d, d + 8);
    };
    if (format == 0) {
        answer[2] = static_cast<uint8_t>(tracks.front().number);
        answer[3] = static_cast<uint8_t>(tracks.back().number);
        uint8_t from = cdb[6] ? cdb[6] : answer[2];
        if (from > answer[3] && from != 0xAA)
            return Check(5, 0x24, 0);
        for (const DiscTrack& track : tracks)
            if (track.number >= from && from != 0xAA)
                descriptor(track.audio ? 0x00 : 0x04, static_cast<uint8_t>(track.number), track.start);
        descriptor(0x00, 0xAA, m_disc->LeadOut());
    } else if (format == 1) {
        const DiscTrack& last = *std::find_if(tracks.begin(), tracks.end(), [&](const DiscTrack& t) {
            return t.session == tracks.back().session;
        });
        answer[2] = 1;
        answer[3] = static_cast<uint8_t>(tracks.back().session);
        descriptor(last.audio ? 0x00 : 0x04, static_cast<uint8_t>(last.number), last.start);
    } else if (format == 5) {
        std::vector<uint8_t> packs = BuildCdTextPacks(*m_disc);
        answer.insert(answer.end(), packs.begin(), packs.end());
    } else {
        return Check(5, 0x24, 0);
    }
    PutBe16(&answer[0], static_cast<uint32_t>(answer.size() - 2));
    CommandResult result;
    result.transferred = Deliver(answer, Be16(cdb + 7), data, dataLen);
    return result;
}

CommandResult MmcDevice::ModeSense(const uint8_t* cdb, uint8_t* data, uint32_t dataLen) {
    uint8_t wanted = cdb[2] & 0x3F;
    std::vector<uint8_t> answer(8, 0);
    auto page = [&](std::vector<uint8_t> bytes) {
        uint8_t code = bytes[0];
        if ((wanted != 0x3F && wanted != code) ||
            std::find(m_config.missingPages.begin(), m_config.missingPages.end(), code) !=
                m_config.missingPages.end())
            return;
        bytes[1] = static_cast<uint8_t>(bytes.size() - 2);
        answer.insert(answer.end(), bytes.begin(), bytes.end());
    };
    // Read error recovery: five retries.
    page({0x01, 0, 0x00, 0x05, 0, 0, 0, 0, 0, 0, 0, 0});
    // CD device parameters: 60 seconds per MSF minute, 75 frames per second.
    page({0x0D, 0, 0, 0x0D, 0, 0x3C, 0, 0x4B});
    std::vector<uint8_t> caps(22, 0);
    caps[0] = 0x2A;
    caps[2] = 0x03; // reads CD-R, CD-RW
    caps[4] = 0x71; // audio play, multisession
    caps[5] = 0x03; // CD-DA commands, accurate stream
    caps[6] = 0x29; // tray, eject, lock
    caps[7] = 0x03; // separate volume and mute
    PutBe16(&caps[8], m_config.maxSpeed);
    PutBe16(&caps[10], 256);
    PutBe16(&caps[12], 2048); // buffer, kB
    PutBe16(&caps[14], std::min<uint32_t>(m_readSpeed, m_config.maxSpeed));
    if (m_writer) {
        // Writes CD-R and CD-RW, test writes, buffer-underrun protection; the write speeds
        // from the fastest down.
        caps[3] = 0x07;
        caps[4] |= 0x80;
        std::vector<uint16_t> speeds{m_config.maxWriteSpeed};
        for (int factor : {32, 24, 16, 8, 4})
            if (factor * 1764 / 10 < speeds.back())
                speeds.push_back(static_cast<uint16_t>(factor * 1764 / 10));
        caps.resize(32 + 4 * speeds.size(), 0);
        PutBe16(&caps[18], m_config.maxWriteSpeed);
        uint16_t current = std::min(m_writeSpeed, m_config.maxWriteSpeed);
        PutBe16(&caps[20], current);
        PutBe16(&caps[28], current);
        PutBe16(&caps[30], static_cast<uint32_t>(speeds.size()));
        for (size_t i = 0; i < speeds.size(); ++i)
            PutBe16(&caps[32 + 4 * i + 2], speeds[i]);
    }
    page(caps);
    page({0x0E, 0, 0x04, 0, 0, 0, 0, 0, 0x01, 0xFF, 0x02, 0xFF, 0, 0, 0, 0});
    if (wanted != 0x3F && answer.size() == 8)
        return Check(5, 0x24, 0);
    PutBe16(&answer[0], static_cast<uint32_t>(answer.size() - 2));
    CommandResult result;
    result.transferred = Deliver(answer, Be16(cdb + 7), data, dataLen);
    return result;
}

CommandResult MmcDevice::ModeSelect(const uint8_t* cdb, const uint8_t* data, uint32_t dataLen) {
    uint32_t length = std::min<uint32_t>(cdb[4], dataLen);
    if (length < 4)
        return length == 0 ? CommandResult() : Check(5, 0x1A, 0);
    uint8_t descriptorBytes = data[3];
    if (descriptorBytes != 0 && descriptorBytes != 8)
        return Check(5, 0x26, 0);
    if (descriptorBytes == 8) {
        if (length < 12)
            return Check(5, 0x1A, 0);
        uint32_t block = Be24(data + 9);
        if (block != 2048 && block != 2352)
            return Check(5, 0x26, 0);
        m_blockLength = block;
    }
    CommandResult result;
    result.transferred = length;
    return result;
}

CommandResult MmcDevice::ReadDiscInformation(const uint8_t* cdb, uint8_t* data, uint32_t dataLen) {
    std::vector<uint8_t> answer(34, 0);
    PutBe16(&answer[0], 32);
    int tracks = m_disc ? static_cast<int>(m_disc->Tracks().size()) : 1;
    // Disc status and the state of its last session: empty, incomplete, or complete.
    answer[2] = m_recordable == Recordable::Blank        ? 0x00
                : m_recordable == Recordable::Unfinished ? 0x05
                                                         : 0x0E;
    answer[3] = 1;
    answer[4] = 1;
    answer[5] = 1;
    answer[6] = static_cast<uint8_t>(tracks);
    answer[7] = 0x20; // unrestricted use
    if (m_recordable == Recordable::Blank) {
        // Addresses in front of LBA -150 count on from 90 minutes.
        PutAddress(&answer[16], kLeadInStart + 450150 - kPregap, true);
        PutAddress(&answer[20], m_config.capacity, true);
    } else {
        memset(&answer[16], 0xFF, 8);
    }
    CommandResult result;
    result.transferred = Deliver(answer, Be16(cdb + 7), data, dataLen);
    return result;
}

CommandResult MmcDevice::ModeSelect10(const uint8_t* cdb, const uint8_t* data, uint32_t dataLen) {
    uint32_t length = std::min<uint32_t>(Be16(cdb + 7), dataLen);
    if (length < 8)
        return length == 0 ? CommandResult() : Check(5, 0x1A, 0);
    for (uint32_t at = 8 + Be16(data + 6); at + 2 <= length; at += 2 + data[at + 1]) {
        if ((data[at] & 0x3F) != 0x05)
            continue;
        if (at + 4 > length)
            return Check(5, 0x1A, 0);
        uint8_t type = data[at + 2] & 0x0F;
        // Only what an audio disc needs: disc-at-once of audio tracks, raw blocks.
        if (type != 2 || (data[at + 3] & 0x0F) != 0)
            return Check(5, 0x26, 0);
        m_writeParameters = data[at + 2];
    }
    CommandResult result;
    result.transferred = length;
    return result;
}

CommandResult MmcDevice::SendCueSheet(const uint8_t* cdb, const uint8_t* data, uint32_t dataLen) {
    if (m_recordable != Recordable::Blank)
        return Check(5, 0x30, 0x05); // cannot write the medium
    if ((m_writeParameters & 0x0F) != 2)
        return Check(5, 0x2C, 0);
    uint32_t size = std::min(Be24(cdb + 6), dataLen);
    if (size < 24 || size % 8)
        return Check(5, 0x1A, 0);
    auto session = std::make_unique<WriteSession>();
    auto time = [](const uint8_t* e) { return (e[5] * 60 + e[6]) * 75 + e[7] - kPregap; };
    auto fromBcd = [](uint8_t v) { return (v >> 4) * 10 + (v & 15); };
    const uint8_t* first = data;
    const uint8_t* last = data + size - 8;
    if (first[1] != 0 || (first[3] != 0x01 && first[3] != 0x41) || last[1] != 0xAA || last[3] != 0x01)
        return Check(5, 0x26, 0);
    session->text = first[3] == 0x41;
    for (const uint8_t* e = data + 8; e < last; e += 8) {
        int number = fromBcd(e[1]);
        bool newTrack = number == static_cast<int>(session->index1.size()) + 1;
        // Entries run from track 1 upwards; track 0 only opens the lead-in.
        if ((e[0] & 0xF0) != 0 || e[3] != 0x00 || e[2] > 1 || number == 0 ||
            (!newTrack && number != static_cast<int>(session->index1.size())))
            return Check(5, 0x26, 0);
        if (newTrack) {
            session->index0.push_back(-1);
            session->index1.push_back(-1);
        }
        (e[2] == 0 ? session->index0 : session->index1).back() = time(e);
    }
    session->leadOut = time(last);
    // Track 1 starts after the 2-second pregap; the tracks follow each other.
    int32_t previous = -1;
    for (size_t i = 0; i < session->index1.size(); ++i) {
        int32_t start = session->index0[i] >= 0 ? session->index0[i] : session->index1[i];
        if (session->index1[i] <= previous || start > session->index1[i] ||
            (i == 0 && session->index1[i] != 0) || (i > 0 && start <= previous))
            return Check(5, 0x26, 0);
        previous = session->index1[i];
    }
    if (session->index1.empty() || session->leadOut <= previous)
        return Check(5, 0x26, 0);
    if (session->leadOut > m_config.capacity)
        return Check(5, 0x21, 0);
    session->test = (m_writeParameters & 0x10) != 0;
    session->underrunProtection = (m_writeParameters & 0x40) != 0;
    session->next = session->text ? kLeadInStart : -kPregap;
    if (!session->test) {
        session->binPath = m_outCue.substr(0, m_outCue.find_last_of('.')) + ".bin";
        session->bin = fopen(session->binPath.c_str(), "wb");
        if (!session->bin)
            return Check(3, 0x0C, 0);
    }
    m_session = std::move(session);
    CommandResult result;
    result.transferred = size;
    return result;
}

void MmcDevice::SpoilSession() {
    if (m_session && !m_session->test)
        m_recordable = Recordable::Unfinished;
    m_session.reset();
}

CommandResult MmcDevice::Write(const uint8_t* cdb, const uint8_t* data, uint32_t dataLen) {
    if (!m_session)
        return Check(5, 0x2C, 0);
    WriteSession& session = *m_session;
    int32_t lba = static_cast<int32_t>(Be32(cdb + 2));
    uint32_t count = Be16(cdb + 7);
    if (lba != session.next)
        return Check(5, 0x21, 0x02);
    // Ranges are compared in 64 bits: a command's LBA and count are the host's to choose.
    const int64_t end = int64_t{lba} + count;
    bool leadIn = lba < -kPregap;
    if ((leadIn && end > -kPregap) || end > session.leadOut)
        return Check(5, 0x21, 0x02);
    uint32_t blockBytes = leadIn ? kSubchannelBytes : kFrameBytes;
    if (dataLen < count * blockBytes)
        return Check(5, 0x24, 0);
    for (const DriveConfig::WriteFault& fault : m_config.writeFaults) {
        if (leadIn || fault.frame < lba || fault.frame >= end)
            continue;
        if (fault.underrun && session.underrunProtection)
            continue; // the drive waits for data and links up where it stopped
        SpoilSession();
        return Check(fault.sense.key, fault.sense.asc, fault.sense.ascq);
    }
    if (leadIn) {
        // Four packs per block, each 24 symbols of six bits.
        for (uint32_t p = 0; p < count * 4; ++p) {
            std::vector<uint8_t> pack(18, 0);
            for (int bit = 0; bit < 144; ++bit)
                if (data[p * 24 + bit / 6] >> (5 - bit % 6) & 1)
                    pack[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
            if (CdTextCrc(pack.data()) == Be16(&pack[16]))
                session.packs.emplace(pack[2], pack);
        }
    } else if (session.bin) {
        // The pregap in front of track 1 is silence that no image keeps.
        const int64_t skip = std::max<int64_t>(0, -int64_t{lba});
        if (skip < count) {
            const size_t bytes = static_cast<size_t>(count - skip) * kFrameBytes;
            if (fwrite(data + skip * kFrameBytes, 1, bytes, session.bin) != bytes) {
                SpoilSession();
                return Check(3, 0x0C, 0);
            }
        }
        m_recordable = Recordable::Unfinished; // until the session is closed
    }
    session.next = static_cast<int32_t>(end);
    CommandResult result;
    result.transferred = count * blockBytes;
    return result;
}

CommandResult MmcDevice::CloseSession() {
    if (!m_session)
        return CommandResult();
    if (m_session->next != m_session->leadOut) {
        SpoilSession();
        return Check(5, 0x2C, 0);
    }
    if (m_session->test) {
        m_session.reset();
        return CommandResult();
    }
    std::unique_ptr<WriteSession> session = std::move(m_session);
    fclose(session->bin);
    session->bin = nullptr;
    // The packs of one cycle, in sequence from 0.
    std::vector<uint8_t> packs;
    for (uint8_t sequence = 0; session->packs.count(sequence); ++sequence) {
        packs.insert(packs.end(), session->packs[sequence].begin(), session->packs[sequence].end());
        if (sequence == 255)
            break;
    }
    std::map<int, std::string> titles = CdTextStrings(packs, 0x80);
    std::map<int, std::string> performers = CdTextStrings(packs, 0x81);
    auto quoted = [](std::string text) {
        std::replace(text.begin(), text.end(), '"', '\'');
        return "\"" + text + "\"";
    };
    auto msf = [](int32_t frames) {
        char text[16];
        snprintf(text, sizeof(text), "%02d:%02d:%02d", frames / 4500, frames / 75 % 60, frames % 75);
        return std::string(text);
    };
    std::string cue = "REM written by the CD bench\n";
    auto texts = [&](int track, const char* indent) {
        if (titles.count(track) && !titles[track].empty())
            cue += indent + std::string("TITLE ") + quoted(titles[track]) + "\n";
        if (performers.count(track) && !performers[track].empty())
            cue += indent + std::string("PERFORMER ") + quoted(performers[track]) + "\n";
    };
    texts(0, "");
    std::string binName = session->binPath.substr(session->binPath.find_last_of("/\\") + 1);
    cue += "FILE " + quoted(binName) + " BINARY\n";
    for (size_t i = 0; i < session->index1.size(); ++i) {
        char line[32];
        snprintf(line, sizeof(line), "  TRACK %02d AUDIO\n", static_cast<int>(i + 1));
        cue += line;
        texts(static_cast<int>(i + 1), "    ");
        if (i > 0 && session->index0[i] >= 0)
            cue += "    INDEX 00 " + msf(session->index0[i]) + "\n";
        cue += "    INDEX 01 " + msf(session->index1[i]) + "\n";
    }
    FILE* file = fopen(m_outCue.c_str(), "wb");
    bool written = file && fwrite(cue.data(), 1, cue.size(), file) == cue.size();
    if (file)
        written = fclose(file) == 0 && written;
    auto disc = std::make_shared<DiscImage>();
    std::string error;
    if (!written || !disc->LoadCue(m_outCue, error)) {
        m_recordable = Recordable::Unfinished;
        return Check(3, 0x0C, 0);
    }
    disc->SetTextPacks(std::move(packs));
    m_disc = disc;
    m_recordable = Recordable::None;
    return CommandResult();
}

CommandResult MmcDevice::Read(const uint8_t* cdb, int32_t lba, uint32_t count, uint8_t* data,
                              uint32_t dataLen) {
    uint8_t op = cdb[0];
    const int64_t end = int64_t{lba} + count;
    if (lba < 0 || count > 0xFFFF || end > m_disc->LeadOut())
        return Check(5, 0x21, 0);
    // What each frame gives: bytes per frame and whether that is the raw frame.
    for (uint32_t i = 0; i < count; ++i) {
        const DiscTrack* track = m_disc->TrackAt(lba + static_cast<int32_t>(i));
        bool audio = !track || track->audio;
        if (op == 0xBE) {
            uint8_t type = (cdb[1] >> 2) & 7;
            if ((type == 1 && !audio) || (type >= 2 && audio))
                return Check(5, 0x64, 0);
        } else if (op == 0x28 && audio && m_blockLength != kFrameBytes) {
            return Check(5, 0x64, 0);
        }
    }
    for (DriveConfig::FrameFault& fault : m_config.frameFaults) {
        if (fault.attempts == 0 || fault.last < lba || fault.first >= end)
            continue;
        if (fault.attempts > 0)
            --fault.attempts;
        return fault.senseKey == 3 ? Check(3, 0x11, 0) : Check(8, 0x64, 0);
    }

    uint8_t fields = cdb[9];
    uint32_t c2Bytes = op == 0xBE ? (((fields >> 1) & 3) == 1 ? 294 : ((fields >> 1) & 3) == 2 ? 296 : 0) : 0;
    uint32_t subBytes = op == 0xBE ? ((cdb[10] & 7) == 1 || (cdb[10] & 7) == 4 ? 96
                                      : (cdb[10] & 7) == 2                     ? 16
                                                                               : 0)
                                   : 0;
    int shift = 0;
    if (m_config.jitter > 0) {
        m_random = m_random * 1103515245u + 12345u;
        shift = static_cast<int>((m_random >> 16) % (2 * m_config.jitter + 1)) - m_config.jitter;
    }

    for (const DriveConfig::OpMatch& match : m_config.untouched) {
        if (match.opcode == op && (match.fieldByte < 0 || match.fieldByte == fields)) {
            CommandResult result;
            result.transferred = dataLen;
            return result;
        }
    }

    std::vector<uint8_t> raw(kFrameBytes * 3);
    uint32_t written = 0;
    auto put = [&](const uint8_t* bytes, uint32_t n) {
        uint32_t room = dataLen - written;
        memcpy(data + written, bytes, std::min(n, room));
        written += std::min(n, room);
    };
    static const uint8_t kZeros[2352] = {};
    for (uint32_t i = 0; i < count && written < dataLen; ++i) {
        int32_t frame = lba + static_cast<int32_t>(i);
        const DiscTrack* track = m_disc->TrackAt(frame);
        bool audio = !track || track->audio;
        if (audio && shift != 0) {
            // A drive that lands a few samples off: the frame's bytes come from the audio
            // stream shifted by whole samples.
            for (int k = 0; k < 3; ++k) {
                int32_t f = frame - 1 + k;
                if (f < 0 || f >= m_disc->LeadOut())
                    memset(&raw[k * kFrameBytes], 0, kFrameBytes);
                else
                    m_disc->ReadRawFrame(f, &raw[k * kFrameBytes]);
            }
            memmove(&raw[0], &raw[kFrameBytes + shift * 4], kFrameBytes);
        } else {
            m_disc->ReadRawFrame(frame, &raw[0]);
        }
        if (op == 0x28 && !audio && m_blockLength == 2048) {
            m_disc->ReadUserData(frame, &raw[0]);
            put(&raw[0], 2048);
        } else if (op != 0xBE || audio) {
            if (op != 0xBE || (fields & 0xF8))
                put(&raw[0], kFrameBytes);
        } else {
            if (fields & 0x80)
                put(&raw[0], 12);
            uint8_t headers = (fields >> 5) & 3;
            if (headers == 1 || headers == 3)
                put(&raw[12], 4);
            if (fields & 0x10)
                put(&raw[16], 2048);
            if (fields & 0x08)
                put(&raw[16 + 2048], 288);
        }
        put(kZeros, c2Bytes);
        put(kZeros, subBytes);
    }
    CommandResult result;
    result.transferred = written;
    return result;
}

uint16_t CdTextCrc(const uint8_t* pack) {
    uint16_t crc = 0;
    for (int i = 0; i < 16; ++i) {
        crc ^= static_cast<uint16_t>(pack[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return static_cast<uint16_t>(~crc);
}

std::map<int, std::string> CdTextStrings(const std::vector<uint8_t>& packs, uint8_t type) {
    // A type's strings run on through its packs, each ended by a zero; a pack names the track
    // its first byte belongs to.
    std::map<int, std::string> texts;
    for (size_t at = 0; at + 18 <= packs.size(); at += 18) {
        const uint8_t* pack = &packs[at];
        if (pack[0] != type || CdTextCrc(pack) != Be16(pack + 16))
            continue;
        int track = pack[1] & 0x7F;
        for (int i = 4; i < 16; ++i) {
            if (pack[i])
                texts[track] += static_cast<char>(pack[i]);
            else
                texts[track++];
        }
    }
    return texts;
}

std::vector<uint8_t> BuildCdTextPacks(const DiscImage& disc) {
    if (!disc.TextPacks().empty())
        return disc.TextPacks();
    const std::vector<DiscTrack>& tracks = disc.Tracks();
    std::vector<uint8_t> packs;
    uint8_t sequence = 0;
    uint8_t counts[16] = {};
    auto addPack = [&](uint8_t type, uint8_t track, uint8_t position, const uint8_t* text) {
        uint8_t pack[18] = {type, track, sequence++, position};
        memcpy(pack + 4, text, 12);
        PutBe16(pack + 16, CdTextCrc(pack));
        packs.insert(packs.end(), pack, pack + 18);
        ++counts[type & 0x0F];
    };
    for (uint8_t type : {uint8_t(0x80), uint8_t(0x81)}) {
        std::vector<std::string> texts{type == 0x80 ? disc.Title() : disc.Performer()};
        bool any = !texts[0].empty();
        for (const DiscTrack& track : tracks) {
            texts.push_back(type == 0x80 ? track.title : track.performer);
            any = any || !texts.back().empty();
        }
        if (!any)
            continue;
        // The strings of disc and tracks run on through the packs, each ended by a zero; a
        // pack names the track whose text its first byte belongs to and how many of that
        // text's characters came before.
        std::vector<uint8_t> stream;
        std::vector<std::pair<uint8_t, uint32_t>> owner; // per byte: track, index in its text
        for (size_t i = 0; i < texts.size(); ++i) {
            uint8_t number = i == 0 ? 0 : static_cast<uint8_t>(tracks[i - 1].number);
            for (size_t k = 0; k <= texts[i].size(); ++k) {
                stream.push_back(k < texts[i].size() ? static_cast<uint8_t>(texts[i][k]) : 0);
                owner.emplace_back(number, static_cast<uint32_t>(k));
            }
        }
        stream.resize((stream.size() + 11) / 12 * 12, 0);
        for (size_t at = 0; at < stream.size(); at += 12) {
            std::pair<uint8_t, uint32_t> first = at < owner.size() ? owner[at] : owner.back();
            addPack(type, first.first, static_cast<uint8_t>(std::min<uint32_t>(first.second, 15)),
                    &stream[at]);
        }
    }
    if (packs.empty())
        return packs;
    uint8_t info[36] = {};
    info[0] = 0x00; // ISO 8859-1
    info[1] = static_cast<uint8_t>(tracks.front().number);
    info[2] = static_cast<uint8_t>(tracks.back().number);
    counts[0x0F] = 3;
    memcpy(info + 4, counts, 16);
    info[20] = static_cast<uint8_t>(sequence + 2); // last sequence number of block 0
    info[28] = 0x09;                               // English
    for (uint8_t i = 0; i < 3; ++i)
        addPack(0x8F, i, 0, info + 12 * i);
    return packs;
}

} // namespace cdbench
