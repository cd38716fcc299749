#include "platform/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileHandle.h"

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
    while (*p == '*')
        ++p;
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

// Why a path that is there is not a file to read.
const char* NotAFile(mode_t mode) {
    if (S_ISFIFO(mode)) return "is a fifo, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a file";
    if (S_ISSOCK(mode)) return "is a socket, not a file";
    if (S_ISDIR(mode)) return "is a folder, not a file";
    if (S_ISLNK(mode)) return "is a link, not a file";
    return "is not a plain file";
}

std::string TooLarge(std::uint64_t maxSize) {
    constexpr std::uint64_t kMiB = 1024 * 1024;
    if (maxSize >= kMiB && maxSize % kMiB == 0)
        return "is larger than " + std::to_string(maxSize / kMiB) + " MB";
    return "is larger than " + std::to_string(maxSize) + " bytes";
}

int Refuse(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return -1;
}

// Writes data to a fresh scratch file in the folder and renames it over name. The scratch file
// is made with newMode (less the umask), or with exactly keepMode when given.
bool WriteAndRename(int dirFd, const std::string& name, const std::string& data, bool durable,
                    mode_t newMode, std::optional<mode_t> keepMode) {
    static std::atomic<unsigned> counter{0};
    std::string scratch;
    UniqueFd fd;
    for (int attempt = 0; attempt < 100 && !fd.IsOpen(); ++attempt) {
        scratch = name + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = UniqueFd(::openat(dirFd, scratch.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                               keepMode ? 0600 : newMode));
        if (!fd.IsOpen() && errno != EEXIST && errno != EINTR) return false;
    }
    if (!fd.IsOpen()) return false;
    bool ok = WriteAll(fd.Get(), data) && (!keepMode || ::fchmod(fd.Get(), *keepMode) == 0);
    if (ok && durable) ok = ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::renameat(dirFd, scratch.c_str(), dirFd, name.c_str()) == 0;
    if (!ok) ::unlinkat(dirFd, scratch.c_str(), 0);
    return ok;
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
            entry.isRegular = S_ISREG(st.st_mode);
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

bool CreateFolder(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0;
}

bool DeleteFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

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

int OpenFileForReadingAt(int dirFd, const std::string& name, bool followLinks,
                         std::uint64_t maxSize, std::string* why) {
    if (why) why->clear();
    const int noFollow = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    struct stat before;
    if (::fstatat(dirFd, name.c_str(), &before, noFollow) != 0)
        return Refuse(why, errno == ENOENT ? std::string() : std::string(std::strerror(errno)));
    // Opening a fifo for reading waits for a writer, and opening a device can do anything:
    // only a plain file is opened at all.
    if (!S_ISREG(before.st_mode)) return Refuse(why, NotAFile(before.st_mode));
    if (static_cast<std::uint64_t>(before.st_size) > maxSize) return Refuse(why, TooLarge(maxSize));
    int fd =
        ::openat(dirFd, name.c_str(),
                 O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) return Refuse(why, std::strerror(errno));
    // The name may have been swapped for something else between the look and the open.
    struct stat after;
    if (::fstat(fd, &after) != 0 || !S_ISREG(after.st_mode) || after.st_ino != before.st_ino ||
        after.st_dev != before.st_dev) {
        ::close(fd);
        return Refuse(why, NotAFile(after.st_mode));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int OpenFileForReading(const std::string& path, std::uint64_t maxSize, std::string* why) {
    if (path.empty()) return Refuse(why, {});
    return OpenFileForReadingAt(AT_FDCWD, path, true, maxSize, why);
}

bool ReadOpenFile(int fd, std::uint64_t maxSize, std::string& data, std::string* why) {
    data.clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Refuse(why, std::strerror(errno));
            data.clear();
            return false;
        }
        if (n == 0) return true;
        data.append(buffer, static_cast<size_t>(n));
        if (data.size() > maxSize) { // grew since it was looked at
            Refuse(why, TooLarge(maxSize));
            data.clear();
            return false;
        }
    }
}

bool ReadSmallFile(const std::string& path, std::uint64_t maxSize, std::string& data,
                   std::string* why) {
    data.clear();
    int fd = OpenFileForReading(path, maxSize, why);
    if (fd < 0) return false;
    const bool ok = ReadOpenFile(fd, maxSize, data, why);
    ::close(fd);
    return ok;
}

bool ReplaceFileAt(int dirFd, const std::string& name, const std::string& data, bool durable,
                   unsigned mode) {
    return WriteAndRename(dirFd, name, data, durable, static_cast<mode_t>(mode), std::nullopt);
}

bool ReplaceFile(const std::string& path, const std::string& data, bool durable) {
    // Settle on the file a chain of links ends at, so the link stays a link.
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) return false;
        link.resize(static_cast<size_t>(n));
        target = link.front() == '/' ? link : FolderOf(target) + link;
    }
    std::string folder = FolderOf(target);
    std::string name = target.substr(folder.size());
    if (name.empty()) return false;
    int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return false;
    std::optional<mode_t> keepMode;
    struct stat st;
    bool ok = true;
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        ok = S_ISREG(st.st_mode); // a device node or a fifo is not ours to replace
        keepMode = st.st_mode & 07777;
    }
    ok = ok && WriteAndRename(dirFd, name, data, durable, 0666, keepMode);
    ::close(dirFd);
    return ok;
}

} // namespace platform
