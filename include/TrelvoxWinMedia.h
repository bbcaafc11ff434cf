// Pull access to a decoded stream, offered by the Windows Media and DirectShow sources next to
// IConvertSource (query the source for these interfaces).
#pragma once

#include "TrelvoxConvert.h"

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

inline constexpr GUID IID_ISampleReader = {
    0xD171DBC1, 0x0A6D, 0x11D4, {0x92, 0x50, 0xFF, 0xFF, 0x48, 0xEF, 0x14, 0xD8}};
inline constexpr GUID IID_ISourceInfo = {
    0xD171DBF5, 0x0A6D, 0x11D4, {0x92, 0x50, 0x00, 0x80, 0x48, 0xEF, 0x14, 0xD8}};
