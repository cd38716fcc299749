#include "store/sources/FilePerMessageSource.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/FileSystem.h"

void FilePerMessageSource::AddFiles(const std::string& folder, const char* pattern) {
    for (const platform::DirEntry& e : platform::ListDirectory(folder, pattern)) {
        if (e.isRegular && e.name[0] != '.') m_paths.push_back(platform::JoinPath(folder, e.name));
    }
}

bool FilePerMessageSource::ReadHeader(int index, MailHeader& header) {
    header = MailHeader{};
    if (index < 0 || index >= Count()) return false;
    return ReadMailFileHeader(m_paths[static_cast<std::size_t>(index)], header);
}

std::string FilePerMessageSource::MessagePath(int index) const {
    return index >= 0 && index < Count() ? m_paths[static_cast<std::size_t>(index)] : "";
}

MailTextWrite FilePerMessageSource::WriteText(int index, int fd) {
    int in = open(MessagePath(index).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) return MailTextWrite::Unreadable;
    MailTextWrite result = MailTextWrite::Written;
    char buffer[64 * 1024];
    for (;;) {
        ssize_t got = read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) result = MailTextWrite::Unreadable;
        if (got <= 0) break;
        if (!platform::WriteAll(fd, std::string_view(buffer, static_cast<std::size_t>(got)))) {
            result = MailTextWrite::WriteFailed;
            break;
        }
    }
    close(in);
    return result;
}

std::string FilePerMessageSource::MessageKey(int index) {
    const std::string path = MessagePath(index);
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
    return KeyName(path.substr(path.rfind('/') + 1)) + "/" + std::to_string(st.st_size) + "/" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}
