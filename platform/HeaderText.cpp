#include "platform/HeaderText.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <vector>

#include "platform/Text.h"
#include "platform/Utf8.h"

namespace platform {

namespace {

int Base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// One word's base64: letters outside the alphabet skipped, padding ends it, an unfinished
// last group still gives its bytes.
std::string DecodeB(std::string_view text) {
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (char ch : text) {
        if (ch == '=') break;
        int v = Base64Value(static_cast<unsigned char>(ch));
        if (v < 0) continue;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0;
            count = 0;
        }
    }
    if (count == 2) out += static_cast<char>(bits >> 4);
    if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2);
    }
    return out;
}

std::string DecodeQ(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

struct Token {
    bool encoded = false;
    std::string charset; // of an encoded word
    std::string bytes;   // decoded bytes of an encoded word, raw text otherwise
};

// An encoded word at text[pos] ("=?" there): its end (past "?=") and token, or 0.
size_t ParseEncodedWord(std::string_view text, size_t pos, Token& token) {
    size_t q1 = text.find('?', pos + 2);
    if (q1 == std::string_view::npos || q1 == pos + 2 || q1 + 2 >= text.size()) return 0;
    char enc = text[q1 + 1];
    if (text[q1 + 2] != '?') return 0;
    if (enc != 'B' && enc != 'b' && enc != 'Q' && enc != 'q') return 0;
    size_t end = text.find("?=", q1 + 3);
    if (end == std::string_view::npos) return 0;
    std::string_view charset = text.substr(pos + 2, q1 - pos - 2);
    std::string_view payload = text.substr(q1 + 3, end - q1 - 3);
    for (char c : charset)
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return 0;
    for (char c : payload)
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return 0;
    if (size_t star = charset.find('*'); star != std::string_view::npos)
        charset = charset.substr(0, star); // RFC 2231 language suffix
    token.encoded = true;
    token.charset.assign(charset);
    token.bytes = enc == 'B' || enc == 'b' ? DecodeB(payload) : DecodeQ(payload);
    return end + 2;
}

bool IsBlank(std::string_view s) {
    for (char c : s)
        if (c != ' ' && c != '\t') return false;
    return true;
}

bool SameCharset(const std::string& a, const std::string& b) {
    return ToLower(a) == ToLower(b);
}

} // namespace

std::string IconvToUtf8(std::string_view bytes, std::string_view charset) {
    const std::string name = ToLower(std::string(charset));
    if (name == "utf-8" || name == "utf8" || name == "us-ascii") return LegacyTextToUtf8(bytes);
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return LegacyTextToUtf8(bytes);
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* put = out.data();
    std::size_t outLeft = out.size();
    const std::size_t done = iconv(cd, &in, &inLeft, &put, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    if (done == static_cast<std::size_t>(-1) || inLeft != 0 || !IsValidUtf8(out))
        return LegacyTextToUtf8(bytes);
    return out;
}

std::string DecodeHeaderText(std::string_view raw, const CharsetConverter& convert) {
    // Unfold: the line breaks go, the blank that starts each continuation line stays.
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '\r' || c == '\n') continue;
        text += c;
    }

    std::vector<Token> tokens;
    size_t i = 0, literalStart = 0;
    auto flushLiteral = [&](size_t end) {
        if (end > literalStart)
            tokens.push_back({false, {}, text.substr(literalStart, end - literalStart)});
    };
    while (i < text.size()) {
        size_t at = text.find("=?", i);
        if (at == std::string::npos) break;
        Token token;
        size_t end = ParseEncodedWord(text, at, token);
        if (end == 0) {
            i = at + 2;
            continue;
        }
        flushLiteral(at);
        tokens.push_back(std::move(token));
        i = literalStart = end;
    }
    flushLiteral(text.size());

    // Blanks between encoded words go; adjacent words of one charset share their bytes.
    std::vector<Token> merged;
    for (size_t k = 0; k < tokens.size(); ++k) {
        Token& t = tokens[k];
        if (!t.encoded && IsBlank(t.bytes) && k > 0 && k + 1 < tokens.size() &&
            tokens[k - 1].encoded && tokens[k + 1].encoded)
            continue;
        if (t.encoded && !merged.empty() && merged.back().encoded &&
            SameCharset(merged.back().charset, t.charset)) {
            merged.back().bytes += t.bytes;
            continue;
        }
        merged.push_back(std::move(t));
    }

    std::string out;
    for (const auto& t : merged)
        out += t.encoded ? convert(t.bytes, t.charset) : platform::LegacyTextToUtf8(t.bytes);
    return out;
}

} // namespace platform
