#include "DbxWriter.h"

#include <algorithm>
#include <unistd.h>

#include "oe/DbxFormat.h"

namespace {

constexpr std::uint32_t kHeaderSize = 0x200;

void Set32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
}
void Set16(std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}
std::string Le32Bytes(std::uint32_t v) {
    std::string s(4, '\0');
    Set32(s, 0, v);
    return s;
}

} // namespace

std::uint64_t FileTimeFromUnix(std::int64_t seconds) {
    return static_cast<std::uint64_t>(seconds + 11644473600LL) * 10000000ULL;
}

CDbxWriter::CDbxWriter(std::FILE* out, bool folderFile, const DbxWriterOptions& options)
    : m_out(out), m_folderFile(folderFile), m_options(options) {
    Put(std::string(kHeaderSize, '\0')); // filled in by Finish
}

void CDbxWriter::Put(const std::string& bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), m_out) != bytes.size())
        m_ok = false;
    m_pos += bytes.size();
}

std::uint32_t CDbxWriter::WriteTextChain(const std::string& text, bool loop, bool outside) {
    std::uint32_t first = Tell();
    std::size_t blockSize = std::max<std::size_t>(1, m_options.blockTextSize);
    std::size_t offset = 0;
    bool firstBlock = true;
    do {
        std::size_t len = std::min(blockSize, text.size() - offset);
        bool last = offset + len >= text.size();
        std::string header(dbx::kBlockHeaderSize, '\0');
        std::uint32_t self = Tell();
        Set32(header, 0, self);
        Set32(header, 4, static_cast<std::uint32_t>(blockSize));
        Set16(header, dbx::kBlockLengthOffset, static_cast<std::uint16_t>(len));
        // Blocks start at multiples of four, as in the mail program's files.
        std::size_t pad = (4 - len % 4) % 4;
        std::uint32_t next =
            last ? 0 : self + dbx::kBlockHeaderSize + static_cast<std::uint32_t>(len + pad);
        if (last && loop) next = first;
        if (firstBlock && outside) next = 0xFFFFFF00u;
        Set32(header, dbx::kBlockNextOffset, next);
        Put(header);
        Put(text.substr(offset, len));
        Put(std::string(pad, '\0'));
        offset += len;
        firstBlock = false;
    } while (offset < text.size());
    return first;
}

std::uint32_t
CDbxWriter::WriteItem(const std::vector<std::pair<std::uint8_t, std::string>>& valueFields,
                      const std::vector<std::pair<std::uint8_t, std::uint32_t>>& directFields,
                      int breakField, bool unterminated) {
    std::size_t n = valueFields.size() + directFields.size();
    std::string entries, values;
    for (std::size_t i = 0; i < valueFields.size(); ++i) {
        std::uint32_t v = static_cast<std::uint32_t>(values.size());
        values += valueFields[i].second;
        if (static_cast<int>(i) == breakField && !unterminated) v = 0xFFFFF0; // outside the data
        std::string e = Le32Bytes(v << 8);
        e[0] = static_cast<char>(valueFields[i].first);
        entries += e;
    }
    for (const auto& [id, v] : directFields) {
        std::string e = Le32Bytes(v << 8);
        e[0] = static_cast<char>(id);
        entries += e;
    }
    std::string header(dbx::kItemHeaderSize, '\0');
    std::uint32_t self = Tell();
    Set32(header, 0, self);
    Set32(header, dbx::kItemDataSizeOffset,
          static_cast<std::uint32_t>(entries.size() + values.size()));
    header[dbx::kItemFieldCountOffset] = static_cast<char>(n);
    Put(header);
    Put(entries);
    Put(values);
    Put(std::string((4 - m_pos % 4) % 4, '\0'));
    m_walkOrder.push_back(self);
    return self;
}

void CDbxWriter::AddMessage(const DbxTestMessage& message) {
    int number = m_messageNumber++;
    std::int64_t textPos = -1;
    if (message.withTextPosition)
        textPos = WriteTextChain(message.text, number == m_options.chainLoopMessage,
                                 number == m_options.chainOutsideMessage);
    bool unterminated = number == m_options.unterminatedSubjectMessage;
    // The subject goes last so that a subject without its zero byte runs to the data's end.
    std::vector<std::pair<std::uint8_t, std::string>> values;
    std::vector<std::pair<std::uint8_t, std::uint32_t>> direct;
    values.push_back({dbx::msg::kFlag, std::string(1, '\x21')});
    values.push_back({dbx::msg::kSenderName, message.senderName + '\0'});
    values.push_back({dbx::msg::kSender, message.sender + '\0'});
    std::string date(8, '\0');
    Set32(date, 0, static_cast<std::uint32_t>(message.date));
    Set32(date, 4, static_cast<std::uint32_t>(message.date >> 32));
    values.push_back({dbx::msg::kDate, date});
    direct.push_back({dbx::msg::kNumber80, static_cast<std::uint32_t>(number + 1)});
    if (textPos >= 0) {
        if (m_options.textPositionInValues || textPos > 0xFFFFFF)
            values.push_back(
                {dbx::msg::kTextPosition, Le32Bytes(static_cast<std::uint32_t>(textPos))});
        else
            direct.push_back({dbx::msg::kTextPositionDirect, static_cast<std::uint32_t>(textPos)});
    }
    values.push_back({dbx::msg::kSubject, unterminated ? message.subject : message.subject + '\0'});
    int breakField = -1;
    if (unterminated || number == m_options.fieldOutsideMessage)
        breakField = static_cast<int>(values.size()) - 1;
    WriteItem(values, direct, breakField, unterminated);
    if (number == m_options.unindexedMessage) m_walkOrder.pop_back();
}

void CDbxWriter::AddFolder(const DbxTestFolder& folder) {
    std::vector<std::pair<std::uint8_t, std::string>> values = {
        {dbx::folder::kText02, folder.text02 + '\0'}, {dbx::folder::kText03, folder.text03 + '\0'}};
    std::vector<std::pair<std::uint8_t, std::uint32_t>> direct;
    if (folder.numbersInValues) {
        values.push_back({dbx::folder::kNumber80InValues, Le32Bytes(folder.number80)});
        values.push_back({dbx::folder::kNumber81InValues, Le32Bytes(folder.number81)});
    } else {
        direct = {{dbx::folder::kNumber80, folder.number80},
                  {dbx::folder::kNumber81, folder.number81}};
    }
    WriteItem(values, direct, -1, false);
}

// Writes the subtree holding walk-order items [lo, hi) below the current position, children
// before their parent; returns the node's position.
std::uint32_t CDbxWriter::WriteTree(std::size_t lo, std::size_t hi, std::uint32_t& count) {
    std::size_t size = hi - lo;
    count = static_cast<std::uint32_t>(size);
    std::size_t k = std::min<std::size_t>(std::clamp(m_options.entriesPerNode, 1, 127), size);
    std::size_t rest = size - k;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> children(k + 1, {0, 0});
    std::vector<std::uint32_t> records(k);
    std::size_t at = lo;
    for (std::size_t c = 0; c <= k; ++c) {
        std::size_t childSize = rest / (k + 1) + (c < rest % (k + 1) ? 1 : 0);
        if (childSize > 0) {
            std::uint32_t childCount;
            children[c].first = WriteTree(at, at + childSize, childCount);
            children[c].second = childCount;
            at += childSize;
        }
        if (c < k) records[c] = m_walkOrder[at++];
    }
    std::uint32_t self = Tell();
    bool isRoot = lo == 0 && hi == m_walkOrder.size();
    if (isRoot && m_options.treeLoop) children[k] = {self, 1};
    std::string node(dbx::kNodeHeaderSize + k * dbx::kNodeEntrySize, '\0');
    Set32(node, 0, self);
    Set32(node, dbx::kNodeFirstChildOffset, children[0].first);
    node[dbx::kNodeEntryCountOffset] = static_cast<char>(k);
    Set32(node, dbx::kNodeFirstChildCountOffset, children[0].second);
    for (std::size_t i = 0; i < k; ++i) {
        std::size_t e = dbx::kNodeHeaderSize + i * dbx::kNodeEntrySize;
        Set32(node, e + dbx::kEntryRecordOffset, records[i]);
        Set32(node, e + dbx::kEntryChildOffset, children[i + 1].first);
        Set32(node, e + dbx::kEntryChildCountOffset, children[i + 1].second);
    }
    Put(node);
    return self;
}

bool CDbxWriter::Finish() {
    if (m_options.repeatMessage >= 0 &&
        static_cast<std::size_t>(m_options.repeatMessage) < m_walkOrder.size())
        m_walkOrder.insert(m_walkOrder.end(), static_cast<std::size_t>(m_options.repeatTimes),
                           m_walkOrder[static_cast<std::size_t>(m_options.repeatMessage)]);
    // The first record the walk meets gets the highest index, so walk the items backwards to
    // give each the index of its place in the list.
    std::reverse(m_walkOrder.begin(), m_walkOrder.end());
    std::uint32_t root = 0, count = 0;
    if (!m_walkOrder.empty()) root = WriteTree(0, m_walkOrder.size(), count);
    for (int d = 0; d < m_options.extraTreeDepth; ++d) {
        std::string node(dbx::kNodeHeaderSize, '\0');
        std::uint32_t self = Tell();
        Set32(node, 0, self);
        Set32(node, dbx::kNodeFirstChildOffset, root);
        Set32(node, dbx::kNodeFirstChildCountOffset, std::max<std::uint32_t>(count, 1));
        Put(node);
        root = self;
    }
    std::string header(kHeaderSize, '\0');
    std::uint32_t sig[4] = {dbx::kSignature0,
                            m_folderFile ? dbx::kSignatureFolders : dbx::kSignatureMessages,
                            dbx::kSignature2, dbx::kSignature3};
    if (m_options.signatureWord >= 0 && m_options.signatureWord < 4)
        sig[m_options.signatureWord] = m_options.signatureValue;
    for (int i = 0; i < 4; ++i)
        Set32(header, 4 * i, sig[i]);
    std::int32_t itemCount =
        m_options.overrideItemCount
            ? m_options.itemCount
            : static_cast<std::int32_t>(m_walkOrder.size()) + m_options.itemCountDelta;
    Set32(header, dbx::kItemCountOffset, static_cast<std::uint32_t>(itemCount));
    Set32(header, dbx::kIndexPointerOffset,
          m_options.overrideIndexPointer ? m_options.indexPointer : root);
    if (std::fflush(m_out) != 0 || std::fseek(m_out, 0, SEEK_SET) != 0) return false;
    if (std::fwrite(header.data(), 1, header.size(), m_out) != header.size()) return false;
    if (std::fflush(m_out) != 0) return false;
    if (m_options.truncateTo > 0 &&
        ftruncate(fileno(m_out), static_cast<off_t>(m_options.truncateTo)) != 0)
        return false;
    return m_ok;
}

namespace {

template <typename Fill>
std::string BuildWith(bool folderFile, const DbxWriterOptions& options, Fill fill) {
    std::FILE* f = std::tmpfile();
    if (!f) return {};
    CDbxWriter writer(f, folderFile, options);
    fill(writer);
    std::string bytes;
    if (writer.Finish() && std::fseek(f, 0, SEEK_END) == 0) {
        long size = std::ftell(f);
        bytes.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
        std::rewind(f);
        if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
    }
    std::fclose(f);
    return bytes;
}

} // namespace

std::string BuildDbxMessageFile(const std::vector<DbxTestMessage>& messages,
                                const DbxWriterOptions& options) {
    return BuildWith(false, options, [&](CDbxWriter& w) {
        for (const DbxTestMessage& m : messages)
            w.AddMessage(m);
    });
}

std::string BuildDbxFolderFile(const std::vector<DbxTestFolder>& folders,
                               const DbxWriterOptions& options) {
    return BuildWith(true, options, [&](CDbxWriter& w) {
        for (const DbxTestFolder& f : folders)
            w.AddFolder(f);
    });
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string ExpressTestMessageText(const std::string& subject, const std::string& attachmentName,
                                   const std::string& attachmentContent) {
    return "From: Jane Roe <jane@example.org>\r\n"
           "Subject: " + subject + "\r\n"
           "Date: Tue, 03 Jun 2003 10:00:00 +0000\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
           "--b1\r\nContent-Type: text/plain\r\n\r\nSee the attachment.\r\n"
           "--b1\r\nContent-Type: application/octet-stream; name=\"" + attachmentName + "\"\r\n"
           "Content-Disposition: attachment; filename=\"" + attachmentName + "\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" + [&] {
               static const char* t =
                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
               std::string out;
               const std::string& in = attachmentContent;
               for (std::size_t i = 0; i < in.size(); i += 3) {
                   unsigned v = static_cast<unsigned char>(in[i]) << 16;
                   if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
                   if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
                   out += t[v >> 18 & 63];
                   out += t[v >> 12 & 63];
                   out += i + 1 < in.size() ? t[v >> 6 & 63] : '=';
                   out += i + 2 < in.size() ? t[v & 63] : '=';
               }
               return out;
           }() + "\r\n"
           "--b1\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n"
           "Content-Disposition: attachment; filename=\"notes.txt\"\r\n\r\nnotes\r\n"
           "--b1\r\nContent-Type: application/octet-stream\r\n"
           "Content-Disposition: attachment\r\n\r\nno name\r\n"
           "--b1--\r\n";
}

bool WriteExpressTestStore(const std::string& folder) {
    auto message = [](int n, const std::string& name) {
        DbxTestMessage m;
        m.subject = "Message " + std::to_string(n);
        m.sender = "jane@example.org";
        m.senderName = "Sender " + std::to_string(n);
        m.date = FileTimeFromUnix(1054634400 + n * 3600);
        m.text = ExpressTestMessageText(m.subject, name, "content of " + name);
        return m;
    };
    std::vector<DbxTestMessage> inbox;
    for (int n = 1; n <= kExpressInboxMessages; ++n)
        inbox.push_back(message(n, "photo" + std::to_string(n) + ".jpg"));
    // The root's parent does not fit in an entry's 24 bits, so it goes to the values area.
    std::vector<DbxTestFolder> folders = {{"Outlook Express", "", 0, 0xFFFFFFFF, true},
                                          {"Local Folders", "", 1, 0},
                                          {"Inbox", "Inbox.dbx", 2, 1},
                                          {"Drafts", "Drafts.dbx", 3, 1},
                                          {"Lost", "Lost.dbx", 4, 1},
                                          {"Family", "Family.dbx", 5, 2}};
    return WriteBytes(folder + "/Folders.dbx", BuildDbxFolderFile(folders)) &&
           WriteBytes(folder + "/Inbox.dbx", BuildDbxMessageFile(inbox)) &&
           WriteBytes(folder + "/Family.dbx", BuildDbxMessageFile({message(9, "family.png")})) &&
           WriteBytes(folder + "/Drafts.dbx", BuildDbxMessageFile({}));
}
