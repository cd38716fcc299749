#include "engine/RecoveryRecord.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "app/UserInterface.h"
#include "platform/FileSystem.h"

namespace {
constexpr size_t kMaxShown = 1000;
}

std::string RecoveryFolder(const std::string& destination) {
    return platform::JoinPath(destination, "process");
}

std::string RecoveryRecordPath(const std::string& destination) {
    return platform::JoinPath(RecoveryFolder(destination), "error.txt");
}

bool ConfirmAfterInterruptedRun(const std::string& destination, IMessageBox& ui) {
    std::string path = RecoveryRecordPath(destination);
    if (!platform::FileExists(path)) return true;
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[kMaxShown];
        size_t n = std::fread(buffer, 1, sizeof buffer, f);
        text.assign(buffer, n);
        std::fclose(f);
    }
    ui.ShowMessage("There is a mail parsing error in  previous processing!! \r\n" + text, kAppTitle,
                   MessageIcon::Error);
    return ui.AskYesNo("Do you want to continue? \r\n(Please remove error mails before continue!!)",
                       kAppTitle, MessageIcon::Error);
}

void WriteRecoveryRecord(const std::string& destination, const std::string& sender,
                         const std::string& subject) {
    std::string text = "From:" + sender + "\r\nSubject:" + subject;
    int fd = ::open(RecoveryRecordPath(destination).c_str(),
                    O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
}

void DeleteRecoveryRecord(const std::string& destination) {
    platform::DeleteFile(RecoveryRecordPath(destination));
}
