#include "engine/MailboxAccess.h"

#include <cstdint>
#include <unistd.h>

#include "engine/ExtractionRun.h"
#include "platform/FileSystem.h"
#include "platform/HeaderText.h"
#include "platform/Text.h"

namespace {

// Enough for any header block a mail program writes; the body is never read.
constexpr std::size_t kHeaderLimit = 256 * 1024;

std::string ReadHeaderBlock(int fd) {
    std::string data;
    char buffer[16 * 1024];
    while (data.size() < kHeaderLimit) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        data.append(buffer, static_cast<std::size_t>(got));
        std::size_t end = data.find("\n\r\n");
        if (end == std::string::npos) end = data.find("\n\n");
        if (end != std::string::npos) {
            data.resize(end + 1);
            break;
        }
    }
    return data;
}

// "Name <address>", "address (Name)" or a bare address.
void SplitSender(const std::string& from, MailHeader& header) {
    std::size_t open = from.find('<'), close = from.rfind('>');
    if (open != std::string::npos && close != std::string::npos && close > open) {
        header.Sender = platform::Trim(from.substr(open + 1, close - open - 1));
        std::string name = platform::Trim(from.substr(0, open));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        header.SenderName = name.empty() ? header.Sender : platform::DecodeHeaderText(name);
        return;
    }
    header.Sender = platform::Trim(from);
    header.SenderName = header.Sender;
}

void ParseHeaderBlock(const std::string& block, MailHeader& header) {
    // Unfolded fields: a line that starts with a blank continues the one before.
    std::string name, value;
    auto field = [&] {
        const std::string key = platform::ToLower(name);
        const std::string text = platform::Trim(value);
        if (key == "subject" && header.Subject.empty())
            header.Subject = platform::DecodeHeaderText(text);
        if (key == "from" && header.Sender.empty()) SplitSender(text, header);
        if (key == "date" && !header.Time) header.Time = ParseMailDate(text);
        name.clear();
        value.clear();
    };
    std::size_t pos = 0;
    while (pos < block.size()) {
        std::size_t end = block.find('\n', pos);
        if (end == std::string::npos) end = block.size();
        std::string line = block.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pos = end + 1;
        if (line.empty()) break; // the header ends at the first blank line
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            if (!name.empty()) value += " " + platform::Trim(line);
            continue;
        }
        if (!name.empty()) field();
        std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) continue;
        name = line.substr(0, colon);
        value = line.substr(colon + 1);
    }
    if (!name.empty()) field();
}

} // namespace

bool ReadEmlHeader(const std::string& path, MailHeader& header) {
    header = MailHeader{};
    int fd = platform::OpenFileForReading(path, UINT64_MAX);
    if (fd < 0) return false;
    const std::string block = ReadHeaderBlock(fd);
    close(fd);
    ParseHeaderBlock(block, header);
    return true;
}

bool ReadMailHeader(IMailSource& source, int index, MailHeader& header) {
    const std::string path = source.MessagePath(index);
    if (!path.empty()) return ReadEmlHeader(path, header);
    if (!source.ReadHeader(index, header)) return false;
    std::string block;
    if (source.ReadHeaderBlock(index, kHeaderLimit, block)) ParseHeaderBlock(block, header);
    return true;
}

std::unique_ptr<IMailSource> OpenMailSource(const std::string& path) {
    return OpenMailboxPath(path);
}
