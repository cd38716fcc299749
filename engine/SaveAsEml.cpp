#include "engine/SaveAsEml.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "locale/Language.h"
#include "platform/ErrorLog.h"
#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "store/MailSourceList.h"

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

void Failed(SaveEmlResult& result, res::TextId text, const std::vector<std::string>& args) {
    TheErrorLog().WriteText(TrEnglish(text, args));
    ++result.failed;
    result.failures.push_back(Tr(text, args));
}

void CutShort(SaveEmlResult& result, int index) {
    TheErrorLog().Write("Message %d of the folder is cut short", index);
    ++result.cut;
    result.failures.push_back(Tr(res::TextId::MessageCutShort, {std::to_string(index)}));
}

void Empty(SaveEmlResult& result, int index) {
    TheErrorLog().Write("Message %d of the folder is empty", index);
    ++result.unreadable;
    result.failures.push_back(Tr(res::TextId::MessageEmpty, {std::to_string(index)}));
}

void Unreadable(SaveEmlResult& result, int index) {
    TheErrorLog().Write("Cannot read message %d of the folder", index);
    ++result.unreadable;
    result.failures.push_back(Tr(res::TextId::MessageUnreadable, {std::to_string(index)}));
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
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) return fd;
        if (errno != EEXIST) return -1;
    }
}

namespace {

// Whether two open files hold the same bytes.
bool SameBytes(int a, int b) {
    std::vector<char> x(64 * 1024), y(64 * 1024);
    for (off_t at = 0;;) {
        ssize_t got = ::pread(a, x.data(), x.size(), at);
        if (got < 0) return false;
        if (::pread(b, y.data(), static_cast<std::size_t>(got), at) != got) return false;
        if (got == 0) return true;
        if (std::memcmp(x.data(), y.data(), static_cast<std::size_t>(got)) != 0) return false;
        at += got;
    }
}

// A plain file already in the folder under the name's pattern (the name itself, then name0,
// name1, ... up to the one just made) that holds the bytes of the file just made.
bool EqualFileThere(const std::string& folder, const std::string& name, const std::string& made,
                    int madeFd) {
    struct stat mine;
    if (::fstat(madeFd, &mine) != 0) return false;
    for (long long k = -1;; ++k) {
        const std::string path = platform::JoinPath(folder, Candidate(name, k) + kExtension);
        if (path == made) return false;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) continue; // a name freed since
        if (!S_ISREG(st.st_mode) || st.st_size != mine.st_size) continue;
        platform::UniqueFd theirs(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (theirs.IsOpen() && SameBytes(theirs.Get(), madeFd)) return true;
    }
}

enum class Saved {
    Whole,       // a new file
    Cut,         // a new file, as far as the mailbox goes
    AlreadyThere, // a file with the same bytes was there: nothing new written
    Empty,       // the message has no bytes at all: no file
    Unreadable,  // no file
    Failed,      // counted here
};

// Saves one message as a new file named after baseName; write streams its text into the file.
// A message already saved into the folder (the same bytes under its name or a numbered one) is
// not saved again, so a second save into one folder adds only what is new. An empty or
// unreadable message leaves no file; the caller counts those (it knows what to call the
// message); a file that cannot be made or written is counted here.
template <typename Write>
Saved SaveMessage(const std::string& destination, const std::string& baseName, Write&& write,
                  SaveEmlResult& result) {
    std::string path;
    platform::UniqueFd fd(CreateUniqueEmlFile(destination, baseName, path));
    if (!fd.IsOpen()) {
        Failed(result, res::TextId::CannotCreateFile, {path, std::strerror(errno)});
        return Saved::Failed;
    }
    // The text is streamed from the file to the new file, so a message of any size costs no
    // more memory than a small one.
    MailTextWrite written = write(fd.Get());
    int writeErrno = errno;
    if (written == MailTextWrite::Unreadable) {
        // Same as a message that cannot be read at all: no half message is left behind.
        fd.Close();
        unlink(path.c_str());
        return Saved::Unreadable;
    }
    struct stat st;
    const bool empty = written != MailTextWrite::WriteFailed && ::fstat(fd.Get(), &st) == 0 &&
                       st.st_size == 0;
    const bool same = written != MailTextWrite::WriteFailed && !empty &&
                      EqualFileThere(destination, CleanEmlBaseName(baseName), path, fd.Get());
    bool closed = fd.Close();
    if (empty || same) {
        unlink(path.c_str());
        return empty ? Saved::Empty : Saved::AlreadyThere;
    }
    if (written == MailTextWrite::WriteFailed || !closed) {
        Failed(result, res::TextId::CannotWriteFile,
               {path, std::strerror(written == MailTextWrite::WriteFailed ? writeErrno : errno)});
        unlink(path.c_str());
        return Saved::Failed;
    }
    ++result.saved;
    return written == MailTextWrite::Cut ? Saved::Cut : Saved::Whole;
}

// Saves the messages the scan finds beyond the index's; numbers go on from first. False when
// the user cancelled.
bool SaveScannedMessages(ILostMessages& scan, const std::string& sourcePath,
                         const std::string& destination, int first, CProgressWindow& progress,
                         SaveEmlResult& result) {
    progress.SetTitleLine("Scanning " + sourcePath);
    progress.SetStatusLine("");
    progress.SetRange(0, 1000, 1);
    bool whole = scan.Find([&](std::uint64_t done, std::uint64_t total) {
        progress.SetPos(total ? static_cast<int>(done * 1000 / total) : 0);
        return !progress.PumpAndCheckCancel(true);
    });
    if (!whole) return false;
    // The scan leaves out the messages the index reaches.
    const int n = scan.Count();
    progress.SetRange(0, n, 1);
    progress.SetPos(0);
    std::uint64_t start = 0;
    for (int k = 0; k < n && (start = scan.Next(start)) != 0; ++k) {
        std::string subject = scan.Subject(start);
        const Saved saved = SaveMessage(
            destination, FormatIndexName(first + k, subject),
            [&](int fd) { return scan.WriteText(start, fd); }, result);
        if (saved == Saved::Whole || saved == Saved::Cut) {
            ++result.savedFromScan;
        } else if (saved == Saved::AlreadyThere) {
            ++result.alreadyThere;
        } else if (saved == Saved::Unreadable || saved == Saved::Empty) {
            TheErrorLog().Write("The message at position %llu of the file breaks off",
                                static_cast<unsigned long long>(start));
            ++result.unreadable;
            result.failures.push_back(Tr(res::TextId::MessageBreaksOff, {std::to_string(start)}));
        }
        char counter[32];
        std::snprintf(counter, sizeof counter, "(%d/%d)", k + 1, n);
        progress.SetTitleLine(Tr(res::TextId::CurrentFolder, {sourcePath + counter}));
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
    MailboxOpen opened = OpenMailbox(sourcePath);
    std::unique_ptr<IMailSource> source = std::move(opened.Source);
    const bool indexed = source != nullptr;
    // A damaged index keeps nothing from the scan; only a file its kind cannot search does.
    std::unique_ptr<ILostMessages> lost;
    if (recover && opened.Kind && opened.Kind->OpenLost)
        lost = opened.Kind->OpenLost(sourcePath).Take();
    const bool scanning = lost != nullptr;
    if (!indexed && !scanning) {
        result.outcome = SaveEmlOutcome::OpenFailed;
        return result;
    }
    const int n = indexed ? source->Count() : 0;
    progress.Open(Tr(res::TextId::ProgressTitle), false);
    progress.SetRange(0, n, 1);
    bool cancelled = false;
    for (int i = n - 1, k = 1; i >= 0; --i, ++k) {
        MailHeader header;
        // A message that cannot be read is counted and left out; the others are still saved.
        const Saved saved =
            source->ReadHeader(i, header) && header.HasText
                ? SaveMessage(destination, FormatIndexName(i, header.Subject),
                              [&](int fd) { return source->WriteText(i, fd); }, result)
                : Saved::Unreadable;
        if (saved == Saved::Unreadable) Unreadable(result, i);
        if (saved == Saved::Empty) Empty(result, i);
        if (saved == Saved::Cut) CutShort(result, i);
        if (saved == Saved::AlreadyThere) ++result.alreadyThere;
        char counter[32];
        std::snprintf(counter, sizeof counter, "(%d/%d)", k, n);
        progress.SetTitleLine(Tr(res::TextId::CurrentFolder, {sourcePath + counter}));
        progress.SetStatusLine(header.Subject);
        if (progress.PumpAndCheckCancel(true)) {
            cancelled = true;
            break;
        }
        progress.StepIt();
    }
    source.reset();
    if (!cancelled && scanning)
        cancelled = !SaveScannedMessages(*lost, sourcePath, destination, n, progress, result);
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
