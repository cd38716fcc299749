#include "store/MailSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "store/StoreDiscovery.h"

namespace {

constexpr std::int64_t kFileTimeToUnix = 11644473600LL;

} // namespace

std::time_t FileTimeToTime(std::uint64_t fileTime) {
    return static_cast<std::time_t>(static_cast<std::int64_t>(fileTime / 10000000ULL) -
                                    kFileTimeToUnix);
}

EmlFolderSource::EmlFolderSource(const std::string& folder) {
    for (const platform::DirEntry& e : platform::ListDirectory(folder, "*.eml")) {
        std::string path = platform::JoinPath(folder, e.name);
        if (!e.isDirectory && platform::IsRegularFile(path)) m_paths.push_back(path);
    }
    std::sort(m_paths.begin(), m_paths.end(), [](const std::string& a, const std::string& b) {
        return std::strcmp(a.c_str(), b.c_str()) < 0;
    });
}

bool EmlFolderSource::ReadHeader(int index, MailHeader& header) {
    header = MailHeader{};
    return index >= 0 && index < Count();
}

std::string EmlFolderSource::MessagePath(int index) const {
    return index >= 0 && index < Count() ? m_paths[static_cast<std::size_t>(index)] : "";
}

MailTextWrite EmlFolderSource::WriteText(int index, int fd) {
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

bool DbxFileSource::Open(const std::string& path) {
    Close();
    return m_store.Open(path) == 0;
}

void DbxFileSource::Close() {
    m_item.reset();
    m_index = -1;
    m_store.Close();
}

const CDbxMessage* DbxFileSource::Message(int index) {
    if (index != m_index) {
        m_item = m_store.GetItem(index, 0);
        m_index = index;
    }
    return dynamic_cast<const CDbxMessage*>(m_item.get());
}

bool DbxFileSource::ReadHeader(int index, MailHeader& header) {
    header = MailHeader{};
    const CDbxMessage* message = Message(index);
    if (!message) return false;
    header.Subject = message->GetSubject();
    header.Sender = message->GetSender();
    header.SenderName = message->GetSenderName();
    header.Time = FileTimeToTime(message->GetDate());
    header.HasText = message->GetTextPosition() != -1;
    return true;
}

MailTextWrite DbxFileSource::WriteText(int index, int fd) {
    const CDbxMessage* message = Message(index);
    if (!message) return MailTextWrite::Unreadable;
    if (message->GetTextPosition() == -1) return MailTextWrite::Written;
    switch (m_store.WriteMessageText(*message, fd)) {
    case DbxTextWrite::Written:
        return MailTextWrite::Written;
    case DbxTextWrite::WriteFailed:
        return MailTextWrite::WriteFailed;
    default:
        return MailTextWrite::Unreadable;
    }
}

std::unique_ptr<IMailSource> OpenFolderSource(const FolderRecord& folder) {
    if (folder.PathSuffix.empty()) return std::make_unique<EmlFolderSource>(folder.FullPath);
    auto source = std::make_unique<DbxFileSource>();
    if (!source->Open(platform::JoinPath(folder.FullPath, folder.PathSuffix))) return nullptr;
    return source;
}

CMessageFile::Result CMessageFile::Open(IMailSource& source, int index,
                                        const std::string& scratchFolder) {
    m_path = source.MessagePath(index);
    if (!m_path.empty()) return Ready;
    if (!m_copy.Create(scratchFolder, "TAK")) return NoTempFile;
    // The text is streamed into the copy, so no message has to fit in memory.
    switch (source.WriteText(index, m_copy.Fd())) {
    case MailTextWrite::Unreadable:
        return Unreadable;
    case MailTextWrite::WriteFailed:
        return WriteFailed;
    case MailTextWrite::Written:
        break;
    }
    if (!m_copy.CloseFile()) return WriteFailed;
    m_path = m_copy.Path();
    return Ready;
}
