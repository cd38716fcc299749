#include "engine/WizardRun.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include "app/Settings.h"
#include "engine/ExtractionRun.h"
#include "engine/ExtractorClient.h"
#include "engine/ProgressWindow.h"
#include "oe/DbxReader.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/SeException.h"
#include "platform/UserInterface.h"
#include "report/HtmlWriter.h"
#include "report/ReportWriter.h"

namespace {

// The wizard's picture list; it differs from the main run's.
constexpr const char* kWizardPictureExtensions = ".jpg .jpeg .bmp .gif .tif .png .pcx .tiff";
constexpr std::int64_t kFileTimeToUnix = 11644473600LL;

std::string ToLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

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

} // namespace

std::time_t FileTimeToTime(std::uint64_t fileTime) {
    return static_cast<std::time_t>(static_cast<std::int64_t>(fileTime / 10000000ULL) -
                                    kFileTimeToUnix);
}

bool IsWizardThumbnailName(const std::string& fileName) {
    std::string upper = fileName;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const char* ext : {".JPEG", ".JPG", ".GIF"})
        if (upper.find(ext) != std::string::npos) return true;
    return false;
}

int ExtractWizardFolder(const WizardRequest& request, const std::string& directoryName,
                        const std::string& messageFile, WizardContext& context) {
    // Without a destination the folder's directory would land wherever the program runs.
    if (request.Destination.empty()) return 0;
    const std::string D = platform::JoinPath(request.Destination, directoryName);
    platform::CreateFolder(D);
    platform::CreateFolder(ReportFolder(D));
    if (!platform::FileExists(messageFile)) return 0;

    CDbxStoreFile store;
    // A file that is not a message store has no messages to run: skip the folder.
    if (store.Open(messageFile) != 0) return 0;
    const int n = store.GetItemCount();
    CProgressWindow& progress = context.progress;
    AppSettings& settings = context.settings;
    progress.Open("Progress", true);
    ProgressOpen openProgress(progress);
    progress.SetRange(0, n, 1);
    const std::string processDir = platform::JoinPath(D, "process");
    platform::CreateFolder(processDir);

    const int perPage = std::max(1, settings.HTMLItemNumber);
    const std::uint64_t sizeLimit =
        settings.AttachmentSizeLimit > 0
            ? static_cast<std::uint64_t>(settings.AttachmentSizeLimit) * 1024
            : 0;
    CHtmlWriter body;
    int mailCount = 0;
    for (int i = n - 1; i >= 0; --i) {
        const int k = n - i;
        progress.SetTitleLine("Current Folder: " + directoryName + "(" + std::to_string(k) + "/" +
                              std::to_string(n) + ")");
        std::string tempPath = platform::JoinPath(processDir, "TAKXXXXXX");
        int fd = mkstemp(tempPath.data());
        if (fd < 0) {
            context.ui.ShowMessage("Error in Create Temp File!!");
            return -1;
        }
        // The temporary copy only lives until the component has read it.
        struct TempCopy {
            int fd;
            std::string path;
            ~TempCopy() {
                if (fd >= 0) close(fd);
                unlink(path.c_str());
            }
        } temp{fd, tempPath};

        // The text is streamed into the copy, so no message has to fit in memory.
        std::unique_ptr<CDbxItem> item = store.GetItem(i, 0);
        auto* message = dynamic_cast<CDbxMessage*>(item.get());
        if (!message) {
            context.ui.ShowMessage("Extract eMail Error");
            return -1;
        }
        std::string subject = message->GetSubject().empty() ? "No Title" : message->GetSubject();
        const std::time_t mailTime = FileTimeToTime(message->GetDate());
        if (request.StartTime > mailTime || request.EndTime <= mailTime) continue;
        const std::string dateText = DateText(mailTime);
        const std::string sender = message->GetSenderName();

        // A message without a stored text counts as an empty one.
        if (message->GetTextPosition() != -1) {
            DbxTextWrite written = store.WriteMessageText(*message, temp.fd);
            if (written == DbxTextWrite::BrokenChain) {
                context.ui.ShowMessage("Extract eMail Error");
                return -1;
            }
            if (written == DbxTextWrite::WriteFailed) {
                context.ui.ShowMessage("Error in Create Temp File!!");
                return -1;
            }
        }
        progress.SetStatusLine("Extracting: " + subject);
        close(temp.fd);
        temp.fd = -1;
        item.reset();

        platform::CreateFolder(D);
        std::string answer;
        try {
            RunGuarded([&] { answer = context.client.ExtractToFolder(temp.path, D); });
        } catch (const CSeException& e) {
            TheErrorLog().Write("SeException: %s", e.GetDescription().c_str());
            TheErrorLog().Write("Information: <%s> <%s> <%s>", subject.c_str(), sender.c_str(),
                                dateText.c_str());
            answer.clear();
        }

        bool headingWritten = false;
        int attachment = 1;
        for (size_t pos = 0; pos <= answer.size();) {
            size_t colon = answer.find(':', pos);
            std::string token = platform::Trim(
                answer.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos));
            pos = colon == std::string::npos ? answer.size() + 1 : colon + 1;
            if (token.empty()) continue;
            if (!IsNameWithinFolder(token)) {
                TheErrorLog().Write(
                    "Skipped a reported name that is not a file in the folder: <%s> (%s)",
                    token.c_str(), messageFile.c_str());
                continue;
            }
            const std::string path = platform::JoinPath(D, token);
            size_t dot = token.rfind('.');
            const std::string extension =
                dot == std::string::npos ? "" : ToLower(token.substr(dot));
            if (settings.SetAttachmentDate == 1 && platform::IsRegularFile(path))
                platform::SetFileTimes(path, mailTime, mailTime);
            if (request.FileTypeChoice == 0 &&
                std::string(kWizardPictureExtensions).find(extension) == std::string::npos) {
                platform::DeleteFile(path);
                continue;
            }
            if (!headingWritten) {
                std::string shown = subject;
                if (settings.RemoveFwString == 1)
                    shown = StripForwardPrefix(StripForwardPrefix(shown));
                BeginMessageBlock(body, HtmlEscape(shown), HtmlEscape(dateText));
                headingWritten = true;
            }
            if (platform::IsRegularFile(path) && platform::FileSize(path) < sizeLimit) {
                platform::DeleteFile(path);
                continue;
            }
            progress.SetStatusLine("Extracting..." + token);
            AddMessageEntry(body, ReportLinkPath(token), HtmlEscape(token),
                            IsWizardThumbnailName(token), attachment++);
        }

        if (headingWritten) {
            EndMessageBlock(body);
            ++mailCount;
            if (mailCount % perPage == 0) {
                int page = mailCount / perPage;
                WriteReportPage(ReportPagePath(D, page), body.Text(), page, false);
                body.Clear();
            }
            if (progress.PumpAndCheckCancel(true)) {
                context.ui.ShowMessage("Progress Cancelled");
                return -1;
            }
        }
        progress.StepIt();
    }
    store.Close();
    openProgress.Close();

    int pages = mailCount / perPage;
    if (mailCount % perPage != 0) {
        ++pages;
        WriteReportPage(ReportPagePath(D, pages), body.Text(), pages, true);
    }
    WriteReportIndex(ReportIndexPath(D), pages);
    WriteReportFrameset(ReportFramesetPath(D));
    platform::DeleteMatchingFiles(D, "kestl*.*");
    settings.LastFileFolder = request.Destination;
    settings.LastHtmlReport = platform::JoinPath(request.Destination, "report.htm");
    return 0;
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
        w.Write("<i><a href=\".\\" + HtmlEscape(CleanFolderName(name)) +
                "\\report.htm\" target=\"newFrame\">" + HtmlEscape(name) + "</a></i><br>\n");
    }
    w.EndBody();
    w.EndHtml();
    return w.GetText();
}

bool WriteWizardTopReport(const std::string& path, const WizardFolderList& folders) {
    std::string text = BuildWizardTopReport(folders);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok) TheErrorLog().Write("Cannot write the report file %s", path.c_str());
    return ok;
}

int RunWizardExtraction(const WizardRequest& request, const WizardFolderList& folders,
                        WizardContext& context) {
    // With no destination there is no folder to write into: nothing is written anywhere else.
    if (request.Destination.empty()) return 0;
    WriteWizardTopReport(platform::JoinPath(request.Destination, "report.htm"), folders);
    for (const auto& [name, file] : folders) {
        if (file.empty()) continue;
        if (ExtractWizardFolder(request, CleanFolderName(name), file, context) == -1) break;
    }
    return 0;
}
