#include "components/extractor/MessageFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "components/extractor/GMimeSetup.h"
#include "platform/Text.h"

namespace extractor {

namespace {
constexpr size_t kReadAhead = 256 * 1024;
constexpr size_t kHeadBytes = 64 * 1024;
// A header block longer than this, or with more lines, is ended there (see Examine).
constexpr gint64 kMaxHeaderBytes = 1024 * 1024;
constexpr long kMaxHeaderLines = 10000;

// Read-ahead buffers of finished messages, kept for the next ones: allocating (and the kernel
// zeroing) 256 KB per message costs more than reading a small message. Shared by the threads,
// since a message parsed ahead on one is finished on another.
class SpareBuffers {
public:
    std::unique_ptr<char[]> Take() {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (!m_spare.empty()) {
                std::unique_ptr<char[]> buffer = std::move(m_spare.back());
                m_spare.pop_back();
                return buffer;
            }
        }
        return std::unique_ptr<char[]>(new char[kReadAhead]);
    }
    void Give(std::unique_ptr<char[]> buffer) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_spare.size() < 4) m_spare.push_back(std::move(buffer));
    }

private:
    std::mutex m_lock;
    std::vector<std::unique_ptr<char[]>> m_spare;
};

SpareBuffers& TheSpareBuffers() {
    static auto* spare = new SpareBuffers;
    return *spare;
}
} // namespace

MessageFile::MessageFile(int fd) : m_fd(fd), m_cache(TheSpareBuffers().Take()) {
    struct stat st {};
    if (::fstat(m_fd, &st) == 0 && st.st_size > 0) m_fileSize = st.st_size;
    Examine();
}

MessageFile::~MessageFile() {
    if (m_fd >= 0) ::close(m_fd);
    TheSpareBuffers().Give(std::move(m_cache));
}

bool MessageFile::Fill(gint64 offset) {
    ssize_t got = ReadFile(offset, m_cache.get(), kReadAhead);
    if (got < 0) {
        m_cacheLength = 0;
        return false;
    }
    m_cacheOffset = offset;
    m_cacheLength = static_cast<size_t>(got);
    return true;
}

ssize_t MessageFile::ReadFile(gint64 offset, char* buf, size_t len) {
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::pread(m_fd, buf + done, len - done, offset + static_cast<gint64>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

MessageFile::HeaderEnd MessageFile::FindHeaderEnd(gint64 start) {
    HeaderEnd end;
    std::vector<char> chunk;
    gint64 lineStart = start;
    bool blanksOnly = true; // the line so far holds only spaces and tabs
    bool pendingCR = false; // the line's last byte so far is a CR
    long lines = 0;
    for (gint64 pos = start; pos < m_fileSize;) {
        size_t want = static_cast<size_t>(std::min<gint64>(64 * 1024, m_fileSize - pos));
        const char* data = Cached(pos, want);
        if (!data) {
            chunk.resize(want);
            ssize_t got = ReadFile(pos, chunk.data(), want);
            if (got <= 0) break;
            want = static_cast<size_t>(got);
            data = chunk.data();
        }
        for (size_t i = 0; i < want; ++i) {
            const gint64 at = pos + static_cast<gint64>(i);
            const char c = data[i];
            if (c == '\n') {
                if (at - lineStart == (pendingCR ? 1 : 0)) return end; // the empty line
                if (blanksOnly) {
                    end.kind = HeaderEnd::Blank;
                    end.at = lineStart;
                    end.after = at + 1;
                    end.crlf = pendingCR;
                    return end;
                }
                if (++lines > kMaxHeaderLines) { // a line past the last one allowed
                    end.kind = HeaderEnd::Cut;
                    end.at = lineStart;
                    return end;
                }
                lineStart = at + 1;
                blanksOnly = true;
                pendingCR = false;
                continue;
            }
            if (at - start >= kMaxHeaderBytes) {
                end.kind = HeaderEnd::Cut;
                end.at = at;
                end.midLine = at > lineStart;
                return end;
            }
            if (pendingCR || (c != ' ' && c != '\t' && c != '\r')) blanksOnly = false;
            pendingCR = c == '\r';
        }
        pos += static_cast<gint64>(want);
    }
    return end; // the file ends inside the header block: the parser reads it as it is
}

namespace {

// The start of a header that tells how the body is read.
bool IsMimeHeaderLine(const std::string& start) {
    return platform::StartsWithNoCase(start, "content-") ||
           platform::StartsWithNoCase(start, "mime-version:");
}

} // namespace

bool MessageFile::FindMimeHeadersPast(gint64 cut, bool midLine,
                                      std::vector<std::pair<gint64, gint64>>& kept,
                                      gint64& bodyStart) {
    static constexpr gint64 kMaxKept = 64 * 1024;
    gint64 keptBytes = 0;
    size_t headerFirst = 0;  // where the pieces of the header being kept begin
    bool keeping = false;    // the current header is kept
    bool skipLine = midLine; // the rest of the cut line belongs to a header left out
    std::string start;       // the line's first bytes
    gint64 lineStart = cut;
    bool blanksOnly = true, pendingCR = false;
    std::vector<char> chunk;
    for (gint64 pos = cut; pos < m_fileSize;) {
        size_t want = static_cast<size_t>(std::min<gint64>(64 * 1024, m_fileSize - pos));
        const char* data = Cached(pos, want);
        if (!data) {
            chunk.resize(want);
            ssize_t got = ReadFile(pos, chunk.data(), want);
            if (got <= 0) return false;
            want = static_cast<size_t>(got);
            data = chunk.data();
        }
        for (size_t i = 0; i < want; ++i) {
            const gint64 at = pos + static_cast<gint64>(i);
            const char c = data[i];
            if (c != '\n') {
                if (start.size() < 16) start += c;
                if (pendingCR || (c != ' ' && c != '\t' && c != '\r')) blanksOnly = false;
                pendingCR = c == '\r';
                continue;
            }
            const gint64 length = at + 1 - lineStart;
            if (skipLine) {
                skipLine = false;
            } else if (blanksOnly) { // an empty line, or one of blanks: the block ends here
                bodyStart = at + 1;
                return true;
            } else if (start[0] == ' ' || start[0] == '\t') { // folded: the header goes on
                if (keeping) {
                    kept.back().second += length;
                    keptBytes += length;
                }
            } else {
                keeping = IsMimeHeaderLine(start);
                if (keeping) {
                    headerFirst = kept.size();
                    kept.push_back({lineStart, length});
                    keptBytes += length;
                }
            }
            if (keeping && keptBytes > kMaxKept) { // too much to hold: this header is left out
                keptBytes -= kept.back().second;
                kept.resize(headerFirst);
                keeping = false;
            }
            lineStart = at + 1;
            start.clear();
            blanksOnly = true;
            pendingCR = false;
        }
        pos += static_cast<gint64>(want);
    }
    return false;
}

// Blank-only lines before the first header (some mail stores pad messages so) would end the
// header block at once: they are left out. A header block that ends with a line of blanks
// instead of an empty line is read as ended there, as mail readers do: the parser would take
// the blanks for a folded header line and lose the boundary. A header block that runs on past
// kMaxHeaderBytes or kMaxHeaderLines (no mail has one; a file that is no mail, or a damaged
// one, may) is ended there: the parser would hold all of it in memory several times over. The
// lines after the cut up to the block's real end are left out, but for the MIME headers among
// them (they tell how the body is read, so that its parts still come out); the body follows.
// A block that never ends has what follows the cut read as the body. A file without a final line end gets one in its style (the
// parser leaves the CR of the last CR LF in a part whose closing boundary ends the file); the
// inserted bytes never reach a written file.
void MessageFile::Examine() {
    if (m_fileSize > 0) Fill(0);
    std::string_view text(m_cache.get(), std::min(m_cacheLength, kHeadBytes));

    auto blankOnly = [](std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return !line.empty() && line.find_first_not_of(" \t") == std::string_view::npos;
    };
    size_t headerStart = 0;
    for (;;) {
        size_t eol = text.find('\n', headerStart);
        if (eol == std::string_view::npos ||
            !blankOnly(text.substr(headerStart, eol - headerStart)))
            break;
        headerStart = eol + 1;
    }
    const std::string lineEnd = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";

    auto add = [this](gint64 fileOffset, gint64 length, std::string literal) {
        if (length <= 0) return;
        m_pieces.push_back({m_length, length, fileOffset, std::move(literal)});
        m_length += length;
    };
    const gint64 start = static_cast<gint64>(headerStart);
    const HeaderEnd end = FindHeaderEnd(start);
    switch (end.kind) {
    case HeaderEnd::Blank:
        add(start, end.at - start, {});
        add(-1, end.crlf ? 2 : 1, end.crlf ? "\r\n" : "\n");
        add(end.after, m_fileSize - end.after, {});
        break;
    case HeaderEnd::Cut: {
        const gint64 ends = static_cast<gint64>(lineEnd.size());
        std::vector<std::pair<gint64, gint64>> kept;
        gint64 bodyStart = 0;
        add(start, end.at - start, {});
        if (end.midLine) add(-1, ends, lineEnd);
        if (FindMimeHeadersPast(end.at, end.midLine, kept, bodyStart)) {
            for (const auto& [offset, length] : kept)
                add(offset, length, {});
            add(-1, ends, lineEnd);
            add(bodyStart, m_fileSize - bodyStart, {});
        } else {
            add(-1, ends, lineEnd);
            add(end.at, m_fileSize - end.at, {});
        }
        break;
    }
    case HeaderEnd::Normal:
        add(start, m_fileSize - start, {});
        break;
    }
    char last = 0;
    if (const char* cached = Cached(m_fileSize - 1, 1))
        last = *cached;
    else if (m_fileSize > 0 && ReadFile(m_fileSize - 1, &last, 1) != 1)
        last = '\n';
    if (m_fileSize > 0 && last != '\n') add(-1, static_cast<gint64>(lineEnd.size()), lineEnd);
}

bool MessageFile::FilePiece(gint64 pos, gint64& fileOffset, gint64& count,
                            gint64& pieceEnd) const {
    auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), pos,
                               [](gint64 p, const Piece& piece) { return p < piece.start; });
    if (it == m_pieces.begin() || pos >= m_length) {
        pieceEnd = pos >= m_length ? pos : m_pieces.front().start;
        return false;
    }
    const Piece& piece = *(it - 1);
    pieceEnd = piece.start + piece.length;
    if (piece.fileOffset < 0) return false;
    fileOffset = piece.fileOffset + (pos - piece.start);
    count = pieceEnd - pos;
    return true;
}

ssize_t MessageFile::ReadLogical(gint64 pos, char* buf, size_t len) {
    if (pos >= m_length || len == 0) return 0;
    auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), pos,
                               [](gint64 p, const Piece& piece) { return p < piece.start; });
    if (it == m_pieces.begin()) return 0;
    const Piece& piece = *(it - 1);
    gint64 inPiece = pos - piece.start;
    size_t n = static_cast<size_t>(std::min<gint64>(static_cast<gint64>(len), piece.length - inPiece));
    if (piece.fileOffset < 0) {
        std::memcpy(buf, piece.text.data() + inPiece, n);
        return static_cast<ssize_t>(n);
    }
    gint64 offset = piece.fileOffset + inPiece;
    const char* cached = Cached(offset, n);
    if (!cached) {
        if (n >= kReadAhead) return ReadFile(offset, buf, n);
        if (!Fill(offset)) return -1;
        n = std::min(n, m_cacheLength);
        cached = m_cache.get();
    }
    std::memcpy(buf, cached, n);
    return static_cast<ssize_t>(n);
}

} // namespace extractor

// The GMime stream class. Positions are absolute, as in GMime's own streams: a substream
// keeps the positions of its parent, bounded by bound_start and bound_end (-1: to the end).
extern "C" {

typedef struct {
    GMimeStream parent;
    std::shared_ptr<extractor::MessageFile>* file;
} KestrelFileStream;

typedef struct {
    GMimeStreamClass parent_class;
} KestrelFileStreamClass;

GType kestrel_file_stream_get_type(void);
}

G_DEFINE_TYPE(KestrelFileStream, kestrel_file_stream, GMIME_TYPE_STREAM)

namespace {

KestrelFileStream* Self(GMimeStream* stream) {
    return reinterpret_cast<KestrelFileStream*>(stream);
}

gint64 EndOf(GMimeStream* stream) {
    gint64 length = (*Self(stream)->file)->Length();
    return stream->bound_end == -1 ? length : std::min(stream->bound_end, length);
}

ssize_t StreamRead(GMimeStream* stream, char* buf, size_t len) {
    gint64 end = EndOf(stream);
    if (stream->position >= end) return 0;
    len = static_cast<size_t>(std::min<gint64>(static_cast<gint64>(len), end - stream->position));
    ssize_t n = (*Self(stream)->file)->ReadLogical(stream->position, buf, len);
    if (n > 0) stream->position += n;
    return n;
}

ssize_t StreamWrite(GMimeStream*, const char*, size_t) {
    errno = EBADF;
    return -1;
}

int StreamFlush(GMimeStream*) {
    return 0;
}

int StreamClose(GMimeStream*) {
    return 0;
}

gboolean StreamEos(GMimeStream* stream) {
    return stream->position >= EndOf(stream);
}

int StreamReset(GMimeStream* stream) {
    stream->position = stream->bound_start;
    return 0;
}

gint64 StreamSeek(GMimeStream* stream, gint64 offset, GMimeSeekWhence whence) {
    gint64 real = offset;
    if (whence == GMIME_STREAM_SEEK_CUR)
        real = stream->position + offset;
    else if (whence == GMIME_STREAM_SEEK_END)
        real = EndOf(stream) + offset;
    if (real < stream->bound_start || real > EndOf(stream)) {
        errno = EINVAL;
        return -1;
    }
    stream->position = real;
    return real;
}

gint64 StreamTell(GMimeStream* stream) {
    return stream->position;
}

gint64 StreamLength(GMimeStream* stream) {
    return EndOf(stream) - stream->bound_start;
}

GMimeStream* StreamSubstream(GMimeStream* stream, gint64 start, gint64 end) {
    auto* sub =
        static_cast<GMimeStream*>(g_object_new(kestrel_file_stream_get_type(), nullptr));
    Self(sub)->file = new std::shared_ptr<extractor::MessageFile>(*Self(stream)->file);
    g_mime_stream_construct(sub, start, end);
    return sub;
}

void StreamFinalize(GObject* object) {
    auto* self = reinterpret_cast<KestrelFileStream*>(object);
    delete self->file;
    self->file = nullptr;
    G_OBJECT_CLASS(kestrel_file_stream_parent_class)->finalize(object);
}

} // namespace

static void kestrel_file_stream_class_init(KestrelFileStreamClass* klass) {
    GMimeStreamClass* stream = GMIME_STREAM_CLASS(klass);
    G_OBJECT_CLASS(klass)->finalize = StreamFinalize;
    stream->read = StreamRead;
    stream->write = StreamWrite;
    stream->flush = StreamFlush;
    stream->close = StreamClose;
    stream->eos = StreamEos;
    stream->reset = StreamReset;
    stream->seek = StreamSeek;
    stream->tell = StreamTell;
    stream->length = StreamLength;
    stream->substream = StreamSubstream;
}

static void kestrel_file_stream_init(KestrelFileStream* self) {
    self->file = nullptr;
}

namespace extractor {

GMimeStream* NewMessageFileStream(std::shared_ptr<MessageFile> file) {
    auto* stream =
        static_cast<GMimeStream*>(g_object_new(kestrel_file_stream_get_type(), nullptr));
    Self(stream)->file = new std::shared_ptr<MessageFile>(std::move(file));
    g_mime_stream_construct(stream, 0, -1);
    return stream;
}

MessageFile* MessageFileOf(GMimeStream* stream, gint64& start, gint64& end) {
    if (!stream || !G_TYPE_CHECK_INSTANCE_TYPE(stream, kestrel_file_stream_get_type()))
        return nullptr;
    start = stream->bound_start;
    end = EndOf(stream);
    return Self(stream)->file->get();
}

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

} // namespace extractor
