#include "components/extractor/PartWalker.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "components/extractor/AttachmentNames.h"
#include "components/extractor/ContentWriter.h"
#include "components/extractor/FolderWriter.h"
#include "components/extractor/GMimeHeaderText.h"
#include "components/extractor/GMimeSetup.h"
#include "components/extractor/MessageFile.h"
#include "components/extractor/Tnef.h"
#include "platform/FileHandle.h"
#include "platform/Text.h"

namespace extractor {

const char* RawHeader(GMimeObject* object, const char* name) {
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
    return header ? g_mime_header_get_raw_value(header) : nullptr;
}

namespace {

// A value GMime gives (nullptr when it is missing) is the name, in any case.
bool ValueIs(const char* value, std::string_view name) {
    return value && platform::EqualsNoCase(value, name);
}

// The attachment rule, in one place: a leaf part (not a multipart, not a message/* part) whose
// disposition is "attachment", or that has a file name, or whose type is not text/*. Body
// texts are the only leaves left out.
bool IsAttachment(GMimeObject* object) {
    if (!GMIME_IS_PART(object)) return false;
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const char* media = type ? g_mime_content_type_get_media_type(type) : nullptr;
    if (ValueIs(media, "message")) return false;
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    if (disposition &&
        ValueIs(g_mime_content_disposition_get_disposition(disposition), "attachment"))
        return true;
    const char* name = g_mime_part_get_filename(GMIME_PART(object));
    if (name) {
        std::string_view n(name);
        if (n.find_first_not_of(" \t\r\n") != std::string_view::npos) return true;
    }
    return !(media == nullptr || ValueIs(media, "text"));
}

// A header of the part read again from the file when it holds a NUL byte (GMime's text of it
// ends there, so a name would be cut short or lose its closing quote): its value, the NULs left
// out. Nothing when the header has no NUL, or is not where GMime says.
std::optional<std::string> RawValueWithoutNuls(MessageFile& file, GMimeObject* object,
                                               const char* name) {
    static constexpr size_t kMaxHeader = 64 * 1024;
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
    const gint64 offset = header ? g_mime_header_get_offset(header) : -1;
    if (offset < 0) return std::nullopt;
    std::string text;
    char buf[1024];
    size_t end = std::string::npos;
    while (end == std::string::npos && text.size() <= kMaxHeader) {
        const ssize_t n =
            file.ReadLogical(offset + static_cast<gint64>(text.size()), buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
        // The header ends at a line end that is not followed by a blank or a tab.
        for (size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size();
             at = text.find('\n', at + 1))
            if (text[at + 1] != ' ' && text[at + 1] != '\t') {
                end = at;
                break;
            }
    }
    if (end != std::string::npos) text.resize(end);
    const size_t colon = text.find(':');
    if (text.find('\0') == std::string::npos || colon == std::string::npos ||
        !platform::StartsWithNoCase(text, name))
        return std::nullopt;
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text.substr(text.find(':') + 1);
}

// The header's value when a NUL in it would cut a name short, the NULs left out as any control
// character is: raw in the file, or written "%00" in an RFC 2231 value (GMime decodes the
// name into text that ends there). Nothing when it holds none.
std::optional<std::string> ValueWithoutNuls(GMimeObject* object, const char* name,
                                            MessageFile* file) {
    if (file)
        if (std::optional<std::string> value = RawValueWithoutNuls(*file, object, name))
            return value;
    const char* raw = RawHeader(object, name);
    if (!raw) return std::nullopt;
    std::string value = raw;
    if (value.find("*=") == std::string::npos || value.find("%00") == std::string::npos)
        return std::nullopt;
    for (size_t at = value.find("%00"); at != std::string::npos; at = value.find("%00", at))
        value.erase(at, 3);
    return value;
}

// The file name parameter of a Content-Disposition (filename) or Content-Type (name) value,
// decoded as PartFileName does.
std::string NameParameter(const std::string& value, bool disposition) {
    const char* param = disposition ? "filename" : "name";
    std::optional<std::string> plain = FindPlainParameter(value, param);
    if (plain && plain->find("=?") != std::string::npos) return DecodeHeaderText(*plain);
    std::string name;
    if (disposition) {
        GMimeContentDisposition* parsed =
            g_mime_content_disposition_parse(SharedParserOptions(), value.c_str());
        if (!parsed) return {};
        if (const char* p = g_mime_content_disposition_get_parameter(parsed, param))
            name = DecodeHeaderText(p);
        g_object_unref(parsed);
    } else {
        GMimeContentType* parsed = g_mime_content_type_parse(SharedParserOptions(), value.c_str());
        if (!parsed) return {};
        if (const char* p = g_mime_content_type_get_parameter(parsed, param))
            name = DecodeHeaderText(p);
        g_object_unref(parsed);
    }
    return name;
}

// The part's file name as the sender wrote it (Content-Disposition's filename, else
// Content-Type's name), decoded from RFC 2231 and raw 8-bit, except that a name written as
// RFC 2047 encoded words is decoded here from the header's text (GMime loses what follows a
// padded base64 word, see GMimeHeaderText.h). With the file the headers lie in, a header holding a
// NUL byte is read from there, the NUL left out as any control character is.
std::string PartFileName(GMimeObject* object, MessageFile* file) {
    const char* gmimeName = g_mime_object_get_content_disposition_parameter(object, "filename");
    bool fromDisposition = gmimeName != nullptr;
    std::optional<std::string> disposition = ValueWithoutNuls(object, "Content-Disposition", file);
    if (disposition) {
        std::string name = NameParameter(*disposition, true);
        if (!name.empty()) return name;
    }
    if (disposition || !fromDisposition)
        if (std::optional<std::string> type = ValueWithoutNuls(object, "Content-Type", file))
            return NameParameter(*type, false);
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
    std::string name = SanitizeFileName(PartFileName(GMIME_OBJECT(part), ctx.file));
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
                        SanitizeFileName(PartFileName(GMIME_OBJECT(part), ctx.file))) ||
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
    if (!type || !ValueIs(g_mime_content_type_get_media_type(type), "message")) return false;
    const char* sub = g_mime_content_type_get_media_subtype(type);
    if (!ValueIs(sub, "rfc822") && !ValueIs(sub, "global")) return false;
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    if (disposition &&
        ValueIs(g_mime_content_disposition_get_disposition(disposition), "attachment"))
        return true;
    std::string name = PartFileName(object, nullptr);
    return name.find_first_not_of(" \t\r\n") != std::string::npos;
}

// The .eml name of an attached message: its file name, else its subject, else "part<n>.eml".
std::string AttachedMessageName(GMimeObject* object, GMimeMessage* inner, unsigned number,
                                MessageFile* file) {
    std::string name = SanitizeFileName(PartFileName(object, file));
    if (name.empty() && inner)
        if (const char* subject = RawHeader(GMIME_OBJECT(inner), "Subject"))
            name = SanitizeFileName(CleanFieldText(DecodeHeaderText(subject)));
    if (name.empty()) return GeneratedFileName(number, "message", "rfc822");
    if (name.size() < 4 ||
        !platform::EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".eml"))
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
    if (!type || !ValueIs(g_mime_content_type_get_media_type(type), "message")) return false;
    const char* sub = g_mime_content_type_get_media_subtype(type);
    if (!ValueIs(sub, "rfc822") && !ValueIs(sub, "global")) return false;
    GMimeContentEncoding encoding = g_mime_part_get_content_encoding(GMIME_PART(object));
    return encoding == GMIME_CONTENT_ENCODING_BASE64 ||
           encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
           encoding == GMIME_CONTENT_ENCODING_UUENCODE;
}

} // namespace

// Depth first, in the message's order, through multiparts and embedded messages; iterative,
// so a deeply nested message cannot exhaust the stack here. Encoded forwarded messages are
// decoded and walked too, at most kMaxDecodedLevels inside one another. An attached message
// is saved before the attachments inside it; only the outermost of a chain is saved as a file,
// as the ones inside it are in its bytes already (a chain of attached messages nested deeply
// would otherwise write each level with everything below it, without bound).
void WalkParts(const ParsedMessage& root, WalkContext& ctx) {
    static constexpr int kMaxDecodedLevels = 16;
    using Boundaries = std::shared_ptr<const std::vector<std::string>>;
    struct Item {
        GMimeObject* object;
        int decodedLevel;
        MessageFile* file;
        Boundaries boundaries; // of the enclosing multiparts in the same file
        bool inSavedMessage;   // inside an attached message saved as a file
    };
    std::vector<ParsedMessage> decoded; // alive until the walk ends
    std::vector<Item> stack;
    if (GMimeObject* body = g_mime_message_get_mime_part(root.message.get()))
        stack.push_back(
            {body, 0, root.file.get(), std::make_shared<std::vector<std::string>>(), false});
    while (!stack.empty()) {
        Item item = stack.back();
        ctx.file = item.file;
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
                    stack.push_back(
                        {child, item.decodedLevel, item.file, boundaries, item.inSavedMessage});
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            const bool save = !item.inSavedMessage && IsAttachedMessage(object);
            if (save) {
                ++ctx.attachmentNumber;
                gint64 start = 0, end = 0;
                if (item.file &&
                    MessagePartRange(*item.file, object, *item.boundaries, start, end)) {
                    MessageFile* file = item.file;
                    SaveFile(AttachedMessageName(object, inner, ctx.attachmentNumber, item.file),
                             [file, start, end](int fd) {
                                 return WriteMessageBytes(*file, start, end, fd);
                             },
                             ctx);
                }
            }
            if (inner)
                if (GMimeObject* body = g_mime_message_get_mime_part(inner))
                    stack.push_back({body, item.decodedLevel, item.file, item.boundaries,
                                     item.inSavedMessage || save});
        } else if (IsEncodedMessage(object) && item.decodedLevel < kMaxDecodedLevels) {
            ParsedMessage parsed = ParseEncodedMessage(GMIME_PART(object), ctx);
            const bool save = !item.inSavedMessage && IsAttachedMessage(object);
            if (save) {
                ++ctx.attachmentNumber;
                GMimePart* part = GMIME_PART(object);
                SaveFile(AttachedMessageName(object, parsed.message.get(), ctx.attachmentNumber,
                                                 item.file),
                         [part](int fd) { return WriteContent(part, fd); }, ctx);
            }
            if (parsed.message) {
                if (GMimeObject* body = g_mime_message_get_mime_part(parsed.message.get()))
                    stack.push_back({body, item.decodedLevel + 1, parsed.file.get(),
                                     std::make_shared<std::vector<std::string>>(),
                                     item.inSavedMessage || save});
                decoded.push_back(std::move(parsed));
            }
        } else if (IsAttachment(object)) {
            SaveAttachmentOrTnef(GMIME_PART(object), ctx);
        }
    }
}

} // namespace extractor
