#include "components/extractor/HeaderText.h"

#include <vector>

#include "components/extractor/GMimeSetup.h"
#include "platform/Utf8.h"

namespace extractor {

int Base64Rank(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

namespace {

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
        int v = Base64Rank(static_cast<unsigned char>(ch));
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
    return g_ascii_strcasecmp(a.c_str(), b.c_str()) == 0;
}

} // namespace

std::string CharsetToUtf8(std::string_view bytes, std::string_view charset) {
    std::string name(charset);
    if (g_ascii_strcasecmp(name.c_str(), "utf-8") == 0 ||
        g_ascii_strcasecmp(name.c_str(), "utf8") == 0 ||
        g_ascii_strcasecmp(name.c_str(), "us-ascii") == 0)
        return platform::LegacyTextToUtf8(bytes);
    SharedParserOptions(); // GMime's charset tables
    const char* iconvName = g_mime_charset_iconv_name(name.c_str());
    if (iconvName) {
        gsize written = 0;
        GError* error = nullptr;
        gchar* converted = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                                     iconvName, nullptr, &written, &error);
        if (converted) {
            std::string out(converted, written);
            g_free(converted);
            if (platform::IsValidUtf8(out)) return out;
        }
        if (error) g_error_free(error);
    }
    return platform::LegacyTextToUtf8(bytes);
}

std::optional<std::string> FindPlainParameter(std::string_view value, std::string_view name) {
    size_t i = value.find(';');
    while (i != std::string_view::npos && i < value.size()) {
        ++i; // past ';'
        while (i < value.size() &&
               (value[i] == ' ' || value[i] == '\t' || value[i] == '\r' || value[i] == '\n'))
            ++i;
        size_t eq = i;
        while (eq < value.size() && value[eq] != '=' && value[eq] != ';')
            ++eq;
        if (eq >= value.size()) return std::nullopt;
        std::string_view key = value.substr(i, eq - i);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
            key.remove_suffix(1);
        if (value[eq] == ';') {
            i = eq;
            continue;
        }
        size_t v = eq + 1;
        while (v < value.size() &&
               (value[v] == ' ' || value[v] == '\t' || value[v] == '\r' || value[v] == '\n'))
            ++v;
        std::string result;
        size_t next;
        if (v < value.size() && value[v] == '"') {
            size_t k = v + 1;
            for (; k < value.size() && value[k] != '"'; ++k) {
                if (value[k] == '\\' && k + 1 < value.size()) ++k;
                if (value[k] != '\r' && value[k] != '\n') result += value[k];
            }
            next = value.find(';', k);
        } else {
            next = value.find(';', v);
            std::string_view token =
                value.substr(v, next == std::string_view::npos ? std::string_view::npos : next - v);
            while (!token.empty() && (token.back() == ' ' || token.back() == '\t' ||
                                      token.back() == '\r' || token.back() == '\n'))
                token.remove_suffix(1);
            result.assign(token);
        }
        if (key.size() == name.size() &&
            g_ascii_strncasecmp(key.data(), name.data(), name.size()) == 0)
            return result;
        i = next;
    }
    return std::nullopt;
}

std::string DecodeHeaderText(std::string_view raw) {
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
        out += t.encoded ? CharsetToUtf8(t.bytes, t.charset) : platform::LegacyTextToUtf8(t.bytes);
    return out;
}

} // namespace extractor
