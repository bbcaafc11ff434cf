// One drive and the disc in it (cdrip::IAudioCD, with cdrip::ICDDBQuery as its second
// interface): the drive letter and display name, the disc's table of contents and track
// list, and the disc information that CDDB fills and the track sources turn into tags.
//
// Disc objects belong to the drive list (AudioCDDevices.h): they are made and destroyed with
// it. Their own count only ties the list's life to them: the first reference on a disc takes
// one on the list, and the last one gives it back.
#pragma once

#include "CDDBThreads.h"
#include "CdEngine.h"
#include "TrelvoxCD.h"

#include <atomic>
#include <string>
#include <vector>

class CAudioCDDevices;

class CAudioCD : public cdrip::IAudioCD {
public:
    CAudioCD(CAudioCDDevices* list, cdengine::Drive& drive);
    virtual ~CAudioCD();
    CAudioCD(const CAudioCD&) = delete;
    CAudioCD& operator=(const CAudioCD&) = delete;

    cdengine::Drive& EngineDrive() { return m_drive; }
    // "vendor product revision (X:)", detecting the letter when it is not known yet.
    std::string DisplayName();
    // The audio tracks of the last RefreshToc.
    const std::vector<cdrip::TrackRecord>& Tracks() const { return m_tracks; }
    // The drive's settings-store key: vendor, product and revision joined.
    struct DriveKey {
        char text[8 + 16 + 4 + 1];
    };
    DriveKey SettingsKey() const;
    // The letter known so far, without detecting: -1 when none.
    int KnownDriveLetter() const { return m_letter; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // cdrip::IAudioCD
    int TX_THISCALL GetDriveLetter() override;
    void TX_THISCALL SetDriveLetter(int letter) override;
    void TX_THISCALL DetectDriveLetter() override;
    uint32_t TX_THISCALL GetCapabilities() override;
    HRESULT TX_THISCALL RefreshToc() override;
    const cdrip::DiscToc* TX_THISCALL GetToc() override;
    uint32_t TX_THISCALL GetDiscId() override;
    HRESULT TX_THISCALL AddTrackObject(cdrip::IAudioCDTrack* track) override;
    HRESULT TX_THISCALL RemoveTrackObject(cdrip::IAudioCDTrack* track) override;
    HRESULT TX_THISCALL GetTrack(int index, cdrip::IAudioCDTrack** track) override;
    HRESULT TX_THISCALL GetTrackFromCda(const char* path, cdrip::IAudioCDTrack** track) override;
    HRESULT TX_THISCALL GetTrackCount(int* count) override;
    int TX_THISCALL GetMaxWriteSpeed() override;
    int TX_THISCALL EstimateRecordingTime(int speedIndex, uint32_t frames) override;
    HRESULT TX_THISCALL RecordDisc(int mode, cdrip::RecordRequest* request,
                                   IConvertCallback* callback) override;
    bool TX_THISCALL GetName(char* buffer) override;
    HRESULT TX_THISCALL StartLookup(cdrip::ICDDBCallback* callback) override;
    HRESULT TX_THISCALL StartSubmit(cdrip::ICDDBCallback* callback) override;
    bool TX_THISCALL GetTitle(char* buffer, int size) override;
    bool TX_THISCALL GetArtist(char* buffer, int size) override;
    bool TX_THISCALL GetGenre(char* buffer, int size) override;
    bool TX_THISCALL GetCategory(char* buffer, int size) override;
    bool TX_THISCALL GetYear(int* year) override;
    bool TX_THISCALL GetTrackTitle(int index, char* buffer, int size) override;
    bool TX_THISCALL GetTrackExtra(int index, char* buffer, int size) override;
    bool TX_THISCALL SetTitle(const char* text) override;
    bool TX_THISCALL SetArtist(const char* text) override;
    bool TX_THISCALL SetGenre(const char* text) override;
    bool TX_THISCALL SetCategory(const char* text) override;
    bool TX_THISCALL SetYear(int year) override;
    bool TX_THISCALL SetTrackTitle(int index, const char* text) override;
    bool TX_THISCALL SetTrackExtra(int index, const char* text) override;
    void* TX_THISCALL DeletingDestructor(unsigned flags) override;

private:
    // The CDDB side of the disc; its IUnknown is the disc's.
    class CDDBQuery : public cdrip::ICDDBQuery {
    public:
        explicit CDDBQuery(CAudioCD& disc) : m_disc(disc) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        int TX_THISCALL QueryCDDB() override;
        int TX_THISCALL GetMatchCount() override;
        HRESULT TX_THISCALL GetMatchText(int index, char* artist, char* title) override;
        int TX_THISCALL ReadMatch(int index) override;
        int TX_THISCALL GetQueryStatus() override;

    private:
        CAudioCD& m_disc;
    };

    // Writes changed disc information to the CDDB client's local cache: called before the
    // information is cleared or refreshed, and when the disc object goes.
    void SaveToLocalCache();
    // Sets one text of the disc information and marks it changed.
    bool SetText(std::string& field, const char* text);

    CAudioCDDevices* m_list;
    cdengine::Drive& m_drive;
    CDDBQuery m_query{*this};
    // The lookup and submission threads and the last matches.
    cdrip::CDDBRequests m_cddb;
    std::atomic<LONG> m_refs{0};
    bool m_modified = false;
    int m_letter = -1; // 0 = A

    std::vector<cdrip::TrackRecord> m_tracks;
    cdrip::DiscToc m_toc = {};
    uint32_t m_discId = 0;
    std::vector<std::string> m_trackTitles;
    std::vector<std::string> m_trackExtras;
    std::string m_title;
    std::string m_artist;
    std::string m_genre;
    std::string m_category;
    int m_year = -1;

    // Track objects bound to this disc (not owned: each holds a reference on the disc).
    std::vector<cdrip::IAudioCDTrack*> m_trackObjects;
};
