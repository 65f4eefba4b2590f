#include "support/file_bytes.h"

#include <windows.h>

bool write_file_bytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = bytes.empty() ||
              (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size());
    CloseHandle(file);
    return ok;
}

std::string read_file_bytes(const std::wstring& path, bool* ok)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ok)
        *ok = file != INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

std::wstring decode_output(const std::string& bytes)
{
    std::wstring text;
    bool utf16 = bytes.size() >= 2 && bytes[1] == '\0';
    if (utf16) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8);
    } else {
        for (char c : bytes)
            text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    std::wstring without_cr;
    for (wchar_t c : text)
        if (c != L'\r')
            without_cr += c;
    return without_cr;
}
