#include "components/extractor/AttachmentNames.h"

#include <array>
#include <cstdint>

#include "platform/Text.h"
#include "platform/Utf8.h"

namespace extractor {

namespace {

bool IsControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x200E || cp == 0x200F ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069) || cp == 0xFEFF;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Position of the extension's dot, or npos: the last dot that is not the first character.
size_t ExtensionDot(std::string_view name) {
    size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string_view::npos : dot;
}

// Cuts s to at most n bytes without splitting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view s, size_t n) {
    if (s.size() <= n) return s;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return s.substr(0, n);
}

} // namespace

std::string SanitizeFileName(std::string_view raw) {
    // Valid UTF-8 without control characters; "\" is a separator as on the sender's system.
    std::string clean;
    clean.reserve(raw.size());
    for (size_t i = 0; i < raw.size();) {
        char32_t cp = 0;
        size_t len = platform::DecodeUtf8(raw, i, cp);
        if (len == 0) {
            clean += '_';
            ++i;
            continue;
        }
        if (cp == '\\')
            clean += '/';
        else if (cp == ':' || cp == '|')
            clean += '_';
        else if (!IsControl(cp))
            clean.append(raw.substr(i, len));
        i += len;
    }
    // The last path component only: "../../x" and "/etc/passwd" give "x" and "passwd".
    size_t slash = clean.rfind('/');
    std::string_view name(clean);
    if (slash != std::string::npos) name.remove_prefix(slash + 1);
    // No hidden files, no "." or "..", no blanks the callers would trim away.
    while (!name.empty() && (name.front() == '.' || name.front() == ' '))
        name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    if (name.empty()) return {};
    std::string result(name);
    if (platform::StartsWithNoCase(result, "ulk") || platform::StartsWithNoCase(result, "kestl"))
        result.insert(0, "_");
    return LimitNameLength(result, kMaxBaseNameBytes);
}

std::string LimitNameLength(std::string_view name, size_t maxBytes) {
    if (name.size() <= maxBytes) return std::string(name);
    std::string_view ext;
    if (size_t dot = ExtensionDot(name); dot != std::string_view::npos && name.size() - dot <= 32)
        ext = name.substr(dot);
    if (ext.size() >= maxBytes) ext = {};
    std::string_view stem =
        CutUtf8(name.substr(0, name.size() - ext.size()), maxBytes - ext.size());
    std::string out(stem);
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    if (out.empty()) out = "_";
    return out + std::string(ext);
}

std::string ExtensionForContentType(std::string_view mediaType, std::string_view subType) {
    struct Entry {
        const char* type;
        const char* ext;
    };
    static constexpr std::array<Entry, 46> kTable{{
        {"image/jpeg", ".jpg"},
        {"image/jpg", ".jpg"},
        {"image/pjpeg", ".jpg"},
        {"image/png", ".png"},
        {"image/x-png", ".png"},
        {"image/gif", ".gif"},
        {"image/bmp", ".bmp"},
        {"image/x-bmp", ".bmp"},
        {"image/x-ms-bmp", ".bmp"},
        {"image/tiff", ".tif"},
        {"image/x-pcx", ".pcx"},
        {"image/webp", ".webp"},
        {"image/svg+xml", ".svg"},
        {"image/x-icon", ".ico"},
        {"image/heic", ".heic"},
        {"text/plain", ".txt"},
        {"text/html", ".htm"},
        {"text/csv", ".csv"},
        {"text/xml", ".xml"},
        {"text/calendar", ".ics"},
        {"text/x-vcard", ".vcf"},
        {"text/vcard", ".vcf"},
        {"text/richtext", ".rtx"},
        {"text/enriched", ".txt"},
        {"application/pdf", ".pdf"},
        {"application/msword", ".doc"},
        {"application/vnd.ms-excel", ".xls"},
        {"application/vnd.ms-powerpoint", ".ppt"},
        {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", ".docx"},
        {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", ".xlsx"},
        {"application/vnd.openxmlformats-officedocument.presentationml.presentation", ".pptx"},
        {"application/rtf", ".rtf"},
        {"application/zip", ".zip"},
        {"application/x-zip-compressed", ".zip"},
        {"application/gzip", ".gz"},
        {"application/x-gzip", ".gz"},
        {"application/postscript", ".ps"},
        {"application/ms-tnef", ".dat"},
        {"application/vnd.ms-tnef", ".dat"},
        {"application/pgp-signature", ".asc"},
        {"application/pkcs7-signature", ".p7s"},
        {"application/x-pkcs7-signature", ".p7s"},
        {"audio/basic", ".au"},
        {"audio/mpeg", ".mp3"},
        {"audio/x-wav", ".wav"},
        {"video/mpeg", ".mpg"},
    }};
    std::string type;
    for (char c : mediaType)
        type += Lower(c);
    type += '/';
    for (char c : subType)
        type += Lower(c);
    for (const auto& e : kTable)
        if (type == e.type) return e.ext;
    if (type == "message/rfc822") return ".eml";
    return ".bin";
}

std::string GeneratedFileName(unsigned n, std::string_view mediaType, std::string_view subType) {
    return "part" + std::to_string(n) + ExtensionForContentType(mediaType, subType);
}

bool IsReservedName(std::string_view name) {
    return platform::EqualsNoCase(name, "report.htm") || platform::EqualsNoCase(name, "report") ||
           platform::EqualsNoCase(name, "process");
}

std::string NumberedName(std::string_view name, unsigned k) {
    size_t dot = ExtensionDot(name);
    std::string_view stem = dot == std::string_view::npos ? name : name.substr(0, dot);
    std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
    return std::string(stem) + " (" + std::to_string(k) + ")" + std::string(ext);
}

std::string CleanFieldText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        size_t len = platform::DecodeUtf8(text, i, cp);
        if (len == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD
            ++i;
            continue;
        }
        if (cp == '|')
            out += "\xC2\xA6"; // U+00A6 broken bar: the answer splits at "|"
        else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
            out += ' ';
        else
            out.append(text.substr(i, len));
        i += len;
    }
    size_t b = out.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    size_t e = out.find_last_not_of(' ');
    return out.substr(b, e - b + 1);
}

} // namespace extractor
