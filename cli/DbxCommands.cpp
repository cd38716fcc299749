// save-eml and search: the operations over a folder's .dbx message file.
#include <iostream>
#include <optional>

#include "cli/Cli.h"
#include "cli/ConsoleUi.h"
#include "engine/ConsoleProgress.h"
#include "engine/MailSearch.h"
#include "engine/SaveAsEml.h"
#include "oe/DbxReader.h"
#include "platform/FileSystem.h"

namespace {

// The core keeps quiet about a file that is not a store (the folder tree has its own message
// for that); on the command line the user needs to know why nothing happened.
bool ReportUnreadableStore(const char* command, const std::string& path) {
    CDbxStoreFile store;
    if (store.Open(path) == 0) return false;
    int code = GetDbxLastError();
    std::cerr << "kestrel-cli " << command << ": " << path << ": not a readable .dbx file ("
              << (code > 0 && code < kDbxErrorCount ? DbxErrorTexts[code] : "unknown error")
              << ")\n";
    return true;
}

int RunSaveEml(const std::vector<std::string>& args) {
    if (WantsHelp("save-eml", args)) return kExitOk;
    std::vector<std::string> positional;
    bool ask = false;
    for (const std::string& a : args) {
        if (a == "--ask")
            ask = true;
        else if (a.size() > 1 && a[0] == '-')
            return UsageError("save-eml", "unknown option '" + a + "'");
        else
            positional.push_back(a);
    }
    if (positional.size() != 2) return UsageError("save-eml", "needs DBXFILE and DEST");
    const std::string& source = positional[0];
    const std::string& dest = positional[1];
    if (!platform::IsDirectory(dest)) {
        std::cerr << "kestrel-cli save-eml: " << dest << ": not a folder\n";
        return kExitFailed;
    }
    if (ReportUnreadableStore("save-eml", source)) return kExitFailed;

    CConsoleMessageBox ui(ask ? std::nullopt : std::optional<bool>(true));
    CConsoleProgress progress;
    SaveEmlResult r = SaveMessagesAsEml(source, dest, ui, progress);
    for (const std::string& why : r.failures) std::cerr << "kestrel-cli save-eml: " << why << "\n";
    if (r.outcome == SaveEmlOutcome::Declined) return kExitOk;
    std::cout << r.saved << " message(s) saved to " << dest << "\n";
    if (r.failed > 0) std::cout << r.failed << " message(s) could not be written\n";
    return r.outcome == SaveEmlOutcome::Finished && r.failed == 0 ? kExitOk : kExitFailed;
}

// The search's list, printed once the search is over; rows stay in list order.
class ConsoleSearchView : public IMailSearchView {
public:
    void DeleteAllRows() override { rows.clear(); }
    void InsertRowAtTop(const MailSearchRow& row) override { rows.insert(rows.begin(), row); }
    void SetSearching(bool) override {}
    void PumpMessages() override {}
    std::vector<MailSearchRow> rows;
};

// "Finished" is the search's last line of output; failures go to stderr.
class SearchMessages : public IMessageBox {
public:
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon) override {
        shown.push_back(text);
    }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    std::vector<std::string> shown;
};

int RunSearch(const std::vector<std::string>& args) {
    if (WantsHelp("search", args)) return kExitOk;
    std::string file, sender;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--sender") {
            if (i + 1 >= args.size()) return UsageError("search", "--sender needs a text");
            sender = args[++i];
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return UsageError("search", "unknown option '" + args[i] + "'");
        } else if (file.empty()) {
            file = args[i];
        } else {
            return UsageError("search", "unexpected argument '" + args[i] + "'");
        }
    }
    if (file.empty()) return UsageError("search", "needs DBXFILE");
    bool unreadable = ReportUnreadableStore("search", file);

    ConsoleSearchView view;
    SearchMessages messages;
    CMailSearch search;
    MailSearchOutcome outcome = search.Run(file, sender, view, messages);
    for (const MailSearchRow& row : view.rows)
        std::cout << row.sender << '\t' << row.subject << '\t' << row.tempPath << '\n';
    for (const std::string& text : messages.shown)
        (text == "Finished" ? std::cout : std::cerr) << text << '\n';
    return outcome == MailSearchOutcome::Finished && !unreadable ? kExitOk : kExitFailed;
}

const CliRegistrar saveEml({"save-eml", "DBXFILE DEST [--ask]",
                            "Save every message of a .dbx message file as its own .eml file in "
                            "DEST, from the last message to the first.",
                            "  --ask   ask before saving, on the terminal (default: go ahead)\n"
                            "Names are the message's index (four digits at least) and subject; a "
                            "taken name gets a counter, so nothing is overwritten.\n",
                            RunSaveEml});
const CliRegistrar searchCommand({"search", "DBXFILE [--sender TEXT]",
                                  "List the messages of a .dbx message file whose sender contains "
                                  "TEXT: sender, subject and a temporary copy's path, "
                                  "tab-separated, then \"Finished\".",
                                  "  --sender TEXT   case-sensitive part of the sender (default: "
                                  "every message)\n"
                                  "The temporary copies (TAK*) stay in the temporary folder.\n",
                                  RunSearch});

} // namespace
