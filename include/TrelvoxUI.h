// The window classes the library registers for the front end's dialogs (InitTX registers
// them; create them by class name).
#pragma once

#include <windows.h>

// A minimal horizontal slider: a thin track and a small triangular thumb that the user drags.
// The positions run from 0 to the range; wParam carries the value of each message.
#define TXSLIDER_CLASS "TXSlider"
// Moves the thumb to wParam (clamped to 0..range) without notifying the parent.
#define TXSM_SETPOS 0x0BD1
// Returns the position.
#define TXSM_GETPOS 0x0BD2
// Sets the largest position; the thumb is not redrawn.
#define TXSM_SETRANGE 0x0BD3
// The notification code in the high word of the WM_COMMAND the parent gets when the user
// moved the thumb (the control's id in the low word, its window in lParam).
#define TXSN_MOVED 0xF061
