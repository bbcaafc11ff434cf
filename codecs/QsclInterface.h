// The calls that pass between the QCP source and the PureVoice library "Qscl.dll". The library
// exports one factory, QsclCreateInstance, that makes its file object; everything else goes
// through the file object's slots, in the order below. All methods are __stdcall, as the
// library's own COM-style objects are.
//
// Units: Read counts and Seek positions are in blocks of QsclInfo::blockSize samples.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <stdint.h>

// Identifiers as the library stores them (the byte order of their registry notation).
// clang-format off
// First argument of QsclCreateInstance.
inline constexpr GUID QSCL_LIBRARY_ID = {0x63366044, 0xc7b4, 0x8248, {0xb3, 0x54, 0x41, 0x8d, 0xb8, 0x81, 0x0c, 0xf5}};
// The file class ("ID_QsclFile").
inline constexpr GUID ID_QsclFile = {0xaa1a5cde, 0xf3cb, 0x7648, {0xad, 0x7d, 0xcb, 0xcc, 0xe3, 0xe7, 0x83, 0x92}};
// The file object's error interface ("IQsclError").
inline constexpr GUID IID_IQsclError = {0x446e9052, 0xdc65, 0xaa4d, {0xa3, 0x80, 0x40, 0xc4, 0x79, 0x8d, 0xb0, 0x60}};
// clang-format on

constexpr int kQsclFormatIds = 5;
// The format identifiers the QCP source accepts, copied into both descriptors given to Open.
// clang-format off
inline constexpr GUID kQsclFormats[kQsclFormatIds] = {
    {0x18f9dd19, 0xe0ac, 0x0543, {0x98, 0xef, 0x2c, 0x6c, 0xa6, 0xc8, 0xb6, 0x14}},
    {0x5e7f6d41, 0xb115, 0x11d0, {0xba, 0x91, 0x00, 0x80, 0x5f, 0xb4, 0xb9, 0x7e}},
    {0x176365aa, 0x45f8, 0x1c41, {0xbe, 0x87, 0x65, 0x4f, 0x54, 0xe9, 0xf4, 0x57}},
    {0xb942a5d8, 0xa4ce, 0x194b, {0x83, 0x14, 0x2a, 0x08, 0xc5, 0xd3, 0xeb, 0x7b}},
    {0x4ef94e9f, 0xd4a3, 0x094d, {0xbe, 0xff, 0x16, 0x5a, 0xaf, 0x6f, 0xef, 0x47}},
};
// clang-format on

// A format descriptor: what the caller wants decoded (the PCM descriptor) or what it accepts
// as a file (the file descriptor, on return also the file's own rate and channels).
struct QsclFormat {
    uint32_t size; // sizeof(QsclFormat)
    GUID formats[kQsclFormatIds];
    uint32_t sampleRate;
    uint16_t bitsPerSample;
    uint16_t channels;
};
static_assert(sizeof(QsclFormat) == 92, "QsclFormat layout");

// What the library tells of an open file.
struct QsclInfo {
    uint32_t size; // sizeof(QsclInfo), set by the caller
    uint32_t samplesPerFrame;
    uint32_t sampleRate; // of the decoded PCM; also the rate seek positions are counted in
    uint32_t blockSize;  // samples per read block
    uint32_t frameCount;
    uint32_t bitsPerSample;
    GUID codec; // the file's codec identifier
};
static_assert(sizeof(QsclInfo) == 40, "QsclInfo layout");

struct IQsclFile : public IUnknown {
    // path in the ANSI code page; flags 0. The descriptors' formats list what the caller takes.
    virtual HRESULT __stdcall Open(const char* path, DWORD flags, QsclFormat* pcm, QsclFormat* file) = 0;
    // Decodes up to blocks blocks into buffer: samples decoded, 0 at the end, negative on error.
    virtual LONG __stdcall Read(LONG blocks, void* buffer, DWORD flags) = 0;
    virtual HRESULT __stdcall Seek(LONG block) = 0;
    virtual LONG __stdcall FrameCount() = 0;
    virtual HRESULT __stdcall GetInfo(QsclInfo* info) = 0;
};

struct IQsclError : public IUnknown {
    // The code of the file object's last failure; 0 when none.
    virtual LONG __stdcall LastError() = 0;
};

// HRESULT QsclCreateInstance(REFGUID library, REFGUID fileClass, void** file)
typedef HRESULT(__stdcall* QsclCreateInstanceFn)(REFGUID library, REFGUID fileClass, void** file);
