// Runs console_init as the program's last dynamic initialiser, so that
// console_teardown, which it registers with atexit, runs first at exit.
// Compiled only into the programs that want it (projport.exe and the
// start-up order probe), never into the library: a test program that links
// projport_console calls the functions itself.
//
// It must be the first source of its program (see console/CMakeLists.txt).
// - MSVC: the runtime's start-up calls the pointers of the sections
//   .CRT$XCA to .CRT$XCZ in the order of their names; the compiler puts every
//   dynamic initialiser in .CRT$XCU, so an entry in .CRT$XCY runs after them all.
// - mingw-w64: GCC puts a default-priority initialiser in .ctors, and the
//   runtime (__do_global_ctors) calls that list from its end back to its
//   start; prioritised initialisers sort after .ctors and run first. The
//   .ctors entry of the first object on the link line is therefore the last
//   to run.
// In both, console_init is also the program's only dynamic initialiser: every
// table of the program is constant-initialised.

#include "console/shadow_console.h"

#if defined(_MSC_VER)

namespace {
void __cdecl run_console_init() noexcept
{
    console_init();
}
}  // namespace

#pragma section(".CRT$XCY", long, read)
extern "C" __declspec(allocate(".CRT$XCY")) void(__cdecl* const projport_console_init_entry)() = run_console_init;
#pragma comment(linker, "/include:projport_console_init_entry")

#else

namespace {
struct console_init_entry {
    console_init_entry() noexcept { console_init(); }
};
console_init_entry run_console_init;
}  // namespace

#endif
