// The recovery scan over hand-made damaged files: which chains it finds, what each one gives,
// that a block belongs to one message, and that it stops when asked to.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "DbxWriter.h"
#include "TempDir.h"
#include "oe/DbxFormat.h"
#include "oe/DbxReader.h"
#include "oe/DbxScan.h"

namespace {

// Where the walk's second piece of the file begins: it reads a mebibyte at a time behind the
// header words.
constexpr std::uint32_t kSecondPiece = dbx::kMinHeaderSize + (1u << 20);

struct Block {
    std::uint32_t at;
    std::string text;
    std::uint32_t next;
};

void Put32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(v >> (8 * i));
}

// The blocks written over a file of the given size that starts as base (an empty store unless
// given), in list order.
std::string Craft(std::size_t size, const std::vector<Block>& blocks,
                  std::string base = BuildDbxMessageFile({})) {
    base.resize(std::max(size, base.size()), '\0');
    for (const Block& b : blocks) {
        Put32(base, b.at, b.at);
        Put32(base, b.at + 4, static_cast<std::uint32_t>(b.text.size()));
        base[b.at + dbx::kBlockLengthOffset] = static_cast<char>(b.text.size() & 0xFF);
        base[b.at + dbx::kBlockLengthOffset + 1] = static_cast<char>(b.text.size() >> 8);
        Put32(base, b.at + dbx::kBlockNextOffset, b.next);
        base.replace(b.at + dbx::kBlockHeaderSize, b.text.size(), b.text);
    }
    return base;
}

std::string Mail(const std::string& subject) {
    return "From: a@example.org\r\nSubject: " + subject + "\r\n\r\nbody of " + subject + "\r\n";
}

struct Found {
    std::uint32_t start;
    std::string subject;
    MailTextWrite result;
    std::string text;
    bool operator==(const Found& o) const {
        return start == o.start && subject == o.subject && result == o.result && text == o.text;
    }
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "{" << f.start << ", " << f.subject << ", " << static_cast<int>(f.result) << ", "
              << f.text.size() << " bytes}";
}

// Every chain the scan finds, with its subject and what writing it gave; each is written twice,
// and the second time must give nothing.
std::vector<Found> ScanAll(const TempDir& dir, const std::string& bytes) {
    std::string path = dir / "damaged.dbx";
    EXPECT_TRUE(WriteBytes(path, bytes));
    CDbxMessageScan scan;
    const platform::Status opened = scan.Open(path);
    EXPECT_TRUE(opened) << opened.Reason();
    EXPECT_TRUE(scan.Scan([](std::uint64_t, std::uint64_t) { return true; }));
    std::vector<Found> found;
    for (std::uint32_t start = scan.NextStart(0); start != 0; start = scan.NextStart(start)) {
        std::string out = dir / "out.eml";
        int fd = open(out.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
        Found f{start, scan.ReadSubject(start), scan.WriteText(start, fd), ""};
        EXPECT_EQ(scan.WriteText(start, fd), MailTextWrite::Unreadable);
        close(fd);
        f.text = ReadFileText(out);
        found.push_back(f);
    }
    EXPECT_EQ(found.size(), scan.StartCount());
    return found;
}

} // namespace

// Which chains are messages and what each gives. A chain ends where it enters a block taken
// before, by the index, by another chain or by itself; such a message breaks off.
TEST(DbxScan, ChainsFoundAndWhatTheyGive) {
    const auto broken = MailTextWrite::Unreadable, written = MailTextWrite::Written;
    // A message the index reaches, for a lost chain to run into.
    DbxTestMessage indexed;
    indexed.subject = "kept";
    indexed.text = Mail("kept");
    const std::string store = BuildDbxMessageFile({indexed});
    std::uint32_t indexedText;
    {
        TempDir dir;
        ASSERT_TRUE(WriteBytes(dir / "s.dbx", store));
        CDbxStoreFile file;
        ASSERT_TRUE(file.Open(dir / "s.dbx"));
        indexedText = static_cast<std::uint32_t>(
            static_cast<CDbxMessage&>(*file.GetItem(0, 0).Value()).GetTextPosition());
    }
    const std::string inner = "From: x\r\n" + std::string(30, '-');
    const auto lostAt = static_cast<std::uint32_t>((store.size() + 0x100) & ~std::size_t(3));
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<Found> found;
    } cases[] = {
        {"a block on the mebibyte, one across the walk's pieces",
         Craft(kSecondPiece + 0x1000,
               {{1u << 20, Mail("at one MiB"), 0},
                {kSecondPiece - 4, Mail("across") + "part one,", 0x100400},
                {0x100400, "part two", 0}}),
         {{1u << 20, "at one MiB", written, Mail("at one MiB")},
          {kSecondPiece - 4, "across", written, Mail("across") + "part one,part two"}}},
        {"a block first in the second piece",
         Craft(kSecondPiece + 0x1000, {{kSecondPiece, Mail("second piece"), 0}}),
         {{kSecondPiece, "second piece", written, Mail("second piece")}}},
        {"a chain that loops back to its middle block",
         Craft(0x5000, {{0x1000, Mail("loop"), 0x2000}, {0x2000, "middle", 0x3000},
                        {0x3000, "last", 0x2000}}),
         {{0x1000, "loop", broken, ""}}},
        {"two chains into one block",
         Craft(0x5000, {{0x1000, Mail("first"), 0x3000}, {0x2000, Mail("second"), 0x3000},
                        {0x3000, "shared", 0}}),
         {{0x1000, "first", written, Mail("first") + "shared"}, {0x2000, "second", broken, ""}}},
        {"a block inside another block's text",
         Craft(0x5000, {{0x1000, Mail("outer") + std::string(200, '.'), 0},
                        {0x1040, inner, 0}}),
         {}},
        {"a lost chain into a block the index reaches",
         Craft(store.size() + 0x1000, {{lostAt, Mail("lost"), indexedText}}, store),
         {{lostAt, "lost", broken, ""}}},
    };
    // The block inside the outer one is written last, over the outer one's text.
    cases[4].found = {{0x1000, "outer", written, ""}};
    {
        std::string outerText = Mail("outer") + std::string(200, '.');
        std::string bytes = cases[4].bytes;
        cases[4].found[0].text = bytes.substr(0x1000 + dbx::kBlockHeaderSize, outerText.size());
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        EXPECT_EQ(ScanAll(dir, c.bytes), c.found);
    }
}

// Blocks that overlap each other everywhere (every word of a run holds its own position, so a
// block starts at each, reaching far over the next ones) and messages that lead into them give
// no more text together than the file holds.
TEST(DbxScan, OverlappingBlocksGiveNoMoreThanTheFile) {
    std::vector<Block> blocks;
    for (std::uint32_t i = 0; i < 16; ++i)
        blocks.push_back({0x1000 + 0x40 * i, "To: x\r\n\r\n", 0x10000 + 4 * i});
    std::string bytes = Craft(0x10000 + 0x400 + 0x500, blocks);
    for (std::uint32_t at = 0x10000; at < 0x10000 + 0x400; at += 4)
        Put32(bytes, at, at);
    TempDir dir;
    std::vector<Found> found = ScanAll(dir, bytes);
    EXPECT_EQ(found.size(), 16u);
    std::size_t total = 0;
    for (const Found& f : found)
        total += f.text.size();
    EXPECT_LE(total, bytes.size());
}

// The walk asks whether to go on for every mebibyte, with what it has done growing to the
// whole; answering no stops it at once.
TEST(DbxScan, StopsWhenAskedAndSaysHowFarItIs) {
    TempDir dir;
    std::string path = dir / "big.dbx";
    ASSERT_TRUE(WriteBytes(path, Craft(3u << 20, {{0x1000, Mail("one"), 0}})));
    CDbxMessageScan scan;
    ASSERT_TRUE(scan.Open(path));
    std::vector<std::uint64_t> done;
    EXPECT_TRUE(scan.Scan([&](std::uint64_t d, std::uint64_t total) {
        EXPECT_EQ(total, 3u << 20);
        EXPECT_LE(d, total);
        EXPECT_TRUE(done.empty() || d >= done.back());
        done.push_back(d);
        return true;
    }));
    EXPECT_GE(done.size(), 3u);
    EXPECT_EQ(scan.StartCount(), 1u);
    int asked = 0;
    EXPECT_FALSE(scan.Scan([&](std::uint64_t, std::uint64_t) { return ++asked < 2; }));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(scan.StartCount(), 0u);
}
