#pragma once
// A small in-memory model of an ini-style file: keys (bracketed groups) holding named values.
// Names and texts are kept exactly as given: no trimming, case-sensitive lookups.
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Status.h"

class CIniFile {
public:
    CIniFile() = default;
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    void SetPath(const std::string& path) { m_path = path; }
    const std::string& GetPath() const { return m_path; }

    // Adds what the file holds to what the object holds. Missing (no reason) when there is no
    // file; Refused, with the reason ("is a fifo, not a file"), for a fifo, a device, a folder
    // or a file over kMaxFileSize, which are not read at all, and for one that cannot be opened.
    platform::Status Load();
    // Writes the whole object, replacing the file at once (a link keeps pointing at it, the
    // file keeps its permissions); on failure (Refused, "could not be written") the old file
    // stays as it was.
    platform::Status Save();

    std::string GetValue(const std::string& keyName, const std::string& valueName);
    int GetValueInt(const std::string& keyName, const std::string& valueName);
    // GetValue answers "" for a key or value that is not there.
    // False, and nothing stored, also for a name or text the file could not give back as it
    // is: a line break anywhere, "=" in a value name, brackets that would make a header.
    bool SetValue(const std::string& keyName, const std::string& valueName, const std::string& text,
                  bool create);
    bool SetValueInt(const std::string& keyName, const std::string& valueName, int number,
                     bool create);
    int FindKey(const std::string& keyName) const;
    int FindValue(int keyIndex, const std::string& valueName) const;

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
};

// The C library's decimal conversion: leading white space, optional sign, digits up to the
// first non-digit, 0 when there are none. Saturates instead of overflowing.
int ParseDecimal(const std::string& text);
