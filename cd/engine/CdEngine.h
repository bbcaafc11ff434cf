// The CD drive engine: this library's own way of driving CD readers and writers
// through SCSI multimedia commands. It finds the host adapters and their devices, names each
// device by its INQUIRY strings, reads its capabilities from mode page 2Ah, reads tables of
// contents, CD-Text and the CDDB disc id, and reads audio frames with errors that keep the
// drive's sense data. The disc objects (AudioCD.h) list drives and discs through it, and the
// secure track reader reads through its Drive.
//
// Layout of this folder:
//   CdEngine.h     start and shutdown, host adapters
//   EngineStatus.h error codes and their texts
//   Drive.h        one device: identity, capabilities, reading
//   DiscLayout.h   a disc's tracks, lead-out and CD-Text, parsed from the drive's answers
//   ScsiTransport.h  the ASPI manager (or pass-through emulation), shared with akrip
//   WriteLayout.h  what a recording writes: track layout, CD-Text, cue sheet and packs (bytes)
//   Recorder.h     writing an audio disc disc-at-once through a Drive
//
// Writing sits beside reading: it sends its commands through Drive::Run, reads the writer's
// flags and speeds from the same page 2Ah, and has its own error codes from -32 on.
//
// The engine is not thread-safe as a whole: one thread starts and stops it; each Drive is used
// by one thread at a time, except for the abort event, which any thread may set.
#pragma once

#include "Drive.h"
#include "EngineStatus.h"

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

namespace cdengine {

// The four switches of Start.
struct StartFlags {
    bool passThrough = true;   // without a manager, use the pass-through emulation
    bool writers = true;       // list write-once devices (type 4) beside CD-ROM devices
    bool capabilities = true;  // read each device's mode page 2Ah at start
    bool unitAttention = true; // resend a command once after UNIT ATTENTION (new disc)
};

struct HostAdapter {
    int number = 0;
    std::string id;           // the manager's adapter identifier
    uint32_t maxTransfer = 0; // bytes per command, 0 = not reported
    std::vector<std::unique_ptr<Drive>> devices;
};

class Engine {
public:
    Engine() = default;
    ~Engine() { Shutdown(); }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Loads the transport and lists the host adapters and their CD devices. transferBytes is
    // the most one read command moves (whole frames of it are used). A failure leaves the
    // engine stopped and is kept for StartError.
    Status Start(uint32_t transferBytes, const StartFlags& flags = StartFlags());
    void Shutdown();
    bool Started() const { return m_started; }
    const Status& StartError() const { return m_startError; }
    // StartError as one message: the code's text and the sub-code's, on separate lines.
    std::string StartMessage() const;

    const std::vector<HostAdapter>& Adapters() const { return m_adapters; }

private:
    bool m_started = false;
    Status m_startError;
    std::vector<HostAdapter> m_adapters;
};

} // namespace cdengine
