// The destination that turns each source of an audio CD into a track file of Red Book audio
// (44100 Hz, 2 channels, 16 bits), converting through ACM when the source delivers anything
// else. The disc recording (AudioCD.h, RecordDisc) adds a track, converts one source into it
// with AudioConvert, and hands the finished files to the drive engine.
//
// The track files are temporary files ("bcd" in the directory of TXTempPath) owned by the
// table: they are deleted with DeleteTracks or when the destination goes, whatever failed.
#pragma once

#include "AcmConverter.h"
#include "ComObject.h"
#include "DefErrLog.h"
#include "Handles.h"
#include "TempFile.h"
#include "TrelvoxConvert.h"

#include <stdint.h>

#include <memory>
#include <vector>

// CD audio as PCM: 44100 Hz, 2 channels, 16 bits.
WAVEFORMATEX RedBookFormat();

class CRedBookDest : public trelvox::ComObject<IConvertDestination>, public CDefErrLog {
public:
    // The most tracks a disc holds, and so the track table.
    static constexpr unsigned kMaxTracks = 99;

    CRedBookDest() = default;
    ~CRedBookDest() override;

    // Adds an entry with a new, empty temporary file; the next Open writes it. False when the
    // table is full or no file can be made.
    bool AddTrack();
    uint8_t TrackCount() const { return static_cast<uint8_t>(m_tracks.size()); }
    // The track file of entry index (0-based), valid while the entry is.
    const char* TrackPath(unsigned index) const { return m_tracks[index]->file.Path(); }
    // Closes the current track and deletes every track file.
    void DeleteTracks();
    // Whether the track being written goes through an ACM conversion stream.
    bool Converting() const { return static_cast<bool>(m_converter); }

    // IConvertDestination
    int32_t TX_THISCALL GetFormatIndex() override;
    int32_t TX_THISCALL SetFormatIndex(int32_t index) override;
    bool TX_THISCALL GetClassID(GUID* clsid) override;
    bool TX_THISCALL SetFileName(const char* path) override;
    bool TX_THISCALL GetFileName(char* buf, int size) override;
    bool TX_THISCALL Open() override;
    bool TX_THISCALL Write(uint32_t bytes, const void* pcm) override;
    bool TX_THISCALL Close() override;
    bool TX_THISCALL GetMetadata(IMetadata** md) override;
    bool TX_THISCALL SetSource(IConvertSource* src) override;
    bool TX_THISCALL EstimateSize(uint32_t inBytes, const WAVEFORMATEX* inFormat,
                                  uint32_t* outBytes) override;
    bool TX_THISCALL SetFormat(const WAVEFORMATEX* wfx) override;
    bool TX_THISCALL ShowSettingsDialog(HWND parent, IConvertDestination** alsoApply) override;
    bool TX_THISCALL GetSettingsText(char* buf, int size) override;
    bool TX_THISCALL SetOption(const char* name, const char* value, char* message) override;
    void TX_THISCALL SetErrorLog(IConvertCallback* cb) override;

protected:
    void* FindInterface(REFIID riid) override;

private:
    // One entry of the track table: the file and the layout values the engine gets for it.
    struct Track {
        TempFile file;
        uint16_t frameBytes = 2352;
        uint8_t dataMode = 2; // the engine's values for a Red Book audio track
        uint8_t subMode = 0;
    };

    bool WriteBytes(const void* data, uint32_t bytes);

    std::vector<std::unique_ptr<Track>> m_tracks;
    trelvox::AcmConverter m_converter; // empty while the input is Red Book already
    trelvox::UniqueFile m_output;      // the last entry's file while a track is written
    WAVEFORMATEX m_format = {};
};
