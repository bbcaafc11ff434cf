// A file opened with the multimedia file functions, as the RIFF chunk walk reads it.
#pragma once

#include "Handles.h"
#include "RiffChunks.h"

#include <limits.h>

namespace trelvox {

class MmioReader : public RiffReader {
public:
    explicit MmioReader(HMMIO file) : m_file(file) {}

    size_t ReadAt(uint64_t offset, void* out, size_t size) override {
        if (offset > LONG_MAX || size > LONG_MAX ||
            mmioSeek(m_file, static_cast<LONG>(offset), SEEK_SET) == -1)
            return 0;
        LONG got = mmioRead(m_file, static_cast<HPSTR>(out), static_cast<LONG>(size));
        return got > 0 ? static_cast<size_t>(got) : 0;
    }

private:
    HMMIO m_file;
};

} // namespace trelvox
