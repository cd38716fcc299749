// save-eml, search and wizard: the operations over the messages of mailboxes.
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>

#include "app/Settings.h"
#include "cli/Arguments.h"
#include "cli/Cli.h"
#include "cli/ConsoleProgress.h"
#include "cli/ConsoleUi.h"
#include "engine/ExtractionRun.h"
#include "engine/ExtractorClient.h"
#include "engine/MailSearch.h"
#include "engine/SaveAsEml.h"
#include "engine/WizardRun.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/SeException.h"
#include "platform/Text.h"
#include "store/MailSourceList.h"

namespace {

// Whether a path gives no mailbox, said on stderr with the kind that was tried and what it found:
// the core keeps quiet about it (the folder tree has its own message for that), but on the command
// line the user needs to know why nothing happened.
bool ReportNoMailbox(const char* command, const std::string& path) {
    const MailboxOpen opened = OpenMailbox(path);
    if (opened) return false;
    std::cerr << "kestrel-cli " << command << ": " << platform::Printable(path) << ": "
              << opened.Failure.Reason() << "\n";
    return true;
}

// With --recover a file whose index is broken is still searched; only a file that cannot be
// searched for lost messages at all (no .dbx message file) stops the command.
bool ReportUnscannableStore(const std::string& path) {
    if (const auto lost = OpenLostMessages(path); !lost) {
        std::cerr << "kestrel-cli save-eml: " << platform::Printable(path) << " "
                  << lost.GetStatus().Reason() << "\n";
        return true;
    }
    const MailboxOpen opened = OpenMailbox(path);
    if (!opened)
        std::cerr << "kestrel-cli save-eml: " << platform::Printable(path) << ": "
                  << opened.Failure.Reason()
                  << "; the index cannot be read, every message comes from the scan\n";
    return false;
}

struct SaveEmlRequest {
    bool ask = false;
    bool recover = false;
};

const std::vector<CliOptionRow<SaveEmlRequest>> kSaveEmlOptions = {
    {{"--ask", nullptr, nullptr, "ask before saving, on the terminal (default: go ahead)"},
     [](SaveEmlRequest& r, const std::string&) {
         r.ask = true;
         return std::string();
     }},
    {{"--recover", nullptr, nullptr,
      "also save the messages a damaged .dbx index no longer\n"
      "reaches, found by scanning the file; prints how many came\n"
      "from the index and how many from the scan"},
     [](SaveEmlRequest& r, const std::string&) {
         r.recover = true;
         return std::string();
     }},
};

int RunSaveEml(const std::vector<std::string>& args) {
    if (WantsHelp("save-eml", args)) return kExitOk;
    SaveEmlRequest request;
    std::string error;
    const std::optional<std::vector<std::string>> read =
        ReadOptions(args, kSaveEmlOptions, request, error);
    if (!read) return UsageError("save-eml", error);
    const std::vector<std::string>& positional = *read;
    if (positional.size() != 2) return UsageError("save-eml", "needs MAILBOX and DEST");
    const std::string& source = positional[0];
    std::string dest = positional[1];
    if (!PrepareDestination("save-eml", dest)) return kExitFailed;
    // Without --recover an mbox file or a folder of messages is saved as well as a .dbx file.
    if (request.recover ? ReportUnscannableStore(source) : ReportNoMailbox("save-eml", source))
        return kExitFailed;

    CConsoleMessageBox ui(request.ask ? std::nullopt : std::optional<bool>(true));
    CConsoleProgress progress;
    SaveEmlResult r = SaveMessagesAsEml(source, dest, ui, progress, request.recover);
    for (const std::string& why : r.failures)
        std::cerr << "kestrel-cli save-eml: " << platform::Printable(why) << "\n";
    if (r.outcome == SaveEmlOutcome::Declined) return kExitOk;
    std::cout << r.saved << " message(s) saved to " << platform::Printable(dest) << "\n";
    if (request.recover)
        std::cout << r.saved - r.savedFromScan << " message(s) from the index, " << r.savedFromScan
                  << " message(s) from the scan\n";
    if (r.alreadyThere > 0)
        std::cout << r.alreadyThere << " message(s) already there, not saved again\n";
    if (r.failed > 0) std::cout << r.failed << " message(s) could not be written\n";
    if (r.unreadable > 0) std::cout << r.unreadable << " message(s) could not be read\n";
    if (r.cut > 0) std::cout << r.cut << " message(s) cut short, saved as far as they go\n";
    // Messages left out for being unreadable make the save incomplete, not failed.
    const bool ran =
        r.outcome == SaveEmlOutcome::Finished || r.outcome == SaveEmlOutcome::ReadError;
    if (!ran || r.failed > 0) return kExitFailed;
    return r.unreadable > 0 || r.cut > 0 ? kExitIncomplete : kExitOk;
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
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
    std::vector<std::string> shown;
};

// The search's one option fills the sender text.
const std::vector<CliOptionRow<std::string>> kSearchOptions = {
    {{"--sender", "a text", "TEXT", "case-sensitive part of the sender (default: every message)"},
     [](std::string& sender, const std::string& text) {
         sender = text;
         return std::string();
     }},
};

int RunSearch(const std::vector<std::string>& args) {
    if (WantsHelp("search", args)) return kExitOk;
    std::string sender;
    std::string error;
    const std::optional<std::vector<std::string>> read =
        ReadOptions(args, kSearchOptions, sender, error);
    if (!read) return UsageError("search", error);
    if (read->size() > 1) return UsageError("search", "unexpected argument '" + (*read)[1] + "'");
    const std::string file = read->empty() ? "" : (*read)[0];
    if (file.empty()) return UsageError("search", "needs MAILBOX");
    bool unreadable = ReportNoMailbox("search", file);

    ConsoleSearchView view;
    SearchMessages messages;
    CMailSearch search;
    MailSearchOutcome outcome = search.Run(file, sender, view, messages);
    for (const MailSearchRow& row : view.rows)
        std::cout << platform::Printable(row.sender) << '\t' << platform::Printable(row.subject)
                  << '\t' << platform::Printable(row.tempPath) << '\n';
    for (const std::string& text : messages.shown)
        (text == "Finished" ? std::cout : std::cerr) << platform::Printable(text, true) << '\n';
    return outcome == MailSearchOutcome::Finished && !unreadable ? kExitOk : kExitFailed;
}

// "YYYY-MM-DD" (local midnight) or "YYYY-MM-DD HH:MM:SS", as local time.
std::optional<std::time_t> ParseLocalTime(const std::string& text) {
    std::tm tm{};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                    &consumed) != 3)
        return std::nullopt;
    if (static_cast<size_t>(consumed) != text.size()) {
        int more = 0;
        if (std::sscanf(text.c_str() + consumed, " %2d:%2d:%2d%n", &tm.tm_hour, &tm.tm_min,
                        &tm.tm_sec, &more) != 3 ||
            static_cast<size_t>(consumed + more) != text.size())
            return std::nullopt;
    }
    if (tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 59)
        return std::nullopt;
    const int day = tm.tm_mday, month = tm.tm_mon - 1;
    tm.tm_year -= 1900;
    tm.tm_mon = month;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (tm.tm_mday != day || tm.tm_mon != month) return std::nullopt; // 31 February
    return t;
}

// Messages go to the terminal; any of them means a folder stopped the run.
class CountingMessageBox : public IMessageBox {
public:
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        ++shown;
        m_console.ShowMessage(text, caption, icon);
    }
    bool AskYesNo(const std::string& text, const std::string& caption, MessageIcon icon) override {
        return m_console.AskYesNo(text, caption, icon);
    }
    int shown = 0;

private:
    CConsoleMessageBox m_console{false};
};

std::string SetFileTypes(WizardRequest& r, int choice) {
    r.FileTypeChoice = choice;
    return {};
}

std::string SetTime(std::time_t& time, const std::string& text) {
    std::optional<std::time_t> t = ParseLocalTime(text);
    if (!t) return "not a date: '" + text + "' (YYYY-MM-DD [HH:MM:SS])";
    time = *t;
    return {};
}

const std::vector<CliOptionRow<WizardRequest>> kWizardOptions = {
    {{"--pictures", nullptr, nullptr, "keep pictures only (the default)"},
     [](WizardRequest& r, const std::string&) { return SetFileTypes(r, 0); }},
    {{"--documents", nullptr, nullptr, "keep every attachment (the wizard's documents choice)"},
     [](WizardRequest& r, const std::string&) { return SetFileTypes(r, 1); }},
    {{"--all", nullptr, nullptr, "keep every attachment"},
     [](WizardRequest& r, const std::string&) { return SetFileTypes(r, 2); }},
    {{"--from", "a date", "DATE", "only mails from DATE on (default: 2000-01-25)"},
     [](WizardRequest& r, const std::string& date) { return SetTime(r.StartTime, date); }},
    {{"--to", "a date", "DATE", "only mails before DATE (default: now)"},
     [](WizardRequest& r, const std::string& date) { return SetTime(r.EndTime, date); }},
    {{"--new-only", nullptr, nullptr,
      "pass over the messages that an earlier run (of either program)\n"
      "extracted into the folder's directory, without reading them"},
     [](WizardRequest& r, const std::string&) {
         r.NewOnly = true;
         return std::string();
     }},
};

int RunWizard(const std::vector<std::string>& args) {
    if (WantsHelp("wizard", args)) return kExitOk;
    WizardRequest request;
    request.StartTime = *ParseLocalTime("2000-01-25");
    request.EndTime = std::time(nullptr);
    std::string error;
    const std::optional<std::vector<std::string>> read =
        ReadOptions(args, kWizardOptions, request, error);
    if (!read) return UsageError("wizard", error);
    WizardFolderList folders;
    for (const std::string& a : *read) {
        if (request.Destination.empty()) {
            request.Destination = a;
            continue;
        }
        size_t eq = a.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == a.size())
            return UsageError("wizard", "expected NAME=MAILBOX, got '" + a + "'");
        folders.emplace_back(a.substr(0, eq), a.substr(eq + 1));
    }
    if (request.Destination.empty() || folders.empty())
        return UsageError("wizard", "needs DEST and at least one NAME=MAILBOX");
    if (!PrepareDestination("wizard", request.Destination)) return kExitFailed;
    bool skipped = false;
    for (const auto& [name, file] : folders)
        skipped |= ReportNoMailbox("wizard", file);

    LoadSettings();
    TheErrorLog().Open("errorlog.txt", true);
    TheErrorLog().SetEnabled(true);
    TheErrorLog().SetTimeStamp(true);
    InstallFaultTranslator();
    CountingMessageBox ui;
    CExtractorClient client;
    if (!client.Create(&ui)) {
        std::cerr << "kestrel-cli wizard: the attachment extractor component is not available\n";
        return kExitFailed;
    }
    CConsoleProgress progress;
    RunProblems problems;
    std::vector<std::string> nothingNew;
    WizardContext context{client, progress, ui, TheSettings(), &problems, &nothingNew};
    try {
        RunWizardExtraction(request, folders, context);
    } catch (const CSeException& e) {
        e.ReportError(ui);
        return kExitFailed;
    }
    for (const std::string& name : nothingNew)
        std::cout << platform::Printable(name) << ": no new mail since the last run\n";
    std::cout << "report: "
              << platform::Printable(platform::JoinPath(request.Destination, "report.htm")) << "\n";
    for (const std::string& line : DescribeRunProblems(problems, request.Destination))
        std::cerr << "kestrel-cli wizard: " << platform::Printable(line) << "\n";
    if (ui.shown != 0 || skipped) return kExitFailed;
    return problems.Any() ? kExitIncomplete : kExitOk;
}

} // namespace

const CliCommand kSaveEmlCommand = {
    "save-eml",
    "MAILBOX DEST [--ask] [--recover]",
    "Save every message of a mailbox (a .dbx or mbox file, a maildir, a folder of .eml files or "
    "a folder of a .pst/.ost file) as its own .eml file in DEST, from the last message to the "
    "first.",
    OptionsOf(kSaveEmlOptions),
    14,
    "Names are the message's index (four digits at least) and subject; a taken name gets a "
    "counter, so nothing is overwritten, and a message already there with the same bytes is not "
    "saved again. Messages found by the scan are numbered on after the index's. Exit status 3: a "
    "message could not be read (it is left out) or the mailbox ends inside it (it is saved as far "
    "as it goes).\n",
    RunSaveEml};

const CliCommand kSearchCommand = {
    "search",
    "MAILBOX [--sender TEXT]",
    "List the messages of a mailbox (a .dbx or mbox file, a maildir, a folder of .eml files or a "
    "folder of a .pst/.ost file) whose sender contains TEXT: sender, subject and a temporary "
    "copy's path, tab-separated, then \"Finished\".",
    OptionsOf(kSearchOptions),
    18,
    "The temporary copies (TAK*) stay in the temporary folder.\n",
    RunSearch};

const CliCommand kWizardCommand = {
    "wizard",
    "DEST [--pictures|--documents|--all] [--from DATE] [--to DATE] [--new-only] NAME=MAILBOX...",
    "Extract the attachments of several mailboxes into DEST/<folder name>, one report each, "
    "with a top report DEST/report.htm that links them, as the extraction wizard does.",
    OptionsOf(kWizardOptions),
    18,
    "DATE is YYYY-MM-DD (local midnight) or \"YYYY-MM-DD HH:MM:SS\", local time.\n"
    "NAME is the folder's name as the report shows it; folders run in the order given, and the\n"
    "first one that fails stops the run. The settings file gives the size limit, dating,\n"
    "forward-prefix removal and page size. MAILBOX is a .dbx or mbox file, a maildir, a\n"
    "folder of .eml files, or a folder of a .pst/.ost file as discover names it (the file's\n"
    "path, \"/\", the folder's path inside it). Exit status 3: the folders ran, but an attachment "
    "could not be\n"
    "written, or an mbox file ends inside a message (extracted as far as it goes); stderr\n"
    "says which.\n",
    RunWizard};
