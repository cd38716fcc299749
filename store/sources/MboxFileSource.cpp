#include "store/sources/MboxFileSource.h"

#include <cerrno>
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "platform/Hash.h"

platform::Status MboxFileSource::Open(const std::string& path) {
    m_path = path;
    m_indexed = false;
    return m_reader.Open(path, false);
}

CMboxReader& MboxFileSource::Reader() const {
    if (!m_indexed) {
        m_indexed = true;
        // A file that cannot be read to its end keeps the messages before the damage, and the
        // one it hit is said to be unreadable when it is taken.
        m_reader.IndexFrom({}, 0);
    }
    return m_reader;
}

bool MboxFileSource::ReadHeader(int index, MailHeader& header) {
    header = MailHeader{};
    if (index < 0 || index >= Count()) return false;
    std::string block;
    if (Reader().ReadHeaderBlock(index, kMailHeaderLimit, block))
        ParseMailHeaderBlock(block, header);
    return true;
}

MailTextWrite MboxFileSource::WriteText(int index, int fd) {
    return Reader().WriteMessage(index, fd);
}

std::string MboxFileSource::Describe(int index) const {
    return m_path + ", message " + std::to_string(index + 1) + " (at byte " +
           std::to_string(Reader().Offset(index)) + ")";
}

std::string MboxFileSource::MessageKey(int index) {
    if (index < 0 || index >= Count()) return {};
    return std::to_string(m_reader.Offset(index)) + "-" + std::to_string(m_reader.End(index));
}

// What a run remembers of the file, so that the next one reads only what is new, and never
// passes over a message that changed.
//
// The keys name messages by where they lie, so they hold only while every byte before the end
// the last run read is as it was: the file grew at its end or did not change. Telling that:
// - Unchanged: the same file (device, inode), the same size, modification and change times
//   to the nanosecond. Writing the file sets both times, and setting the modification time
//   back sets the change time, which nobody can set back, so nothing is read at all. This
//   is trusted only when the file had not changed for a while before it was read ("trusted"
//   below): a change made within the same tick of a coarse clock (or of a file system that
//   keeps times to the second or two) as the last one would leave both times as they were.
// - Otherwise, when the file is at least as long as before: a hash of the part read before,
//   one sequential read of it. There is no cheaper safe test: a mail program that deletes a
//   message and appends others leaves a longer file, new times and changed bytes anywhere,
//   which no sample of blocks is sure to see. The index is not built again from that part:
//   the messages found in it stand (the file's index is remembered with the hash), and only
//   the last of them and what follows are read (CMboxReader::IndexFrom). A first run hashes
//   the file as it indexes it, in the same read.
// - A shorter file, a changed hash, or a stamp that is not one of these: the keys are not
//   trusted and the file is read whole.
// The stamp, with its fields separated by blanks:
//   mbox2 SIZE HASH DEV INODE MTIME-NS CTIME-NS TRUSTED LINE-END COUNT [GAP,HEAD,LENGTH]...
// one triple a message: the bytes since the end of the one before, its separator line, its text.
// HASH is a CWideHash64 of the file's first SIZE bytes. An older stamp of two fields ("SIZE
// HASH", with a CHash64) is still honoured, by a hash of that part and an index of the whole
// file.
namespace {

constexpr const char* kStampTag = "mbox2";
// How long a file must have stood unchanged before its times are trusted to show a change
// (longer than the coarsest file system clock, of two seconds).
constexpr std::int64_t kSettledNs = 3'000'000'000;

std::int64_t Ns(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

struct FileStamp {
    int version = 0; // 1: "SIZE HASH"; 2: the whole stamp
    std::uint64_t size = 0, hash = 0;
    std::uint64_t dev = 0, ino = 0;
    std::int64_t mtime = 0, ctime = 0;
    bool trusted = false;
    char lineEnd = '\n';
    std::vector<CMboxReader::Bounds> index;
};

bool ParseStamp(const std::string& text, FileStamp& stamp) {
    std::istringstream in(text);
    std::string tag;
    if (!(in >> tag)) return false;
    if (tag != kStampTag) {
        // The older stamp.
        std::istringstream old(text);
        std::string hash, rest;
        if (!(old >> stamp.size >> hash) || (old >> rest) || hash.size() != 16) return false;
        char* end = nullptr;
        stamp.hash = std::strtoull(hash.c_str(), &end, 16);
        if (*end != '\0' || text.find('-') != std::string::npos) return false;
        stamp.version = 1;
        return true;
    }
    std::string hash, lineEnd;
    int trusted = 0;
    std::size_t count = 0;
    if (!(in >> stamp.size >> hash >> stamp.dev >> stamp.ino >> stamp.mtime >> stamp.ctime >>
          trusted >> lineEnd >> count))
        return false;
    char* end = nullptr;
    stamp.hash = std::strtoull(hash.c_str(), &end, 16);
    if (hash.size() != 16 || *end != '\0' || (trusted != 0 && trusted != 1) ||
        (lineEnd != "n" && lineEnd != "r") || count > stamp.size || count > text.size() / 6)
        return false; // (each message takes six characters at least: " 0,0,0")
    stamp.trusted = trusted == 1;
    stamp.lineEnd = lineEnd == "r" ? '\r' : '\n';
    stamp.index.reserve(count);
    std::uint64_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint64_t gap = 0, head = 0, length = 0;
        char c1 = 0, c2 = 0;
        if (!(in >> gap >> c1 >> head >> c2 >> length) || c1 != ',' || c2 != ',') return false;
        const CMboxReader::Bounds b{at + gap, at + gap + head, at + gap + head + length};
        if (b.end < at || b.end > stamp.size) return false; // wrapped round or past the end
        stamp.index.push_back(b);
        at = b.end;
    }
    std::string rest;
    stamp.version = 2;
    return !(in >> rest);
}

std::string StampText(const FileStamp& stamp) {
    std::string text;
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s %" PRIu64 " %016" PRIx64 " %" PRIu64 " %" PRIu64 " %" PRId64
                  " %" PRId64 " %d %c %zu",
                  kStampTag, stamp.size, stamp.hash, stamp.dev, stamp.ino, stamp.mtime,
                  stamp.ctime, stamp.trusted ? 1 : 0, stamp.lineEnd == '\r' ? 'r' : 'n',
                  stamp.index.size());
    text = buf;
    text.reserve(text.size() + stamp.index.size() * 16);
    std::uint64_t at = 0;
    for (const CMboxReader::Bounds& b : stamp.index) {
        std::snprintf(buf, sizeof buf, " %" PRIu64 ",%" PRIu64 ",%" PRIu64, b.from - at,
                      b.begin - b.from, b.end - b.begin);
        text += buf;
        at = b.end;
    }
    return text;
}

// The hash of the file's first length bytes; false when the file is shorter or unreadable.
template <class Hash> bool HashPrefix(int fd, std::uint64_t length, Hash& hash) {
    std::vector<char> buffer(256 * 1024);
    while (hash.Length() < length) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - hash.Length()));
        const ssize_t got = ::pread(fd, buffer.data(), want, static_cast<off_t>(hash.Length()));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        hash.Add(buffer.data(), static_cast<std::size_t>(got));
    }
    return true;
}

} // namespace

bool MboxFileSource::CheckStamp(const std::string& remembered, std::string& current) {
    current.clear();
    m_indexed = true;
    const int fd = m_reader.Descriptor();
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct stat before {};
    if (fd < 0 || ::fstat(fd, &before) != 0) {
        m_reader.IndexFrom({}, 0);
        return false;
    }
    FileStamp was;
    const bool known = ParseStamp(remembered, was);
    FileStamp is;
    is.dev = static_cast<std::uint64_t>(before.st_dev);
    is.ino = static_cast<std::uint64_t>(before.st_ino);
    is.mtime = Ns(before.st_mtim);
    is.ctime = Ns(before.st_ctim);
    const std::uint64_t size = static_cast<std::uint64_t>(before.st_size);

    if (known && was.version == 2 && was.trusted && was.dev == is.dev && was.ino == is.ino &&
        was.size == size && was.mtime == is.mtime && was.ctime == is.ctime &&
        m_reader.Adopt(was.index) && m_reader.LineEnd() == was.lineEnd) {
        current = remembered;
        return true;
    }

    platform::CWideHash64 hash;
    bool holds = known && was.size <= size;
    if (holds && was.version == 1) {
        platform::CHash64 old;
        holds = HashPrefix(fd, was.size, old) && old.Value() == was.hash;
    } else if (holds) {
        holds = HashPrefix(fd, was.size, hash) && hash.Value() == was.hash;
    }
    bool indexed = false;
    if (holds && was.version == 2) {
        // The part read before is as it was: its messages stand.
        if (was.size == size)
            indexed = m_reader.Adopt(was.index) && m_reader.LineEnd() == was.lineEnd;
        else
            indexed =
                m_reader.IndexFrom(was.index, was.size, &hash) && m_reader.LineEnd() == was.lineEnd;
    }
    if (!indexed) {
        hash = platform::CWideHash64();
        if (!m_reader.IndexFrom({}, 0, &hash)) return false; // nothing is trusted, nor remembered
    }
    struct stat after {};
    if (hash.Length() != m_reader.Size() || ::fstat(fd, &after) != 0) return false;
    is.size = hash.Length();
    is.hash = hash.Value();
    is.lineEnd = m_reader.LineEnd();
    is.index = m_reader.Index();
    // The times stand for the bytes only when nothing changed the file while it was read, and
    // its last change was long enough before that no later one can share its times.
    is.trusted = after.st_size == before.st_size && Ns(after.st_mtim) == is.mtime &&
                 Ns(after.st_ctim) == is.ctime && is.size == size &&
                 std::max(is.mtime, is.ctime) + kSettledNs <= Ns(now);
    current = StampText(is);
    return holds;
}

namespace {

platform::Status IsMboxFile(const MailboxProbe& probe) {
    return !probe.IsFolder && (probe.Size == 0 || CMboxReader::LooksLikeMbox(probe.Path))
               ? platform::Status()
               : NotMine();
}

platform::Result<std::unique_ptr<IMailSource>> OpenMboxFile(const std::string& path) {
    auto source = std::make_unique<MboxFileSource>();
    if (platform::Status opened = source->Open(path); !opened) return opened;
    return std::unique_ptr<IMailSource>(std::move(source));
}

} // namespace

const MailSourceKind kMboxFileKind{"an mbox file", false, IsMboxFile, OpenMboxFile};
