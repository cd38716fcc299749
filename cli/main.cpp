#include <cstring>
#include <filesystem>
#include <iostream>

#include "cli/Cli.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "unknown"
#endif

std::vector<CliCommand>& CliCommands() {
    static std::vector<CliCommand> commands;
    return commands;
}

static const CliCommand* FindCommand(const std::string& name) {
    for (const CliCommand& c : CliCommands())
        if (name == c.name) return &c;
    return nullptr;
}

static void PrintCommandList(std::ostream& out) {
    out << "usage: kestrel-cli COMMAND [ARGS]\n\nCommands:\n";
    for (const CliCommand& c : CliCommands())
        out << "  " << c.name << std::string(c.name ? (12 > std::strlen(c.name) ? 12 - std::strlen(c.name) : 1) : 1, ' ')
            << c.summary << "\n";
    out << "\nkestrel-cli COMMAND --help describes one command; kestrel-cli --version prints the "
           "version.\n";
}

int UsageError(const char* commandName, const std::string& why) {
    if (!why.empty())
        std::cerr << "kestrel-cli " << commandName << ": " << platform::Printable(why) << "\n";
    if (const CliCommand* c = FindCommand(commandName))
        std::cerr << "usage: kestrel-cli " << c->name << " " << c->usage << "\n";
    return kExitUsage;
}

bool WantsHelp(const char* commandName, const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            const CliCommand* c = FindCommand(commandName);
            if (c) {
                std::cout << "usage: kestrel-cli " << c->name << " " << c->usage << "\n\n"
                          << c->summary << "\n";
                if (c->help && *c->help) std::cout << "\n" << c->help;
            }
            return true;
        }
    }
    return false;
}

bool PrepareDestination(const char* commandName, std::string& dest) {
    while (dest.size() > 1 && dest.back() == '/')
        dest.pop_back();
    std::error_code ec;
    std::filesystem::create_directories(dest, ec);
    if (platform::IsDirectory(dest)) return true;
    std::cerr << "kestrel-cli " << commandName << ": cannot create the destination '"
              << platform::Printable(dest) << "'\n";
    return false;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintCommandList(std::cerr);
        return kExitUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintCommandList(std::cout);
        return kExitOk;
    }
    if (name == "--version") {
        std::cout << "kestrel-cli " << KESTREL_VERSION << "\n";
        return kExitOk;
    }
    const CliCommand* c = FindCommand(name);
    if (!c) {
        std::cerr << "kestrel-cli: unknown command '" << platform::Printable(name) << "'\n";
        PrintCommandList(std::cerr);
        return kExitUsage;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    return c->run(args);
}
