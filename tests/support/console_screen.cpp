#include "support/console_screen.h"

#include <vector>

bool open_own_console(short width, short height)
{
    (void)FreeConsole();
    if (!AllocConsole())
        return false;
    HANDLE screen = open_console_output();
    bool ok = SetConsoleScreenBufferSize(screen, COORD{width, height}) != FALSE;
    CloseHandle(screen);
    return ok;
}

namespace {

// The text of the rows from `first` to the cursor's, as screen_text reads it.
std::wstring rows_to_cursor(HANDLE screen, const CONSOLE_SCREEN_BUFFER_INFO& info, short first)
{
    const short width = info.dwSize.X;
    std::wstring text;
    std::vector<wchar_t> row(static_cast<std::size_t>(width));
    for (short y = first; y <= info.dwCursorPosition.Y; ++y) {
        DWORD got = 0;
        if (!ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(width), COORD{0, y}, &got))
            break;
        std::wstring line(row.data(), got);
        bool full = got == static_cast<DWORD>(width) && line.back() != L' ';
        line.erase(line.find_last_not_of(L' ') + 1);
        text += line;
        if (y < info.dwCursorPosition.Y && !full)
            text += L'\n';
    }
    return text;
}

}  // namespace

std::wstring screen_text(HANDLE screen)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(screen, &info))
        return L"";
    return rows_to_cursor(screen, info, 0);
}

std::wstring screen_tail(HANDLE screen, short rows)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(screen, &info))
        return L"";
    short first = info.dwCursorPosition.Y >= rows ? static_cast<short>(info.dwCursorPosition.Y - rows + 1) : 0;
    return rows_to_cursor(screen, info, first);
}

void clear_screen(HANDLE screen)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(screen, &info))
        return;
    DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    DWORD done = 0;
    FillConsoleOutputCharacterW(screen, L' ', cells, COORD{0, 0}, &done);
    SetConsoleCursorPosition(screen, COORD{0, 0});
}

COORD cursor_position(HANDLE screen)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(screen, &info);
    return info.dwCursorPosition;
}

std::wstring console_title()
{
    wchar_t title[1024] = {};
    DWORD length = GetConsoleTitleW(title, 1024);
    return std::wstring(title, length);
}

bool write_key(HANDLE input, bool down)
{
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.wVirtualKeyCode = 'X';
    record.Event.KeyEvent.wVirtualScanCode = static_cast<WORD>(MapVirtualKeyW('X', MAPVK_VK_TO_VSC));
    record.Event.KeyEvent.uChar.UnicodeChar = L'x';
    DWORD written = 0;
    return WriteConsoleInputW(input, &record, 1, &written) && written == 1;
}

bool write_mouse_click(HANDLE input)
{
    INPUT_RECORD record{};
    record.EventType = MOUSE_EVENT;
    record.Event.MouseEvent.dwMousePosition = COORD{2, 2};
    record.Event.MouseEvent.dwButtonState = FROM_LEFT_1ST_BUTTON_PRESSED;
    DWORD written = 0;
    return WriteConsoleInputW(input, &record, 1, &written) && written == 1;
}

DWORD pending_input_events(HANDLE input)
{
    DWORD count = 0;
    if (!GetNumberOfConsoleInputEvents(input, &count))
        return static_cast<DWORD>(-1);
    return count;
}

HANDLE open_console_output()
{
    return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

HANDLE open_console_input()
{
    return CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}
