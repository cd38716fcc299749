// discover and settings: what the program finds and what it remembers.
#include <iostream>

#include "app/Settings.h"
#include "cli/Arguments.h"
#include "cli/Cli.h"
#include "cli/ConsoleUi.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "store/MailSourceList.h"
#include "store/StoreDiscovery.h"

namespace {

// Discover's one option names the store root.
const std::vector<CliOptionRow<std::string>> kDiscoverOptions = {
    {{"--root", "a folder", "DIR",
      "the store root (default: the mailbox path of the settings, or the default store)"},
     [](std::string& root, const std::string& folder) {
         root = folder;
         return std::string();
     }},
};

int RunDiscover(const std::vector<std::string>& args) {
    if (WantsHelp("discover", args)) return kExitOk;
    std::string root;
    std::string error;
    const std::optional<std::vector<std::string>> read =
        ReadOptions(args, kDiscoverOptions, root, error);
    if (!read) return UsageError("discover", error);
    if (!read->empty()) return UsageError("discover", "unexpected argument '" + (*read)[0] + "'");
    CConsoleMessageBox ui;
    StoreDiscovery discovery;
    if (root.empty()) {
        LoadSettings();
        root = discovery.ResolveStoreRoot(TheSettings());
    } else if (root.back() != '/') {
        root += '/';
    }
    discovery.DiscoverFolders(root, &ui);
    // The fourth column is what extract, search, save-eml and wizard take for the folder; empty
    // for a folder that only holds folders.
    for (const FolderRecord& f : discovery.Folders)
        std::cout << platform::Printable(f.DisplayName) << '\t'
                  << platform::Printable(f.RelativePath) << '\t' << platform::Printable(f.FullPath)
                  << '\t' << platform::Printable(f.Source ? FolderMailboxPath(f) : std::string())
                  << '\n';
    return kExitOk;
}

int RunSettings(const std::vector<std::string>& args) {
    if (WantsHelp("settings", args)) return kExitOk;
    std::string error;
    std::optional<CliArguments> read = ReadArguments(args, {}, error);
    if (!read) return UsageError("settings", error);
    if (!read->positional.empty())
        return UsageError("settings", "unexpected argument '" + read->positional[0] + "'");
    AppSettings settings;
    LoadSettings(settings);
    ForEachSetting(settings, [](const char*, const char* name, const std::string& value) {
        std::cout << name << '=' << platform::Printable(value) << '\n';
    });
    std::string path = SettingsReadPath();
    if (platform::FileExists(path))
        std::cout << "read from " << path << '\n';
    else
        std::cout << "no settings file found (defaults in use; looked for " << path << ")\n";
    return kExitOk;
}

} // namespace

const CliCommand kDiscoverCommand = {
    "discover",
    "[--root DIR]",
    "List the mail folders of the store: display name, relative path, full path and mailbox, "
    "tab-separated.",
    OptionsOf(kDiscoverOptions),
    15,
    "The mailbox is what extract, search, save-eml and wizard take for the folder (empty for\n"
    "a folder that only holds folders): its folder or message file, or for a folder of an\n"
    "Outlook .pst/.ost file the file's path, \"/\" and the folder's path inside it, as\n"
    "mail/archive.pst/Top of Personal Folders/Inbox (a \"/\" or \"%\" in a folder's name\n"
    "written %2F or %25; the second, third... of folders of one name under one parent\n"
    "followed by %#2, %#3..., as Inbox%#2).\n",
    RunDiscover};

const CliCommand kSettingsCommand = {
    "settings", "", "Print the settings as the program loads them, then the file read.", {}, 0, "",
    RunSettings};
