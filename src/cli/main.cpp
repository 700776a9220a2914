// kr40-cli: the instrument and its data files without the window.

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_commands.h"

int main(int argc, char** argv)
{
    using namespace kr40;
    const CliCommand c = ParseCliArgs(std::vector<std::string>(argv + 1, argv + argc));
    if (!c.error.empty()) {
        std::cerr << "kr40-cli: " << c.error << '\n' << CliUsage();
        return 2;
    }
    switch (c.kind) {
        case CliKind::Help:
            std::cout << CliUsage();
            return 0;
        case CliKind::Capture:
            return RunCapture(c, std::cout, std::cerr);
        case CliKind::Info:
            return RunInfo(c, std::cout, std::cerr);
        case CliKind::Export:
            return RunExport(c, std::cout, std::cerr);
        case CliKind::Afg:
            return RunAfg(c, std::cout, std::cerr);
        case CliKind::Decode:
            return RunDecode(c, std::cout, std::cerr);
        case CliKind::Record:
            return RunRecord(c, std::cout, std::cerr);
    }
    return 2;
}
