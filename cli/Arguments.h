#pragma once
// The one argument reader of the kestrel-cli commands: options by name, with or without a value,
// and the positional arguments, in the order given. "--" ends the options; a lone "-" is a
// positional argument.
#include <optional>
#include <string>
#include <vector>

struct CliOption {
    const char* name;
    // What the value is ("a text", "a date"); null for an option without a value.
    const char* value = nullptr;
};

struct CliArguments {
    struct Given {
        std::string name;
        std::string value;
    };
    std::vector<Given> options; // in the order given
    std::vector<std::string> positional;
};

// The arguments read against the command's options; nullopt with the reason in error for an
// unknown option or an option missing its value.
std::optional<CliArguments> ReadArguments(const std::vector<std::string>& args,
                                          const std::vector<CliOption>& known, std::string& error);
