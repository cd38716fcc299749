#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "RunProcess.h"
#include "cli/Cli.h"

namespace {

using Names = std::set<std::string>;

std::string ReadSource(const std::string& relative) {
    std::ifstream in(std::string(KESTREL_SOURCE_DIR) + "/" + relative);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The long options a text names; the manual page writes a dash "\-".
Names OptionsIn(const std::string& text) {
    static const std::regex option(R"((?:\\-|-){2}[a-z]+(?:(?:\\-|-)[a-z]+)*)");
    Names found;
    for (std::sregex_iterator i(text.begin(), text.end(), option), end; i != end; ++i)
        found.insert(std::regex_replace(i->str(), std::regex(R"(\\-)"), "-"));
    return found;
}

Names OptionsOf(const CliCommand& command, bool withValue) {
    Names names;
    for (const CliOption& o : command.options)
        if (!withValue || o.value) names.insert(o.name);
    return names;
}

// Each command of the page's COMMANDS section with the text of its entry: an entry begins at a
// ".TP" outside the options' ".RS" blocks, and its first word in bold is the command.
std::map<std::string, std::string> ManualEntries(const std::string& page) {
    std::map<std::string, std::string> entries;
    bool inCommands = false, named = false;
    int depth = 0;
    std::string* entry = nullptr;
    for (const std::string& line : Lines(page)) {
        if (line.rfind(".SH", 0) == 0) {
            inCommands = line == ".SH COMMANDS";
            entry = nullptr;
            continue;
        }
        if (!inCommands) continue;
        if (line == ".RS") ++depth;
        if (line == ".RE") --depth;
        if (line == ".TP" && depth == 0) {
            named = true;
            continue;
        }
        if (named) {
            named = false;
            std::smatch m;
            if (std::regex_search(line, m, std::regex(R"(^(?:\.B |\\fB)([a-z]+(?:\\-[a-z]+)*))")))
                entry = &entries[std::regex_replace(m[1].str(), std::regex(R"(\\-)"), "-")];
        }
        if (entry) *entry += line + "\n";
    }
    return entries;
}

// The completion's words per command: every option its entry names, and the options after which
// it completes no option (their value comes next).
struct CompletionEntry {
    Names options;
    Names valued;
};

std::map<std::string, CompletionEntry> CompletionEntries(const std::string& script) {
    std::map<std::string, CompletionEntry> entries;
    CompletionEntry* entry = nullptr;
    bool inCommands = false, inPrevCase = false;
    for (const std::string& line : Lines(script)) {
        if (line.find("case ${words[1]} in") != std::string::npos) {
            inCommands = true;
            continue;
        }
        if (!inCommands) continue;
        std::smatch m;
        if (std::regex_search(line, m, std::regex(R"(^\s*([a-z][a-z-]*)\))"))) {
            entry = &entries[m[1].str()];
        } else if (std::regex_search(line, std::regex(R"(^\s*\*\))"))) {
            break;
        }
        if (!entry) continue;
        if (line.find("case $prev in") != std::string::npos) inPrevCase = true;
        const Names options = OptionsIn(line);
        entry->options.insert(options.begin(), options.end());
        if (inPrevCase || line.find("$prev") != std::string::npos)
            entry->valued.insert(options.begin(), options.end());
        if (line.find("esac") != std::string::npos) inPrevCase = false;
    }
    return entries;
}

// What the page and the completion say is what the table holds: every command and option there,
// and nothing the program does not take.
TEST(CliCommandTable, TheManualPageAndTheCompletionSayWhatTheTableHolds) {
    const std::string page = ReadSource("dist/man/kestrel-cli.1.in");
    const std::string script = ReadSource("dist/kestrel-cli.bash-completion");
    ASSERT_FALSE(page.empty());
    ASSERT_FALSE(script.empty());

    Names commands, everyOption = {"--help", "--version"};
    for (const CliCommand* c : CliCommands()) {
        commands.insert(c->name);
        const Names own = OptionsOf(*c, false);
        everyOption.insert(own.begin(), own.end());
    }
    EXPECT_EQ(OptionsIn(page), everyOption);

    const std::map<std::string, std::string> manual = ManualEntries(page);
    Names manualCommands;
    for (const auto& [name, text] : manual) {
        manualCommands.insert(name);
        for (const CliCommand* c : CliCommands())
            if (name == c->name) {
                EXPECT_EQ(OptionsIn(text), OptionsOf(*c, false)) << name;
            }
    }
    EXPECT_EQ(manualCommands, commands);

    std::smatch words;
    ASSERT_TRUE(std::regex_search(script, words, std::regex(R"re(local commands="([^"]*)")re")));
    Names listed;
    std::istringstream in(words[1].str());
    for (std::string word; in >> word;)
        listed.insert(word);
    Names expected = commands;
    expected.insert(kHelpCommand);
    EXPECT_EQ(listed, expected);
    EXPECT_NE(script.find(R"("$commands --help --version")"), std::string::npos);

    const std::map<std::string, CompletionEntry> completion = CompletionEntries(script);
    Names completed;
    for (const auto& [name, entry] : completion) {
        completed.insert(name);
        for (const CliCommand* c : CliCommands()) {
            if (name != c->name) continue;
            Names options = OptionsOf(*c, false);
            options.insert("--help");
            EXPECT_EQ(entry.options, options) << name;
            EXPECT_EQ(entry.valued, OptionsOf(*c, true)) << name;
        }
    }
    EXPECT_EQ(completed, commands);
}

// The program's help comes from the same table: every command in the list, every option (with
// its value) in the command's help.
TEST(CliCommandTable, TheHelpListsEveryCommandAndOption) {
    const ProcessResult list = RunProgram({"kestrel-cli", "--help"});
    ASSERT_EQ(list.exitCode, 0);
    for (const CliCommand* c : CliCommands()) {
        EXPECT_NE(list.out.find(std::string("\n  ") + c->name + " "), std::string::npos) << c->name;
        const ProcessResult help = RunProgram({"kestrel-cli", c->name, "--help"});
        EXPECT_EQ(help.exitCode, 0) << c->name;
        for (const CliOption& o : c->options) {
            // An option without a text of its own follows the one it is described with.
            const std::string label = std::string(o.help ? "  " : ", ") + o.name +
                                      (o.valueName ? std::string(" ") + o.valueName : "");
            EXPECT_NE(help.out.find(label), std::string::npos) << c->name << " " << label;
        }
    }
}

} // namespace
