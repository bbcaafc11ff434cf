// The CD drives of this machine (cdrip::IAudioCDDevices): at most one list per process,
// made by the first CreateAudioCDDevices and destroyed by its last Release. The list starts
// the drive engine and owns one disc object per CD-ROM or write-once device, up to 16.
#pragma once

#include "AudioCD.h"
#include "CdEngine.h"
#include "ComObject.h"
#include "TrelvoxCD.h"

#include <memory>
#include <vector>

class CAudioCDDevices : public trelvox::ComObject<cdrip::IAudioCDDevices> {
public:
    static constexpr size_t kMaxDiscs = 16;

    // The process's list with a reference for the caller, made when there is none.
    static HRESULT Get(cdrip::IAudioCDDevices** out);

    // cdrip::IAudioCDDevices
    HRESULT TX_THISCALL GetCD(int index, cdrip::IAudioCD** cd) override;
    HRESULT TX_THISCALL SetDriveLetter(int index, int letter) override;
    int TX_THISCALL GetDriveLetterOf(int index) override;
    HRESULT TX_THISCALL QueryDriveLetter(int index, int* letter) override;
    HRESULT TX_THISCALL DetectDriveLetter(int index) override;
    HRESULT TX_THISCALL GetCDByLetter(int letter, cdrip::IAudioCD** cd) override;
    bool TX_THISCALL GetName(int index, char* buffer, int size) override;
    // buffer takes the whole message (under 512 bytes).
    bool TX_THISCALL GetInitError(char* buffer) override;
    uint32_t TX_THISCALL GetCapabilities(int index) override;
    int TX_THISCALL GetCount(uint32_t mask) override;
    void* TX_THISCALL DeletingDestructor(unsigned flags) override;

private:
    CAudioCDDevices() = default;
    ~CAudioCDDevices() override;
    void* FindInterface(REFIID riid) override;
    // Starts the engine and makes the disc objects.
    void Start();
    CAudioCD* At(int index) const;

    cdengine::Engine m_engine;
    std::vector<std::unique_ptr<CAudioCD>> m_discs;
};
