#pragma once
// What projport-cli does with its arguments (UTF-8, without the program's
// name), on every platform. Returns the exit code.

#include <string>
#include <vector>

int cli_main(const std::vector<std::string>& arguments);
