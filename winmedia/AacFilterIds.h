// The class identifiers of the AAC encoder and MP4 muxer DirectShow filters that the MP4
// destination builds its graph with; tools/dshowaac registers its filters under them.
#pragma once

#include <guiddef.h>

namespace trelvox {

// {0EC0FC36-22B0-4631-98DB-2598309FD5F9}
constexpr GUID kClsidAacEncoder = {
    0x0EC0FC36, 0x22B0, 0x4631, {0x98, 0xDB, 0x25, 0x98, 0x30, 0x9F, 0xD5, 0xF9}};
// {12C79975-0C8E-46BF-A680-2BAB64E2F4A4}
constexpr GUID kClsidMp4Muxer = {
    0x12C79975, 0x0C8E, 0x46BF, {0xA6, 0x80, 0x2B, 0xAB, 0x64, 0xE2, 0xF4, 0xA4}};
// The system's file writer, {8596E5F0-0DA5-11D0-BD21-00A0C911CE86}.
constexpr GUID kClsidFileWriter = {
    0x8596E5F0, 0x0DA5, 0x11D0, {0xBD, 0x21, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};

} // namespace trelvox
