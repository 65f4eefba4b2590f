#pragma once
// Catches what the code under test prints on standard output, in-process.

#include <string>

#include "support/temp_dir.h"

class stdout_capture {
public:
    stdout_capture();
    ~stdout_capture();
    stdout_capture(const stdout_capture&) = delete;
    stdout_capture& operator=(const stdout_capture&) = delete;

    // Ends the capture (if still running) and returns the text, carriage returns removed.
    std::wstring text();

private:
    temp_dir folder_;
    int saved_fd_ = -1;
    bool running_ = false;
    std::wstring text_;
};
