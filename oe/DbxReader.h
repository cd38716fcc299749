#pragma once
// Reads a mail store's .dbx file straight from disk: the signature, the index tree that lists
// the items, and one item at a time (a message's header fields and, on demand, its whole text;
// or a folder entry). Nothing in the file is trusted: every position and length is checked
// against the file's size before anything is read or allocated, and the index walk and the
// text block chain are bounded, so any byte sequence gives a result code rather than a crash,
// a hang or a huge allocation.
//
// Two layers: free functions over plain records, and the objects (CDbxStoreFile, CDbxMessage,
// CDbxFolderEntry) the rest of the program uses. What cannot be opened or read says why in its
// Status (platform/Status.h), whose reason is one of the texts below.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/MailTextWrite.h"
#include "platform/Status.h"
#include "platform/Utf8.h"

// Why a store or an item could not be read, and its text (a failed Status's reason).
enum DbxError : int {
    kDbxOk = 0,
    kDbxOpenFailed = 1,
    kDbxItemCountFailed = 2,
    kDbxIndexPointerFailed = 3,
    kDbxTooFewIndexes = 4,
    kDbxTooManyIndexes = 5,
    kDbxIndexOutOfRange = 6,
    kDbxReadFailed = 7,
    kDbxNewsItem = 8,
};
inline constexpr int kDbxErrorCount = 9;
extern const char* const DbxErrorTexts[kDbxErrorCount];

// Bit 0 of ReadDbxItem's flags: also read the message text into the record.
inline constexpr int kDbxReadText = 1;

// The open file behind a store; reads through a window so that walking a text block chain
// does not cost a system call per block.
class DbxFile {
public:
    ~DbxFile();
    DbxFile(const DbxFile&) = delete;
    DbxFile& operator=(const DbxFile&) = delete;

    // The file opened, else Refused (not a plain file; the reason says what it is) or Missing
    // (the reason: "cannot be opened: " and the system's word).
    static platform::Result<std::unique_ptr<DbxFile>> Open(const std::string& path);
    std::uint64_t Size() const { return m_size; }
    // False unless all len bytes at pos lie inside the file and were read.
    bool Read(std::uint64_t pos, void* out, std::size_t len);

private:
    DbxFile() = default;
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::vector<unsigned char> m_window;
    std::uint64_t m_windowStart = 0;
    std::size_t m_windowLength = 0;
};

// A set of places in a file, one bit for every four bytes, kept in pages that are made when
// first touched: at most a thirty-second of the file's size, whatever the file holds.
class DbxUnitSet {
public:
    static constexpr std::uint64_t kUnit = 4;

    bool Has(std::uint64_t unit) const;
    void Add(std::uint64_t unit);
    void Remove(std::uint64_t unit);
    // Whether any unit of [first, last) is in the set; and adding them all.
    bool AnyIn(std::uint64_t first, std::uint64_t last) const;
    void AddRange(std::uint64_t first, std::uint64_t last);
    // The first unit of [from, limit) in the set; limit when there is none.
    std::uint64_t Next(std::uint64_t from, std::uint64_t limit) const;
    // How many units are in the set.
    std::uint64_t Count() const;

private:
    template <typename Pages, typename F>
    static void ForWords(Pages& pages, std::uint64_t first, std::uint64_t last, F&& f);
    static constexpr unsigned kPageShift = 12; // units per page: 16 KiB of the file
    static constexpr std::uint64_t kPageWords = (std::uint64_t(1) << kPageShift) / 64;
    std::vector<std::unique_ptr<std::uint64_t[]>> m_pages;
};

// Which bytes of a file message texts have taken, so that a text block belongs to one message.
// A block takes the four-byte units that lie wholly inside it; two blocks that share no such
// unit overlap by at most six bytes at either end, so the texts of the blocks taken are never
// longer together than the file, however the blocks of a crafted file overlap.
struct DbxBlockClaims {
    DbxUnitSet taken;
    DbxUnitSet ends; // the last block each chain took, by its first unit
};

// How a message's text chain ended when its blocks were taken.
enum class DbxChainEnd : std::uint8_t {
    NotTaken, // not followed yet
    Whole,    // up to the block that ends the chain
    Cut,      // at something that is not a block, or at a block another chain (or itself) took
    Empty,    // its first block was no block, or already taken
};

// Follows the chain at start, taking each block for it until the chain ends, breaks, or enters
// a block already taken; marks the last block taken as the chain's end. sink(bytes, length)
// gets each block's text in chain order for as long as it answers true (none: nothing is read).
// With blocks, a position whose unit is not in it is no block either.
DbxChainEnd TakeDbxTextChain(DbxFile& file, DbxBlockClaims& claims, std::uint32_t start,
                             const std::function<bool(const char*, std::size_t)>& sink,
                             const DbxUnitSet* blocks = nullptr);
// Reads again a chain taken before, up to the block marked as its end; false when it no longer
// reads (the file changed) or sink answered false.
bool RereadDbxTextChain(DbxFile& file, const DbxBlockClaims& claims, std::uint32_t start,
                        const std::function<bool(const char*, std::size_t)>& sink);

struct DbxStore {
    std::unique_ptr<DbxFile> file;
    std::int32_t itemCount = 0;
    // The position of each item record, filled from the last slot backwards by the walk.
    std::vector<std::uint32_t> indexTable;
    std::uint8_t kind = 0;
    // The text blocks the messages read so far have taken, and how each message's chain ended
    // (by index; made on the first text read). The first message to reach a block keeps it, so
    // a file whose chains share or overlap blocks gives no more text than it holds.
    DbxBlockClaims claims;
    std::vector<DbxChainEnd> chainEnds;
};

// Base of the item records; kind says which of the two it is.
struct DbxRecord {
    virtual ~DbxRecord() = default;
    std::int32_t index = 0;
    std::uint8_t kind = 0;
};

struct DbxMessageRecord : DbxRecord {
    // The whole stored message (the text blocks joined in chain order); read only on request.
    std::string messageText;
    std::string text05;
    std::string subject;
    std::string text07;
    std::string text0A;
    std::string senderName;
    std::string sender;
    std::string text13;
    std::string text14;
    std::uint64_t date = 0; // FILETIME: 100 ns units since 1601-01-01 UTC
    std::uint32_t number80 = 0;
    std::int32_t textPosition = -1; // -1: the item names no text
    std::uint32_t flagValue = 0;
    std::string text1A;
    std::string text1B;
    std::string text0C;
};

struct DbxFolderRecord : DbxRecord {
    std::string text02;
    std::string text03;
    // From field 0x80 or 0x00, and 0x81 or 0x01: in the entry (24 bits) or in the values area.
    std::uint32_t number80 = 0;
    std::uint32_t number81 = 0;
};

// None for a file that is missing, unreadable or not a .dbx file (the reason: why the file was
// not opened, as "is a fifo, not a file", else kDbxOpenFailed's text); none with the walk's
// text when its index tree is broken.
platform::Result<std::unique_ptr<DbxStore>> OpenDbxStore(const std::string& path);
// Closes the store's file; none is no fault.
void CloseDbxStore(std::unique_ptr<DbxStore> store);
platform::Result<std::unique_ptr<DbxRecord>> ReadDbxItem(DbxStore* store, std::int32_t index,
                                                         int flags);
// Frees the record, also one whose kind field was overwritten (said on stdout); none is no fault.
void FreeDbxItem(std::unique_ptr<DbxRecord> record);

// Streams a message's text block chain to a file descriptor, so that neither a large file nor
// a large message needs to be in memory. Bytes already written stay written when the chain
// turns out broken, or enters a block an earlier message of the store took: Unreadable then.
// Never Cut.
MailTextWrite WriteDbxMessageText(DbxStore& store, const DbxMessageRecord& message, int fd);

// ---- The object layer ----

class CDbxItem {
public:
    virtual ~CDbxItem();
    CDbxItem(const CDbxItem&) = delete;
    CDbxItem& operator=(const CDbxItem&) = delete;

    std::uint8_t GetKind() const { return m_kind; }
    std::int32_t GetIndex() const { return m_record->index; }

protected:
    explicit CDbxItem(std::unique_ptr<DbxRecord> record);
    std::uint8_t m_kind;
    std::unique_ptr<DbxRecord> m_record;
};

class CDbxMessage : public CDbxItem {
public:
    explicit CDbxMessage(std::unique_ptr<DbxMessageRecord> record);
    const DbxMessageRecord& Record() const {
        return static_cast<const DbxMessageRecord&>(*m_record);
    }
    // The index keeps texts in the writer's code page; the program works in UTF-8.
    std::string GetSubject() const { return platform::LegacyTextToUtf8(Record().subject); }
    std::string GetSender() const { return platform::LegacyTextToUtf8(Record().sender); }
    std::string GetSenderName() const { return platform::LegacyTextToUtf8(Record().senderName); }
    const std::string& GetMessageText() const { return Record().messageText; }
    std::uint64_t GetDate() const { return Record().date; }
    std::int32_t GetTextPosition() const { return Record().textPosition; }
};

class CDbxFolderEntry : public CDbxItem {
public:
    explicit CDbxFolderEntry(std::unique_ptr<DbxFolderRecord> record);
    const DbxFolderRecord& Record() const { return static_cast<const DbxFolderRecord&>(*m_record); }
};

class CDbxStoreFile {
public:
    CDbxStoreFile() = default;
    ~CDbxStoreFile() { Close(); }
    CDbxStoreFile(const CDbxStoreFile&) = delete;
    CDbxStoreFile& operator=(const CDbxStoreFile&) = delete;

    // A store already open is closed first.
    platform::Status Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_store != nullptr; }
    // 0 when no store is open.
    std::int32_t GetItemCount() const { return m_store ? m_store->itemCount : 0; }
    std::uint8_t GetKind() const { return m_store ? m_store->kind : 0; }
    // A CDbxMessage or CDbxFolderEntry, or why the item cannot be read.
    platform::Result<std::unique_ptr<CDbxItem>> GetItem(std::int32_t index, int flags);
    // The message's text written to fd without holding it in memory.
    MailTextWrite WriteMessageText(const CDbxMessage& message, int fd);

private:
    std::unique_ptr<DbxStore> m_store;
};
