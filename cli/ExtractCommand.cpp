// extract: the extraction run over one mail folder, as the desktop program runs it.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>

#include "app/Settings.h"
#include "cli/Arguments.h"
#include "cli/Cli.h"
#include "cli/ConsoleUi.h"
#include "engine/ConsoleProgress.h"
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

const std::vector<CliOption> kExtractOptions = {
    {"--pictures-only"},
    {"--all-files"},
    {"--folder-subdir"},
    {"--subject-contains", "a text"},
    {"--subject-not-contains", "a text"},
    {"--folder-name", "a name"},
    {"--open"},
    {"--new-only"},
    {"--yes"},
    {"--no"},
};

int RunExtract(const std::vector<std::string>& args) {
    if (WantsHelp("extract", args)) return kExitOk;
    LoadSettings();
    AppSettings& settings = TheSettings();
    std::string error;
    std::optional<CliArguments> read = ReadArguments(args, kExtractOptions, error);
    if (!read) return UsageError("extract", error);

    // The option sheet's choices as the command line gives them, turned into the run's record by
    // the sheet's own rule.
    ExtractOptionChoices choices = InitialChoices(settings);
    std::optional<bool> answer;
    std::optional<std::string> folderName;
    for (const CliArguments::Given& o : read->options) {
        if (o.name == "--pictures-only" || o.name == "--all-files") {
            choices.PicturesOnly = o.name == "--pictures-only";
        } else if (o.name == "--folder-subdir") {
            choices.NoSubDirectory = false;
            choices.FolderNameSubDirectory = true;
        } else if (o.name == "--subject-contains" || o.name == "--subject-not-contains") {
            if (choices.Condition != 0) return UsageError("extract", "only one subject condition");
            if (CutToCharacters(o.value, kMaxConditionKeyword) != o.value)
                return UsageError("extract", o.name + ": at most 40 characters");
            choices.Condition = o.name == "--subject-contains" ? 1 : 2;
            choices.ConditionKeyword = o.value;
        } else if (o.name == "--folder-name") {
            folderName = o.value;
        } else if (o.name == "--yes" || o.name == "--no") {
            answer = o.name == "--yes";
        } else if (o.name == "--new-only") {
            choices.NewOnly = true;
        }
    }
    const bool open = std::any_of(read->options.begin(), read->options.end(),
                                  [](const CliArguments::Given& o) { return o.name == "--open"; });
    const std::vector<std::string>& positional = read->positional;
    if (positional.size() != 2) return UsageError("extract", "needs MAILFOLDER and DEST");

    const std::string& given = positional[0];
    std::string dest = positional[1];
    // A folder is named with its separator, as the run names it in its record; the mailbox is
    // opened once, here, and the run reads that. A fifo or a device is refused, not read.
    std::string mailFolder = given;
    if (platform::IsDirectory(mailFolder) && mailFolder.back() != '/') mailFolder += '/';
    const MailboxOpen opened = OpenMailbox(mailFolder);
    if (!opened)
        return UsageError("extract", "no mail folder at '" + given + "'" +
                                         (opened.Why.empty() ? "" : ": " + opened.Why));
    if (!PrepareDestination("extract", dest)) return kExitFailed;
    std::string trimmed = given;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    if (!folderName) folderName = platform::FindFileName(trimmed);
    choices.ChosenPath = dest;
    choices.ShowReport = open;
    ExtractionOptions options = PrepareExtractionOptions(settings);
    FillExtractionOptions(choices, dest, options);

    TheErrorLog().Open("errorlog.txt", true);
    TheErrorLog().SetEnabled(true);
    TheErrorLog().SetTimeStamp(true);
    InstallFaultTranslator();

    CConsoleMessageBox ui(answer);
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
        client,   progress, ui,       open ? static_cast<IShell&>(desktop) : none,
        settings, nullptr,  &problems};
    int result = 0;
    try {
        result = RunExtraction(mailFolder, *opened.Source, options, *folderName, context);
    } catch (const CSeException& e) {
        e.ReportError(ui);
        return kExitFailed;
    }
    if (result != 0) return kExitFailed;
    for (const std::string& line : DescribeRunProblems(problems, dest))
        std::cerr << "kestrel-cli extract: " << platform::Printable(line) << "\n";
    return problems.Any() ? kExitIncomplete : kExitOk;
}

const CliRegistrar extract(
    {"extract", "[options] MAILFOLDER DEST",
     "Extract the attachments of every message in MAILFOLDER into DEST, with the report "
     "(DEST/report.htm), as the desktop program's Extract Attachments does. MAILFOLDER is a "
     "folder of .eml files, a maildir (a folder with cur/ and new/), an mbox file, a .dbx "
     "file, or a folder of an Outlook .pst/.ost file: the file's path, \"/\" and the folder's "
     "path inside it, as discover prints it (mail/archive.pst/Top of Personal Folders/Inbox).",
     "  --pictures-only         keep pictures only (default: the ExtractOnlyPicture setting)\n"
     "  --all-files             keep every attachment\n"
     "  --folder-subdir         put the attachments into DEST/<folder name>\n"
     "  --subject-contains TEXT only mails whose subject contains TEXT (any case)\n"
     "  --subject-not-contains TEXT\n"
     "                          only mails whose subject does not contain TEXT\n"
     "  --folder-name NAME      the folder's name in progress texts and the sub-directory\n"
     "                          (default: the last component of MAILFOLDER)\n"
     "  --open                  open the report (and, with --folder-subdir, DEST) in the\n"
     "                          desktop's applications at the end\n"
     "  --new-only              pass over the messages that an earlier run (of either\n"
     "                          program) extracted into DEST, without reading them\n"
     "  --yes, --no             answer the question asked after an interrupted run (default:\n"
     "                          ask on the terminal; without one, No)\n"
     "\n"
     "The settings file gives the size limit, dating, forward-prefix removal and page size.\n"
     "Ctrl-C or Escape cancels after the current message. Exit status: 0 when the run ran\n"
     "and wrote everything, 1 when it was declined or could not start, 2 on a usage error,\n"
     "3 when it ran but a message could not be read, or an attachment, the report or the\n"
     "record of the message being worked on could not be written (the reason is on stderr;\n"
     "an attachment that could not be written completely is removed, not reported).\n",
     RunExtract});

} // namespace
