#include "AudioCDDevices.h"

#include "SettingsStore.h"
#include "Trace.h"

#include <string.h>

#include <mutex>
#include <new>

namespace {

constexpr const char* kAspiHelp = "https://trelvox.example/help/aspi";

std::mutex g_listLock;
CAudioCDDevices* g_list = nullptr; // the process's list while it lives

} // namespace

HRESULT CAudioCDDevices::Get(cdrip::IAudioCDDevices** out) {
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    std::unique_lock<std::mutex> lock(g_listLock);
    if (g_list) {
        g_list->AddRef();
        *out = g_list;
        return S_OK;
    }
    CAudioCDDevices* list = new (std::nothrow) CAudioCDDevices;
    if (!list)
        return E_OUTOFMEMORY;
    try {
        list->Start();
    } catch (const std::bad_alloc&) {
        lock.unlock(); // the list's destructor takes the lock
        list->Release();
        return E_OUTOFMEMORY;
    }
    g_list = list;
    *out = list;
    return S_OK;
}

void CAudioCDDevices::Start() {
    int bufferSize = trelvox::ReadSettingInt("AudioCD", "ASPIBufferSize", 65000);
    cdengine::StartFlags flags;
    flags.passThrough = flags.writers = flags.capabilities = flags.unitAttention = true;
    cdengine::Status status = m_engine.Start(bufferSize > 0 ? static_cast<uint32_t>(bufferSize) : 0, flags);
    if (!status) {
        TX_TRACE(cd, "drive engine did not start: %d, %d", status.code, status.subCode);
        return;
    }
    for (const cdengine::HostAdapter& adapter : m_engine.Adapters())
        for (const std::unique_ptr<cdengine::Drive>& drive : adapter.devices)
            if ((drive->Type() == 5 || drive->Type() == 4) && m_discs.size() < kMaxDiscs)
                m_discs.push_back(std::make_unique<CAudioCD>(this, *drive));
}

CAudioCDDevices::~CAudioCDDevices() {
    {
        std::lock_guard<std::mutex> lock(g_listLock);
        if (g_list == this)
            g_list = nullptr;
    }
    m_discs.clear();
    m_engine.Shutdown();
}

void* CAudioCDDevices::FindInterface(REFIID riid) {
    return IsEqualIID(riid, cdrip::IID_IAudioCDDevices) ? static_cast<cdrip::IAudioCDDevices*>(this)
                                                        : nullptr;
}

void* CAudioCDDevices::DeletingDestructor(unsigned flags) {
    // MSVC's scalar deleting destructor: bit 0 frees the memory too.
    if (flags & 1)
        delete this;
    else
        this->~CAudioCDDevices();
    return this;
}

CAudioCD* CAudioCDDevices::At(int index) const {
    return index >= 0 && index < static_cast<int>(m_discs.size()) ? m_discs[index].get() : nullptr;
}

HRESULT CAudioCDDevices::GetCD(int index, cdrip::IAudioCD** cd) {
    CAudioCD* disc = At(index);
    if (!disc || !cd)
        return E_INVALIDARG;
    disc->AddRef();
    *cd = disc;
    return S_OK;
}

HRESULT CAudioCDDevices::SetDriveLetter(int index, int letter) {
    CAudioCD* disc = At(index);
    if (!disc)
        return E_INVALIDARG;
    disc->SetDriveLetter(letter);
    return S_OK;
}

int CAudioCDDevices::GetDriveLetterOf(int index) {
    CAudioCD* disc = At(index);
    return disc ? disc->GetDriveLetter() : 0;
}

HRESULT CAudioCDDevices::QueryDriveLetter(int index, int* letter) {
    CAudioCD* disc = At(index);
    if (!disc || !letter)
        return E_INVALIDARG;
    // Without detecting: the letter known, else the one last stored for this drive model.
    *letter = disc->KnownDriveLetter();
    if (*letter < 0)
        *letter = trelvox::ReadSettingInt("AudioCD", disc->SettingsKey().text, -1);
    return S_OK;
}

HRESULT CAudioCDDevices::DetectDriveLetter(int index) {
    CAudioCD* disc = At(index);
    if (!disc)
        return E_INVALIDARG;
    disc->DetectDriveLetter();
    return S_OK;
}

HRESULT CAudioCDDevices::GetCDByLetter(int letter, cdrip::IAudioCD** cd) {
    for (const std::unique_ptr<CAudioCD>& disc : m_discs)
        if (disc->GetDriveLetter() == letter)
            return GetCD(static_cast<int>(&disc - m_discs.data()), cd);
    return E_INVALIDARG;
}

bool CAudioCDDevices::GetName(int index, char* buffer, int size) {
    CAudioCD* disc = At(index);
    if (!disc || !buffer || size <= 0)
        return false;
    try {
        std::string name = disc->DisplayName();
        size_t n = name.size() < static_cast<size_t>(size) ? name.size() : static_cast<size_t>(size - 1);
        memcpy(buffer, name.data(), n);
        buffer[n] = '\0';
        return n > 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CAudioCDDevices::GetInitError(char* buffer) {
    if (m_engine.Started())
        return false;
    try {
        std::string text = m_engine.StartMessage();
        if (m_engine.StartError().code == cdengine::kErrNoAspi)
            text += std::string("\n\nPlease go here for more information:\n") + kAspiHelp;
        if (buffer) {
            text.resize(text.size() < 511 ? text.size() : 511);
            memcpy(buffer, text.c_str(), text.size() + 1);
        }
    } catch (const std::bad_alloc&) {
        if (buffer)
            *buffer = '\0';
    }
    return true;
}

uint32_t CAudioCDDevices::GetCapabilities(int index) {
    CAudioCD* disc = At(index);
    return disc ? disc->GetCapabilities() : 0;
}

int CAudioCDDevices::GetCount(uint32_t mask) {
    int count = 0;
    for (const std::unique_ptr<CAudioCD>& disc : m_discs)
        count += (disc->GetCapabilities() & mask) == mask;
    return count;
}

extern "C" HRESULT __cdecl CreateAudioCDDevices(cdrip::IAudioCDDevices** devices) {
    return CAudioCDDevices::Get(devices);
}
