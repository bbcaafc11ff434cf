#include "AudioCDTrack.h"

#include "AkripObjects.h"
#include "AudioCD.h"
#include "CDAFile.h"
#include "ComPtr.h"
#include "Handles.h"
#include "PathText.h"
#include "RedBookDest.h"
#include "SettingsStore.h"
#include "Trace.h"
#include "TrackChecksums.h"

#include "Trelvox.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <new>
#include <string>

namespace {

constexpr uint32_t kFrameBytes = 2352;
constexpr uint32_t kDirectReadBytes = akrip::CAudioCDTrack::kReadBytes; // 27 frames
constexpr uint32_t kFramesPerSecond = 75;

enum : uint32_t { kPathNone = 0, kPathDirect = 1, kPathSecure = 2 };

// ID3 frame ids of the tag made from the disc information.
constexpr int kFrameAlbum = 29;       // TALB
constexpr int kFrameContentType = 32; // TCON
constexpr int kFrameTitle = 47;       // TIT2
constexpr int kFrameSubtitle = 48;    // TIT3
constexpr int kFrameSongLength = 51;  // TLEN
constexpr int kFrameMediaType = 53;   // TMED
constexpr int kFrameLeadArtist = 61;  // TPE1
constexpr int kFrameTrackNumber = 68; // TRCK
constexpr int kFrameYear = 80;        // TYER

void AddTextFrame(IMetadataTag* tag, int frameId, const char* text) {
    if (!text[0])
        return;
    int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wide <= 0)
        return;
    std::wstring converted(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &converted[0], wide);
    trelvox::ComPtr<IMetadataFrameText> frame;
    if (FAILED(MetadataCreateFrame(frameId, IID_IMetadataFrameText, frame.putVoid())) || !frame)
        return;
    frame->SetText(converted.c_str());
    frame->AttachTo(tag);
}

// The drive engine's drive as the secure read loop sees it.
class EngineReader final : public secureread::FrameReader {
public:
    explicit EngineReader(cdengine::Drive& drive) : m_drive(drive) {}

    secureread::DriveStatus SetBlockSize(uint32_t bytes) override {
        return Convert(m_drive.SetBlockSize(bytes));
    }
    secureread::DriveStatus ReadFrames(uint32_t lba, uint32_t count, uint8_t* out) override {
        return Convert(m_drive.ReadFrames(lba, count, out));
    }
    void PostRead(uint8_t* data, uint32_t frames) override { m_drive.PostRead(data, frames); }
    bool WantsJitterCorrection() const override { return m_drive.WantsJitterCorrection(); }
    bool AbortRequested() const override { return m_drive.AbortRequested(); }

private:
    static secureread::DriveStatus Convert(const cdengine::Status& status) {
        secureread::DriveStatus out;
        out.code = status.code;
        out.subCode = status.subCode;
        if (status.code == cdengine::kErrRead)
            out.senseKey = (status.subCode >> 16) & 0xFF;
        return out;
    }

    cdengine::Drive& m_drive;
};

} // namespace

// Hands the PCM on to the conversion's sink and keeps the rip log's figures of what the sink
// accepted.
class CAudioCDTrack::ChecksumSink final : public secureread::BlockSink {
public:
    ChecksumSink(IPlayCallback* sink, cdrip::TrackReadReport& report, uint32_t totalSamples, bool first,
                 bool last)
        : m_sink(sink), m_report(report), m_sums(totalSamples, first, last) {}

    bool Deliver(const uint8_t* pcm, uint32_t bytes) {
        if (!m_sink->OnData(pcm, bytes))
            return false;
        m_sums.Add(pcm, bytes);
        m_report.framesDelivered = m_sums.Samples() * 4 / kFrameBytes;
        m_report.crc32 = m_sums.Crc32();
        m_report.accurateRipV1 = m_sums.AccurateRipV1();
        m_report.accurateRipV2 = m_sums.AccurateRipV2();
        return true;
    }

    // The secure read's blocks: a refusal sets the abort event, as the engine would see a
    // cancel from any other thread.
    bool OnBlock(const uint8_t* pcm, uint32_t bytes) override {
        if (Deliver(pcm, bytes))
            return true;
        if (m_abortEvent)
            SetEvent(m_abortEvent);
        return false;
    }
    void SetAbortEvent(HANDLE event) { m_abortEvent = event; }

private:
    IPlayCallback* m_sink;
    cdrip::TrackReadReport& m_report;
    TrackChecksums m_sums;
    HANDLE m_abortEvent = nullptr;
};

HRESULT CAudioCDTrack::Create(CAudioCD* disc, const cdrip::TrackRecord& record, cdrip::IAudioCDTrack** out) {
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    CAudioCDTrack* track = new (std::nothrow) CAudioCDTrack;
    if (!track)
        return E_OUTOFMEMORY;
    HRESULT result = track->Bind(disc, record);
    if (FAILED(result)) {
        track->Release();
        return result;
    }
    *out = track;
    return S_OK;
}

CAudioCDTrack::~CAudioCDTrack() {
    DetachFromCD();
}

void* CAudioCDTrack::FindInterface(REFIID riid) {
    if (IsEqualIID(riid, cdrip::IID_IAudioCDTrack))
        return static_cast<cdrip::IAudioCDTrack*>(this);
    if (IsEqualIID(riid, IID_IMetadata))
        return static_cast<IMetadata*>(this);
    if (IsEqualIID(riid, cdrip::IID_IAudioCDTrackReport))
        return static_cast<cdrip::IAudioCDTrackReport*>(this);
    return CDefConvertSource::FindInterface(riid);
}

HRESULT CAudioCDTrack::Bind(CAudioCD* disc, const cdrip::TrackRecord& record) {
    if (!disc)
        return E_INVALIDARG;
    DetachFromCD();
    HRESULT result = disc->AddTrackObject(this);
    if (FAILED(result))
        return result;
    disc->AddRef();
    m_disc = disc;
    m_record = record;
    return S_OK;
}

HRESULT CAudioCDTrack::DetachFromCD() {
    if (CAudioCD* disc = m_disc) {
        m_disc = nullptr;
        disc->RemoveTrackObject(this);
        disc->Release();
    }
    return S_OK;
}

HRESULT CAudioCDTrack::GetLengthMsf(uint8_t* minutes, uint8_t* seconds, uint8_t* frames) {
    if (!m_disc)
        return E_FAIL;
    uint32_t length = m_record.length;
    if (minutes)
        *minutes = static_cast<uint8_t>(length / (60 * kFramesPerSecond));
    if (seconds)
        *seconds = static_cast<uint8_t>(length / kFramesPerSecond % 60);
    if (frames)
        *frames = static_cast<uint8_t>(length % kFramesPerSecond);
    return S_OK;
}

HRESULT CAudioCDTrack::GetAudioCD(cdrip::IAudioCD** cd) {
    if (!m_disc)
        return E_FAIL;
    if (!cd)
        return E_INVALIDARG;
    m_disc->AddRef();
    *cd = m_disc;
    return S_OK;
}

HRESULT CAudioCDTrack::GetTrackRecord(cdrip::TrackRecord* record) {
    if (!record)
        return E_INVALIDARG;
    if (!m_disc)
        return E_FAIL;
    *record = m_record;
    return S_OK;
}

bool CAudioCDTrack::SetFileName(const char* path) {
    if (!path || !path[0] || !isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':')
        return false;
    trelvox::ComPtr<cdrip::IAudioCDDevices> devices;
    if (CreateAudioCDDevices(devices.put()) != S_OK)
        return false;
    trelvox::ComPtr<cdrip::IAudioCD> disc;
    if (devices->GetCDByLetter(toupper(static_cast<unsigned char>(path[0])) - 'A', disc.put()) != S_OK)
        return false;
    CCDAFile file;
    file.SetPath(path);
    cdrip::TrackRecord record = {};
    if (file.ReadRecord(&record) != S_OK)
        return false;
    disc->RefreshToc();
    // Discs only ever come from this library.
    return Bind(static_cast<CAudioCD*>(disc.get()), record) == S_OK && CDefConvertSource::SetFileName(path);
}

bool CAudioCDTrack::GetFileName(char* buf, int size) {
    if (!m_disc || !buf || size <= 0)
        return false;
    char name[32];
    snprintf(name, sizeof(name), "%c:\\Track%02d.cda", 'A' + m_disc->GetDriveLetter(), m_record.number);
    if (static_cast<size_t>(size) <= strlen(name))
        return false;
    strcpy(buf, name);
    return true;
}

bool CAudioCDTrack::GetClassID(GUID* clsid) {
    if (!clsid)
        return false;
    *clsid = CLSID_AudioCDTrack;
    return true;
}

bool CAudioCDTrack::GetFileTitle(char* buf, uint32_t size) {
    if (!m_disc || !buf || size == 0)
        return false;
    return m_disc->GetTrackTitle(m_record.number - 1, buf, static_cast<int>(size));
}

bool CAudioCDTrack::GetFileDir(char* buf, uint32_t size) {
    if (!m_disc || !buf || size == 0)
        return false;
    trelvox::CopyTruncated(buf, size, m_disc->DisplayName().c_str());
    return buf[0] != '\0';
}

bool CAudioCDTrack::Open() {
    if (!CDefConvertSource::Open())
        return false;
    if (!m_disc) {
        m_opened = 0;
        return false;
    }
    m_settings.readRetry = trelvox::ReadSettingInt("AudioCD", "ReadRetry", 3);
    m_settings.jitterCorrection = trelvox::ReadSettingInt("AudioCD", "JitterCorrection", 0);
    m_settings.errorMode = trelvox::ReadSettingInt("AudioCD", "ErrorMode", 0);
    m_firstFrame = m_record.start;
    m_endFrame = m_record.start + m_record.length;
    if (m_startTime > 0) {
        // Milliseconds to the nearest frame, at 75 frames a second.
        m_firstFrame += static_cast<uint32_t>(m_startTime / 13.333333333333334 + 0.5);
        if (m_firstFrame > m_endFrame)
            m_firstFrame = m_endFrame;
    }
    m_format = RedBookFormat();
    m_totalBytes = m_record.length * kFrameBytes;
    return true;
}

bool CAudioCDTrack::GetMetadata(IMetadata** md) {
    if (!md)
        return false;
    AddRef();
    *md = static_cast<IMetadata*>(this);
    return true;
}

void CAudioCDTrack::DiscEnds(bool& first, bool& last) {
    const std::vector<cdrip::TrackRecord>& tracks = m_disc->Tracks();
    first = !tracks.empty() && tracks.front().number == m_record.number;
    last = !tracks.empty() && tracks.back().number == m_record.number;
}

bool CAudioCDTrack::Play(IPlayCallback* sink) {
    if (!CDefConvertSource::Play(sink))
        return false;
    if (!m_disc || !sink)
        return false;
    m_report = cdrip::TrackReadReport();
    m_report.size = sizeof(m_report);
    if (trelvox::ReadSettingInt("Settings", "NoGoldenhawk", 1)) {
        bool result = false;
        if (PlayDirect(sink, result))
            return result;
        // The CD access layer does not have this drive; the engine does.
        PutProfileInt("Settings", "NoGoldenhawk", 0);
    }
    return PlaySecure(sink);
}

bool CAudioCDTrack::PlayDirect(IPlayCallback* sink, bool& result) {
    result = false;
    const cdengine::Drive& drive = m_disc->EngineDrive();
    trelvox::ComPtr<akrip::CAudioCDDevices> devices(new (std::nothrow) akrip::CAudioCDDevices());
    trelvox::UniqueBytes buffer = trelvox::AllocateBytes(kDirectReadBytes);
    if (!devices || !buffer) {
        SetError("Out of memory");
        return true;
    }
    trelvox::ComPtr<akrip::CAudioCD> cd;
    if (devices->GetCD(static_cast<uint8_t>(drive.HostAdapter()), static_cast<uint8_t>(drive.Target()),
                       static_cast<uint8_t>(drive.Lun()), cd.put()) != S_OK)
        return false;
    if (cd->Open(false) != S_OK) {
        SetError("Device cannot be opened");
        return true;
    }
    trelvox::ComPtr<akrip::CAudioCDTrack> track;
    bool found = cd->GetTrack(m_record.number - 1, track.put());
    // The track's stream keeps the drive open from here on.
    cd->Close();
    if (!found) {
        SetError("Track object %d not available", m_record.number);
        return true;
    }
    if (track->OpenStream() != S_OK) {
        SetError("Track cannot be opened");
        return true;
    }
    bool first = false, last = false;
    DiscEnds(first, last);
    m_report.path = kPathDirect;
    m_report.firstFrame = track->Start();
    ChecksumSink out(sink, m_report, track->Length() * (kFrameBytes / 4), first, last);
    uint32_t delivered = 0; // bytes
    result = true;
    for (;;) {
        uint32_t count = 0;
        HRESULT hr = track->Read(buffer.get(), &count);
        if (FAILED(hr)) {
            // The failed refill began right after the bytes delivered so far.
            uint32_t done = (delivered + count) / kFrameBytes;
            uint32_t left = track->Length() - done;
            uint32_t failed = track->Start() + done;
            SetError("Error reading frame %d to %d [Code %d, Return 0x%02lX]", failed,
                     failed + (left < akrip::kFramesPerRead ? left : akrip::kFramesPerRead),
                     track->LastError(), static_cast<unsigned long>(track->LastStatus()));
            result = false;
            break;
        }
        if (count > 0 && !out.Deliver(buffer.get(), count))
            break;
        delivered += count;
        if (hr != S_OK)
            break;
    }
    track->CloseStream();
    return true;
}

bool CAudioCDTrack::PlaySecure(IPlayCallback* sink) {
    cdengine::Drive& drive = m_disc->EngineDrive();
    trelvox::UniqueEvent abort(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!abort) {
        SetError("Out of memory");
        return false;
    }
    drive.SetAbortEvent(abort.get());

    cdengine::Status speed = drive.SetReadSpeed(trelvox::ReadSettingInt("AudioCD", "ReadingSpeed", -1));
    if (!speed) {
        SetInfo("Setting spindle speed failed");
        ReportEngineTexts(speed, false);
    }

    ResetEvent(abort.get());
    bool first = false, last = false;
    DiscEnds(first, last);
    m_report.path = kPathSecure;
    m_report.firstFrame = m_firstFrame;
    ChecksumSink out(sink, m_report, m_record.length * (kFrameBytes / 4), first, last);
    out.SetAbortEvent(abort.get());
    EngineReader reader(drive);
    secureread::Report report;
    secureread::Result read =
        secureread::ReadSecure(reader, m_firstFrame, m_endFrame, m_settings, out, &report);
    m_report.jitterCorrection = report.jitterCorrection;
    m_report.framesReread = report.framesReread;
    m_report.silencedCount = static_cast<uint32_t>(report.silencedFrames.size());
    for (size_t i = 0; i < report.silencedFrames.size() && i < 32; ++i)
        m_report.silenced[i] = report.silencedFrames[i];
    drive.SetAbortEvent(nullptr);

    if (read.Ok())
        return true;
    cdengine::Status failure;
    failure.code = read.drive.code;
    failure.subCode = read.drive.subCode;
    switch (read.outcome) {
    case secureread::Outcome::OutOfMemory:
        SetError("Out of memory");
        return false;
    case secureread::Outcome::SyncLost:
        failure = {cdengine::kErrSync, 0};
        break;
    case secureread::Outcome::Aborted:
        failure = {cdengine::kErrAborted, 0};
        break;
    default:
        break;
    }
    TX_TRACE(cd, "track %d: secure read failed: code %d, sub-code %X", m_record.number, failure.code,
             failure.subCode);
    ReportEngineTexts(failure, true);
    if (failure.code == cdengine::kErrTransferSize || failure.subCode == cdengine::kErrTransferSize)
        SetInfo("Please go to File | Settings | CD Audio and reduce the ASPI buffer size");
    return false;
}

void CAudioCDTrack::ReportEngineTexts(const cdengine::Status& status, bool asError) {
    for (const std::string& text :
         {cdengine::ErrorText(status.code), cdengine::SubCodeText(status.code, status.subCode)}) {
        if (text.empty())
            continue;
        if (asError)
            SetError("%s", text.c_str());
        else
            SetInfo("%s", text.c_str());
    }
}

unsigned CAudioCDTrack::GetCapabilities() {
    return 1;
}

HRESULT CAudioCDTrack::GetTag(IMetadataTag** tag) {
    if (!tag)
        return E_INVALIDARG;
    *tag = nullptr;
    if (!m_disc)
        return E_FAIL;
    trelvox::ComPtr<IMetadataTag> made;
    HRESULT hr = MetadataCreateTag(made.put());
    if (FAILED(hr))
        return hr;
    const int index = m_record.number - 1;
    char text[1024];
    int count = 0;
    m_disc->GetTrackCount(&count);
    snprintf(text, sizeof(text), "%d/%d", m_record.number, count);
    AddTextFrame(made.get(), kFrameTrackNumber, text);
    text[0] = '\0';
    m_disc->GetTrackTitle(index, text, sizeof(text));
    AddTextFrame(made.get(), kFrameTitle, text);
    text[0] = '\0';
    m_disc->GetTrackExtra(index, text, sizeof(text));
    AddTextFrame(made.get(), kFrameSubtitle, text);
    text[0] = '\0';
    if (!m_disc->GetTitle(text, sizeof(text)))
        snprintf(text, sizeof(text), "%08X", static_cast<unsigned>(m_disc->GetDiscId()));
    AddTextFrame(made.get(), kFrameAlbum, text);
    text[0] = '\0';
    m_disc->GetArtist(text, sizeof(text));
    AddTextFrame(made.get(), kFrameLeadArtist, text);
    text[0] = '\0';
    m_disc->GetGenre(text, sizeof(text));
    AddTextFrame(made.get(), kFrameContentType, text);
    int year = -1;
    m_disc->GetYear(&year);
    if (year != -1) {
        snprintf(text, sizeof(text), "%d", year);
        AddTextFrame(made.get(), kFrameYear, text);
    }
    uint32_t length = m_record.length;
    snprintf(text, sizeof(text), "%u",
             static_cast<unsigned>(length / kFramesPerSecond * 1000 + length % kFramesPerSecond * 1000 / 75));
    AddTextFrame(made.get(), kFrameSongLength, text);
    AddTextFrame(made.get(), kFrameMediaType, "CD");
    *tag = made.detach();
    return S_OK;
}

HRESULT CAudioCDTrack::SetTag(IMetadataTag*) {
    return E_NOTIMPL;
}

HRESULT CAudioCDTrack::GetReadReport(cdrip::TrackReadReport* report) {
    if (!report || report->size != sizeof(cdrip::TrackReadReport))
        return E_INVALIDARG;
    *report = m_report;
    return S_OK;
}
