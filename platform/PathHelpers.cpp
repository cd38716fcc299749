#include "platform/PathHelpers.h"

#include <cstdlib>
#include <vector>

namespace platform {

std::string Unquote(const std::string& s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

std::string ExpandEnvironmentStrings(const std::string& s) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '%') {
            size_t end = s.find('%', i + 1);
            if (end != std::string::npos && end > i + 1) {
                std::string name = s.substr(i + 1, end - i - 1);
                if (const char* v = std::getenv(name.c_str())) {
                    out += v;
                    i = end + 1;
                    continue;
                }
            }
        }
        out += s[i++];
    }
    return out;
}

std::string CanonicalizePath(const std::string& s) {
    bool absolute = !s.empty() && s[0] == '/';
    std::vector<std::string> parts;
    size_t i = absolute ? 1 : 0;
    while (i <= s.size()) {
        size_t j = s.find('/', i);
        if (j == std::string::npos) j = s.size();
        std::string seg = s.substr(i, j - i);
        if (seg == ".") {
            // dropped
        } else if (seg == "..") {
            if (!parts.empty() && parts.back() != "..") parts.pop_back();
            else if (!absolute) parts.push_back(seg);
        } else if (!seg.empty() || j == s.size()) {
            parts.push_back(seg);
        } else {
            parts.push_back(seg); // keep doubled separators as written
        }
        i = j + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k) out += '/';
        out += parts[k];
    }
    return out;
}

std::string FindFileName(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FindExtension(const std::string& path) {
    std::string name = FindFileName(path);
    auto dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot);
    if (ext.find(' ') != std::string::npos) return {};
    return ext;
}

std::string RemoveExtension(const std::string& path) {
    std::string ext = FindExtension(path);
    return path.substr(0, path.size() - ext.size());
}

std::string DisplayNameOf(const std::string& path) {
    std::string s = Trim(Unquote(Trim(path)));
    s = ExpandEnvironmentStrings(s);
    s = CanonicalizePath(s);
    static const std::string longPrefix = "\\\\?\\";
    if (s.compare(0, longPrefix.size(), longPrefix) == 0) s = s.substr(longPrefix.size());
    return RemoveExtension(FindFileName(s));
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

} // namespace platform
