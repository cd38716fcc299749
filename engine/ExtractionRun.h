#pragma once
// The extraction run over one mail folder: every message file to the extractor component, the
// written files filtered by type and size and dated, and the report built page by page.
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "engine/AttachmentLoop.h" // IDestinationView
#include "engine/ExtractionOptions.h"
#include "engine/ExtractionRules.h"
#include "platform/UnwrittenFiles.h"
#include "store/MailHeader.h" // ParseMailDate, the date rule of the component's answer

struct AppSettings;
class CExtractorClient;
class CProgressWindow;
class IMailSource;
class IMessageBox;
class IShell;

// What went wrong in a run that went on: a program that runs it can say so and fail.
struct RunProblems {
    int UnreadableMessages = 0;       // message files that could not be read
    int UnwrittenReportFiles = 0;     // report pages, index or frameset
    int UnwrittenRecoveryRecords = 0; // the record of the message being worked on
    bool DestinationUnwritable = false;
    std::vector<std::string> Unreadable; // "path why" of each message that could not be read
    int UnwrittenAttachments = 0; // files the component could not write (removed, not listed)
    int UnwrittenError = 0;       // the errno of the first of them
    // What the mailboxes left out on purpose ("folder: remark"): said, but no failure.
    std::vector<std::string> Remarks;
    bool Any() const {
        return UnreadableMessages || UnwrittenReportFiles || UnwrittenRecoveryRecords ||
               DestinationUnwritable || UnwrittenAttachments;
    }
};

// Counts a message that could not be read, or only in part, and logs it: what names the
// message, why says what became of it (problems may be null).
void NoteUnreadableMessage(RunProblems* problems, const std::string& what, const std::string& why);

// Counts the files of one message the component could not write (problems may be null) and
// logs them with the message's file.
void NoteUnwrittenFiles(RunProblems* problems, const platform::UnwrittenFiles& unwritten,
                        const std::string& origin);

// What a run says of a destination it cannot write into.
std::string UnwritableDestinationMessage(const std::string& destination);

// Keeps what the mailbox says about itself beyond its messages (problems may be null).
void NoteRemark(RunProblems* problems, const std::string& folderName, const IMailSource& source);

// One sentence per kind of problem, for the end of a run: the terminal's stderr, the window's
// end message.
std::vector<std::string> DescribeRunProblems(const RunProblems& problems,
                                             const std::string& destination);

// How the run reaches the component and the user.
struct ExtractionContext {
    CExtractorClient& client;
    CProgressWindow& progress;
    IMessageBox& ui;
    IShell& shell;
    AppSettings& settings;
    IDestinationView* view = nullptr;
    RunProblems* problems = nullptr; // filled when given
};

// The mail folder is any mailbox OpenMailbox knows: a folder of .eml files, a maildir, an
// mbox or a .dbx file. 0 when it ran or had nothing to do; -1 when the user declined to go on
// after an interrupted earlier run over the same destination, or when the path is no mailbox
// (said through the message box).
int RunExtraction(const std::string& folderPath, const ExtractionOptions& options,
                  const std::string& folderName, ExtractionContext& context);
// The same run over a mailbox the caller has opened from folderPath (which still names it in
// the record of what was done).
int RunExtraction(const std::string& folderPath, IMailSource& source,
                  const ExtractionOptions& options, const std::string& folderName,
                  ExtractionContext& context);

// The parts of a component answer "subject|sender|date|a.jpg:b.pdf".
struct ExtractionAnswer {
    std::string Subject;
    std::string Sender;
    std::string DateText;
    std::vector<std::string> Files;
    platform::UnwrittenFiles Unwritten; // the files the component could not write
};
ExtractionAnswer ParseExtractionAnswer(const std::string& answer);
// The names of a ":" separated file list, trimmed, empty ones left out. The component's note
// of files it could not write is taken out of the list into `unwritten` when given.
std::vector<std::string> SplitFileList(const std::string& list,
                                       platform::UnwrittenFiles* unwritten = nullptr);
