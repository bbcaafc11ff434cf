// txdemo's "Frames" menu: each frame edit dialog of the library, opened on a sample frame.
#pragma once

#include <windows.h>

#include <string>

// Adds the "&Frames" pop-up to the menu bar.
void AppendFrameDialogMenu(HMENU bar);
// The menu command of a --open name ("frame-text", "frame-genre", ...); 0 when it is none.
UINT FrameDialogCommand(const std::string& name);
// The --open names, separated by '|', for the usage text.
const char* FrameDialogNames();
// Runs the dialog of a menu command over owner; false when command is not one of them.
bool OpenFrameDialog(HWND owner, UINT command);
