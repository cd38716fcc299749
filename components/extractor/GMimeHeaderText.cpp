#include "components/extractor/GMimeHeaderText.h"

#include "components/extractor/GMimeSetup.h"
#include "platform/HeaderText.h"
#include "platform/Text.h"
#include "platform/Utf8.h"

namespace extractor {

std::string CharsetToUtf8(std::string_view bytes, std::string_view charset) {
    std::string name(charset);
    if (platform::EqualsNoCase(name, "utf-8") || platform::EqualsNoCase(name, "utf8") ||
        platform::EqualsNoCase(name, "us-ascii"))
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
        if (platform::EqualsNoCase(key, name)) return result;
        i = next;
    }
    return std::nullopt;
}

std::string DecodeHeaderText(std::string_view raw) {
    return platform::DecodeHeaderText(raw, CharsetToUtf8);
}

} // namespace extractor
