// extract: the extraction run over one mail folder, as the desktop program runs it.
#include <filesystem>
#include <iostream>
#include <optional>

#include "app/Settings.h"
#include "cli/Arguments.h"
#include "cli/Cli.h"
#include "cli/ConsoleProgress.h"
#include "cli/ConsoleUi.h"
#include "engine/ExtractOptionChoices.h"
#include "engine/ExtractionRun.h"
#include "engine/ExtractorClient.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/SeException.h"
#include "platform/Text.h"
#include "store/MailSourceList.h"

namespace {

// Without --open the run opens nothing.
class CNoShell : public IShell {
public:
    bool Open(const std::string&) override { return true; }
    bool Edit(const std::string&) override { return true; }
};

// What the command line asks of the run: the option sheet's choices, turned into the run's
// record by the sheet's own rule, and what only the command line says.
struct ExtractRequest {
    ExtractOptionChoices choices;
    std::optional<bool> answer;
    std::optional<std::string> folderName;
    bool open = false;
};

std::string SetSubjectCondition(ExtractRequest& r, int condition, const std::string& keyword,
                                const char* option) {
    if (r.choices.Condition != 0) return "only one subject condition";
    if (CutToCharacters(keyword, kMaxConditionKeyword) != keyword)
        return std::string(option) + ": at most " + std::to_string(kMaxConditionKeyword) +
               " characters";
    r.choices.Condition = condition;
    r.choices.ConditionKeyword = keyword;
    return {};
}

const std::vector<CliOptionRow<ExtractRequest>> kExtractOptions = {
    {{"--pictures-only", nullptr, nullptr,
      "keep pictures only (default: the ExtractOnlyPicture setting)"},
     [](ExtractRequest& r, const std::string&) {
         r.choices.PicturesOnly = true;
         return std::string();
     }},
    {{"--all-files", nullptr, nullptr, "keep every attachment"},
     [](ExtractRequest& r, const std::string&) {
         r.choices.PicturesOnly = false;
         return std::string();
     }},
    {{"--folder-subdir", nullptr, nullptr, "put the attachments into DEST/<folder name>"},
     [](ExtractRequest& r, const std::string&) {
         r.choices.NoSubDirectory = false;
         r.choices.FolderNameSubDirectory = true;
         return std::string();
     }},
    {{"--subject-contains", "a text", "TEXT", "only mails whose subject contains TEXT (any case)"},
     [](ExtractRequest& r, const std::string& text) {
         return SetSubjectCondition(r, 1, text, "--subject-contains");
     }},
    {{"--subject-not-contains", "a text", "TEXT", "only mails whose subject does not contain TEXT"},
     [](ExtractRequest& r, const std::string& text) {
         return SetSubjectCondition(r, 2, text, "--subject-not-contains");
     }},
    {{"--folder-name", "a name", "NAME",
      "the folder's name in progress texts and the sub-directory\n"
      "(default: the last component of MAILFOLDER)"},
     [](ExtractRequest& r, const std::string& name) {
         r.folderName = name;
         return std::string();
     }},
    {{"--open", nullptr, nullptr,
      "open the report (and, with --folder-subdir, DEST) in the\n"
      "desktop's applications at the end"},
     [](ExtractRequest& r, const std::string&) {
         r.open = true;
         return std::string();
     }},
    {{"--new-only", nullptr, nullptr,
      "pass over the messages that an earlier run (of either\n"
      "program) extracted into DEST, without reading them"},
     [](ExtractRequest& r, const std::string&) {
         r.choices.NewOnly = true;
         return std::string();
     }},
    {{"--yes", nullptr, nullptr,
      "answer the question asked after an interrupted run (default:\n"
      "ask on the terminal; without one, No)"},
     [](ExtractRequest& r, const std::string&) {
         r.answer = true;
         return std::string();
     }},
    {{"--no"},
     [](ExtractRequest& r, const std::string&) {
         r.answer = false;
         return std::string();
     }},
};

int RunExtract(const std::vector<std::string>& args) {
    if (WantsHelp("extract", args)) return kExitOk;
    LoadSettings();
    AppSettings& settings = TheSettings();
    ExtractRequest request;
    request.choices = InitialChoices(settings);
    std::string error;
    const std::optional<std::vector<std::string>> read =
        ReadOptions(args, kExtractOptions, request, error);
    if (!read) return UsageError("extract", error);
    const std::vector<std::string>& positional = *read;
    if (positional.size() != 2) return UsageError("extract", "needs MAILFOLDER and DEST");

    const std::string& given = positional[0];
    std::string dest = positional[1];
    // A folder is named with its separator, as the run names it in its record; the mailbox is
    // opened once, here, and the run reads that. A fifo or a device is refused, not read.
    std::string mailFolder = given;
    if (platform::IsDirectory(mailFolder) && mailFolder.back() != '/') mailFolder += '/';
    const MailboxOpen opened = OpenMailbox(mailFolder);
    if (!opened && opened.Kind) {
        // A mailbox of a known kind that cannot be read (a damaged file) is no usage error.
        std::cerr << "kestrel-cli extract: " << platform::Printable(given) << ": "
                  << opened.Failure.Reason() << "\n";
        return kExitFailed;
    }
    if (!opened) {
        const std::string& why = opened.Failure.Reason();
        return UsageError("extract", "no mail folder at '" + given + "'" +
                                         (why.empty() ? "" : ": " + why));
    }
    if (!PrepareDestination("extract", dest)) return kExitFailed;
    std::string trimmed = given;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    if (!request.folderName) request.folderName = platform::FindFileName(trimmed);
    request.choices.ChosenPath = dest;
    request.choices.ShowReport = request.open;
    ExtractionOptions options = PrepareExtractionOptions(settings);
    FillExtractionOptions(request.choices, dest, options);

    TheErrorLog().Open("errorlog.txt", true);
    TheErrorLog().SetEnabled(true);
    TheErrorLog().SetTimeStamp(true);
    InstallFaultTranslator();

    CConsoleMessageBox ui(request.answer);
    CExtractorClient client;
    if (!client.Create(&ui)) {
        std::cerr << "kestrel-cli extract: the attachment extractor component is not available\n";
        return kExitFailed;
    }
    CConsoleProgress progress;
    CDesktopShell desktop;
    CNoShell none;
    RunProblems problems;
    ExtractionContext context{
        client,   progress, ui,       request.open ? static_cast<IShell&>(desktop) : none,
        settings, nullptr,  &problems};
    int result = 0;
    try {
        result = RunExtraction(mailFolder, *opened.Source, options, *request.folderName, context);
    } catch (const CSeException& e) {
        e.ReportError(ui);
        return kExitFailed;
    }
    if (result != 0) return kExitFailed;
    for (const std::string& line : DescribeRunProblems(problems, dest))
        std::cerr << "kestrel-cli extract: " << platform::Printable(line) << "\n";
    return problems.Any() ? kExitIncomplete : kExitOk;
}

} // namespace

const CliCommand kExtractCommand = {
    "extract",
    "[options] MAILFOLDER DEST",
    "Extract the attachments of every message in MAILFOLDER into DEST, with the report "
    "(DEST/report.htm), as the desktop program's Extract Attachments does. MAILFOLDER is a "
    "folder of .eml files, a maildir (a folder with cur/ and new/), an mbox file, a .dbx "
    "file, or a folder of an Outlook .pst/.ost file: the file's path, \"/\" and the folder's "
    "path inside it, as discover prints it (mail/archive.pst/Top of Personal Folders/Inbox).",
    OptionsOf(kExtractOptions),
    26,
    "\n"
    "The settings file gives the size limit, dating, forward-prefix removal and page size.\n"
    "Ctrl-C or Escape cancels after the current message. Exit status: 0 when the run ran\n"
    "and wrote everything, 1 when it was declined or could not start, 2 on a usage error,\n"
    "3 when it ran but a message could not be read, or an attachment, the report or the\n"
    "record of the message being worked on could not be written (the reason is on stderr;\n"
    "an attachment that could not be written completely is removed, not reported).\n",
    RunExtract};
