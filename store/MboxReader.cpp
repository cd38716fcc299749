#include "store/MboxReader.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"

namespace {

constexpr std::size_t kBufferSize = 128 * 1024;
constexpr char kFrom[] = "From ";
constexpr std::size_t kFromSize = 5;

// The lines of a byte range of a file, read in large pieces. A line longer than the buffer comes
// in several pieces; only the first has lineStart set.
class LineScanner {
public:
    struct Piece {
        std::uint64_t offset = 0;
        const char* data = nullptr;
        std::size_t size = 0;
        bool lineStart = false;
        bool lineEnd = false; // ends in a line break (or is the last of the range)
    };

    LineScanner(int fd, std::uint64_t begin, std::uint64_t end)
        : m_fd(fd), m_buffer(kBufferSize), m_base(begin), m_next(begin), m_end(end) {}

    // False at the end of the range, and when the file cannot be read to its end (Failed).
    bool Next(Piece& piece) {
        for (;;) {
            const std::size_t held = m_filled - m_pos;
            const char* start = m_buffer.data() + m_pos;
            const char* newline = static_cast<const char*>(std::memchr(start, '\n', held));
            if (newline) return Emit(piece, static_cast<std::size_t>(newline - start) + 1, true);
            if (m_next < m_end && (m_pos > 0 || m_filled < m_buffer.size())) {
                if (!Fill()) return false;
                continue;
            }
            if (held == 0) return false;
            return Emit(piece, held, m_next >= m_end);
        }
    }
    bool Failed() const { return m_failed; }

private:
    bool Emit(Piece& piece, std::size_t size, bool lineEnd) {
        piece.offset = m_base + m_pos;
        piece.data = m_buffer.data() + m_pos;
        piece.size = size;
        piece.lineStart = m_atLineStart;
        piece.lineEnd = lineEnd;
        m_atLineStart = lineEnd;
        m_pos += size;
        return true;
    }

    bool Fill() {
        if (m_pos > 0) {
            std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_filled - m_pos);
            m_base += m_pos;
            m_filled -= m_pos;
            m_pos = 0;
        }
        std::uint64_t want = std::min<std::uint64_t>(m_buffer.size() - m_filled, m_end - m_next);
        ssize_t got;
        do {
            got = ::pread(m_fd, m_buffer.data() + m_filled, want, static_cast<off_t>(m_next));
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            // An error, or a file that shrank under us: what is left is not there.
            m_failed = true;
            return false;
        }
        m_filled += static_cast<std::size_t>(got);
        m_next += static_cast<std::uint64_t>(got);
        return true;
    }

    int m_fd;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0, m_filled = 0;
    std::uint64_t m_base; // file offset of m_buffer[0]
    std::uint64_t m_next; // next offset to read
    std::uint64_t m_end;
    bool m_atLineStart = true;
    bool m_failed = false;
};

bool StartsWith(const char* data, std::size_t size, const char* prefix, std::size_t n) {
    return size >= n && std::memcmp(data, prefix, n) == 0;
}

// Length of a line end at the end of the piece: 2 for CRLF, 1 for LF, 0 for none.
std::size_t LineEndSize(const char* data, std::size_t size) {
    if (size == 0 || data[size - 1] != '\n') return 0;
    return size >= 2 && data[size - 2] == '\r' ? 2 : 1;
}

// The number of ">" to drop at the start of a line: one when ">+From " begins it.
std::size_t QuoteToDrop(const char* data, std::size_t size) {
    std::size_t n = 0;
    while (n < size && data[n] == '>')
        ++n;
    return n > 0 && StartsWith(data + n, size - n, kFrom, kFromSize) ? 1 : 0;
}

bool IsMonthName(const std::string& word) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (const char* m : kMonths)
        if (word == m) return true;
    return false;
}

bool AllDigits(const std::string& word, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(word[i]))) return false;
    return from < to;
}

// "h:mm", "hh:mm" or "hh:mm:ss".
bool IsTime(const std::string& word) {
    std::size_t colon = word.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2) return false;
    if (!AllDigits(word, 0, colon)) return false;
    if (word.size() == colon + 3) return AllDigits(word, colon + 1, word.size());
    return word.size() == colon + 6 && word[colon + 3] == ':' &&
           AllDigits(word, colon + 1, colon + 3) && AllDigits(word, colon + 4, word.size());
}

} // namespace

bool CMboxReader::IsEnvelopeLine(const char* line, std::size_t size) {
    if (!StartsWith(line, size, kFrom, kFromSize)) return false;
    size -= LineEndSize(line, size);
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = kFromSize; i <= size; ++i) {
        if (i == size || line[i] == ' ' || line[i] == '\t') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += line[i];
        }
    }
    // The sender first, then the date's parts in any order a writer chose.
    bool month = false, time = false, year = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        month = month || IsMonthName(words[i]);
        time = time || IsTime(words[i]);
        year = year || (words[i].size() == 4 && AllDigits(words[i], 0, 4));
    }
    return month && time && year;
}

bool CMboxReader::LooksLikeMbox(const std::string& path) {
    platform::UniqueFd fd(platform::OpenFileForReading(path, UINT64_MAX));
    if (!fd.IsOpen()) return false;
    char head[kFromSize];
    ssize_t got;
    do {
        got = ::pread(fd.Get(), head, sizeof head, 0);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(kFromSize) && std::memcmp(head, kFrom, kFromSize) == 0;
}

bool CMboxReader::Open(const std::string& path, std::string* why) {
    Close();
    m_fd = platform::UniqueFd(platform::OpenFileForReading(path, UINT64_MAX, why));
    if (!m_fd.IsOpen()) return false;
    if (!Index()) {
        if (why) *why = std::strerror(errno ? errno : EIO);
        Close();
        return false;
    }
    return true;
}

void CMboxReader::Close() {
    m_fd.Close();
    m_messages.clear();
    m_messages.shrink_to_fit();
    m_cut = false;
}

bool CMboxReader::Index() {
    struct stat st;
    if (::fstat(m_fd.Get(), &st) != 0) return false;
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    LineScanner lines(m_fd.Get(), 0, size);
    LineScanner::Piece piece;
    // The empty line that may end the message before the next separator.
    std::uint64_t emptyLineAt = 0;
    bool lastLineEmpty = false;
    auto close = [&](std::uint64_t at) {
        if (m_messages.empty()) return;
        Message& m = m_messages.back();
        m.end = lastLineEmpty && emptyLineAt >= m.begin ? emptyLineAt : at;
    };
    while (lines.Next(piece)) {
        const bool wholeLine = piece.lineStart && piece.lineEnd;
        if (wholeLine && StartsWith(piece.data, piece.size, kFrom, kFromSize) &&
            (piece.offset == 0 || IsEnvelopeLine(piece.data, piece.size))) {
            close(piece.offset);
            m_messages.push_back({piece.offset, piece.offset + piece.size, size});
            lastLineEmpty = false;
            continue;
        }
        if (m_messages.empty()) m_messages.push_back({0, 0, size}); // text before any separator
        // Only a whole line can be the empty one; a later piece of a long line never is.
        lastLineEmpty =
            piece.lineStart && piece.lineEnd && LineEndSize(piece.data, piece.size) == piece.size;
        if (lastLineEmpty) emptyLineAt = piece.offset;
    }
    if (lines.Failed()) return false;
    close(size);
    if (size > 0) {
        char last = 0;
        ssize_t got;
        do {
            got = ::pread(m_fd.Get(), &last, 1, static_cast<off_t>(size - 1));
        } while (got < 0 && errno == EINTR);
        if (got != 1) return false;
        m_cut = last != '\n';
    }
    return true;
}

std::uint64_t CMboxReader::Offset(int index) const {
    return Valid(index) ? m_messages[static_cast<std::size_t>(index)].from : 0;
}

MboxWrite CMboxReader::WriteMessage(int index, int fd) {
    if (!Valid(index) || !m_fd.IsOpen()) return MboxWrite::Unreadable;
    const Message& m = m_messages[static_cast<std::size_t>(index)];
    LineScanner lines(m_fd.Get(), m.begin, m.end);
    LineScanner::Piece piece;
    std::string out;
    out.reserve(kBufferSize);
    while (lines.Next(piece)) {
        std::size_t drop = piece.lineStart ? QuoteToDrop(piece.data, piece.size) : 0;
        out.append(piece.data + drop, piece.size - drop);
        if (out.size() >= kBufferSize / 2) {
            if (!platform::WriteAll(fd, out)) return MboxWrite::WriteFailed;
            out.clear();
        }
    }
    if (!platform::WriteAll(fd, out)) return MboxWrite::WriteFailed;
    if (lines.Failed()) return MboxWrite::Unreadable;
    return m_cut && index == Count() - 1 ? MboxWrite::Cut : MboxWrite::Written;
}

bool CMboxReader::ReadHeaderBlock(int index, std::size_t limit, std::string& block) {
    block.clear();
    if (!Valid(index) || !m_fd.IsOpen()) return false;
    const Message& m = m_messages[static_cast<std::size_t>(index)];
    LineScanner lines(m_fd.Get(), m.begin, m.end);
    LineScanner::Piece piece;
    while (block.size() < limit && lines.Next(piece)) {
        if (piece.lineStart && piece.lineEnd && LineEndSize(piece.data, piece.size) == piece.size)
            break; // the empty line that ends the header
        std::size_t drop = piece.lineStart ? QuoteToDrop(piece.data, piece.size) : 0;
        block.append(piece.data + drop, std::min(piece.size - drop, limit - block.size()));
    }
    return !lines.Failed();
}
