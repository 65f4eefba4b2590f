#pragma once
// Runs convert_project on a file and collects what a user would see: the
// result, what it printed and the file's bytes afterwards.

#include <string>

#include "app/convert_project.h"
#include "support/file_bytes.h"
#include "support/stdout_capture.h"

struct conversion_outcome {
    int result = 0;
    std::wstring printed;
    std::string bytes;
};

inline conversion_outcome convert_file(const std::wstring& path, int row)
{
    vs_version target = vs_version(row);  // a test's number for the row
    conversion_outcome o;
    {
        stdout_capture out;
        o.result = convert_project(path.c_str(), target);
        o.printed = out.text();
    }
    o.bytes = read_file_bytes(path);
    return o;
}
