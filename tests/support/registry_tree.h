#pragma once
// The registry as text, for tests that must show a tree unchanged.

#include <windows.h>

#include <string>

// Every subkey, value name, type and data byte below `path` under `root`, in
// enumeration order; "<missing>" when the key cannot be opened.
std::wstring dump_key(HKEY root, const std::wstring& path);
