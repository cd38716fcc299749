#include "engine/RecoveryRecord.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "platform/PartialFiles.h"
#include "platform/UserInterface.h"
#include "store/MessageOnDisk.h"

namespace {

constexpr size_t kMaxShown = 1000;
// Written over from its start, then cut to its length: a file cut to nothing first is flushed
// on close by some file systems, which would cost a disk write per message.
bool WriteOver(int fd, const std::string& text) {
    return ::lseek(fd, 0, SEEK_SET) == 0 && platform::WriteAll(fd, text) &&
           ::ftruncate(fd, static_cast<off_t>(text.size())) == 0;
}

constexpr const char* kRecordName = "error.txt";
// The previous record, kept to be written over by the next one (see WriteBySwap).
constexpr const char* kSpareName = "error.txt.next";

// The destination's "process" folder, opened without following a link put in its place, so
// that the record is never read, written or deleted anywhere else. Not open when there is none.
platform::UniqueFd OpenProcessFolder(const std::string& destination) {
    platform::UniqueFd dest(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dest.IsOpen()) return {};
    return platform::UniqueFd(
        ::openat(dest.Get(), "process", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Whether the name holds a record as a run writes it ("From:" ... "\r\nSubject:" ...), in a
// plain file of one name: a spare that an interrupted run left, never someone's own file.
bool HoldsARecord(int dirFd, const char* name) {
    platform::UniqueFd fd(platform::OpenFileForReadingAt(dirFd, name, false, 64 * 1024));
    struct stat st;
    if (!fd.IsOpen() || ::fstat(fd.Get(), &st) != 0 || st.st_nlink != 1) return false;
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    if (::pread(fd.Get(), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
        return false;
    return text.rfind("From:", 0) == 0 && text.find("\r\nSubject:") != std::string::npos;
}

// Removes the name when it is still the file open as fd (a file this run made), and closes fd.
void RemoveIfOurs(int dirFd, const char* name, platform::UniqueFd& fd) {
    struct stat open {}, named {};
    if (fd.IsOpen() && ::fstat(fd.Get(), &open) == 0 &&
        ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && open.st_dev == named.st_dev &&
        open.st_ino == named.st_ino)
        ::unlinkat(dirFd, name, 0);
    fd.Close();
}

enum class Swap { Exchanged, Replaced, WriteFailed, NotPossible };

// The record written into the spare file, which then trades places with the record in one
// step: the record is whole at every moment, and the old record becomes the next spare. A
// file created and another deleted for every message would cost far more: some file systems
// search past every recently deleted inode to create the next one. `spare` is the spare when
// the caller has it open, else it is opened by name; afterwards it holds the file written,
// which is the record unless WriteFailed or NotPossible (then it is the spare, for the caller to
// remove). NotPossible when this way cannot be taken (no record that is a plain file yet to
// trade with, a spare that is not a plain file of ours, no rename).
Swap WriteBySwap(int dirFd, const std::string& text, platform::UniqueFd& spare) {
    struct stat st;
    if (!spare.IsOpen()) {
        if (::fstatat(dirFd, kRecordName, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            return Swap::NotPossible;
        // A new file, or the spare an interrupted run left; a file of someone else's under that
        // name is neither written over nor removed.
        spare = platform::UniqueFd(::openat(
            dirFd, kSpareName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (!spare.IsOpen() && errno == EEXIST && HoldsARecord(dirFd, kSpareName))
            spare = platform::UniqueFd(
                ::openat(dirFd, kSpareName, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        // A second name of someone else's file is not ours to write over.
        if (spare.IsOpen() &&
            (::fstat(spare.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1))
            spare.Close();
        if (!spare.IsOpen()) return Swap::NotPossible;
    }
    if (!WriteOver(spare.Get(), text)) return Swap::WriteFailed;
    if (::renameat2(dirFd, kSpareName, dirFd, kRecordName, RENAME_EXCHANGE) == 0)
        return Swap::Exchanged;
    // A file system without the exchange: the spare replaces the record, as a new file would.
    if (::renameat(dirFd, kSpareName, dirFd, kRecordName) == 0) return Swap::Replaced;
    return Swap::NotPossible;
}

// Removes the plain files of the folder open at dirFd whose names `leftOver` picks.
void RemoveFilesAt(int dirFd, const std::function<bool(std::string_view)>& leftOver) {
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir))
        if (leftOver(e->d_name)) names.emplace_back(e->d_name);
    ::closedir(dir);
    struct stat st;
    for (const std::string& name : names)
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(dirFd, name.c_str(), 0);
}

bool IsScratchCopyName(std::string_view name) {
    const size_t prefix = std::strlen(kScratchCopyPrefix);
    return name.size() == prefix + 6 && name.substr(0, prefix) == kScratchCopyPrefix;
}

} // namespace

std::string RecoveryFolder(const std::string& destination) {
    return platform::JoinPath(destination, "process");
}

std::string RecoveryRecordPath(const std::string& destination) {
    return platform::JoinPath(RecoveryFolder(destination), kRecordName);
}

bool ConfirmAfterInterruptedRun(const std::string& destination, IMessageBox& ui) {
    platform::UniqueFd folder = OpenProcessFolder(destination);
    struct stat st;
    if (!folder.IsOpen() || ::fstatat(folder.Get(), kRecordName, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return true;
    // Whatever is there stands for an unfinished run; only a plain file is read for the text.
    std::string text;
    platform::UniqueFd fd(
        platform::OpenFileForReadingAt(folder.Get(), kRecordName, false, UINT64_MAX));
    if (fd.IsOpen()) {
        char buffer[kMaxShown];
        ssize_t n;
        do {
            n = ::read(fd.Get(), buffer, sizeof buffer);
        } while (n < 0 && errno == EINTR);
        if (n > 0) text.assign(buffer, static_cast<size_t>(n));
    }
    ui.ShowMessage("There is a mail parsing error in  previous processing!! \r\n" + text, kAppTitle,
                   MessageIcon::Error);
    return ui.AskYesNo("Do you want to continue? \r\n(Please remove error mails before continue!!)",
                       kAppTitle, MessageIcon::Error);
}

CRecoveryRecord::CRecoveryRecord(std::string destination)
    : m_destination(std::move(destination)) {}

bool CRecoveryRecord::Write(const std::string& sender, const std::string& subject) {
    if (!m_folder.IsOpen()) m_folder = OpenProcessFolder(m_destination);
    if (!m_folder.IsOpen()) return false;
    const int folder = m_folder.Get();
    // A process killed at any point leaves a whole record, the previous message's or this one's.
    // No flush to disk: the record is there for a dead process, not a dead machine, and a flush
    // per message would slow every run.
    const std::string text = "From:" + sender + "\r\nSubject:" + subject;
    // The run's spare is written through its descriptor while it still has its one name, so
    // nothing put in the folder since is written.
    struct stat st;
    if (m_spare.IsOpen() && (::fstat(m_spare.Get(), &st) != 0 || st.st_nlink != 1))
        m_spare.Close();
    switch (WriteBySwap(folder, text, m_spare)) {
    case Swap::Exchanged:
        std::swap(m_record, m_spare); // the old record is now under the spare's name
        return true;
    case Swap::Replaced:
        m_record = std::move(m_spare);
        return true;
    case Swap::WriteFailed:
        RemoveIfOurs(folder, kSpareName, m_spare);
        return false;
    case Swap::NotPossible:
        break;
    }
    // The first record of a run, or the swap cannot be made: a new file renamed over the old.
    m_record.Close();
    RemoveIfOurs(folder, kSpareName, m_spare);
    return platform::ReplaceFileAt(folder, kRecordName, text, false, 0644);
}

bool WriteRecoveryRecord(const std::string& destination, const std::string& sender,
                         const std::string& subject) {
    return CRecoveryRecord(destination).Write(sender, subject);
}

void DeleteRecoveryRecord(const std::string& destination) {
    platform::UniqueFd folder = OpenProcessFolder(destination);
    if (!folder.IsOpen()) return;
    ::unlinkat(folder.Get(), kRecordName, 0);
    // The spare only when it is one: a file of the user's under its name stays.
    if (HoldsARecord(folder.Get(), kSpareName)) ::unlinkat(folder.Get(), kSpareName, 0);
}

void RemoveInterruptedRunLeftovers(const std::string& destination, const std::string& folder) {
    if (platform::UniqueFd process = OpenProcessFolder(destination); process.IsOpen())
        RemoveFilesAt(process.Get(), IsScratchCopyName);
    platform::UniqueFd target(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (target.IsOpen()) RemoveFilesAt(target.Get(), platform::IsPartialFileName);
}

void RemoveEmptyRecoveryFolder(const std::string& destination) {
    platform::UniqueFd dest(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Fails, as it should, on a folder that holds anything and on a link.
    if (dest.IsOpen()) ::unlinkat(dest.Get(), "process", AT_REMOVEDIR);
}
