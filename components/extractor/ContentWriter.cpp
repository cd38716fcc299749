#include "components/extractor/ContentWriter.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "components/extractor/Base64.h"
#include "components/extractor/MessageFile.h"
#include "platform/FileHandle.h"

namespace extractor {

namespace {

// Read and write sizes: few system calls, and memory that does not grow with the content.
constexpr size_t kBlock = 1024 * 1024;
constexpr size_t kUuSlice = 16 * 1024; // at most 32 * kUuSlice + 64 bytes out

struct Buffers {
    std::vector<char> in = std::vector<char>(kBlock);
    std::vector<unsigned char> out = std::vector<unsigned char>(kBlock + 1024);
};

Buffers& ThreadBuffers() {
    thread_local Buffers buffers;
    return buffers;
}

// The decoders' buffers, of either byte type, through the platform's whole write.
bool WriteAll(int fd, const void* data, size_t n) {
    return platform::WriteAll(fd, std::string_view(static_cast<const char*>(data), n));
}

// Closes fd; a late write error (a full disk on some file systems) fails the content.
bool CloseChecked(int fd, bool ok) {
    int err = errno;
    if (::close(fd) != 0 && ok) return false;
    if (!ok) errno = err;
    return ok;
}

// One transfer encoding's decoding, a block at a time.
class Decoding {
public:
    Decoding(GMimeContentEncoding encoding, int fd, unsigned char* out)
        : m_encoding(encoding), m_fd(fd), m_out(out) {
        if (encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE)
            m_filter = g_mime_filter_basic_new(encoding, FALSE);
    }
    ~Decoding() {
        if (m_filter) g_object_unref(m_filter);
    }
    Decoding(const Decoding&) = delete;
    Decoding& operator=(const Decoding&) = delete;

    // n is at most kBlock.
    bool Feed(const char* in, size_t n) {
        switch (m_encoding) {
        case GMIME_CONTENT_ENCODING_BASE64:
            return WriteAll(m_fd, m_out, m_base64.Feed(in, n, m_out));
        case GMIME_CONTENT_ENCODING_UUENCODE:
            // A padded short line gives up to 63 bytes for 2 characters: small slices.
            for (size_t done = 0; done < n; done += kUuSlice) {
                size_t slice = std::min(kUuSlice, n - done);
                if (!WriteAll(m_fd, m_out, m_uu.Feed(in + done, slice, m_out))) return false;
            }
            return true;
        default:
            break;
        }
        if (!m_filter) return WriteAll(m_fd, in, n);
        char* out = nullptr;
        size_t outLength = 0, outPrespace = 0;
        g_mime_filter_filter(m_filter, const_cast<char*>(in), n, 0, &out, &outLength,
                             &outPrespace);
        return WriteAll(m_fd, out, outLength);
    }

    bool Finish() {
        switch (m_encoding) {
        case GMIME_CONTENT_ENCODING_BASE64:
            return WriteAll(m_fd, m_out, m_base64.Finish(m_out));
        case GMIME_CONTENT_ENCODING_UUENCODE:
            return WriteAll(m_fd, m_out, m_uu.Finish(m_out));
        default:
            break;
        }
        if (!m_filter) return true;
        char* out = nullptr;
        size_t outLength = 0, outPrespace = 0;
        g_mime_filter_complete(m_filter, nullptr, 0, 0, &out, &outLength, &outPrespace);
        return WriteAll(m_fd, out, outLength);
    }

private:
    GMimeContentEncoding m_encoding;
    int m_fd;
    unsigned char* m_out;
    GMimeFilter* m_filter = nullptr;
    Base64Decoder m_base64;
    UuDecoder m_uu;
};

} // namespace

size_t UuDecoder::Feed(const char* in, size_t n, unsigned char* out) {
    unsigned char* o = out;
    const char* end = in + n;
    while (in < end && !m_done) {
        auto* eol = static_cast<const char*>(std::memchr(in, '\n', static_cast<size_t>(end - in)));
        if (!eol) {
            // Only the start of a line matters: a count of 63 needs 85 characters.
            size_t keep = std::min<size_t>(static_cast<size_t>(end - in), 128 - std::min<size_t>(m_partial.size(), 128));
            m_partial.append(in, keep);
            break;
        }
        if (m_partial.empty()) {
            o += Line(in, static_cast<size_t>(eol - in), o);
        } else {
            size_t keep = std::min<size_t>(static_cast<size_t>(eol - in), 128 - std::min<size_t>(m_partial.size(), 128));
            m_partial.append(in, keep);
            o += Line(m_partial.data(), m_partial.size(), o);
            m_partial.clear();
        }
        in = eol + 1;
    }
    return static_cast<size_t>(o - out);
}

size_t UuDecoder::Finish(unsigned char* out) {
    size_t n = 0;
    if (!m_partial.empty()) n = Line(m_partial.data(), m_partial.size(), out);
    m_partial.clear();
    m_done = true;
    return n;
}

size_t UuDecoder::Line(const char* line, size_t n, unsigned char* out) {
    if (m_done) return 0;
    if (n > 0 && line[n - 1] == '\r') --n;
    if (!m_begun) {
        m_begun = n >= 6 && std::memcmp(line, "begin ", 6) == 0;
        return 0;
    }
    if (n == 0) return 0;
    if (n == 3 && std::memcmp(line, "end", 3) == 0) {
        m_done = true;
        return 0;
    }
    auto value = [&](size_t i) -> unsigned {
        return i < n ? (static_cast<unsigned char>(line[i]) - 32u) & 63u : 0u;
    };
    unsigned count = value(0);
    if (count == 0) {
        m_done = true;
        return 0;
    }
    size_t written = 0;
    for (size_t i = 1; written < count; i += 4) {
        unsigned v = value(i) << 18 | value(i + 1) << 12 | value(i + 2) << 6 | value(i + 3);
        unsigned char bytes[3] = {static_cast<unsigned char>(v >> 16),
                                  static_cast<unsigned char>(v >> 8),
                                  static_cast<unsigned char>(v)};
        for (int b = 0; b < 3 && written < count; ++b)
            out[written++] = bytes[b];
    }
    return written;
}

bool WriteContent(GMimePart* part, int fd) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content) return CloseChecked(fd, true);
    GMimeStream* stream = g_mime_data_wrapper_get_stream(content);
    Buffers& buffers = ThreadBuffers();
    Decoding decoding(g_mime_data_wrapper_get_encoding(content), fd, buffers.out.data());
    auto feed = [&](const char* data, size_t n) { return decoding.Feed(data, n); };
    bool ok = true;
    gint64 start = 0, end = 0;
    if (MessageFile* file = MessageFileOf(stream, start, end)) {
        // The file's own bytes: a line end added for the parser is no content.
        ok = file->ReadFileBytes(start, end, buffers.in.data(), kBlock, feed);
    } else if (stream) {
        ok = g_mime_stream_reset(stream) == 0;
        while (ok && !g_mime_stream_eos(stream)) {
            ssize_t n = g_mime_stream_read(stream, buffers.in.data(), kBlock);
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            ok = feed(buffers.in.data(), static_cast<size_t>(n));
        }
    }
    ok = ok && decoding.Finish();
    return CloseChecked(fd, ok);
}

bool WriteMessageBytes(MessageFile& file, gint64 start, gint64 end, int fd) {
    Buffers& buffers = ThreadBuffers();
    bool ok = file.ReadFileBytes(start, end, buffers.in.data(), kBlock,
                                 [&](const char* data, size_t n) { return WriteAll(fd, data, n); });
    return CloseChecked(fd, ok);
}

} // namespace extractor
