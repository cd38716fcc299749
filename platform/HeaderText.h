#pragma once
// Mail header text as people read it: RFC 2047 encoded words decoded to UTF-8. Both the
// extractor component and the mailbox readers of the core show subjects and names, so the rule
// lives here; each brings the charset conversion it has.
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// Bytes in a charset as mail names it, as UTF-8.
using CharsetConverter =
    std::function<std::string(std::string_view bytes, std::string_view charset)>;

// The C library's iconv; bytes it cannot convert are read as UTF-8 when valid, else as
// windows-1252.
std::string IconvToUtf8(std::string_view bytes, std::string_view charset);

// Unfolds the text and decodes its encoded words ("=?charset?B|Q?...?="), also where they
// touch other text; blanks between two encoded words are dropped, and the bytes of adjacent
// words in one charset are joined before conversion, so a character split across words
// survives. Each word is decoded on its own: a word that ends in padding does not swallow the
// next one. Bytes outside encoded words are UTF-8 when they are valid UTF-8, else
// windows-1252. The result is valid UTF-8.
std::string DecodeHeaderText(std::string_view raw, const CharsetConverter& convert = IconvToUtf8);

} // namespace platform
