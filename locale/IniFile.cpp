#include "locale/IniFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"

int ParseDecimal(const std::string& text) {
    errno = 0;
    long v = std::strtol(text.c_str(), nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

namespace {

// Whether the file, once written, reads back as this key: a header line is "[" name "]" with
// every leading "[" and trailing "]" taken off.
bool KeyNameRoundTrips(const std::string& name) {
    return name.find_first_of("\r\n") == std::string::npos &&
           (name.empty() || (name.front() != '[' && name.back() != ']'));
}

// Whether "name=text" reads back as this value: one line, split at its first "=", and not
// mistaken for a header.
bool ValueRoundTrips(const std::string& name, const std::string& text) {
    if (name.find_first_of("\r\n=") != std::string::npos) return false;
    if (text.find_first_of("\r\n") != std::string::npos) return false;
    bool looksLikeHeader =
        !name.empty() && name.front() == '[' && !text.empty() && text.back() == ']';
    return !looksLikeHeader;
}

} // namespace

platform::Status CIniFile::Load() {
    using platform::StatusCode;
    struct stat st;
    if (stat(m_path.c_str(), &st) != 0) return platform::Status(StatusCode::Missing, "");
    std::string refusal;
    int fd = platform::OpenFileForReading(m_path, kMaxFileSize, &refusal);
    if (fd < 0)
        return platform::Status(refusal.empty() ? StatusCode::Missing : StatusCode::Refused,
                                refusal);
    std::string keyName;
    std::string line;
    bool cut = false;
    auto handleLine = [&](std::string& l) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l.empty()) return;
        if (l.front() == '[' && l.back() == ']') {
            size_t b = l.find_first_not_of('[');
            size_t e = l.find_last_not_of(']');
            keyName = (b == std::string::npos || e == std::string::npos || e < b)
                          ? std::string()
                          : l.substr(b, e - b + 1);
            return;
        }
        size_t eq = l.find('=');
        if (eq == std::string::npos) return; // not a value: skipped, the rest is still read
        Store(keyName, l.substr(0, eq), l.substr(eq + 1));
    };
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            char c = buf[i];
            if (c == '\n') {
                handleLine(line);
                line.clear();
                cut = false;
            } else if (!cut) {
                // Keep 2047 characters plus room for a CR that ends the line.
                if (line.size() < kMaxLine || (line.size() == kMaxLine && c == '\r')) {
                    line += c;
                } else {
                    cut = true;
                }
            }
        }
    }
    if (!line.empty()) handleLine(line);
    close(fd);
    return {};
}

platform::Status CIniFile::Save() {
    std::string out;
    for (size_t k = 0; k < m_keys.size(); ++k) {
        const Key& key = m_keys[k];
        if (key.values.empty()) continue;
        out += "[" + m_keyNames[k] + "]\r\n";
        for (size_t v = 0; v < key.values.size(); ++v)
            out += key.valueNames[v] + "=" + key.values[v] + "\r\n";
        out += "\r\n";
    }
    if (platform::ReplaceFile(m_path, out)) return {};
    return platform::Status(platform::StatusCode::Refused, "could not be written");
}

std::string CIniFile::GetValue(const std::string& keyName, const std::string& valueName) {
    int k = FindKey(keyName);
    if (k == -1) return {};
    int v = FindValue(k, valueName);
    if (v == -1) return {};
    return m_keys[static_cast<size_t>(k)].values[static_cast<size_t>(v)];
}

int CIniFile::GetValueInt(const std::string& keyName, const std::string& valueName) {
    return ParseDecimal(GetValue(keyName, valueName));
}

bool CIniFile::SetValue(const std::string& keyName, const std::string& valueName,
                        const std::string& text, bool create) {
    if (!KeyNameRoundTrips(keyName) || !ValueRoundTrips(valueName, text)) return false;
    return Store(keyName, valueName, text, create);
}

bool CIniFile::Store(const std::string& keyName, const std::string& valueName,
                     const std::string& text, bool create) {
    int k = FindKey(keyName);
    if (k == -1) {
        if (!create) return false;
        k = static_cast<int>(m_keys.size());
        m_keys.emplace_back();
        m_keyNames.push_back(keyName);
        m_keyIndex.emplace(keyName, k);
    }
    Key& key = m_keys[static_cast<size_t>(k)];
    int v = FindValue(k, valueName);
    if (v == -1) {
        if (!create) return false;
        v = static_cast<int>(key.values.size());
        key.values.emplace_back();
        key.valueNames.push_back(valueName);
        key.valueIndex.emplace(valueName, v);
    }
    key.values[static_cast<size_t>(v)] = text;
    return true;
}

bool CIniFile::SetValueInt(const std::string& keyName, const std::string& valueName, int number,
                           bool create) {
    return SetValue(keyName, valueName, std::to_string(number), create);
}

int CIniFile::FindKey(const std::string& keyName) const {
    auto it = m_keyIndex.find(keyName);
    return it == m_keyIndex.end() ? -1 : it->second;
}

int CIniFile::FindValue(int keyIndex, const std::string& valueName) const {
    if (keyIndex < 0 || static_cast<size_t>(keyIndex) >= m_keys.size()) return -1;
    const Key& key = m_keys[static_cast<size_t>(keyIndex)];
    auto it = key.valueIndex.find(valueName);
    return it == key.valueIndex.end() ? -1 : it->second;
}

size_t CIniFile::ValueCount(int keyIndex) const {
    if (keyIndex < 0 || static_cast<size_t>(keyIndex) >= m_keys.size()) return 0;
    return m_keys[static_cast<size_t>(keyIndex)].values.size();
}
