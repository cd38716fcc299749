#pragma once
// A message file as the GMime parser reads it: a GMimeStream over the file, with the few
// corrections the parser needs (blank-only lines before the headers left out, a blank-only
// line that ends the headers read as an empty one, a header block that runs on too long ended,
// a final line end when the file lacks one).
// Reads go to the file in large blocks; each part's content stays a window on the file, and
// the real file bytes behind any window can be read back without the corrections.
#include <gmime/gmime.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileHandle.h"

namespace extractor {

class MessageFile {
public:
    // Takes over fd. Looks at the start of the file (blank-only lines before the headers, a
    // header block that ends with a blank-only line) and at its last byte.
    explicit MessageFile(int fd);
    ~MessageFile();
    MessageFile(const MessageFile&) = delete;
    MessageFile& operator=(const MessageFile&) = delete;

    // Length of the stream the parser sees.
    gint64 Length() const { return m_length; }

    // Up to len bytes of the parser's stream from pos; 0 at its end, -1 on a read error.
    ssize_t ReadLogical(gint64 pos, char* buf, size_t len);

    // The file bytes behind the parser's range [start, end): the inserted line ends are left
    // out. Calls sink(data, n) for each piece read (at most `block` bytes); false when a read
    // fails or the sink answers false.
    template <typename Sink> bool ReadFileBytes(gint64 start, gint64 end, char* block,
                                                size_t blockSize, Sink&& sink);

    // Maps a parser position to the stream's piece: the file offset of pos and how many file
    // bytes follow it in that piece; false for an inserted piece (offset and count then give
    // the piece's end as a parser position).
    bool FilePiece(gint64 pos, gint64& fileOffset, gint64& count, gint64& pieceEnd) const;

    // pread with EINTR handled; a short count only at the end of the file.
    ssize_t ReadFile(gint64 offset, char* buf, size_t len);

    int Fd() const { return m_fd; }

private:
    // The read-ahead's bytes for the file range, or null when it does not hold all of them.
    const char* Cached(gint64 offset, size_t len) const {
        if (offset < m_cacheOffset ||
            offset + static_cast<gint64>(len) > m_cacheOffset + static_cast<gint64>(m_cacheLength))
            return nullptr;
        return m_cache.get() + (offset - m_cacheOffset);
    }
    // Reads the read-ahead block at offset; false on a read error.
    bool Fill(gint64 offset);

    struct Piece {
        gint64 start;      // position in the parser's stream
        gint64 length;
        gint64 fileOffset; // -1: the piece is `text`, not in the file
        std::string text;
    };
    void Examine();
    // Where the message's header block, from start, ends (see Examine).
    struct HeaderEnd {
        enum Kind { Normal, Blank, Cut } kind = Normal;
        gint64 at = 0;        // Blank: where the line of blanks begins; Cut: where it is cut
        gint64 after = 0;     // Blank: just past that line
        bool crlf = false;    // Blank: that line ends in CR LF
        bool midLine = false; // Cut inside a line
    };
    HeaderEnd FindHeaderEnd(gint64 start);
    // Past a header block cut at `cut`: the MIME header lines (Content-*, MIME-Version, with
    // their folded lines) up to the block's real end, as file ranges (offset, length), and
    // where the body begins after that end. False when the block never ends.
    bool FindMimeHeadersPast(gint64 cut, bool midLine,
                             std::vector<std::pair<gint64, gint64>>& kept, gint64& bodyStart);

    int m_fd;
    gint64 m_fileSize = 0;
    gint64 m_length = 0;
    std::vector<Piece> m_pieces;
    // Read-ahead for the parser, which reads a few KB at a time (a buffer reused across
    // messages, see MessageFile.cpp).
    std::unique_ptr<char[]> m_cache;
    gint64 m_cacheOffset = 0; // file offset of m_cache[0]
    size_t m_cacheLength = 0;
};

template <typename Sink>
bool MessageFile::ReadFileBytes(gint64 start, gint64 end, char* block, size_t blockSize,
                                Sink&& sink) {
    gint64 pos = start;
    while (pos < end) {
        gint64 offset = 0, count = 0, pieceEnd = 0;
        if (!FilePiece(pos, offset, count, pieceEnd)) {
            if (pieceEnd <= pos) return true; // past the end of the stream
            pos = pieceEnd;
            continue;
        }
        gint64 want = std::min<gint64>({count, end - pos, static_cast<gint64>(blockSize)});
        if (const char* cached = Cached(offset, static_cast<size_t>(want))) {
            // Small messages are read once, by the parser's read-ahead.
            if (!sink(cached, static_cast<size_t>(want))) return false;
            pos += want;
            continue;
        }
        ssize_t n = ReadFile(offset, block, static_cast<size_t>(want));
        if (n < 0) return false;
        if (n == 0) return true; // the file shrank
        if (!sink(block, static_cast<size_t>(n))) return false;
        pos += n;
    }
    return true;
}

// A new parser stream on the message file (the stream keeps it alive). Its substreams, which
// the parser makes for each part's content, are streams of the same kind.
GMimeStream* NewMessageFileStream(std::shared_ptr<MessageFile> file);

// The message file behind a stream made by NewMessageFileStream (or one of its substreams),
// and the stream's window on it as parser positions; null for any other stream.
MessageFile* MessageFileOf(GMimeStream* stream, gint64& start, gint64& end);

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// Owns one GObject reference.
template <typename T> using GRef = std::unique_ptr<T, GObjectUnref>;

// A parsed message and the file under it (kept open while the message lives).
struct ParsedMessage {
    GRef<GMimeMessage> message;
    std::shared_ptr<MessageFile> file;
};

// Opens a message file for reading, non-blocking so that a fifo put in place of a message
// cannot hang the run; not open when it cannot be opened (errno set) or is no regular file
// (`why` says which).
platform::UniqueFd OpenMessageFile(const std::string& messagePath, struct stat& st,
                                   std::string& why);

// Parses the message file open at fd (taken over): each part's content stays a window on the
// file until it is decoded.
ParsedMessage ParseMessageFile(int fd);

} // namespace extractor
