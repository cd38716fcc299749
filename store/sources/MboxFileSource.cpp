#include "store/sources/MboxFileSource.h"

bool MboxFileSource::Open(const std::string& path, std::string* why) {
    m_path = path;
    return m_reader.Open(path, why);
}

bool MboxFileSource::ReadHeader(int index, MailHeader& header) {
    header = MailHeader{};
    if (index < 0 || index >= Count()) return false;
    std::string block;
    if (m_reader.ReadHeaderBlock(index, kMailHeaderLimit, block))
        ParseMailHeaderBlock(block, header);
    return true;
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

std::string MboxFileSource::Describe(int index) const {
    return m_path + ", message " + std::to_string(index + 1) + " (at byte " +
           std::to_string(m_reader.Offset(index)) + ")";
}

namespace {

bool IsMboxFile(const MailboxProbe& probe, std::string&) {
    return !probe.IsFolder && (probe.Size == 0 || CMboxReader::LooksLikeMbox(probe.Path));
}

std::unique_ptr<IMailSource> OpenMboxFile(const std::string& path, std::string& why) {
    auto source = std::make_unique<MboxFileSource>();
    if (!source->Open(path, &why)) return nullptr;
    return source;
}

} // namespace

const MailSourceKind kMboxFileKind{"an mbox file", false, IsMboxFile, OpenMboxFile};
