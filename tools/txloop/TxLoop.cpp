// winetxloop.drv: a loopback sound device for Wine. Its MIDI output plays notes on a small
// sine synthesizer, and its one capture endpoint records what that synthesizer plays, paced
// by the clock. winmm reaches the MIDI half through modMessage; MMDevAPI (and through it
// waveIn*) reaches the capture half through the driver entry points Wine's own audio drivers
// export. Both halves live in the one loaded copy of this DLL, so they share the synthesizer.
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>
#include <initguid.h>
#include <audioclient.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include "ComObject.h"
#include "ComPtr.h"
#include "Handles.h"

#include <math.h>
#include <stdint.h>
#include <string.h>

#include <vector>

extern "C" BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD message,
                                      DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Serializes the synthesizer between the sequencer's thread and the recorder's.
class Lock {
public:
    explicit Lock(CRITICAL_SECTION& section) : m_section(section) { EnterCriticalSection(&m_section); }
    ~Lock() { LeaveCriticalSection(&m_section); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CRITICAL_SECTION& m_section;
};

// Sine voices with a short attack and release: a held note's spectrum peaks at its pitch.
class Synth {
public:
    Synth() { InitializeCriticalSection(&m_lock); }
    ~Synth() { DeleteCriticalSection(&m_lock); }

    void Message(DWORD message) {
        const BYTE status = BYTE(message), data1 = BYTE(message >> 8) & 0x7f,
                   data2 = BYTE(message >> 16) & 0x7f;
        const int channel = status & 0x0f;
        Lock lock(m_lock);
        switch (status & 0xf0) {
        case 0x90:
            if (data2) {
                NoteOn(channel, data1, data2);
                break;
            }
            [[fallthrough]];
        case 0x80:
            for (Voice& voice : m_voices)
                if (voice.gain > 0 && voice.channel == channel && voice.note == data1)
                    voice.held = false;
            break;
        case 0xb0:
            // All sound off, reset controllers, all notes off and the mode messages that imply it.
            if (data1 >= 120)
                ReleaseChannel(channel);
            break;
        }
    }

    void AllNotesOff() {
        Lock lock(m_lock);
        for (int channel = 0; channel < 16; ++channel)
            ReleaseChannel(channel);
    }

    // Interleaved 16-bit samples, the same signal in every channel.
    void Render(int16_t* out, UINT32 frames, UINT channels, UINT rate) {
        const double attack = 1.0 / (0.005 * rate), release = 1.0 / (0.05 * rate);
        Lock lock(m_lock);
        for (UINT32 frame = 0; frame < frames; ++frame) {
            double sum = 0;
            for (Voice& voice : m_voices) {
                if (voice.gain <= 0 && !voice.held)
                    continue;
                if (voice.held)
                    voice.gain = voice.gain + attack < 1 ? voice.gain + attack : 1;
                else
                    voice.gain = voice.gain > release ? voice.gain - release : 0;
                sum += voice.gain * voice.level * sin(voice.phase);
                voice.phase += kTwoPi * voice.frequency / rate;
                if (voice.phase > kTwoPi)
                    voice.phase -= kTwoPi;
            }
            const double clipped = sum > 1 ? 1 : sum < -1 ? -1 : sum;
            for (UINT c = 0; c < channels; ++c)
                *out++ = int16_t(lrint(clipped * 32767));
        }
    }

private:
    struct Voice {
        int channel = 0, note = -1;
        bool held = false;
        double gain = 0, level = 0, frequency = 0, phase = 0;
    };

    void NoteOn(int channel, int note, int velocity) {
        // A free voice, else the quietest one.
        Voice* chosen = &m_voices[0];
        for (Voice& voice : m_voices) {
            if (!voice.held && voice.gain <= 0) {
                chosen = &voice;
                break;
            }
            if (voice.gain < chosen->gain)
                chosen = &voice;
        }
        chosen->channel = channel;
        chosen->note = note;
        chosen->held = true;
        chosen->level = 0.25 * velocity / 127;
        chosen->frequency = 440 * pow(2.0, (note - 69) / 12.0);
        chosen->gain = 0;
        chosen->phase = 0;
    }

    void ReleaseChannel(int channel) {
        for (Voice& voice : m_voices)
            if (voice.channel == channel)
                voice.held = false;
    }

    CRITICAL_SECTION m_lock;
    Voice m_voices[32];
};

Synth g_synth;

// ---- MIDI output -------------------------------------------------------------------------

struct MidiPort {
    bool open = false;
    MIDIOPENDESC desc = {};
    DWORD flags = 0;

    void Notify(UINT message, DWORD_PTR param1) {
        DriverCallback(desc.dwCallback, flags, reinterpret_cast<HDRVR>(desc.hMidi), message, desc.dwInstance,
                       param1, 0);
    }
};

MidiPort g_port;

// The short messages inside a long-message buffer; system exclusive data is skipped.
void PlayLongData(const BYTE* data, DWORD size) {
    BYTE running = 0;
    for (DWORD i = 0; i < size;) {
        if (data[i] == 0xf0) {
            while (i < size && data[i] != 0xf7)
                ++i;
            ++i;
            continue;
        }
        if (data[i] & 0x80)
            running = data[i++];
        if (!running)
            return;
        const BYTE kind = running & 0xf0;
        const DWORD length = (kind == 0xc0 || kind == 0xd0) ? 1 : running >= 0xf0 ? 0 : 2;
        DWORD message = running;
        for (DWORD k = 0; k < length && i < size; ++k)
            message |= DWORD(data[i++]) << (8 * (k + 1));
        g_synth.Message(message);
    }
}

} // namespace

extern "C" LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM param1,
                                       LPARAM param2) {
    switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_OPEN:
    case DRV_CLOSE:
    case DRV_ENABLE:
    case DRV_DISABLE:
        return 1;
    default:
        return DefDriverProc(id, driver, message, param1, param2);
    }
}

extern "C" DWORD WINAPI modMessage(UINT device, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR param2) {
    switch (message) {
    case DRVM_INIT:
    case DRVM_EXIT:
    case DRVM_ENABLE:
    case DRVM_DISABLE:
        return MMSYSERR_NOERROR;
    case MODM_GETNUMDEVS:
        return 1;
    }
    if (device != 0)
        return MMSYSERR_BADDEVICEID;
    switch (message) {
    case MODM_GETDEVCAPS: {
        MIDIOUTCAPSW caps = {};
        caps.wMid = 0xff;
        caps.wPid = 1;
        caps.vDriverVersion = 0x100;
        lstrcpynW(caps.szPname, L"Trelvox loopback synthesizer", MAXPNAMELEN);
        caps.wTechnology = MOD_SWSYNTH;
        caps.wVoices = 32;
        caps.wNotes = 32;
        caps.wChannelMask = 0xffff;
        memcpy(reinterpret_cast<void*>(param1), &caps, param2 < sizeof(caps) ? param2 : sizeof(caps));
        return MMSYSERR_NOERROR;
    }
    case MODM_OPEN: {
        if (g_port.open)
            return MMSYSERR_ALLOCATED;
        g_port.open = true;
        g_port.desc = *reinterpret_cast<MIDIOPENDESC*>(param1);
        g_port.flags = HIWORD(param2 & CALLBACK_TYPEMASK);
        g_port.Notify(MOM_OPEN, 0);
        return MMSYSERR_NOERROR;
    }
    case MODM_CLOSE:
        if (!g_port.open)
            return MMSYSERR_ERROR;
        g_synth.AllNotesOff();
        g_port.Notify(MOM_CLOSE, 0);
        g_port.open = false;
        return MMSYSERR_NOERROR;
    case MODM_DATA:
        g_synth.Message(DWORD(param1));
        return MMSYSERR_NOERROR;
    case MODM_LONGDATA: {
        auto* header = reinterpret_cast<MIDIHDR*>(param1);
        if (!header || !(header->dwFlags & MHDR_PREPARED))
            return MIDIERR_UNPREPARED;
        PlayLongData(reinterpret_cast<const BYTE*>(header->lpData), header->dwBufferLength);
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        g_port.Notify(MOM_DONE, param1);
        return MMSYSERR_NOERROR;
    }
    case MODM_RESET:
        g_synth.AllNotesOff();
        return MMSYSERR_NOERROR;
    default:
        // Preparing headers is left to winmm.
        return MMSYSERR_NOTSUPPORTED;
    }
}

// ---- Capture endpoint --------------------------------------------------------------------

namespace {

// {6D0C1E4B-4F0A-4C55-9B7E-2A1D5E8C7A10}
const GUID kCaptureGuid = {0x6d0c1e4b, 0x4f0a, 0x4c55, {0x9b, 0x7e, 0x2a, 0x1d, 0x5e, 0x8c, 0x7a, 0x10}};
// KSDATAFORMAT_SUBTYPE_PCM.
const GUID kPcmSubtype = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr REFERENCE_TIME kPeriod = 100000; // 10 ms
constexpr DWORD kTickMs = 10;

LONGLONG Now100ns() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return LONGLONG(double(count.QuadPart) * 10000000.0 / double(frequency.QuadPart));
}

bool Supported(const WAVEFORMATEX* format) {
    if (!format || format->wBitsPerSample != 16 || format->nChannels < 1 || format->nChannels > 2 ||
        format->nSamplesPerSec < 8000 || format->nSamplesPerSec > 192000 ||
        format->nBlockAlign != format->nChannels * 2)
        return false;
    if (format->wFormatTag == WAVE_FORMAT_PCM)
        return true;
    if (format->wFormatTag != WAVE_FORMAT_EXTENSIBLE || format->cbSize < 22)
        return false;
    return IsEqualGUID(reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format)->SubFormat, kPcmSubtype);
}

class CaptureStream;

// The recorder's view of the stream: packets of whatever the synthesizer played since the last.
class CaptureClient : public trelvox::ComObject<IAudioCaptureClient> {
public:
    explicit CaptureClient(CaptureStream* stream);
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64* position,
                                        UINT64* qpc) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) override;
    HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) override;

private:
    void* FindInterface(REFIID riid) override {
        return IsEqualIID(riid, IID_IAudioCaptureClient) ? static_cast<IAudioCaptureClient*>(this) : nullptr;
    }
    trelvox::ComPtr<IAudioClient> m_owner;
    CaptureStream* m_stream;
};

class Clock : public trelvox::ComObject<IAudioClock> {
public:
    explicit Clock(CaptureStream* stream);
    HRESULT STDMETHODCALLTYPE GetFrequency(UINT64* frequency) override;
    HRESULT STDMETHODCALLTYPE GetPosition(UINT64* position, UINT64* qpc) override;
    HRESULT STDMETHODCALLTYPE GetCharacteristics(DWORD* characteristics) override {
        if (!characteristics)
            return E_POINTER;
        *characteristics = 0;
        return S_OK;
    }

private:
    void* FindInterface(REFIID riid) override {
        return IsEqualIID(riid, IID_IAudioClock) ? static_cast<IAudioClock*>(this) : nullptr;
    }
    trelvox::ComPtr<IAudioClient> m_owner;
    CaptureStream* m_stream;
};

// One shared-mode capture stream. Time runs while it is started; every frame of that time
// is rendered by the synthesizer when the recorder asks for it.
class CaptureStream : public trelvox::ComObject<IAudioClient> {
public:
    CaptureStream() { InitializeCriticalSection(&m_lock); }
    ~CaptureStream() override {
        StopTicker();
        DeleteCriticalSection(&m_lock);
    }

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE, DWORD, REFERENCE_TIME duration, REFERENCE_TIME,
                                         const WAVEFORMATEX* format, LPCGUID) override {
        Lock lock(m_lock);
        if (m_initialized)
            return AUDCLNT_E_ALREADY_INITIALIZED;
        if (!format)
            return E_POINTER;
        if (!Supported(format))
            return AUDCLNT_E_UNSUPPORTED_FORMAT;
        m_rate = format->nSamplesPerSec;
        m_channels = format->nChannels;
        const REFERENCE_TIME length = duration > 10000000 ? duration : 10000000;
        m_bufferFrames = UINT32(length * m_rate / 10000000);
        m_initialized = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override {
        if (!frames)
            return E_POINTER;
        if (!m_initialized)
            return AUDCLNT_E_NOT_INITIALIZED;
        *frames = m_bufferFrames;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME* latency) override {
        if (!latency)
            return E_POINTER;
        *latency = kPeriod;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* frames) override {
        if (!frames)
            return E_POINTER;
        if (!m_initialized)
            return AUDCLNT_E_NOT_INITIALIZED;
        Lock lock(m_lock);
        *frames = m_packet.empty() ? Due() : PacketFrames();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE, const WAVEFORMATEX* format,
                                                WAVEFORMATEX** closest) override {
        if (closest)
            *closest = nullptr;
        if (!format)
            return E_POINTER;
        return Supported(format) ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
    }
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override {
        if (!format)
            return E_POINTER;
        *format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
        if (!*format)
            return E_OUTOFMEMORY;
        **format = {WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 16, 0};
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* normal, REFERENCE_TIME* minimum) override {
        if (!normal && !minimum)
            return E_POINTER;
        if (normal)
            *normal = kPeriod;
        if (minimum)
            *minimum = kPeriod;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Start() override {
        Lock lock(m_lock);
        if (!m_initialized)
            return AUDCLNT_E_NOT_INITIALIZED;
        if (m_started)
            return AUDCLNT_E_NOT_STOPPED;
        // Time already recorded (before a Stop) is not played again.
        m_origin = Now100ns() - LONGLONG(m_elapsedFrames) * 10000000 / m_rate;
        m_started = true;
        m_stopTicker.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        m_ticker.reset(CreateThread(nullptr, 0, &Ticker, this, 0, nullptr));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override {
        {
            Lock lock(m_lock);
            if (!m_initialized)
                return AUDCLNT_E_NOT_INITIALIZED;
            if (!m_started)
                return S_FALSE;
            m_elapsedFrames = Elapsed();
            m_started = false;
        }
        StopTicker();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        Lock lock(m_lock);
        if (!m_initialized)
            return AUDCLNT_E_NOT_INITIALIZED;
        if (m_started)
            return AUDCLNT_E_NOT_STOPPED;
        m_elapsedFrames = m_delivered = 0;
        m_packet.clear();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE event) override {
        if (!event)
            return E_INVALIDARG;
        Lock lock(m_lock);
        m_event = event;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetService(REFIID riid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!m_initialized)
            return AUDCLNT_E_NOT_INITIALIZED;
        if (IsEqualIID(riid, IID_IAudioCaptureClient))
            *out = static_cast<IAudioCaptureClient*>(new CaptureClient(this));
        else if (IsEqualIID(riid, IID_IAudioClock))
            *out = static_cast<IAudioClock*>(new Clock(this));
        else
            return E_NOINTERFACE;
        return S_OK;
    }

    HRESULT NextPacket(BYTE** data, UINT32* frames, DWORD* flags, UINT64* position, UINT64* qpc) {
        if (!data || !frames || !flags)
            return E_POINTER;
        Lock lock(m_lock);
        if (m_packet.empty()) {
            const UINT32 due = Due();
            if (due > 0) {
                m_packet.resize(size_t(due) * m_channels);
                g_synth.Render(m_packet.data(), due, m_channels, m_rate);
            }
        }
        *frames = PacketFrames();
        *data = m_packet.empty() ? nullptr : reinterpret_cast<BYTE*>(m_packet.data());
        *flags = 0;
        if (position)
            *position = m_delivered;
        if (qpc)
            *qpc = UINT64(Now100ns());
        return *frames ? S_OK : AUDCLNT_S_BUFFER_EMPTY;
    }
    HRESULT ReleasePacket(UINT32 frames) {
        Lock lock(m_lock);
        if (frames == 0)
            return S_OK; // the same packet comes again
        if (frames != PacketFrames())
            return AUDCLNT_E_INVALID_SIZE;
        m_delivered += frames;
        m_packet.clear();
        return S_OK;
    }
    UINT32 PendingFrames() {
        Lock lock(m_lock);
        return m_packet.empty() ? Due() : PacketFrames();
    }
    UINT64 Rate() const { return m_rate; }
    UINT64 Delivered() {
        Lock lock(m_lock);
        return m_delivered;
    }

private:
    void* FindInterface(REFIID riid) override {
        return IsEqualIID(riid, IID_IAudioClient) ? static_cast<IAudioClient*>(this) : nullptr;
    }

    UINT64 Elapsed() const {
        if (!m_started)
            return m_elapsedFrames;
        return UINT64(Now100ns() - m_origin) * m_rate / 10000000;
    }
    // Frames played but not yet handed over; a recorder that falls a whole buffer behind loses
    // the oldest, as a device overrun would.
    UINT32 Due() {
        const UINT64 elapsed = Elapsed();
        if (elapsed - m_delivered > m_bufferFrames)
            m_delivered = elapsed - m_bufferFrames;
        return UINT32(elapsed - m_delivered);
    }
    UINT32 PacketFrames() const { return UINT32(m_packet.size() / m_channels); }

    static DWORD WINAPI Ticker(void* param) {
        auto* self = static_cast<CaptureStream*>(param);
        while (WaitForSingleObject(self->m_stopTicker.get(), kTickMs) == WAIT_TIMEOUT) {
            HANDLE event;
            {
                Lock lock(self->m_lock);
                event = self->m_event;
            }
            if (event)
                SetEvent(event);
        }
        return 0;
    }
    void StopTicker() {
        if (m_ticker) {
            SetEvent(m_stopTicker.get());
            WaitForSingleObject(m_ticker.get(), INFINITE);
        }
        m_ticker.reset();
        m_stopTicker.reset();
    }

    CRITICAL_SECTION m_lock;
    bool m_initialized = false, m_started = false;
    UINT32 m_rate = 44100, m_channels = 1, m_bufferFrames = 0;
    LONGLONG m_origin = 0;
    UINT64 m_elapsedFrames = 0, m_delivered = 0;
    std::vector<int16_t> m_packet;
    HANDLE m_event = nullptr;
    trelvox::UniqueHandle m_ticker, m_stopTicker;
};

CaptureClient::CaptureClient(CaptureStream* stream) : m_stream(stream) {
    stream->AddRef();
    m_owner = trelvox::ComPtr<IAudioClient>(stream);
}
HRESULT CaptureClient::GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64* position, UINT64* qpc) {
    return m_stream->NextPacket(data, frames, flags, position, qpc);
}
HRESULT CaptureClient::ReleaseBuffer(UINT32 frames) {
    return m_stream->ReleasePacket(frames);
}
HRESULT CaptureClient::GetNextPacketSize(UINT32* frames) {
    if (!frames)
        return E_POINTER;
    *frames = m_stream->PendingFrames();
    return S_OK;
}

Clock::Clock(CaptureStream* stream) : m_stream(stream) {
    stream->AddRef();
    m_owner = trelvox::ComPtr<IAudioClient>(stream);
}
HRESULT Clock::GetFrequency(UINT64* frequency) {
    if (!frequency)
        return E_POINTER;
    *frequency = m_stream->Rate();
    return S_OK;
}
HRESULT Clock::GetPosition(UINT64* position, UINT64* qpc) {
    if (!position)
        return E_POINTER;
    *position = m_stream->Delivered();
    if (qpc)
        *qpc = UINT64(Now100ns());
    return S_OK;
}

} // namespace

// MMDevAPI's driver entry points (the same ones Wine's own audio drivers export).

extern "C" int WINAPI GetPriority() {
    return 3; // preferred over any other driver in the list
}

extern "C" HRESULT WINAPI GetEndpointIDs(EDataFlow flow, WCHAR*** ids, GUID** guids, UINT* count,
                                         UINT* defaultIndex) {
    *ids = nullptr;
    *guids = nullptr;
    *count = 0;
    *defaultIndex = 0;
    if (flow != eCapture)
        return S_OK;
    static const WCHAR name[] = L"Trelvox loopback";
    auto** idList = static_cast<WCHAR**>(HeapAlloc(GetProcessHeap(), 0, sizeof(WCHAR*)));
    auto* guidList = static_cast<GUID*>(HeapAlloc(GetProcessHeap(), 0, sizeof(GUID)));
    WCHAR* id = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, sizeof(name)));
    if (!idList || !guidList || !id) {
        HeapFree(GetProcessHeap(), 0, idList);
        HeapFree(GetProcessHeap(), 0, guidList);
        HeapFree(GetProcessHeap(), 0, id);
        return E_OUTOFMEMORY;
    }
    memcpy(id, name, sizeof(name));
    idList[0] = id;
    guidList[0] = kCaptureGuid;
    *ids = idList;
    *guids = guidList;
    *count = 1;
    return S_OK;
}

extern "C" HRESULT WINAPI GetAudioEndpoint(GUID* guid, IMMDevice*, IAudioClient** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!guid || !IsEqualGUID(*guid, kCaptureGuid))
        return AUDCLNT_E_DEVICE_INVALIDATED;
    *out = new CaptureStream;
    return S_OK;
}

extern "C" HRESULT WINAPI GetAudioSessionManager(IMMDevice*, IAudioSessionManager2** out) {
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}
