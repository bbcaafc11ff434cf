// What txconv does without files: it writes a few seconds of a generated test signal into a
// Wave file of its own in the temporary directory and converts that with the options given,
// so that a newcomer sees the whole chain work at once.
#pragma once

#include "Console.h"
#include "JobRunner.h"
#include "Options.h"

#include <string>

namespace txconv {

// Writes the demo signal (16-bit stereo, 44 100 Hz: half a second of silence, then a chord at
// half of full scale, kDemoSeconds long in all) as a Wave file. False when it cannot be written.
bool WriteDemoSignal(const std::string& path);
constexpr unsigned kDemoSeconds = 3;

// Converts the demo signal into the current directory (or -o DIR, or by --scheme) and returns
// the exit status. runner must be prepared and hold no files.
int RunDemo(const Options& options, Console& console, JobRunner& runner);

} // namespace txconv
