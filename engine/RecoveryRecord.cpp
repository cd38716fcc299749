#include "engine/RecoveryRecord.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "platform/UserInterface.h"

namespace {

constexpr size_t kMaxShown = 1000;
constexpr const char* kRecordName = "error.txt";

// The destination's "process" folder, opened without following a link put in its place, so
// that the record is never read, written or deleted anywhere else. Not open when there is none.
platform::UniqueFd OpenProcessFolder(const std::string& destination) {
    platform::UniqueFd dest(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dest.IsOpen()) return {};
    return platform::UniqueFd(
        ::openat(dest.Get(), "process", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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

bool WriteRecoveryRecord(const std::string& destination, const std::string& sender,
                         const std::string& subject) {
    platform::UniqueFd folder = OpenProcessFolder(destination);
    if (!folder.IsOpen()) return false;
    // A new file renamed over the old one: a process killed at any point leaves a whole record,
    // the previous message's or this one's. No flush to disk: the record is there for a dead
    // process, not a dead machine, and a flush per message would slow every run.
    return platform::ReplaceFileAt(folder.Get(), kRecordName,
                                   "From:" + sender + "\r\nSubject:" + subject, false, 0644);
}

void DeleteRecoveryRecord(const std::string& destination) {
    platform::UniqueFd folder = OpenProcessFolder(destination);
    if (folder.IsOpen()) ::unlinkat(folder.Get(), kRecordName, 0);
}

void RemoveEmptyRecoveryFolder(const std::string& destination) {
    platform::UniqueFd dest(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Fails, as it should, on a folder that holds anything and on a link.
    if (dest.IsOpen()) ::unlinkat(dest.Get(), "process", AT_REMOVEDIR);
}
