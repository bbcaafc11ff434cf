// Pull access to a decoded stream, offered by the Windows Media and DirectShow sources next to
// IConvertSource (query the source for these interfaces).
#pragma once

#include "TrelvoxConvert.h"

#ifndef __cplusplus
typedef struct ISampleReader ISampleReader;
typedef struct ISampleReaderVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(ISampleReader* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(ISampleReader* This);
    ULONG(STDMETHODCALLTYPE* Release)(ISampleReader* This);
    bool(TX_CMETHOD* SetPosition)(TX_CTHIS_(ISampleReader) DWORD frame);
    WORD(TX_CMETHOD* GetFrameSize)(TX_CTHIS(ISampleReader));
    bool(TX_CMETHOD* GetFrameCount)(TX_CTHIS_(ISampleReader) DWORD* frames);
    DWORD(TX_CMETHOD* ReadFrames)(TX_CTHIS_(ISampleReader) DWORD frames, void* buffer);
} ISampleReaderVtbl;
struct ISampleReader {
    const ISampleReaderVtbl* lpVtbl;
};

typedef struct ISourceInfo ISourceInfo;
typedef struct ISourceInfoVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(ISourceInfo* This, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(ISourceInfo* This);
    ULONG(STDMETHODCALLTYPE* Release)(ISourceInfo* This);
    bool(TX_CMETHOD* GetBitrate)(TX_CTHIS_(ISourceInfo) DWORD* bitsPerSecond);
} ISourceInfoVtbl;
struct ISourceInfo {
    const ISourceInfoVtbl* lpVtbl;
};
#else

// Reads PCM frames from any position. A frame is one sample of every channel (nBlockAlign
// bytes of the source's format).
struct ISampleReader : public IUnknown {
    // The next ReadFrames starts at this PCM frame.
    virtual bool TX_THISCALL SetPosition(DWORD frame) = 0;
    // Bytes per PCM frame; 0 before Open.
    virtual WORD TX_THISCALL GetFrameSize() = 0;
    // PCM length in frames; false (and 0) when the length is not known.
    virtual bool TX_THISCALL GetFrameCount(DWORD* frames) = 0;
    // Copies up to frames frames into buffer (frames x GetFrameSize() bytes, owned by the
    // caller); returns the frames copied, fewer at the end of the stream or on an error.
    virtual DWORD TX_THISCALL ReadFrames(DWORD frames, void* buffer) = 0;
};

// Facts about the encoded stream.
struct ISourceInfo : public IUnknown {
    // Bit rate of the audio stream in bits per second. On the Windows Media source this ends
    // the decoder's life: close and reopen the source before reading audio again.
    virtual bool TX_THISCALL GetBitrate(DWORD* bitsPerSecond) = 0;
};
#endif

TX_DEFINE_GUID(IID_ISampleReader, 0xD171DBC1, 0x0A6D, 0x11D4, 0x92, 0x50, 0xFF, 0xFF, 0x48, 0xEF, 0x14, 0xD8);
TX_DEFINE_GUID(IID_ISourceInfo, 0xD171DBF5, 0x0A6D, 0x11D4, 0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8);

#ifdef __cplusplus
extern "C" {
#endif
// Reads the Windows Media profile file prxPath (.prx) and stores its codec, format and mode as
// the Windows Media destination's defaults: 0, or -1 after a message box that says why.
TX_API int __cdecl WMASetDefaultProfile(const char* prxPath);
#ifdef __cplusplus
}
#endif
