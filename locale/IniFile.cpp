#include "locale/IniFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

int ParseDecimal(const std::string& text) {
    errno = 0;
    long v = std::strtol(text.c_str(), nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

bool CIniFile::Load() {
    struct stat st;
    if (stat(m_path.c_str(), &st) != 0) return false;
    std::FILE* f = std::fopen(m_path.c_str(), "rb");
    if (!f || S_ISDIR(st.st_mode)) {
        if (f) std::fclose(f);
        m_lastError = "Unable to open ini file.";
        return false;
    }
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
        SetValue(keyName, l.substr(0, eq), l.substr(eq + 1), true);
    };
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        for (size_t i = 0; i < n; ++i) {
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
    std::fclose(f);
    return true;
}

void CIniFile::Save() {
    std::string out;
    for (size_t k = 0; k < m_keys.size(); ++k) {
        const Key& key = m_keys[k];
        if (key.values.empty()) continue;
        out += "[" + m_keyNames[k] + "]\r\n";
        for (size_t v = 0; v < key.values.size(); ++v)
            out += key.valueNames[v] + "=" + key.values[v] + "\r\n";
        out += "\r\n";
    }
    // Written beside the target and renamed over it, so a crash in the middle of a save
    // leaves the old file whole instead of a truncated one.
    std::string tmp = m_path + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) {
        m_lastError = "Unable to open ini file.";
        return;
    }
    fchmod(fd, 0644);
    size_t done = 0;
    bool ok = true;
    while (done < out.size()) {
        ssize_t w = write(fd, out.data() + done, out.size() - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        done += static_cast<size_t>(w);
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (!ok || std::rename(tmp.c_str(), m_path.c_str()) != 0) {
        unlink(tmp.c_str());
        m_lastError = "Unable to write ini file.";
    }
}

std::string CIniFile::GetValue(const std::string& keyName, const std::string& valueName) {
    int k = FindKey(keyName);
    if (k == -1) {
        m_lastError = "Unable to locate specified key.";
        return {};
    }
    int v = FindValue(k, valueName);
    if (v == -1) {
        m_lastError = "Unable to locate specified value.";
        return {};
    }
    return m_keys[static_cast<size_t>(k)].values[static_cast<size_t>(v)];
}

int CIniFile::GetValueInt(const std::string& keyName, const std::string& valueName) {
    return ParseDecimal(GetValue(keyName, valueName));
}

bool CIniFile::SetValue(const std::string& keyName, const std::string& valueName,
                        const std::string& text, bool create) {
    int k = FindKey(keyName);
    if (k == -1) {
        if (!create) return false;
        m_keys.emplace_back();
        m_keyNames.push_back(keyName);
        k = static_cast<int>(m_keys.size()) - 1;
    }
    Key& key = m_keys[static_cast<size_t>(k)];
    int v = FindValue(k, valueName);
    if (v == -1) {
        if (!create) return false;
        key.values.emplace_back();
        key.valueNames.push_back(valueName);
        v = static_cast<int>(key.values.size()) - 1;
    }
    key.values[static_cast<size_t>(v)] = text;
    return true;
}

bool CIniFile::SetValueInt(const std::string& keyName, const std::string& valueName, int number,
                           bool create) {
    return SetValue(keyName, valueName, std::to_string(number), create);
}

int CIniFile::FindKey(const std::string& keyName) const {
    for (size_t i = 0; i < m_keyNames.size(); ++i)
        if (m_keyNames[i] == keyName) return static_cast<int>(i);
    return -1;
}

int CIniFile::FindValue(int keyIndex, const std::string& valueName) const {
    if (keyIndex < 0 || static_cast<size_t>(keyIndex) >= m_keys.size()) return -1;
    const Key& key = m_keys[static_cast<size_t>(keyIndex)];
    for (size_t i = 0; i < key.valueNames.size(); ++i)
        if (key.valueNames[i] == valueName) return static_cast<int>(i);
    return -1;
}

size_t CIniFile::ValueCount(int keyIndex) const {
    if (keyIndex < 0 || static_cast<size_t>(keyIndex) >= m_keys.size()) return 0;
    return m_keys[static_cast<size_t>(keyIndex)].values.size();
}
