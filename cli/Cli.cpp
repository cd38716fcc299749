#include "cli/Cli.h"

#include <cstring>
#include <filesystem>
#include <iostream>

#include "platform/FileSystem.h"
#include "platform/Text.h"

const std::vector<const CliCommand*>& CliCommands() {
    // A new command is one line here (and its file, its page entry and its completion).
    static const std::vector<const CliCommand*> commands = {
        &kSaveEmlCommand, &kSearchCommand,   &kWizardCommand,
        &kExtractCommand, &kDiscoverCommand, &kSettingsCommand,
    };
    return commands;
}

namespace {

const CliCommand* FindCommand(const std::string& name) {
    for (const CliCommand* c : CliCommands())
        if (name == c->name) return c;
    return nullptr;
}

// An option's names ("--yes, --no" for options described together) and its value's name.
std::string OptionLabel(const std::vector<CliOption>& options, std::size_t& i) {
    std::string label = options[i].name;
    if (options[i].valueName) label += std::string(" ") + options[i].valueName;
    while (i + 1 < options.size() && !options[i + 1].help)
        label += std::string(", ") + options[++i].name;
    return label;
}

} // namespace

void PrintCommandList(std::ostream& out) {
    out << "usage: kestrel-cli COMMAND [ARGS]\n\nCommands:\n";
    for (const CliCommand* c : CliCommands()) {
        const std::size_t length = std::strlen(c->name);
        out << "  " << c->name << std::string(length < 12 ? 12 - length : 1, ' ') << c->summary
            << "\n";
    }
    out << "\nkestrel-cli COMMAND --help describes one command; kestrel-cli --version prints the "
           "version.\n";
}

void PrintCommandHelp(const CliCommand& command, std::ostream& out) {
    out << "usage: kestrel-cli " << command.name << " " << command.usage << "\n\n"
        << command.summary << "\n";
    if (command.options.empty() && !*command.notes) return;
    out << "\n";
    const std::string indent(command.helpColumn, ' ');
    for (std::size_t i = 0; i < command.options.size(); ++i) {
        const char* help = command.options[i].help;
        const std::string label = "  " + OptionLabel(command.options, i);
        // A label too long for its column has its text on the lines below.
        out << label
            << (label.size() < command.helpColumn
                    ? std::string(command.helpColumn - label.size(), ' ')
                    : "\n" + indent);
        for (const char* c = help ? help : ""; *c; ++c)
            out << *c << (*c == '\n' ? indent : "");
        out << "\n";
    }
    out << command.notes;
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
            if (const CliCommand* c = FindCommand(commandName)) PrintCommandHelp(*c, std::cout);
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
