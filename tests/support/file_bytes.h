#pragma once
// Whole-file reads and writes for setting up and checking project files.

#include <string>

bool write_file_bytes(const std::wstring& path, const std::string& bytes);

// The file's bytes; `ok` tells a missing file from an empty one.
std::string read_file_bytes(const std::wstring& path, bool* ok = nullptr);

// Printed output as text: UTF-16 or 8-bit, with the carriage returns removed.
std::wstring decode_output(const std::string& bytes);
