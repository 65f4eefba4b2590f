#pragma once
// Which program hosts a console: the classic console host, or a pseudo
// console (ConPTY), as when Windows Terminal is the default terminal.

#include <windows.h>

// Whether `window` (what GetConsoleWindow gave) is the stand-in window of a
// pseudo console: it belongs to no visible console, and WM_CLOSE posted to it
// closes nothing (the terminal's tab is the console the user sees).
bool is_pseudo_console_window(HWND window);
