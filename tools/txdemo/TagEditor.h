// txdemo's tag editor window: the explorer tree, the chosen folder's audio files and the
// metadata list view for the selected files, with Save.
#pragma once

#include <windows.h>

#include <string>

// Opens the window (or brings it forward); folder, when not empty, is selected in the tree.
void OpenTagEditor(HINSTANCE instance, HWND owner, const std::string& folder);
// The open window, or null.
HWND TagEditorWindow();
