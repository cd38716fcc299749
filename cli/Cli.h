#pragma once
// kestrel-cli: each command lives in its own file and registers itself here.
#include <string>
#include <vector>

struct CliCommand {
    const char* name;
    const char* usage;   // the argument synopsis, after "kestrel-cli NAME"
    const char* summary; // one line for the command list
    const char* help;    // the full --help text (options), may be empty
    int (*run)(const std::vector<std::string>& args);
};

std::vector<CliCommand>& CliCommands();

struct CliRegistrar {
    explicit CliRegistrar(const CliCommand& c) { CliCommands().push_back(c); }
};

// Exit codes shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// The run went to its end, but a message could not be read or a file could not be written.
inline constexpr int kExitIncomplete = 3;

// Prints the command's usage to stderr and returns kExitUsage.
int UsageError(const char* commandName, const std::string& why);
// Drops trailing separators and creates the destination folder with its parents, as a user
// asking for output there expects; false (with a message on stderr) when it cannot be made.
bool PrepareDestination(const char* commandName, std::string& dest);
// True when args holds --help or -h; prints the command's help to stdout.
bool WantsHelp(const char* commandName, const std::vector<std::string>& args);
