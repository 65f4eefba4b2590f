// The smallest GUI program: the yardstick for projport's own start and exit.

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return 0;
}
