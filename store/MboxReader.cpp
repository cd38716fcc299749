#include "store/MboxReader.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/Hash.h"
#include "platform/Text.h"

namespace {

constexpr std::size_t kBufferSize = 128 * 1024;
constexpr char kFrom[] = "From ";
constexpr std::size_t kFromSize = 5;
// What is looked at to tell the kind and line end of a file.
constexpr std::size_t kHeadSize = 64 * 1024;
// Header text kept to find a last message's boundary and length.
constexpr std::size_t kMaxHeader = 1024 * 1024;

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

    LineScanner(int fd, std::uint64_t begin, std::uint64_t end, char lineEnd = '\n')
        : m_fd(fd), m_buffer(kBufferSize), m_base(begin), m_next(begin), m_end(end),
          m_lineEnd(lineEnd) {}

    // False at the end of the range, and when the file cannot be read to its end (Failed).
    bool Next(Piece& piece) {
        for (;;) {
            const std::size_t held = m_filled - m_pos;
            const char* start = m_buffer.data() + m_pos;
            const char* newline = static_cast<const char*>(std::memchr(start, m_lineEnd, held));
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
            // An error, or a file that shrank under us (a read that gives nothing): what is
            // left is not there, and reading on would never reach it.
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
    char m_lineEnd;
    bool m_atLineStart = true;
    bool m_failed = false;
};

bool StartsWith(const char* data, std::size_t size, const char* prefix, std::size_t n) {
    return size >= n && std::memcmp(data, prefix, n) == 0;
}

// Length of a line end at the end of the piece: 2 for CRLF, 1 for LF (or, in a file whose
// lines end in CR alone, for CR), 0 for none.
std::size_t LineEndSize(const char* data, std::size_t size, char lineEnd = '\n') {
    if (size == 0 || data[size - 1] != lineEnd) return 0;
    return lineEnd == '\n' && size >= 2 && data[size - 2] == '\r' ? 2 : 1;
}

// A line of nothing but blanks and tabs before its line end.
bool IsBlankLine(const char* data, std::size_t size, char lineEnd) {
    size -= LineEndSize(data, size, lineEnd);
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] != ' ' && data[i] != '\t' && data[i] != '\r') return false;
    return true;
}

// The line end of a file: CR when its first line break is a CR alone (as old Macintosh
// programs write), else LF (CRLF included).
char FileLineEnd(const char* head, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (head[i] == '\n') return '\n';
        if (head[i] == '\r') return i + 1 < size && head[i + 1] == '\n' ? '\n' : '\r';
    }
    return '\n';
}

// What tells whether a message ends where its structure says it does: the boundary of a
// multipart message (its closing line must come) and the length its Content-Length field gives.
struct MessageShape {
    std::string closing; // "--boundary--", or empty
    std::optional<std::uint64_t> contentLength;
};

// The value of a header field (unfolded), from header lines with LF line ends.
std::optional<std::string> FieldValue(const std::string& header, const char* name) {
    std::size_t at = 0;
    while (at < header.size()) {
        std::size_t end = header.find('\n', at);
        if (end == std::string::npos) end = header.size();
        if (platform::StartsWithNoCase(std::string_view(header).substr(at), name)) {
            std::string value = header.substr(at + std::strlen(name), end - at - std::strlen(name));
            // Continuation lines begin with a blank or a tab.
            while (end + 1 < header.size() && (header[end + 1] == ' ' || header[end + 1] == '\t')) {
                std::size_t next = header.find('\n', end + 1);
                if (next == std::string::npos) next = header.size();
                value += header.substr(end + 1, next - end - 1);
                end = next;
            }
            return value;
        }
        at = end + 1;
    }
    return std::nullopt;
}

MessageShape ReadShape(const std::string& header) {
    MessageShape shape;
    if (std::optional<std::string> type = FieldValue(header, "content-type:")) {
        std::string lower = platform::ToLower(*type);
        std::size_t media = lower.find_first_not_of(" \t\r");
        std::size_t b = lower.find("boundary=");
        if (media != std::string::npos && lower.compare(media, 10, "multipart/") == 0 &&
            b != std::string::npos) {
            std::string boundary = type->substr(b + 9);
            if (!boundary.empty() && boundary[0] == '"') {
                std::size_t close = boundary.find('"', 1);
                boundary = boundary.substr(1, close == std::string::npos ? std::string::npos
                                                                         : close - 1);
            } else {
                boundary = boundary.substr(0, boundary.find_first_of("; \t\r"));
            }
            if (!boundary.empty()) shape.closing = "--" + boundary + "--";
        }
    }
    if (std::optional<std::string> length = FieldValue(header, "content-length:")) {
        const std::string digits = platform::Trim(*length);
        if (!digits.empty() && digits.size() < 19 &&
            digits.find_first_not_of("0123456789") == std::string::npos)
            shape.contentLength = std::stoull(digits);
    }
    return shape;
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
    while (size > 0 && (line[size - 1] == '\n' || line[size - 1] == '\r'))
        --size;
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
    // Blank lines may come first: some programs leave them when they empty or join folders.
    char head[kHeadSize];
    ssize_t got;
    do {
        got = ::pread(fd.Get(), head, sizeof head, 0);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    const std::size_t size = static_cast<std::size_t>(got);
    std::size_t at = 0;
    while (at < size &&
           (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n'))
        ++at;
    // Only whole lines of blanks count: the "From " must begin a line.
    while (at > 0 && head[at - 1] != '\n' && head[at - 1] != '\r')
        --at;
    return StartsWith(head + at, size - at, kFrom, kFromSize);
}

platform::Status CMboxReader::Open(const std::string& path, bool index) {
    using platform::Status;
    using platform::StatusCode;
    Close();
    std::string refusal;
    m_fd = platform::UniqueFd(platform::OpenFileForReading(path, UINT64_MAX, &refusal));
    if (!m_fd.IsOpen())
        return Status(refusal.empty() ? StatusCode::Missing : StatusCode::Refused, refusal);
    if (!Prepare() || (index && !Scan(0, nullptr))) {
        Status failed(StatusCode::Unreadable, std::strerror(errno ? errno : EIO));
        Close();
        return failed;
    }
    return {};
}

void CMboxReader::Close() {
    m_fd.Close();
    m_messages.clear();
    m_messages.shrink_to_fit();
    m_lineEnd = '\n';
    m_size = 0;
}

bool CMboxReader::Prepare() {
    m_messages.clear();
    struct stat st;
    if (::fstat(m_fd.Get(), &st) != 0) return false;
    m_size = static_cast<std::uint64_t>(st.st_size);
    std::vector<char> head(std::min<std::uint64_t>(m_size, kHeadSize));
    ssize_t got;
    do {
        got = ::pread(m_fd.Get(), head.data(), head.size(), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0 || static_cast<std::size_t>(got) != head.size()) return false;
    m_lineEnd = FileLineEnd(head.data(), head.size());
    return true;
}

bool CMboxReader::Fits(const std::vector<Bounds>& known) const {
    std::uint64_t at = 0;
    for (const Bounds& b : known) {
        if (b.from < at || b.begin < b.from || b.end < b.begin || b.end > m_size) return false;
        at = b.end;
    }
    return true;
}

bool CMboxReader::Adopt(const std::vector<Bounds>& known) {
    if (!m_fd.IsOpen() || !Prepare()) return false;
    // The last message reaches the end of the file, or the empty line before it.
    if (!Fits(known) || (!known.empty() && m_size - known.back().end > 2)) return false;
    m_messages = known;
    return true;
}

bool CMboxReader::IndexFrom(const std::vector<Bounds>& known, std::uint64_t knownSize,
                            platform::CWideHash64* hash) {
    if (!m_fd.IsOpen() || !Prepare()) return false;
    if (!Fits(known) || knownSize > m_size || (!known.empty() && known.back().end > knownSize))
        return false;
    // The file is read again from the separator line of the last known message whose
    // separator line ended before the old end: that message's end depends on what follows it,
    // and a line the old end cut short may read differently now that it goes on ("From a ...
    // 2004" may be "From a ... 20045", no separator). One that is the file's first may have
    // been a separator only by being first, so the file is then read whole.
    std::size_t last = known.size();
    while (last > 0 && known[last - 1].begin >= knownSize)
        --last;
    if (last < 2) return Scan(0, hash);
    m_messages.assign(known.begin(), known.begin() + static_cast<std::ptrdiff_t>(last - 1));
    const std::uint64_t from = known[last - 1].from;
    if (!Scan(from, hash)) return false;
    // What was known holds only when reading from there found a message there.
    if (m_messages.size() >= last && m_messages[last - 1].from == from) return true;
    m_messages.clear();
    return false;
}

bool CMboxReader::Scan(std::uint64_t start, platform::CWideHash64* hash) {
    const std::uint64_t size = m_size;
    LineScanner lines(m_fd.Get(), start, size, m_lineEnd);
    LineScanner::Piece piece;
    // The empty line that may end the message before the next separator.
    std::uint64_t emptyLineAt = 0;
    bool lastLineEmpty = false;
    // Only blank lines so far: the first "From " line after them is a separator however it
    // goes on, as it is at the very start of the file. Reading on from a known separator line
    // starts the same way.
    bool onlyBlank = true;
    // Messages found before start are closed already.
    const std::size_t known = m_messages.size();
    auto close = [&](std::uint64_t at) {
        if (m_messages.size() <= known) return;
        Message& m = m_messages.back();
        m.end = lastLineEmpty && emptyLineAt >= m.begin ? emptyLineAt : at;
    };
    while (lines.Next(piece)) {
        if (hash && piece.offset + piece.size > hash->Length()) {
            const std::uint64_t skip = hash->Length() > piece.offset ? hash->Length() - piece.offset : 0;
            hash->Add(piece.data + skip, piece.size - static_cast<std::size_t>(skip));
        }
        const bool wholeLine = piece.lineStart && piece.lineEnd;
        if (wholeLine && StartsWith(piece.data, piece.size, kFrom, kFromSize) &&
            (onlyBlank || IsEnvelopeLine(piece.data, piece.size))) {
            close(piece.offset);
            m_messages.push_back({piece.offset, piece.offset + piece.size, size});
            lastLineEmpty = false;
            onlyBlank = false;
            continue;
        }
        if (onlyBlank && wholeLine && IsBlankLine(piece.data, piece.size, m_lineEnd)) continue;
        if (m_messages.size() <= known) // text before any separator
            m_messages.push_back({start, start, size});
        onlyBlank = false;
        // Only a whole line can be the empty one; a later piece of a long line never is.
        lastLineEmpty = wholeLine && LineEndSize(piece.data, piece.size, m_lineEnd) == piece.size;
        if (lastLineEmpty) emptyLineAt = piece.offset;
    }
    if (lines.Failed()) {
        // What could not be read is a message the run says it cannot read.
        if (m_messages.size() <= known) m_messages.push_back({start, start, size});
        return false;
    }
    close(size);
    return true;
}

std::uint64_t CMboxReader::Offset(int index) const {
    return Valid(index) ? m_messages[static_cast<std::size_t>(index)].from : 0;
}

// Appends a line to out as the message has it: one ">" less before "From ", and in a file whose
// lines end in CR alone, LF in place of the CR (mail programs and the extractor read LF).
void CMboxReader::AppendLine(const char* data, std::size_t size, bool lineStart,
                             std::string& out) const {
    std::size_t drop = lineStart ? QuoteToDrop(data, size) : 0;
    out.append(data + drop, size - drop);
    if (m_lineEnd == '\r' && !out.empty() && out.back() == '\r') out.back() = '\n';
}

MailTextWrite CMboxReader::WriteMessage(int index, int fd) {
    if (!Valid(index) || !m_fd.IsOpen()) return MailTextWrite::Unreadable;
    const Message& m = m_messages[static_cast<std::size_t>(index)];
    LineScanner lines(m_fd.Get(), m.begin, m.end, m_lineEnd);
    LineScanner::Piece piece;
    std::string out;
    out.reserve(kBufferSize);
    // The file's end cuts the last message short only when it stops inside the message's
    // structure: a multipart message without its closing boundary line, or a body shorter
    // than its Content-Length field says. A last line without a line end is how many files
    // end.
    const bool last = index == Count() - 1;
    bool inHeader = last;
    std::string header;
    MessageShape shape;
    bool closed = false;
    std::uint64_t bodyAt = m.end;
    while (lines.Next(piece)) {
        const std::size_t before = out.size();
        AppendLine(piece.data, piece.size, piece.lineStart, out);
        if (inHeader) {
            if (piece.lineStart && piece.lineEnd &&
                LineEndSize(piece.data, piece.size, m_lineEnd) == piece.size) {
                inHeader = false;
                bodyAt = piece.offset + piece.size;
                shape = ReadShape(header);
            } else if (header.size() < kMaxHeader) {
                header.append(out, before, std::string::npos);
            }
        } else if (last && piece.lineStart && !shape.closing.empty() &&
                   StartsWith(piece.data, piece.size, shape.closing.data(),
                              shape.closing.size())) {
            closed = true;
        }
        if (out.size() >= kBufferSize / 2) {
            if (!platform::WriteAll(fd, out)) return MailTextWrite::WriteFailed;
            out.clear();
        }
    }
    if (!platform::WriteAll(fd, out)) return MailTextWrite::WriteFailed;
    if (lines.Failed()) return MailTextWrite::Unreadable;
    if (!last) return MailTextWrite::Written;
    if (inHeader) shape = ReadShape(header); // the header never ends: no body at all
    const bool openMultipart = !shape.closing.empty() && !closed;
    const bool shortBody = shape.contentLength && *shape.contentLength > m_size - bodyAt;
    return openMultipart || shortBody ? MailTextWrite::Cut : MailTextWrite::Written;
}

bool CMboxReader::ReadHeaderBlock(int index, std::size_t limit, std::string& block) {
    block.clear();
    if (!Valid(index) || !m_fd.IsOpen()) return false;
    const Message& m = m_messages[static_cast<std::size_t>(index)];
    LineScanner lines(m_fd.Get(), m.begin, m.end, m_lineEnd);
    LineScanner::Piece piece;
    std::string line;
    while (block.size() < limit && lines.Next(piece)) {
        if (piece.lineStart && piece.lineEnd &&
            LineEndSize(piece.data, piece.size, m_lineEnd) == piece.size)
            break; // the empty line that ends the header
        line.clear();
        AppendLine(piece.data, piece.size, piece.lineStart, line);
        block.append(line, 0, limit - block.size());
    }
    return !lines.Failed();
}
