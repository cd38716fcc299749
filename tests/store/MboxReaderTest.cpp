#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TempDir.h"
#include "platform/Hash.h"
#include "store/MboxReader.h"

namespace {

const std::string kEnvelope = "From anna@example.org Thu Jan  1 00:00:00 2004\n";
const std::string kMultipartHead = "S: m\nContent-Type: Multipart/Mixed;\n\tboundary=\"b1\"\n";

struct Case {
    const char* name;
    std::string file;
    std::vector<std::string> texts;
    bool lastCut = false;
};

// Every message as WriteMessage streams it.
std::vector<std::string> Texts(CMboxReader& reader, bool& lastCut) {
    std::vector<std::string> texts;
    lastCut = false;
    for (int i = 0; i < reader.Count(); ++i) {
        int fd = memfd_create("mbox-test", MFD_CLOEXEC);
        MailTextWrite result = reader.WriteMessage(i, fd);
        EXPECT_TRUE(result == MailTextWrite::Written || result == MailTextWrite::Cut) << i;
        if (result == MailTextWrite::Cut) {
            EXPECT_EQ(i, reader.Count() - 1);
            lastCut = true;
        }
        struct stat st;
        fstat(fd, &st);
        std::string text(static_cast<std::size_t>(st.st_size), '\0');
        EXPECT_EQ(pread(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
        close(fd);
        texts.push_back(text);
    }
    return texts;
}

// Lines enough to cross the reader's buffer several times, with a quoted line at every offset
// a buffer boundary may fall on.
std::string LongBody(bool quoted) {
    std::string body;
    for (int i = 0; i < 9000; ++i) { // about 600 KB
        body += std::string(static_cast<std::size_t>(i % 97), 'x') + "\n";
        body += quoted ? ">From the " : "From the ";
        body += "line " + std::to_string(i) + "\n";
    }
    return body;
}

TEST(MboxReader, SplitsUnquotesAndKeepsEveryByte) {
    const std::string oneLine(300 * 1024, 'Q'); // a line longer than the reader's buffer
    const std::vector<Case> cases = {
        {"two messages, each followed by an empty line",
         kEnvelope + "Subject: 1\n\nbody 1\n\n" +
             "From bob@example.org Fri Jan  2 10:11:12 2004\nSubject: 2\n\nbody 2\n\n",
         {"Subject: 1\n\nbody 1\n", "Subject: 2\n\nbody 2\n"}},
        {"a body line that would be an envelope if it stopped short",
         kEnvelope + "S: 1\n\nb\n\nFrom x Thu Jan  1 00:00:00 20045 is no year\n" + kEnvelope +
             "S: 2\n\nc\n",
         {"S: 1\n\nb\n\nFrom x Thu Jan  1 00:00:00 20045 is no year\n", "S: 2\n\nc\n"}},
        {"no empty line between messages, none at the end",
         kEnvelope + "S: 1\n\nb\n" + kEnvelope + "S: 2\n\nc\n",
         {"S: 1\n\nb\n", "S: 2\n\nc\n"}},
        {"CRLF line ends are kept, the CRLF empty line dropped",
         "From a Thu Jan  1 00:00:00 2004\r\nS: 1\r\n\r\nb\r\n\r\n"
         "From b Thu Jan  1 00:00:00 2004\r\nS: 2\r\n\r\n>From c\r\n",
         {"S: 1\r\n\r\nb\r\n", "S: 2\r\n\r\nFrom c\r\n"}},
        {"one > less before From, any depth; other > lines as they are",
         kEnvelope + "S\n\n>From a\n>>From b\n>>>From c\n> From d\n>Fromage\n>From\n",
         {"S\n\nFrom a\n>From b\n>>From c\n> From d\n>Fromage\n>From\n"}},
        {"body lines that begin From but are no envelope stay in the message",
         kEnvelope + "S\n\nFrom here on, we talk.\n\nFrom the desk of Jan at 10:30\nFrom x\n",
         {"S\n\nFrom here on, we talk.\n\nFrom the desk of Jan at 10:30\nFrom x\n"}},
        {"envelopes as other writers write them",
         kEnvelope + "1\n\nFrom - Thu Jan 11 19:43:03 2018\n2\n\n"
                     "From MAILER-DAEMON Fri Jul  8 12:08:34 2011 +0000\n3\n\n"
                     "From x@y Sat, 3 Jan 1996 01:05\n4\n",
         {"1\n", "2\n", "3\n", "4\n"}},
        {"no line end after the last line: how many files end, nothing is cut",
         kEnvelope + "S: 1\n\n" + kEnvelope + "S: 2\n\nQUJD",
         {"S: 1\n", "S: 2\n\nQUJD"}},
        {"cut right after a separator", kEnvelope + "S: 1\n\n" + kEnvelope, {"S: 1\n", ""}},
        {"ends inside a separator line",
         kEnvelope + "S: 1\n\nFrom anna@example.org Thu Jan  1",
         {"S: 1\n\nFrom anna@example.org Thu Jan  1"}},
        {"ends inside a multipart message: cut short",
         kEnvelope + "S: 1\n\n" + kEnvelope + kMultipartHead + "\n--b1\n\nhi\n--b1\n\niVBOR",
         {"S: 1\n", kMultipartHead + "\n--b1\n\nhi\n--b1\n\niVBOR"},
         true},
        {"ends at a multipart message's closing line, without a line end",
         kEnvelope + kMultipartHead + "\n--b1\n\nhi\n--b1--",
         {kMultipartHead + "\n--b1\n\nhi\n--b1--"}},
        {"ends inside a multipart header: cut short", kEnvelope + kMultipartHead,
         {kMultipartHead}, true},
        {"an open multipart before the last message cuts nothing",
         kEnvelope + kMultipartHead + "\n--b1\n\n" + kEnvelope + "S\n",
         {kMultipartHead + "\n--b1\n", "S\n"}},
        {"a body shorter than its Content-Length: cut short",
         kEnvelope + "Content-Length: 100\n\nshort",
         {"Content-Length: 100\n\nshort"},
         true},
        {"a body as long as its Content-Length",
         kEnvelope + "Content-Length: 6\r\n\r\nshort\n",
         {"Content-Length: 6\r\n\r\nshort\n"}},
        {"text before the first separator is a message",
         "junk\n\n" + kEnvelope + "S\n",
         {"junk\n", "S\n"}},
        {"blank lines before the first separator are passed over",
         "\n  \r\n\t\n" + kEnvelope + "S\n",
         {"S\n"}},
        {"so is the first From line after them, whatever follows From",
         "\n\nFrom someone\nS\n" + kEnvelope + "T\n",
         {"S\n", "T\n"}},
        {"CR line ends are read as lines and given as LF",
         "From a Thu Jan  1 00:00:00 2004\rS: 1\r\rb\r\r"
         "From b Thu Jan  1 00:00:00 2004\rS: 2\r\r>From c\r",
         {"S: 1\n\nb\n", "S: 2\n\nFrom c\n"}},
        {"empty file", "", {}},
        {"only an empty line", "\n", {}},
        {"a line longer than the buffer",
         kEnvelope + "S\n\n" + oneLine + "\n>From y\n\n",
         {"S\n\n" + oneLine + "\nFrom y\n"}},
        {"quoted lines on every buffer boundary",
         kEnvelope + "S\n\n" + LongBody(true) + "\n" + kEnvelope + "T\n",
         {"S\n\n" + LongBody(false), "T\n"}},
    };
    TempDir dir;
    int parts = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write("box", c.file);
        CMboxReader reader;
        ASSERT_TRUE(reader.Open(path));
        bool lastCut = false;
        EXPECT_EQ(Texts(reader, lastCut), c.texts);
        EXPECT_EQ(lastCut, c.lastCut);
        const std::size_t text = c.file.find_first_not_of(" \t\r\n");
        EXPECT_EQ(CMboxReader::LooksLikeMbox(path),
                  text != std::string::npos && c.file.compare(text, 5, "From ") == 0);

        // The same file as it grew: indexed as far as it went (a small file cut anywhere, a
        // large one where each message starts, inside its separator line and inside its text),
        // then read on from there, gives what reading it whole gives.
        const std::vector<CMboxReader::Bounds> whole = reader.Index();
        std::vector<std::uint64_t> cuts;
        for (std::uint64_t cut = 0; c.file.size() < 600 && cut < c.file.size(); ++cut)
            cuts.push_back(cut);
        for (const CMboxReader::Bounds& b : whole)
            if (c.file.size() >= 600)
                cuts.insert(cuts.end(), {b.from, b.begin - (b.begin - b.from) / 3,
                                         b.begin + (b.end - b.begin) / 2});
        for (std::uint64_t cut : cuts) {
            SCOPED_TRACE("grown from " + std::to_string(cut) + " bytes");
            // A new file each time: rewriting one would wait for the disk.
            CMboxReader before;
            ASSERT_TRUE(
                before.Open(dir.Write("part" + std::to_string(++parts), c.file.substr(0, cut))));
            const std::vector<CMboxReader::Bounds> known = before.Index();
            before.Close();
            CMboxReader after;
            ASSERT_TRUE(after.Open(path, false));
            platform::CWideHash64 hash, all;
            hash.Add(c.file.data(), cut);
            all.Add(c.file.data(), c.file.size());
            EXPECT_TRUE(after.IndexFrom(known, cut, &hash));
            EXPECT_TRUE(after.Index() == whole);
            EXPECT_EQ(hash.Value(), all.Value());
        }
    }
}

TEST(MboxReader, HeaderLinesStopAtTheLimitAndFailedReadsAndWritesAreSaid) {
    TempDir dir;
    const std::string path = dir.Write("box", kEnvelope + "Subject: one\n>From: as is\n\nbody\n");
    CMboxReader reader;
    ASSERT_TRUE(reader.Open(path));
    std::string block;
    ASSERT_TRUE(reader.ReadHeaderBlock(0, 1 << 20, block));
    EXPECT_EQ(block, "Subject: one\n>From: as is\n"); // ">From:" is not ">From "
    ASSERT_TRUE(reader.ReadHeaderBlock(0, 4, block));
    EXPECT_EQ(block, "Subj");
    // A write that fails is said, not taken for the end of the message.
    int readOnly = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(reader.WriteMessage(0, readOnly), MailTextWrite::WriteFailed);
    close(readOnly);

    // A file that shrinks once indexed: what is gone is said, never waited for.
    const std::string first = kEnvelope + "S: 1\n\nbody\n\n";
    const std::string shrinking = dir.Write("shrinking", first + kEnvelope + "S: 2\n\nbody\n");
    ASSERT_TRUE(reader.Open(shrinking));
    ASSERT_EQ(reader.Count(), 2);
    ASSERT_EQ(truncate(shrinking.c_str(), static_cast<off_t>(first.size() + kEnvelope.size() + 3)),
              0);
    int out = memfd_create("mbox-test", MFD_CLOEXEC);
    EXPECT_EQ(reader.WriteMessage(1, out), MailTextWrite::Unreadable);
    EXPECT_FALSE(reader.ReadHeaderBlock(1, 1 << 20, block));
    EXPECT_EQ(reader.WriteMessage(0, out), MailTextWrite::Written);
    close(out);
}

} // namespace
