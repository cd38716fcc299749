#include "engine/ExtractionRun.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <dirent.h>
#include <set>
#include <sys/stat.h>

#include "app/Settings.h"
#include "engine/ExtractorClient.h"
#include "engine/ProgressWindow.h"
#include "engine/RecoveryRecord.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/SeException.h"
#include "platform/UserInterface.h"
#include "report/HtmlWriter.h"
#include "report/ReportWriter.h"

namespace {

constexpr const char* kPictureExtensions = ".jpg .jpeg .bmp .gif .tif .jbg .png .pcx .tiff";
constexpr const char* kScratchPattern = "ulk*.*";

std::string ToLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool IsPlainFile(const std::string& path, std::uint64_t* size = nullptr) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (size) *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

// The scratch names in a folder. Read straight from the directory: this runs after every
// message, over a folder that fills with thousands of files.
std::set<std::string> ScratchFiles(const std::string& folder) {
    std::set<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* e = readdir(dir)) {
        if ((e->d_name[0] | 0x20) != 'u') continue;
        if (e->d_type != DT_REG && e->d_type != DT_UNKNOWN) continue;
        if (platform::MatchPattern(e->d_name, kScratchPattern)) names.insert(e->d_name);
    }
    closedir(dir);
    return names;
}

// The message files of a folder, in ascending byte order of their paths.
std::vector<std::string> ListMessageFiles(const std::string& folderPath) {
    std::vector<std::string> paths;
    for (const platform::DirEntry& e : platform::ListDirectory(folderPath, "*.eml")) {
        std::string path = platform::JoinPath(folderPath, e.name);
        // A link to a message counts; a pipe or a device would never end the read.
        if (!e.isDirectory && platform::IsRegularFile(path)) paths.push_back(path);
    }
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return std::strcmp(a.c_str(), b.c_str()) < 0;
    });
    return paths;
}

int MonthFromName(const std::string& word) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    if (word.size() < 3) return -1;
    std::string w = ToLower(word.substr(0, 3));
    for (int m = 0; m < 12; ++m)
        if (w == kMonths[m]) return m;
    return -1;
}

} // namespace

bool IsNameWithinFolder(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string CleanFolderName(const std::string& folderName) {
    std::string name = folderName;
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    for (char& c : name) {
        switch (c) {
        case ':':
        case '.':
        case ',':
        case '!':
        case '?':
        case '"':
        case ' ':
        case '\\':
        case '/':
            c = '-';
            break;
        case '<':
            c = '(';
            break;
        case '>':
            c = ')';
            break;
        default:
            break;
        }
    }
    return name;
}

std::string StripForwardPrefix(const std::string& subject) {
    size_t start = subject.find_first_not_of(' ');
    if (start == std::string::npos) return "";
    std::string s = subject.substr(start);
    std::string lower = ToLower(s);
    for (const char* prefix : {"fwd:", "fw:", "fwd", "fw"}) {
        if (lower.rfind(prefix, 0) == 0) {
            s.erase(0, std::strlen(prefix));
            break;
        }
    }
    start = s.find_first_not_of(' ');
    return start == std::string::npos ? "" : s.substr(start);
}

std::optional<std::time_t> ParseMailDate(const std::string& dateText) {
    if (dateText.size() <= 5) return std::nullopt;
    const std::string s = dateText.substr(5, 20);
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
    };
    auto number = [&](size_t maxDigits, int& out) {
        size_t start = i;
        out = 0;
        while (i < s.size() && i - start < maxDigits &&
               std::isdigit(static_cast<unsigned char>(s[i])))
            out = out * 10 + (s[i++] - '0');
        return i > start;
    };
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    skipBlanks();
    if (!number(2, day)) return std::nullopt;
    skipBlanks();
    size_t wordStart = i;
    while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i])))
        ++i;
    int month = MonthFromName(s.substr(wordStart, i - wordStart));
    if (month < 0) return std::nullopt;
    skipBlanks();
    size_t yearStart = i;
    if (!number(4, year)) return std::nullopt;
    if (i - yearStart <= 2) year += year < 30 ? 2000 : 1900;
    skipBlanks();
    if (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        if (!number(2, hour) || i >= s.size() || s[i] != ':') return std::nullopt;
        ++i;
        if (!number(2, minute)) return std::nullopt;
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!number(2, second)) return std::nullopt;
        }
    }
    if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 || year < 1601)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    std::tm check = tm;
    std::time_t t = std::mktime(&check);
    // mktime rolls 31 Feb over into March; such a date is no date.
    if (check.tm_mday != day || check.tm_mon != month) return std::nullopt;
    return t;
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
    const std::string list = answer.substr(bars[2] + 1);
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t colon = list.find(':', pos);
        std::string name =
            platform::Trim(list.substr(pos, colon == std::string::npos ? colon : colon - pos));
        if (!name.empty()) a.Files.push_back(name);
        if (colon == std::string::npos) break;
        pos = colon + 1;
    }
    return a;
}

int RunExtraction(const std::string& folderPath, const ExtractionOptions& options,
                  const std::string& folderName, ExtractionContext& context) {
    const std::string& dest = options.Destination;
    AppSettings& settings = context.settings;
    CProgressWindow& progress = context.progress;
    // Without a destination there is nowhere to write; nothing is created anywhere else.
    if (dest.empty()) return 0;
    platform::CreateFolder(ReportFolder(dest));
    if (!platform::FileExists(folderPath)) return 0;

    const std::vector<std::string> messages = ListMessageFiles(folderPath);
    const int total = static_cast<int>(messages.size());
    progress.Open("Progress", true);
    progress.SetRange(0, total, 1);

    platform::CreateFolder(RecoveryFolder(dest));
    if (!ConfirmAfterInterruptedRun(dest, context.ui)) {
        progress.Close();
        return -1;
    }

    const int perPage = std::max(1, settings.HTMLItemNumber);
    const std::uint64_t sizeLimit =
        settings.AttachmentSizeLimit > 0
            ? static_cast<std::uint64_t>(settings.AttachmentSizeLimit) * 1024
            : 0;
    const bool inSubDirectory = options.FolderNameSubDirectory != 0;
    const std::string subDirectory = inSubDirectory ? CleanFolderName(folderName) : "";
    const std::string target = inSubDirectory ? platform::JoinPath(dest, subDirectory) : dest;
    const std::string keyword = ToLower(platform::Trim(options.ConditionKeyword));
    // Scratch files that were there before the run belong to the user, not to the component.
    const std::set<std::string> foreignScratch = ScratchFiles(target);

    CHtmlWriter body;
    int reported = 0;
    for (int p = total - 1; p >= 0; --p) {
        const std::string& messagePath = messages[static_cast<size_t>(p)];
        progress.SetTitleLine("Current Folder: " + folderName + "(" + std::to_string(total - p) +
                              "/" + std::to_string(total) + ")");
        if (inSubDirectory) platform::CreateFolder(target);

        std::string result;
        try {
            RunGuarded([&] { result = context.client.ExtractToFolder2(messagePath, target); });
        } catch (const CSeException& e) {
            TheErrorLog().Write("SeException: %s", e.GetDescription().c_str());
            result.clear();
        } catch (const std::exception& e) {
            TheErrorLog().Write("Exception: %s (%s)", e.what(), messagePath.c_str());
            result.clear();
        }

        ExtractionAnswer answer = ParseExtractionAnswer(result);
        const std::optional<std::time_t> fileTime = ParseMailDate(answer.DateText);
        std::string subject = answer.Subject.empty() ? "No Title" : answer.Subject;
        if (options.Condition != 0) {
            subject = ToLower(subject);
            bool contains = subject.find(keyword) != std::string::npos;
            if ((options.Condition == 1 && !contains) || (options.Condition == 2 && contains))
                continue;
        }
        progress.SetStatusLine(subject);
        WriteRecoveryRecord(dest, answer.Sender, subject);

        bool blockStarted = false;
        int entries = 0;
        for (const std::string& name : answer.Files) {
            if (!IsNameWithinFolder(name)) {
                TheErrorLog().Write(
                    "Skipped a reported name that is not a file in the folder: <%s> (%s)",
                    name.c_str(), messagePath.c_str());
                continue;
            }
            const std::string path = platform::JoinPath(target, name);
            try {
                RunGuarded([&] {
                    size_t dot = name.rfind('.');
                    std::string extension =
                        dot == std::string::npos ? "" : ToLower(name.substr(dot));
                    const bool present = IsPlainFile(path);
                    if (settings.SetAttachmentDate == 1 && fileTime && present)
                        platform::SetFileTimes(path, *fileTime, *fileTime);
                    if (options.PicturesOnly &&
                        std::string(kPictureExtensions).find(extension) == std::string::npos) {
                        if (present) platform::DeleteFile(path);
                        return;
                    }
                    if (!blockStarted) {
                        std::string shown = subject;
                        if (settings.RemoveFwString == 1)
                            shown = StripForwardPrefix(StripForwardPrefix(shown));
                        BeginMessageBlock(body, HtmlEscape(shown), HtmlEscape(answer.DateText));
                        blockStarted = true;
                    }
                    std::uint64_t size = 0;
                    if (IsPlainFile(path, &size) && size < sizeLimit) {
                        platform::DeleteFile(path);
                        return;
                    }
                    progress.SetStatusLine("Extracting..." + name);
                    AddMessageEntry(body, ReportLinkPath(name, subDirectory), HtmlEscape(name),
                                    IsThumbnailName(name), ++entries);
                });
            } catch (const CSeException& e) {
                TheErrorLog().Write("SeException: %s", e.GetDescription().c_str());
                TheErrorLog().Write("Information: <%s> <%s> <%s> <%s>", subject.c_str(),
                                    answer.Sender.c_str(), answer.DateText.c_str(), name.c_str());
            }
        }

        if (blockStarted) {
            EndMessageBlock(body);
            ++reported;
            if (reported % perPage == 0) {
                int page = reported / perPage;
                WriteReportPage(ReportPagePath(dest, page), body.Text(), page, false);
                body.Clear();
                if (context.view) context.view->RefreshFileList();
            }
        }

        for (const std::string& scratch : ScratchFiles(target))
            if (!foreignScratch.count(scratch))
                platform::DeleteFile(platform::JoinPath(target, scratch));

        if (progress.PumpAndCheckCancel(true)) {
            context.ui.ShowMessage("Progress Cancelled");
            break;
        }
        progress.StepIt();
    }

    progress.Close();
    DeleteRecoveryRecord(dest);

    int pages = reported / perPage;
    if (reported % perPage != 0) {
        ++pages;
        WriteReportPage(ReportPagePath(dest, pages), body.Text(), pages, true);
        body.Clear();
    }
    WriteReportIndex(ReportIndexPath(dest), pages);
    const std::string frameset = ReportFramesetPath(dest);
    WriteReportFrameset(frameset);
    settings.LastFileFolder = dest;
    settings.LastHtmlReport = frameset;

    if (reported > 0) {
        if (options.NoSubDirectory == 0) context.shell.Open(dest);
        if (options.ShowReport) context.shell.Open(frameset);
    } else {
        context.ui.ShowMessage("Number of Extracted Mail: 0\n No Report is Generated!!");
    }
    return 0;
}
