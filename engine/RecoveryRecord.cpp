#include "engine/RecoveryRecord.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/UserInterface.h"

namespace {

constexpr size_t kMaxShown = 1000;
constexpr const char* kRecordName = "error.txt";

// The destination's "process" folder, opened without following a link put in its place, so
// that the record is never read, written or deleted anywhere else. -1 when there is none.
class ProcessFolder {
public:
    explicit ProcessFolder(const std::string& destination) {
        int dest = ::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dest < 0) return;
        m_fd = ::openat(dest, "process", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(dest);
    }
    ~ProcessFolder() {
        if (m_fd >= 0) ::close(m_fd);
    }
    ProcessFolder(const ProcessFolder&) = delete;
    ProcessFolder& operator=(const ProcessFolder&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd = -1;
};

} // namespace

std::string RecoveryFolder(const std::string& destination) {
    return platform::JoinPath(destination, "process");
}

std::string RecoveryRecordPath(const std::string& destination) {
    return platform::JoinPath(RecoveryFolder(destination), kRecordName);
}

bool ConfirmAfterInterruptedRun(const std::string& destination, IMessageBox& ui) {
    ProcessFolder folder(destination);
    struct stat st;
    if (folder.Fd() < 0 || ::fstatat(folder.Fd(), kRecordName, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return true;
    // Whatever is there stands for an unfinished run; only a plain file is read for the text.
    std::string text;
    int fd = platform::OpenFileForReadingAt(folder.Fd(), kRecordName, false, UINT64_MAX);
    if (fd >= 0) {
        char buffer[kMaxShown];
        ssize_t n;
        do {
            n = ::read(fd, buffer, sizeof buffer);
        } while (n < 0 && errno == EINTR);
        if (n > 0) text.assign(buffer, static_cast<size_t>(n));
        ::close(fd);
    }
    ui.ShowMessage("There is a mail parsing error in  previous processing!! \r\n" + text, kAppTitle,
                   MessageIcon::Error);
    return ui.AskYesNo("Do you want to continue? \r\n(Please remove error mails before continue!!)",
                       kAppTitle, MessageIcon::Error);
}

bool WriteRecoveryRecord(const std::string& destination, const std::string& sender,
                         const std::string& subject) {
    ProcessFolder folder(destination);
    if (folder.Fd() < 0) return false;
    // A new file renamed over the old one: a process killed at any point leaves a whole record,
    // the previous message's or this one's. No flush to disk: the record is there for a dead
    // process, not a dead machine, and a flush per message would slow every run.
    return platform::ReplaceFileAt(folder.Fd(), kRecordName,
                                   "From:" + sender + "\r\nSubject:" + subject, false, 0644);
}

void DeleteRecoveryRecord(const std::string& destination) {
    ProcessFolder folder(destination);
    if (folder.Fd() >= 0) ::unlinkat(folder.Fd(), kRecordName, 0);
}

void RemoveEmptyRecoveryFolder(const std::string& destination) {
    int dest = ::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dest < 0) return;
    // Fails, as it should, on a folder that holds anything and on a link.
    ::unlinkat(dest, "process", AT_REMOVEDIR);
    ::close(dest);
}
