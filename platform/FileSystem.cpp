#include "platform/FileSystem.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

unsigned char Lower(char c) {
    return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
}

bool MatchFrom(const char* n, const char* p) {
    // Iterative glob with single-star backtracking: linear in practice, never exponential.
    const char* starP = nullptr;
    const char* starN = nullptr;
    while (*n) {
        if (*p == '*') {
            starP = p++;
            starN = n;
        } else if (*p == '?' || (*p && Lower(*p) == Lower(*n))) {
            ++p;
            ++n;
        } else if (starP) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (*p == '*') ++p;
    return *p == '\0';
}

int CompareNoCase(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = Lower(a[i]), y = Lower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return 0;
}

} // namespace

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool MatchPattern(const std::string& name, const std::string& pattern) {
    if (pattern == "*.*" || pattern == "*") return true;
    if (MatchFrom(name.c_str(), pattern.c_str())) return true;
    // A trailing ".*" also matches a name without an extension ("ulk*.*" matches "ulk2").
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
        return MatchFrom(name.c_str(), pattern.substr(0, pattern.size() - 2).c_str());
    return false;
}

std::vector<DirEntry> ListDirectory(const std::string& folder, const std::string& pattern) {
    std::vector<DirEntry> out;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return out;
    int dfd = dirfd(dir);
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        if (!MatchPattern(name, pattern)) continue;
        DirEntry entry;
        entry.name = std::move(name);
        struct stat st;
        // Follow links as the shell does: a link to a folder lists as a folder.
        if (fstatat(dfd, e->d_name, &st, 0) == 0) {
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.size = static_cast<std::uint64_t>(st.st_size);
            entry.lastWrite = st.st_mtime;
        } else if (e->d_type == DT_DIR) {
            entry.isDirectory = true;
        }
        out.push_back(std::move(entry));
    }
    closedir(dir);
    std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) {
        int c = CompareNoCase(a.name, b.name);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return out;
}

bool GetFileId(const std::string& path, FileId& id) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool CreateFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool DeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

int DeleteMatchingFiles(const std::string& folder, const std::string& pattern) {
    int count = 0;
    for (const DirEntry& e : ListDirectory(folder, pattern)) {
        if (!e.isDirectory && DeleteFile(JoinPath(folder, e.name))) ++count;
    }
    return count;
}

bool SetFileTimes(const std::string& path, std::time_t lastAccess, std::time_t lastWrite) {
    timespec times[2];
    times[0].tv_sec = lastAccess;
    times[0].tv_nsec = 0;
    times[1].tv_sec = lastWrite;
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::uint64_t FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
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
