#pragma once
// Texts and small helpers shared by the console's source files.

#include "console/shadow_console.h"

inline constexpr wchar_t default_console_title[] = L"tarnvik.projport";

// The title slot when it holds a title, else the default title.
const wchar_t* console_title_text(const shadow_console& console) noexcept;
