#pragma once
// Header text as the component reads it, with GMime's charsets: RFC 2047 encoded words decoded
// to UTF-8, each word on its own. (GMime 3.2 joins adjacent base64 words before decoding them,
// and loses the text after a word that ends in padding: "=?utf-8?b?...Q==?= =?utf-8?b?LmpwZw==?="
// would lose its ".jpg".)
#include <optional>
#include <string>
#include <string_view>

namespace extractor {

// platform::DecodeHeaderText with GMime's charset names and tables.
std::string DecodeHeaderText(std::string_view raw);

// Bytes in a charset as mail names it, as UTF-8; bytes that the charset cannot read are read
// as UTF-8 when valid, else as windows-1252.
std::string CharsetToUtf8(std::string_view bytes, std::string_view charset);

// The value of a parameter written plainly (not RFC 2231) in a header such as
// 'attachment; filename="a b.pdf"': unquoted, or nullopt when the parameter is not there.
// Names compare without regard to case.
std::optional<std::string> FindPlainParameter(std::string_view headerValue, std::string_view name);

} // namespace extractor
