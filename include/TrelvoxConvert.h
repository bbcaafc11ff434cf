/* Conversion interfaces shared by the library and its callers.
 *
 * Every interface here is laid out for callers compiled with MSVC: IUnknown's methods are
 * __stdcall, the interfaces' own operations are __thiscall, booleans are one byte, and no
 * interface declares a destructor (MSVC would give it one slot where GCC gives two).
 *
 * C callers get each interface as a vtable record (lpVtbl, as in the Windows headers). C has
 * no thiscall, but fastcall with an unused second register argument is the same convention:
 * the object in ECX, the rest on the stack, popped by the callee. TX_CMETHOD and
 * TX_CTHIS/TX_CTHIS_ spell that out, so a callback written in C looks like
 *     static void TX_CMETHOD StepProgress(TX_CTHIS_(IConvertCallback) uint32_t bytes)
 * and a call through a vtable passes TX_CEDX after the object, or TX_CEDX_ONLY when the
 * operation takes no arguments:
 *     source->lpVtbl->SetStartTime(source, TX_CEDX 250);
 *     source->lpVtbl->Open(source TX_CEDX_ONLY); */
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <unknwn.h>
#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <assert.h>
#include <stdbool.h>
#endif

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

#if defined(__GNUC__)
#define TX_UNUSED __attribute__((unused))
#else
#define TX_UNUSED
#endif
#if TX_32BIT
#define TX_CMETHOD __fastcall
#define TX_CTHIS(type) type *This, void *txEdx TX_UNUSED
#define TX_CTHIS_(type) type *This, void *txEdx TX_UNUSED,
#define TX_CEDX 0,
#define TX_CEDX_ONLY , 0
#else
#define TX_CMETHOD
#define TX_CTHIS(type) type* This
#define TX_CTHIS_(type) type *This,
#define TX_CEDX
#define TX_CEDX_ONLY
#endif

/* GUIDs defined in the header: one shared copy per program in C and in C++. */
#ifdef __cplusplus
#define TX_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                                      \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define TX_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                                      \
    __declspec(selectany) const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#endif

#ifdef TRELVOX_BUILDING_DLL
#define TX_API
#else
#define TX_API __declspec(dllimport)
#endif

#ifdef __cplusplus
struct IMetadata;
class IConvertCallback;
#else
typedef struct IMetadata IMetadata;
typedef struct IConvertCallback IConvertCallback;
typedef struct IPlayCallback IPlayCallback;
typedef struct IConvertSource IConvertSource;
typedef struct IConvertDestination IConvertDestination;
typedef struct FormatRecord FormatRecord;
#endif

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

#ifndef __cplusplus
/* The interfaces for C callers, slot by slot as in the C++ declarations below. */
typedef struct IPlayCallbackVtbl {
    bool(TX_CMETHOD* OnData)(TX_CTHIS_(IPlayCallback) const void* pcm, uint32_t bytes);
} IPlayCallbackVtbl;
struct IPlayCallback {
    const IPlayCallbackVtbl* lpVtbl;
};

typedef struct IConvertCallbackVtbl {
    bool(TX_CMETHOD* ConfirmOverwrite)(TX_CTHIS_(IConvertCallback) const char* path);
    void(TX_CMETHOD* ReportMessage)(TX_CTHIS_(IConvertCallback) const char* text);
    void(TX_CMETHOD* ReportError)(TX_CTHIS_(IConvertCallback) const char* text, const char* kind);
    void(TX_CMETHOD* SetProgressRange)(TX_CTHIS_(IConvertCallback) uint32_t total);
    void(TX_CMETHOD* SetProgressPos)(TX_CTHIS_(IConvertCallback) uint32_t pos);
    void(TX_CMETHOD* StepProgress)(TX_CTHIS_(IConvertCallback) uint32_t bytes);
    void(TX_CMETHOD* SetStatusText)(TX_CTHIS_(IConvertCallback) const char* text);
    int32_t(TX_CMETHOD* IsCancelled)(TX_CTHIS(IConvertCallback));
    void(TX_CMETHOD* SetItemText)(TX_CTHIS_(IConvertCallback) const char* text, int32_t flag);
} IConvertCallbackVtbl;
struct IConvertCallback {
    const IConvertCallbackVtbl* lpVtbl;
};
static_assert(sizeof(IConvertCallbackVtbl) == 9 * sizeof(void*), "IConvertCallback has nine slots");

typedef struct IConvertSourceVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IConvertSource* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(IConvertSource* This);
    ULONG(STDMETHODCALLTYPE* Release)(IConvertSource* This);
    bool(TX_CMETHOD* SetFileName)(TX_CTHIS_(IConvertSource) const char* path);
    bool(TX_CMETHOD* GetFileName)(TX_CTHIS_(IConvertSource) char* buf, int size);
    int32_t(TX_CMETHOD* GetFormatIndex)(TX_CTHIS(IConvertSource));
    int32_t(TX_CMETHOD* SetFormatIndex)(TX_CTHIS_(IConvertSource) int32_t index);
    bool(TX_CMETHOD* GetClassID)(TX_CTHIS_(IConvertSource) GUID* clsid);
    bool(TX_CMETHOD* GetFileTitle)(TX_CTHIS_(IConvertSource) char* buf, uint32_t size);
    bool(TX_CMETHOD* GetFileDir)(TX_CTHIS_(IConvertSource) char* buf, uint32_t size);
    bool(TX_CMETHOD* Open)(TX_CTHIS(IConvertSource));
    bool(TX_CMETHOD* SetStartTime)(TX_CTHIS_(IConvertSource) int32_t ms);
    bool(TX_CMETHOD* Play)(TX_CTHIS_(IConvertSource) IPlayCallback* sink);
    bool(TX_CMETHOD* Close)(TX_CTHIS(IConvertSource));
    bool(TX_CMETHOD* GetMetadata)(TX_CTHIS_(IConvertSource) IMetadata** md);
    bool(TX_CMETHOD* GetLength)(TX_CTHIS_(IConvertSource) uint32_t* bytes, int32_t startMs, int32_t endMs);
    bool(TX_CMETHOD* GetFormat)(TX_CTHIS_(IConvertSource) WAVEFORMATEX* wfx);
    void(TX_CMETHOD* SetErrorLog)(TX_CTHIS_(IConvertSource) IConvertCallback* cb);
} IConvertSourceVtbl;
struct IConvertSource {
    const IConvertSourceVtbl* lpVtbl;
};
static_assert(sizeof(IConvertSourceVtbl) == 18 * sizeof(void*), "IConvertSource has 18 slots");

typedef struct IConvertDestinationVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IConvertDestination* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(IConvertDestination* This);
    ULONG(STDMETHODCALLTYPE* Release)(IConvertDestination* This);
    int32_t(TX_CMETHOD* GetFormatIndex)(TX_CTHIS(IConvertDestination));
    int32_t(TX_CMETHOD* SetFormatIndex)(TX_CTHIS_(IConvertDestination) int32_t index);
    bool(TX_CMETHOD* GetClassID)(TX_CTHIS_(IConvertDestination) GUID* clsid);
    bool(TX_CMETHOD* SetFileName)(TX_CTHIS_(IConvertDestination) const char* path);
    bool(TX_CMETHOD* GetFileName)(TX_CTHIS_(IConvertDestination) char* buf, int size);
    bool(TX_CMETHOD* Open)(TX_CTHIS(IConvertDestination));
    bool(TX_CMETHOD* Write)(TX_CTHIS_(IConvertDestination) uint32_t bytes, const void* pcm);
    bool(TX_CMETHOD* Close)(TX_CTHIS(IConvertDestination));
    bool(TX_CMETHOD* GetMetadata)(TX_CTHIS_(IConvertDestination) IMetadata** md);
    bool(TX_CMETHOD* SetSource)(TX_CTHIS_(IConvertDestination) IConvertSource* src);
    bool(TX_CMETHOD* EstimateSize)(TX_CTHIS_(IConvertDestination) uint32_t inBytes,
                                   const WAVEFORMATEX* inFormat, uint32_t* outBytes);
    bool(TX_CMETHOD* SetFormat)(TX_CTHIS_(IConvertDestination) const WAVEFORMATEX* wfx);
    bool(TX_CMETHOD* ShowSettingsDialog)(TX_CTHIS_(IConvertDestination) HWND parent,
                                         IConvertDestination** alsoApply);
    bool(TX_CMETHOD* GetSettingsText)(TX_CTHIS_(IConvertDestination) char* buf, int size);
    bool(TX_CMETHOD* SetOption)(TX_CTHIS_(IConvertDestination) const char* name, const char* value,
                                char* message);
    void(TX_CMETHOD* SetErrorLog)(TX_CTHIS_(IConvertDestination) IConvertCallback* cb);
} IConvertDestinationVtbl;
struct IConvertDestination {
    const IConvertDestinationVtbl* lpVtbl;
};
static_assert(sizeof(IConvertDestinationVtbl) == 19 * sizeof(void*), "IConvertDestination has 19 slots");

#else
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
#endif

// Interface identifiers answered by QueryInterface.
TX_DEFINE_GUID(IID_IConvertSource, 0xD171DBC1, 0x0A6D, 0x11D4, 0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14,
               0xD8);
TX_DEFINE_GUID(IID_IConvertDestination, 0xD171DBC2, 0x0A6D, 0x11D4, 0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14,
               0xD8);

// Class identifiers written by GetClassID; several format rows share one.
TX_DEFINE_GUID(CLSID_WMAConvSource, 0xD171DBC4, 0x0A6D, 0x11D4, 0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14,
               0xD8);
TX_DEFINE_GUID(CLSID_WavConvSource, 0xD171DBC6, 0x0A6D, 0x11D4, 0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14,
               0xD8);
TX_DEFINE_GUID(CLSID_AudioCDTrack, 0x3908EC30, 0x9C0E, 0x4E42, 0x92, 0xB2, 0xF7, 0x1E, 0xC1, 0xFA, 0x7A,
               0xED);
TX_DEFINE_GUID(CLSID_MIDIConvSource, 0xB0E6CE5A, 0xCD47, 0x4384, 0x8E, 0x54, 0xE1, 0xF2, 0xC5, 0x52, 0xED,
               0x91);
TX_DEFINE_GUID(CLSID_QCPConvSource, 0xB0E6CE5A, 0xCDFF, 0x4384, 0xFF, 0xFA, 0xE1, 0xA2, 0xC5, 0x52, 0xED,
               0x90);
TX_DEFINE_GUID(CLSID_DirectShowConvSource, 0xB0E6CE5A, 0xCD47, 0x4384, 0xFF, 0xFF, 0xE1, 0xA2, 0xC5, 0x52,
               0xED, 0x90);
TX_DEFINE_GUID(CLSID_MP3ConvDest, 0x7A0CEE00, 0x1248, 0x11D4, 0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8);
TX_DEFINE_GUID(CLSID_WavConvDest, 0xD171DBC3, 0x0A6D, 0x11D4, 0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8);
TX_DEFINE_GUID(CLSID_WMAConvDest, 0xD171DBC5, 0x0A6D, 0x11D4, 0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8);
TX_DEFINE_GUID(CLSID_AIFFConvDest, 0x709A0B70, 0x182E, 0x487D, 0xB6, 0x73, 0xDE, 0x10, 0xA9, 0x9C, 0x0D,
               0xEA);
TX_DEFINE_GUID(CLSID_OggConvDest, 0xE553989E, 0xB6A3, 0x475F, 0x9E, 0xDC, 0xFE, 0x69, 0xCC, 0xE2, 0xB8, 0x8C);
TX_DEFINE_GUID(CLSID_DirectShowConvDest, 0x709A0B70, 0x18EE, 0x487D, 0xB6, 0x73, 0xDE, 0x10, 0xA9, 0x9C, 0x0D,
               0xEA);
TX_DEFINE_GUID(CLSID_RedBookDest, 0x6DD6FEDD, 0x1A33, 0x4A6E, 0x80, 0x50, 0x5B, 0xCF, 0x7E, 0x63, 0x51, 0x97);
