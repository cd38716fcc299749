#pragma once
// Small text helpers on byte strings: ASCII case (other bytes, UTF-8 included, are kept) and
// trimming of white space (blank, tab, CR, LF, VT, FF).
#include <string>
#include <string_view>

namespace platform {

std::string ToLower(std::string s);
std::string ToUpper(std::string s);

// Whether two texts are the same, or a text begins with a prefix, when ASCII letters are compared
// without their case (every other byte as it is).
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
std::string Trim(const std::string& s);

// Text as it may go to a terminal or into a listing: control characters (C0, DEL, and C1 as
// UTF-8) are written as escapes ("\t", "\n", "\r", "\x1b", "\u009b"), so a name cannot forge
// lines or fields nor send commands to the terminal. With keepLineBreaks, "\n" and "\r\n" stay
// as they are (for messages of several lines).
std::string Printable(const std::string& text, bool keepLineBreaks = false);

// Text with '%' and each byte of special written as "%XX" (upper-case hex), so that those bytes
// can part fields or names: "a/b%" with "/" gives "a%2Fb%25".
std::string PercentEscape(std::string_view text, std::string_view special);

} // namespace platform
