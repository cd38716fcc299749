#include "locale/ProfileFile.h"

#include <cctype>
#include <cstdint>
#include <optional>
#include <sstream>
#include <vector>

#include "locale/IniFile.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/Text.h"

namespace profile {

namespace {

// Language files are a few kilobytes; anything far beyond that is not one.
constexpr std::uint64_t kMaxFileSize = 4 * 1024 * 1024;

// The file's lines (none when there is no file yet); Refused when a file is there but was not
// read, so that a rewrite does not replace what it could not see.
platform::Result<std::vector<std::string>> ReadLines(const std::string& file) {
    std::vector<std::string> lines;
    std::string data, why;
    if (!platform::ReadSmallFile(file, kMaxFileSize, data, &why)) {
        if (why.empty()) return lines; // no file yet
        platform::NoteRefusedFile(file, why, "not read");
        return platform::Status(platform::StatusCode::Refused, why);
    }
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);
    std::string line;
    std::istringstream stream(data);
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The section name of a "[name]" line.
std::optional<std::string> SectionOf(const std::string& line) {
    std::string t = platform::Trim(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    size_t close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return platform::Trim(t.substr(1, close - 1));
}

// The key and value of a "key=value" line.
bool SplitKey(const std::string& line, std::string& key, std::string& value) {
    std::string t = platform::TrimLeft(line);
    if (t.empty() || t[0] == ';') return false;
    size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    key = platform::Trim(t.substr(0, eq));
    value = platform::Trim(t.substr(eq + 1));
    return true;
}

std::string CleanValue(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    if (v.size() > kMaxValue) {
        size_t cut = kMaxValue;
        while (cut > 0 && (static_cast<unsigned char>(v[cut]) & 0xC0) == 0x80)
            --cut;
        v.resize(cut);
    }
    return v;
}

std::optional<std::string> Find(const std::string& file, const std::string& section,
                                const std::string& key) {
    bool inSection = false;
    for (const std::string& line : ReadLines(file).Take()) {
        if (auto name = SectionOf(line)) {
            inSection = platform::EqualsNoCase(*name, section);
            continue;
        }
        std::string k, v;
        if (inSection && SplitKey(line, k, v) && platform::EqualsNoCase(k, key))
            return CleanValue(v);
    }
    return std::nullopt;
}

} // namespace

std::string GetString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& defaultValue) {
    auto v = Find(file, section, key);
    return v ? *v : defaultValue;
}

int GetInt(const std::string& file, const std::string& section, const std::string& key,
           int defaultValue) {
    auto v = Find(file, section, key);
    if (!v || v->empty()) return defaultValue;
    return ParseDecimal(*v);
}

platform::Status WriteString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& value) {
    platform::Result<std::vector<std::string>> read = ReadLines(file);
    if (!read) return read.GetStatus();
    std::vector<std::string>& lines = read.Value();
    std::string entry = key + "=" + value;
    bool inSection = false, done = false;
    size_t insertAt = std::string::npos; // after the last key line of the section
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        if (auto name = SectionOf(lines[i])) {
            if (inSection) break;
            inSection = platform::EqualsNoCase(*name, section);
            if (inSection) insertAt = i + 1;
            continue;
        }
        std::string k, v;
        if (!inSection || !SplitKey(lines[i], k, v)) continue;
        insertAt = i + 1;
        if (platform::EqualsNoCase(k, key)) {
            lines[i] = entry;
            done = true;
        }
    }
    if (!done) {
        if (insertAt == std::string::npos) {
            lines.push_back("[" + section + "]");
            lines.push_back(entry);
        } else {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
        }
    }
    std::string text;
    for (const std::string& l : lines)
        text += l + "\r\n";
    if (!platform::ReplaceFile(file, text))
        return platform::Status(platform::StatusCode::Refused, "could not be written");
    return {};
}

} // namespace profile
