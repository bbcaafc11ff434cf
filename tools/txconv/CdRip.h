// txconv --cd: lists the CD drives and their discs, or rips tracks of one drive through the
// conversion driver, then writes and prints the rip log.
#pragma once

#include "Console.h"
#include "Options.h"

namespace txconv {

// Returns the exit status, as JobRunner::Run does (2 for a drive or track that is not there).
int RunCd(const Options& options, Console& console);

} // namespace txconv
