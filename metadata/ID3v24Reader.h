// Reading ID3v2.4 tags, which id3lib 3.8.3 recognises but cannot read: its frame layouts end
// at version 2.3, so every frame of a 2.4 tag comes out without fields. This reader undoes
// what 2.4 adds (sync-safe sizes, per-frame unsynchronisation, data length indicators,
// compression, UTF-16BE and UTF-8 texts, lists of values) and hands each frame to id3lib in
// its 2.3 form, so that the rest of the library sees ordinary id3lib frames.
#pragma once

#include "ID3v24Tag.h"

#include <id3/tag.h>

#include <stddef.h>
#include <stdint.h>

namespace trelvox {

// Appends the frames of the ID3v2.4 tag at the start of bytes (header included; a tag cut
// short is read as far as it goes) to tag. Frames that cannot be read or have no ID3v2.3
// counterpart are left out. Returns the number of frames appended.
size_t ParseID3v24Tag(const uint8_t* bytes, size_t size, ID3_Tag& tag);

// Reads the ID3v2.4 tag at the start of the file at path into tag. False (tag untouched)
// when the file cannot be read or does not start with an ID3v2.4 tag.
bool ReadID3v24File(const char* path, ID3_Tag& tag);

// Reads every tag of the file into tag as id3lib's Link does, except that the frames of an
// ID3v2.4 tag come from this reader. As with id3lib, an ID3v1 (or Lyrics3) tag only adds the
// frames that the ID3v2 tag lacks.
void LinkID3Tags(const char* path, ID3_Tag& tag);

} // namespace trelvox
