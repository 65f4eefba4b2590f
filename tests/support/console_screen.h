#pragma once
// Reading and driving a console as a person at it would: what its screen
// shows, its title, and keys or mouse events written into its input.

#include <windows.h>

#include <string>

// Gives the calling process a console of its own (leaving any other first),
// with a screen buffer wide enough that no line of a report wraps.
bool open_own_console(short width = 300, short height = 400);

// The text on the screen from the top to the cursor: one line per row,
// trailing blanks removed, a row that is full to its last column joined with
// the next (the console wrapped a longer line there). When the cursor stands
// at the start of a row, the text ends with a line break.
std::wstring screen_text(HANDLE screen);
// The same for the last `rows` rows up to the cursor's only: a quick look at
// what was printed last, while a program is still printing (reading the
// whole screen then takes long enough for the picture to be stale).
std::wstring screen_tail(HANDLE screen, short rows);

// Blanks the whole screen buffer and puts the cursor at its top left.
void clear_screen(HANDLE screen);

COORD cursor_position(HANDLE screen);
std::wstring console_title();

// Writes one record into the console's input: a key press or release of the
// letter x, or a click of the left mouse button.
bool write_key(HANDLE input, bool down);
bool write_mouse_click(HANDLE input);

DWORD pending_input_events(HANDLE input);

// The process's console devices, opened anew (valid while attached).
HANDLE open_console_output();
HANDLE open_console_input();
