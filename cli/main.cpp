#include <iostream>

#include "cli/Cli.h"
#include "platform/Text.h"

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "unknown"
#endif

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintCommandList(std::cerr);
        return kExitUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == kHelpCommand) {
        PrintCommandList(std::cout);
        return kExitOk;
    }
    if (name == "--version") {
        std::cout << "kestrel-cli " << KESTREL_VERSION << "\n";
        return kExitOk;
    }
    for (const CliCommand* c : CliCommands())
        if (name == c->name) return c->run(std::vector<std::string>(argv + 2, argv + argc));
    std::cerr << "kestrel-cli: unknown command '" << platform::Printable(name) << "'\n";
    PrintCommandList(std::cerr);
    return kExitUsage;
}
