#include "store/MailSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

void MessageFilesSource::AddFiles(const std::string& folder, const char* pattern) {
    for (const platform::DirEntry& e : platform::ListDirectory(folder, pattern)) {
        if (e.isRegular && e.name[0] != '.') m_paths.push_back(platform::JoinPath(folder, e.name));
    }
}

void MessageFilesSource::Sort() {
    std::sort(m_paths.begin(), m_paths.end(), [](const std::string& a, const std::string& b) {
        return std::strcmp(a.c_str(), b.c_str()) < 0;
    });
}

EmlFolderSource::EmlFolderSource(const std::string& folder) {
    AddFiles(folder, "*.eml");
    Sort();
}

bool IsMaildir(const std::string& folder) {
    const std::string cur = platform::JoinPath(folder, "cur");
    if (!platform::IsDirectory(cur)) return false;
    if (platform::IsDirectory(platform::JoinPath(folder, "new")) ||
        platform::IsDirectory(platform::JoinPath(folder, "tmp")))
        return true;
    // cur/ alone: a maildir only when it holds a message named as maildir readers name the
    // ones they have seen, its flags after ":2,".
    DIR* dir = ::opendir(cur.c_str());
    if (!dir) return false;
    bool marked = false;
    while (dirent* e = ::readdir(dir))
        if (e->d_name[0] != '.' && std::strstr(e->d_name, ":2,")) {
            marked = true;
            break;
        }
    ::closedir(dir);
    return marked;
}

MaildirSource::MaildirSource(const std::string& folder) {
    AddFiles(platform::JoinPath(folder, "cur"), "*");
    AddFiles(platform::JoinPath(folder, "new"), "*");
    // By name, not by path: a message moves from new/ to cur/ when it is first read, and keeps
    // its place.
    std::sort(m_paths.begin(), m_paths.end(), [](const std::string& a, const std::string& b) {
        return std::strcmp(a.c_str() + a.rfind('/'), b.c_str() + b.rfind('/')) < 0;
    });
}

bool MessageFilesSource::ReadHeader(int index, MailHeader& header) {
    header = MailHeader{};
    return index >= 0 && index < Count();
}

std::string MessageFilesSource::MessagePath(int index) const {
    return index >= 0 && index < Count() ? m_paths[static_cast<std::size_t>(index)] : "";
}

MailTextWrite MessageFilesSource::WriteText(int index, int fd) {
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
    m_path = path;
    return m_store.Open(path) == 0;
}

void DbxFileSource::Close() {
    m_item.reset();
    m_index = -1;
    m_store.Close();
}

std::string DbxFileSource::Describe(int index) const {
    return m_path + ", message " + std::to_string(index + 1);
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
    return ToMailTextWrite(m_store.WriteMessageText(*message, fd));
}

MailTextWrite ToMailTextWrite(DbxTextWrite written) {
    switch (written) {
    case DbxTextWrite::Written:
        return MailTextWrite::Written;
    case DbxTextWrite::WriteFailed:
        return MailTextWrite::WriteFailed;
    default:
        return MailTextWrite::Unreadable;
    }
}

bool MboxFileSource::Open(const std::string& path, std::string* why) {
    m_path = path;
    return m_reader.Open(path, why);
}

bool MboxFileSource::ReadHeader(int index, MailHeader& header) {
    header = MailHeader{};
    return index >= 0 && index < Count();
}

MailTextWrite MboxFileSource::WriteText(int index, int fd) {
    switch (m_reader.WriteMessage(index, fd)) {
    case MboxWrite::Written:
        return MailTextWrite::Written;
    case MboxWrite::WriteFailed:
        return MailTextWrite::WriteFailed;
    case MboxWrite::Cut:
        return MailTextWrite::Cut;
    case MboxWrite::Unreadable:
        break;
    }
    return MailTextWrite::Unreadable;
}

bool MboxFileSource::ReadHeaderBlock(int index, std::size_t limit, std::string& block) {
    return m_reader.ReadHeaderBlock(index, limit, block);
}

std::string MboxFileSource::Describe(int index) const {
    return m_path + ", message " + std::to_string(index + 1) + " (at byte " +
           std::to_string(m_reader.Offset(index)) + ")";
}

namespace {

std::unique_ptr<IMailSource> OpenMbox(const std::string& path, std::string* why) {
    auto source = std::make_unique<MboxFileSource>();
    if (!source->Open(path, why)) return nullptr;
    return source;
}

std::unique_ptr<IMailSource> OpenDbx(const std::string& path) {
    auto source = std::make_unique<DbxFileSource>();
    if (!source->Open(path)) return nullptr;
    return source;
}

} // namespace

std::unique_ptr<IMailSource> OpenFolderSource(const FolderRecord& folder) {
    switch (folder.Kind) {
    case MailboxKind::Container:
        return nullptr;
    case MailboxKind::Maildir:
        return std::make_unique<MaildirSource>(folder.FullPath);
    case MailboxKind::Mbox:
        return OpenMbox(platform::JoinPath(folder.FullPath, folder.PathSuffix), nullptr);
    case MailboxKind::Express:
        break;
    }
    if (folder.PathSuffix.empty()) return std::make_unique<EmlFolderSource>(folder.FullPath);
    return OpenDbx(platform::JoinPath(folder.FullPath, folder.PathSuffix));
}

std::unique_ptr<IMailSource> OpenMailboxPath(const std::string& path, std::string* why) {
    if (why) why->clear();
    if (path.empty()) return nullptr;
    if (platform::IsDirectory(path)) {
        if (IsMaildir(path)) return std::make_unique<MaildirSource>(path);
        return std::make_unique<EmlFolderSource>(path);
    }
    std::string refused;
    platform::UniqueFd probe(platform::OpenFileForReading(path, UINT64_MAX, &refused));
    if (!probe.IsOpen()) {
        if (why) *why = refused.empty() ? "not found" : refused;
        return nullptr;
    }
    probe.Close();
    if (std::unique_ptr<IMailSource> dbx = OpenDbx(path)) return dbx;
    if (!CMboxReader::LooksLikeMbox(path)) {
        if (why) *why = "neither an mbox file nor a .dbx file";
        return nullptr;
    }
    return OpenMbox(path, why);
}

CMessageFile::Result CMessageFile::Open(IMailSource& source, int index,
                                        const std::string& scratchFolder) {
    m_path = source.MessagePath(index);
    if (!m_path.empty()) return Ready;
    if (!Rewind(scratchFolder)) {
        Close();
        m_copy.emplace();
        if (!m_copy->Create(scratchFolder, "TAK")) {
            m_copy.reset();
            return NoTempFile;
        }
        m_copyFolder = scratchFolder;
    }
    // The text is streamed into the copy, so no message has to fit in memory. It is written
    // over the last one and the rest cut off after: emptying the file first would make the file
    // system write the old text out to disk.
    const MailTextWrite written = source.WriteText(index, m_copy->Fd());
    const off_t end = ::lseek(m_copy->Fd(), 0, SEEK_CUR);
    if (written == MailTextWrite::WriteFailed || end < 0 || ::ftruncate(m_copy->Fd(), end) != 0)
        return WriteFailed;
    // A damaged message: what could be read is still there for a caller that wants it.
    m_path = m_copy->Path();
    switch (written) {
    case MailTextWrite::Cut:
        return Cut;
    case MailTextWrite::Unreadable:
        return Unreadable;
    default:
        return Ready;
    }
}

// Someone may have removed or replaced the copy since it was made: only the file still open
// here is rewritten, and a file put in its place is never removed.
bool CMessageFile::CopyIsOurs() const {
    struct stat open {}, named {};
    return m_copy && ::fstat(m_copy->Fd(), &open) == 0 &&
           ::lstat(m_copy->Path().c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

bool CMessageFile::Rewind(const std::string& scratchFolder) {
    return m_copyFolder == scratchFolder && CopyIsOurs() &&
           ::lseek(m_copy->Fd(), 0, SEEK_SET) == 0;
}

void CMessageFile::Close() {
    if (m_copy && !CopyIsOurs()) m_copy->Keep();
    m_copy.reset();
    m_copyFolder.clear();
}

CMessageFile::~CMessageFile() {
    Close();
}
