#include "components/extractor/MessageExtractor.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include "components/extractor/AttachmentNames.h"
#include "components/extractor/GMimeSetup.h"
#include "components/extractor/HeaderText.h"

namespace extractor {

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// Owns one GObject reference.
template <typename T> using GRef = std::unique_ptr<T, GObjectUnref>;

// A file descriptor closed on scope exit.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int get() const { return m_fd; }
    int release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

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

// Creates files inside one folder, never outside it and never over an existing entry.
class FolderWriter {
public:
    FolderWriter(int dirFd, std::string folderKey) : m_dir(dirFd), m_key(std::move(folderKey)) {}

    // Creates a new file for the wanted name (or a numbered variant); -1 when none can be made.
    int Create(const std::string& wanted, std::string& chosen) {
        static constexpr unsigned kMaxNumber = 1000000;
        std::string key = m_key + '\0' + wanted;
        // A name this call already made is taken: go straight to the numbers.
        unsigned k = m_made.count(wanted) ? TheClashHints().Get(key) : 0;
        while (k <= kMaxNumber) {
            std::string candidate = k == 0 ? wanted : NumberedName(wanted, k);
            if (!IsReservedName(candidate)) {
                int fd = ::openat(m_dir, candidate.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
                if (fd >= 0) {
                    if (k > 0) TheClashHints().Set(key, k + 1);
                    m_made.insert(candidate);
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

    void Remove(const std::string& name) { ::unlinkat(m_dir, name.c_str(), 0); }

private:
    int m_dir;
    std::string m_key;
    std::unordered_set<std::string> m_made;
};

// Base64 as Python's email package reads it (binascii, not strict): characters outside the
// alphabet are skipped, a completed padding ends the data, and a last group of two or three
// characters still gives its one or two bytes. GMime's own decoder drops such a truncated last
// group, which loses the end of a truncated attachment.
class Base64Decoder {
public:
    // Decodes in[0..n) into out (room for n * 3 / 4 + 3 bytes); returns the bytes written.
    size_t Feed(const char* in, size_t n, unsigned char* out) {
        unsigned char* o = out;
        for (size_t i = 0; i < n && !m_done; ++i) {
            auto c = static_cast<unsigned char>(in[i]);
            if (c == '=') {
                if (m_count >= 2 && m_count + ++m_pads >= 4) {
                    o += Flush(o);
                    m_done = true;
                }
                continue;
            }
            int v = Base64Rank(c);
            if (v < 0) continue;
            m_bits = (m_bits << 6) | static_cast<std::uint32_t>(v);
            if (++m_count == 4) {
                *o++ = static_cast<unsigned char>(m_bits >> 16);
                *o++ = static_cast<unsigned char>(m_bits >> 8);
                *o++ = static_cast<unsigned char>(m_bits);
                m_count = 0;
                m_bits = 0;
                m_pads = 0;
            }
        }
        return static_cast<size_t>(o - out);
    }
    // The bytes of an unfinished last group (at most 2).
    size_t Finish(unsigned char* out) {
        if (m_done) return 0;
        m_done = true;
        return Flush(out);
    }

private:
    size_t Flush(unsigned char* out) {
        size_t n = 0;
        if (m_count == 2) {
            out[n++] = static_cast<unsigned char>(m_bits >> 4);
        } else if (m_count == 3) {
            out[n++] = static_cast<unsigned char>(m_bits >> 10);
            out[n++] = static_cast<unsigned char>(m_bits >> 2);
        }
        m_count = 0;
        m_bits = 0;
        return n;
    }

    std::uint32_t m_bits = 0;
    int m_count = 0;
    int m_pads = 0;
    bool m_done = false;
};

bool WriteAll(GMimeStream* out, const unsigned char* data, size_t n) {
    return n == 0 || g_mime_stream_write(out, reinterpret_cast<const char*>(data), n) ==
                         static_cast<ssize_t>(n);
}

bool DecodeBase64(GMimeStream* source, GMimeStream* out) {
    static constexpr size_t kChunk = 64 * 1024;
    std::vector<char> in(kChunk);
    std::vector<unsigned char> decoded(kChunk / 4 * 3 + 8);
    Base64Decoder decoder;
    if (g_mime_stream_reset(source) < 0) return false;
    // As g_mime_stream_write_to_stream: a bounded stream answers -1, not 0, past its end.
    while (!g_mime_stream_eos(source)) {
        ssize_t n = g_mime_stream_read(source, in.data(), in.size());
        if (n < 0) return false;
        if (n == 0) break;
        size_t got = decoder.Feed(in.data(), static_cast<size_t>(n), decoded.data());
        if (!WriteAll(out, decoded.data(), got)) return false;
    }
    return WriteAll(out, decoded.data(), decoder.Finish(decoded.data()));
}

// Decodes the part's content into the new file through GMime's streams: the content is a
// window on the message file, decoded a buffer at a time.
bool WriteContent(GMimePart* part, int fd) {
    GRef<GMimeStream> out(g_mime_stream_fs_new(fd)); // owns fd from here on
    if (!out) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    if (GMimeDataWrapper* content = g_mime_part_get_content(part)) {
        GMimeStream* source = g_mime_data_wrapper_get_stream(content);
        if (g_mime_data_wrapper_get_encoding(content) == GMIME_CONTENT_ENCODING_BASE64 && source)
            ok = DecodeBase64(source, out.get());
        else
            ok = g_mime_data_wrapper_write_to_stream(content, out.get()) >= 0;
    }
    // No g_mime_stream_flush: on a file stream it is fsync, which would cost a disk round trip
    // per attachment. The stream writes straight through; close reports late write errors.
    if (g_mime_stream_close(out.get()) < 0) ok = false;
    return ok;
}

struct WalkContext {
    FolderWriter* writer = nullptr;
    std::vector<std::string>* files = nullptr;
    unsigned attachmentNumber = 0;
    std::string messagePath;
};

// The first header of that name as it stands in the message (folded, encoded words and all).
const char* RawHeader(GMimeObject* object, const char* name) {
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
    return header ? g_mime_header_get_raw_value(header) : nullptr;
}

// The part's file name as the sender wrote it: GMime's, decoded from RFC 2231 and raw 8-bit,
// except that a name written as RFC 2047 encoded words is decoded here from the header's
// text (GMime loses what follows a padded base64 word, see HeaderText.h).
std::string PartFileName(GMimePart* part) {
    const char* gmimeName = g_mime_part_get_filename(part);
    GMimeObject* object = GMIME_OBJECT(part);
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    bool fromDisposition =
        disposition && g_mime_content_disposition_get_parameter(disposition, "filename");
    const char* header =
        RawHeader(object, fromDisposition ? "Content-Disposition" : "Content-Type");
    if (header) {
        std::optional<std::string> value =
            FindPlainParameter(header, fromDisposition ? "filename" : "name");
        if (value && value->find("=?") != std::string::npos) return DecodeHeaderText(*value);
    }
    return gmimeName ? DecodeHeaderText(gmimeName) : std::string();
}

void SaveAttachment(GMimePart* part, WalkContext& ctx) {
    ++ctx.attachmentNumber;
    std::string name = SanitizeFileName(PartFileName(part));
    if (name.empty()) {
        GMimeContentType* type = g_mime_object_get_content_type(GMIME_OBJECT(part));
        const char* media = type ? g_mime_content_type_get_media_type(type) : nullptr;
        const char* sub = type ? g_mime_content_type_get_media_subtype(type) : nullptr;
        name = GeneratedFileName(ctx.attachmentNumber, media ? media : "application",
                                 sub ? sub : "octet-stream");
    }
    std::string chosen;
    int fd = ctx.writer->Create(name, chosen);
    if (fd < 0) {
        std::fprintf(stderr, "kestrel_extractor: %s: cannot create \"%s\": %s\n",
                     ctx.messagePath.c_str(), name.c_str(), std::strerror(errno));
        return;
    }
    if (!WriteContent(part, fd)) {
        int err = errno;
        ctx.writer->Remove(chosen);
        std::fprintf(stderr, "kestrel_extractor: %s: cannot write \"%s\": %s\n",
                     ctx.messagePath.c_str(), chosen.c_str(), std::strerror(err));
        return;
    }
    ctx.files->push_back(chosen);
}

// What the parser should not see of a message file.
struct MessageLayout {
    gint64 headerStart = 0;      // lines of blanks before the first header, skipped
    bool endsWithNewline = true; // false: a line end is added, see MessageStream
    bool crlf = false;           // the file's lines end with CR LF
};

// Looks at the start and the end of the file. Blank-only lines before the headers (some mail
// stores pad messages so) would end GMime's header block at once; Python's parser skips them.
MessageLayout ExamineMessageFile(int fd) {
    MessageLayout layout;
    char head[64 * 1024];
    ssize_t n = ::pread(fd, head, sizeof head, 0);
    if (n > 0) {
        gint64 pos = 0;
        while (pos < n) {
            gint64 end = pos;
            while (end < n && head[end] != '\n')
                ++end;
            if (end >= n) break;
            bool blankOnly = end > pos;
            bool hasBlank = false;
            for (gint64 i = pos; i < end && blankOnly; ++i) {
                if (head[i] == ' ' || head[i] == '\t')
                    hasBlank = true;
                else if (head[i] != '\r')
                    blankOnly = false;
            }
            if (!blankOnly || !hasBlank) break;
            pos = end + 1;
        }
        layout.headerStart = pos;
        layout.crlf =
            std::string_view(head, static_cast<size_t>(n)).find("\r\n") != std::string_view::npos;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        char last = 0;
        if (::pread(fd, &last, 1, st.st_size - 1) == 1) layout.endsWithNewline = last == '\n';
    }
    return layout;
}

// The stream the parser reads: the file from its first header on, and a final line end in the
// file's style when it lacks one (GMime leaves the CR of the last CR LF in a part whose closing
// boundary ends the file without a line end). Still a seekable window on the file, so nothing
// is copied.
GMimeStream* MessageStream(GMimeStream* file, const MessageLayout& layout) {
    GMimeStream* body = layout.headerStart > 0
                            ? g_mime_stream_substream(file, layout.headerStart, -1)
                            : GMIME_STREAM(g_object_ref(file));
    if (layout.endsWithNewline) return body;
    GMimeStream* cat = g_mime_stream_cat_new();
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(cat), body);
    g_object_unref(body);
    GMimeStream* newline = layout.crlf ? g_mime_stream_mem_new_with_buffer("\r\n", 2)
                                       : g_mime_stream_mem_new_with_buffer("\n", 1);
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(cat), newline);
    g_object_unref(newline);
    return cat;
}

// Parses the message file open at fd (taken over): a window on the file, so each part's content
// stays on disk until it is decoded.
GMimeMessage* ParseMessageFile(int fd) {
    MessageLayout layout = ExamineMessageFile(fd);
    GRef<GMimeStream> file(g_mime_stream_fs_new(fd));
    if (!file) {
        ::close(fd);
        return nullptr;
    }
    GRef<GMimeStream> stream(MessageStream(file.get(), layout));
    GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    g_mime_parser_set_persist_stream(parser.get(), TRUE);
    return g_mime_parser_construct_message(parser.get(), SharedParserOptions());
}

// A forwarded message sent with a transfer encoding (base64, quoted-printable): GMime leaves
// it a leaf part. Its decoded text goes to an unlinked temporary file, a buffer at a time, and
// is parsed from there like any message file. Null when it cannot be read.
GMimeMessage* ParseEncodedMessage(GMimePart* part) {
    std::string path = std::string(g_get_tmp_dir()) + "/kestrel-message-XXXXXX";
    int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
    ::unlink(path.c_str());
    Fd file(fd);
    int writeFd = ::dup(fd);
    if (writeFd < 0 || !WriteContent(part, writeFd)) return nullptr;
    if (::lseek(fd, 0, SEEK_SET) != 0) return nullptr;
    return ParseMessageFile(file.release());
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
// decoded and walked too, at most kMaxDecodedLevels inside one another.
void WalkParts(GMimeObject* root, WalkContext& ctx) {
    static constexpr int kMaxDecodedLevels = 16;
    struct Item {
        GMimeObject* object;
        int decodedLevel;
    };
    std::vector<GRef<GMimeMessage>> decoded; // alive until the walk ends
    std::vector<Item> stack;
    if (root) stack.push_back({root, 0});
    while (!stack.empty()) {
        Item item = stack.back();
        GMimeObject* object = item.object;
        stack.pop_back();
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            for (int i = g_mime_multipart_get_count(multipart) - 1; i >= 0; --i)
                if (GMimeObject* child = g_mime_multipart_get_part(multipart, i))
                    stack.push_back({child, item.decodedLevel});
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            if (inner)
                if (GMimeObject* body = g_mime_message_get_mime_part(inner))
                    stack.push_back({body, item.decodedLevel});
        } else if (IsEncodedMessage(object) && item.decodedLevel < kMaxDecodedLevels) {
            if (GMimeMessage* inner = ParseEncodedMessage(GMIME_PART(object))) {
                decoded.emplace_back(inner);
                if (GMimeObject* body = g_mime_message_get_mime_part(inner))
                    stack.push_back({body, item.decodedLevel + 1});
            }
        } else if (IsAttachment(object)) {
            SaveAttachment(GMIME_PART(object), ctx);
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

std::string JoinNames(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) {
        if (!out.empty()) out += ':';
        out += n;
    }
    return out;
}

} // namespace

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

ExtractedMessage ExtractMessage(const std::string& messagePath, const std::string& folder) {
    std::string dir = folder;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() < 0)
        throw ExtractError("Cannot open the folder \"" + folder + "\": " + std::strerror(errno));
    Fd messageFd(::open(messagePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (messageFd.get() < 0)
        throw ExtractError("Cannot open the message \"" + messagePath +
                           "\": " + std::strerror(errno));

    ExtractedMessage result;
    GRef<GMimeMessage> message(ParseMessageFile(messageFd.release()));
    if (!message) return result; // nothing GMime can read as a message: no fields, no files

    // The first Subject: and From: (GMime's getters give the last of repeated headers).
    if (const char* subject = RawHeader(GMIME_OBJECT(message.get()), "Subject"))
        result.subject = CleanFieldText(DecodeHeaderText(subject));
    result.sender = SenderText(message.get());
    result.date = DateText(message.get());

    FolderWriter writer(dirFd.get(), dir);
    WalkContext ctx;
    ctx.writer = &writer;
    ctx.files = &result.files;
    ctx.messagePath = messagePath;
    WalkParts(g_mime_message_get_mime_part(message.get()), ctx);
    return result;
}

std::string FormatExtractToFolder2(const ExtractedMessage& message) {
    std::string out = message.subject + "|" + message.sender + "|" + message.date;
    if (!message.files.empty()) out += "|" + JoinNames(message.files);
    return out;
}

std::string FormatExtractToFolder(const ExtractedMessage& message) {
    return JoinNames(message.files);
}

} // namespace extractor
