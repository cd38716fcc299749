#include "cli/Arguments.h"

std::optional<CliArguments> ReadArguments(const std::vector<std::string>& args,
                                          const std::vector<CliOption>& known, std::string& error) {
    CliArguments read;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            read.positional.insert(read.positional.end(), args.begin() + static_cast<long>(i) + 1,
                                   args.end());
            break;
        }
        if (a.size() < 2 || a[0] != '-') {
            read.positional.push_back(a);
            continue;
        }
        const CliOption* option = nullptr;
        for (const CliOption& o : known)
            if (a == o.name) option = &o;
        if (!option) {
            error = "unknown option '" + a + "'";
            return std::nullopt;
        }
        if (!option->value) {
            read.options.push_back({a, {}});
        } else if (i + 1 < args.size()) {
            read.options.push_back({a, args[++i]});
        } else {
            error = a + " needs " + option->value;
            return std::nullopt;
        }
    }
    return read;
}
