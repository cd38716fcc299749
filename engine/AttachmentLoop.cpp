#include "engine/AttachmentLoop.h"

#include <algorithm>
#include <dirent.h>
#include <set>
#include <sys/stat.h>

#include "app/Settings.h"
#include "engine/ExtractionRules.h"
#include "engine/ProgressWindow.h"
#include "locale/Language.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/SeException.h"
#include "platform/Text.h"
#include "platform/UserInterface.h"
#include "report/ReportWriter.h"

namespace {

constexpr const char* kScratchPattern = "ulk*.*";

// A plain file, not a link someone put there: only such a file is dated, measured or removed.
bool IsPlainFile(const std::string& path, std::uint64_t* size = nullptr) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (size) *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

// The names matching a sweep pattern in a folder. Read straight from the directory: the scratch
// sweep runs after every message, over a folder that fills with thousands of files.
std::set<std::string> MatchingFiles(const std::string& folder, const char* pattern) {
    std::set<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    const char first = static_cast<char>(pattern[0] | 0x20);
    while (dirent* e = readdir(dir)) {
        if ((e->d_name[0] | 0x20) != first) continue;
        if (e->d_type != DT_REG && e->d_type != DT_UNKNOWN) continue;
        if (platform::MatchPattern(e->d_name, pattern)) names.insert(e->d_name);
    }
    closedir(dir);
    return names;
}

// Removes a file the run created; one that was there before the run stays.
void RemoveCreated(const std::string& path, const std::string& name,
                   const AttachmentPolicy& policy) {
    if (!policy.Existing.count(name)) platform::DeleteFile(path);
}

std::uint64_t SizeLimit(const AppSettings& settings) {
    return settings.AttachmentSizeLimit > 0
               ? static_cast<std::uint64_t>(settings.AttachmentSizeLimit) * 1024
               : 0;
}

// One file of a message: dated, then removed when it is not wanted or too small, else listed.
// The message's block begins with its first file that passes the type rule.
void ReportFile(const std::string& name, const AnsweredMessage& message,
                const AttachmentPolicy& policy, const AppSettings& settings, CHtmlWriter& body,
                CProgressWindow& progress, bool& blockStarted, int& entries) {
    const std::string path = platform::JoinPath(policy.Folder, name);
    const size_t dot = name.rfind('.');
    const std::string extension =
        dot == std::string::npos ? "" : platform::ToLower(name.substr(dot));
    std::uint64_t size = 0;
    const bool present = IsPlainFile(path, &size);
    // Only the run's own files get the mail's date: a file that was there before the run (the
    // component names it when an attachment equals it) keeps its times.
    if (settings.SetAttachmentDate == 1 && message.FileTime && present &&
        !policy.Existing.count(name))
        platform::SetFileTimes(path, *message.FileTime, *message.FileTime);
    if (policy.PicturesOnly &&
        std::string(policy.PictureExtensions).find(extension) == std::string::npos) {
        if (present) RemoveCreated(path, name, policy);
        return;
    }
    if (!blockStarted) {
        std::string shown = message.Subject;
        if (settings.RemoveFwString == 1) shown = StripForwardPrefix(StripForwardPrefix(shown));
        BeginMessageBlock(body, HtmlEscape(shown), HtmlEscape(message.DateText));
        blockStarted = true;
    }
    if (present && size < SizeLimit(settings)) {
        RemoveCreated(path, name, policy);
        return;
    }
    progress.SetStatusLine("Extracting..." + name);
    AddMessageEntry(body, ReportLinkPath(name, policy.LinkFolder), HtmlEscape(name),
                    policy.IsThumbnail(name), ++entries);
}

} // namespace

std::set<std::string> FolderNames(const std::string& folder) {
    std::set<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* e = readdir(dir))
        names.insert(e->d_name);
    closedir(dir);
    return names;
}

void SweepFiles(const std::string& folder, const char* pattern,
                const std::set<std::string>& spared) {
    for (const std::string& name : MatchingFiles(folder, pattern))
        if (!spared.count(name)) platform::DeleteFile(platform::JoinPath(folder, name));
}

bool ReportMessageFiles(const AnsweredMessage& message, const AttachmentPolicy& policy,
                        const AppSettings& settings, CHtmlWriter& body, CProgressWindow& progress) {
    bool blockStarted = false;
    int entries = 0;
    for (const std::string& name : message.Files) {
        if (!IsNameWithinFolder(name)) {
            TheErrorLog().Write(
                "Skipped a reported name that is not a file in the folder: <%s> (%s)", name.c_str(),
                message.Origin.c_str());
            continue;
        }
        try {
            RunGuarded([&] {
                ReportFile(name, message, policy, settings, body, progress, blockStarted, entries);
            });
        } catch (const CSeException& e) {
            TheErrorLog().Write("SeException: %s", e.GetDescription().c_str());
            TheErrorLog().Write("Information: <%s> <%s> <%s> <%s>", message.Subject.c_str(),
                                message.Sender.c_str(), message.DateText.c_str(), name.c_str());
        }
    }
    if (blockStarted) EndMessageBlock(body);
    return blockStarted;
}

namespace {

// The component's scratch files go when the loop ends, however it ends. It leaves one behind
// only when a call fails, so it is swept after such a message too, and not after every message:
// reading a folder that fills with thousands of files once per message would make the run's
// cost grow with the square of the folder's size.
class ScratchSweep {
public:
    explicit ScratchSweep(const AttachmentPolicy& policy) : m_policy(policy) {}
    ~ScratchSweep() { Now(); }
    ScratchSweep(const ScratchSweep&) = delete;
    ScratchSweep& operator=(const ScratchSweep&) = delete;
    void After(const AnsweredMessage& message) {
        if (message.NoAnswer) Now();
    }

private:
    void Now() {
        if (m_policy.SweepScratch) SweepFiles(m_policy.Folder, kScratchPattern, m_policy.Existing);
    }
    const AttachmentPolicy& m_policy;
};

} // namespace

int RunAttachmentLoop(int count, AttachmentPolicy& policy, CReportPager& pager,
                      AttachmentLoopContext& context) {
    CProgressWindow& progress = context.progress;
    // Files that were there before the run belong to the user, not to the component.
    policy.Existing = FolderNames(policy.Folder);
    ScratchSweep sweep(policy);
    std::vector<int> order; // from the last message down
    order.reserve(static_cast<size_t>(std::max(0, count)));
    for (int i = count - 1; i >= 0; --i)
        if (!policy.PassOver || !policy.PassOver(i)) order.push_back(i);
    const int taken = static_cast<int>(order.size());
    for (int k = 0; k < taken; ++k) {
        const int i = order[static_cast<size_t>(k)];
        progress.SetTitleLine(Tr(
            res::TextId::CurrentFolder,
            {policy.FolderName + "(" + std::to_string(k + 1) + "/" + std::to_string(taken) + ")"}));
        AnsweredMessage message;
        const MessageStep step = policy.Extract(i, message);
        if (step == MessageStep::Stop) return -1;
        if (step == MessageStep::Skipped) continue;
        if (step == MessageStep::Dropped) {
            for (const std::string& name : message.Files)
                if (IsNameWithinFolder(name) &&
                    IsPlainFile(platform::JoinPath(policy.Folder, name)))
                    RemoveCreated(platform::JoinPath(policy.Folder, name), name, policy);
            sweep.After(message);
            continue;
        }

        const bool reported =
            ReportMessageFiles(message, policy, context.settings, pager.Body(), progress);
        if (reported) pager.MessageDone();
        sweep.After(message);
        if ((reported || policy.CancelAfterEveryMessage) && progress.PumpAndCheckCancel(true)) {
            context.ui.ShowMessage("Progress Cancelled");
            if (policy.StopOnCancel) return -1;
            break;
        }
        progress.StepIt();
    }
    return 0;
}

CReportPager::CReportPager(std::string destination, int perPage, IDestinationView* view)
    : m_destination(std::move(destination)), m_perPage(std::max(1, perPage)), m_view(view) {}

void CReportPager::MessageDone() {
    ++m_reported;
    if (m_reported % m_perPage != 0) return;
    const int page = m_reported / m_perPage;
    m_written = WriteReportPage(m_destination, m_body.Text(), page, false) && m_written;
    m_body.Clear();
    if (m_view) m_view->RefreshFileList();
}

void CReportPager::Finish(bool evenWhenEmpty) {
    if (m_reported == 0 && !evenWhenEmpty) return;
    int pages = m_reported / m_perPage;
    if (m_reported % m_perPage != 0) {
        ++pages;
        m_written = WriteReportPage(m_destination, m_body.Text(), pages, true) && m_written;
        m_body.Clear();
    }
    m_written = WriteReportIndex(m_destination, pages) && m_written;
    m_written = WriteReportFrameset(m_destination) && m_written;
}
