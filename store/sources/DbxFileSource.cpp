#include "store/sources/DbxFileSource.h"

#include <sys/stat.h>

#include "oe/DbxFormat.h"

namespace {

constexpr std::int64_t kFileTimeToUnix = 11644473600LL;

} // namespace

std::time_t FileTimeToTime(std::uint64_t fileTime) {
    return static_cast<std::time_t>(static_cast<std::int64_t>(fileTime / 10000000ULL) -
                                    kFileTimeToUnix);
}

platform::Status DbxFileSource::Open(const std::string& path) {
    Close();
    m_path = path;
    const platform::Status opened = m_store.Open(path);
    if (opened || opened.Code() == platform::StatusCode::Refused) return opened;
    return platform::Status(opened.Code(), "not a readable .dbx file (" + opened.Reason() + ")");
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
        m_item = m_store.GetItem(index, 0).Take();
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
    return m_store.WriteMessageText(*message, fd);
}

std::string DbxFileSource::MessageKey(int index) {
    const CDbxMessage* message = Message(index);
    if (!message || message->GetTextPosition() == -1) return {};
    return std::to_string(index) + "@" + std::to_string(message->GetTextPosition());
}

bool DbxFileSource::CheckStamp(const std::string& remembered, std::string& current) {
    struct stat st;
    current.clear();
    if (::stat(m_path.c_str(), &st) != 0) return false;
    current = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + " " +
              std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
              std::to_string(st.st_mtim.tv_nsec);
    return current == remembered;
}

std::uint64_t DbxLostMessages::Next(std::uint64_t after) const {
    // Chains start inside the file, whose positions a .dbx file keeps in 32 bits.
    return after > UINT32_MAX ? 0 : m_scan.NextStart(static_cast<std::uint32_t>(after));
}

std::string DbxLostMessages::Subject(std::uint64_t place) {
    return place > UINT32_MAX ? std::string()
                              : m_scan.ReadSubject(static_cast<std::uint32_t>(place));
}

MailTextWrite DbxLostMessages::WriteText(std::uint64_t place, int fd) {
    if (place > UINT32_MAX) return MailTextWrite::Unreadable;
    return m_scan.WriteText(static_cast<std::uint32_t>(place), fd);
}

namespace {

platform::Status IsDbxFile(const MailboxProbe& probe) {
    if (probe.IsFolder || probe.Head.size() < 4) return NotMine();
    const auto* b = reinterpret_cast<const unsigned char*>(probe.Head.data());
    const std::uint32_t first = b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t(b[3]) << 24;
    return first == dbx::kSignature0 ? platform::Status() : NotMine();
}

platform::Result<std::unique_ptr<IMailSource>> OpenDbxFile(const std::string& path) {
    auto source = std::make_unique<DbxFileSource>();
    if (platform::Status opened = source->Open(path); !opened) return opened;
    return std::unique_ptr<IMailSource>(std::move(source));
}

platform::Result<std::unique_ptr<ILostMessages>> OpenDbxLost(const std::string& path) {
    auto lost = std::make_unique<DbxLostMessages>();
    if (platform::Status opened = lost->Open(path); !opened) return opened;
    return std::unique_ptr<ILostMessages>(std::move(lost));
}

} // namespace

const MailSourceKind kDbxFileKind{"a .dbx file", false,   IsDbxFile,  OpenDbxFile,
                                  nullptr,       nullptr, OpenDbxLost};
