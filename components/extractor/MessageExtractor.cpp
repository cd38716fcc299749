#include "components/extractor/MessageExtractor.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include "components/extractor/AttachmentNames.h"
#include "components/extractor/ContentWriter.h"
#include "components/extractor/GMimeSetup.h"
#include "components/extractor/HeaderText.h"
#include "components/extractor/MessageFile.h"
#include "components/extractor/Tnef.h"
#include "platform/FileHandle.h"

namespace extractor {

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// Owns one GObject reference.
template <typename T> using GRef = std::unique_ptr<T, GObjectUnref>;


bool EqualsNoCase(const char* a, const char* b) {
    return a && b && g_ascii_strcasecmp(a, b) == 0;
}

// The attachment rule, in one place: a leaf part (not a multipart, not a message/* part) whose
// disposition is "attachment", or that has a file name, or whose type is not text/*. Body
// texts are the only leaves left out.
bool IsAttachment(GMimeObject* object) {
    if (!GMIME_IS_PART(object)) return false;
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const char* media = type ? g_mime_content_type_get_media_type(type) : nullptr;
    if (EqualsNoCase(media, "message")) return false;
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    if (disposition &&
        EqualsNoCase(g_mime_content_disposition_get_disposition(disposition), "attachment"))
        return true;
    const char* name = g_mime_part_get_filename(GMIME_PART(object));
    if (name) {
        std::string_view n(name);
        if (n.find_first_not_of(" \t\r\n") != std::string_view::npos) return true;
    }
    return !(media == nullptr || EqualsNoCase(media, "text"));
}

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

// A regular file's bytes, read without following a link: size and a hash to compare by.
struct FileDigest {
    bool ok = false;
    off_t size = 0;
    std::uint64_t hash = 0;
};

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

// Creates files inside one folder, never outside it and never over an existing entry. One
// writer serves one message: an attachment whose bytes equal a file that was in the folder
// before (under its name or one of its numbered names) is not kept twice, and each name
// appears once in the message's list.
class FolderWriter {
public:
    FolderWriter(int dirFd, std::string folderKey) : m_dir(dirFd), m_key(std::move(folderKey)) {}

    // Writes a file for the wanted name through write(fd) (which takes fd over) and gives the
    // name to report: a new file, or an equal one that was there before. False when nothing
    // could be written; errno and `failure` ("create" or "write") say why, `chosen` names the
    // file that was tried.
    bool Save(const std::string& wanted, const std::function<bool(int)>& write,
              std::string& chosen, const char*& failure) {
        int fd = Create(wanted, chosen);
        if (fd < 0) {
            chosen = wanted;
            failure = "create";
            return false;
        }
        if (!write(fd)) {
            int err = errno;
            Remove(chosen);
            errno = err;
            failure = "write";
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

private:
    // Creates a new file for the wanted name (or a numbered variant); -1 when none can be made.
    int Create(const std::string& wanted, std::string& chosen) {
        static constexpr unsigned kMaxNumber = 1000000;
        std::string key = m_key + '\0' + wanted;
        // A name this call already used is taken: go straight to the numbers.
        unsigned k = m_used.count(wanted) ? TheClashHints().Get(key) : 0;
        std::optional<struct timespec> before = TheFolderIndex().Before(m_dir, m_key);
        while (k <= kMaxNumber) {
            std::string candidate = k == 0 ? wanted : NumberedName(wanted, k);
            if (!IsReservedName(candidate)) {
                int fd = ::openat(m_dir, candidate.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
                if (fd >= 0) {
                    if (k > 0) TheClashHints().Set(key, k + 1);
                    if (before) TheFolderIndex().Changed(m_dir, m_key, candidate, true, *before);
                    m_lastNumber = k;
                    chosen = candidate;
                    return fd;
                }
                if (errno == EINTR) continue;
                if (errno != EEXIST) return -1;
            }
            k = k == 0 ? TheClashHints().Get(key) : k + 1;
        }
        errno = EEXIST;
        return -1;
    }

    void Remove(const std::string& name) {
        std::optional<struct timespec> before = TheFolderIndex().Before(m_dir, m_key);
        ::unlinkat(m_dir, name.c_str(), 0);
        if (before) TheFolderIndex().Changed(m_dir, m_key, name, false, *before);
    }

    // A regular file of the folder, named `wanted` or a numbered variant of it and not used by
    // this message, with the same bytes as the new file `made`.
    std::optional<std::string> FindEqualFile(const std::string& wanted, const std::string& made) {
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

    // The folder's entries named `wanted` or numbered from it, read directly (a folder too
    // large for the index). Entries made by this message are in m_used and never match.
    std::vector<std::string> NamesLike(const std::string& wanted) {
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

    int m_dir;
    std::string m_key;
    std::unordered_set<std::string> m_used; // names this message wrote or reported
    unsigned m_lastNumber = 0;              // the clash number of the last file created
    std::unordered_map<std::string, std::vector<std::string>> m_namesLike; // once per name
    std::unordered_map<std::string, FileDigest> m_digests;
};

struct WalkContext {
    FolderWriter* writer = nullptr;
    std::vector<std::string>* files = nullptr;
    platform::UnwrittenFiles* unwritten = nullptr;
    unsigned attachmentNumber = 0;
    std::string messagePath;
    long utcOffset = 0; // the sender's, from the mail's Date:
};

// The first header of that name as it stands in the message (folded, encoded words and all).
const char* RawHeader(GMimeObject* object, const char* name) {
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
    return header ? g_mime_header_get_raw_value(header) : nullptr;
}

// The part's file name as the sender wrote it (Content-Disposition's filename, else
// Content-Type's name), decoded from RFC 2231 and raw 8-bit, except that a name written as
// RFC 2047 encoded words is decoded here from the header's text (GMime loses what follows a
// padded base64 word, see HeaderText.h).
std::string PartFileName(GMimeObject* object) {
    const char* gmimeName = g_mime_object_get_content_disposition_parameter(object, "filename");
    bool fromDisposition = gmimeName != nullptr;
    if (!gmimeName) gmimeName = g_mime_object_get_content_type_parameter(object, "name");
    const char* header =
        RawHeader(object, fromDisposition ? "Content-Disposition" : "Content-Type");
    if (header) {
        std::optional<std::string> value =
            FindPlainParameter(header, fromDisposition ? "filename" : "name");
        if (value && value->find("=?") != std::string::npos) return DecodeHeaderText(*value);
    }
    return gmimeName ? DecodeHeaderText(gmimeName) : std::string();
}

// A file of the message that could not be written: counted for the answer, and a line on
// stderr says which and why.
void NoteUnwritten(WalkContext& ctx, const char* failure, const std::string& name, int error) {
    std::fprintf(stderr, "kestrel_extractor: %s: cannot %s \"%s\": %s\n",
                 ctx.messagePath.c_str(), failure, name.c_str(), std::strerror(error));
    if (ctx.unwritten->Count++ == 0) ctx.unwritten->Error = error;
}

// Writes one file through the folder writer and adds its name to the list; a file that cannot
// be written completely is removed again, left out of the list and counted.
void SaveFile(const std::string& name, const std::function<bool(int)>& write, WalkContext& ctx) {
    std::string chosen;
    const char* failure = "";
    if (!ctx.writer->Save(name, write, chosen, failure)) {
        NoteUnwritten(ctx, failure, chosen, errno);
        return;
    }
    ctx.files->push_back(chosen);
}

void SaveAttachment(GMimePart* part, WalkContext& ctx) {
    ++ctx.attachmentNumber;
    std::string name = SanitizeFileName(PartFileName(GMIME_OBJECT(part)));
    if (name.empty()) {
        GMimeContentType* type = g_mime_object_get_content_type(GMIME_OBJECT(part));
        const char* media = type ? g_mime_content_type_get_media_type(type) : nullptr;
        const char* sub = type ? g_mime_content_type_get_media_subtype(type) : nullptr;
        name = GeneratedFileName(ctx.attachmentNumber, media ? media : "application",
                                 sub ? sub : "octet-stream");
    }
    SaveFile(name, [part](int fd) { return WriteContent(part, fd); }, ctx);
}

// One file of a TNEF stream into fd (taken over and closed), dated as the stream dates it.
bool WriteTnefFile(const TnefFile& file, int fd) {
    platform::UniqueFd owner(fd);
    if (!platform::WriteAll(fd, file.bytes)) {
        int err = errno;
        owner.Close();
        errno = err;
        return false;
    }
    if (file.modified) {
        const time_t when = static_cast<time_t>(*file.modified);
        struct timespec times[2] = {{when, 0}, {when, 0}};
        ::futimens(fd, times);
    }
    return owner.Close();
}

// A TNEF part (winmail.dat) by its type or name, and the signature its content must begin with.
// Its files are written as attachments of their own, dated as the stream dates them; the part
// itself is written too when it holds more than those files (an attached message's text, an
// OLE object), when it cannot be read (the reason goes to stderr), or when one of its files
// could not be written, so that nothing is lost. Without the signature it is an ordinary file.
void SaveAttachmentOrTnef(GMimePart* part, WalkContext& ctx) {
    GMimeContentType* type = g_mime_object_get_content_type(GMIME_OBJECT(part));
    const char* media = type ? g_mime_content_type_get_media_type(type) : nullptr;
    const char* sub = type ? g_mime_content_type_get_media_subtype(type) : nullptr;
    DecodedContent content;
    if (!IsTnefPartType(media ? media : "", sub ? sub : "",
                        SanitizeFileName(PartFileName(GMIME_OBJECT(part)))) ||
        !content.Load(part) || !HasTnefSignature(content.Bytes())) {
        SaveAttachment(part, ctx);
        return;
    }
    TnefContents tnef;
    std::string reason;
    bool keepPart = !ReadTnef(content.Bytes(), ctx.utcOffset, tnef, reason);
    if (keepPart)
        std::fprintf(stderr,
                     "kestrel_extractor: %s: the TNEF attachment is damaged (%s): it is kept as "
                     "it stands, beside the files read from it\n",
                     ctx.messagePath.c_str(), reason.c_str());
    keepPart = keepPart || tnef.moreThanFiles || tnef.files.empty();
    if (keepPart) SaveAttachment(part, ctx);
    size_t listed = ctx.files->size();
    for (const TnefFile& file : tnef.files) {
        ++ctx.attachmentNumber;
        std::string name = SanitizeFileName(file.name);
        if (name.empty())
            name = GeneratedFileName(ctx.attachmentNumber, "application", "octet-stream");
        const size_t before = ctx.files->size();
        SaveFile(name, [&file](int fd) { return WriteTnefFile(file, fd); }, ctx);
        if (file.object && ctx.files->size() > before)
            std::fprintf(stderr,
                         "kestrel_extractor: %s: the TNEF attachment holds an object, written "
                         "as it stands to \"%s\"\n",
                         ctx.messagePath.c_str(), ctx.files->back().c_str());
    }
    if (!keepPart && ctx.files->size() - listed < tnef.files.size()) SaveAttachment(part, ctx);
}

// A forwarded message attached as a file: its type is message/rfc822 (or message/global) and
// it has a file name or an attachment disposition. It is saved as a .eml file besides being
// walked, so that a mail that forwards others as attachments does not look empty.
bool IsAttachedMessage(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (!type || !EqualsNoCase(g_mime_content_type_get_media_type(type), "message")) return false;
    const char* sub = g_mime_content_type_get_media_subtype(type);
    if (!EqualsNoCase(sub, "rfc822") && !EqualsNoCase(sub, "global")) return false;
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    if (disposition &&
        EqualsNoCase(g_mime_content_disposition_get_disposition(disposition), "attachment"))
        return true;
    std::string name = PartFileName(object);
    return name.find_first_not_of(" \t\r\n") != std::string::npos;
}

// The .eml name of an attached message: its file name, else its subject, else "part<n>.eml".
std::string AttachedMessageName(GMimeObject* object, GMimeMessage* inner, unsigned number) {
    std::string name = SanitizeFileName(PartFileName(object));
    if (name.empty() && inner)
        if (const char* subject = RawHeader(GMIME_OBJECT(inner), "Subject"))
            name = SanitizeFileName(CleanFieldText(DecodeHeaderText(subject)));
    if (name.empty()) return GeneratedFileName(number, "message", "rfc822");
    if (name.size() < 4 || g_ascii_strcasecmp(name.c_str() + name.size() - 4, ".eml") != 0)
        name = LimitNameLength(name + ".eml", kMaxBaseNameBytes);
    return name;
}

// Reads the parser's stream line by line from a position.
class LineReader {
public:
    LineReader(MessageFile& file, gint64 pos) : m_file(file), m_pos(pos) {}

    // The next line without its line end (at most kKeep bytes of it), its start, and the
    // length of its line end; false at the end of the stream.
    bool Next(std::string& line, gint64& start, int& lineEnd) {
        static constexpr size_t kKeep = 256;
        line.clear();
        start = m_pos;
        bool any = false;
        for (;;) {
            if (m_at == m_length) {
                ssize_t n = m_file.ReadLogical(m_pos, m_buf, sizeof m_buf);
                if (n <= 0) {
                    lineEnd = 0;
                    StripCr(line, lineEnd);
                    return any;
                }
                m_at = 0;
                m_length = static_cast<size_t>(n);
            }
            any = true;
            const char* p = m_buf + m_at;
            auto* eol = static_cast<const char*>(std::memchr(p, '\n', m_length - m_at));
            size_t take = eol ? static_cast<size_t>(eol - p) : m_length - m_at;
            if (line.size() < kKeep) line.append(p, std::min(take, kKeep - line.size()));
            m_at += take;
            m_pos += static_cast<gint64>(take);
            if (eol) {
                ++m_at;
                ++m_pos;
                lineEnd = 1;
                StripCr(line, lineEnd);
                return true;
            }
        }
    }

private:
    static void StripCr(std::string& line, int& lineEnd) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            ++lineEnd;
        }
    }

    MessageFile& m_file;
    gint64 m_pos;
    char m_buf[64 * 1024];
    size_t m_at = 0;
    size_t m_length = 0;
};

// "--boundary" or "--boundary--", blanks after it allowed: a delimiter line of one of the
// enclosing multiparts.
bool IsDelimiter(const std::string& line, const std::vector<std::string>& boundaries) {
    if (line.size() < 2 || line[0] != '-' || line[1] != '-') return false;
    for (const std::string& b : boundaries) {
        if (line.compare(2, b.size(), b) != 0) continue;
        size_t rest = 2 + b.size();
        if (line.compare(rest, 2, "--") == 0) rest += 2;
        if (line.find_first_not_of(" \t", rest) == std::string::npos) return true;
    }
    return false;
}

// The bytes of a forwarded message part as they stand in the file: from the end of the
// part's header block to the delimiter that ends the part (the line end before it belongs to
// the delimiter), or to the end of the file.
bool MessagePartRange(MessageFile& file, GMimeObject* part,
                      const std::vector<std::string>& boundaries, gint64& start, gint64& end) {
    GMimeHeaderList* headers = g_mime_object_get_header_list(part);
    int count = headers ? g_mime_header_list_get_count(headers) : 0;
    if (count <= 0) return false;
    gint64 from = g_mime_header_get_offset(g_mime_header_list_get_header_at(headers, count - 1));
    if (from < 0) return false;
    LineReader reader(file, from);
    std::string line;
    gint64 lineStart = 0;
    int lineEnd = 0;
    bool first = true;
    for (;;) {
        if (!reader.Next(line, lineStart, lineEnd)) return false;
        if (!first && line.empty() && lineEnd > 0) break;
        first = false;
    }
    start = lineStart + lineEnd;
    end = file.Length();
    gint64 previousEnd = 0; // the line end before the current line
    while (reader.Next(line, lineStart, lineEnd)) {
        if (IsDelimiter(line, boundaries)) {
            end = std::max(start, lineStart - previousEnd);
            break;
        }
        previousEnd = lineEnd;
    }
    return true;
}

// A parsed message and the file under it (kept open while the message lives).
struct ParsedMessage {
    GRef<GMimeMessage> message;
    std::shared_ptr<MessageFile> file;
};

// Parses the message file open at fd (taken over): each part's content stays a window on the
// file until it is decoded.
ParsedMessage ParseMessageFile(int fd) {
    // One parse at a time: the read-ahead thread parses while the caller's thread decodes and
    // writes, never two parses side by side.
    static std::mutex parsing;
    std::lock_guard<std::mutex> guard(parsing);
    ParsedMessage parsed;
    parsed.file = std::make_shared<MessageFile>(fd);
    GRef<GMimeStream> stream(NewMessageFileStream(parsed.file));
    GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    g_mime_parser_set_persist_stream(parser.get(), TRUE);
    parsed.message.reset(g_mime_parser_construct_message(parser.get(), SharedParserOptions()));
    return parsed;
}

// A forwarded message sent with a transfer encoding (base64, quoted-printable): GMime leaves
// it a leaf part. Its decoded text goes to an unlinked temporary file, a buffer at a time, and
// is parsed from there like any message file. No message when it cannot be read; when the
// temporary file cannot be written, its attachments are counted as one unwritten file.
ParsedMessage ParseEncodedMessage(GMimePart* part, WalkContext& ctx) {
    std::string path = std::string(g_get_tmp_dir()) + "/kestrel-message-XXXXXX";
    int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        NoteUnwritten(ctx, "create", path, errno);
        return {};
    }
    ::unlink(path.c_str());
    platform::UniqueFd file(fd);
    int writeFd = ::dup(fd);
    if (writeFd < 0 || !WriteContent(part, writeFd)) {
        NoteUnwritten(ctx, "write", path, errno);
        return {};
    }
    return ParseMessageFile(file.Release());
}

bool IsEncodedMessage(GMimeObject* object) {
    if (!GMIME_IS_PART(object)) return false;
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (!type || !EqualsNoCase(g_mime_content_type_get_media_type(type), "message")) return false;
    const char* sub = g_mime_content_type_get_media_subtype(type);
    if (!EqualsNoCase(sub, "rfc822") && !EqualsNoCase(sub, "global")) return false;
    GMimeContentEncoding encoding = g_mime_part_get_content_encoding(GMIME_PART(object));
    return encoding == GMIME_CONTENT_ENCODING_BASE64 ||
           encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
           encoding == GMIME_CONTENT_ENCODING_UUENCODE;
}

// Depth first, in the message's order, through multiparts and embedded messages; iterative,
// so a deeply nested message cannot exhaust the stack here. Encoded forwarded messages are
// decoded and walked too, at most kMaxDecodedLevels inside one another. An attached message
// is saved before the attachments inside it.
void WalkParts(const ParsedMessage& root, WalkContext& ctx) {
    static constexpr int kMaxDecodedLevels = 16;
    using Boundaries = std::shared_ptr<const std::vector<std::string>>;
    struct Item {
        GMimeObject* object;
        int decodedLevel;
        MessageFile* file;
        Boundaries boundaries; // of the enclosing multiparts in the same file
    };
    std::vector<ParsedMessage> decoded; // alive until the walk ends
    std::vector<Item> stack;
    if (GMimeObject* body = g_mime_message_get_mime_part(root.message.get()))
        stack.push_back({body, 0, root.file.get(), std::make_shared<std::vector<std::string>>()});
    while (!stack.empty()) {
        Item item = stack.back();
        GMimeObject* object = item.object;
        stack.pop_back();
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            Boundaries boundaries = item.boundaries;
            if (const char* b = g_mime_multipart_get_boundary(multipart)) {
                auto more = std::make_shared<std::vector<std::string>>(*item.boundaries);
                more->push_back(b);
                boundaries = more;
            }
            for (int i = g_mime_multipart_get_count(multipart) - 1; i >= 0; --i)
                if (GMimeObject* child = g_mime_multipart_get_part(multipart, i))
                    stack.push_back({child, item.decodedLevel, item.file, boundaries});
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            if (IsAttachedMessage(object)) {
                ++ctx.attachmentNumber;
                gint64 start = 0, end = 0;
                if (item.file &&
                    MessagePartRange(*item.file, object, *item.boundaries, start, end)) {
                    MessageFile* file = item.file;
                    SaveFile(AttachedMessageName(object, inner, ctx.attachmentNumber),
                             [file, start, end](int fd) {
                                 return WriteMessageBytes(*file, start, end, fd);
                             },
                             ctx);
                }
            }
            if (inner)
                if (GMimeObject* body = g_mime_message_get_mime_part(inner))
                    stack.push_back({body, item.decodedLevel, item.file, item.boundaries});
        } else if (IsEncodedMessage(object) && item.decodedLevel < kMaxDecodedLevels) {
            ParsedMessage parsed = ParseEncodedMessage(GMIME_PART(object), ctx);
            if (IsAttachedMessage(object)) {
                ++ctx.attachmentNumber;
                GMimePart* part = GMIME_PART(object);
                SaveFile(AttachedMessageName(object, parsed.message.get(), ctx.attachmentNumber),
                         [part](int fd) { return WriteContent(part, fd); }, ctx);
            }
            if (parsed.message) {
                if (GMimeObject* body = g_mime_message_get_mime_part(parsed.message.get()))
                    stack.push_back({body, item.decodedLevel + 1, parsed.file.get(),
                                     std::make_shared<std::vector<std::string>>()});
                decoded.push_back(std::move(parsed));
            }
        } else if (IsAttachment(object)) {
            SaveAttachmentOrTnef(GMIME_PART(object), ctx);
        }
    }
}

// The sender as the From: header gives it, decoded (see HeaderText.h), in GMime's address
// form ("Jörg Müller <joerg@example.de>"); the decoded text itself when GMime reads no address.
std::string SenderText(GMimeMessage* message) {
    const char* raw = RawHeader(GMIME_OBJECT(message), "From");
    if (!raw) return {};
    std::string decoded = DecodeHeaderText(raw);
    std::string text;
    if (InternetAddressList* list =
            internet_address_list_parse(SharedParserOptions(), decoded.c_str())) {
        if (internet_address_list_length(list) > 0) {
            char* s = internet_address_list_to_string(list, nullptr, FALSE);
            if (s) text = s;
            g_free(s);
        }
        g_object_unref(list);
    }
    if (text.empty()) text = decoded;
    text = CleanFieldText(text);
    std::string out; // runs of blanks (folding, tabs) as one
    for (char c : text) {
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

std::string DateText(GMimeMessage* message) {
    GDateTime* date = g_mime_message_get_date(message); // borrowed
    if (!date) return {};
    return FormatRfc822Date(
        g_date_time_get_year(date), g_date_time_get_month(date), g_date_time_get_day_of_month(date),
        g_date_time_get_hour(date), g_date_time_get_minute(date), g_date_time_get_second(date),
        g_date_time_get_day_of_week(date),
        static_cast<long>(g_date_time_get_utc_offset(date) / G_TIME_SPAN_SECOND));
}

// The file list, with the note of the files that could not be written last.
std::string JoinNames(const ExtractedMessage& message) {
    std::string out;
    for (const auto& n : message.files) {
        if (!out.empty()) out += ':';
        out += n;
    }
    if (message.unwritten.Count > 0) {
        if (!out.empty()) out += ':';
        out += platform::FormatUnwrittenEntry(message.unwritten);
    }
    return out;
}

} // namespace

// A message file opened and parsed ahead, and which file it was, as it was then.
struct PreparedParse {
    ParsedMessage parsed;
    struct stat file {};

    bool StillIs(const struct stat& now) const {
        return now.st_dev == file.st_dev && now.st_ino == file.st_ino &&
               now.st_size == file.st_size && SameTime(now.st_mtim, file.st_mtim);
    }
};

namespace {

// Opens a message file for reading, non-blocking so that a fifo put in place of a message
// cannot hang the run; not open when it cannot be opened (errno set) or is no regular file
// (`why` says which).
platform::UniqueFd OpenMessageFile(const std::string& messagePath, struct stat& st,
                                   std::string& why) {
    platform::UniqueFd fd(::open(messagePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        why = std::strerror(errno);
        return fd;
    }
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "not a regular file";
        return platform::UniqueFd(-1);
    }
    return fd;
}

// Opens and parses a message file as ExtractMessage does; null when it cannot be opened or is
// not a regular file (the call that wants it then finds out again, and says why).
std::unique_ptr<PreparedParse> OpenAndParse(const std::string& messagePath) {
    try {
        struct stat st {};
        std::string why;
        platform::UniqueFd fd = OpenMessageFile(messagePath, st, why);
        if (fd.Get() < 0) return nullptr;
        auto prepared = std::make_unique<PreparedParse>();
        prepared->file = st;
        prepared->parsed = ParseMessageFile(fd.Release());
        return prepared;
    } catch (...) { // out of memory: the call that wants it tries again
        return nullptr;
    }
}

} // namespace

struct MessagePreparer::Impl {
    // Messages differ in size, so the worker keeps a few ahead of the caller: one message that
    // takes long to parse then does not leave the caller waiting.
    static constexpr size_t kAhead = 4;
    using Ready = std::pair<std::string, std::unique_ptr<PreparedParse>>;

    std::mutex lock;
    std::condition_variable changed;
    std::thread worker;
    bool stopping = false;
    std::deque<std::string> wanted; // files to parse, in the order named
    std::string parsing;            // the file under way on the worker, or empty
    std::deque<Ready> ready;        // parses not yet taken, oldest first

    bool Known(const std::string& path) const {
        if (path == parsing || std::find(wanted.begin(), wanted.end(), path) != wanted.end())
            return true;
        return std::any_of(ready.begin(), ready.end(),
                           [&](const Ready& r) { return r.first == path; });
    }

    void Run() {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            changed.wait(guard, [this] {
                return stopping || (!wanted.empty() && ready.size() < kAhead);
            });
            if (stopping) return;
            parsing = std::move(wanted.front());
            wanted.pop_front();
            guard.unlock();
            std::unique_ptr<PreparedParse> parsed = OpenAndParse(parsing);
            guard.lock();
            ready.emplace_back(std::move(parsing), std::move(parsed));
            parsing.clear();
            changed.notify_all();
        }
    }
};

MessagePreparer::MessagePreparer() : m_impl(std::make_unique<Impl>()) {}

MessagePreparer::~MessagePreparer() {
    {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        m_impl->stopping = true;
    }
    m_impl->changed.notify_all();
    if (m_impl->worker.joinable()) m_impl->worker.join();
}

void MessagePreparer::Prepare(const std::string& messagePath) {
    if (messagePath.empty()) return;
    std::deque<Impl::Ready> dropped; // freed outside the lock
    {
        std::lock_guard<std::mutex> guard(m_impl->lock);
        if (m_impl->Known(messagePath)) return;
        if (!m_impl->worker.joinable()) {
            try {
                m_impl->worker = std::thread([impl = m_impl.get()] { impl->Run(); });
            } catch (const std::system_error&) {
                return; // no thread to be had: every message is parsed when it is wanted
            }
        }
        // The last few named are the ones the caller asks for next. Older ones that were never
        // taken (a run that stopped or was cancelled) go first, parsed or not, so that they
        // neither hold their files and memory nor keep the worker from the newer ones.
        while (m_impl->ready.size() + m_impl->wanted.size() >= Impl::kAhead) {
            if (m_impl->ready.empty()) {
                m_impl->wanted.pop_front();
                continue;
            }
            dropped.push_back(std::move(m_impl->ready.front()));
            m_impl->ready.pop_front();
        }
        m_impl->wanted.push_back(messagePath);
    }
    m_impl->changed.notify_all();
}

std::unique_ptr<PreparedParse> MessagePreparer::Take(const std::string& messagePath) {
    std::unique_lock<std::mutex> guard(m_impl->lock);
    auto queued = std::find(m_impl->wanted.begin(), m_impl->wanted.end(), messagePath);
    if (queued != m_impl->wanted.end()) { // not begun: the caller is as quick on its own
        m_impl->wanted.erase(queued);
        return nullptr;
    }
    m_impl->changed.wait(guard, [&] { return m_impl->parsing != messagePath; });
    for (auto it = m_impl->ready.begin(); it != m_impl->ready.end(); ++it) {
        if (it->first != messagePath) continue;
        std::unique_ptr<PreparedParse> parsed = std::move(it->second);
        m_impl->ready.erase(it);
        guard.unlock();
        m_impl->changed.notify_all(); // room for the next
        return parsed;
    }
    return nullptr;
}

std::string FormatRfc822Date(int year, int month, int day, int hour, int minute, int second,
                             int dayOfWeek, long offsetSeconds) {
    static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60 || dayOfWeek < 1 ||
        dayOfWeek > 7 || offsetSeconds <= -100 * 3600 || offsetSeconds >= 100 * 3600)
        return {};
    char sign = offsetSeconds < 0 ? '-' : '+';
    long off = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[dayOfWeek - 1], day, kMonths[month - 1], year, hour, minute, second, sign,
                  off / 3600, (off / 60) % 60);
    return buf;
}

ExtractedMessage ExtractMessage(const std::string& messagePath, const std::string& folder,
                                MessagePreparer* ahead) {
    std::string dir = folder;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    platform::UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() < 0)
        throw ExtractError("Cannot open the folder \"" + folder + "\": " + std::strerror(errno));
    ParsedMessage parsed;
    std::unique_ptr<PreparedParse> prepared = ahead ? ahead->Take(messagePath) : nullptr;
    struct stat st {};
    // The path must still name the file that was parsed, unchanged.
    if (prepared && ::stat(messagePath.c_str(), &st) == 0 && prepared->StillIs(st)) {
        parsed = std::move(prepared->parsed);
    } else {
        std::string why;
        platform::UniqueFd messageFd = OpenMessageFile(messagePath, st, why);
        if (messageFd.Get() < 0)
            throw ExtractError("Cannot open the message \"" + messagePath + "\": " + why);
        parsed = ParseMessageFile(messageFd.Release());
    }
    prepared.reset();

    ExtractedMessage result;
    GMimeMessage* message = parsed.message.get();
    if (!message) return result; // nothing GMime can read as a message: no fields, no files

    // The first Subject: and From: (GMime's getters give the last of repeated headers).
    if (const char* subject = RawHeader(GMIME_OBJECT(message), "Subject"))
        result.subject = CleanFieldText(DecodeHeaderText(subject));
    result.sender = SenderText(message);
    result.date = DateText(message);

    FolderWriter writer(dirFd.Get(), dir);
    WalkContext ctx;
    ctx.writer = &writer;
    ctx.files = &result.files;
    ctx.unwritten = &result.unwritten;
    ctx.messagePath = messagePath;
    if (GDateTime* date = g_mime_message_get_date(message))
        ctx.utcOffset = static_cast<long>(g_date_time_get_utc_offset(date) / G_TIME_SPAN_SECOND);
    WalkParts(parsed, ctx);
    return result;
}

std::string FormatExtractToFolder2(const ExtractedMessage& message) {
    std::string out = message.subject + "|" + message.sender + "|" + message.date;
    std::string list = JoinNames(message);
    if (!list.empty()) out += "|" + list;
    return out;
}

std::string FormatExtractToFolder(const ExtractedMessage& message) {
    return JoinNames(message);
}

} // namespace extractor
