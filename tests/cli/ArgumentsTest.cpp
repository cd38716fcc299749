#include <gtest/gtest.h>

#include "cli/Arguments.h"

namespace {

const std::vector<CliOption> kOptions = {{"--flag"}, {"--name", "a name"}};

// Options and positional arguments read back as "option=value" and "[positional]".
std::string Read(const std::vector<std::string>& args) {
    std::string error;
    std::optional<CliArguments> read = ReadArguments(args, kOptions, error);
    if (!read) return "error: " + error;
    std::string out;
    for (const CliArguments::Given& o : read->options)
        out += o.name + "=" + o.value + " ";
    for (const std::string& p : read->positional)
        out += "[" + p + "] ";
    return out;
}

TEST(CliArguments, ReadsOptionsAndPositionalsInOrder) {
    struct Case {
        std::vector<std::string> args;
        std::string read;
    } cases[] = {
        {{}, ""},
        {{"a", "--flag", "b"}, "--flag= [a] [b] "},
        // A value may look like an option; "--" ends the options.
        {{"--name", "x", "--name", "--flag"}, "--name=x --name=--flag "},
        {{"-", "--", "--flag", "-x"}, "[-] [--flag] [-x] "},
        {{"--bogus"}, "error: unknown option '--bogus'"},
        {{"-x", "a"}, "error: unknown option '-x'"},
        {{"a", "--name"}, "error: --name needs a name"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(c.args), c.read) << testing::PrintToString(c.args);
}

} // namespace
