// Windows Media profiles built from a WMASETTINGS record, with everything the settings code
// asks of the runtime's profile manager and codec information: codec names, format lists
// and descriptions, profile files (.prx) and the encoder options.
#pragma once

#include "ComPtr.h"
#include "WMASettingsRecord.h"

#include <windows.h>
#include <wmsdk.h>

#include <string>
#include <vector>

namespace trelvox {

// One format of a codec as the dialog lists it and profile files are matched against.
struct WmaListedFormat {
    DWORD index = 0; // in the codec's format list under mode
    int32_t mode = WMASETTINGS::kCBR;
    DWORD rate = 0; // bits per second; the quality (0..100) for quality-based VBR formats
    DWORD sampleRate = 0;
    WORD channels = 0;
    WORD bitsPerSample = 0;
    bool lowDelay = false; // the description contains "Low Delay"
    std::string description;
};

// The runtime's profile manager and its codec-information interfaces. IWMCodecInfo3 (a
// version 9 runtime) adds the enumeration settings that select the VBR and two-pass
// formats; without it only the constant bit rate formats are listed.
class WmaCodecInfo {
public:
    // Creates the profile manager: the runtime's code when it cannot.
    HRESULT Open();

    IWMProfileManager* Manager() const { return m_manager.get(); }
    bool HasEnumerationSettings() const { return static_cast<bool>(m_info3); }

    DWORD CodecCount() const;
    // The codec's name in 8-bit text; empty when the runtime gives none.
    std::string CodecName(DWORD codec) const;
    // Sets the enumeration settings for mode: VBR for modes 1 and 2, two passes for modes 2
    // and 3. Does nothing without IWMCodecInfo3.
    HRESULT SetMode(DWORD codec, int32_t mode) const;
    // Only the VBR setting, for mode 0 (off) and modes 1 and 2 (on); mode 3 leaves it.
    HRESULT SetVbrForMode(DWORD codec, int32_t mode) const;
    HRESULT FormatCount(DWORD codec, DWORD* count) const;
    // The stream configuration of one format under the current enumeration settings.
    HRESULT Format(DWORD codec, DWORD format, IWMStreamConfig** config) const;
    // Its description in 8-bit text, and the configuration when config is not null.
    HRESULT FormatDescription(DWORD codec, DWORD format, std::string& text,
                              IWMStreamConfig** config = nullptr) const;
    // The codec's formats under mode (enumeration settings set first), without those meant
    // for audio with video ("(A/V)").
    HRESULT ListFormats(DWORD codec, int32_t mode, std::vector<WmaListedFormat>& formats) const;
    // A new profile with one audio stream of the record's codec, format and mode.
    HRESULT BuildProfile(const WMASETTINGS& record, IWMProfile** profile) const;

private:
    ComPtr<IWMProfileManager> m_manager;
    ComPtr<IWMCodecInfo> m_info;
    ComPtr<IWMCodecInfo2> m_info2;
    ComPtr<IWMCodecInfo3> m_info3;
};

// The media type of a stream configuration or input (anything with IWMMediaProps), in a
// buffer that holds the format block behind it; false when it cannot be had.
bool ReadMediaType(IUnknown* props, std::vector<BYTE>& buffer);
// The wave format in such a buffer, or null when it holds another kind of format.
const WAVEFORMATEX* WaveFormatIn(const std::vector<BYTE>& buffer);

// The record's profile through a profile manager of its own.
HRESULT BuildWmaProfile(const WMASETTINGS& record, IWMProfile** profile);
// The description of the record's codec format under its mode, cut to size-1 characters.
// False (and an empty text when size allows) when the runtime cannot give it.
bool WmaFormatDescription(const WMASETTINGS& record, char* text, int size);

// Reads a profile file into record. Null on success; otherwise the message to show, and the
// record is as it was.
const char* ReadWmaProfileFile(const char* path, WMASETTINGS& record);
// Writes record as a profile file; null or the message.
const char* WriteWmaProfileFile(const char* path, const WMASETTINGS& record);
// Shows a profile-file message in a box with the library's caption over owner (may be null).
void ShowWmaProfileMessage(HWND owner, const char* message);

// The encoder options "wma-codec" and "wma-format". On false for a known name, message (when
// not null) receives the reason; an unknown name leaves it untouched.
bool SetWmaOption(WMASETTINGS& record, const char* name, const char* value, char* message);

} // namespace trelvox
