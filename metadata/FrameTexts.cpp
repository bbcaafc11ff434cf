#include "FrameTexts.h"

namespace trelvox {
namespace {

constexpr const char* kPictureTypes[kPictureTypeCount] = {
    "Other",
    "32x32 pixels 'file icon' (PNG only)",
    "Other file icon",
    "Cover (front)",
    "Cover (back)",
    "Leaflet page",
    "Media (e.g. lable side of CD)",
    "Lead artist/lead performer/soloist",
    "Artist/performer",
    "Conductor",
    "Band/Orchestra",
    "Composer",
    "Lyricist/text writer",
    "Recording Location",
    "During recording",
    "During performance",
    "Movie/video screen capture",
    "A bright coloured fish",
    "Illustration",
    "Band/artist logotype",
    "Publisher/Studio logotype",
};

struct LongDescription {
    int frameId;
    const char* text;
};

// Indexed by id3lib's frame numbering; the slots not listed stay empty.
constexpr LongDescription kLongDescriptions[] = {
    {2, "Contains a picture directly related to the audio file."},
    {4, "Intended for any kind of full text information that does not fit in any other frame."},
    {12, "Contains the names of those involved, and how they were involved."},
    {14, "Identifies the CD the audio was taken from (Music CD identifier)."},
    {16, "Contains information about the ownership of the file, such as the price paid and the seller."},
    {18, "A counter of the number of times the file has been played."},
    {29, "The title of the recording (album, movie or show) the audio was taken from."},
    {30, "The number of beats per minute in the main part of the audio."},
    {31, "The name of the composer(s)."},
    {32, "The content type (genre) of the audio, as ID3v1 genre references or free text."},
    {33, "The copyright holder of the original sound, beginning with the year of the copyright."},
    {34, "The date of the recording in DDMM format."},
    {36, "The delay between songs in a playlist, in milliseconds."},
    {42, "The name of the person or organisation that encoded the audio file."},
    {43, "The writer(s) of the text or lyrics in the recording."},
    {44, "The type of audio this is (MPEG layer and so on)."},
    {45, "The time of the recording in HHMM format."},
    {46, "Used when the sound belongs to a larger category of sounds or music."},
    {47, "The actual name of the piece (e.g. \"Adagio\", \"Hurricane Donna\")."},
    {48, "Used for information directly related to the content title."},
    {49, "The musical key in which the sound starts."},
    {50, "The language(s) of the text or lyrics spoken or sung in the audio."},
    {51, "The length of the audio file in milliseconds."},
    {53, "Describes from which media the sound originated."},
    {55, "The original title of the recording, if it is a cover of a previously released song."},
    {56, "The preferred file name of the file, if it differs from the stored name."},
    {57, "The text writer(s) of the original recording, if it is a cover."},
    {58, "The performer(s) of the original recording, if it is a cover."},
    {59, "The year the original recording was released, if it is a cover."},
    {60, "The owner or licensee of the file and its contents."},
    {61, "The main performer(s) or soloist(s)."},
    {62, "Additional information about the performers in the recording."},
    {63, "The conductor."},
    {64, "More information about the people behind a remix or similar interpretation."},
    {65, "The part of a set the audio came from, as a number or \"part/total\"."},
    {67, "The name of the label or publisher."},
    {68, "The order number of this track on its album, as a number or \"track/total\"."},
    {69, "Complements the year, date and time frames with further recording dates."},
    {70, "The name of the internet radio station the file is streamed from."},
    {71, "The owner of the internet radio station the file is streamed from."},
    {72, "The size of the audio file in bytes, excluding the tag."},
    {76, "The International Standard Recording Code (ISRC), 12 characters."},
    {77, "The software, hardware and settings used for encoding."},
    {79, "Intended for one-string text information not covered by other frames, with a description."},
    {80, "Contains the year of the recording."},
    {82, "A short copyright message or reference to the terms of use of the file."},
    {83, "Contains the lyrics of the song or a text transcription of other vocal activities."},
    {84, "A URL pointing to a webpage with information such as where the album can be bought."},
    {85, "A URL pointing to a webpage where the terms of use and ownership of the file are described."},
    {86, "The official webpage for the audio file."},
    {87, "The official webpage for the artist."},
    {88, "The official webpage of the source of the audio file, e.g. a movie."},
    {89, "The homepage of the internet radio station."},
    {90, "A URL pointing to a webpage that handles payment for the file."},
    {91, "The official webpage of the publisher."},
    {92, "Intended for URL links concerning the audiofile."},
};

} // namespace

const char* PictureTypeName(unsigned type) {
    return type < kPictureTypeCount ? kPictureTypes[type] : nullptr;
}

const char* FrameLongDescription(int frameId) {
    if (frameId < 0 || frameId >= kLongDescriptionSlots)
        return nullptr;
    for (const LongDescription& entry : kLongDescriptions) {
        if (entry.frameId == frameId)
            return entry.text;
    }
    return nullptr;
}

} // namespace trelvox
