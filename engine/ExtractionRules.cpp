#include "engine/ExtractionRules.h"

#include <cstring>
#include <glib.h>

#include "platform/Text.h"

bool IsNameWithinFolder(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string CleanFolderName(const std::string& folderName) {
    std::string name = folderName;
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    for (char& c : name) {
        switch (c) {
        case ':':
        case '.':
        case ',':
        case '!':
        case '?':
        case '"':
        case ' ':
        case '\\':
        case '/':
            c = '-';
            break;
        case '<':
            c = '(';
            break;
        case '>':
            c = ')';
            break;
        default:
            break;
        }
    }
    return name;
}

std::string SubDirectoryName(const std::string& folderName) {
    std::string name = CleanFolderName(folderName);
    // A name longer than a file system takes would leave the folder without a directory; it is
    // cut (at a character boundary of UTF-8 text), with room left for a number after it.
    if (name.size() > kMaxSubDirectoryName) {
        std::size_t cut = kMaxSubDirectoryName;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    const std::string lower = platform::ToLower(name);
    if (name.empty() || lower == "report" || lower == "process") return "_" + name;
    return name;
}

namespace {

std::string FoldCase(const std::string& text) {
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        return platform::ToLower(text);
    gchar* folded = g_utf8_casefold(text.data(), static_cast<gssize>(text.size()));
    std::string out = folded ? folded : "";
    g_free(folded);
    return out;
}

} // namespace

bool SubjectContains(const std::string& subject, const std::string& keyword) {
    return FoldCase(subject).find(FoldCase(platform::Trim(keyword))) != std::string::npos;
}

std::string StripForwardPrefix(const std::string& subject) {
    size_t start = subject.find_first_not_of(' ');
    if (start == std::string::npos) return "";
    std::string s = subject.substr(start);
    std::string lower = platform::ToLower(s);
    for (const char* prefix : {"fwd:", "fw:", "fwd", "fw"}) {
        if (lower.rfind(prefix, 0) == 0) {
            s.erase(0, std::strlen(prefix));
            break;
        }
    }
    start = s.find_first_not_of(' ');
    return start == std::string::npos ? "" : s.substr(start);
}
