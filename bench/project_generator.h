#pragma once
// Plausible Visual Studio 2015 project files of a chosen size, for measuring
// the conversion on input shaped like the real thing.

#include <cstddef>
#include <string>

// A 2015 project (ToolsVersion="14.0", v140 toolsets) of at least
// `min_bytes` bytes and at most a few kilobytes more. Same size, same text.
std::string generate_project(std::size_t min_bytes);
