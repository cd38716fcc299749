#include "oe/DbxScan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "oe/DbxFormat.h"
#include "platform/FileHandle.h"
#include "platform/HeaderText.h"
#include "platform/Text.h"

namespace {

// Blocks start at positions that are multiples of four, as the mail program places them.
constexpr std::uint32_t kAlignment = 4;
// The walk reads the file in pieces of this size.
constexpr std::uint64_t kPiece = 1 << 20;
// How much of a chain's first block decides whether it starts like a message.
constexpr std::size_t kHeaderLook = 512;
// How much of a message is read for its subject, in bytes and in blocks.
constexpr std::size_t kSubjectLook = 16 * 1024;
constexpr int kSubjectBlocks = 64;
constexpr std::size_t kFlushAt = 256 * 1024;

std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint16_t Le16(const unsigned char* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

// Names that open nearly every stored mail; a chain is a message when its header reaches one.
bool IsMailHeaderName(const std::string& name) {
    static const char* const kNames[] = {"received",     "return-path", "from",   "to",
                                         "cc",           "subject",     "date",   "message-id",
                                         "mime-version", "reply-to",    "sender", "delivered-to"};
    std::string lower = platform::ToLower(name);
    return std::any_of(std::begin(kNames), std::end(kNames),
                       [&](const char* n) { return lower == n; });
}

} // namespace

bool DbxTextStartsWithHeaders(const char* text, std::size_t length) {
    std::size_t at = 0;
    bool first = true;
    while (at < length) {
        const char* line = text + at;
        std::size_t rest = length - at;
        if (!first && (line[0] == ' ' || line[0] == '\t')) {
            // a folded continuation of the line before
        } else {
            std::size_t n = 0;
            while (n < rest && line[n] > ' ' && line[n] < 0x7F && line[n] != ':')
                ++n;
            if (n == 0 || n == rest || line[n] != ':') return false;
            if (IsMailHeaderName(std::string(line, n))) return true;
        }
        const void* end = std::memchr(line, '\n', rest);
        if (!end) return false;
        at = static_cast<std::size_t>(static_cast<const char*>(end) - text) + 1;
        first = false;
    }
    return false;
}

CDbxMessageScan::CDbxMessageScan() = default;
CDbxMessageScan::~CDbxMessageScan() = default;

void CDbxMessageScan::Reset() {
    m_blocks = DbxUnitSet();
    m_claims = DbxBlockClaims();
    m_starts = DbxUnitSet();
    m_whole = DbxUnitSet();
    m_written = DbxUnitSet();
    m_startCount = 0;
}

platform::Status CDbxMessageScan::Open(const std::string& path) {
    Reset();
    m_path = path;
    platform::Result<std::unique_ptr<DbxFile>> opened = DbxFile::Open(path);
    if (!opened) return opened.GetStatus();
    m_file = opened.Take();
    unsigned char sig[dbx::kSignatureSize];
    if (!m_file->Read(0, sig, sizeof sig) || Le32(sig) != dbx::kSignature0 ||
        Le32(sig + 4) != dbx::kSignatureMessages || Le32(sig + 8) != dbx::kSignature2 ||
        Le32(sig + 12) != dbx::kSignature3) {
        m_file.reset();
        return platform::Status(platform::StatusCode::NotRecognised, "is not a .dbx message file");
    }
    return {};
}

bool CDbxMessageScan::IsBlock(std::uint32_t position) const {
    return position % kAlignment == 0 && m_blocks.Has(position / kAlignment);
}

bool CDbxMessageScan::LooksLikeHeaders(std::uint32_t position) {
    unsigned char header[dbx::kBlockHeaderSize];
    if (!m_file->Read(position, header, sizeof header)) return false;
    std::size_t length = std::min<std::size_t>(Le16(header + dbx::kBlockLengthOffset), kHeaderLook);
    char text[kHeaderLook];
    return length > 0 &&
           m_file->Read(std::uint64_t(position) + dbx::kBlockHeaderSize, text, length) &&
           DbxTextStartsWithHeaders(text, length);
}

bool CDbxMessageScan::Scan(const std::function<bool(std::uint64_t, std::uint64_t)>& keepGoing) {
    Reset();
    if (!m_file) return true;
    const std::uint64_t size = m_file->Size();
    // A block names itself with 32 bits, so none starts beyond that.
    const std::uint64_t end = std::min<std::uint64_t>(size, std::uint64_t(UINT32_MAX) + 1);
    DbxUnitSet targets;
    std::vector<unsigned char> piece;
    // The header words come first; the walk starts behind them.
    for (std::uint64_t base = dbx::kMinHeaderSize; base + dbx::kBlockHeaderSize <= end;
         base += kPiece) {
        if (!keepGoing(base / 2, size)) return false; // the walk is the first half
        // Each piece reaches one header beyond its last start, so no header is cut in two.
        std::size_t length = static_cast<std::size_t>(
            std::min<std::uint64_t>(kPiece + dbx::kBlockHeaderSize - kAlignment, size - base));
        piece.resize(length);
        // A piece the disk will not give is passed over; the rest may still hold messages.
        if (!m_file->Read(base, piece.data(), length)) continue;
        for (std::size_t off = 0; off < kPiece && off + dbx::kBlockHeaderSize <= length;
             off += kAlignment) {
            const unsigned char* p = piece.data() + off;
            const std::uint64_t position = base + off;
            if (Le32(p) != position) continue;
            std::uint16_t textLength = Le16(p + dbx::kBlockLengthOffset);
            if (textLength > Le32(p + 4) || position + dbx::kBlockHeaderSize + textLength > size)
                continue;
            m_blocks.Add(position / kAlignment);
            std::uint32_t next = Le32(p + dbx::kBlockNextOffset);
            if (next % kAlignment == 0) targets.Add(next / kAlignment);
        }
    }
    std::vector<unsigned char>().swap(piece);
    std::size_t looked = 0;
    // The chains the index reaches take their blocks first, in the order the readers take
    // them, so that no message found here repeats or runs into one of them.
    if (std::unique_ptr<DbxStore> store = OpenDbxStore(m_path).Take()) {
        for (std::int32_t i = store->itemCount - 1; i >= 0; --i) {
            if (++looked % 4096 == 0 && !keepGoing(size / 2, size)) return false;
            std::unique_ptr<DbxRecord> record = ReadDbxItem(store.get(), i, 0).Take();
            auto* message = dynamic_cast<DbxMessageRecord*>(record.get());
            if (message && message->textPosition != -1)
                TakeDbxTextChain(*m_file, m_claims, static_cast<std::uint32_t>(message->textPosition), {});
        }
    }
    const std::uint64_t limit = end / kAlignment + 1;
    for (std::uint64_t unit = m_blocks.Next(0, limit); unit < limit;
         unit = m_blocks.Next(unit + 1, limit)) {
        const auto block = static_cast<std::uint32_t>(unit * kAlignment);
        if (++looked % 4096 == 0 && !keepGoing(size / 2 + block / 2, size)) return false;
        if (targets.Has(unit) || m_claims.taken.Has(unit) || !LooksLikeHeaders(block)) continue;
        DbxChainEnd chain = TakeDbxTextChain(*m_file, m_claims, block, {}, &m_blocks);
        if (chain == DbxChainEnd::Empty) continue;
        m_starts.Add(unit);
        if (chain == DbxChainEnd::Whole) m_whole.Add(unit);
        ++m_startCount;
    }
    return true;
}

std::uint32_t CDbxMessageScan::NextStart(std::uint32_t after) const {
    if (!m_file) return 0;
    const std::uint64_t limit = m_file->Size() / kAlignment + 1;
    const std::uint64_t unit = m_starts.Next(after == 0 ? 0 : after / kAlignment + 1, limit);
    return unit < limit ? static_cast<std::uint32_t>(unit * kAlignment) : 0;
}

std::string CDbxMessageScan::ReadSubject(std::uint32_t start) {
    // The header, read through as many blocks as it needs (within bounds), up to its end.
    std::string head;
    std::uint32_t position = start;
    for (int n = 0; n < kSubjectBlocks && position != 0 && head.size() < kSubjectLook; ++n) {
        if (!IsBlock(position)) break;
        unsigned char header[dbx::kBlockHeaderSize];
        if (!m_file->Read(position, header, sizeof header)) break;
        std::size_t length = Le16(header + dbx::kBlockLengthOffset);
        std::size_t at = head.size();
        head.resize(at + length);
        if (!m_file->Read(std::uint64_t(position) + dbx::kBlockHeaderSize, head.data() + at,
                          length)) {
            head.resize(at);
            break;
        }
        if (head.find("\n\r\n") != std::string::npos || head.find("\n\n") != std::string::npos)
            break;
        position = Le32(header + dbx::kBlockNextOffset);
    }
    std::string subject;
    bool inSubject = false;
    std::size_t at = 0;
    while (at < head.size()) {
        std::size_t eol = head.find('\n', at);
        std::string line = head.substr(at, eol == std::string::npos ? std::string::npos : eol - at);
        at = eol == std::string::npos ? head.size() : eol + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break; // the header ends
        if (line[0] == ' ' || line[0] == '\t') {
            if (inSubject) subject += "\r\n" + line;
            continue;
        }
        if (inSubject) break;
        if (line.size() >= 8 && platform::ToLower(line.substr(0, 8)) == "subject:") {
            subject = line.substr(8);
            inSubject = true;
        }
    }
    return platform::Trim(platform::DecodeHeaderText(subject));
}

MailTextWrite CDbxMessageScan::WriteText(std::uint32_t start, int fd) {
    if (!m_file || start % kAlignment != 0) return MailTextWrite::Unreadable;
    const std::uint64_t unit = start / kAlignment;
    // A chain's text is had once: every copy of a message would be as large as the message.
    if (!m_starts.Has(unit) || m_written.Has(unit)) return MailTextWrite::Unreadable;
    m_written.Add(unit);
    std::string pending;
    bool writeOk = true;
    bool read = RereadDbxTextChain(*m_file, m_claims, start, [&](const char* bytes, std::size_t len) {
        pending.append(bytes, len);
        if (pending.size() >= kFlushAt) {
            writeOk = platform::WriteAll(fd, pending);
            pending.clear();
        }
        return writeOk;
    });
    const bool whole = read && m_whole.Has(unit);
    if (writeOk && whole && !pending.empty()) writeOk = platform::WriteAll(fd, pending);
    if (!writeOk) return MailTextWrite::WriteFailed;
    return whole ? MailTextWrite::Written : MailTextWrite::Unreadable;
}
