#pragma once
// Small text helpers on byte strings: ASCII case (other bytes, UTF-8 included, are kept) and
// trimming of white space (blank, tab, CR, LF, VT, FF).
#include <string>

namespace platform {

std::string ToLower(std::string s);
std::string ToUpper(std::string s);

std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
std::string Trim(const std::string& s);

} // namespace platform
