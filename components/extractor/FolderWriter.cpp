#include "components/extractor/FolderWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <mutex>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "components/extractor/AttachmentNames.h"
#include "platform/FileHandle.h"
#include "platform/PartialFiles.h"

namespace extractor {

namespace {

// Clash numbers already taken in a folder, remembered across calls so that the thousandth
// "image001.png" of a folder does not probe 999 names first. Only a hint: every name is
// still created with O_EXCL.
class ClashHints {
public:
    unsigned Get(const std::string& key) {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_next.find(key);
        return it == m_next.end() ? 1 : it->second;
    }
    void Set(const std::string& key, unsigned next) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_next.size() > 100000) m_next.clear();
        m_next[key] = next;
    }

private:
    std::mutex m_lock;
    std::unordered_map<std::string, unsigned> m_next;
};

ClashHints& TheClashHints() {
    static auto* hints = new ClashHints;
    return *hints;
}

// Whether `name` is `wanted` or a numbered variant of it ("photo (3).jpg" for "photo.jpg").
bool IsNameOrNumbered(std::string_view name, std::string_view wanted) {
    if (name == wanted) return true;
    size_t dot = wanted.rfind('.');
    if (dot == std::string_view::npos || dot == 0) dot = wanted.size();
    std::string_view stem = wanted.substr(0, dot), ext = wanted.substr(dot);
    if (name.size() < stem.size() + ext.size() + 4 || name.compare(0, stem.size(), stem) != 0 ||
        name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
        return false;
    std::string_view number = name.substr(stem.size(), name.size() - stem.size() - ext.size());
    if (number.substr(0, 2) != " (" || number.back() != ')') return false;
    number = number.substr(2, number.size() - 3);
    return !number.empty() && number[0] != '0' &&
           number.find_first_not_of("0123456789") == std::string_view::npos;
}

// "photo.jpg" for "photo (3).jpg": the name a clash number was added to, or empty.
std::string UnnumberedName(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) dot = name.size();
    std::string_view stem = name.substr(0, dot);
    if (stem.size() < 4 || stem.back() != ')') return {};
    size_t open = stem.rfind(" (");
    if (open == std::string_view::npos) return {};
    std::string_view number = stem.substr(open + 2, stem.size() - open - 3);
    if (number.empty() || number[0] == '0' ||
        number.find_first_not_of("0123456789") != std::string_view::npos)
        return {};
    return std::string(stem.substr(0, open)) + std::string(name.substr(dot));
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The entries of the folders this process writes into, by the name they were numbered from,
// so that looking for an equal file does not read the whole folder at every clash. A folder is
// watched (inotify) from the moment it is read, so that entries added and removed by anyone
// (the caller removes the files it does not keep after every message) are taken in as they
// come, without reading the folder again. Without a watch, a folder is read again when its
// modification time shows a change this process did not make itself. Only a guide: every name
// it gives is checked on disk, and a name it misses only costs a second copy of a file, never
// an overwrite.
class FolderIndex {
public:
    // The entries named `wanted` or numbered from it; nothing when the folder is too large to
    // keep (the caller then reads it itself).
    std::optional<std::vector<std::string>> NamesLike(int dirFd, const std::string& key,
                                                      const std::string& wanted) {
        struct stat st {};
        if (::fstat(dirFd, &st) != 0) return std::nullopt;
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_folders.size() > kMaxFolders && !m_folders.count(key)) Clear();
        Drain();
        Folder& folder = m_folders[key];
        const bool sameFolder = folder.device == st.st_dev && folder.inode == st.st_ino;
        if (folder.watch >= 0 && !sameFolder) Unwatch(folder);
        const bool current = folder.listed && (folder.watch >= 0 ? sameFolder
                                                                 : SameTime(folder.time, st.st_mtim));
        if (!current) {
            // Watched before it is read: nothing added in between is missed.
            if (folder.watch < 0) Watch(dirFd, key, folder);
            if (!Read(dirFd, folder)) {
                Unwatch(folder);
                m_folders.erase(key);
                return std::nullopt;
            }
            folder.time = st.st_mtim;
            folder.device = st.st_dev;
            folder.inode = st.st_ino;
        }
        auto it = folder.byName.find(wanted);
        if (it == folder.byName.end()) return std::vector<std::string>();
        return it->second;
    }

    // The folder's time before this process adds or removes an entry, when it is kept.
    std::optional<struct timespec> Before(int dirFd, const std::string& key) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            auto it = m_folders.find(key);
            if (it == m_folders.end() || !it->second.listed) return std::nullopt;
        }
        struct stat st {};
        if (::fstat(dirFd, &st) != 0) return std::nullopt;
        return st.st_mtim;
    }

    // After this process added or removed `name`: the entry is noted and the folder's new time
    // taken as known, unless someone else changed the folder since it was last looked at (a
    // watched folder hears of that change anyway).
    void Changed(int dirFd, const std::string& key, const std::string& name, bool added,
                 const struct timespec& before) {
        struct stat st {};
        bool statted = ::fstat(dirFd, &st) == 0;
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = m_folders.find(key);
        if (it == m_folders.end()) return;
        Folder& folder = it->second;
        if (folder.watch < 0 && (!statted || !SameTime(folder.time, before))) {
            folder.listed = false;
            return;
        }
        if (added)
            Add(folder, name);
        else
            Erase(folder, name);
        if (statted) folder.time = st.st_mtim;
    }

private:
    static constexpr size_t kMaxEntries = 20000;
    static constexpr size_t kMaxFolders = 16;
    struct Folder {
        bool listed = false;
        struct timespec time {};
        dev_t device = 0;
        ino_t inode = 0;
        int watch = -1; // the inotify watch, or -1
        size_t entries = 0;
        std::unordered_map<std::string, std::vector<std::string>> byName;
    };

    // Noted once however often it is added (a watched folder hears of this process's own
    // entries twice).
    static void Add(Folder& folder, const std::string& name) {
        std::vector<std::string>& same = folder.byName[name];
        if (std::find(same.begin(), same.end(), name) != same.end()) return;
        same.push_back(name);
        std::string base = UnnumberedName(name);
        if (!base.empty()) folder.byName[base].push_back(name);
        if (++folder.entries > kMaxEntries) {
            folder.listed = false; // too large to keep: the next look reads it, and gives up
            folder.byName.clear();
            folder.entries = 0;
        }
    }

    static void Erase(Folder& folder, const std::string& name) {
        bool found = false;
        for (const std::string& key : {name, UnnumberedName(name)}) {
            auto it = folder.byName.find(key);
            if (it == folder.byName.end()) continue;
            auto& names = it->second;
            auto kept = std::remove(names.begin(), names.end(), name);
            found = found || kept != names.end();
            names.erase(kept, names.end());
        }
        if (found && folder.entries > 0) --folder.entries;
    }

    static bool Read(int dirFd, Folder& folder) {
        folder.listed = false;
        folder.entries = 0;
        folder.byName.clear();
        int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return false;
        }
        bool ok = true;
        while (struct dirent* entry = ::readdir(dir)) {
            std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            if (folder.entries >= kMaxEntries) {
                ok = false;
                break;
            }
            Add(folder, std::string(name));
        }
        ::closedir(dir);
        folder.listed = ok;
        if (!ok) folder.byName.clear();
        return ok;
    }

    // Watches the folder open at dirFd (not a path that may by now name another folder).
    // Without inotify, or past its limits, the folder goes by its modification time.
    void Watch(int dirFd, const std::string& key, Folder& folder) {
        if (m_inotify == -2) m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify < 0) return;
        const std::string self = "/proc/self/fd/" + std::to_string(dirFd);
        int watch = ::inotify_add_watch(m_inotify, self.c_str(),
                                        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                            IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
        if (watch < 0) return;
        // One directory watched under two names (a link to it) would have one watch: the
        // second name goes by the folder's time.
        if (!m_watched.emplace(watch, key).second) return;
        folder.watch = watch;
    }

    void Unwatch(Folder& folder) {
        if (folder.watch < 0) return;
        ::inotify_rm_watch(m_inotify, folder.watch);
        m_watched.erase(folder.watch);
        folder.watch = -1;
        folder.listed = false;
    }

    void Clear() {
        for (auto& entry : m_folders)
            Unwatch(entry.second);
        m_folders.clear();
        Drain(); // the removed watches' last events
    }

    // Takes in what the watched folders heard since the last look.
    void Drain() {
        if (m_inotify < 0) return;
        alignas(struct inotify_event) char buffer[16 * 1024];
        for (;;) {
            ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
                Heard(*event);
            }
        }
    }

    void Heard(const struct inotify_event& event) {
        if (event.mask & IN_Q_OVERFLOW) { // events were lost: every folder is read again
            for (auto& entry : m_folders)
                entry.second.listed = false;
            return;
        }
        auto watched = m_watched.find(event.wd);
        if (watched == m_watched.end()) return;
        auto it = m_folders.find(watched->second);
        if (it == m_folders.end()) return;
        Folder& folder = it->second;
        if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
            if (!(event.mask & IN_IGNORED)) ::inotify_rm_watch(m_inotify, event.wd);
            m_watched.erase(event.wd);
            folder.watch = -1;
            folder.listed = false;
            return;
        }
        if (event.len == 0 || !folder.listed) return;
        const std::string name = event.name; // NUL-padded
        if (event.mask & (IN_CREATE | IN_MOVED_TO))
            Add(folder, name);
        else if (event.mask & (IN_DELETE | IN_MOVED_FROM))
            Erase(folder, name);
    }

    std::mutex m_lock;
    std::unordered_map<std::string, Folder> m_folders;
    int m_inotify = -2; // -2: not yet tried
    std::unordered_map<int, std::string> m_watched; // watch -> folder key
};

FolderIndex& TheFolderIndex() {
    static auto* index = new FolderIndex;
    return *index;
}

FileDigest DigestOf(int dirFd, const std::string& name) {
    FileDigest digest;
    platform::UniqueFd fd(
        ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return digest;
    std::uint64_t hash = 1469598103934665603ULL; // FNV-1a over 8-byte words
    std::vector<char> buf(256 * 1024);
    off_t total = 0;
    for (;;) {
        ssize_t n = ::read(fd.Get(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return digest;
        if (n == 0) break;
        for (ssize_t i = 0; i < n; i += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, buf.data() + i, static_cast<size_t>(std::min<ssize_t>(8, n - i)));
            hash = (hash ^ word) * 1099511628211ULL;
        }
        total += n;
    }
    digest.ok = true;
    digest.size = total;
    digest.hash = hash ^ static_cast<std::uint64_t>(total);
    return digest;
}

bool SameBytes(int dirFd, const std::string& a, const std::string& b) {
    platform::UniqueFd fa(
        ::openat(dirFd, a.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    platform::UniqueFd fb(
        ::openat(dirFd, b.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fa.Get() < 0 || fb.Get() < 0) return false;
    std::vector<char> ba(128 * 1024), bb(128 * 1024);
    for (off_t pos = 0;;) {
        ssize_t na = ::pread(fa.Get(), ba.data(), ba.size(), pos);
        ssize_t nb = ::pread(fb.Get(), bb.data(), bb.size(), pos);
        if (na < 0 || nb < 0 || na != nb) return false;
        if (na == 0) return true;
        if (std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) != 0) return false;
        pos += na;
    }
}

} // namespace

bool FolderWriter::Save(const std::string& wanted, const std::function<bool(int)>& write,
                        std::string& chosen, const char*& failure) {
    chosen = wanted;
    PendingFile pending;
    if (!OpenPending(pending)) {
        failure = "create";
        return false;
    }
    const int writeFd = ::dup(pending.fd.Get());
    if (writeFd < 0 || !write(writeFd)) {
        const int err = errno;
        DiscardPending(pending);
        errno = err;
        failure = "write";
        return false;
    }
    if (!Place(pending, wanted, chosen)) {
        const int err = errno;
        DiscardPending(pending);
        errno = err;
        chosen = wanted;
        failure = "create";
        return false;
    }
    m_used.insert(chosen);
    if (chosen != wanted) {
        if (std::optional<std::string> same = FindEqualFile(wanted, chosen)) {
            Remove(chosen);
            m_used.erase(chosen);
            if (m_lastNumber > 0) TheClashHints().Set(m_key + '\0' + wanted, m_lastNumber);
            chosen = *same;
            m_used.insert(chosen);
        }
    }
    return true;
}

bool FolderWriter::OpenPending(PendingFile& pending) {
    // Unnamed: nothing of it is left anywhere when the process dies before it is placed. Its
    // name is given through /proc, which must be there.
    static const bool canName = ::access("/proc/self/fd", X_OK) == 0;
    if (canName) {
        pending.fd = platform::UniqueFd(::openat(m_dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        if (pending.fd.IsOpen()) return true;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return false;
    }
    // A file system without unnamed files: a hidden name of our own.
    for (int tries = 0; tries < 100; ++tries) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", g_random_int());
        std::string name = std::string(platform::kPartialFilePrefix) + suffix;
        std::optional<struct timespec> before = TheFolderIndex().Before(m_dir, m_key);
        pending.fd = platform::UniqueFd(::openat(
            m_dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (pending.fd.IsOpen()) {
            if (before) TheFolderIndex().Changed(m_dir, m_key, name, true, *before);
            pending.name = std::move(name);
            return true;
        }
        if (errno != EEXIST && errno != EINTR) return false;
    }
    errno = EEXIST;
    return false;
}

void FolderWriter::DiscardPending(PendingFile& pending) {
    pending.fd.Close();
    if (!pending.name.empty()) Remove(pending.name);
    pending.name.clear();
}

// Gives the written file its name without replacing anything: 0, or -1 with errno (EEXIST
// when the name is taken).
int FolderWriter::LinkPending(PendingFile& pending, const std::string& name) {
    if (pending.name.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(pending.fd.Get());
        return ::linkat(AT_FDCWD, self.c_str(), m_dir, name.c_str(), AT_SYMLINK_FOLLOW);
    }
    if (::renameat2(m_dir, pending.name.c_str(), m_dir, name.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return -1;
    // Without renaming that refuses to replace: a second name, then the hidden one goes.
    if (::linkat(m_dir, pending.name.c_str(), m_dir, name.c_str(), 0) == 0) {
        ::unlinkat(m_dir, pending.name.c_str(), 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) return -1;
    // Without hard links either: the name is taken as an empty file of ours, then replaced.
    platform::UniqueFd held(::openat(m_dir, name.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!held.IsOpen()) return -1;
    if (::renameat(m_dir, pending.name.c_str(), m_dir, name.c_str()) == 0) return 0;
    const int err = errno;
    ::unlinkat(m_dir, name.c_str(), 0);
    errno = err;
    return -1;
}

bool FolderWriter::Place(PendingFile& pending, const std::string& wanted, std::string& chosen) {
    static constexpr unsigned kMaxNumber = 1000000;
    std::string key = m_key + '\0' + wanted;
    // A name this call already used is taken: go straight to the numbers.
    unsigned k = m_used.count(wanted) ? TheClashHints().Get(key) : 0;
    std::optional<struct timespec> before = TheFolderIndex().Before(m_dir, m_key);
    while (k <= kMaxNumber) {
        std::string candidate = k == 0 ? wanted : NumberedName(wanted, k);
        if (!IsReservedName(candidate)) {
            if (LinkPending(pending, candidate) == 0) {
                if (k > 0) TheClashHints().Set(key, k + 1);
                if (before) {
                    if (!pending.name.empty())
                        TheFolderIndex().Changed(m_dir, m_key, pending.name, false, *before);
                    TheFolderIndex().Changed(m_dir, m_key, candidate, true, *before);
                }
                pending.fd.Close();
                pending.name.clear();
                m_lastNumber = k;
                chosen = candidate;
                return true;
            }
            if (errno == EINTR) continue;
            if (errno != EEXIST) return false;
        }
        k = k == 0 ? TheClashHints().Get(key) : k + 1;
    }
    errno = EEXIST;
    return false;
}

void FolderWriter::Remove(const std::string& name) {
    std::optional<struct timespec> before = TheFolderIndex().Before(m_dir, m_key);
    ::unlinkat(m_dir, name.c_str(), 0);
    if (before) TheFolderIndex().Changed(m_dir, m_key, name, false, *before);
}

std::optional<std::string> FolderWriter::FindEqualFile(const std::string& wanted,
                                                       const std::string& made) {
    auto listed = m_namesLike.find(wanted);
    if (listed == m_namesLike.end()) {
        std::optional<std::vector<std::string>> names =
            TheFolderIndex().NamesLike(m_dir, m_key, wanted);
        if (!names) names = NamesLike(wanted);
        // In the order of their numbers: a shorter number is a smaller one.
        std::sort(names->begin(), names->end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        listed = m_namesLike.emplace(wanted, std::move(*names)).first;
    }
    const std::vector<std::string>& names = listed->second;
    // The new file is read back only when a file of its size is there to compare with.
    struct stat madeStat {};
    if (::fstatat(m_dir, made.c_str(), &madeStat, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    FileDigest mine;
    for (const std::string& name : names) {
        if (m_used.count(name) || IsReservedName(name)) continue;
        auto known = m_digests.find(name);
        if (known == m_digests.end()) {
            struct stat st {};
            if (::fstatat(m_dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISREG(st.st_mode))
                continue;
            if (st.st_size != madeStat.st_size) continue;
            known = m_digests.emplace(name, DigestOf(m_dir, name)).first;
        }
        const FileDigest& theirs = known->second;
        if (!theirs.ok || theirs.size != madeStat.st_size) continue;
        if (!mine.ok) mine = DigestOf(m_dir, made);
        if (!mine.ok) return std::nullopt;
        if (theirs.size == mine.size && theirs.hash == mine.hash &&
            SameBytes(m_dir, name, made))
            return name;
    }
    return std::nullopt;
}

std::vector<std::string> FolderWriter::NamesLike(const std::string& wanted) {
    std::vector<std::string> names;
    int fd = ::openat(m_dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return names;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    while (struct dirent* entry = ::readdir(dir)) {
        if (!IsNameOrNumbered(entry->d_name, wanted)) continue;
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

} // namespace extractor
