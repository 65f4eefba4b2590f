// projport-cli's entry on Linux and macOS.

#include <string>
#include <vector>

#include "cli/cli_main.h"

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    return cli_main(arguments);
}
