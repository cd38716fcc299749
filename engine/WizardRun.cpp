#include "engine/WizardRun.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>

#include "app/Settings.h"
#include "engine/AttachmentLoop.h"
#include "engine/DoneMessages.h"
#include "engine/ExtractionRun.h"
#include "engine/ExtractorClient.h"
#include "engine/ProgressWindow.h"
#include "engine/RecoveryRecord.h"
#include "locale/Language.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/Text.h"
#include "platform/UserInterface.h"
#include "report/HtmlWriter.h"
#include "report/ReportWriter.h"
#include "store/MailSourceList.h"
#include "store/MessageOnDisk.h"

namespace {

// The wizard's picture list; it differs from the main run's.
constexpr const char* kWizardPictureExtensions = ".jpg .jpeg .bmp .gif .tif .png .pcx .tiff";

std::string DateText(std::time_t t) {
    std::tm tm{};
    char text[64] = "";
    if (localtime_r(&t, &tm)) std::strftime(text, sizeof text, "%Y/%m/%d %X", &tm);
    return text;
}

// Closes the progress window once, on every way out.
class ProgressOpen {
public:
    explicit ProgressOpen(CProgressWindow& progress) : m_progress(progress) {}
    ~ProgressOpen() { Close(); }
    void Close() {
        if (m_open) m_progress.Close();
        m_open = false;
    }

private:
    CProgressWindow& m_progress;
    bool m_open = true;
};

// Reads the headers of the messages below the current one before their turn, so that the next
// few inside the period can be named to the component, which reads them on another core while
// the current one is written. Each header is read once; only messages kept in their own files
// are named (a stored text is copied out at its turn).
class HeadersAhead {
public:
    HeadersAhead(IMailSource& source, const WizardRequest& request, CExtractorClient& client,
                 const CNewMailFilter& done)
        : m_source(source), m_request(request), m_client(client), m_done(done) {}

    // The header of message index; false when it cannot be read.
    bool Header(int index, MailHeader& header) {
        auto it = m_read.find(index);
        std::optional<MailHeader> read = it != m_read.end() ? std::move(it->second) : Read(index);
        m_read.erase(m_read.lower_bound(index), m_read.end()); // the run has passed them
        if (!read) return false;
        header = std::move(*read);
        return true;
    }

    // Names the next messages below index that fall inside the period.
    void PrepareAfter(int index) {
        int named = 0;
        for (int next = index - 1; next >= std::max(0, index - kLookAhead) && named < kNamed;
             --next) {
            const std::string path = m_source.MessagePath(next);
            if (path.empty()) return;
            if (m_done.IsDone(next)) continue;
            auto it = m_read.find(next);
            if (it == m_read.end()) it = m_read.emplace(next, Read(next)).first;
            if (!it->second || !InPeriod(*it->second)) continue;
            m_client.PrepareMessage(path);
            ++named;
        }
    }

    bool InPeriod(const MailHeader& header) const {
        const std::time_t mailTime = header.Time.value_or(0);
        return m_request.StartTime <= mailTime && mailTime < m_request.EndTime;
    }

private:
    static constexpr int kLookAhead = 8; // headers read ahead at most
    static constexpr int kNamed = 3;     // messages named ahead at most

    std::optional<MailHeader> Read(int index) {
        MailHeader header;
        if (!m_source.ReadHeader(index, header)) return std::nullopt;
        return header;
    }

    IMailSource& m_source;
    const WizardRequest& m_request;
    CExtractorClient& m_client;
    const CNewMailFilter& m_done;
    std::map<int, std::optional<MailHeader>> m_read;
};

} // namespace

bool IsWizardThumbnailName(const std::string& fileName) {
    const std::string upper = platform::ToUpper(fileName);
    for (const char* ext : {".JPEG", ".JPG", ".GIF"})
        if (upper.find(ext) != std::string::npos) return true;
    return false;
}

namespace {

// One message of the folder, when it falls inside the period: its own file, or its text copied
// into a temporary file, for the component. A message that cannot be read or copied ends the run;
// one the mailbox ends inside is extracted as far as it goes.
MessageStep ExtractMessage(IMailSource& source, int index, HeadersAhead& headers,
                           const std::string& folder, WizardContext& context, CMessageOnDisk& file,
                           CNewMailFilter& done, AnsweredMessage& message) {
    MailHeader header;
    if (!headers.Header(index, header)) {
        context.ui.ShowMessage("Extract eMail Error");
        return MessageStep::Stop;
    }
    const std::string subject = header.Subject.empty() ? "No Title" : header.Subject;
    const std::time_t mailTime = header.Time.value_or(0);
    if (!headers.InPeriod(header)) return MessageStep::Skipped;
    const std::string dateText = DateText(mailTime);

    // A message without a stored text counts as an empty one.
    const MailTextWrite opened = file.Open(source, index, platform::JoinPath(folder, "process"));
    switch (opened) {
    case MailTextWrite::Written:
        break;
    case MailTextWrite::Cut:
        // The mailbox ends inside it: what there is of it is extracted all the same.
        NoteUnreadableMessage(context.problems, source.Describe(index),
                              "(cut short; extracted as far as it goes)");
        break;
    case MailTextWrite::Unreadable:
        context.ui.ShowMessage("Extract eMail Error");
        return MessageStep::Stop;
    case MailTextWrite::WriteFailed:
        context.ui.ShowMessage("Error in Create Temp File!!");
        return MessageStep::Stop;
    }
    context.progress.SetStatusLine("Extracting: " + subject);

    platform::CreateFolder(folder);
    headers.PrepareAfter(index);
    std::string answer;
    const bool answered = CallComponentGuarded(
        [&] { answer = context.client.ExtractToFolder(file.Path(), folder); }, file.Path());
    if (!answered) {
        TheErrorLog().Write("Information: <%s> <%s> <%s>", subject.c_str(),
                            header.SenderName.c_str(), dateText.c_str());
        answer.clear();
    }
    platform::UnwrittenFiles unwritten;
    message = {subject, header.SenderName, dateText, mailTime, SplitFileList(answer, &unwritten),
               {}};
    NoteUnwrittenFiles(context.problems, unwritten, "the message \"" + subject + "\"");
    if (opened == MailTextWrite::Written && answered && unwritten.Count == 0) done.MarkDone(index);
    return MessageStep::Extracted;
}

// A folder (of message files, or a maildir) without messages of its own, as an account's
// folder is: it gets no report. A message file is not opened here.
bool IsFolderWithoutMessages(const std::string& messageFile) {
    if (!platform::IsDirectory(messageFile)) return false;
    MailboxOpen opened = OpenMailbox(messageFile);
    return opened.Kind && opened.Kind->Folder && (!opened || opened.Source->Count() == 0);
}

bool IsLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// What the wizard keeps of a folder's mail, and how its run goes: every message to the end
// unless cancelled, the component's scratch files swept once at the folder's end.
AttachmentPolicy WizardFolderPolicy(const WizardRequest& request, const std::string& directoryName,
                                    const std::string& folder) {
    AttachmentPolicy policy;
    policy.FolderName = directoryName;
    policy.Folder = folder;
    policy.PictureExtensions = kWizardPictureExtensions;
    policy.PicturesOnly = request.FileTypeChoice == 0;
    policy.IsThumbnail = IsWizardThumbnailName;
    policy.CancelAfterEveryMessage = false;
    policy.StopOnCancel = true;
    policy.SweepScratch = false;
    return policy;
}

// The top report links to a folder's report: it is there even when no mail was. With nothing
// new since the last run, the last run's report stays as it is.
void FinishWizardReport(CReportPager& pager, bool nothingNew, bool remembered,
                        const std::string& directoryName, const std::string& folder,
                        WizardContext& context) {
    if (!(nothingNew && pager.Reported() == 0 && platform::FileExists(ReportFramesetPath(folder)))) {
        pager.Finish(true);
        if (!pager.Written() && context.problems) ++context.problems->UnwrittenReportFiles;
    }
    if (!remembered && context.problems) ++context.problems->UnwrittenReportFiles;
    if (nothingNew && pager.Reported() == 0 && context.nothingNew)
        context.nothingNew->push_back(directoryName);
}

int RunWizardFolder(const WizardRequest& request, const std::string& directoryName,
                    const std::string& messageFile, WizardContext& context) {
    // Without a destination the folder's directory would land wherever the program runs.
    if (request.Destination.empty()) return 0;
    const std::string D = platform::JoinPath(request.Destination, directoryName);
    if (IsLink(D)) {
        // A link in place of the folder's directory would take its files elsewhere.
        TheErrorLog().Write("Skipped the folder %s: it is a link", D.c_str());
        return 0;
    }
    MailboxOpen opened = OpenMailbox(messageFile);
    // A folder without messages of its own (an account's folder) gets no report.
    if (opened.Kind && opened.Kind->Folder && (!opened || opened.Source->Count() == 0)) return 0;
    platform::CreateFolder(D);
    // A path that is no mailbox has no messages to run: skip the folder.
    if (!opened) return 0;
    std::unique_ptr<IMailSource> source = std::move(opened.Source);
    NoteRemark(context.problems, directoryName, *source);
    CProgressWindow& progress = context.progress;
    progress.SetPos(0); // one progress serves every folder, each counted from the start
    progress.Open(Tr(res::TextId::ProgressTitle), true);
    ProgressOpen openProgress(progress);
    CNewMailFilter done(*source, MailboxIdentity(messageFile), "", request.FileTypeChoice != 0,
                        request.NewOnly, D);
    if (const platform::Status begun = done.Begin(); !begun && request.NewOnly)
        TheErrorLog().WriteText(begun.Reason());
    progress.SetRange(0, done.NewCount(), 1);
    const std::string scratch = platform::JoinPath(D, "process");
    platform::CreateFolder(scratch);
    if (IsLink(scratch)) {
        TheErrorLog().Write("Skipped the folder %s: %s is a link", D.c_str(), scratch.c_str());
        return 0;
    }
    // A run killed in this folder may have left a message's copy and an unfinished attachment.
    RemoveInterruptedRunLeftovers(D, D);

    AttachmentPolicy policy = WizardFolderPolicy(request, directoryName, D);
    const std::set<std::string> before = FolderNames(D);
    HeadersAhead headers(*source, request, context.client, done);
    CMessageOnDisk file; // the messages of a mailbox file share one copy
    policy.Extract = [&](int index, AnsweredMessage& message) {
        MessageStep step =
            ExtractMessage(*source, index, headers, D, context, file, done, message);
        message.Origin = messageFile;
        return step;
    };
    policy.PassOver = [&](int index) { return done.IsDone(index); };
    CReportPager pager(D, context.settings.HTMLItemNumber);
    AttachmentLoopContext loop{progress, context.ui, context.settings};
    const int looped = RunAttachmentLoop(source->Count(), policy, pager, loop);
    file.Close();
    const bool remembered = done.Commit();
    if (looped == -1) {
        RemoveEmptyRecoveryFolder(D);
        return -1;
    }
    const bool nothingNew = done.PassedOver() > 0 && done.NewCount() == 0;
    source.reset();
    openProgress.Close();

    FinishWizardReport(pager, nothingNew, remembered, directoryName, D, context);
    // The component's scratch files; a file that was there before the run stays.
    SweepFiles(D, "kestl*.*", before);
    RemoveEmptyRecoveryFolder(D);
    context.settings.LastFileFolder = request.Destination;
    context.settings.LastHtmlReport = platform::JoinPath(request.Destination, "report.htm");
    return 0;
}

} // namespace

int ExtractWizardFolder(const WizardRequest& request, const std::string& directoryName,
                        const std::string& messageFile, WizardContext& context) {
    return RunWizardFolder(request, directoryName, messageFile, context);
}

std::string BuildWizardTopReport(const WizardFolderList& folders) {
    CHtmlWriter w;
    w.BeginHtml();
    w.BeginHead();
    w.Title("Select Page");
    w.EndHead();
    w.BeginBody("#FFFFFF", "#000000");
    w.Write("<B>Select Can't Find Windows Live Mail Folder</B><P>\n");
    w.Write("<hr>");
    for (const auto& [name, file] : folders) {
        if (file.empty()) continue;
        w.Write("<i><a href=\".\\" + HtmlEscape(EncodeLinkPart(SubDirectoryName(name))) +
                "\\report.htm\" target=\"newFrame\">" + HtmlEscape(name) + "</a></i><br>\n");
    }
    w.EndBody();
    w.EndHtml();
    return w.GetText();
}

bool WriteWizardTopReport(const std::string& destination, const WizardFolderList& folders) {
    return WriteReportFile(destination, "", "report.htm", BuildWizardTopReport(folders));
}

WizardFolderList DistinctFolderNames(const WizardFolderList& folders) {
    WizardFolderList named = folders;
    std::set<std::string> taken;
    auto directory = [](const std::string& name) {
        return platform::ToLower(SubDirectoryName(name));
    };
    // A name too long for a directory is cut before its number, which must not be cut away.
    auto base = [](std::string name) {
        std::size_t cut = kMaxSubDirectoryName - 16;
        if (name.size() <= cut) return name;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
        return name;
    };
    for (auto& folder : named) {
        if (folder.second.empty()) continue;
        std::string name = folder.first;
        for (int n = 2; taken.count(directory(name)); ++n)
            name = base(folder.first) + " (" + std::to_string(n) + ")";
        taken.insert(directory(name));
        folder.first = name;
    }
    return named;
}

int RunWizardExtraction(const WizardRequest& request, const WizardFolderList& chosen,
                        WizardContext& context) {
    // With no destination there is no folder to write into: nothing is written anywhere else.
    if (request.Destination.empty()) return 0;
    // Folders of the same name (the inboxes of several accounts) each get a directory and a
    // link of their own.
    const WizardFolderList folders = DistinctFolderNames(chosen);
    // The top page links every chosen folder before any is read, so a run that stops keeps its
    // links to the folders not reached (their pages come when they are run). Only a folder that
    // holds no messages of its own (an account's folder) gets no page, so no link either.
    WizardFolderList linked;
    for (const auto& folder : folders)
        if (!folder.second.empty() && !IsFolderWithoutMessages(folder.second))
            linked.push_back(folder);
    if (!WriteWizardTopReport(request.Destination, linked) && context.problems)
        ++context.problems->UnwrittenReportFiles;
    for (const auto& folder : folders) {
        if (folder.second.empty()) continue;
        if (ExtractWizardFolder(request, SubDirectoryName(folder.first), folder.second, context) ==
            -1)
            break;
    }
    return 0;
}
