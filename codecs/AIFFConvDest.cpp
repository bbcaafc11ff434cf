#include "AIFFConvDest.h"

#include "AIFFTypes.h"

#include <math.h>
#include <string.h>

#include <vector>

namespace trelvox {

void EncodeExtended80(uint32_t value, uint8_t out[10]) {
    memset(out, 0, 10);
    if (value == 0)
        return;
    // Normalise so that the integer bit is the mantissa's top bit.
    int exponent = 31;
    uint32_t mantissa = value;
    while (!(mantissa & 0x80000000u)) {
        mantissa <<= 1;
        --exponent;
    }
    PutBigEndian16(out, static_cast<uint16_t>(16383 + exponent));
    PutBigEndian32(out + 2, mantissa);
}

void PcmToAiffSamples(uint8_t* data, size_t bytes, unsigned bytesPerSample) {
    if (bytesPerSample <= 1) {
        for (size_t i = 0; i < bytes; ++i)
            data[i] = static_cast<uint8_t>(data[i] - 128);
        return;
    }
    for (size_t i = 0; i + bytesPerSample <= bytes; i += bytesPerSample) {
        uint8_t* sample = data + i;
        for (unsigned a = 0, b = bytesPerSample - 1; a < b; ++a, --b) {
            uint8_t t = sample[a];
            sample[a] = sample[b];
            sample[b] = t;
        }
    }
}

} // namespace trelvox

namespace {
constexpr uint32_t kCommSize = 18;
}

CAIFFConvDest::~CAIFFConvDest() {
    Close();
}

bool CAIFFConvDest::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_AIFFConvDest;
    return true;
}

bool CAIFFConvDest::BeginChunk(Chunk& chunk, const char* id, const char* formType) {
    memcpy(chunk.id, id, 4);
    uint8_t header[12] = {};
    memcpy(header, id, 4);
    size_t length = 8;
    if (formType) {
        memcpy(header + 8, formType, 4);
        length = 12;
    }
    if (fwrite(header, 1, length, m_file.get()) != length)
        return false;
    chunk.dataStart = ftell(m_file.get());
    return chunk.dataStart >= 0;
}

bool CAIFFConvDest::EndChunk(const Chunk& chunk, uint32_t extra) {
    FILE* file = m_file.get();
    long end = ftell(file);
    if (end < 0)
        return false;
    uint8_t header[8];
    memcpy(header, chunk.id, 4);
    trelvox::PutBigEndian32(header + 4, static_cast<uint32_t>(end - chunk.dataStart) + extra);
    long headerStart = chunk.dataStart - 8 - (extra ? 4 : 0);
    return fseek(file, headerStart, SEEK_SET) == 0 && fwrite(header, 1, 8, file) == 8 &&
           fseek(file, end, SEEK_SET) == 0;
}

bool CAIFFConvDest::WriteCommContents() {
    uint8_t comm[kCommSize];
    trelvox::PutBigEndian16(comm, m_format.nChannels);
    uint32_t frames = m_format.nBlockAlign ? m_sampleBytes / m_format.nBlockAlign : 0;
    trelvox::PutBigEndian32(comm + 2, frames);
    trelvox::PutBigEndian16(comm + 6, m_format.wBitsPerSample);
    trelvox::EncodeExtended80(m_format.nSamplesPerSec, comm + 8);
    return fwrite(comm, 1, sizeof(comm), m_file.get()) == sizeof(comm);
}

bool CAIFFConvDest::Open() {
    if (!CDefConvertDestination::Open())
        return false;
    m_file.reset(fopen(m_path, "wb"));
    if (!m_file) {
        SetError("File cannot be opened for writing");
        return false;
    }
    m_sampleBytes = 0;
    static const uint8_t kSsndHeader[8] = {};
    if (!BeginChunk(m_form, "FORM", "AIFF") || !BeginChunk(m_comm, "COMM", nullptr) || !WriteCommContents() ||
        !EndChunk(m_comm, 0) || !BeginChunk(m_ssnd, "SSND", nullptr) ||
        fwrite(kSsndHeader, 1, sizeof(kSsndHeader), m_file.get()) != sizeof(kSsndHeader)) {
        SetError("Chunk cannot be created");
        Close();
        return false;
    }
    return true;
}

bool CAIFFConvDest::Write(uint32_t bytes, const void* pcm) {
    if (!m_file || (bytes && !pcm))
        return false;
    m_sampleBytes += bytes;
    // The caller's block is const: reverse the bytes in a copy.
    std::vector<uint8_t> block(static_cast<const uint8_t*>(pcm), static_cast<const uint8_t*>(pcm) + bytes);
    trelvox::PcmToAiffSamples(block.data(), block.size(), m_format.wBitsPerSample / 8);
    if (fwrite(block.data(), 1, block.size(), m_file.get()) != block.size()) {
        SetError("File cannot be written (error %d)", ferror(m_file.get()));
        return false;
    }
    return true;
}

bool CAIFFConvDest::Close() {
    CDefConvertDestination::Close();
    if (!m_file)
        return true;
    FILE* file = m_file.get();
    // A failed Write has reported the error of the stream already.
    const bool reported = ferror(file) != 0;
    bool ok = EndChunk(m_ssnd, 0);
    // Chunks hold an even number of bytes: odd sample data gets a pad byte that the SSND size
    // leaves out and the FORM size counts, so that strict readers accept the file.
    if (ok && (m_sampleBytes & 1))
        ok = fputc(0, file) != EOF;
    ok = ok && EndChunk(m_form, 4);
    ok = ok && fseek(file, m_comm.dataStart, SEEK_SET) == 0 && WriteCommContents();
    // The last samples and the rewritten headers may still sit in the stream's buffer: only
    // the flush tells whether they reached the disk. Failures are reported; the result stays
    // true.
    ok = fflush(file) == 0 && !ferror(file) && ok;
    if (!ok && !reported)
        SetError("File cannot be written (error %d)", ferror(file));
    m_file.reset();
    return true;
}

bool CAIFFConvDest::EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat, uint32_t* outBytes) {
    if (!inFormat || !outBytes || inFormat->nAvgBytesPerSec == 0)
        return false;
    *outBytes = inBytes;
    return true;
}

bool CAIFFConvDest::ShowSettingsDialog(HWND parent, IConvertDestination**) {
    MessageBoxA(parent, "AIFF format does not have output settings.", "AIFF", MB_OK | MB_ICONINFORMATION);
    return false;
}
