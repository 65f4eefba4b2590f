// console_probe <pid> [key]
// A helper run detached by end-to-end tests: attaches to the console of
// process <pid> and writes to the standard output it was given (UTF-16) the
// console's title on one line, its width on the next, and then its screen
// from the top to the cursor's row, rows joined by line feeds and trailing
// blanks removed (long lines wrap onto the next rows). With "key"
// it then presses and releases Enter in that console.
// Exit code 0, or 2 to 5 for the step that failed.

#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    HANDLE report = GetStdHandle(STD_OUTPUT_HANDLE);
    FreeConsole();
    if (!AttachConsole(static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10))))
        return 3;
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (screen == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(screen, &info))
        return 4;

    wchar_t title[1024] = {};
    GetConsoleTitleW(title, 1024);
    const DWORD width = static_cast<DWORD>(info.dwSize.X);
    std::wstring text = std::wstring(title) + L"\n" + std::to_wstring(width) + L"\n";
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        std::wstring row(width, L' ');
        DWORD got = 0;
        ReadConsoleOutputCharacterW(screen, row.data(), width, COORD{0, y}, &got);
        row.resize(got);
        while (!row.empty() && row.back() == L' ')
            row.pop_back();
        text += row;
        if (y < info.dwCursorPosition.Y)
            text += L'\n';
    }
    CloseHandle(screen);
    DWORD written = 0;
    WriteFile(report, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);

    if (argc >= 3 && std::wcscmp(argv[2], L"key") == 0) {
        HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
        INPUT_RECORD keys[2] = {};
        for (int i = 0; i < 2; ++i) {
            keys[i].EventType = KEY_EVENT;
            keys[i].Event.KeyEvent.bKeyDown = i == 0;
            keys[i].Event.KeyEvent.wRepeatCount = 1;
            keys[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
            keys[i].Event.KeyEvent.wVirtualScanCode = static_cast<WORD>(MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC));
            keys[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
        }
        DWORD sent = 0;
        if (input == INVALID_HANDLE_VALUE || !WriteConsoleInputW(input, keys, 2, &sent) || sent != 2)
            return 5;
        CloseHandle(input);
    }
    FreeConsole();
    return 0;
}
