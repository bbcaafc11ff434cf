// Playlists and playback. Both interfaces are plain objects without reference counting.
#pragma once

#include "TrelvoxConvert.h"

#ifndef __cplusplus
typedef struct IPlaylist IPlaylist;
typedef struct IPlaylistVtbl {
    HRESULT(TX_CMETHOD* Add)(TX_CTHIS_(IPlaylist) const char* path);
    HRESULT(TX_CMETHOD* Load)(TX_CTHIS_(IPlaylist) const char* path);
    HRESULT(TX_CMETHOD* Save)(TX_CTHIS_(IPlaylist) const char* path);
    HRESULT(TX_CMETHOD* GetCount)(TX_CTHIS_(IPlaylist) uint32_t* count);
    HRESULT(TX_CMETHOD* Reset)(TX_CTHIS(IPlaylist));
    HRESULT(TX_CMETHOD* GetNext)(TX_CTHIS_(IPlaylist) char* path);
    HRESULT(TX_CMETHOD* Release)(TX_CTHIS(IPlaylist));
} IPlaylistVtbl;
struct IPlaylist {
    const IPlaylistVtbl* lpVtbl;
};

typedef struct IPlaybackCallback IPlaybackCallback;
typedef struct IPlaybackCallbackVtbl {
    HRESULT(TX_CMETHOD* OnProgress)
    (TX_CTHIS_(IPlaybackCallback) int32_t posMinutes, int32_t posSeconds, int32_t totalMinutes,
     int32_t totalSeconds);
    void(TX_CMETHOD* OnFinished)(TX_CTHIS(IPlaybackCallback));
} IPlaybackCallbackVtbl;
struct IPlaybackCallback {
    const IPlaybackCallbackVtbl* lpVtbl;
};
#else

// An ordered list of full paths with a read cursor, loaded from an M3U or PLS file.
// Release takes the place of a destructor (an exported interface declares none).
class IPlaylist {
public:
    // Appends path (at most 259 characters are kept); a value below 65536 names a string
    // resource of the library.
    virtual HRESULT TX_THISCALL Add(const char* path) = 0;
    // Appends the entries of the playlist file at path and puts the cursor on the first
    // entry; E_FAIL if the file cannot be opened.
    virtual HRESULT TX_THISCALL Load(const char* path) = 0;
    // Writes the entries as an M3U file (E_FAIL if it cannot be created); E_NOTIMPL for PLS.
    virtual HRESULT TX_THISCALL Save(const char* path) = 0;
    virtual HRESULT TX_THISCALL GetCount(uint32_t* count) = 0;
    // The cursor back to the first entry.
    virtual HRESULT TX_THISCALL Reset() = 0;
    // Copies the entry at the cursor into path (260 bytes) and advances; E_FAIL at the end.
    virtual HRESULT TX_THISCALL GetNext(char* path) = 0;
    // Deletes the playlist; it must not be used afterwards.
    virtual HRESULT TX_THISCALL Release() = 0;

protected:
    ~IPlaylist() = default;
};

// Implemented by the caller of Playback; called on the playback thread.
class IPlaybackCallback {
public:
    // The position and the source's length; a negative result stops playback.
    virtual HRESULT TX_THISCALL OnProgress(int32_t posMinutes, int32_t posSeconds, int32_t totalMinutes,
                                           int32_t totalSeconds) = 0;
    // Playback has ended, normally or not; the last call the library makes on this object.
    virtual void TX_THISCALL OnFinished() = 0;

protected:
    ~IPlaybackCallback() = default;
};
#endif

#ifdef __cplusplus
extern "C" {
#endif
// Creates a playlist by the extension of path (case-sensitive: ".m3u" or ".pls"; ".wax" gives
// E_NOTIMPL, others E_FAIL) and loads path if it exists. On success *out belongs to the caller.
TX_API HRESULT __cdecl PlaylistCreateFromFile(const char* path, IPlaylist** out);
// Plays source through the default wave-out device on a thread of its own and returns at once.
// The library holds its own reference to source; callback must stay valid until its
// OnFinished. 0 if the thread cannot be started (then no callback is made).
TX_API BOOL __cdecl Playback(IConvertSource* source, IPlaybackCallback* callback);
#ifdef __cplusplus
}
#endif
