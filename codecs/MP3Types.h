// What crosses the interface of the LAME encoder library "lame_enc.dll" (its BladeEnc-style
// entry points): the packed configuration record and the entry point types.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

namespace trelvox {

constexpr uint32_t kLameConfigKind = 256; // the LAME extension of the BladeEnc record
constexpr uint32_t kLameConfigVersion = 1;

// The configuration passed to beInitStream: byte-packed, 331 bytes, unused bytes 0.
#pragma pack(push, 1)
struct LAMECONFIG {
    uint32_t configKind;
    uint32_t structVersion;
    uint32_t structSize;
    uint32_t sampleRate;   // of the input, Hz
    uint32_t reSampleRate; // of the output, Hz; 0 = the input's
    int32_t mode;          // 0 stereo, 1 joint stereo, 3 mono
    uint32_t bitrate;      // kbps: the CBR rate, the VBR minimum
    uint32_t maxBitrate;   // kbps
    int32_t preset;        // -1: none
    uint32_t mpegVersion;
    uint32_t psyModel;
    uint32_t emphasis;
    int32_t privateBit;
    int32_t crc;
    int32_t copyright;
    int32_t original;
    int32_t writeVBRHeader;
    int32_t enableVBR;
    int32_t vbrQuality; // 0 best .. 9
    uint32_t abrBps;    // ABR target, bits per second
    int32_t vbrMethod;  // -1 none, 1 old VBR, 2 new (fast) VBR, 4 ABR
    int32_t noReservoir;
    int32_t strictIso;
    uint16_t quality; // low byte the quality, high byte its complement
    uint8_t reserved[237];
};
#pragma pack(pop)
static_assert(sizeof(LAMECONFIG) == 331, "LAMECONFIG is 331 bytes");
static_assert(offsetof(LAMECONFIG, sampleRate) == 12, "LAMECONFIG layout");
static_assert(offsetof(LAMECONFIG, mode) == 20, "LAMECONFIG layout");
static_assert(offsetof(LAMECONFIG, preset) == 32, "LAMECONFIG layout");
static_assert(offsetof(LAMECONFIG, privateBit) == 48, "LAMECONFIG layout");
static_assert(offsetof(LAMECONFIG, writeVBRHeader) == 64, "LAMECONFIG layout");
static_assert(offsetof(LAMECONFIG, abrBps) == 76, "LAMECONFIG layout");
static_assert(offsetof(LAMECONFIG, vbrMethod) == 80, "LAMECONFIG layout");
static_assert(offsetof(LAMECONFIG, strictIso) == 88, "LAMECONFIG layout");
static_assert(offsetof(LAMECONFIG, quality) == 92, "LAMECONFIG layout");
static_assert(offsetof(LAMECONFIG, reserved) == 94, "LAMECONFIG layout");

// The entry points (C calling convention); results 0 = success. Sample counts count single
// 16-bit values over all channels.
using LameStream = void*;
using BeInitStream = unsigned long(__cdecl*)(LAMECONFIG* config, DWORD* samplesPerChunk, DWORD* outputBytes,
                                             LameStream* stream);
using BeEncodeChunk = unsigned long(__cdecl*)(LameStream stream, DWORD samples, const int16_t* pcm,
                                              uint8_t* output, DWORD* outputBytes);
using BeDeinitStream = unsigned long(__cdecl*)(LameStream stream, uint8_t* output, DWORD* outputBytes);
using BeCloseStream = unsigned long(__cdecl*)(LameStream stream);
using BeVersion = void(__cdecl*)(void* version);
using BeWriteVBRHeader = unsigned long(__cdecl*)(const char* path);

} // namespace trelvox
