#include "CdEngine.h"

#include "Trace.h"

#include <stdio.h>
#include <string.h>

namespace cdengine {

namespace {

const char* SenseKeyText(int key) {
    static const char* const kKeys[16] = {
        "No sense",       "Recovered error", "Not ready",      "Medium error",
        "Hardware error", "Illegal request", "Unit attention", "Data protect",
        "Blank check",    "Vendor specific", "Copy aborted",   "Aborted command",
        "Equal",          "Volume overflow", "Miscompare",     "Reserved"};
    return kKeys[key & 0x0F];
}

// The additional sense codes a CD reader reports most.
const char* AdditionalSenseText(int asc, int ascq) {
    struct Entry {
        uint8_t asc;
        uint8_t ascq;
        const char* text;
    };
    static const Entry kEntries[] = {
        {0x04, 0x01, "Logical unit is in process of becoming ready"},
        {0x04, 0x08, "Long write in progress"},
        {0x0C, 0x00, "Write error"},
        {0x0C, 0x09, "Write error, loss of streaming"},
        {0x11, 0x00, "Unrecovered read error"},
        {0x11, 0x05, "L-EC uncorrectable error"},
        {0x11, 0x06, "CIRC unrecovered error"},
        {0x15, 0x00, "Random positioning error"},
        {0x20, 0x00, "Invalid command operation code"},
        {0x21, 0x00, "Logical block address out of range"},
        {0x21, 0x02, "Invalid address for write"},
        {0x24, 0x00, "Invalid field in CDB"},
        {0x26, 0x00, "Invalid field in parameter list"},
        {0x28, 0x00, "Not ready to ready change, medium may have changed"},
        {0x29, 0x00, "Power on, reset, or bus device reset occurred"},
        {0x2C, 0x00, "Command sequence error"},
        {0x30, 0x00, "Incompatible medium installed"},
        {0x3A, 0x00, "Medium not present"},
        {0x57, 0x00, "Unable to recover table-of-contents"},
        {0x64, 0x00, "Illegal mode for this track"},
    };
    for (const Entry& entry : kEntries)
        if (entry.asc == asc && entry.ascq == ascq)
            return entry.text;
    return nullptr;
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

std::string ErrorText(int code) {
    switch (code) {
    case kOk:
    case kErrAborted:
        return "";
    case kErrNoAspi:
        return "No ASPI manager is installed and no CD drive answers through SCSI pass-through";
    case kErrAspiIncomplete:
        return "The ASPI manager is incomplete";
    case kErrNotStarted:
        return "The CD drive engine is not started";
    case kErrCommand:
        return "The drive refused a command";
    case kErrNoDisc:
        return "The disc's table of contents cannot be read";
    case kErrBadArgument:
        return "A value the drive cannot use was given";
    case kErrOutOfMemory:
        return "Out of memory";
    case kErrTransferSize:
        return "The ASPI manager refuses the transfer buffer size";
    case kErrRead:
        return "The drive cannot read the disc";
    case kErrSync:
        return "Jitter correction lost its reference frame";
    case kErrNotWriter:
        return "The drive cannot write CD-R discs";
    case kErrNotBlank:
        return "The drive holds no blank CD-R";
    case kErrDiscTooSmall:
        return "The tracks do not fit on the disc";
    case kErrTrackFile:
        return "A track file cannot be read";
    case kErrWriteMode:
        return "The drive refused the recording options";
    case kErrCueSheet:
        return "The drive refused the disc layout (cue sheet)";
    case kErrWrite:
        return "The drive failed to write the disc";
    case kErrBufferUnderrun:
        return "Buffer underrun: the drive ran out of data while writing";
    case kErrCloseSession:
        return "The drive could not close the session";
    case kErrNoTestWrite:
        return "The drive has no test mode";
    case kErrNotImplemented:
        return "This kind of recording is not implemented";
    case kErrCdTextTooLong:
        return "The CD-Text does not fit into the lead-in";
    default: {
        char text[48];
        snprintf(text, sizeof(text), "CD drive engine error %d", code);
        return text;
    }
    }
}

std::string SubCodeText(int code, int subCode) {
    char text[160];
    switch (code) {
    case kErrNotBlank:
        if (subCode > 0 && subCode < 4) {
            static const char* const kStates[] = {"", "The disc holds an unfinished session",
                                                  "The disc is finalized", "The disc cannot be written"};
            return kStates[subCode];
        }
        [[fallthrough]];
    case kErrCommand:
    case kErrRead:
    case kErrNoDisc:
    case kErrWriteMode:
    case kErrCueSheet:
    case kErrWrite:
    case kErrBufferUnderrun:
    case kErrCloseSession: {
        int key = (subCode >> 16) & 0x0F, asc = (subCode >> 8) & 0xFF, ascq = subCode & 0xFF;
        if (!subCode)
            return "";
        const char* detail = AdditionalSenseText(asc, ascq);
        snprintf(text, sizeof(text), "Sense key %X (%s), ASC %02Xh, ASCQ %02Xh%s%s", key, SenseKeyText(key),
                 asc, ascq, detail ? ": " : "", detail ? detail : "");
        return text;
    }
    case kErrAspiIncomplete:
        snprintf(text, sizeof(text), "It lacks %s",
                 subCode == kLoadNoSendCommand ? "SendASPI32Command" : "GetASPI32SupportInfo");
        return text;
    case kErrTransferSize:
        snprintf(text, sizeof(text), "The host adapter moves at most %d bytes per command", subCode);
        return text;
    case kErrBadArgument:
        snprintf(text, sizeof(text), "Value %d", subCode);
        return text;
    case kErrDiscTooSmall:
        snprintf(text, sizeof(text), "The disc holds %d frames (%02d:%02d:%02d)", subCode, subCode / 4500,
                 subCode / 75 % 60, subCode % 75);
        return text;
    case kErrTrackFile:
        snprintf(text, sizeof(text), "Track %d", subCode);
        return text;
    case kErrCdTextTooLong:
        snprintf(text, sizeof(text), "It needs %d packs; 255 fit", subCode);
        return text;
    default:
        return "";
    }
}

Status Engine::Start(uint32_t transferBytes, const StartFlags& flags) {
    Shutdown();
    m_startError = Status();
    if (transferBytes < kAudioFrameBytes) {
        m_startError = Status{kErrTransferSize, static_cast<int>(transferBytes)};
        return m_startError;
    }
    int loadError = transport::Acquire(flags.passThrough);
    if (loadError) {
        m_startError =
            loadError == kLoadNoManager ? Status{kErrNoAspi, 0} : Status{kErrAspiIncomplete, loadError};
        return m_startError;
    }
    // The reference goes back on every way out but success (an exception included).
    struct Hold {
        bool keep = false;
        ~Hold() {
            if (!keep)
                transport::Release();
        }
    } hold;
    uint32_t info = transport::SupportInfo();
    uint8_t infoStatus = static_cast<uint8_t>(info >> 8);
    if (infoStatus != aspi::kComplete && infoStatus != aspi::kNoAdapters) {
        m_startError = Status{kErrNoAspi, infoStatus};
        return m_startError;
    }
    int adapters = infoStatus == aspi::kNoAdapters ? 0 : static_cast<uint8_t>(info);
    std::vector<HostAdapter> found;
    for (int number = 0; number < adapters; ++number) {
        aspi::HostAdapterInquiry inquiry;
        if (transport::InquireAdapter(static_cast<uint8_t>(number), inquiry) != aspi::kComplete)
            continue;
        HostAdapter adapter;
        adapter.number = number;
        adapter.id.assign(inquiry.adapterId, strnlen(inquiry.adapterId, sizeof(inquiry.adapterId)));
        adapter.maxTransfer = Le32(inquiry.unique + 4);
        if (adapter.maxTransfer && transferBytes > adapter.maxTransfer) {
            TX_TRACE(cd, "adapter %d moves at most %u bytes, %u asked", number, adapter.maxTransfer,
                     transferBytes);
            m_startError = Status{kErrTransferSize, static_cast<int>(adapter.maxTransfer)};
            return m_startError;
        }
        int targets = transport::TargetCount(inquiry);
        for (int target = 0; target < targets; ++target) {
            for (int lun = 0; lun < 8; ++lun) {
                ScsiAddress address{static_cast<uint8_t>(number), static_cast<uint8_t>(target),
                                    static_cast<uint8_t>(lun)};
                uint8_t type = 0;
                bool wanted = transport::DeviceType(address, type) == aspi::kComplete &&
                              (type == aspi::kDeviceTypeCdRom || (flags.writers && type == 4));
                if (!wanted)
                    continue;
                uint8_t answer[36] = {};
                ScsiCommand command({0x12, 0, 0, 0, sizeof(answer), 0}, 6);
                command.buffer = answer;
                command.bufferLength = sizeof(answer);
                if (!transport::Execute(address, command).ok())
                    continue;
                answer[0] = type;
                auto drive = std::make_unique<Drive>(address, answer, transferBytes / kAudioFrameBytes,
                                                     flags.unitAttention);
                if (flags.capabilities)
                    drive->ReadCapabilities();
                TX_TRACE(cd, "%d:%d:%d is %s %s %s, type %d", number, target, lun, drive->Vendor().c_str(),
                         drive->Product().c_str(), drive->Revision().c_str(), drive->Type());
                adapter.devices.push_back(std::move(drive));
            }
        }
        found.push_back(std::move(adapter));
    }
    m_adapters = std::move(found);
    m_started = hold.keep = true;
    return m_startError;
}

void Engine::Shutdown() {
    if (!m_started)
        return;
    m_adapters.clear();
    transport::Release();
    m_started = false;
}

std::string Engine::StartMessage() const {
    std::string text = ErrorText(m_startError.code);
    std::string detail = SubCodeText(m_startError.code, m_startError.subCode);
    if (!detail.empty())
        text += (text.empty() ? "" : "\n") + detail;
    return text;
}

} // namespace cdengine
