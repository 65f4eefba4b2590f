#include "support/stdout_capture.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>

#include "support/file_bytes.h"

stdout_capture::stdout_capture()
{
    std::fflush(stdout);
    int target = _wopen(folder_.file(L"stdout.txt").c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY,
                        _S_IREAD | _S_IWRITE);
    if (target < 0)
        return;
    saved_fd_ = _dup(_fileno(stdout));
    _dup2(target, _fileno(stdout));
    _close(target);
    running_ = true;
}

stdout_capture::~stdout_capture()
{
    (void)text();
}

std::wstring stdout_capture::text()
{
    if (running_) {
        std::fflush(stdout);
        _dup2(saved_fd_, _fileno(stdout));
        _close(saved_fd_);
        running_ = false;
        text_ = decode_output(read_file_bytes(folder_.file(L"stdout.txt")));
    }
    return text_;
}
