// The virtual drive's command decoding, with a disc in it or a blank CD-R. The input is a
// drive settings text, a NUL, then commands: a byte whose low four bits give the CDB length
// (1 to 16), the CDB, two bytes of data length and, for a data-out command, that many bytes
// of parameter data.
#include "DiscFiles.h"
#include "MmcDevice.h"

namespace {

std::shared_ptr<cdbench::DiscImage> Disc() {
    static std::shared_ptr<cdbench::DiscImage> disc = [] {
        const std::string dir = fuzz::DiscDirectory();
        fuzz::WriteFile(dir + "w.wav", fuzz::WavHeader(30 * 2352) + std::string(30 * 2352, '\x11'));
        fuzz::WriteFile(dir + "mmc.cue", "TITLE \"Disc\"\nPERFORMER \"Band\"\n"
                                         "FILE \"w.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n"
                                         "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 00 00:00:10\n"
                                         "    INDEX 01 00:00:12\nREM SESSION 02\nFILE \"a.bin\" BINARY\n"
                                         "  TRACK 03 MODE1/2352\n    INDEX 01 00:00:00\n");
        auto image = std::make_shared<cdbench::DiscImage>();
        std::string error;
        if (!image->LoadCue(dir + "mmc.cue", error)) {
            fprintf(stderr, "%s\n", error.c_str());
            abort();
        }
        return image;
    }();
    return disc;
}

bool IsDataOut(uint8_t opcode) {
    // MODE SELECT (6) and (10), SEND CUE SHEET, WRITE(10)
    return opcode == 0x15 || opcode == 0x55 || opcode == 0x5D || opcode == 0x2A;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    cdbench::DriveConfig config;
    std::string error;
    if (!config.Parse(input.Piece('\0'), error))
        config = cdbench::DriveConfig();
    cdbench::MmcDevice drive(config);
    // Every other input finds a blank CD-R to write.
    if (size & 2)
        drive.InsertBlank(fuzz::DiscDirectory() + "burnt.cue", (size & 1) != 0);
    else
        drive.Insert(Disc(), (size & 1) != 0);
    for (int commands = 0; commands < 64 && !input.Empty(); ++commands) {
        const std::vector<uint8_t> cdb = input.Bytes(1 + input.Byte() % 16);
        const uint32_t low = input.Byte();
        const uint32_t dataLen = low | uint32_t(input.Byte()) << 8;
        // Exactly the room the command was given.
        std::vector<uint8_t> buffer(dataLen);
        if (!cdb.empty() && IsDataOut(cdb[0])) {
            const std::vector<uint8_t> parameters = input.Bytes(dataLen);
            std::copy(parameters.begin(), parameters.end(), buffer.begin());
        }
        const cdbench::CommandResult result = drive.Execute(cdb.data(), cdb.size(), buffer.data(), dataLen);
        FUZZ_CHECK(result.transferred <= dataLen, "opcode %02X moved %u bytes of %u",
                   cdb.empty() ? 0 : cdb[0], result.transferred, dataLen);
    }
    return 0;
}
