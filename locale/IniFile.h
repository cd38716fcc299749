#pragma once
// A small in-memory model of an ini-style file: keys (bracketed groups) holding named values.
// Names and texts are kept exactly as given: no trimming, case-sensitive lookups.
#include <string>
#include <vector>

class CIniFile {
public:
    CIniFile() = default;
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    void SetPath(const std::string& path) { m_path = path; }
    const std::string& GetPath() const { return m_path; }

    // Adds what the file holds to what the object holds; false when it could not be read.
    bool Load();
    // Writes the whole object; failures are not reported (GetLastError tells).
    void Save();

    std::string GetValue(const std::string& keyName, const std::string& valueName);
    int GetValueInt(const std::string& keyName, const std::string& valueName);
    bool SetValue(const std::string& keyName, const std::string& valueName, const std::string& text,
                  bool create);
    bool SetValueInt(const std::string& keyName, const std::string& valueName, int number,
                     bool create);
    int FindKey(const std::string& keyName) const;
    int FindValue(int keyIndex, const std::string& valueName) const;

    const std::string& GetLastError() const { return m_lastError; }
    size_t KeyCount() const { return m_keys.size(); }
    size_t ValueCount(int keyIndex) const;

    // Longest line the reader keeps; the rest of a longer line is dropped.
    static constexpr size_t kMaxLine = 2047;

private:
    struct Key {
        std::vector<std::string> values;
        std::vector<std::string> valueNames;
    };

    std::string m_path;
    std::vector<Key> m_keys;
    std::vector<std::string> m_keyNames;
    std::string m_lastError;
};

// The C library's decimal conversion: leading white space, optional sign, digits up to the
// first non-digit, 0 when there are none. Saturates instead of overflowing.
int ParseDecimal(const std::string& text);
