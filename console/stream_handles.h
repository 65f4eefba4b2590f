#pragma once
// The standard handles kept equal to the handles under the standard streams.
// Every reopening of a stream on a console or on NUL closes the handle the
// stream had and opens another; the runtime of a GUI program does not tell
// the process (the Universal CRT calls SetStdHandle in console programs
// only), so GetStdHandle would go on returning the handle just closed, and
// the input watcher and the screen-buffer queries would act on it.

#include <windows.h>

#include <cstdio>

// The handle under the stream's descriptor, or null when the stream has no
// usable descriptor (a GUI program's streams before it has a console).
HANDLE stream_os_handle(FILE* stream) noexcept;

// Makes the standard handle `which` (STD_INPUT_HANDLE, STD_OUTPUT_HANDLE or
// STD_ERROR_HANDLE) the handle under `stream`. A stream without a usable
// descriptor leaves the standard handle as it is.
void std_handle_follows(DWORD which, FILE* stream) noexcept;
