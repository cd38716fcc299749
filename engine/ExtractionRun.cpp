#include "engine/ExtractionRun.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/Settings.h"
#include "engine/AttachmentLoop.h"
#include "engine/DoneMessages.h"
#include "engine/ExtractorClient.h"
#include "engine/ProgressWindow.h"
#include "engine/RecoveryRecord.h"
#include "locale/Language.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/UserInterface.h"
#include "report/ReportWriter.h"
#include "store/MailSourceList.h"
#include "store/MessageOnDisk.h"

namespace {

constexpr const char* kPictureExtensions = ".jpg .jpeg .bmp .gif .tif .jbg .png .pcx .tiff";
// How many of the next messages the component is asked to read ahead.
constexpr int kReadAhead = 3;

} // namespace

std::string UnwritableDestinationMessage(const std::string& destination) {
    return Tr(res::TextId::DestinationUnwritable, {destination});
}

void NoteRemark(RunProblems* problems, const std::string& folderName, const IMailSource& source) {
    const std::string remark = source.Remark();
    if (problems && !remark.empty()) problems->Remarks.push_back(folderName + ": " + remark);
}

std::vector<std::string> DescribeRunProblems(const RunProblems& problems,
                                             const std::string& destination) {
    std::vector<std::string> lines = problems.Remarks;
    if (problems.DestinationUnwritable) lines.push_back(UnwritableDestinationMessage(destination));
    for (const std::string& message : problems.Unreadable)
        lines.push_back(Tr(res::TextId::MessageUnreadableInRun, {message}));
    if (problems.UnwrittenReportFiles > 0 && !problems.DestinationUnwritable)
        lines.push_back(Tr(res::TextId::ReportIncomplete, {destination}));
    if (problems.UnwrittenAttachments > 0 && !problems.DestinationUnwritable) {
        const int error = problems.UnwrittenError;
        lines.push_back(Tr(res::TextId::AttachmentsUnwritten,
                           {std::to_string(problems.UnwrittenAttachments), destination,
                            error == ENOSPC || error == EDQUOT ? Tr(res::TextId::DiskFull)
                                                               : std::strerror(error)}));
    }
    if (problems.UnwrittenRecoveryRecords > 0 && !problems.DestinationUnwritable)
        lines.push_back(Tr(res::TextId::RecoveryRecordUnwritten,
                           {std::to_string(problems.UnwrittenRecoveryRecords)}));
    return lines;
}

ExtractionAnswer ParseExtractionAnswer(const std::string& answer) {
    ExtractionAnswer a;
    size_t bars[3];
    size_t found = 0;
    for (size_t pos = 0; found < 3; ++found) {
        size_t bar = answer.find('|', pos);
        if (bar == std::string::npos) break;
        bars[found] = bar;
        pos = bar + 1;
    }
    auto field = [&](size_t begin, size_t end) {
        return platform::Trim(answer.substr(begin, end == std::string::npos ? end : end - begin));
    };
    a.Subject = field(0, found > 0 ? bars[0] : std::string::npos);
    if (found > 0) a.Sender = field(bars[0] + 1, found > 1 ? bars[1] : std::string::npos);
    if (found > 1) a.DateText = field(bars[1] + 1, found > 2 ? bars[2] : std::string::npos);
    if (found < 3) return a;
    // The file list is everything after the third bar.
    a.Files = SplitFileList(answer.substr(bars[2] + 1), &a.Unwritten);
    return a;
}

std::vector<std::string> SplitFileList(const std::string& list,
                                       platform::UnwrittenFiles* unwritten) {
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t colon = list.find(':', pos);
        std::string name =
            platform::Trim(list.substr(pos, colon == std::string::npos ? colon : colon - pos));
        if (unwritten && platform::ReadUnwrittenEntry(name, *unwritten)) name.clear();
        if (!name.empty()) names.push_back(name);
        if (colon == std::string::npos) break;
        pos = colon + 1;
    }
    return names;
}

void NoteUnreadableMessage(RunProblems* problems, const std::string& what, const std::string& why) {
    TheErrorLog().Write("Cannot read the message %s %s", what.c_str(), why.c_str());
    if (!problems) return;
    ++problems->UnreadableMessages;
    problems->Unreadable.push_back(what + (why.empty() ? "" : " ") + why);
}

void NoteUnwrittenFiles(RunProblems* problems, const platform::UnwrittenFiles& unwritten,
                        const std::string& origin) {
    if (unwritten.Count == 0) return;
    TheErrorLog().Write("Could not write %d attachment(s) of %s: %s", unwritten.Count,
                        origin.c_str(), std::strerror(unwritten.Error));
    if (!problems) return;
    if (problems->UnwrittenAttachments == 0) problems->UnwrittenError = unwritten.Error;
    problems->UnwrittenAttachments += unwritten.Count;
}

namespace {

// One message through the component, which answers its header with the file names. The
// subject condition is decided on that answer.
MessageStep ExtractMessage(IMailSource& source, int index, const ExtractionOptions& options,
                           const std::string& target, ExtractionContext& context,
                           CMessageOnDisk& file, CRecoveryRecord& record, CNewMailFilter& done,
                           AnsweredMessage& message) {
    if (options.FolderNameSubDirectory != 0) platform::CreateFolder(target);
    const MailTextWrite opened = file.Open(source, index, RecoveryFolder(options.Destination));
    if (opened == MailTextWrite::Unreadable || opened == MailTextWrite::Cut)
        NoteUnreadableMessage(context.problems, source.Describe(index),
                              "(damaged or cut short; extracted as far as it goes)");
    else if (opened != MailTextWrite::Written)
        NoteUnreadableMessage(context.problems, source.Describe(index), {});
    // The run goes from the last message down: the next few are read on another core while
    // this one is written.
    for (int next = index - 1, named = 0; next >= 0 && named < kReadAhead; --next) {
        if (done.IsDone(next)) continue;
        context.client.PrepareMessage(source.MessagePath(next));
        ++named;
    }
    std::string result;
    if (!CallComponentGuarded(
            [&] { result = context.client.ExtractToFolder2(file.Path(), target); }, file.Path()))
        result.clear();
    // A message the component gave no answer for is looked at once more, to say why.
    if (result.empty() && opened == MailTextWrite::Written) {
        std::string why;
        const int readable = platform::OpenFileForReading(file.Path(), UINT64_MAX, &why);
        if (readable < 0)
            NoteUnreadableMessage(context.problems, source.Describe(index), why);
        else
            ::close(readable);
    }

    ExtractionAnswer answer = ParseExtractionAnswer(result);
    message.NoAnswer = result.empty();
    const std::string subject = answer.Subject.empty() ? "No Title" : answer.Subject;
    if (options.Condition != 0) {
        const bool contains = SubjectContains(subject, options.ConditionKeyword);
        if ((options.Condition == 1 && !contains) || (options.Condition == 2 && contains)) {
            // The component has already written the mail's files: they go again.
            message.Files = std::move(answer.Files);
            return MessageStep::Dropped;
        }
    }
    NoteUnwrittenFiles(context.problems, answer.Unwritten, file.Path());
    context.progress.SetStatusLine(subject);
    if (!record.Write(answer.Sender, subject) && context.problems)
        ++context.problems->UnwrittenRecoveryRecords;
    message.Subject = subject;
    message.Sender = answer.Sender;
    message.DateText = answer.DateText;
    message.FileTime = ParseMailDate(answer.DateText);
    message.Files = std::move(answer.Files);
    message.Origin = source.Describe(index);
    // Done only when it was read whole and every file of it written: a later run asked for new
    // mail only takes anything less again.
    if (opened == MailTextWrite::Written && !message.NoAnswer && answer.Unwritten.Count == 0)
        done.MarkDone(index);
    return MessageStep::Extracted;
}

// The end of a run that ran: the rest of the report, the settings that remember it, and the
// report and folder opened as asked.
void FinishExtraction(const ExtractionOptions& options, CReportPager& pager,
                      CNewMailFilter& done, ExtractionContext& context) {
    const std::string& dest = options.Destination;
    DeleteRecoveryRecord(dest);
    RemoveEmptyRecoveryFolder(dest);
    pager.Finish();
    if (!pager.Written() && context.problems) ++context.problems->UnwrittenReportFiles;
    // Remembered with the report it belongs to, or when asked for new mail only; a run that
    // reports nothing otherwise leaves the destination as it was.
    if ((pager.Reported() > 0 || options.NewOnly != 0) && !done.Commit() && pager.Written() &&
        context.problems)
        ++context.problems->UnwrittenReportFiles;
    const std::string frameset = ReportFramesetPath(dest);
    context.settings.LastFileFolder = dest;
    if (pager.Reported() > 0) {
        context.settings.LastHtmlReport = frameset;
        if (options.NoSubDirectory == 0) context.shell.Open(dest);
        if (options.ShowReport) context.shell.Open(frameset);
    } else if (::access(dest.c_str(), W_OK | X_OK) != 0) {
        // The cause is the news, not the count it led to: the caller that collects the run's
        // problems says it; otherwise it is said here.
        if (!context.problems) context.ui.ShowMessage(UnwritableDestinationMessage(dest));
    } else if (done.PassedOver() > 0 && done.NewCount() == 0) {
        context.ui.ShowMessage(Tr(res::TextId::NoNewMail));
    } else {
        context.ui.ShowMessage("Number of Extracted Mail: 0\n No Report is Generated!!");
    }
}

void NoteUnwritableDestination(const std::string& dest, ExtractionContext& context) {
    if (context.problems && ::access(dest.c_str(), W_OK | X_OK) != 0)
        context.problems->DestinationUnwritable = true;
}

// The run over a mailbox already opened, into a destination that is given.
int RunOpenedExtraction(const std::string& folderPath, IMailSource& source,
                        const ExtractionOptions& options, const std::string& folderName,
                        ExtractionContext& context) {
    const std::string& dest = options.Destination;
    CProgressWindow& progress = context.progress;
    NoteRemark(context.problems, folderName, source);
    AttachmentPolicy policy;
    const bool inSubDirectory = options.FolderNameSubDirectory != 0;
    policy.FolderName = folderName;
    policy.LinkFolder = inSubDirectory ? SubDirectoryName(folderName) : "";
    policy.Folder = inSubDirectory ? platform::JoinPath(dest, policy.LinkFolder) : dest;
    CNewMailFilter done(source, MailboxIdentity(folderPath), policy.LinkFolder,
                        options.PicturesOnly == 0, options.NewOnly != 0, dest);
    if (const platform::Status begun = done.Begin(); !begun && options.NewOnly != 0) {
        TheErrorLog().WriteText(begun.Reason());
        context.ui.ShowMessage(begun.Reason());
    }
    progress.Open(Tr(res::TextId::ProgressTitle), true);
    progress.SetRange(0, done.NewCount(), 1);
    platform::CreateFolder(RecoveryFolder(dest));
    const bool interrupted = platform::FileExists(RecoveryRecordPath(dest));
    if (!ConfirmAfterInterruptedRun(dest, context.ui)) {
        progress.Close();
        RemoveEmptyRecoveryFolder(dest);
        return -1;
    }

    struct stat st;
    if (inSubDirectory && ::lstat(policy.Folder.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // A link in place of the folder's sub-directory would take the files elsewhere.
        progress.Close();
        RemoveEmptyRecoveryFolder(dest);
        TheErrorLog().WriteText(TrEnglish(res::TextId::SubDirectoryIsLink, {policy.Folder}));
        context.ui.ShowMessage(Tr(res::TextId::SubDirectoryIsLink, {policy.Folder}));
        return -1;
    }
    if (interrupted) RemoveInterruptedRunLeftovers(dest, policy.Folder);
    policy.PictureExtensions = kPictureExtensions;
    policy.PicturesOnly = options.PicturesOnly != 0;
    policy.IsThumbnail = IsThumbnailName;
    policy.CancelAfterEveryMessage = true;
    policy.StopOnCancel = false;
    policy.SweepScratch = true;
    CMessageOnDisk file; // the messages of a mailbox file share one copy
    CRecoveryRecord record(dest);
    policy.Extract = [&](int index, AnsweredMessage& message) {
        return ExtractMessage(source, index, options, policy.Folder, context, file, record, done,
                              message);
    };
    policy.PassOver = [&](int index) { return done.IsDone(index); };
    CReportPager pager(dest, context.settings.HTMLItemNumber, context.view);
    AttachmentLoopContext loop{progress, context.ui, context.settings};
    RunAttachmentLoop(source.Count(), policy, pager, loop);
    file.Close();
    progress.Close();
    FinishExtraction(options, pager, done, context);
    return 0;
}

} // namespace

int RunExtraction(const std::string& folderPath, const ExtractionOptions& options,
                  const std::string& folderName, ExtractionContext& context) {
    // Without a destination there is nowhere to write; nothing is created anywhere else.
    if (options.Destination.empty() || !MailboxExists(folderPath)) return 0;
    MailboxOpen opened = OpenMailbox(folderPath);
    if (!opened) {
        NoteUnwritableDestination(options.Destination, context);
        context.ui.ShowMessage(Tr(res::TextId::MailFolderUnreadable, {folderPath, opened.Failure.Reason()}));
        return -1;
    }
    return RunExtraction(folderPath, *opened.Source, options, folderName, context);
}

int RunExtraction(const std::string& folderPath, IMailSource& source,
                  const ExtractionOptions& options, const std::string& folderName,
                  ExtractionContext& context) {
    if (options.Destination.empty()) return 0;
    NoteUnwritableDestination(options.Destination, context);
    return RunOpenedExtraction(folderPath, source, options, folderName, context);
}
