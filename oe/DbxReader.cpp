#include "oe/DbxReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

#include "oe/DbxFormat.h"
#include "platform/FileHandle.h"
#include "platform/FileSystem.h"

const char* const DbxErrorTexts[kDbxErrorCount] = {
    "",
    "DBX File operation failed. Open or close",
    "Read of \"Item Count\" from DBX file failed",
    "Read of \"Index Pointer\" from DBX file failed",
    "Number of indexes read from dbx file is less than expected",
    "Number of indexes read from dbx file is greater than expected",
    "Request was made for index reference greater than exists (subscript out of range)",
    "Reading of data from dbx file failed",
    "Item is a news item not an email",
};

namespace {

// A failure of the reader, said as every reader says one.
platform::Status DbxStatus(int code) {
    using platform::StatusCode;
    const StatusCode kind = code == kDbxOpenFailed        ? StatusCode::NotRecognised
                            : code == kDbxIndexOutOfRange ? StatusCode::Missing
                                                          : StatusCode::Damaged;
    return {kind, DbxErrorTexts[code > 0 && code < kDbxErrorCount ? code : kDbxReadFailed]};
}

// Large enough that a message's blocks, which lie one after another in real files, are served
// from memory; small enough that memory use does not depend on the file.
constexpr std::size_t kWindowSize = 256 * 1024;

std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint16_t Le16(const unsigned char* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

bool PreadAll(int fd, std::uint64_t pos, unsigned char* out, std::size_t len) {
    while (len > 0) {
        ssize_t got = pread(fd, out, len, static_cast<off_t>(pos));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        pos += static_cast<std::uint64_t>(got);
        len -= static_cast<std::size_t>(got);
    }
    return true;
}

// ---- The index walk ----

struct TreeWalk {
    DbxFile& file;
    std::vector<std::uint32_t>& table;
    std::size_t cursor;
    // The nodes met, by the four-byte unit they start in (two nodes in one unit would overlap).
    DbxUnitSet seen;
    std::uint64_t seenCount;
    std::uint64_t maxNodes;
    int code = kDbxOk;
};

bool WalkNode(TreeWalk& walk, std::uint32_t pos, int depth) {
    // A node met twice means the tree loops; more nodes than the file has room for, or a
    // depth no real store reaches, means it is not a tree at all.
    if (depth > dbx::kMaxTreeDepth || walk.seen.Has(pos / DbxUnitSet::kUnit) ||
        ++walk.seenCount > walk.maxNodes) {
        walk.code = kDbxIndexPointerFailed;
        return false;
    }
    walk.seen.Add(pos / DbxUnitSet::kUnit);
    unsigned char header[dbx::kNodeHeaderSize];
    if (!walk.file.Read(pos, header, sizeof header)) {
        walk.code = kDbxIndexPointerFailed;
        return false;
    }
    if (static_cast<std::int32_t>(Le32(header + dbx::kNodeFirstChildCountOffset)) > 0 &&
        !WalkNode(walk, Le32(header + dbx::kNodeFirstChildOffset), depth + 1))
        return false;
    int entries = static_cast<signed char>(header[dbx::kNodeEntryCountOffset]);
    for (int i = 0; i < entries; ++i) {
        unsigned char entry[dbx::kNodeEntrySize];
        std::uint64_t at =
            std::uint64_t(pos) + dbx::kNodeHeaderSize + std::uint64_t(i) * dbx::kNodeEntrySize;
        if (!walk.file.Read(at, entry, sizeof entry)) {
            walk.code = kDbxIndexPointerFailed;
            return false;
        }
        if (walk.cursor == 0) {
            walk.code = kDbxTooManyIndexes;
            return false;
        }
        walk.table[--walk.cursor] = Le32(entry + dbx::kEntryRecordOffset);
        if (static_cast<std::int32_t>(Le32(entry + dbx::kEntryChildCountOffset)) > 0 &&
            !WalkNode(walk, Le32(entry + dbx::kEntryChildOffset), depth + 1))
            return false;
    }
    return true;
}

// ---- The text block chain ----

// The text of the block at pos: its header's length, or false when the block does not lie
// wholly inside the file.
bool ReadBlockHeader(DbxFile& file, std::uint32_t pos, std::uint16_t& length,
                     std::uint32_t& next) {
    unsigned char header[dbx::kBlockHeaderSize];
    if (!file.Read(pos, header, sizeof header)) return false;
    length = Le16(header + dbx::kBlockLengthOffset);
    next = Le32(header + dbx::kBlockNextOffset);
    return std::uint64_t(pos) + dbx::kBlockHeaderSize + length <= file.Size();
}

// The units that lie wholly inside the block at pos: [first, last).
std::uint64_t FirstUnit(std::uint64_t pos) {
    return (pos + DbxUnitSet::kUnit - 1) / DbxUnitSet::kUnit;
}
std::uint64_t EndUnit(std::uint32_t pos, std::uint16_t length) {
    return (std::uint64_t(pos) + dbx::kBlockHeaderSize + length) / DbxUnitSet::kUnit;
}

enum class ChainRead { Whole, Broken, SinkStopped };

// A message's text through sink: the first read takes the chain's blocks for the message,
// later reads give the blocks it took.
template <typename Sink>
ChainRead ReadMessageChain(DbxStore& store, std::int32_t index, std::int32_t textPosition,
                           Sink&& sink) {
    if (index < 0 || index >= store.itemCount || textPosition == -1) return ChainRead::Broken;
    if (store.chainEnds.size() != std::size_t(store.itemCount))
        store.chainEnds.assign(std::size_t(store.itemCount), DbxChainEnd::NotTaken);
    bool sinkOk = true;
    auto guarded = [&](const char* bytes, std::size_t length) {
        sinkOk = sinkOk && sink(bytes, length);
        return sinkOk;
    };
    DbxChainEnd& end = store.chainEnds[std::size_t(index)];
    const auto start = static_cast<std::uint32_t>(textPosition);
    if (end == DbxChainEnd::NotTaken)
        end = TakeDbxTextChain(*store.file, store.claims, start, guarded);
    else if ((end == DbxChainEnd::Whole || end == DbxChainEnd::Cut) &&
             !RereadDbxTextChain(*store.file, store.claims, start, guarded) && sinkOk)
        return ChainRead::Broken;
    if (!sinkOk) return ChainRead::SinkStopped;
    return end == DbxChainEnd::Whole ? ChainRead::Whole : ChainRead::Broken;
}

// ---- Field decoding ----

enum class Form { Text, Number, Date, Byte };

struct FieldReader {
    const std::vector<unsigned char>& data;
    std::size_t valuesStart; // 4 * field count

    // The value of a field kept in the values area, v bytes in; false when it does not lie
    // wholly inside the data (a text including its zero byte).
    bool Text(std::uint32_t v, std::string& out) const {
        std::size_t at = valuesStart + v;
        if (at >= data.size()) return false;
        const void* zero = std::memchr(data.data() + at, 0, data.size() - at);
        if (!zero) return false;
        out.assign(reinterpret_cast<const char*>(data.data() + at),
                   static_cast<const unsigned char*>(zero) - (data.data() + at));
        return true;
    }
    bool Bytes(std::uint32_t v, std::size_t len, const unsigned char*& out) const {
        std::size_t at = valuesStart + v;
        if (at > data.size() || data.size() - at < len) return false;
        out = data.data() + at;
        return true;
    }
    bool Number(std::uint32_t v, std::uint32_t& out) const {
        const unsigned char* p;
        if (!Bytes(v, 4, p)) return false;
        out = Le32(p);
        return true;
    }
};

bool DecodeMessageField(const FieldReader& r, std::uint8_t id, std::uint32_t v,
                        DbxMessageRecord& m) {
    namespace f = dbx::msg;
    switch (id) {
    case f::kText05:
        return r.Text(v, m.text05);
    case f::kSubject:
        return r.Text(v, m.subject);
    case f::kText07:
        return r.Text(v, m.text07);
    case f::kText0A:
        return r.Text(v, m.text0A);
    case f::kSenderName:
        return r.Text(v, m.senderName);
    case f::kSender:
        return r.Text(v, m.sender);
    case f::kText13:
        return r.Text(v, m.text13);
    case f::kText14:
        return r.Text(v, m.text14);
    case f::kText1A:
        return r.Text(v, m.text1A);
    case f::kText1B:
        return r.Text(v, m.text1B);
    case f::kText0C:
        return r.Text(v, m.text0C);
    case f::kDate: {
        const unsigned char* p;
        if (!r.Bytes(v, 8, p)) return false;
        m.date = std::uint64_t(Le32(p)) | std::uint64_t(Le32(p + 4)) << 32;
        return true;
    }
    case f::kTextPosition: {
        std::uint32_t pos;
        if (!r.Number(v, pos)) return false;
        m.textPosition = static_cast<std::int32_t>(pos);
        return true;
    }
    case f::kFlag: {
        const unsigned char* p;
        if (!r.Bytes(v, 1, p)) return false;
        m.flagValue = *p;
        return true;
    }
    case f::kNumber80:
        m.number80 = v;
        return true;
    case f::kFlagDirect:
        m.flagValue = v;
        return true;
    case f::kTextPositionDirect:
        m.textPosition = static_cast<std::int32_t>(v);
        return true;
    default:
        return true; // not a field this program keeps
    }
}

bool DecodeFolderField(const FieldReader& r, std::uint8_t id, std::uint32_t v,
                       DbxFolderRecord& fe) {
    namespace f = dbx::folder;
    switch (id) {
    case f::kText02:
        return r.Text(v, fe.text02);
    case f::kText03:
        return r.Text(v, fe.text03);
    case f::kNumber80InValues:
        return r.Number(v, fe.number80);
    case f::kNumber81InValues:
        return r.Number(v, fe.number81);
    case f::kNumber80:
        fe.number80 = v;
        return true;
    case f::kNumber81:
        fe.number81 = v;
        return true;
    default:
        return true;
    }
}

// An index that names one record many times would have every caller save and search that
// message again for each mention; a small file could so make gigabytes of copies. Each record
// is listed once, where the walk first met it, and the count shrinks to match.
void DropRepeatedRecords(DbxStore& store) {
    std::vector<std::uint32_t>& table = store.indexTable;
    // Sorted copies rather than a hash set: a few bytes per entry, however many the index names.
    std::vector<std::uint32_t> sorted(table);
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end()) return;
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::vector<bool> met(sorted.size(), false);
    std::vector<std::uint32_t> kept;
    kept.reserve(sorted.size());
    for (std::size_t i = table.size(); i-- > 0;) { // in walk order
        auto at = static_cast<std::size_t>(
            std::lower_bound(sorted.begin(), sorted.end(), table[i]) - sorted.begin());
        if (met[at]) continue;
        met[at] = true;
        kept.push_back(table[i]);
    }
    table.assign(kept.rbegin(), kept.rend());
    store.itemCount = static_cast<std::int32_t>(table.size());
}

} // namespace

// ---- DbxFile ----

DbxFile::~DbxFile() {
    if (m_fd >= 0) close(m_fd);
}

platform::Result<std::unique_ptr<DbxFile>> DbxFile::Open(const std::string& path) {
    using platform::Status;
    using platform::StatusCode;
    const auto cannot = [] { return std::string("cannot be opened: ") + std::strerror(errno); };
    // A fifo or a device given as a store is refused before it is opened, never waited on.
    std::string refusal;
    int fd = platform::OpenFileForReading(path, UINT64_MAX, &refusal);
    if (fd < 0)
        return refusal.empty() ? Status(StatusCode::Missing, cannot())
                               : Status(StatusCode::Refused, refusal);
    std::unique_ptr<DbxFile> file(new DbxFile);
    file->m_fd = fd;
    struct stat st;
    if (fstat(fd, &st) != 0) return Status(StatusCode::Missing, cannot());
    file->m_size = static_cast<std::uint64_t>(st.st_size);
    return file;
}

bool DbxFile::Read(std::uint64_t pos, void* out, std::size_t len) {
    if (len > m_size || pos > m_size - len) return false;
    auto* dest = static_cast<unsigned char*>(out);
    if (pos >= m_windowStart && pos - m_windowStart <= m_windowLength &&
        m_windowLength - (pos - m_windowStart) >= len) {
        std::memcpy(dest, m_window.data() + (pos - m_windowStart), len);
        return true;
    }
    if (len > kWindowSize / 2) return PreadAll(m_fd, pos, dest, len);
    m_window.resize(kWindowSize);
    std::size_t fill = static_cast<std::size_t>(std::min<std::uint64_t>(kWindowSize, m_size - pos));
    m_windowLength = 0;
    if (!PreadAll(m_fd, pos, m_window.data(), fill)) return false;
    m_windowStart = pos;
    m_windowLength = fill;
    std::memcpy(dest, m_window.data(), len);
    return true;
}

// ---- Units and claims ----

bool DbxUnitSet::Has(std::uint64_t unit) const {
    const std::uint64_t page = unit >> kPageShift, bit = unit & ((std::uint64_t(1) << kPageShift) - 1);
    return page < m_pages.size() && m_pages[page] && (m_pages[page][bit / 64] >> (bit % 64) & 1);
}

void DbxUnitSet::Add(std::uint64_t unit) {
    const std::uint64_t page = unit >> kPageShift, bit = unit & ((std::uint64_t(1) << kPageShift) - 1);
    if (page >= m_pages.size()) m_pages.resize(page + 1);
    if (!m_pages[page]) m_pages[page].reset(new std::uint64_t[kPageWords]());
    m_pages[page][bit / 64] |= std::uint64_t(1) << (bit % 64);
}

void DbxUnitSet::Remove(std::uint64_t unit) {
    const std::uint64_t page = unit >> kPageShift, bit = unit & ((std::uint64_t(1) << kPageShift) - 1);
    if (page < m_pages.size() && m_pages[page])
        m_pages[page][bit / 64] &= ~(std::uint64_t(1) << (bit % 64));
}

// Calls f(word, mask) for each word of the pages that [first, last) touches, with the units of
// the range in it, while f answers true. Missing pages are made when the pages may change, and
// passed over when they may not.
template <typename Pages, typename F>
void DbxUnitSet::ForWords(Pages& pages, std::uint64_t first, std::uint64_t last, F&& f) {
    constexpr bool make = !std::is_const_v<Pages>;
    constexpr std::uint64_t kPageUnits = std::uint64_t(1) << kPageShift;
    for (std::uint64_t unit = first; unit < last;) {
        const std::uint64_t page = unit >> kPageShift;
        const std::uint64_t stop = std::min(last, (page + 1) * kPageUnits);
        if constexpr (make) {
            if (page >= pages.size()) pages.resize(page + 1);
            if (!pages[page]) pages[page].reset(new std::uint64_t[kPageWords]());
        }
        if (page >= pages.size()) return;
        if (!pages[page]) {
            unit = stop;
            continue;
        }
        while (unit < stop) {
            const std::uint64_t bit = unit % kPageUnits, offset = bit % 64;
            const std::uint64_t n = std::min<std::uint64_t>(64 - offset, stop - unit);
            const std::uint64_t mask = (n == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << n) - 1)
                                       << offset;
            if (!f(pages[page][bit / 64], mask)) return;
            unit += n;
        }
    }
}

bool DbxUnitSet::AnyIn(std::uint64_t first, std::uint64_t last) const {
    bool any = false;
    ForWords(m_pages, first, last, [&](std::uint64_t word, std::uint64_t mask) {
        any = (word & mask) != 0;
        return !any;
    });
    return any;
}

void DbxUnitSet::AddRange(std::uint64_t first, std::uint64_t last) {
    ForWords(m_pages, first, last, [](std::uint64_t& word, std::uint64_t mask) {
        word |= mask;
        return true;
    });
}

std::uint64_t DbxUnitSet::Next(std::uint64_t from, std::uint64_t limit) const {
    for (std::uint64_t unit = from; unit < limit;) {
        const std::uint64_t page = unit >> kPageShift;
        if (page >= m_pages.size()) return limit;
        if (!m_pages[page]) {
            unit = (page + 1) << kPageShift;
            continue;
        }
        const std::uint64_t bit = unit & ((std::uint64_t(1) << kPageShift) - 1);
        const std::uint64_t word = m_pages[page][bit / 64] >> (bit % 64);
        if (word) return std::min(limit, unit + static_cast<std::uint64_t>(__builtin_ctzll(word)));
        unit += 64 - bit % 64;
    }
    return limit;
}

std::uint64_t DbxUnitSet::Count() const {
    std::uint64_t count = 0;
    for (const auto& page : m_pages)
        if (page)
            for (std::uint64_t w = 0; w < kPageWords; ++w)
                count += static_cast<std::uint64_t>(__builtin_popcountll(page[w]));
    return count;
}

DbxChainEnd TakeDbxTextChain(DbxFile& file, DbxBlockClaims& claims, std::uint32_t start,
                             const std::function<bool(const char*, std::size_t)>& sink,
                             const DbxUnitSet* blocks) {
    std::vector<char> text;
    bool reading = static_cast<bool>(sink);
    std::uint64_t taken = 0;
    std::uint32_t last = 0;
    DbxChainEnd end = DbxChainEnd::Whole;
    for (std::uint32_t pos = start; pos != 0;) {
        std::uint16_t length;
        std::uint32_t next;
        // Something that is not a block, or a block that another chain (or this one, going
        // round) has taken, ends the chain.
        if ((blocks && (pos % DbxUnitSet::kUnit != 0 || !blocks->Has(pos / DbxUnitSet::kUnit))) ||
            !ReadBlockHeader(file, pos, length, next) ||
            claims.taken.AnyIn(FirstUnit(pos), EndUnit(pos, length))) {
            end = DbxChainEnd::Cut;
            break;
        }
        if (reading) {
            text.resize(length);
            if (length > 0 && !file.Read(std::uint64_t(pos) + dbx::kBlockHeaderSize, text.data(), length)) {
                end = DbxChainEnd::Cut;
                break;
            }
        }
        claims.taken.AddRange(FirstUnit(pos), EndUnit(pos, length));
        ++taken;
        last = pos;
        // The rest of the chain is still taken when the reader stops reading it.
        if (reading) reading = sink(text.data(), length);
        pos = next;
    }
    if (taken == 0) return start == 0 ? DbxChainEnd::Whole : DbxChainEnd::Empty;
    claims.ends.Add(FirstUnit(last));
    return end;
}

bool RereadDbxTextChain(DbxFile& file, const DbxBlockClaims& claims, std::uint32_t start,
                        const std::function<bool(const char*, std::size_t)>& sink) {
    std::vector<char> text;
    std::uint64_t blocks = 0;
    for (std::uint32_t pos = start; pos != 0;) {
        std::uint16_t length;
        std::uint32_t next;
        if (!ReadBlockHeader(file, pos, length, next) || !claims.taken.Has(FirstUnit(pos)) ||
            ++blocks > file.Size() / dbx::kBlockHeaderSize)
            return false;
        text.resize(length);
        if (length > 0 && !file.Read(std::uint64_t(pos) + dbx::kBlockHeaderSize, text.data(), length))
            return false;
        if (!sink(text.data(), length)) return false;
        if (claims.ends.Has(FirstUnit(pos))) return true;
        pos = next;
    }
    return true;
}

// ---- Lower layer ----

platform::Result<std::unique_ptr<DbxStore>> OpenDbxStore(const std::string& path) {
    auto store = std::make_unique<DbxStore>();
    platform::Result<std::unique_ptr<DbxFile>> opened = DbxFile::Open(path);
    if (!opened) {
        if (opened.GetStatus().Code() != platform::StatusCode::Refused)
            return platform::Status(platform::StatusCode::Missing, DbxErrorTexts[kDbxOpenFailed]);
        return opened.GetStatus();
    }
    store->file = opened.Take();
    DbxFile& file = *store->file;

    unsigned char sig[dbx::kSignatureSize];
    if (!file.Read(0, sig, sizeof sig)) return DbxStatus(kDbxOpenFailed);
    std::uint32_t kindWord = Le32(sig + 4);
    if (Le32(sig) != dbx::kSignature0 || Le32(sig + 8) != dbx::kSignature2 ||
        Le32(sig + 12) != dbx::kSignature3)
        return DbxStatus(kDbxOpenFailed);
    if (kindWord == dbx::kSignatureMessages)
        store->kind = dbx::kKindMessage;
    else if (kindWord == dbx::kSignatureFolders)
        store->kind = dbx::kKindFolder;
    else
        return DbxStatus(kDbxOpenFailed);

    unsigned char word[4];
    if (!file.Read(dbx::kIndexPointerOffset, word, 4)) {
        return DbxStatus(kDbxIndexPointerFailed);
    }
    std::uint32_t indexPointer = Le32(word);
    if (!file.Read(dbx::kItemCountOffset, word, 4)) {
        return DbxStatus(kDbxItemCountFailed);
    }
    std::int32_t count = static_cast<std::int32_t>(Le32(word));
    if (count < 0) {
        return DbxStatus(kDbxItemCountFailed);
    }
    store->itemCount = count;
    if (count == 0) { // an empty folder: there is no tree to walk
        return store;
    }
    // Every item needs an index entry somewhere in the file; refuse a count the file cannot
    // hold before allocating a table for it.
    if (std::uint64_t(count) > file.Size() / dbx::kNodeEntrySize) {
        return DbxStatus(kDbxTooFewIndexes);
    }
    store->indexTable.assign(std::size_t(count), 0);
    TreeWalk walk{file, store->indexTable, std::size_t(count), {}, 0,
                  file.Size() / dbx::kNodeHeaderSize};
    if (!WalkNode(walk, indexPointer, 0)) {
        return DbxStatus(walk.code);
    }
    if (walk.cursor != 0) {
        return DbxStatus(kDbxTooFewIndexes);
    }
    DropRepeatedRecords(*store);
    return store;
}

void CloseDbxStore(std::unique_ptr<DbxStore> store) {
    store.reset();
}

platform::Result<std::unique_ptr<DbxRecord>> ReadDbxItem(DbxStore* store, std::int32_t index,
                                                         int flags) {
    const auto Fail = [](int code) { return DbxStatus(code); };
    if (!store || !store->file) return Fail(kDbxOpenFailed);
    if (index < 0 || index >= store->itemCount) return Fail(kDbxIndexOutOfRange);
    DbxFile& file = *store->file;

    std::unique_ptr<DbxRecord> record;
    DbxMessageRecord* message = nullptr;
    DbxFolderRecord* folderEntry = nullptr;
    if (store->kind == dbx::kKindFolder) {
        auto f = std::make_unique<DbxFolderRecord>();
        folderEntry = f.get();
        record = std::move(f);
    } else {
        auto m = std::make_unique<DbxMessageRecord>();
        message = m.get();
        record = std::move(m);
    }
    record->kind = store->kind;

    std::uint32_t pos = store->indexTable[std::size_t(index)];
    unsigned char header[dbx::kItemHeaderSize];
    if (!file.Read(pos, header, sizeof header)) return Fail(kDbxIndexPointerFailed);
    std::uint32_t dataSize = Le32(header + dbx::kItemDataSizeOffset);
    std::uint64_t dataStart = std::uint64_t(pos) + dbx::kItemHeaderSize;
    if (dataSize > file.Size() || dataStart > file.Size() - dataSize) return Fail(kDbxReadFailed);
    std::vector<unsigned char> data(dataSize);
    if (dataSize > 0 && !file.Read(dataStart, data.data(), dataSize)) return Fail(kDbxReadFailed);

    std::size_t fieldCount = header[dbx::kItemFieldCountOffset];
    if (fieldCount * dbx::kFieldEntrySize > data.size()) return Fail(kDbxReadFailed);
    FieldReader reader{data, fieldCount * dbx::kFieldEntrySize};
    for (std::size_t i = 0; i < fieldCount; ++i) {
        const unsigned char* e = data.data() + i * dbx::kFieldEntrySize;
        std::uint8_t id = e[0];
        std::uint32_t v =
            std::uint32_t(e[1]) | std::uint32_t(e[2]) << 8 | std::uint32_t(e[3]) << 16;
        bool ok = message ? DecodeMessageField(reader, id, v, *message)
                          : DecodeFolderField(reader, id, v, *folderEntry);
        if (!ok) return Fail(kDbxReadFailed);
    }

    if (message && (flags & kDbxReadText)) {
        std::string& text = message->messageText;
        ChainRead read = ReadMessageChain(*store, index, message->textPosition,
                                          [&text](const char* bytes, std::size_t len) {
                                              text.append(bytes, len);
                                              return true;
                                          });
        if (read != ChainRead::Whole) return Fail(kDbxReadFailed);
    }
    record->index = index;
    return record;
}

void FreeDbxItem(std::unique_ptr<DbxRecord> record) {
    if (!record) return;
    if (record->kind != dbx::kKindMessage && record->kind != dbx::kKindFolder)
        std::fputs("Aaarghhh. Cannot free an unknown type!\n", stdout);
    // The record goes in every case: the type system knows what it is even when its kind
    // field has been overwritten, so there is no reason to leak it.
}

MailTextWrite WriteDbxMessageText(DbxStore& store, const DbxMessageRecord& message, int fd) {
    if (!store.file) return MailTextWrite::Unreadable;
    std::string pending;
    constexpr std::size_t kFlushAt = 256 * 1024;
    bool writeOk = true;
    ChainRead read = ReadMessageChain(store, message.index, message.textPosition,
                                      [&](const char* bytes, std::size_t len) {
                                          pending.append(bytes, len);
                                          if (pending.size() >= kFlushAt) {
                                              writeOk = platform::WriteAll(fd, pending);
                                              pending.clear();
                                          }
                                          return writeOk;
                                      });
    if (writeOk && read == ChainRead::Whole && !pending.empty())
        writeOk = platform::WriteAll(fd, pending);
    if (!writeOk) return MailTextWrite::WriteFailed; // the file is sound; the destination is not
    if (read != ChainRead::Whole) return MailTextWrite::Unreadable;
    return MailTextWrite::Written;
}

// ---- Object layer ----

CDbxItem::CDbxItem(std::unique_ptr<DbxRecord> record)
    : m_kind(record->kind), m_record(std::move(record)) {}

CDbxItem::~CDbxItem() {
    FreeDbxItem(std::move(m_record));
}

CDbxMessage::CDbxMessage(std::unique_ptr<DbxMessageRecord> record) : CDbxItem(std::move(record)) {}

CDbxFolderEntry::CDbxFolderEntry(std::unique_ptr<DbxFolderRecord> record)
    : CDbxItem(std::move(record)) {}

platform::Status CDbxStoreFile::Open(const std::string& path) {
    Close();
    platform::Result<std::unique_ptr<DbxStore>> opened = OpenDbxStore(path);
    if (!opened) return opened.GetStatus();
    m_store = opened.Take();
    return {};
}

void CDbxStoreFile::Close() {
    if (m_store) CloseDbxStore(std::move(m_store));
}

platform::Result<std::unique_ptr<CDbxItem>> CDbxStoreFile::GetItem(std::int32_t index, int flags) {
    platform::Result<std::unique_ptr<DbxRecord>> read = ReadDbxItem(m_store.get(), index, flags);
    if (!read) return read.GetStatus();
    std::unique_ptr<DbxRecord> record = read.Take();
    if (record->kind == dbx::kKindFolder)
        return std::make_unique<CDbxFolderEntry>(
            std::unique_ptr<DbxFolderRecord>(static_cast<DbxFolderRecord*>(record.release())));
    return std::make_unique<CDbxMessage>(
        std::unique_ptr<DbxMessageRecord>(static_cast<DbxMessageRecord*>(record.release())));
}

MailTextWrite CDbxStoreFile::WriteMessageText(const CDbxMessage& message, int fd) {
    if (!m_store) return MailTextWrite::Unreadable;
    return WriteDbxMessageText(*m_store, message.Record(), fd);
}
