#include "support/file_bytes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef _WIN32
namespace {

std::wstring from_utf8(const std::string& text)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

}  // namespace

bool write_file_bytes(const std::wstring& path, std::string_view bytes)
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

bool write_file_bytes(const std::string& path, std::string_view bytes)
{
    return write_file_bytes(from_utf8(path), bytes);
}

std::string read_file_bytes(const std::string& path, bool* ok)
{
    return read_file_bytes(from_utf8(path), ok);
}
#else
bool write_file_bytes(const std::string& path, std::string_view bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put > 0)
            done += static_cast<std::size_t>(put);
        else if (put < 0 && errno == EINTR)
            continue;
        else
            ok = false;
    }
    return close(fd) == 0 && ok;
}

std::string read_file_bytes(const std::string& path, bool* ok)
{
    std::string bytes;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (ok)
        *ok = fd >= 0;
    if (fd < 0)
        return bytes;
    char chunk[65536];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got > 0) {
            bytes.append(chunk, static_cast<std::size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            if (got < 0 && ok)
                *ok = false;
            break;
        }
    }
    close(fd);
    return bytes;
}
#endif

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
