#pragma once
// A small in-memory model of an ini-style file: keys (bracketed groups) holding named values.
// Names and texts are kept exactly as given: no trimming, case-sensitive lookups.
#include <string>
#include <unordered_map>
#include <vector>

class CIniFile {
public:
    CIniFile() = default;
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    void SetPath(const std::string& path) { m_path = path; }
    const std::string& GetPath() const { return m_path; }

    // Adds what the file holds to what the object holds; false when it could not be read. A
    // fifo, a device, a folder or a file over kMaxFileSize is not read at all.
    bool Load();
    // Writes the whole object, replacing the file at once (a link keeps pointing at it, the
    // file keeps its permissions); on failure (false) the old file stays as it was and
    // GetLastError tells.
    bool Save();

    std::string GetValue(const std::string& keyName, const std::string& valueName);
    int GetValueInt(const std::string& keyName, const std::string& valueName);
    // False, and nothing stored, also for a name or text the file could not give back as it
    // is: a line break anywhere, "=" in a value name, brackets that would make a header.
    bool SetValue(const std::string& keyName, const std::string& valueName, const std::string& text,
                  bool create);
    bool SetValueInt(const std::string& keyName, const std::string& valueName, int number,
                     bool create);
    int FindKey(const std::string& keyName) const;
    int FindValue(int keyIndex, const std::string& valueName) const;

    const std::string& GetLastError() const { return m_lastError; }
    // Why the last Load could not open a file that is there ("is a fifo, not a file"); empty
    // when it read the file or there was none.
    const std::string& GetOpenRefusal() const { return m_openRefusal; }
    size_t KeyCount() const { return m_keys.size(); }
    size_t ValueCount(int keyIndex) const;

    // Longest line the reader keeps; the rest of a longer line is dropped.
    static constexpr size_t kMaxLine = 2047;
    // Largest file Load reads; the settings file is a few hundred bytes.
    static constexpr size_t kMaxFileSize = 1024 * 1024;

private:
    // SetValue without the check: what Load reads is stored as it came.
    bool Store(const std::string& keyName, const std::string& valueName, const std::string& text,
               bool create = true);

    struct Key {
        std::vector<std::string> values;
        std::vector<std::string> valueNames;
        std::unordered_map<std::string, int> valueIndex; // name -> position
    };

    std::string m_path;
    std::vector<Key> m_keys;
    std::vector<std::string> m_keyNames;
    // Lookups by name, so that loading a file is linear in its size.
    std::unordered_map<std::string, int> m_keyIndex;
    std::string m_lastError;
    std::string m_openRefusal;
};

// The C library's decimal conversion: leading white space, optional sign, digits up to the
// first non-digit, 0 when there are none. Saturates instead of overflowing.
int ParseDecimal(const std::string& text);
