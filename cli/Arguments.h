#pragma once
// The one argument reader of the kestrel-cli commands: options by name, with or without a value,
// and the positional arguments, in the order given. "--" ends the options; a lone "-" is a
// positional argument.
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct CliOption {
    const char* name;
    // What the value is ("a text", "a date"), for the message when it is missing, and its name
    // in the help ("TEXT", "DATE"); both null for an option without a value.
    const char* value = nullptr;
    const char* valueName = nullptr;
    // The option's lines in the help, parted by "\n"; null for an option the help describes
    // together with the one before it ("--yes, --no").
    const char* help = nullptr;
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

// One option of a command with what it does, so that the help, the reader and the handler all
// come from one row.
template <class Request> struct CliOptionRow {
    CliOption option;
    // Applies the option (with its value, when it takes one) to the request: the usage error, or
    // empty.
    std::string (*apply)(Request& request, const std::string& value);
};

template <class Request>
std::vector<CliOption> OptionsOf(const std::vector<CliOptionRow<Request>>& rows) {
    std::vector<CliOption> options;
    for (const CliOptionRow<Request>& row : rows)
        options.push_back(row.option);
    return options;
}

// Reads the arguments against the rows and applies each option given to the request, in the
// order given: the positional arguments, or nullopt with the usage error in error.
template <class Request>
std::optional<std::vector<std::string>> ReadOptions(const std::vector<std::string>& args,
                                                    const std::vector<CliOptionRow<Request>>& rows,
                                                    Request& request, std::string& error) {
    std::optional<CliArguments> read = ReadArguments(args, OptionsOf(rows), error);
    if (!read) return std::nullopt;
    for (const CliArguments::Given& given : read->options) {
        for (const CliOptionRow<Request>& row : rows) {
            if (given.name != row.option.name) continue;
            error = row.apply(request, given.value);
            if (!error.empty()) return std::nullopt;
        }
    }
    return std::move(read->positional);
}
