#include "app/help_dialog.h"

#include <windows.h>

#include "console/shadow_console.h"
#include "shell/register_context_menu.h"

namespace {

constexpr wchar_t usage_text[] =
    L"Converts Visual Studio project files between versions 2010, 2015, 2017 and 2019\n"
    L"\n"
    L"Usage:\n"
    L"projport <2010|2015|2017|2019> <project.vcxproj>\n"
    L"\n"
    L"Yes: install context menu handler for .vcxproj\n"
    L"No: remove context menu handler for .vcxproj\n"
    L"Cancel: close this help";
constexpr wchar_t usage_title[] = L":: projport ::";
constexpr UINT usage_style = MB_YESNOCANCEL | MB_ICONINFORMATION | MB_DEFBUTTON3 | MB_SETFOREGROUND;
static_assert(usage_style == 0x00010243);

}  // namespace

int show_help_dialog() noexcept
{
    int answer = MessageBoxW(nullptr, usage_text, usage_title, usage_style);
    if (answer != IDYES && answer != IDNO)
        return 1;

    (void)console_alloc(g_shadow_console);
    (void)register_context_menu(answer == IDYES);
    // Only a console can end this wait (a key pressed in it, or its closing);
    // without one nothing would ever signal the event.
    if (g_shadow_console.event_valid.load(std::memory_order_relaxed) && g_shadow_console.console_window)
        (void)WaitForSingleObject(g_shadow_console.exit_event, INFINITE);
    return 1;
}
