#pragma once
// Whole-file reads and writes for setting up and checking project files, the
// one way every test reads or writes a file whole. Paths as the system names
// files; on Windows also UTF-8.

#include <string>
#include <string_view>

// Writes `bytes` as the whole file (made or emptied first); whether all of
// them were written.
bool write_file_bytes(const std::string& path, std::string_view bytes);

// The file's bytes; `ok` tells a missing or unreadable file from an empty one.
std::string read_file_bytes(const std::string& path, bool* ok = nullptr);

#ifdef _WIN32
bool write_file_bytes(const std::wstring& path, std::string_view bytes);
std::string read_file_bytes(const std::wstring& path, bool* ok = nullptr);
#endif

// Printed output as text: UTF-16 or 8-bit, with the carriage returns removed.
std::wstring decode_output(const std::string& bytes);
