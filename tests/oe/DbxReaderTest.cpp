#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DbxWriter.h"
#include "SharedCorpus.h"
#include "TempDir.h"
#include "oe/DbxFormat.h"
#include "oe/DbxReader.h"
#include "oe/DbxScan.h"

namespace {

std::vector<DbxTestMessage> SampleMessages(int count, std::size_t textSize = 1200) {
    std::vector<DbxTestMessage> out;
    for (int i = 0; i < count; ++i) {
        DbxTestMessage m;
        m.subject = "Subject " + std::to_string(i);
        m.sender = "sender" + std::to_string(i) + "@example.org";
        m.senderName = "Sender " + std::to_string(i);
        m.date = FileTimeFromUnix(1100000000 + i * 3600);
        m.text = "From: " + m.sender + "\r\nSubject: " + m.subject + "\r\n\r\n";
        while (m.text.size() < textSize)
            m.text += char('a' + (m.text.size() * 7 + i) % 26);
        out.push_back(m);
    }
    return out;
}

class DbxReaderTest : public ::testing::Test {
protected:
    std::string Save(const std::string& bytes) {
        std::string path = dir / ("f" + std::to_string(m_files++) + ".dbx");
        EXPECT_TRUE(WriteBytes(path, bytes));
        return path;
    }
    TempDir dir;
    int m_files = 0;
};

// Why a store or an item could not be read; empty when it could.
std::string Why(const platform::Status& status) {
    return status ? std::string() : status.Reason();
}

std::unique_ptr<CDbxMessage> GetMessage(CDbxStoreFile& store, int index, int flags) {
    std::unique_ptr<CDbxItem> item = store.GetItem(index, flags).Take();
    if (!item) return nullptr;
    EXPECT_EQ(item->GetKind(), dbx::kKindMessage);
    return std::unique_ptr<CDbxMessage>(static_cast<CDbxMessage*>(item.release()));
}

// Every shape of tree and chain the writer makes must give back each message at its index,
// with its fields and its text joined in chain order.
struct Shape {
    int count;
    int entriesPerNode;
    std::uint16_t blockTextSize;
    bool textPositionInValues;
};

class DbxRoundTrip : public DbxReaderTest, public ::testing::WithParamInterface<Shape> {};

TEST_P(DbxRoundTrip, EveryMessageComesBackAtItsIndex) {
    const Shape shape = GetParam();
    DbxWriterOptions options;
    options.entriesPerNode = shape.entriesPerNode;
    options.blockTextSize = shape.blockTextSize;
    options.textPositionInValues = shape.textPositionInValues;
    std::vector<DbxTestMessage> messages = SampleMessages(shape.count);
    std::string path = Save(BuildDbxMessageFile(messages, options));

    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    ASSERT_EQ(store.GetItemCount(), shape.count);
    for (int i = shape.count - 1; i >= 0; --i) {
        auto m = GetMessage(store, i, kDbxReadText);
        ASSERT_TRUE(m) << "index " << i;
        EXPECT_EQ(m->GetIndex(), i);
        EXPECT_EQ(m->GetSubject(), messages[i].subject);
        EXPECT_EQ(m->GetSender(), messages[i].sender);
        EXPECT_EQ(m->GetSenderName(), messages[i].senderName);
        EXPECT_EQ(m->GetDate(), messages[i].date);
        EXPECT_EQ(m->Record().number80, std::uint32_t(i + 1));
        EXPECT_EQ(m->Record().flagValue, 0x21u);
        EXPECT_EQ(m->GetMessageText(), messages[i].text);
    }
    store.Close();
    EXPECT_FALSE(store.IsOpen());
    EXPECT_EQ(store.GetItemCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Shapes, DbxRoundTrip,
                         ::testing::Values(Shape{1, 3, 0x1F0, false}, Shape{2, 1, 0x1F0, false},
                                           Shape{7, 2, 100, true}, Shape{40, 1, 0x1F0, false},
                                           Shape{100, 3, 7, false}, Shape{300, 127, 0x7FFF, true}));

TEST_F(DbxReaderTest, FlagsDecideWhetherTheTextIsRead) {
    std::string path = Save(BuildDbxMessageFile(SampleMessages(2)));
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    auto without = GetMessage(store, 1, 0);
    ASSERT_TRUE(without);
    EXPECT_TRUE(without->GetMessageText().empty());
    EXPECT_GT(without->GetTextPosition(), 0);
    auto with = GetMessage(store, 1, kDbxReadText);
    ASSERT_TRUE(with);
    EXPECT_EQ(with->GetMessageText(), SampleMessages(2)[1].text);
}

TEST_F(DbxReaderTest, StreamedTextEqualsTheTextInMemory) {
    std::vector<DbxTestMessage> messages = SampleMessages(3, 200000);
    std::string path = Save(BuildDbxMessageFile(messages));
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    for (int i = 0; i < 3; ++i) {
        auto m = GetMessage(store, i, 0);
        ASSERT_TRUE(m);
        std::string out = dir / ("out" + std::to_string(i));
        int fd = open(out.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(store.WriteMessageText(*m, fd), MailTextWrite::Written);
        close(fd);
        EXPECT_EQ(ReadFileText(out), messages[i].text);
    }
}

TEST_F(DbxReaderTest, FailedWriteIsNotABrokenStore) {
    std::string path = Save(BuildDbxMessageFile(SampleMessages(1)));
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    auto m = GetMessage(store, 0, 0);
    ASSERT_TRUE(m);
    int fd = open(path.c_str(), O_RDONLY);
    EXPECT_EQ(store.WriteMessageText(*m, fd), MailTextWrite::WriteFailed);
    close(fd);
}

TEST_F(DbxReaderTest, FolderFileGivesFolderEntries) {
    std::vector<DbxTestFolder> folders = {{"Inbox", "Inbox.dbx", 1, 2},
                                          {"Sent Items", "Sent Items.dbx", 3, 4}};
    std::string path = Save(BuildDbxFolderFile(folders));
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    EXPECT_EQ(store.GetKind(), dbx::kKindFolder);
    ASSERT_EQ(store.GetItemCount(), 2);
    for (int i = 0; i < 2; ++i) {
        std::unique_ptr<CDbxItem> item = store.GetItem(i, kDbxReadText).Take();
        ASSERT_TRUE(item);
        ASSERT_EQ(item->GetKind(), dbx::kKindFolder);
        const DbxFolderRecord& r = static_cast<CDbxFolderEntry&>(*item).Record();
        EXPECT_EQ(r.text02, folders[i].text02);
        EXPECT_EQ(r.text03, folders[i].text03);
        EXPECT_EQ(r.number80, folders[i].number80);
        EXPECT_EQ(r.number81, folders[i].number81);
    }
}

TEST_F(DbxReaderTest, EmptyFolderOpensWithoutReadingANode) {
    DbxWriterOptions options;
    options.overrideIndexPointer = true;
    options.indexPointer = 0;
    std::string path = Save(BuildDbxMessageFile({}, options));
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    EXPECT_EQ(store.GetItemCount(), 0);
    EXPECT_EQ(Why(store.GetItem(0, 0).GetStatus()), DbxErrorTexts[kDbxIndexOutOfRange]);
}

TEST_F(DbxReaderTest, IndexOutsideTheTableIsRefused) {
    std::string path = Save(BuildDbxMessageFile(SampleMessages(3)));
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    for (int index : {-1, 3, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(Why(store.GetItem(index, kDbxReadText).GetStatus()),
                  DbxErrorTexts[kDbxIndexOutOfRange])
            << index;
    }
    store.Close();
    EXPECT_EQ(Why(store.GetItem(0, 0).GetStatus()), DbxErrorTexts[kDbxOpenFailed]);
}

// Files that must not open, and the code each leaves.
struct BrokenStore {
    const char* name;
    void (*change)(DbxWriterOptions&);
    int code;
};

class DbxBrokenStore : public DbxReaderTest, public ::testing::WithParamInterface<BrokenStore> {};

TEST_P(DbxBrokenStore, IsRefusedWithItsCode) {
    DbxWriterOptions options;
    GetParam().change(options);
    std::string path = Save(BuildDbxMessageFile(SampleMessages(20), options));
    CDbxStoreFile store;
    EXPECT_EQ(Why(store.Open(path)), DbxErrorTexts[GetParam().code]);
    EXPECT_EQ(store.GetItemCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DbxBrokenStore,
    ::testing::Values(
        BrokenStore{"FirstWord",
                    [](DbxWriterOptions& o) { o.signatureWord = 0, o.signatureValue = 0xFE12ADCE; },
                    1},
        BrokenStore{"KindWord",
                    [](DbxWriterOptions& o) { o.signatureWord = 1, o.signatureValue = 0x6F74FDC7; },
                    1},
        BrokenStore{"ThirdWord",
                    [](DbxWriterOptions& o) { o.signatureWord = 2, o.signatureValue = 0; }, 1},
        BrokenStore{"FourthWord",
                    [](DbxWriterOptions& o) { o.signatureWord = 3, o.signatureValue = 0xC0004E9B; },
                    1},
        BrokenStore{"ShortTree", [](DbxWriterOptions& o) { o.itemCountDelta = 1; }, 4},
        BrokenStore{"LongTree", [](DbxWriterOptions& o) { o.itemCountDelta = -1; }, 5},
        BrokenStore{"NegativeCount",
                    [](DbxWriterOptions& o) { o.overrideItemCount = true, o.itemCount = -5; }, 2},
        BrokenStore{
            "CountTheFileCannotHold",
            [](DbxWriterOptions& o) { o.overrideItemCount = true, o.itemCount = INT32_MAX; }, 4},
        BrokenStore{"TreeLoops",
                    [](DbxWriterOptions& o) { o.treeLoop = true, o.itemCountDelta = 5; }, 3},
        BrokenStore{"TreeTooDeep", [](DbxWriterOptions& o) { o.extraTreeDepth = 70; }, 3},
        BrokenStore{
            "RootOutsideTheFile",
            [](DbxWriterOptions& o) { o.overrideIndexPointer = true, o.indexPointer = 0xFFFFFFF0; },
            3},
        BrokenStore{"TreeCutShort", [](DbxWriterOptions& o) { o.truncateTo = 1; }, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DbxReaderTest, TreeCutOffInsideANodeFailsTheWalk) {
    std::string bytes = BuildDbxMessageFile(SampleMessages(20));
    std::string path = Save(bytes.substr(0, bytes.size() - 5));
    CDbxStoreFile store;
    EXPECT_EQ(Why(store.Open(path)), DbxErrorTexts[kDbxIndexPointerFailed]);
}

TEST_F(DbxReaderTest, ModeratelyDeepTreeStillOpens) {
    DbxWriterOptions options;
    options.extraTreeDepth = 40;
    options.entriesPerNode = 1;
    std::string path = Save(BuildDbxMessageFile(SampleMessages(30), options));
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    EXPECT_EQ(store.GetItemCount(), 30);
}

TEST_F(DbxReaderTest, FilesThatAreNotStores) {
    CDbxStoreFile store;
    EXPECT_EQ(Why(store.Open(dir / "missing.dbx")), DbxErrorTexts[kDbxOpenFailed]);
    // Neither a folder nor a fifo or a device is opened for reading: a fifo would wait for a
    // writer for ever.
    std::string fifo = dir / "fifo.dbx";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    alarm(20);
    for (const std::string& path : {dir.path(), fifo, std::string("/dev/zero")}) {
        EXPECT_EQ(store.Open(path).Code(), platform::StatusCode::Refused) << path;
    }
    alarm(0);
    for (std::string bytes : {std::string(), std::string(10, '\xCF'), std::string(5000, '\0')}) {
        EXPECT_EQ(Why(store.Open(Save(bytes))), DbxErrorTexts[kDbxOpenFailed]);
    }
    // The signature alone, without room for the header words behind it.
    std::string good = BuildDbxMessageFile(SampleMessages(1));
    EXPECT_EQ(Why(store.Open(Save(good.substr(0, 0x80)))), DbxErrorTexts[kDbxIndexPointerFailed]);
}

// Items that the store lists but that cannot be read; the others stay readable.
struct BrokenItem {
    const char* name;
    void (*change)(DbxWriterOptions&, std::vector<DbxTestMessage>&);
    bool failsWithoutText;
};

class DbxBrokenItem : public DbxReaderTest, public ::testing::WithParamInterface<BrokenItem> {};

TEST_P(DbxBrokenItem, FailsWithCode7AndSparesTheOthers) {
    DbxWriterOptions options;
    std::vector<DbxTestMessage> messages = SampleMessages(4);
    GetParam().change(options, messages);
    std::string path = Save(BuildDbxMessageFile(messages, options));
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    EXPECT_EQ(Why(store.GetItem(2, kDbxReadText).GetStatus()), DbxErrorTexts[kDbxReadFailed]);
    EXPECT_EQ(!store.GetItem(2, 0), GetParam().failsWithoutText);
    for (int other : {0, 1, 3}) {
        auto m = GetMessage(store, other, kDbxReadText);
        ASSERT_TRUE(m) << other;
        EXPECT_EQ(m->GetMessageText(), messages[other].text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DbxBrokenItem,
    ::testing::Values(
        BrokenItem{"ChainLoops", [](DbxWriterOptions& o, auto&) { o.chainLoopMessage = 2; }, false},
        BrokenItem{"EmptyBlockLoopsOnItself",
                   [](DbxWriterOptions& o, auto& m) { o.chainLoopMessage = 2, m[2].text.clear(); },
                   false},
        BrokenItem{"ChainLeavesTheFile",
                   [](DbxWriterOptions& o, auto&) { o.chainOutsideMessage = 2; }, false},
        BrokenItem{"NoTextPosition",
                   [](DbxWriterOptions&, auto& m) { m[2].withTextPosition = false; }, false},
        BrokenItem{"SubjectWithoutZeroByte",
                   [](DbxWriterOptions& o, auto&) { o.unterminatedSubjectMessage = 2; }, true},
        BrokenItem{"FieldOutsideTheData",
                   [](DbxWriterOptions& o, auto&) { o.fieldOutsideMessage = 2; }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DbxReaderTest, BlockLongerThanTheRestOfTheFileFails) {
    std::vector<DbxTestMessage> messages = SampleMessages(1, 100);
    std::string bytes = BuildDbxMessageFile(messages);
    std::string path = Save(bytes);
    std::int32_t textPos;
    {
        CDbxStoreFile store;
        ASSERT_EQ(Why(store.Open(path)), "");
        auto m = GetMessage(store, 0, 0);
        ASSERT_TRUE(m);
        textPos = m->GetTextPosition();
    }
    bytes[textPos + dbx::kBlockLengthOffset] = '\xFF';
    bytes[textPos + dbx::kBlockLengthOffset + 1] = '\xFF';
    path = Save(bytes);
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    EXPECT_EQ(Why(store.GetItem(0, kDbxReadText).GetStatus()), DbxErrorTexts[kDbxReadFailed]);
    auto m = GetMessage(store, 0, 0);
    ASSERT_TRUE(m);
    int fd = open((dir / "out").c_str(), O_CREAT | O_WRONLY, 0600);
    EXPECT_EQ(store.WriteMessageText(*m, fd), MailTextWrite::Unreadable);
    close(fd);
}

// Blocks may overlap without forming a loop; a chain whose text adds up to more than the whole
// file is still broken, so a small file cannot make a message of gigabytes.
TEST_F(DbxReaderTest, ChainLongerThanTheFileFails) {
    std::vector<DbxTestMessage> messages = SampleMessages(1, 100);
    std::string bytes = BuildDbxMessageFile(messages);
    std::int32_t textPos;
    {
        CDbxStoreFile store;
        ASSERT_EQ(Why(store.Open(Save(bytes))), "");
        auto m = GetMessage(store, 0, 0);
        ASSERT_TRUE(m);
        textPos = m->GetTextPosition();
    }
    // The first block now leads to eight blocks 16 bytes apart at the end of the file, each
    // claiming 0x7000 bytes that overlap the next ones: 224 KiB of text from a file of 30 KiB.
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>(v >> (8 * i));
    };
    const std::size_t first = bytes.size();
    bytes.resize(first + 8 * 16 + 0x7000, 'x');
    for (std::size_t b = 0; b < 8; ++b) {
        std::size_t at = first + b * 16;
        bytes[at + dbx::kBlockLengthOffset] = 0x00;
        bytes[at + dbx::kBlockLengthOffset + 1] = 0x70;
        put32(at + dbx::kBlockNextOffset, b + 1 < 8 ? static_cast<std::uint32_t>(at + 16) : 0);
    }
    put32(textPos + dbx::kBlockNextOffset, static_cast<std::uint32_t>(first));
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(Save(bytes))), "");
    EXPECT_EQ(Why(store.GetItem(0, kDbxReadText).GetStatus()), DbxErrorTexts[kDbxReadFailed]);
}

// A block belongs to the first message that reads it. Here every message leads into its own
// one of eight blocks 16 bytes apart, each 28 KiB long and so overlapping all the others: the
// first message read keeps its text whole, the others end where they enter a taken block, so
// the folder gives no more text than the file holds, and reading again gives the same.
TEST_F(DbxReaderTest, OverlappingBlocksBelongToOneMessage) {
    std::vector<DbxTestMessage> messages = SampleMessages(8, 100);
    std::string bytes = BuildDbxMessageFile(messages);
    std::vector<std::int32_t> textPos;
    {
        CDbxStoreFile store;
        ASSERT_EQ(Why(store.Open(Save(bytes))), "");
        for (int i = 0; i < 8; ++i) textPos.push_back(GetMessage(store, i, 0)->GetTextPosition());
    }
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>(v >> (8 * i));
    };
    const std::size_t first = bytes.size();
    bytes.resize(first + 8 * 16 + 0x7000, 'x');
    for (std::size_t b = 0; b < 8; ++b) {
        std::size_t at = first + b * 16;
        bytes[at + dbx::kBlockLengthOffset] = 0x00;
        bytes[at + dbx::kBlockLengthOffset + 1] = 0x70;
        put32(at + dbx::kBlockNextOffset, 0);
        put32(textPos[b] + dbx::kBlockNextOffset, static_cast<std::uint32_t>(at));
    }
    std::string path = Save(bytes);
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    std::uint64_t total = 0;
    std::vector<MailTextWrite> results;
    for (int round = 0; round < 2; ++round) {
        for (int i = 7; i >= 0; --i) {
            auto m = GetMessage(store, i, 0);
            ASSERT_TRUE(m);
            std::string out = dir / ("out" + std::to_string(i));
            int fd = open(out.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
            results.push_back(store.WriteMessageText(*m, fd));
            close(fd);
            if (round == 0) total += ReadFileText(out).size();
            if (i == 7) {
                EXPECT_EQ(ReadFileText(out), messages[7].text + std::string(0x7000, 'x'));
            }
            EXPECT_EQ(static_cast<bool>(store.GetItem(i, kDbxReadText)), i == 7);
        }
    }
    EXPECT_LE(total, bytes.size());
    for (std::size_t k = 0; k < results.size(); ++k)
        EXPECT_EQ(results[k], k % 8 == 0 ? MailTextWrite::Written : MailTextWrite::Unreadable) << k;
}

// Nothing to close or free is no fault; a record whose kind was overwritten is still freed (the
// sanitizer build sees a leak) and said to be of an unknown type.
TEST_F(DbxReaderTest, LowerLayerCloseAndFree) {
    CloseDbxStore(nullptr);
    FreeDbxItem(nullptr);
    std::unique_ptr<DbxStore> store =
        OpenDbxStore(Save(BuildDbxMessageFile(SampleMessages(1)))).Take();
    ASSERT_TRUE(store);
    for (const std::uint8_t kind : {dbx::kKindMessage, std::uint8_t(0x7f)}) {
        std::unique_ptr<DbxRecord> record = ReadDbxItem(store.get(), 0, 0).Take();
        ASSERT_TRUE(record);
        record->kind = kind;
        testing::internal::CaptureStdout();
        FreeDbxItem(std::move(record));
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  kind == dbx::kKindMessage ? "" : "Aaarghhh. Cannot free an unknown type!\n")
            << int(kind);
    }
    CloseDbxStore(std::move(store));
}

// The real store in the shared corpus: every message must come out, its text a mail.
TEST(DbxCorpus, EveryMessageOfTheRealStoreReads) {
    std::string path = std::string(KESTREL_SHARED_DIR) + "/corpus/dbx/iped-test_OutlookDBX.dbx";
    REQUIRE_SHARED_FILE(path);
    CDbxStoreFile store;
    ASSERT_EQ(Why(store.Open(path)), "");
    ASSERT_GT(store.GetItemCount(), 0);
    for (int i = store.GetItemCount() - 1; i >= 0; --i) {
        auto m = GetMessage(store, i, kDbxReadText);
        ASSERT_TRUE(m) << i;
        EXPECT_NE(m->GetMessageText().find("Subject:"), std::string::npos) << i;
    }
}

// What makes the start of a text block chain a message for the scan of a damaged file.
TEST(DbxTextStartsWithHeaders, NeedsHeaderLinesUpToAMailHeader) {
    const std::pair<std::string, bool> cases[] = {
        {"Received: from a by b\r\n", true},
        {"return-path: <a@b>\r\n", true},                  // names are not case-sensitive
        {"X-Mailer: x\r\n folded on\r\nSubject: s", true}, // other headers first, folded too
        {"Message-ID:<1@b>", true},
        {"X-Mailer: x\r\nX-Other: y\r\n\r\nFrom: a", false}, // the header ends before one
        {"Content-Type: text/plain\r\n\r\nbody", false},     // a part, not a message
        {" From: a\r\n", false},                             // a continuation cannot come first
        {"From a@b Mon Jan 1\r\nFrom: a", false},            // no colon after the name
        {"text of a message: middle\r\n", false},
        {"X-Mailer: a long line cut by the block's end", false},
        {"", false},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(DbxTextStartsWithHeaders(text.data(), text.size()), expected) << text;
}

} // namespace
