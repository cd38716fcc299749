#include "store/PstReader.h"

#include <libpff.h>

#include <algorithm>
#include <functional>
#include <map>
#include <unordered_map>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "platform/HeaderText.h"
#include "platform/Text.h"
#include "platform/Utf8.h"

namespace {

// Property tags (the entry type; the value type is read from the entry).
enum : std::uint32_t {
    kSubject = 0x0037,
    kClientSubmitTime = 0x0039,
    kSentRepresentingName = 0x0042,
    kSentRepresentingEmail = 0x0065,
    kTransportHeaders = 0x007D,
    kSenderAddressType = 0x0C1E,
    kSenderName = 0x0C1A,
    kSenderEmail = 0x0C1F,
    kRecipientType = 0x0C15,
    kDeliveryTime = 0x0E06,
    kPlainBody = 0x1000,
    kHtmlBody = 0x1013,
    kMessageId = 0x1035,
    kInReplyTo = 0x1042,
    kDisplayName = 0x3001,
    kAddressType = 0x3002,
    kEmailAddress = 0x3003,
    kCreationTime = 0x3007,
    kModificationTime = 0x3008,
    kMessageSize = 0x0E08,
    kRecordKey = 0x0FF9,
    kIpmSubtreeEntryId = 0x35E0,
    kFolderType = 0x3601,
    kAttachFileName = 0x3704,
    kAttachLongFileName = 0x3707,
    kAttachMimeTag = 0x370E,
    kAttachContentId = 0x3712,
    kSmtpAddress = 0x39FE,
    kMessageClass = 0x001A,
    kRowId = 0x67F2,
    kInternetCodePage = 0x3FDE,
    kMessageCodePage = 0x3FFD,
    kSenderSmtpAddress = 0x5D01,
    kSentRepresentingSmtpAddress = 0x5D02,
};

enum : std::uint32_t { kTypeInt32 = 0x0003, kTypeAnsi = 0x001E, kTypeUnicode = 0x001F,
                       kTypeTime = 0x0040, kTypeBinary = 0x0102 };

constexpr int kFolderTypeSearch = 2;
// The file header of either format is no shorter.
constexpr off_t kHeaderSize = 512;
// Attached messages nest no deeper than this: a damaged file could make them a loop.
constexpr int kMaxNesting = 16;

struct Prop {
    std::uint32_t type = 0;
    std::string data;
};

libpff_item_t* Item(void* p) {
    return static_cast<libpff_item_t*>(p);
}

// An item handle freed when it goes.
class ItemRef {
public:
    ItemRef() = default;
    explicit ItemRef(libpff_item_t* item) : m_item(item) {}
    ~ItemRef() { Reset(); }
    ItemRef(const ItemRef&) = delete;
    ItemRef& operator=(const ItemRef&) = delete;
    libpff_item_t* get() const { return m_item; }
    libpff_item_t** out() {
        Reset();
        return &m_item;
    }
    void Reset(libpff_item_t* item = nullptr) {
        if (m_item) libpff_item_free(&m_item, nullptr);
        m_item = item;
    }
    libpff_item_t* Release() {
        libpff_item_t* item = m_item;
        m_item = nullptr;
        return item;
    }
    explicit operator bool() const { return m_item != nullptr; }

private:
    libpff_item_t* m_item = nullptr;
};

std::optional<Prop> ReadProp(libpff_item_t* item, std::uint32_t tag, int set = 0) {
    libpff_record_set_t* records = nullptr;
    if (libpff_item_get_record_set_by_index(item, set, &records, nullptr) != 1) return {};
    libpff_record_entry_t* entry = nullptr;
    std::optional<Prop> prop;
    if (libpff_record_set_get_entry_by_type(records, tag, 0, &entry,
                                            LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE,
                                            nullptr) == 1) {
        Prop value;
        size_t size = 0;
        if (libpff_record_entry_get_value_type(entry, &value.type, nullptr) == 1 &&
            libpff_record_entry_get_data_size(entry, &size, nullptr) == 1) {
            value.data.resize(size);
            if (size == 0 || libpff_record_entry_get_data(
                                 entry, reinterpret_cast<uint8_t*>(value.data.data()), size,
                                 nullptr) == 1)
                prop = std::move(value);
        }
        libpff_record_entry_free(&entry, nullptr);
    }
    libpff_record_set_free(&records, nullptr);
    return prop;
}

std::optional<std::uint32_t> ReadInt32(libpff_item_t* item, std::uint32_t tag, int set = 0) {
    std::optional<Prop> prop = ReadProp(item, tag, set);
    if (!prop || prop->type != kTypeInt32 || prop->data.size() < 4) return {};
    const auto* b = reinterpret_cast<const unsigned char*>(prop->data.data());
    return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
}

std::optional<std::time_t> ReadTime(libpff_item_t* item, std::uint32_t tag) {
    std::optional<Prop> prop = ReadProp(item, tag);
    if (!prop || prop->type != kTypeTime || prop->data.size() < 8) return {};
    std::uint64_t ft = 0;
    for (int i = 7; i >= 0; --i) ft = (ft << 8) | static_cast<unsigned char>(prop->data[i]);
    constexpr std::uint64_t kEpochDelta = 116444736000000000ULL; // 1601 to 1970 in 100 ns
    if (ft < kEpochDelta) return {};
    return static_cast<std::time_t>((ft - kEpochDelta) / 10000000ULL);
}

std::string StripNuls(std::string s) {
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

std::string Utf16LeToUtf8(const std::string& bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return platform::FromUtf16(text);
}

// A string property as UTF-8: Unicode strings as they are, 8-bit ones in the code page.
std::string ReadText(libpff_item_t* item, std::uint32_t tag, unsigned codePage, int set = 0) {
    std::optional<Prop> prop = ReadProp(item, tag, set);
    if (!prop) return {};
    if (prop->type == kTypeUnicode) return Utf16LeToUtf8(prop->data);
    if (prop->type == kTypeAnsi) return CodePageToUtf8(StripNuls(prop->data), codePage);
    return {};
}

std::string CharsetOf(unsigned codePage) {
    switch (codePage) {
    case 65001: return "UTF-8";
    case 20127: return "US-ASCII";
    case 50220: case 50221: case 50222: return "ISO-2022-JP";
    case 51932: return "EUC-JP";
    case 51949: return "EUC-KR";
    case 936: return "GBK";
    case 950: return "BIG5";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 28605: return "ISO-8859-15";
    default: break;
    }
    if (codePage >= 28591 && codePage <= 28599) return "ISO-8859-" + std::to_string(codePage - 28590);
    return "CP" + std::to_string(codePage);
}

// The Windows code page an 8-bit string of a message is stored in, from the code page the mail
// came in (a Japanese mail arrives as ISO-2022-JP and is stored as Shift JIS).
unsigned StorageCodePage(unsigned codePage) {
    switch (codePage) {
    case 50220: case 50221: case 50222: case 51932: return 932;
    case 51936: case 52936: case 54936: return 936;
    case 51949: case 50225: return 949;
    case 20127: return 1252;
    default: return codePage;
    }
}

unsigned MessageCodePage(libpff_item_t* message, unsigned fallback) {
    if (std::optional<std::uint32_t> cp = ReadInt32(message, kMessageCodePage)) return *cp;
    if (std::optional<std::uint32_t> cp = ReadInt32(message, kInternetCodePage))
        return StorageCodePage(*cp);
    return fallback;
}

bool IsMail(libpff_item_t* item) {
    uint8_t type = 0;
    if (libpff_item_get_type(item, &type, nullptr) != 1) return false;
    switch (type) {
    case LIBPFF_ITEM_TYPE_EMAIL:
    case LIBPFF_ITEM_TYPE_EMAIL_SMIME:
    case LIBPFF_ITEM_TYPE_FAX:
    case LIBPFF_ITEM_TYPE_MEETING:
    case LIBPFF_ITEM_TYPE_MMS:
    case LIBPFF_ITEM_TYPE_POSTING_NOTE:
    case LIBPFF_ITEM_TYPE_RSS_FEED:
    case LIBPFF_ITEM_TYPE_SHARING:
    case LIBPFF_ITEM_TYPE_SMS:
    case LIBPFF_ITEM_TYPE_VOICEMAIL:
    case LIBPFF_ITEM_TYPE_CONFLICT_MESSAGE:
    case LIBPFF_ITEM_TYPE_COMMON:
        return true;
    default:
        return false;
    }
}

// Whether a message class names mail, as the library's item types do (IsMail): 1 mail, 0 not,
// -1 for a class it does not list, whose item has to be asked.
int MailClass(const std::string& messageClass) {
    const std::string c = platform::ToLower(messageClass);
    auto is = [&](const char* prefix) {
        const size_t n = std::strlen(prefix);
        return c.compare(0, n, prefix) == 0 && (c.size() == n || c[n] == '.');
    };
    if (c == "ipm") return 1;
    for (const char* mail : {"ipm.note", "report.ipm.note", "ipm.fax", "ipm.schedule.meeting",
                             "ipm.post", "ipm.sharing", "ipm.conflict.message"})
        if (is(mail)) return 1;
    for (const char* other : {"ipm.activity", "ipm.appointment", "ipm.configuration",
                              "ipm.contact", "ipm.distlist", "ipm.document", "ipm.stickynote",
                              "ipm.task", "ipm.taskrequest"})
        if (is(other)) return 0;
    return -1;
}

// The node id an entry id names (its last four bytes).
std::uint32_t EntryIdNode(const std::string& entryId) {
    if (entryId.size() < 24) return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(entryId.data() + entryId.size() - 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
}

// ---- the message as MIME -------------------------------------------------------------------

// Buffered writes to the descriptor; the first failure sticks.
class Output {
public:
    explicit Output(int fd) : m_fd(fd) { m_buffer.reserve(kSize); }
    void Put(std::string_view text) {
        if (m_buffer.size() + text.size() > kSize) Flush();
        if (text.size() > kSize) {
            if (!m_failed && !platform::WriteAll(m_fd, text)) m_failed = true;
            return;
        }
        m_buffer.append(text);
    }
    bool Flush() {
        if (!m_failed && !m_buffer.empty() && !platform::WriteAll(m_fd, m_buffer)) m_failed = true;
        m_buffer.clear();
        return !m_failed;
    }
    bool Failed() const { return m_failed; }

private:
    static constexpr size_t kSize = 64 * 1024;
    int m_fd;
    std::string m_buffer;
    bool m_failed = false;
};

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view in) {
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= in.size(); i += 3) {
        const std::uint32_t v = (static_cast<unsigned char>(in[i]) << 16) |
                                (static_cast<unsigned char>(in[i + 1]) << 8) |
                                static_cast<unsigned char>(in[i + 2]);
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
    }
    if (i < in.size()) {
        std::uint32_t v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += i + 1 < in.size() ? kBase64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Base64 in lines of 76 characters; the caller hands whole groups of 57 bytes but the last.
void PutBase64Lines(Output& out, std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); i += 57) {
        out.Put(Base64(bytes.substr(i, 57)));
        out.Put("\r\n");
    }
}

bool IsPlainHeaderText(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return c >= 0x20 && c < 0x7F;
    });
}

// A header's text, as encoded words where it is not plain ASCII.
std::string EncodeWords(const std::string& text) {
    if (IsPlainHeaderText(text)) return text;
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = std::min(text.size(), i + 45);
        // Never split a character: back off to the start of one.
        while (end < text.size() && end > i && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        if (end == i) end = std::min(text.size(), i + 45);
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?" + Base64(std::string_view(text).substr(i, end - i)) + "?=";
        i = end;
    }
    return out;
}

std::string Address(const std::string& name, const std::string& address) {
    if (address.empty()) return EncodeWords(name);
    if (name.empty() || name == address) return "<" + address + ">";
    if (IsPlainHeaderText(name)) {
        std::string quoted = "\"";
        for (char c : name) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
        return quoted + "\" <" + address + ">";
    }
    return EncodeWords(name) + " <" + address + ">";
}

std::string MailDate(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &tm);
    return text;
}

// A parameter value: quoted when ASCII, else in RFC 2231 form.
std::string Parameter(const std::string& name, const std::string& value) {
    if (IsPlainHeaderText(value)) {
        std::string quoted;
        for (char c : value) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
        return name + "=\"" + quoted + "\"";
    }
    std::string encoded = name + "*=UTF-8''";
    for (unsigned char c : value) {
        if (std::isalnum(c) || std::strchr("!#$&+-.^_`|~", c)) {
            encoded += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            encoded += hex;
        }
    }
    return encoded;
}

// Header names the message's own MIME structure replaces.
bool IsStructureHeader(std::string_view line) {
    const std::string lower = platform::ToLower(std::string(line.substr(0, 30)));
    return lower.rfind("content-", 0) == 0 || lower.rfind("mime-version:", 0) == 0;
}

// The transport headers without their MIME structure lines (continuations included), each line
// ended with CR LF.
std::string CleanTransportHeaders(const std::string& headers) {
    std::string out;
    bool dropping = false;
    size_t pos = 0;
    while (pos < headers.size()) {
        size_t end = headers.find('\n', pos);
        if (end == std::string::npos) end = headers.size();
        std::string line = headers.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break; // the end of the header block
        const bool continuation = line[0] == ' ' || line[0] == '\t';
        // A line that could be read as a boundary of ours ("--") never passes.
        if (!continuation)
            dropping = IsStructureHeader(line) || line.find(':') == std::string::npos ||
                       line[0] == '-';
        if (dropping) continue;
        out += line;
        out += "\r\n";
    }
    return out;
}

class MimeWriter {
public:
    MimeWriter(Output& out, unsigned fileCodePage) : m_out(out), m_fileCodePage(fileCodePage) {}
    void Message(libpff_item_t* message, int depth);
    bool Damaged() const { return m_damaged; }

private:
    std::string Boundary() {
        return "=_kestrel_part_" + std::to_string(++m_boundaries);
    }
    void Headers(libpff_item_t* message, unsigned codePage);
    void Recipients(libpff_item_t* message, unsigned codePage);
    void Bodies(libpff_item_t* message, unsigned codePage);
    void TextPart(const std::string& type, const std::string& charset, std::string_view bytes);
    void Attachment(libpff_item_t* attachment, int depth, unsigned codePage);

    Output& m_out;
    unsigned m_fileCodePage;
    int m_boundaries = 0;
    bool m_damaged = false;
};

void MimeWriter::Recipients(libpff_item_t* message, unsigned codePage) {
    ItemRef recipients;
    if (libpff_message_get_recipients(message, recipients.out(), nullptr) != 1) return;
    int sets = 0;
    if (libpff_item_get_number_of_record_sets(recipients.get(), &sets, nullptr) != 1) return;
    std::string to, cc;
    for (int i = 0; i < sets; ++i) {
        const std::uint32_t kind = ReadInt32(recipients.get(), kRecipientType, i).value_or(1);
        const std::string name = ReadText(recipients.get(), kDisplayName, codePage, i);
        std::string address = ReadText(recipients.get(), kSmtpAddress, codePage, i);
        if (address.empty() &&
            platform::ToUpper(ReadText(recipients.get(), kAddressType, codePage, i)) != "EX")
            address = ReadText(recipients.get(), kEmailAddress, codePage, i);
        if (name.empty() && address.empty()) continue;
        std::string& list = kind == 2 ? cc : to;
        if (kind == 3) continue; // blind copies are not shown
        if (!list.empty()) list += ",\r\n ";
        list += Address(name, address);
    }
    if (!to.empty()) m_out.Put("To: " + to + "\r\n");
    if (!cc.empty()) m_out.Put("Cc: " + cc + "\r\n");
}

void MimeWriter::Headers(libpff_item_t* message, unsigned codePage) {
    const std::string transport = ReadText(message, kTransportHeaders, codePage);
    const std::string cleaned = CleanTransportHeaders(transport);
    if (!cleaned.empty()) {
        m_out.Put(cleaned);
        return;
    }
    PstHeader header;
    const std::string name = ReadText(message, kSenderName, codePage);
    std::string address = ReadText(message, kSenderSmtpAddress, codePage);
    if (address.empty() && platform::ToUpper(ReadText(message, kSenderAddressType, codePage)) != "EX")
        address = ReadText(message, kSenderEmail, codePage);
    if (!name.empty() || !address.empty()) m_out.Put("From: " + Address(name, address) + "\r\n");
    Recipients(message, codePage);
    std::string subject = ReadText(message, kSubject, codePage);
    if (subject.size() >= 2 && subject[0] == '\x01') subject.erase(0, 2);
    if (!subject.empty()) m_out.Put("Subject: " + EncodeWords(subject) + "\r\n");
    std::optional<std::time_t> date = ReadTime(message, kClientSubmitTime);
    if (!date) date = ReadTime(message, kDeliveryTime);
    if (date) m_out.Put("Date: " + MailDate(*date) + "\r\n");
    const std::string id = ReadText(message, kMessageId, codePage);
    if (!id.empty() && IsPlainHeaderText(id)) m_out.Put("Message-ID: " + id + "\r\n");
    const std::string replyTo = ReadText(message, kInReplyTo, codePage);
    if (!replyTo.empty() && IsPlainHeaderText(replyTo))
        m_out.Put("In-Reply-To: " + replyTo + "\r\n");
}

void MimeWriter::TextPart(const std::string& type, const std::string& charset,
                          std::string_view bytes) {
    m_out.Put("Content-Type: " + type + (charset.empty() ? "" : "; charset=\"" + charset + "\"") +
              "\r\nContent-Transfer-Encoding: base64\r\n\r\n");
    PutBase64Lines(m_out, bytes);
}

void MimeWriter::Bodies(libpff_item_t* message, unsigned codePage) {
    std::string plain, html, htmlCharset;
    if (std::optional<Prop> prop = ReadProp(message, kPlainBody)) {
        if (prop->type == kTypeUnicode) plain = Utf16LeToUtf8(prop->data);
        else if (prop->type == kTypeAnsi) plain = CodePageToUtf8(StripNuls(prop->data), codePage);
    }
    if (std::optional<Prop> prop = ReadProp(message, kHtmlBody)) {
        if (prop->type == kTypeUnicode) {
            html = Utf16LeToUtf8(prop->data);
            htmlCharset = "UTF-8";
        } else if (prop->type == kTypeBinary || prop->type == kTypeAnsi) {
            html = StripNuls(std::move(prop->data));
            if (std::optional<std::uint32_t> cp = ReadInt32(message, kInternetCodePage))
                htmlCharset = CharsetOf(*cp);
        }
    }
    if (!plain.empty() && !html.empty()) {
        const std::string boundary = Boundary();
        m_out.Put("Content-Type: multipart/alternative; boundary=\"" + boundary + "\"\r\n\r\n");
        m_out.Put("--" + boundary + "\r\n");
        TextPart("text/plain", "UTF-8", plain);
        m_out.Put("--" + boundary + "\r\n");
        TextPart("text/html", htmlCharset, html);
        m_out.Put("--" + boundary + "--\r\n");
    } else if (!html.empty()) {
        TextPart("text/html", htmlCharset, html);
    } else if (!plain.empty()) {
        TextPart("text/plain", "UTF-8", plain);
    } else {
        size_t size = 0;
        std::string rtf;
        if (libpff_message_get_rtf_body_size(message, &size, nullptr) == 1 && size > 0) {
            rtf.resize(size);
            if (libpff_message_get_rtf_body(message, reinterpret_cast<uint8_t*>(rtf.data()),
                                            size, nullptr) != 1)
                rtf.clear();
        }
        if (!rtf.empty())
            TextPart("text/rtf", "", StripNuls(std::move(rtf)));
        else
            TextPart("text/plain", "UTF-8", "");
    }
}

void MimeWriter::Attachment(libpff_item_t* attachment, int depth, unsigned codePage) {
    int type = 0;
    if (libpff_attachment_get_type(attachment, &type, nullptr) != 1) {
        m_damaged = true;
        return;
    }
    std::string name = ReadText(attachment, kAttachLongFileName, codePage);
    if (name.empty()) name = ReadText(attachment, kAttachFileName, codePage);
    if (name.empty()) name = ReadText(attachment, kDisplayName, codePage);
    std::string disposition = "Content-Disposition: attachment";
    if (!name.empty()) disposition += ";\r\n " + Parameter("filename", name);
    std::optional<std::time_t> modified = ReadTime(attachment, kModificationTime);
    if (!modified) modified = ReadTime(attachment, kCreationTime);
    if (modified) disposition += ";\r\n modification-date=\"" + MailDate(*modified) + "\"";

    if (type == LIBPFF_ATTACHMENT_TYPE_ITEM) {
        ItemRef inner;
        if (libpff_attachment_get_item(attachment, inner.out(), nullptr) != 1) {
            m_damaged = true;
            return;
        }
        if (depth + 1 >= kMaxNesting) {
            m_damaged = true;
            return;
        }
        m_out.Put("Content-Type: message/rfc822\r\n" + disposition + "\r\n\r\n");
        Message(inner.get(), depth + 1);
        return;
    }
    if (type != LIBPFF_ATTACHMENT_TYPE_DATA) return; // a link to a file elsewhere: no bytes here
    std::string mime = platform::ToLower(ReadText(attachment, kAttachMimeTag, codePage));
    if (mime.find('/') == std::string::npos || !IsPlainHeaderText(mime) ||
        mime.find_first_of(" ;\"") != std::string::npos)
        mime = "application/octet-stream";
    m_out.Put("Content-Type: " + mime);
    if (!name.empty()) m_out.Put(";\r\n " + Parameter("name", name));
    m_out.Put("\r\n" + disposition + "\r\n");
    const std::string id = ReadText(attachment, kAttachContentId, codePage);
    if (!id.empty() && IsPlainHeaderText(id)) m_out.Put("Content-ID: <" + id + ">\r\n");
    m_out.Put("Content-Transfer-Encoding: base64\r\n\r\n");

    size64_t size = 0;
    if (libpff_attachment_get_data_size(attachment, &size, nullptr) != 1) return;
    if (size > 0 && libpff_attachment_data_seek_offset(attachment, 0, SEEK_SET, nullptr) < 0) {
        m_damaged = true;
        return;
    }
    // Whole groups of 57 bytes per line, so the lines of every chunk join up.
    constexpr size_t kChunk = 57 * 1024;
    std::string chunk(kChunk, '\0');
    size64_t left = size;
    while (left > 0 && !m_out.Failed()) {
        const size_t want = static_cast<size_t>(std::min<size64_t>(left, kChunk));
        const ssize_t got = libpff_attachment_data_read_buffer(
            attachment, reinterpret_cast<uint8_t*>(chunk.data()), want, nullptr);
        if (got <= 0) {
            m_damaged = true;
            return;
        }
        PutBase64Lines(m_out, std::string_view(chunk).substr(0, static_cast<size_t>(got)));
        left -= static_cast<size64_t>(got);
        if (static_cast<size_t>(got) % 57 != 0 && left > 0) {
            // A short read in the middle: the lines would no longer join; give up on the rest.
            m_damaged = true;
            return;
        }
    }
}

void MimeWriter::Message(libpff_item_t* message, int depth) {
    const unsigned codePage = MessageCodePage(message, m_fileCodePage);
    Headers(message, codePage);
    m_out.Put("MIME-Version: 1.0\r\n");
    int count = 0;
    if (libpff_message_get_number_of_attachments(message, &count, nullptr) != 1) count = 0;
    if (count == 0) {
        Bodies(message, codePage);
        return;
    }
    const std::string boundary = Boundary();
    m_out.Put("Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n");
    m_out.Put("--" + boundary + "\r\n");
    Bodies(message, codePage);
    for (int i = 0; i < count && !m_out.Failed(); ++i) {
        ItemRef attachment;
        if (libpff_message_get_attachment(message, i, attachment.out(), nullptr) != 1) {
            m_damaged = true;
            continue;
        }
        m_out.Put("--" + boundary + "\r\n");
        Attachment(attachment.get(), depth, codePage);
    }
    m_out.Put("--" + boundary + "--\r\n");
}

} // namespace

std::string CodePageToUtf8(const std::string& bytes, unsigned codePage) {
    return platform::IconvToUtf8(bytes, CharsetOf(codePage));
}

std::string EscapePstFolderName(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '%') out += "%25";
        else if (c == '/') out += "%2F";
        else out += c;
    }
    return out;
}

std::string PstPathName(const std::string& name, int nth) {
    std::string out = EscapePstFolderName(name);
    if (nth > 1) out += "%#" + std::to_string(nth);
    return out;
}

std::string UnescapePstFolderName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size() + 0 && name.compare(i, 3, "%25") == 0) {
            out += '%';
            i += 2;
        } else if (name[i] == '%' && i + 2 < name.size() &&
                   (name.compare(i, 3, "%2F") == 0 || name.compare(i, 3, "%2f") == 0)) {
            out += '/';
            i += 2;
        } else {
            out += name[i];
        }
    }
    return out;
}

bool HasPstExtension(const std::string& path) {
    if (path.size() < 4) return false;
    const std::string ext = platform::ToLower(path.substr(path.size() - 4));
    return ext == ".pst" || ext == ".ost";
}

CPstFile::CPstFile() = default;

CPstFile::~CPstFile() {
    Close();
}

void CPstFile::Close() {
    m_selected.Clear();
    if (m_file) {
        auto* file = static_cast<libpff_file_t*>(m_file);
        libpff_file_close(file, nullptr);
        libpff_file_free(&file, nullptr);
        m_file = nullptr;
    }
    m_folders.clear();
    m_mailTreeId = 0;
    m_codePage = 1252;
}

platform::Status CPstFile::Open(const std::string& path) {
    using platform::StatusCode;
    Close();
    auto fail = [&](StatusCode code, const std::string& reason) {
        Close();
        return platform::Status(code, reason);
    };
    // Only a plain file: a pipe or a device would never end the read.
    std::string refused;
    platform::UniqueFd probe(platform::OpenFileForReading(path, UINT64_MAX, &refused));
    if (!probe.IsOpen())
        return refused.empty() ? fail(StatusCode::Missing, "cannot be read")
                               : fail(StatusCode::Refused, refused);
    char head[4] = {};
    struct stat st {};
    const bool signed_ =
        ::read(probe.Get(), head, sizeof head) == 4 && std::memcmp(head, "!BDN", 4) == 0;
    const bool whole = ::fstat(probe.Get(), &st) == 0 && st.st_size >= kHeaderSize;
    probe.Close();
    if (!signed_) return fail(StatusCode::NotRecognised, "not an Outlook data file (.pst or .ost)");
    if (!whole)
        return fail(StatusCode::Damaged, "a damaged Outlook data file: it ends inside its header");
    libpff_file_t* file = nullptr;
    if (libpff_file_initialize(&file, nullptr) != 1)
        return fail(StatusCode::Unreadable, "out of memory");
    m_file = file;
    libpff_error_t* error = nullptr;
    if (libpff_file_open(file, path.c_str(), LIBPFF_OPEN_READ, &error) != 1) {
        char trace[4096] = {};
        libpff_error_backtrace_sprint(error, trace, sizeof trace);
        libpff_error_free(&error);
        libpff_file_free(&file, nullptr);
        m_file = nullptr;
        if (std::strstr(trace, "checksum") || std::strstr(trace, "CRC"))
            return fail(StatusCode::Damaged,
                        "a damaged Outlook data file: its header checksum is wrong");
        return fail(StatusCode::Damaged, "a damaged Outlook data file: its index cannot be read");
    }
    ListFolders();
    if (m_folders.empty())
        return fail(StatusCode::Damaged, "a damaged Outlook data file: its folders cannot be read");
    return {};
}

platform::Result<std::shared_ptr<const CPstFile>> CPstFile::OpenShared(const std::string& path) {
    // What tells the file that was opened from one put in its place or written to since.
    struct Kept {
        std::string Path;
        dev_t Device = 0;
        ino_t Inode = 0;
        off_t Size = 0;
        timespec Modified{};
        std::shared_ptr<const CPstFile> File;
    };
    static Kept kept;
    struct stat st {};
    const bool known = ::stat(path.c_str(), &st) == 0;
    if (known && kept.File && kept.Path == path && kept.Device == st.st_dev &&
        kept.Inode == st.st_ino && kept.Size == st.st_size &&
        kept.Modified.tv_sec == st.st_mtim.tv_sec && kept.Modified.tv_nsec == st.st_mtim.tv_nsec)
        return kept.File;
    kept = Kept{};
    auto file = std::make_shared<CPstFile>();
    if (platform::Status opened = file->Open(path); !opened) return opened;
    if (known) kept = Kept{path, st.st_dev, st.st_ino, st.st_size, st.st_mtim, file};
    return file;
}

void CPstFile::ListFolders() {
    auto* file = static_cast<libpff_file_t*>(m_file);
    uint8_t fileType = 0;
    libpff_file_get_type(file, &fileType, nullptr);
    {
        ItemRef store;
        if (libpff_file_get_message_store(file, store.out(), nullptr) == 1) {
            if (std::optional<Prop> id = ReadProp(store.get(), kIpmSubtreeEntryId))
                m_mailTreeId = EntryIdNode(id->data);
            if (fileType == LIBPFF_FILE_TYPE_32BIT)
                if (std::optional<std::uint32_t> cp = ReadInt32(store.get(), kMessageCodePage))
                    m_codePage = *cp;
        }
    }
    ItemRef root;
    if (libpff_file_get_root_folder(file, root.out(), nullptr) != 1) return;
    if (fileType == LIBPFF_FILE_TYPE_32BIT && m_codePage == 1252) {
        // 8-bit files keep names in the code page of the system that wrote them; the file does
        // not say which, but its mail does.
        std::vector<libpff_item_t*> stack;
        // Breadth-limited look at the first messages found.
        std::function<bool(libpff_item_t*, int)> look = [&](libpff_item_t* folder, int depth) {
            int messages = 0;
            if (libpff_folder_get_number_of_sub_messages(folder, &messages, nullptr) == 1)
                for (int i = 0; i < messages && i < 8; ++i) {
                    ItemRef message;
                    if (libpff_folder_get_sub_message(folder, i, message.out(), nullptr) != 1)
                        continue;
                    const unsigned cp = MessageCodePage(message.get(), 0);
                    if (cp != 0) {
                        m_codePage = cp;
                        return true;
                    }
                }
            int folders = 0;
            if (depth >= 8 ||
                libpff_folder_get_number_of_sub_folders(folder, &folders, nullptr) != 1)
                return false;
            for (int i = 0; i < folders && i < 64; ++i) {
                ItemRef sub;
                if (libpff_folder_get_sub_folder(folder, i, sub.out(), nullptr) == 1 &&
                    look(sub.get(), depth + 1))
                    return true;
            }
            return false;
        };
        look(root.get(), 0);
    }
    const std::string rootName = ReadText(root.get(), kDisplayName, m_codePage);
    if (!rootName.empty()) {
        AddFolders(root.get(), -1, 0, false);
    } else {
        int folders = 0;
        if (libpff_folder_get_number_of_sub_folders(root.get(), &folders, nullptr) == 1)
            for (int i = 0; i < folders; ++i) {
                ItemRef sub;
                if (libpff_folder_get_sub_folder(root.get(), i, sub.out(), nullptr) == 1)
                    AddFolders(sub.get(), -1, 0, false);
            }
    }
    // Paths, now that the folders shown are known: a name shared with earlier siblings gets its
    // place among them. Parents come first, so theirs are already made.
    std::map<std::pair<int, std::string>, int> seen;
    for (PstFolder& f : m_folders) {
        const int nth = ++seen[{f.Parent, f.Name}];
        const std::string own = PstPathName(f.Name, nth);
        f.Path = f.Parent < 0 ? own : m_folders[static_cast<size_t>(f.Parent)].Path + "/" + own;
    }
}

bool CPstFile::AddFolders(void* folderItem, int parent, int depth, bool inMailTree) {
    libpff_item_t* folder = Item(folderItem);
    if (depth > 64) return false;
    if (ReadInt32(folder, kFolderType).value_or(1) == kFolderTypeSearch) return false;
    std::uint32_t id = 0;
    libpff_item_get_identifier(folder, &id, nullptr);
    if (id != 0 && id == m_mailTreeId) inMailTree = true;

    PstFolder entry;
    entry.Name = ReadText(folder, kDisplayName, m_codePage);
    entry.Id = id;
    entry.Parent = parent;
    int folders = 0;
    const bool listsFolders =
        libpff_folder_get_number_of_sub_folders(folder, &folders, nullptr) == 1;
    // A cache file's store may not say where its mail tree is; it keeps it under this name.
    if (m_mailTreeId == 0 && entry.Name == "IPM_SUBTREE" && folders > 0) inMailTree = true;
    if (entry.Name.empty()) entry.Name = "(no name)";
    entry.Depth = depth;
    // A folder's table of items is read only where the listing depends on it: a folder outside
    // the mail tree is shown when it holds mail. Those of the mail tree are read when selected.
    bool holdsMail = false;
    if (!inMailTree) {
        int items = 0;
        if (libpff_folder_get_number_of_sub_messages(folder, &items, nullptr) != 1)
            return false; // an internal table of a kind the library does not read
        for (int i = 0; i < items && !holdsMail; ++i) {
            ItemRef message;
            if (libpff_folder_get_sub_message(folder, i, message.out(), nullptr) == 1)
                holdsMail = IsMail(message.get());
        }
    }
    const int at = static_cast<int>(m_folders.size());
    m_folders.push_back(std::move(entry));
    bool below = false;
    if (listsFolders) {
        for (int i = 0; i < folders; ++i) {
            ItemRef sub;
            if (libpff_folder_get_sub_folder(folder, i, sub.out(), nullptr) == 1)
                below |= AddFolders(sub.get(), at, depth + 1, inMailTree);
        }
    } else if (inMailTree) {
        m_folders[static_cast<size_t>(at)].Unreadable = true;
    }
    if (inMailTree || below || holdsMail) return true;
    // Nothing below was kept, so the folder is still the last one.
    m_folders.pop_back();
    return false;
}

void CPstFolder::Clear() {
    CloseMail();
    if (m_selected) {
        libpff_item_t* selected = Item(m_selected);
        libpff_item_free(&selected, nullptr);
        m_selected = nullptr;
    }
    m_mail.clear();
    m_stamps.clear();
    m_skipped = m_unreadableItems = 0;
    m_file = nullptr;
}

bool CPstFolder::Select(const CPstFile& pst, const std::string& path, std::string* why) {
    Clear();
    auto fail = [&](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    if (!pst.m_file) return fail("the file is not open");
    const std::vector<PstFolder>& folders = pst.m_folders;
    auto known = std::find_if(folders.begin(), folders.end(),
                              [&](const PstFolder& f) { return f.Path == path; });
    if (known == folders.end()) return fail("the file has no folder \"" + path + "\"");
    if (known->Unreadable) return fail("the folder \"" + path + "\" cannot be read");

    auto* file = static_cast<libpff_file_t*>(pst.m_file);
    ItemRef current;
    if (known->Id == 0 ||
        libpff_file_get_item_by_identifier(file, known->Id, current.out(), nullptr) != 1)
        return fail("the folder \"" + path + "\" cannot be read");
    int messages = 0;
    if (libpff_folder_get_number_of_sub_messages(current.get(), &messages, nullptr) != 1)
        return fail("the folder \"" + path + "\" cannot be read");
    // The folder's table of contents names each item's class: the items themselves are read
    // once, when their mail is, and only those whose class the table does not tell are read here.
    std::unordered_map<std::uint32_t, int> mailByNode;
    ItemRef contents;
    int rows = 0;
    if (libpff_folder_get_sub_messages(current.get(), contents.out(), nullptr) == 1 &&
        libpff_item_get_number_of_record_sets(contents.get(), &rows, nullptr) == 1)
        for (int row = 0; row < rows; ++row)
            if (std::optional<std::uint32_t> node = ReadInt32(contents.get(), kRowId, row))
                mailByNode[*node] = MailClass(ReadText(contents.get(), kMessageClass, 1252, row));
    for (int i = 0; i < messages; ++i) {
        ItemRef message;
        if (libpff_folder_get_sub_message(current.get(), i, message.out(), nullptr) != 1) {
            ++m_unreadableItems;
            continue;
        }
        std::uint32_t node = 0;
        int mail = -1;
        if (libpff_item_get_identifier(message.get(), &node, nullptr) == 1)
            if (auto known = mailByNode.find(node); known != mailByNode.end()) mail = known->second;
        if (mail < 0) mail = IsMail(message.get()) ? 1 : 0;
        if (mail) m_mail.push_back(i);
        else ++m_skipped;
    }
    m_stamps.assign(m_mail.size(), StampFacts{});
    m_selected = current.Release();
    m_file = &pst;
    return true;
}

void* CPstFolder::OpenMail(int index) {
    if (!m_selected || index < 0 || index >= Count()) return nullptr;
    if (m_message && m_messageIndex == index) return m_message;
    CloseMail();
    libpff_item_t* message = nullptr;
    if (libpff_folder_get_sub_message(Item(m_selected), m_mail[static_cast<size_t>(index)],
                                      &message, nullptr) != 1)
        return nullptr;
    m_message = message;
    m_messageIndex = index;
    // Its stamp while its properties are at hand: a run asks for it again once it is done.
    m_stamps[static_cast<size_t>(index)] = ReadStampFacts(message);
    return message;
}

void CPstFolder::CloseMail() {
    if (m_message) {
        libpff_item_t* message = Item(m_message);
        libpff_item_free(&message, nullptr);
        m_message = nullptr;
    }
    m_messageIndex = -1;
}

bool CPstFolder::ReadHeader(int index, PstHeader& header) {
    header = PstHeader{};
    libpff_item_t* message = Item(OpenMail(index));
    if (!message) return false;
    const unsigned codePage = MessageCodePage(message, m_file->m_codePage);
    header.Subject = ReadText(message, kSubject, codePage);
    if (header.Subject.size() >= 2 && header.Subject[0] == '\x01') header.Subject.erase(0, 2);
    header.SenderName = ReadText(message, kSenderName, codePage);
    if (header.SenderName.empty())
        header.SenderName = ReadText(message, kSentRepresentingName, codePage);
    header.Sender = ReadText(message, kSenderSmtpAddress, codePage);
    if (header.Sender.empty())
        header.Sender = ReadText(message, kSentRepresentingSmtpAddress, codePage);
    if (header.Sender.empty() &&
        platform::ToUpper(ReadText(message, kSenderAddressType, codePage)) != "EX")
        header.Sender = ReadText(message, kSenderEmail, codePage);
    if (header.Sender.empty()) {
        const std::string other = ReadText(message, kSentRepresentingEmail, codePage);
        if (other.find('@') != std::string::npos) header.Sender = other;
    }
    header.Time = ReadTime(message, kDeliveryTime);
    if (!header.Time) header.Time = ReadTime(message, kClientSubmitTime);
    return true;
}

PstWrite CPstFolder::WriteMessage(int index, int fd) {
    libpff_item_t* message = Item(OpenMail(index));
    if (!message) return PstWrite::Unreadable;
    Output out(fd);
    MimeWriter writer(out, m_file->m_codePage);
    writer.Message(message, 0);
    if (!out.Flush()) return PstWrite::WriteFailed;
    return writer.Damaged() ? PstWrite::Unreadable : PstWrite::Written;
}

namespace {

std::string HexText(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

} // namespace

std::string CPstFolder::MessageStamp(int index) {
    if (index < 0 || index >= Count()) return {};
    if (m_stamps[static_cast<size_t>(index)].State == StampFacts::Unread && !OpenMail(index))
        return {};
    const StampFacts& facts = m_stamps[static_cast<size_t>(index)];
    if (facts.State != StampFacts::Read) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%u:%016llx:", static_cast<unsigned>(facts.Id),
                  static_cast<unsigned long long>(facts.Changed));
    std::string stamp = text;
    if (facts.HasSize) stamp += std::to_string(facts.Size);
    return stamp;
}

CPstFolder::StampFacts CPstFolder::ReadStampFacts(void* item) {
    libpff_item_t* message = Item(item);
    StampFacts facts;
    facts.State = StampFacts::None;
    if (libpff_item_get_identifier(message, &facts.Id, nullptr) != 1 || facts.Id == 0)
        return facts;
    std::optional<Prop> changed = ReadProp(message, kModificationTime);
    if (!changed || changed->type != kTypeTime || changed->data.size() != 8) return facts;
    for (int i = 7; i >= 0; --i)
        facts.Changed =
            (facts.Changed << 8) | static_cast<unsigned char>(changed->data[static_cast<size_t>(i)]);
    if (std::optional<std::uint32_t> size = ReadInt32(message, kMessageSize)) {
        facts.HasSize = true;
        facts.Size = *size;
    }
    facts.State = StampFacts::Read;
    return facts;
}

std::string CPstFile::StoreIdentity() const {
    if (!m_file) return {};
    ItemRef store;
    if (libpff_file_get_message_store(static_cast<libpff_file_t*>(m_file), store.out(), nullptr) !=
        1)
        return {};
    std::optional<Prop> key = ReadProp(store.get(), kRecordKey);
    if (!key || key->type != kTypeBinary) return {};
    return HexText(key->data);
}
