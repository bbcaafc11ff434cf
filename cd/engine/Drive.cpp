#include "Drive.h"

#include "Trace.h"

#include <string.h>

#include <algorithm>
#include <vector>

namespace cdengine {

namespace {

constexpr uint8_t kSenseUnitAttention = 6;

std::string InquiryString(const uint8_t* bytes, size_t length) {
    std::string text(reinterpret_cast<const char*>(bytes), length);
    text.resize(strnlen(text.c_str(), length));
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

int SenseCode(const ScsiResult& result) {
    return result.senseKey << 16 | result.asc << 8 | result.ascq;
}

void PutBe32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

} // namespace

Drive::Drive(const ScsiAddress& address, const uint8_t* inquiry, uint32_t maxFrames, bool retryUnitAttention)
    : m_address(address), m_type(inquiry[0] & 0x1F), m_vendor(InquiryString(inquiry + 8, 8)),
      m_product(InquiryString(inquiry + 16, 16)), m_revision(InquiryString(inquiry + 32, 4)),
      m_maxFrames(maxFrames ? maxFrames : 1), m_retryUnitAttention(retryUnitAttention) {}

Status Drive::Run(ScsiCommand& command, int failCode) const {
    ScsiResult result;
    for (int attempt = 0; attempt < 2; ++attempt) {
        result = transport::Execute(m_address, command);
        if (result.ok())
            return Status();
        if (result.senseKey == 0 && result.asc == 0) {
            // A manager that does not hand sense back with the request: ask the drive.
            uint8_t sense[18] = {};
            ScsiCommand request({0x03, 0, 0, 0, sizeof(sense), 0}, 6);
            request.buffer = sense;
            request.bufferLength = sizeof(sense);
            if (transport::Execute(m_address, request).ok()) {
                result.senseKey = sense[2] & 0x0F;
                result.asc = sense[12];
                result.ascq = sense[13];
            }
        }
        if (result.senseKey != kSenseUnitAttention || !m_retryUnitAttention)
            break;
    }
    TX_TRACE(cd, "%d:%d:%d command %02X failed: status %02X, sense %X/%02X/%02X", m_address.adapter,
             m_address.target, m_address.lun, command.cdb[0], result.status, result.senseKey, result.asc,
             result.ascq);
    return Status{failCode, SenseCode(result)};
}

Status Drive::ReadCapabilities() const {
    uint8_t answer[8 + sizeof(m_page2A)];
    memset(answer, 0, sizeof(answer));
    ScsiCommand command({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, sizeof(answer), 0}, 10);
    command.buffer = answer;
    command.bufferLength = sizeof(answer);
    Status status = Run(command, kErrCommand);
    m_capabilitiesRead = true;
    if (!status)
        return status;
    // Behind the 8-byte header (and any block descriptors) the first page must be 2Ah.
    size_t at = 8 + (answer[6] << 8 | answer[7]);
    if (at < sizeof(answer) && (answer[at] & 0x3F) == 0x2A)
        memcpy(m_page2A, answer + at, sizeof(answer) - at);
    return status;
}

uint32_t Drive::CapabilityFlags() const {
    if (!m_capabilitiesRead)
        ReadCapabilities();
    const uint8_t* p = m_page2A;
    uint32_t flags = 0;
    flags |= (p[5] & 0x01) ? kCapCdda : 0;
    flags |= (p[5] & 0x02) ? kCapAccurateStream : 0;
    flags |= (p[2] & 0x01) ? kCapReadCdr : 0;
    flags |= (p[2] & 0x02) ? kCapReadCdrw : 0;
    flags |= (p[5] & 0x10) ? kCapC2Pointers : 0;
    flags |= (p[5] & 0x04) ? kCapCdText : 0;
    return flags;
}

uint32_t Drive::WriterFlags() const {
    if (!m_capabilitiesRead)
        ReadCapabilities();
    const uint8_t* p = m_page2A;
    uint32_t flags = 0;
    flags |= (p[3] & 0x02) ? kWriteCdrw : 0;
    flags |= (p[3] & 0x01) ? kWriteCdr : 0;
    flags |= (p[3] & 0x04) ? kWriteTest : 0;
    flags |= (p[4] & 0x80) ? kWriteBurnProof : 0;
    return flags;
}

uint32_t Drive::MaxReadSpeed() const {
    if (!m_capabilitiesRead)
        ReadCapabilities();
    return m_page2A[8] << 8 | m_page2A[9];
}

bool Drive::WantsJitterCorrection() const {
    return !(CapabilityFlags() & kCapAccurateStream);
}

Status Drive::ReadLayout(DiscLayout& layout, bool text) {
    std::vector<uint8_t> answer(804);
    ScsiCommand command({0x43, 0, 0, 0, 0, 0, 0, 0x03, 0x24, 0}, 10);
    command.buffer = answer.data();
    command.bufferLength = static_cast<uint32_t>(answer.size());
    Status status = Run(command, kErrNoDisc);
    if (!status)
        return status;
    if (!ParseToc(answer.data(), answer.size(), layout))
        return Status{kErrNoDisc, 0};
    layout.text = CdText();
    if (text) {
        // 4 header bytes and up to 255 packs of 18 bytes.
        std::vector<uint8_t> packs(4 + 255 * 18);
        ScsiCommand readText({0x43, 0, 0x05, 0, 0, 0, 0, static_cast<uint8_t>(packs.size() >> 8),
                              static_cast<uint8_t>(packs.size()), 0},
                             10);
        readText.buffer = packs.data();
        readText.bufferLength = static_cast<uint32_t>(packs.size());
        if (Run(readText, kErrCommand))
            ParseCdText(packs.data(), packs.size(), layout.text);
    }
    return status;
}

Status Drive::SetReadSpeed(int speed) {
    if (speed < -1 || speed > 0xFFFF / 176)
        return Status{kErrBadArgument, speed};
    uint16_t kbps = speed < 0 ? 0xFFFF : static_cast<uint16_t>(speed * 176);
    ScsiCommand command({0xBB, 0, static_cast<uint8_t>(kbps >> 8), static_cast<uint8_t>(kbps), 0xFF, 0xFF},
                        12);
    command.flags = aspi::kFlagEventNotify;
    return Run(command, kErrCommand);
}

Status Drive::SetBlockSize(uint32_t bytes) {
    if (bytes != kAudioFrameBytes && bytes != kDataFrameBytes)
        return Status{kErrBadArgument, static_cast<int>(bytes)};
    // Mode parameter header and one block descriptor: density 0, the block length.
    uint8_t list[12] = {
        0, 0, 0, 8, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(bytes >> 8), static_cast<uint8_t>(bytes)};
    ScsiCommand command({0x15, 0x10, 0, 0, sizeof(list), 0}, 6);
    command.flags = aspi::kFlagEventNotify | aspi::kFlagDataOut;
    command.buffer = list;
    command.bufferLength = sizeof(list);
    return Run(command, kErrCommand);
}

Status Drive::ReadFrames(uint32_t lba, uint32_t count, void* out) {
    if (!out && count)
        return Status{kErrBadArgument, 0};
    auto* bytes = static_cast<uint8_t*>(out);
    while (count) {
        if (AbortRequested())
            return Status{kErrAborted, 0};
        uint32_t n = std::min(count, m_maxFrames);
        // READ CD of CD-DA sectors, user data only.
        ScsiCommand command({0xBE, 0x04, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0}, 12);
        PutBe32(command.cdb + 2, lba);
        command.cdb[6] = static_cast<uint8_t>(n >> 16);
        command.cdb[7] = static_cast<uint8_t>(n >> 8);
        command.cdb[8] = static_cast<uint8_t>(n);
        command.buffer = bytes;
        command.bufferLength = n * kAudioFrameBytes;
        Status status = Run(command, kErrRead);
        if (!status)
            return status;
        lba += n;
        count -= n;
        bytes += static_cast<size_t>(n) * kAudioFrameBytes;
    }
    return Status();
}

void Drive::PostRead(void* data, uint32_t frames) {
    if (!m_swapBytes)
        return;
    auto* bytes = static_cast<uint8_t*>(data);
    for (size_t i = 0; i + 1 < static_cast<size_t>(frames) * kAudioFrameBytes; i += 2)
        std::swap(bytes[i], bytes[i + 1]);
}

bool Drive::AbortRequested() const {
    return m_abortEvent && WaitForSingleObject(m_abortEvent, 0) == WAIT_OBJECT_0;
}

} // namespace cdengine
