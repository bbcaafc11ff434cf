// Disc titles for txconv's rips: a CDDB lookup before ripping, and submitting corrected
// entries, through the disc object's own lookup and submission threads.
#pragma once

#include "Console.h"
#include "Options.h"

#include "TrelvoxCD.h"

namespace txconv {

enum class LookupResult {
    Titled,   // the chosen entry is read into the disc
    Untitled, // no entry (the reason was reported): the rip goes on with the default names
    Stopped,  // several matches and none chosen
};

// Looks the disc up and reads the chosen match into it. Several matches are listed on stdout;
// --cddb-match or the user's answer picks one.
LookupResult LookUpDisc(Console& console, cdrip::IAudioCD* disc, const CddbOptions& options);

// Sets the edits of the command line on the disc (--title, --artist, --track-title).
bool ApplyEdits(Console& console, cdrip::IAudioCD* disc, const CddbOptions& options);

// Submits the disc's entry; a resubmission of an entry the server has is confirmed first.
bool SubmitDisc(Console& console, cdrip::IAudioCD* disc, const CddbOptions& options);

} // namespace txconv
