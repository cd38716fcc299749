#include "store/MailHeader.h"

#include <cctype>
#include <cstdint>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "platform/HeaderText.h"
#include "platform/Text.h"

namespace {

int MonthFromName(const std::string& word) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    if (word.size() < 3) return -1;
    std::string w = platform::ToLower(word.substr(0, 3));
    for (int m = 0; m < 12; ++m)
        if (w == kMonths[m]) return m;
    return -1;
}

std::string ReadHeaderBlock(int fd) {
    std::string data;
    char buffer[16 * 1024];
    while (data.size() < kMailHeaderLimit) {
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

} // namespace

void ParseMailHeaderBlock(const std::string& block, MailHeader& header) {
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

bool ReadMailFileHeader(const std::string& path, MailHeader& header) {
    header = MailHeader{};
    platform::UniqueFd fd(platform::OpenFileForReading(path, UINT64_MAX));
    if (!fd.IsOpen()) return false;
    ParseMailHeaderBlock(ReadHeaderBlock(fd.Get()), header);
    return true;
}

std::optional<std::time_t> ParseMailDate(const std::string& dateText) {
    if (dateText.size() <= 5) return std::nullopt;
    const std::string s = dateText.substr(5, 20);
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
    };
    auto number = [&](size_t maxDigits, int& out) {
        size_t start = i;
        out = 0;
        while (i < s.size() && i - start < maxDigits &&
               std::isdigit(static_cast<unsigned char>(s[i])))
            out = out * 10 + (s[i++] - '0');
        return i > start;
    };
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    skipBlanks();
    if (!number(2, day)) return std::nullopt;
    skipBlanks();
    size_t wordStart = i;
    while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i])))
        ++i;
    int month = MonthFromName(s.substr(wordStart, i - wordStart));
    if (month < 0) return std::nullopt;
    skipBlanks();
    size_t yearStart = i;
    if (!number(4, year)) return std::nullopt;
    if (i - yearStart <= 2) year += year < 30 ? 2000 : 1900;
    skipBlanks();
    if (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        if (!number(2, hour) || i >= s.size() || s[i] != ':') return std::nullopt;
        ++i;
        if (!number(2, minute)) return std::nullopt;
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!number(2, second)) return std::nullopt;
        }
    }
    if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 || year < 1601)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    std::tm check = tm;
    std::time_t t = std::mktime(&check);
    // mktime rolls 31 Feb over into March; such a date is no date.
    if (check.tm_mday != day || check.tm_mon != month) return std::nullopt;
    return t;
}
