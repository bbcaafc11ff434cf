// What the native fuzz targets share: reading their input piece by piece, a RIFF reader over
// it, and the check that stops a run when a property fails.
#pragma once

#include "RiffChunks.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace fuzz {

// A property that must hold: prints what failed and aborts, which libFuzzer reports as a
// crash with the input that caused it.
#define FUZZ_CHECK(condition, ...)                                                                           \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            fprintf(stderr, "%s:%d: %s failed: ", __FILE__, __LINE__, #condition);                           \
            fprintf(stderr, __VA_ARGS__);                                                                    \
            fputc('\n', stderr);                                                                             \
            abort();                                                                                         \
        }                                                                                                    \
    } while (0)

// Takes the input apart from the front; reads past the end give zeros and empty pieces.
class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_pos >= m_size; }
    uint8_t Byte() { return Empty() ? 0 : m_data[m_pos++]; }
    uint32_t Word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= uint32_t(Byte()) << (8 * i);
        return value;
    }
    // The bytes up to the next separator (dropped) or the end.
    std::string Piece(char separator) {
        std::string piece;
        while (!Empty()) {
            char c = static_cast<char>(m_data[m_pos++]);
            if (c == separator)
                break;
            piece.push_back(c);
        }
        return piece;
    }
    std::vector<uint8_t> Bytes(size_t count) {
        std::vector<uint8_t> bytes;
        while (bytes.size() < count && !Empty())
            bytes.push_back(m_data[m_pos++]);
        return bytes;
    }
    std::string Rest() {
        std::string rest(m_data + (Empty() ? m_size : m_pos), m_data + m_size);
        m_pos = m_size;
        return rest;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// The input as a file. The bytes are copied to a buffer of exactly their size so that the
// sanitizer sees a read one past the end.
class MemoryReader : public trelvox::RiffReader {
public:
    MemoryReader(const uint8_t* data, size_t size) : m_bytes(data, data + size) {}

    size_t ReadAt(uint64_t offset, void* out, size_t size) override {
        if (offset >= m_bytes.size())
            return 0;
        size_t count = size < m_bytes.size() - offset ? size : m_bytes.size() - offset;
        memcpy(out, m_bytes.data() + offset, count);
        return count;
    }

private:
    std::vector<uint8_t> m_bytes;
};

} // namespace fuzz
