#pragma once
// UTF-8 and UTF-16 conversion, in one place for the dispatch layer, the menu template and the
// extractor's name rules.
#include <string>
#include <string_view>

namespace platform {

// Decodes one character at s[i] strictly (no overlong forms, no surrogates); returns its length
// in bytes, or 0 when the bytes there are not valid UTF-8.
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp);
void AppendUtf8(std::string& out, char32_t cp);

// Bytes that are not valid UTF-8 travel as the lone surrogates U+DC80..U+DCFF, so a file name
// with stray bytes survives the round trip unchanged.
std::u16string ToUtf16(std::string_view utf8);
std::string FromUtf16(std::u16string_view utf16);

bool IsValidUtf8(std::string_view s);
// Text stored by older Windows programs (the .dbx index, undeclared 8-bit headers): kept when it
// is already valid UTF-8, otherwise read as Windows-1252, the code page such stores were
// written in here.
std::string Windows1252ToUtf8(std::string_view bytes);
std::string LegacyTextToUtf8(std::string_view bytes);

} // namespace platform
