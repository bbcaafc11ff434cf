/* The audio CD objects as an MSVC-built front end drives them: the drive list, a disc and a
 * track through vtables declared slot by slot in plain C, against one virtual drive of the
 * bench's stand-in ASPI manager (WNASPI32.DLL beside this program). Every slot is called once
 * with all its arguments, so that a slot out of place or a callee that pops the wrong count
 * shows up. */
#include "CConvert.h"

typedef struct {
    HRESULT(__stdcall* QueryInterface)(Object*, const IID*, void**);
    ULONG(__stdcall* AddRef)(Object*);
    ULONG(__stdcall* Release)(Object*);
    HRESULT(THISCALL* GetCD)(Object*, int, Object**);
    HRESULT(THISCALL* SetDriveLetter)(Object*, int, int);
    int(THISCALL* GetDriveLetterOf)(Object*, int);
    HRESULT(THISCALL* QueryDriveLetter)(Object*, int, int*);
    HRESULT(THISCALL* DetectDriveLetter)(Object*, int);
    HRESULT(THISCALL* GetCDByLetter)(Object*, int, Object**);
    bool(THISCALL* GetName)(Object*, int, char*, int);
    bool(THISCALL* GetInitError)(Object*, char*);
    uint32_t(THISCALL* GetCapabilities)(Object*, int);
    int(THISCALL* GetCount)(Object*, uint32_t);
    void*(THISCALL* DeletingDestructor)(Object*, unsigned);
} DevicesVtbl;
_Static_assert(sizeof(DevicesVtbl) == 14 * sizeof(void*), "IAudioCDDevices has 14 slots");

typedef struct {
    HRESULT(__stdcall* QueryInterface)(Object*, const IID*, void**);
    ULONG(__stdcall* AddRef)(Object*);
    ULONG(__stdcall* Release)(Object*);
    int(THISCALL* GetDriveLetter)(Object*);
    void(THISCALL* SetDriveLetter)(Object*, int);
    void(THISCALL* DetectDriveLetter)(Object*);
    uint32_t(THISCALL* GetCapabilities)(Object*);
    HRESULT(THISCALL* RefreshToc)(Object*);
    const int32_t*(THISCALL* GetToc)(Object*);
    uint32_t(THISCALL* GetDiscId)(Object*);
    HRESULT(THISCALL* AddTrackObject)(Object*, Object*);
    HRESULT(THISCALL* RemoveTrackObject)(Object*, Object*);
    HRESULT(THISCALL* GetTrack)(Object*, int, Object**);
    HRESULT(THISCALL* GetTrackFromCda)(Object*, const char*, Object**);
    HRESULT(THISCALL* GetTrackCount)(Object*, int*);
    int(THISCALL* GetMaxWriteSpeed)(Object*);
    int(THISCALL* EstimateRecordingTime)(Object*, int, uint32_t);
    HRESULT(THISCALL* RecordDisc)(Object*, int, void*, void*);
    bool(THISCALL* GetName)(Object*, char*);
    HRESULT(THISCALL* StartLookup)(Object*, void*);
    HRESULT(THISCALL* StartSubmit)(Object*, void*);
    bool(THISCALL* GetTitle)(Object*, char*, int);
    bool(THISCALL* GetArtist)(Object*, char*, int);
    bool(THISCALL* GetGenre)(Object*, char*, int);
    bool(THISCALL* GetCategory)(Object*, char*, int);
    bool(THISCALL* GetYear)(Object*, int*);
    bool(THISCALL* GetTrackTitle)(Object*, int, char*, int);
    bool(THISCALL* GetTrackExtra)(Object*, int, char*, int);
    bool(THISCALL* SetTitle)(Object*, const char*);
    bool(THISCALL* SetArtist)(Object*, const char*);
    bool(THISCALL* SetGenre)(Object*, const char*);
    bool(THISCALL* SetCategory)(Object*, const char*);
    bool(THISCALL* SetYear)(Object*, int);
    bool(THISCALL* SetTrackTitle)(Object*, int, const char*);
    bool(THISCALL* SetTrackExtra)(Object*, int, const char*);
    void*(THISCALL* DeletingDestructor)(Object*, unsigned);
} DiscVtbl;
_Static_assert(sizeof(DiscVtbl) == 36 * sizeof(void*), "IAudioCD has 36 slots");

typedef struct {
    HRESULT(__stdcall* QueryInterface)(Object*, const IID*, void**);
    ULONG(__stdcall* AddRef)(Object*);
    ULONG(__stdcall* Release)(Object*);
    int(THISCALL* QueryCDDB)(Object*);
    int(THISCALL* GetMatchCount)(Object*);
    HRESULT(THISCALL* GetMatchText)(Object*, int, char*, char*);
    int(THISCALL* ReadMatch)(Object*, int);
    int(THISCALL* GetQueryStatus)(Object*);
} QueryVtbl;

typedef struct {
    uint16_t present, number;
    uint32_t discKey, start, length, startMsf, lengthMsf;
} TrackRecord;
_Static_assert(sizeof(TrackRecord) == 24, "track record");

typedef struct {
    HRESULT(__stdcall* QueryInterface)(Object*, const IID*, void**);
    ULONG(__stdcall* AddRef)(Object*);
    ULONG(__stdcall* Release)(Object*);
    HRESULT(THISCALL* DetachFromCD)(Object*);
    HRESULT(THISCALL* GetLengthMsf)(Object*, uint8_t*, uint8_t*, uint8_t*);
    HRESULT(THISCALL* GetAudioCD)(Object*, Object**);
    HRESULT(THISCALL* GetTrackRecord)(Object*, TrackRecord*);
} TrackVtbl;

#define DEV(o) ((const DevicesVtbl*)(o)->vtbl)
#define CD(o) ((const DiscVtbl*)(o)->vtbl)
#define QRY(o) ((const QueryVtbl*)(o)->vtbl)
#define TRK(o) ((const TrackVtbl*)(o)->vtbl)

static const GUID kIID_IAudioCD = {
    0x6DD6FEDD, 0x1A33, 0x4A6E, {0x80, 0x50, 0x5B, 0xCF, 0x7E, 0x63, 0x51, 0x97}};
static const GUID kIID_ICDDBQuery = {
    0x6DD6FEDD, 0x1A33, 0x4A6E, {0x80, 0x50, 0x5B, 0xCF, 0x7E, 0x63, 0x51, 0x94}};

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

static void TestTrack(Object* cd, Object* track) {
    uint8_t m = 9, s = 9, f = 9;
    CHECK_EQ(S_OK, TRK(track)->GetLengthMsf(track, &m, &s, &f));
    CHECK_EQ(0, m);
    CHECK_EQ(0, s);
    CHECK_EQ(50, f);
    TrackRecord record;
    memset(&record, 0, sizeof(record));
    CHECK_EQ(S_OK, TRK(track)->GetTrackRecord(track, &record));
    CHECK_EQ(2, record.number);
    CHECK_EQ(100, record.start);
    CHECK_EQ(50, record.length);
    Object* owner = NULL;
    CHECK_EQ(S_OK, TRK(track)->GetAudioCD(track, &owner));
    CHECK(owner == cd);
    if (owner)
        CD(owner)->Release(owner);
    CHECK_EQ(S_OK, CD(cd)->RemoveTrackObject(cd, track));
    CHECK_EQ(S_OK, CD(cd)->AddTrackObject(cd, track));
    CHECK_EQ(S_OK, TRK(track)->DetachFromCD(track));
    CHECK_EQ((HRESULT)0x80004005, TRK(track)->GetTrackRecord(track, &record));
}

static void TestDisc(Object* cd) {
    char text[64] = "";
    CHECK_EQ(3, CD(cd)->GetDriveLetter(cd));
    CD(cd)->SetDriveLetter(cd, 5);
    CHECK_EQ(5, CD(cd)->GetDriveLetter(cd));
    CD(cd)->DetectDriveLetter(cd);
    CHECK_EQ(3, CD(cd)->GetDriveLetter(cd));
    CHECK_EQ(1, CD(cd)->GetCapabilities(cd));
    CHECK(CD(cd)->GetToc(cd) == NULL);
    CHECK_EQ(S_OK, CD(cd)->RefreshToc(cd));
    const int32_t* toc = CD(cd)->GetToc(cd);
    CHECK(toc != NULL);
    if (toc) {
        CHECK_EQ(2, toc[0]);
        CHECK_EQ(100, toc[2]);
        CHECK_EQ(150, toc[100]);
    }
    /* Digit sum 2 + 3, 2 seconds long, 2 tracks. */
    CHECK_EQ(0x05000202, CD(cd)->GetDiscId(cd));
    int count = 0;
    CHECK_EQ(S_OK, CD(cd)->GetTrackCount(cd, &count));
    CHECK_EQ(2, count);
    Object* track = NULL;
    CHECK_EQ((HRESULT)0x80070057, CD(cd)->GetTrack(cd, 2, &track));
    CHECK_EQ(S_OK, CD(cd)->GetTrack(cd, 1, &track));
    if (track) {
        TestTrack(cd, track);
        CHECK_EQ(0, TRK(track)->Release(track));
    }
    CHECK_EQ((HRESULT)0x80004005, CD(cd)->GetTrackFromCda(cd, "Z:\\no\\Track01.cda", &track));
    /* A drive that does not write: no write speed; 6x (index 3) still gives an estimate. */
    CHECK_EQ(-1, CD(cd)->GetMaxWriteSpeed(cd));
    CHECK_EQ(1, CD(cd)->EstimateRecordingTime(cd, 3, 1000));
    CHECK_EQ((HRESULT)0x80070057, CD(cd)->RecordDisc(cd, 1, NULL, NULL));
    CHECK(CD(cd)->GetName(cd, text));
    CHECK_STR("TRELVOX VIRTUAL CD-ROM 1.00 (D:)", text);
    /* Without a callback no CDDB thread starts. */
    CHECK_EQ((HRESULT)0x80070057, CD(cd)->StartLookup(cd, NULL));
    CHECK_EQ((HRESULT)0x80070057, CD(cd)->StartSubmit(cd, NULL));

    CHECK(CD(cd)->SetTitle(cd, "Title"));
    CHECK(CD(cd)->SetArtist(cd, "Artist"));
    CHECK(CD(cd)->SetGenre(cd, "Genre"));
    CHECK(CD(cd)->SetCategory(cd, "misc"));
    CHECK(CD(cd)->SetYear(cd, 2001));
    CHECK(CD(cd)->SetTrackTitle(cd, 1, "Second"));
    CHECK(CD(cd)->SetTrackExtra(cd, 0, "Extra"));
    CHECK(CD(cd)->GetTitle(cd, text, 4));
    CHECK_STR("Tit", text);
    CHECK(CD(cd)->GetArtist(cd, text, sizeof(text)));
    CHECK_STR("Artist", text);
    CHECK(CD(cd)->GetGenre(cd, text, sizeof(text)));
    CHECK_STR("Genre", text);
    CHECK(CD(cd)->GetCategory(cd, text, sizeof(text)));
    CHECK_STR("misc", text);
    int year = 0;
    CHECK(CD(cd)->GetYear(cd, &year));
    CHECK_EQ(2001, year);
    CHECK(CD(cd)->GetTrackTitle(cd, 1, text, sizeof(text)));
    CHECK_STR("Second", text);
    CHECK(CD(cd)->GetTrackExtra(cd, 0, text, sizeof(text)));
    CHECK_STR("Extra", text);
    CHECK(!CD(cd)->GetTrackTitle(cd, 2, text, sizeof(text)));

    Object* query = NULL;
    CHECK_EQ(S_OK, CD(cd)->QueryInterface(cd, &kIID_ICDDBQuery, (void**)&query));
    CHECK(query != NULL && query != cd);
    if (query) {
        char artist[81], title[81];
        /* The server (set in main) refuses the connection and the local cache does not know
         * the disc: no matches. */
        CHECK_EQ(1, QRY(query)->QueryCDDB(query));
        CHECK_EQ(0, QRY(query)->GetMatchCount(query));
        CHECK_EQ((HRESULT)0x80070057, QRY(query)->GetMatchText(query, 0, artist, title));
        CHECK_EQ((HRESULT)0x80070057, QRY(query)->ReadMatch(query, 0));
        CHECK_EQ(0, QRY(query)->GetQueryStatus(query));
        Object* back = NULL;
        CHECK_EQ(S_OK, QRY(query)->QueryInterface(query, &kIID_IAudioCD, (void**)&back));
        CHECK(back == cd);
        if (back)
            CD(back)->Release(back);
        CHECK_EQ(1, QRY(query)->Release(query));
    }
}

static void TestDevices(Object* devices) {
    char text[512] = "";
    CHECK(!DEV(devices)->GetInitError(devices, text));
    CHECK_EQ(1, DEV(devices)->GetCount(devices, 0));
    CHECK_EQ(0, DEV(devices)->GetCount(devices, 2));
    CHECK_EQ(1, DEV(devices)->GetCapabilities(devices, 0));
    CHECK(DEV(devices)->GetName(devices, 0, text, 8));
    CHECK_STR("TRELVOX", text);
    CHECK_EQ(3, DEV(devices)->GetDriveLetterOf(devices, 0));
    CHECK_EQ(S_OK, DEV(devices)->SetDriveLetter(devices, 0, 4));
    int letter = 0;
    CHECK_EQ(S_OK, DEV(devices)->QueryDriveLetter(devices, 0, &letter));
    CHECK_EQ(4, letter);
    CHECK_EQ(S_OK, DEV(devices)->DetectDriveLetter(devices, 0));
    CHECK_EQ(3, DEV(devices)->GetDriveLetterOf(devices, 0));
    Object* cd = NULL;
    CHECK_EQ((HRESULT)0x80070057, DEV(devices)->GetCD(devices, 1, &cd));
    CHECK_EQ((HRESULT)0x80070057, DEV(devices)->GetCDByLetter(devices, 4, &cd));
    CHECK_EQ(S_OK, DEV(devices)->GetCDByLetter(devices, 3, &cd));
    if (!cd)
        return;
    TestDisc(cd);
    /* The disc's own count; its last release hands back its reference on the list. */
    CHECK_EQ(0, CD(cd)->Release(cd));
    CHECK_EQ(2, DEV(devices)->AddRef(devices));
    CHECK_EQ(1, DEV(devices)->Release(devices));
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
    typedef HRESULT(__cdecl * CreateFn)(Object**);
    CreateFn create = (CreateFn)ExportOf(dll, "CreateAudioCDDevices");
    Object* devices = NULL;
    if (create && create(&devices) == S_OK && devices) {
        TestDevices(devices);
        CHECK_EQ(0, DEV(devices)->Release(devices));
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
