#include "AudioCD.h"

#include "AudioCDDevices.h"
#include "AudioCDTrack.h"
#include "CDAFile.h"
#include "CDDBProtocol.h"
#include "DiscRecording.h"
#include "DriveLetter.h"
#include "Trace.h"
#include "TrackRecord.h"
#include "Trelvox.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <new>

namespace {

// The gap in front of the second (data) session of an enhanced disc, in frames.
constexpr uint32_t kSessionGap = 11400;

bool CopyText(const std::string& text, char* buffer, int size) {
    if (!buffer || size <= 0)
        return false;
    size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n > 0;
}

bool SameTrack(const cdrip::TrackRecord& a, const cdrip::TrackRecord& b) {
    return a.number == b.number && a.start == b.start && a.length == b.length && a.startMsf == b.startMsf &&
           a.lengthMsf == b.lengthMsf;
}

} // namespace

CAudioCD::CAudioCD(CAudioCDDevices* list, cdengine::Drive& drive) : m_list(list), m_drive(drive) {}

CAudioCD::~CAudioCD() {
    if (m_modified)
        SaveToLocalCache();
}

CAudioCD::DriveKey CAudioCD::SettingsKey() const {
    DriveKey key;
    snprintf(key.text, sizeof(key.text), "%s%s%s", m_drive.Vendor().c_str(), m_drive.Product().c_str(),
             m_drive.Revision().c_str());
    return key;
}

std::string CAudioCD::DisplayName() {
    char name[96];
    snprintf(name, sizeof(name), "%s %s %s (%c:)", m_drive.Vendor().c_str(), m_drive.Product().c_str(),
             m_drive.Revision().c_str(), 'A' + GetDriveLetter());
    return name;
}

void CAudioCD::SaveToLocalCache() {
    cdrip::CDDBRequests::SaveLocal(this);
    m_modified = false;
}

HRESULT CAudioCD::QueryInterface(REFIID riid, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, cdrip::IID_IAudioCD))
        *out = static_cast<cdrip::IAudioCD*>(this);
    else if (IsEqualIID(riid, cdrip::IID_ICDDBQuery))
        *out = static_cast<cdrip::ICDDBQuery*>(&m_query);
    if (!*out)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG CAudioCD::AddRef() {
    LONG refs = ++m_refs;
    if (refs == 1)
        m_list->AddRef();
    return static_cast<ULONG>(refs);
}

ULONG CAudioCD::Release() {
    LONG refs = --m_refs;
    // The list may destroy this object now: nothing of it is touched afterwards.
    if (refs == 0)
        m_list->Release();
    return static_cast<ULONG>(refs);
}

void* CAudioCD::DeletingDestructor(unsigned flags) {
    // MSVC's scalar deleting destructor: bit 0 frees the memory too.
    if (flags & 1)
        delete this;
    else
        this->~CAudioCD();
    return this;
}

int CAudioCD::GetDriveLetter() {
    if (m_letter < 0)
        DetectDriveLetter();
    return m_letter;
}

void CAudioCD::SetDriveLetter(int letter) {
    m_letter = letter;
    PutProfileInt("AudioCD", SettingsKey().text, letter);
}

void CAudioCD::DetectDriveLetter() {
    SetDriveLetter(::DetectDriveLetter(m_drive));
}

uint32_t CAudioCD::GetCapabilities() {
    uint32_t bits = 0;
    if (m_drive.CapabilityFlags() & cdengine::kCapCdda)
        bits |= cdrip::kCapRead;
    if (m_drive.Type() == 4) {
        uint32_t writer = m_drive.WriterFlags();
        if (writer & cdengine::kWriteCdr)
            bits |= cdrip::kCapWriteCdr;
        if (writer & cdengine::kWriteBurnProof)
            bits |= cdrip::kCapWriteBurnProof;
        if (writer & cdengine::kWriteTest)
            bits |= cdrip::kCapWriteTest;
    }
    return bits;
}

HRESULT CAudioCD::RefreshToc() {
    try {
        if (m_modified)
            SaveToLocalCache();
        m_tracks.clear();
        m_trackTitles.clear();
        m_trackExtras.clear();
        m_toc = cdrip::DiscToc();
        m_discId = 0;
        m_title.clear();
        m_artist.clear();
        m_genre.clear();
        m_category.clear();
        m_year = -1;

        cdengine::DiscLayout layout;
        cdengine::Status status = m_drive.ReadLayout(layout);
        if (status) {
            const std::vector<cdengine::LayoutTrack>& tracks = layout.tracks;
            uint32_t discKey = 0;
            for (size_t i = 0; i < tracks.size() && i < 99; ++i) {
                const cdengine::LayoutTrack& track = tracks[i];
                m_toc.start[m_toc.count++] = static_cast<int32_t>(track.start);
                if (track.data)
                    continue;
                cdrip::TrackRecord record = {};
                record.present = 1;
                record.number = static_cast<uint16_t>(track.number);
                record.start = track.start;
                record.length = track.length;
                if (i + 1 < tracks.size() && tracks[i + 1].data)
                    record.length = record.length > kSessionGap ? record.length - kSessionGap : 0;
                record.startMsf = cdrip::PackLba(static_cast<int32_t>(record.start));
                record.lengthMsf = cdrip::PackFrames(record.length);
                discKey += record.startMsf;
                m_tracks.push_back(record);
                m_trackTitles.push_back("Track " + std::to_string(track.number));
                m_trackExtras.emplace_back();
            }
            for (cdrip::TrackRecord& record : m_tracks)
                record.discKey = discKey;
            m_toc.leadOut = static_cast<int32_t>(tracks.back().start + tracks.back().length);
            m_discId = tracks.front().data ? 0 : cdrip::cddb::DiscId(m_toc);
        } else {
            TX_TRACE(cd, "%s: no table of contents (%d, %06X)", SettingsKey().text, status.code,
                     status.subCode);
        }
        m_modified = false;

        // Track objects whose record is gone are detached; detaching changes the list, and
        // each detached object gives back its reference on this disc.
        std::vector<cdrip::IAudioCDTrack*> live = m_trackObjects;
        AddRef();
        for (cdrip::IAudioCDTrack* track : live) {
            cdrip::TrackRecord record = {};
            bool kept = SUCCEEDED(track->GetTrackRecord(&record)) &&
                        std::any_of(m_tracks.begin(), m_tracks.end(),
                                    [&](const cdrip::TrackRecord& r) { return SameTrack(r, record); });
            if (!kept)
                track->DetachFromCD();
        }
        HRESULT result = status ? S_OK : E_FAIL;
        Release(); // may end the list and this object with it
        return result;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

const cdrip::DiscToc* CAudioCD::GetToc() {
    return m_tracks.empty() ? nullptr : &m_toc;
}

uint32_t CAudioCD::GetDiscId() {
    return m_tracks.empty() ? 0 : m_discId;
}

HRESULT CAudioCD::AddTrackObject(cdrip::IAudioCDTrack* track) {
    if (!track)
        return E_INVALIDARG;
    try {
        if (std::find(m_trackObjects.begin(), m_trackObjects.end(), track) == m_trackObjects.end())
            m_trackObjects.push_back(track);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CAudioCD::RemoveTrackObject(cdrip::IAudioCDTrack* track) {
    m_trackObjects.erase(std::remove(m_trackObjects.begin(), m_trackObjects.end(), track),
                         m_trackObjects.end());
    return S_OK;
}

HRESULT CAudioCD::GetTrack(int index, cdrip::IAudioCDTrack** track) {
    if (!track)
        return E_INVALIDARG;
    *track = nullptr;
    if (index < 0 || index >= static_cast<int>(m_tracks.size()))
        return E_INVALIDARG;
    return CAudioCDTrack::Create(this, m_tracks[index], track);
}

HRESULT CAudioCD::GetTrackFromCda(const char* path, cdrip::IAudioCDTrack** track) {
    if (!track)
        return E_INVALIDARG;
    *track = nullptr;
    CCDAFile file;
    file.SetPath(path);
    cdrip::TrackRecord wanted = {};
    HRESULT result = file.ReadRecord(&wanted);
    if (FAILED(result))
        return result;
    if (m_tracks.empty())
        RefreshToc();
    for (const cdrip::TrackRecord& record : m_tracks)
        if (SameTrack(record, wanted))
            return CAudioCDTrack::Create(this, record, track);
    TX_TRACE(cd, "%s: track %d of %s is not on the disc", SettingsKey().text, wanted.number, path);
    return E_FAIL;
}

HRESULT CAudioCD::GetTrackCount(int* count) {
    if (!count)
        return E_INVALIDARG;
    *count = static_cast<int>(m_tracks.size());
    return S_OK;
}

int CAudioCD::GetMaxWriteSpeed() {
    try {
        return cdrip::MaxWriteSpeed(m_drive);
    } catch (...) {
        return -1;
    }
}

int CAudioCD::EstimateRecordingTime(int speedIndex, uint32_t frames) {
    try {
        return cdrip::EstimateRecordingTime(m_drive, speedIndex, frames);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT CAudioCD::RecordDisc(int mode, cdrip::RecordRequest* request, IConvertCallback* callback) {
    if (mode < 1 || mode > 3 || !callback || !cdrip::IsValidRequest(request))
        return E_INVALIDARG;
    try {
        return cdrip::RecordDisc(m_drive, mode, *request, callback);
    } catch (const std::bad_alloc&) {
        callback->ReportError("Out of memory\n", "e");
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT CAudioCD::StartLookup(cdrip::ICDDBCallback* callback) {
    return m_cddb.StartLookup(this, callback);
}

HRESULT CAudioCD::StartSubmit(cdrip::ICDDBCallback* callback) {
    return m_cddb.StartSubmit(this, callback);
}

bool CAudioCD::GetName(char* buffer) {
    try {
        std::string name = DisplayName();
        if (buffer)
            memcpy(buffer, name.c_str(), name.size() + 1);
    } catch (const std::bad_alloc&) {
        if (buffer)
            *buffer = '\0';
    }
    return true;
}

bool CAudioCD::GetTitle(char* buffer, int size) {
    return CopyText(m_title, buffer, size);
}

bool CAudioCD::GetArtist(char* buffer, int size) {
    return CopyText(m_artist, buffer, size);
}

bool CAudioCD::GetGenre(char* buffer, int size) {
    return CopyText(m_genre, buffer, size);
}

bool CAudioCD::GetCategory(char* buffer, int size) {
    return CopyText(m_category, buffer, size);
}

bool CAudioCD::GetYear(int* year) {
    if (year)
        *year = m_year;
    return true;
}

bool CAudioCD::GetTrackTitle(int index, char* buffer, int size) {
    if (index < 0 || index >= static_cast<int>(m_trackTitles.size()))
        return false;
    return CopyText(m_trackTitles[index], buffer, size);
}

bool CAudioCD::GetTrackExtra(int index, char* buffer, int size) {
    if (index < 0 || index >= static_cast<int>(m_trackExtras.size()))
        return false;
    return CopyText(m_trackExtras[index], buffer, size);
}

bool CAudioCD::SetText(std::string& field, const char* text) {
    try {
        field = text ? text : "";
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_modified = true;
    return true;
}

bool CAudioCD::SetTitle(const char* text) {
    return SetText(m_title, text);
}

bool CAudioCD::SetArtist(const char* text) {
    return SetText(m_artist, text);
}

bool CAudioCD::SetGenre(const char* text) {
    return SetText(m_genre, text);
}

bool CAudioCD::SetCategory(const char* text) {
    return SetText(m_category, text);
}

bool CAudioCD::SetYear(int year) {
    m_year = year;
    return true;
}

bool CAudioCD::SetTrackTitle(int index, const char* text) {
    if (index < 0 || index >= static_cast<int>(m_trackTitles.size()))
        return false;
    return SetText(m_trackTitles[index], text);
}

bool CAudioCD::SetTrackExtra(int index, const char* text) {
    if (index < 0 || index >= static_cast<int>(m_trackExtras.size()))
        return false;
    return SetText(m_trackExtras[index], text);
}

HRESULT CAudioCD::CDDBQuery::QueryInterface(REFIID riid, void** out) {
    return m_disc.QueryInterface(riid, out);
}

ULONG CAudioCD::CDDBQuery::AddRef() {
    return m_disc.AddRef();
}

ULONG CAudioCD::CDDBQuery::Release() {
    return m_disc.Release();
}

int CAudioCD::CDDBQuery::QueryCDDB() {
    return m_disc.m_cddb.QueryCDDB(&m_disc);
}

int CAudioCD::CDDBQuery::GetMatchCount() {
    return m_disc.m_cddb.GetMatchCount();
}

HRESULT CAudioCD::CDDBQuery::GetMatchText(int index, char* artist, char* title) {
    return m_disc.m_cddb.GetMatchText(index, artist, title);
}

int CAudioCD::CDDBQuery::ReadMatch(int index) {
    return m_disc.m_cddb.ReadMatch(&m_disc, index);
}

int CAudioCD::CDDBQuery::GetQueryStatus() {
    return m_disc.m_cddb.GetQueryStatus();
}
