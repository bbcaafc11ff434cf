// The playlist objects: one common list-with-cursor, specialised per file format.
#pragma once

#include "PlaylistText.h"
#include "TrelvoxPlayback.h"

#include <string>
#include <vector>

// The entries and the cursor, and every operation that does not depend on the format.
// Format supplies kFormat, Values(text) (the raw values of a file) and Save.
template <class Format> class CPlaylist : public IPlaylist {
public:
    HRESULT TX_THISCALL Add(const char* path) override;
    HRESULT TX_THISCALL Load(const char* path) override;
    HRESULT TX_THISCALL GetCount(uint32_t* count) override;
    HRESULT TX_THISCALL Reset() override;
    HRESULT TX_THISCALL GetNext(char* path) override;
    HRESULT TX_THISCALL Release() override;

    virtual ~CPlaylist() = default;

protected:
    std::vector<std::string> m_entries;
    size_t m_cursor = 0;
};

class CM3UPlaylist : public CPlaylist<CM3UPlaylist> {
public:
    static constexpr trelvox::playlist::Format kFormat = trelvox::playlist::Format::M3U;
    static std::vector<std::string> Values(std::string_view text) {
        return trelvox::playlist::M3UValues(text);
    }
    HRESULT TX_THISCALL Save(const char* path) override;
};

class CPLSPlaylist : public CPlaylist<CPLSPlaylist> {
public:
    static constexpr trelvox::playlist::Format kFormat = trelvox::playlist::Format::PLS;
    static std::vector<std::string> Values(std::string_view text) {
        return trelvox::playlist::PLSValues(text);
    }
    HRESULT TX_THISCALL Save(const char*) override { return E_NOTIMPL; }
};
