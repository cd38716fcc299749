#pragma once
// Reads and writes small ini files the way the language files and the language choice file
// expect: section and key names match without regard to case, names and values are trimmed of
// blanks, one pair of enclosing quotes is removed, a missing or empty file gives the default.
#include <string>

#include "platform/Status.h"

namespace profile {

// Longest value handed back, in bytes (a longer one is cut at a character boundary).
inline constexpr size_t kMaxValue = 1023;

std::string GetString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& defaultValue = {});
// The leading decimal number of the value; the default when the key is missing or empty.
int GetInt(const std::string& file, const std::string& section, const std::string& key,
           int defaultValue);
// Replaces or adds the key, creating the section and the file as needed; keeps every other
// line. Refused, with the reason, when the file could not be written ("could not be written"),
// or is there but could not be read (a fifo, a device, a file too large to be one of these):
// it is then left as it was.
platform::Status WriteString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& value);

} // namespace profile
