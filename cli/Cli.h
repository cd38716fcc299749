#pragma once
// kestrel-cli: each command lives in its own file, with the table of its options; the command
// list (CliCommands) names them all.
#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/Arguments.h"

struct CliCommand {
    const char* name;
    const char* usage;              // the argument synopsis, after "kestrel-cli NAME"
    const char* summary;            // one line for the command list
    std::vector<CliOption> options; // what the command takes, as --help lists them
    std::size_t helpColumn;         // where the options' texts begin in --help
    const char* notes;              // what --help says after the options, may be empty
    int (*run)(const std::vector<std::string>& args);
};

// The commands, each defined in its own file (DbxCommands.cpp, ExtractCommand.cpp,
// StoreCommands.cpp).
extern const CliCommand kSaveEmlCommand;
extern const CliCommand kSearchCommand;
extern const CliCommand kWizardCommand;
extern const CliCommand kExtractCommand;
extern const CliCommand kDiscoverCommand;
extern const CliCommand kSettingsCommand;

// Every command, in the order the command list shows them.
const std::vector<const CliCommand*>& CliCommands();
// The word that lists the commands as --help does.
inline constexpr const char* kHelpCommand = "help";

// The command list, as "kestrel-cli --help" prints it; a command's --help.
void PrintCommandList(std::ostream& out);
void PrintCommandHelp(const CliCommand& command, std::ostream& out);

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
