/* The audio CD objects as an MSVC-built front end drives them: the drive list, a disc and a
 * track through vtables declared slot by slot in plain C, against one virtual drive of the
 * bench's stand-in ASPI manager (WNASPI32.DLL beside this program). Every slot is called once
 * with all its arguments, so that a slot out of place or a callee that pops the wrong count
 * shows up. */
#include <TrelvoxCD.h>

#include "CConvert.h"

/* A disc of two audio tracks, 100 and 50 frames, and the stand-in's list with it. */
static void WriteDisc(const char* dir) {
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\disc.bin", dir);
    FILE* bin = fopen(path, "wb");
    for (int i = 0; bin && i < 150 * 2352; ++i)
        fputc(i * 7 & 0xFF, bin);
    if (bin)
        fclose(bin);
    snprintf(path, sizeof(path), "%s\\disc.cue", dir);
    FILE* cue = fopen(path, "w");
    if (cue) {
        fputs("FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n    INDEX 01 00:01:25\n",
              cue);
        fclose(cue);
    }
    char ini[MAX_PATH];
    snprintf(ini, sizeof(ini), "%s\\cdbench.ini", dir);
    FILE* list = fopen(ini, "w");
    if (list) {
        fprintf(list, "drive 0 0 0 \"%s\"\n", path);
        fclose(list);
    }
    SetEnvironmentVariableA("CDBENCH_CONFIG", ini);
}

static void TestTrack(IAudioCD* cd, IAudioCDTrack* track) {
    uint8_t m = 9, s = 9, f = 9;
    CHECK_EQ(S_OK, track->lpVtbl->GetLengthMsf(track, TX_CEDX & m, &s, &f));
    CHECK_EQ(0, m);
    CHECK_EQ(0, s);
    CHECK_EQ(50, f);
    TrackRecord record;
    memset(&record, 0, sizeof(record));
    CHECK_EQ(S_OK, track->lpVtbl->GetTrackRecord(track, TX_CEDX & record));
    CHECK_EQ(2, record.number);
    CHECK_EQ(100, record.start);
    CHECK_EQ(50, record.length);
    IAudioCD* owner = NULL;
    CHECK_EQ(S_OK, track->lpVtbl->GetAudioCD(track, TX_CEDX & owner));
    CHECK(owner == cd);
    if (owner)
        owner->lpVtbl->Release(owner);
    CHECK_EQ(S_OK, cd->lpVtbl->RemoveTrackObject(cd, TX_CEDX track));
    CHECK_EQ(S_OK, cd->lpVtbl->AddTrackObject(cd, TX_CEDX track));
    CHECK_EQ(S_OK, track->lpVtbl->DetachFromCD(track TX_CEDX_ONLY));
    CHECK_EQ((HRESULT)0x80004005, track->lpVtbl->GetTrackRecord(track, TX_CEDX & record));
}

static void TestDisc(IAudioCD* cd) {
    char text[64] = "";
    CHECK_EQ(3, cd->lpVtbl->GetDriveLetter(cd TX_CEDX_ONLY));
    cd->lpVtbl->SetDriveLetter(cd, TX_CEDX 5);
    CHECK_EQ(5, cd->lpVtbl->GetDriveLetter(cd TX_CEDX_ONLY));
    cd->lpVtbl->DetectDriveLetter(cd TX_CEDX_ONLY);
    CHECK_EQ(3, cd->lpVtbl->GetDriveLetter(cd TX_CEDX_ONLY));
    CHECK_EQ(1, cd->lpVtbl->GetCapabilities(cd TX_CEDX_ONLY));
    CHECK(cd->lpVtbl->GetToc(cd TX_CEDX_ONLY) == NULL);
    CHECK_EQ(S_OK, cd->lpVtbl->RefreshToc(cd TX_CEDX_ONLY));
    const DiscToc* toc = cd->lpVtbl->GetToc(cd TX_CEDX_ONLY);
    CHECK(toc != NULL);
    if (toc) {
        CHECK_EQ(2, toc->count);
        CHECK_EQ(100, toc->start[1]);
        CHECK_EQ(150, toc->leadOut);
    }
    /* Digit sum 2 + 3, 2 seconds long, 2 tracks. */
    CHECK_EQ(0x05000202, cd->lpVtbl->GetDiscId(cd TX_CEDX_ONLY));
    int count = 0;
    CHECK_EQ(S_OK, cd->lpVtbl->GetTrackCount(cd, TX_CEDX & count));
    CHECK_EQ(2, count);
    IAudioCDTrack* track = NULL;
    CHECK_EQ((HRESULT)0x80070057, cd->lpVtbl->GetTrack(cd, TX_CEDX 2, &track));
    CHECK_EQ(S_OK, cd->lpVtbl->GetTrack(cd, TX_CEDX 1, &track));
    if (track) {
        TestTrack(cd, track);
        CHECK_EQ(0, track->lpVtbl->Release(track));
    }
    CHECK_EQ((HRESULT)0x80004005, cd->lpVtbl->GetTrackFromCda(cd, TX_CEDX "Z:\\no\\Track01.cda", &track));
    /* A drive that does not write: no write speed; 6x (index 3) still gives an estimate. */
    CHECK_EQ(-1, cd->lpVtbl->GetMaxWriteSpeed(cd TX_CEDX_ONLY));
    CHECK_EQ(1, cd->lpVtbl->EstimateRecordingTime(cd, TX_CEDX 3, 1000));
    CHECK_EQ((HRESULT)0x80070057, cd->lpVtbl->RecordDisc(cd, TX_CEDX 1, NULL, NULL));
    CHECK(cd->lpVtbl->GetName(cd, TX_CEDX text));
    CHECK_STR("TRELVOX VIRTUAL CD-ROM 1.00 (D:)", text);
    /* Without a callback no CDDB thread starts. */
    CHECK_EQ((HRESULT)0x80070057, cd->lpVtbl->StartLookup(cd, TX_CEDX NULL));
    CHECK_EQ((HRESULT)0x80070057, cd->lpVtbl->StartSubmit(cd, TX_CEDX NULL));

    CHECK(cd->lpVtbl->SetTitle(cd, TX_CEDX "Title"));
    CHECK(cd->lpVtbl->SetArtist(cd, TX_CEDX "Artist"));
    CHECK(cd->lpVtbl->SetGenre(cd, TX_CEDX "Genre"));
    CHECK(cd->lpVtbl->SetCategory(cd, TX_CEDX "misc"));
    CHECK(cd->lpVtbl->SetYear(cd, TX_CEDX 2001));
    CHECK(cd->lpVtbl->SetTrackTitle(cd, TX_CEDX 1, "Second"));
    CHECK(cd->lpVtbl->SetTrackExtra(cd, TX_CEDX 0, "Extra"));
    CHECK(cd->lpVtbl->GetTitle(cd, TX_CEDX text, 4));
    CHECK_STR("Tit", text);
    CHECK(cd->lpVtbl->GetArtist(cd, TX_CEDX text, sizeof(text)));
    CHECK_STR("Artist", text);
    CHECK(cd->lpVtbl->GetGenre(cd, TX_CEDX text, sizeof(text)));
    CHECK_STR("Genre", text);
    CHECK(cd->lpVtbl->GetCategory(cd, TX_CEDX text, sizeof(text)));
    CHECK_STR("misc", text);
    int year = 0;
    CHECK(cd->lpVtbl->GetYear(cd, TX_CEDX & year));
    CHECK_EQ(2001, year);
    CHECK(cd->lpVtbl->GetTrackTitle(cd, TX_CEDX 1, text, sizeof(text)));
    CHECK_STR("Second", text);
    CHECK(cd->lpVtbl->GetTrackExtra(cd, TX_CEDX 0, text, sizeof(text)));
    CHECK_STR("Extra", text);
    CHECK(!cd->lpVtbl->GetTrackTitle(cd, TX_CEDX 2, text, sizeof(text)));

    ICDDBQuery* query = NULL;
    CHECK_EQ(S_OK, cd->lpVtbl->QueryInterface(cd, &IID_ICDDBQuery, (void**)&query));
    CHECK(query != NULL && (void*)query != (void*)cd);
    if (query) {
        char artist[81], title[81];
        /* The server (set in main) refuses the connection and the local cache does not know
         * the disc: no matches. */
        CHECK_EQ(1, query->lpVtbl->QueryCDDB(query TX_CEDX_ONLY));
        CHECK_EQ(0, query->lpVtbl->GetMatchCount(query TX_CEDX_ONLY));
        CHECK_EQ((HRESULT)0x80070057, query->lpVtbl->GetMatchText(query, TX_CEDX 0, artist, title));
        CHECK_EQ((HRESULT)0x80070057, query->lpVtbl->ReadMatch(query, TX_CEDX 0));
        CHECK_EQ(0, query->lpVtbl->GetQueryStatus(query TX_CEDX_ONLY));
        IAudioCD* back = NULL;
        CHECK_EQ(S_OK, query->lpVtbl->QueryInterface(query, &IID_IAudioCD, (void**)&back));
        CHECK(back == cd);
        if (back)
            back->lpVtbl->Release(back);
        CHECK_EQ(1, query->lpVtbl->Release(query));
    }
}

static void TestDevices(IAudioCDDevices* devices) {
    char text[512] = "";
    CHECK(!devices->lpVtbl->GetInitError(devices, TX_CEDX text));
    CHECK_EQ(1, devices->lpVtbl->GetCount(devices, TX_CEDX 0));
    CHECK_EQ(0, devices->lpVtbl->GetCount(devices, TX_CEDX 2));
    CHECK_EQ(1, devices->lpVtbl->GetCapabilities(devices, TX_CEDX 0));
    CHECK(devices->lpVtbl->GetName(devices, TX_CEDX 0, text, 8));
    CHECK_STR("TRELVOX", text);
    CHECK_EQ(3, devices->lpVtbl->GetDriveLetterOf(devices, TX_CEDX 0));
    CHECK_EQ(S_OK, devices->lpVtbl->SetDriveLetter(devices, TX_CEDX 0, 4));
    int letter = 0;
    CHECK_EQ(S_OK, devices->lpVtbl->QueryDriveLetter(devices, TX_CEDX 0, &letter));
    CHECK_EQ(4, letter);
    CHECK_EQ(S_OK, devices->lpVtbl->DetectDriveLetter(devices, TX_CEDX 0));
    CHECK_EQ(3, devices->lpVtbl->GetDriveLetterOf(devices, TX_CEDX 0));
    IAudioCD* cd = NULL;
    CHECK_EQ((HRESULT)0x80070057, devices->lpVtbl->GetCD(devices, TX_CEDX 1, &cd));
    CHECK_EQ((HRESULT)0x80070057, devices->lpVtbl->GetCDByLetter(devices, TX_CEDX 4, &cd));
    CHECK_EQ(S_OK, devices->lpVtbl->GetCDByLetter(devices, TX_CEDX 3, &cd));
    if (!cd)
        return;
    TestDisc(cd);
    /* The disc's own count; its last release hands back its reference on the list. */
    CHECK_EQ(0, cd->lpVtbl->Release(cd));
    CHECK_EQ(2, devices->lpVtbl->AddRef(devices));
    CHECK_EQ(1, devices->lpVtbl->Release(devices));
}

int main(void) {
    char temp[MAX_PATH], dir[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    snprintf(dir, sizeof(dir), "%stxcdabi-%lu", temp, GetCurrentProcessId());
    CreateDirectoryA(dir, NULL);
    WriteDisc(dir);

    HMODULE dll = LoadTrelvox();
    /* CDDB requests go to a loopback port where nothing listens, and the disc (whose disc
     * key is 0:02:00 + 0:03:25) starts without a local cache entry; the disc object writes one
     * when it goes, removed again below. */
    typedef int32_t(__cdecl * InitFn)(const char*);
    typedef bool(__cdecl * PutStringFn)(const char*, const char*, const char*);
    InitFn init = (InitFn)ExportOf(dll, "InitTX");
    PutStringFn putString = (PutStringFn)ExportOf(dll, "PutProfileString");
    if (init && putString) {
        init(NULL);
        CHECK(putString("AudioCD", "CDDB_Server", "127.0.0.1:1"));
    }
    WritePrivateProfileStringA("519", NULL, NULL, "cdplayer.ini");
    typedef HRESULT(__cdecl * CreateFn)(IAudioCDDevices**);
    CreateFn create = (CreateFn)ExportOf(dll, "CreateAudioCDDevices");
    IAudioCDDevices* devices = NULL;
    if (create && create(&devices) == S_OK && devices) {
        TestDevices(devices);
        CHECK_EQ(0, devices->lpVtbl->Release(devices));
    } else {
        CHECK(!"CreateAudioCDDevices");
    }
    if (putString)
        putString("AudioCD", "CDDB_Server", NULL);
    WritePrivateProfileStringA("519", NULL, NULL, "cdplayer.ini");
    if (dll)
        FreeLibrary(dll);

    const char* names[] = {"disc.bin", "disc.cue", "cdbench.ini"};
    for (int i = 0; i < 3; ++i) {
        char path[MAX_PATH];
        snprintf(path, sizeof(path), "%s\\%s", dir, names[i]);
        DeleteFileA(path);
    }
    RemoveDirectoryA(dir);
    printf("%d checks, %d failed\n", g_checks, g_failures);
    return g_failures ? 1 : 0;
}
