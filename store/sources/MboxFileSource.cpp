#include "store/sources/MboxFileSource.h"

#include <cerrno>
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "platform/Hash.h"

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

std::string MboxFileSource::MessageKey(int index) {
    if (index < 0 || index >= Count()) return {};
    return std::to_string(m_reader.Offset(index)) + "-" + std::to_string(m_reader.End(index));
}

bool MboxFileSource::CheckStamp(const std::string& remembered, std::string& current) {
    current.clear();
    // "length hash": the file's first length bytes hash to hash.
    std::uint64_t length = 0, hash = 0;
    const bool hasOld = std::sscanf(remembered.c_str(), "%" SCNu64 " %" SCNx64, &length, &hash) == 2;
    platform::UniqueFd fd(platform::OpenFileForReading(m_path, UINT64_MAX));
    if (!fd.IsOpen()) return false;
    platform::CHash64 h;
    bool holds = hasOld && length == 0;
    char buffer[256 * 1024];
    for (;;) {
        std::size_t want = sizeof buffer;
        // The prefix that was read last time is hashed apart, so the two can be compared.
        if (hasOld && !holds && h.Length() < length)
            want = static_cast<std::size_t>(std::min<std::uint64_t>(want, length - h.Length()));
        const ssize_t got = ::read(fd.Get(), buffer, want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        h.Add(buffer, static_cast<std::size_t>(got));
        if (hasOld && !holds && h.Length() == length) holds = h.Value() == hash;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%" PRIu64 " %016" PRIx64, h.Length(), h.Value());
    current = text;
    return holds;
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
