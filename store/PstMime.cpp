#include "store/PstMime.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/HeaderText.h"
#include "platform/Text.h"
#include "platform/Utf8.h"
#include "store/PstProperties.h"

namespace pst {
namespace {

// Attached messages nest no deeper than this: a damaged file could make them a loop.
constexpr int kMaxNesting = 16;

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

MimeOutcome WriteMessageAsMime(libpff_item_t* message, int fd, unsigned fileCodePage) {
    Output out(fd);
    MimeWriter writer(out, fileCodePage);
    writer.Message(message, 0);
    MimeOutcome outcome;
    outcome.written = out.Flush();
    outcome.damaged = writer.Damaged();
    return outcome;
}

} // namespace pst
