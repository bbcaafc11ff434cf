// A PCM stream through an ACM conversion stream, block by block, with the failure messages
// that every destination converting through ACM reports.
#pragma once

#include "DefErrLog.h"
#include "Handles.h"

#include <functional>

namespace trelvox {

class AcmConverter {
public:
    // Receives each block of converted bytes; false stops the conversion (its failure is the
    // receiver's to report).
    using Output = std::function<bool(const void* data, uint32_t bytes)>;

    // Takes the stream over; null closes the one held, dropping input that still waits.
    void Reset(HACMSTREAM stream = nullptr);
    explicit operator bool() const { return static_cast<bool>(m_stream); }

    // Converts with block alignment. Input the stream leaves unconsumed (part of a codec
    // block, or what a rate conversion holds back) waits for the next Write, so that no sample
    // is lost between blocks. False after reporting through log.
    bool Write(const void* input, uint32_t bytes, const CDefErrLog& log, const Output& output);
    // Converts what still waits, without block alignment: the end of the stream.
    bool Flush(const CDefErrLog& log, const Output& output);

private:
    bool Convert(const uint8_t* input, uint32_t bytes, DWORD flags, bool keepRest, const CDefErrLog& log,
                 const Output& output);
    bool KeepRest(const uint8_t* rest, uint32_t bytes, const CDefErrLog& log);

    UniqueAcmStream m_stream;
    UniqueBytes m_carry; // input bytes the stream did not consume yet
    uint32_t m_carryBytes = 0;
};

} // namespace trelvox
