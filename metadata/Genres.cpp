// The ID3v1 genre list, exported for the genre frame and the front-end.
#include "TrelvoxMetadata.h"

#include <windows.h>
#include <shlwapi.h>

#include <string.h>

namespace {

constexpr unsigned kGenreCount = 80;
constexpr size_t kGenreWidth = 15;

// Padded to 15 characters; four names are shortened to fit.
constexpr const char* kGenres[kGenreCount] = {
    "Blues          ", "Classic Rock   ", "Country        ", "Dance          ", "Disco          ",
    "Funk           ", "Grunge         ", "Hip-Hop        ", "Jazz           ", "Metal          ",
    "New Age        ", "Oldies         ", "Other          ", "Pop            ", "R&B            ",
    "Rap            ", "Reggae         ", "Rock           ", "Techno         ", "Industrial     ",
    "Alternative    ", "Ska            ", "Death Metal    ", "Pranks         ", "Soundtrack     ",
    "Euro-Techno    ", "Ambient        ", "Trip-Hop       ", "Vocal          ", "Jazz+Funk      ",
    "Fusion         ", "Trance         ", "Classical      ", "Instrumental   ", "Acid           ",
    "House          ", "Game           ", "Sound Clip     ", "Gospel         ", "Noise          ",
    "Altern Rock    ", "Bass           ", "Soul           ", "Punk           ", "Space          ",
    "Meditative     ", "Inst. Pop      ", "Instrum. Rock  ", "Ethnic         ", "Gothic         ",
    "Darkwave       ", "Techno-Indus   ", "Electronic     ", "Pop-Folk       ", "Eurodance      ",
    "Dream          ", "Southern Rock  ", "Comedy         ", "Cult           ", "Gangsta        ",
    "Top 40         ", "Christian Rap  ", "Pop/Funk       ", "Jungle         ", "Native American",
    "Cabaret        ", "New Wave       ", "Psychadelic    ", "Rave           ", "Showtunes      ",
    "Trailer        ", "Lo-Fi          ", "Tribal         ", "Acid Punk      ", "Acid Jazz      ",
    "Polka          ", "Retro          ", "Musical        ", "Rock & Roll    ", "Hard Rock      ",
};

constexpr bool AllPadded() {
    for (const char* name : kGenres) {
        size_t length = 0;
        while (name[length])
            ++length;
        if (length != kGenreWidth)
            return false;
    }
    return true;
}
static_assert(AllPadded(), "every genre name is padded to 15 characters");

} // namespace

extern "C" {

int __cdecl GenreGetCount() {
    return static_cast<int>(kGenreCount);
}

const char* __cdecl GenreGet(unsigned index) {
    return index < kGenreCount ? kGenres[index] : nullptr;
}

int __cdecl GenreToNum(const char* name) {
    if (!name)
        return -1;
    for (unsigned i = 0; i < kGenreCount; ++i) {
        char trimmed[20];
        lstrcpynA(trimmed, kGenres[i], sizeof trimmed);
        StrTrimA(trimmed, " ");
        if (lstrcmpA(trimmed, name) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

} // extern "C"
