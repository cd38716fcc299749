#include "engine/SaveAsEml.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "oe/DbxScan.h"
#include "platform/ErrorLog.h"
#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "store/MailSourceList.h"
#include "store/sources/DbxFileSource.h"

namespace {

// Longest file name the file systems we write to accept.
constexpr std::size_t kMaxFileName = 255;
constexpr const char* kExtension = ".eml";
// Room for the widest counter a name can get.
constexpr std::size_t kCounterRoom = 20;

// The k-th name tried for a cleaned base name: the name itself, then name0, name1, ...
std::string Candidate(const std::string& name, long long k) {
    return k < 0 ? name : name + std::to_string(k);
}

bool NameTaken(const std::string& folder, const std::string& name) {
    struct stat st;
    // lstat: a dangling link is as much in the way as a file.
    return lstat(platform::JoinPath(folder, name + kExtension).c_str(), &st) == 0;
}

std::string FormatIndexName(int index, const std::string& subject) {
    char number[16];
    std::snprintf(number, sizeof number, "%04d", index);
    return number + platform::TrimRight(subject);
}

void Failed(SaveEmlResult& result, const std::string& why) {
    TheErrorLog().WriteText(why);
    ++result.failed;
    result.failures.push_back(why);
}

void CutShort(SaveEmlResult& result, int index) {
    TheErrorLog().Write("Message %d of the folder is cut short", index);
    ++result.cut;
    result.failures.push_back("Message " + std::to_string(index) +
                              " of the folder is cut short: it is saved as far as it goes");
}

void Unreadable(SaveEmlResult& result, int index) {
    TheErrorLog().Write("Cannot read message %d of the folder", index);
    ++result.unreadable;
    result.failures.push_back("Cannot read message " + std::to_string(index) +
                              " of the folder: it is left out");
}

} // namespace

std::string CleanEmlBaseName(const std::string& baseName) {
    std::string name = platform::TrimRight(baseName);
    for (char& c : name) {
        switch (c) {
        case ':':
        case '.':
        case ',':
        case '!':
        case '?':
        case '-':
        case '"':
        case ' ':
        case '\\':
        case '/':
            c = '_';
            break;
        case '<':
            c = '(';
            break;
        case '>':
            c = ')';
            break;
        default:
            // Control bytes make names that cannot be typed or shown.
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
        }
    }
    // A subject longer than the file system allows would leave the message unsaved; cut it,
    // at a character boundary of UTF-8 text.
    std::size_t limit = kMaxFileName - std::strlen(kExtension) - kCounterRoom;
    if (name.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return name;
}

std::string MakeUniqueEmlName(const std::string& folder, const std::string& baseName) {
    std::string name = CleanEmlBaseName(baseName);
    for (long long k = -1;; ++k) {
        std::string candidate = Candidate(name, k);
        if (!NameTaken(folder, candidate)) return candidate;
    }
}

int CreateUniqueEmlFile(const std::string& folder, const std::string& baseName, std::string& path) {
    std::string name = CleanEmlBaseName(baseName);
    for (long long k = -1;; ++k) {
        path = platform::JoinPath(folder, Candidate(name, k) + kExtension);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) return fd;
        if (errno != EEXIST) return -1;
    }
}

namespace {

// Saves one message as a new file named after baseName; write streams its text into the file.
// Written when it was saved, Cut when it was saved as far as the mailbox goes. Unreadable
// leaves no file. Both are for the caller to count (it knows what to call the message); a file
// that cannot be made or written is counted here.
template <typename Write>
MailTextWrite SaveMessage(const std::string& destination, const std::string& baseName,
                          Write&& write, SaveEmlResult& result) {
    std::string path;
    platform::UniqueFd fd(CreateUniqueEmlFile(destination, baseName, path));
    if (!fd.IsOpen()) {
        Failed(result, "Cannot create " + path + ": " + std::strerror(errno));
        return MailTextWrite::WriteFailed;
    }
    // The text is streamed from the file to the new file, so a message of any size costs no
    // more memory than a small one.
    MailTextWrite written = write(fd.Get());
    int writeErrno = errno;
    bool closed = fd.Close();
    if (written == MailTextWrite::Unreadable) {
        // Same as a message that cannot be read at all: no half message is left behind.
        unlink(path.c_str());
        return written;
    }
    if (written == MailTextWrite::WriteFailed || !closed) {
        Failed(result,
               "Cannot write " + path + ": " +
                   std::strerror(written == MailTextWrite::WriteFailed ? writeErrno : errno));
        unlink(path.c_str());
        return MailTextWrite::WriteFailed;
    }
    ++result.saved;
    return written;
}

// Saves the messages the scan finds beyond the index's; numbers go on from first. False when
// the user cancelled.
bool SaveScannedMessages(CDbxMessageScan& scan, const std::string& sourcePath,
                         const std::string& destination, int first, CProgressWindow& progress,
                         SaveEmlResult& result) {
    progress.SetTitleLine("Scanning " + sourcePath);
    progress.SetStatusLine("");
    progress.SetRange(0, 1000, 1);
    bool whole = scan.Scan([&](std::uint64_t done, std::uint64_t total) {
        progress.SetPos(total ? static_cast<int>(done * 1000 / total) : 0);
        return !progress.PumpAndCheckCancel(true);
    });
    if (!whole) return false;
    // The scan leaves out the messages the index reaches.
    const int n = static_cast<int>(scan.StartCount());
    progress.SetRange(0, n, 1);
    progress.SetPos(0);
    std::uint32_t start = 0;
    for (int k = 0; k < n && (start = scan.NextStart(start)) != 0; ++k) {
        std::string subject = scan.ReadSubject(start);
        MailTextWrite written = SaveMessage(
            destination, FormatIndexName(first + k, subject),
            [&](int fd) { return ToMailTextWrite(scan.WriteText(start, fd)); }, result);
        if (written == MailTextWrite::Written) {
            ++result.savedFromScan;
        } else if (written == MailTextWrite::Unreadable) {
            TheErrorLog().Write("The message at position %u of the file breaks off", start);
            ++result.unreadable;
            result.failures.push_back("The message found at position " + std::to_string(start) +
                                      " of the file breaks off: it is left out");
        }
        char counter[32];
        std::snprintf(counter, sizeof counter, "(%d/%d)", k + 1, n);
        progress.SetTitleLine("Current Folder: " + sourcePath + counter);
        progress.SetStatusLine(subject);
        if (progress.PumpAndCheckCancel(true)) return false;
        progress.StepIt();
    }
    return true;
}

} // namespace

SaveEmlResult SaveMessagesAsEml(const std::string& sourcePath, const std::string& destination,
                                IMessageBox& ui, CProgressWindow& progress, bool recover) {
    SaveEmlResult result;
    if (!ui.AskYesNo("Save All Messages(*.eml) to Folder:" + destination)) {
        result.outcome = SaveEmlOutcome::Declined;
        return result;
    }
    if (sourcePath.empty()) {
        result.outcome = SaveEmlOutcome::NoSource;
        return result;
    }
    // A .dbx file through its index, an mbox file or a folder of messages as they are.
    std::unique_ptr<IMailSource> source = OpenMailbox(sourcePath).Source;
    const bool indexed = source != nullptr;
    // A damaged index keeps nothing from the scan; only a file that is no .dbx file at all does.
    CDbxMessageScan scan;
    std::string why;
    const bool scanning = recover && scan.Open(sourcePath, why);
    if (!indexed && !scanning) {
        result.outcome = SaveEmlOutcome::OpenFailed;
        return result;
    }
    const int n = indexed ? source->Count() : 0;
    progress.Open("Progress", false);
    progress.SetRange(0, n, 1);
    bool cancelled = false;
    for (int i = n - 1, k = 1; i >= 0; --i, ++k) {
        MailHeader header;
        // A message that cannot be read is counted and left out; the others are still saved.
        const MailTextWrite written =
            source->ReadHeader(i, header) && header.HasText
                ? SaveMessage(destination, FormatIndexName(i, header.Subject),
                              [&](int fd) { return source->WriteText(i, fd); }, result)
                : MailTextWrite::Unreadable;
        if (written == MailTextWrite::Unreadable) Unreadable(result, i);
        if (written == MailTextWrite::Cut) CutShort(result, i);
        char counter[32];
        std::snprintf(counter, sizeof counter, "(%d/%d)", k, n);
        progress.SetTitleLine("Current Folder: " + sourcePath + counter);
        progress.SetStatusLine(header.Subject);
        if (progress.PumpAndCheckCancel(true)) {
            cancelled = true;
            break;
        }
        progress.StepIt();
    }
    source.reset();
    if (!cancelled && scanning)
        cancelled = !SaveScannedMessages(scan, sourcePath, destination, n, progress, result);
    if (cancelled) {
        ui.ShowMessage("Progress Cancelled");
        result.outcome = SaveEmlOutcome::Cancelled;
    }
    progress.Close();
    if (result.unreadable > 0 && result.outcome == SaveEmlOutcome::Finished) {
        ui.ShowMessage("Extract eMail Error");
        result.outcome = SaveEmlOutcome::ReadError;
    }
    return result;
}
