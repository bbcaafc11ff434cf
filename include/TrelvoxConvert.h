// Conversion interfaces shared by the library and its callers.
//
// Every interface here is laid out for callers compiled with MSVC: IUnknown's methods are
// __stdcall, the interfaces' own operations are __thiscall, booleans are one byte, and no
// interface declares a destructor (MSVC would give it one slot where GCC gives two).
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <unknwn.h>
#include <stddef.h>
#include <stdint.h>

// The shipped library is 32-bit. A 64-bit build of the same code exists only to run the
// behaviour tests on machines that cannot execute 32-bit code; there every calling
// convention is the same one.
#if defined(__i386__) || defined(_M_IX86)
#define TX_THISCALL __thiscall
#define TX_32BIT 1
#else
#define TX_THISCALL
#define TX_32BIT 0
#endif

#ifdef TRELVOX_BUILDING_DLL
#define TX_API
#else
#define TX_API __declspec(dllimport)
#endif

struct IMetadata;
class IConvertCallback;

static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX must be the packed 18-byte record");
static_assert(sizeof(bool) == 1, "booleans cross the interfaces as one byte");

// One row of the format table, exchanged by value.
struct FormatRecord {
    char extensions[260];    // ".mp1\0.mp2\0...\0\0"
    char description[260];   // loaded from the string table on the first fetch by index
    uint32_t descriptionId;  // string resource number
    uint32_t flags;          // the caller's bits, passed through untouched
    char name[16];           // the key of the table
    const GUID* sourceClsid; // null: the format cannot be read
    const GUID* destClsid;   // null: the format cannot be written
};
static_assert(sizeof(FormatRecord) == (TX_32BIT ? 552 : 560), "FormatRecord layout");
static_assert(offsetof(FormatRecord, description) == 260, "FormatRecord layout");
static_assert(offsetof(FormatRecord, descriptionId) == 520, "FormatRecord layout");
static_assert(offsetof(FormatRecord, flags) == 524, "FormatRecord layout");
static_assert(offsetof(FormatRecord, name) == 528, "FormatRecord layout");
static_assert(offsetof(FormatRecord, sourceClsid) == 544, "FormatRecord layout");
static_assert(offsetof(FormatRecord, destClsid) == (TX_32BIT ? 548 : 552), "FormatRecord layout");

// The sink a source pushes PCM into. Not reference counted.
class IPlayCallback {
public:
    // One block of PCM in the source's format; returning false asks the source to stop.
    virtual bool TX_THISCALL OnData(const void* pcm, uint32_t bytes) = 0;

protected:
    ~IPlayCallback() = default;
};

// Implemented by the caller: every error, progress step and question leaves the library here.
// The library never deletes it and never takes a reference.
class IConvertCallback {
public:
    virtual bool TX_THISCALL ConfirmOverwrite(const char* path) = 0;
    virtual void TX_THISCALL ReportMessage(const char* text) = 0;
    // kind is "e" for an error and "i" for an information line; text ends with "\n".
    virtual void TX_THISCALL ReportError(const char* text, const char* kind) = 0;
    virtual void TX_THISCALL SetProgressRange(uint32_t total) = 0;
    virtual void TX_THISCALL SetProgressPos(uint32_t pos) = 0;
    virtual void TX_THISCALL StepProgress(uint32_t bytes) = 0;
    virtual void TX_THISCALL SetStatusText(const char* text) = 0;
    virtual int32_t TX_THISCALL IsCancelled() = 0;
    virtual void TX_THISCALL SetItemText(const char* text, int32_t flag) = 0;

protected:
    ~IConvertCallback() = default;
};

// A decoder: one file or track in, PCM out through an IPlayCallback.
struct IConvertSource : public IUnknown {
    virtual bool TX_THISCALL SetFileName(const char* path) = 0;
    virtual bool TX_THISCALL GetFileName(char* buf, int size) = 0;
    virtual int32_t TX_THISCALL GetFormatIndex() = 0;
    virtual int32_t TX_THISCALL SetFormatIndex(int32_t index) = 0;
    virtual bool TX_THISCALL GetClassID(GUID* clsid) = 0;
    virtual bool TX_THISCALL GetFileTitle(char* buf, uint32_t size) = 0;
    virtual bool TX_THISCALL GetFileDir(char* buf, uint32_t size) = 0;
    virtual bool TX_THISCALL Open() = 0;
    virtual bool TX_THISCALL SetStartTime(int32_t ms) = 0;
    virtual bool TX_THISCALL Play(IPlayCallback* sink) = 0;
    virtual bool TX_THISCALL Close() = 0;
    // On success *md receives a new reference owned by the caller.
    virtual bool TX_THISCALL GetMetadata(IMetadata** md) = 0;
    virtual bool TX_THISCALL GetLength(uint32_t* bytes, int32_t startMs, int32_t endMs) = 0;
    virtual bool TX_THISCALL GetFormat(WAVEFORMATEX* wfx) = 0;
    // The callback is not owned; null detaches it.
    virtual void TX_THISCALL SetErrorLog(IConvertCallback* cb) = 0;
};

// An encoder: PCM in, one output file out.
struct IConvertDestination : public IUnknown {
    virtual int32_t TX_THISCALL GetFormatIndex() = 0;
    virtual int32_t TX_THISCALL SetFormatIndex(int32_t index) = 0;
    virtual bool TX_THISCALL GetClassID(GUID* clsid) = 0;
    virtual bool TX_THISCALL SetFileName(const char* path) = 0;
    virtual bool TX_THISCALL GetFileName(char* buf, int size) = 0;
    virtual bool TX_THISCALL Open() = 0;
    virtual bool TX_THISCALL Write(uint32_t bytes, const void* pcm) = 0;
    virtual bool TX_THISCALL Close() = 0;
    virtual bool TX_THISCALL GetMetadata(IMetadata** md) = 0;
    // Holds a reference to src until the next SetSource or the destination's end.
    virtual bool TX_THISCALL SetSource(IConvertSource* src) = 0;
    virtual bool TX_THISCALL EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat,
                                          uint32_t* outBytes) = 0;
    virtual bool TX_THISCALL SetFormat(const WAVEFORMATEX* wfx) = 0;
    // alsoApply: null-terminated array of destinations of the same class, or null.
    virtual bool TX_THISCALL ShowSettingsDialog(HWND parent, IConvertDestination** alsoApply) = 0;
    virtual bool TX_THISCALL GetSettingsText(char* buf, int size) = 0;
    // message receives one line (at most 1024 bytes with its terminator) when false is returned.
    virtual bool TX_THISCALL SetOption(const char* name, const char* value, char* message) = 0;
    virtual void TX_THISCALL SetErrorLog(IConvertCallback* cb) = 0;
};

// Interface identifiers answered by QueryInterface.
inline constexpr GUID IID_IConvertSource = {
    0xD171DBC1, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
inline constexpr GUID IID_IConvertDestination = {
    0xD171DBC2, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};

// Class identifiers written by GetClassID; several format rows share one.
inline constexpr GUID CLSID_WMAConvSource = {
    0xD171DBC4, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
inline constexpr GUID CLSID_WavConvSource = {
    0xD171DBC6, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
inline constexpr GUID CLSID_AudioCDTrack = {
    0x3908EC30, 0x9C0E, 0x4E42, {0x92, 0xB2, 0xF7, 0x1E, 0xC1, 0xFA, 0x7A, 0xED}};
inline constexpr GUID CLSID_MIDIConvSource = {
    0xB0E6CE5A, 0xCD47, 0x4384, {0x8E, 0x54, 0xE1, 0xF2, 0xC5, 0x52, 0xED, 0x91}};
inline constexpr GUID CLSID_QCPConvSource = {
    0xB0E6CE5A, 0xCDFF, 0x4384, {0xFF, 0xFA, 0xE1, 0xA2, 0xC5, 0x52, 0xED, 0x90}};
inline constexpr GUID CLSID_DirectShowConvSource = {
    0xB0E6CE5A, 0xCD47, 0x4384, {0xFF, 0xFF, 0xE1, 0xA2, 0xC5, 0x52, 0xED, 0x90}};
inline constexpr GUID CLSID_MP3ConvDest = {
    0x7A0CEE00, 0x1248, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
inline constexpr GUID CLSID_WavConvDest = {
    0xD171DBC3, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
inline constexpr GUID CLSID_WMAConvDest = {
    0xD171DBC5, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
inline constexpr GUID CLSID_AIFFConvDest = {
    0x709A0B70, 0x182E, 0x487D, {0xB6, 0x73, 0xDE, 0x10, 0xA9, 0x9C, 0x0D, 0xEA}};
inline constexpr GUID CLSID_OggConvDest = {
    0xE553989E, 0xB6A3, 0x475F, {0x9E, 0xDC, 0xFE, 0x69, 0xCC, 0xE2, 0xB8, 0x8C}};
inline constexpr GUID CLSID_DirectShowConvDest = {
    0x709A0B70, 0x18EE, 0x487D, {0xB6, 0x73, 0xDE, 0x10, 0xA9, 0x9C, 0x0D, 0xEA}};
inline constexpr GUID CLSID_RedBookDest = {
    0x6DD6FEDD, 0x1A33, 0x4A6E, {0x80, 0x50, 0x5B, 0xCF, 0x7E, 0x63, 0x51, 0x97}};
