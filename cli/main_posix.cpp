// projport-cli's entry on Linux and macOS.

#include <signal.h>

#include <string>
#include <vector>

#include "cli/cli_main.h"

int main(int argc, char** argv)
{
    // A write past the file-size limit then fails with EFBIG and is reported
    // like any failed write, and a write to a closed pipe fails with EPIPE,
    // instead of either ending the process in the middle of a run.
    (void)signal(SIGXFSZ, SIG_IGN);
    (void)signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    return cli_main(arguments);
}
