#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "RunProcess.h"
#include "SplitText.h"
#include "cli/Cli.h"

namespace {

using Names = std::set<std::string>;

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

// The completion's words per command: every option its entry names (options), and the options
// after which it completes no option, as their value comes next (valued).
void CompletionEntries(const std::string& script, std::map<std::string, Names>& options,
                       std::map<std::string, Names>& valued) {
    std::string command;
    bool inCommands = false, inPrevCase = false;
    for (const std::string& line : Lines(script)) {
        if (line.find("case ${words[1]} in") != std::string::npos) {
            inCommands = true;
            continue;
        }
        if (!inCommands) continue;
        std::smatch m;
        if (std::regex_search(line, m, std::regex(R"(^\s*([a-z][a-z-]*)\))"))) {
            command = m[1].str();
            options[command];
            valued[command];
        } else if (std::regex_search(line, std::regex(R"(^\s*\*\))"))) {
            break;
        }
        if (command.empty()) continue;
        if (line.find("case $prev in") != std::string::npos) inPrevCase = true;
        const Names named = OptionsIn(line);
        options[command].insert(named.begin(), named.end());
        if (inPrevCase || line.find("$prev") != std::string::npos)
            valued[command].insert(named.begin(), named.end());
        if (line.find("esac") != std::string::npos) inPrevCase = false;
    }
}

// What the page and the completion say is what the table holds: every command and option there,
// and nothing the program does not take.
TEST(CliCommandTable, TheManualPageAndTheCompletionSayWhatTheTableHolds) {
    const std::string page = ReadFileText(KESTREL_SOURCE_DIR "/dist/man/kestrel-cli.1.in");
    const std::string script = ReadFileText(KESTREL_SOURCE_DIR "/dist/kestrel-cli.bash-completion");
    ASSERT_FALSE(page.empty());
    ASSERT_FALSE(script.empty());

    // Per command, the table's options and those of them that take a value.
    std::map<std::string, Names> options, valued;
    Names commands = {kHelpCommand}, everyOption = {"--help", "--version"};
    for (const CliCommand* c : CliCommands()) {
        commands.insert(c->name);
        options[c->name] = OptionsOf(*c, false);
        valued[c->name] = OptionsOf(*c, true);
        everyOption.insert(options[c->name].begin(), options[c->name].end());
    }
    EXPECT_EQ(OptionsIn(page), everyOption);
    std::map<std::string, Names> manual;
    for (const auto& [name, text] : ManualEntries(page))
        manual[name] = OptionsIn(text);
    EXPECT_EQ(manual, options);

    std::smatch words;
    ASSERT_TRUE(std::regex_search(script, words, std::regex(R"re(local commands="([^"]*)")re")));
    Names listed;
    std::istringstream in(words[1].str());
    for (std::string word; in >> word;)
        listed.insert(word);
    EXPECT_EQ(listed, commands);
    EXPECT_NE(script.find(R"("$commands --help --version")"), std::string::npos);

    std::map<std::string, Names> completed, completedValued;
    CompletionEntries(script, completed, completedValued);
    for (auto& [name, own] : options)
        own.insert("--help"); // each command completes --help as well
    EXPECT_EQ(completed, options);
    EXPECT_EQ(completedValued, valued);
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
