#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "PstFixtures.h"
#include "TempDir.h"
#include "store/PstProperties.h"
#include "store/PstReader.h"

namespace {

const std::string kData = std::string(KESTREL_TEST_DATA) + "/pst/";
const std::string kUnicode = kData + "tgh-user1-test-lab.pst";
const std::string kAttachments = "Top of Outlook data file/FolderWithMessagesWithAttachments";

// The message's text as the reader writes it.
std::string MessageText(CPstFile& file, int index, MailTextWrite* result = nullptr) {
    TempDir dir;
    const std::string path = dir / "m.eml";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const MailTextWrite written = file.WriteMessage(index, fd);
    ::close(fd);
    if (result) *result = written;
    return ReadFileText(path);
}

const PstFolder* FindFolder(const CPstFile& file, const std::string& path) {
    for (const PstFolder& f : file.Folders())
        if (f.Path == path) return &f;
    return nullptr;
}

TEST(PstReader, FoldersAsTheFileNestsThem) {
    TempDir dir;
    const std::string twins = dir.Write("twins.pst", pst_fixtures::TwinFoldersPst());
    const std::string renamed = dir.Write("renamed.pst", pst_fixtures::EightBitNamePst());
    const std::string top = "Top of Outlook data file/";
    const std::string twin = top + "FolderWithSingleMessage";
    const std::string sampleSubject = "Here is a sample message";
    struct Case {
        std::string file, folder;
        int depth, messages;  // messages -1: the file has no such folder
        std::string name = {};     // the folder's own name, when the row checks it
        std::string subject = {};  // the first message's subject, when the row checks it
    } cases[] = {
        {kUnicode, "Top of Outlook data file", 0, 0},
        {kUnicode, top + "FolderWithTwoSubFolders/SubFolder2", 2, 0},
        {kUnicode, kAttachments, 1, 2},
        // Names of a Unicode file in any script.
        {kData + "p2e-Hello-CJK.pst", "Outlook データ ファイルのトップ", 0, 1},
        {kData + "p2e-Hello-CJK.pst", "Outlook データ ファイルのトップ/削除済みアイテム", 1, 0},
        // An 8-bit file's names read in its code page, one that is not ASCII too.
        {kData + "pstsdk-sample2.pst", top + "Sample2", 1, 1, "Sample2", sampleSubject},
        {renamed, top + "Sämple2", 1, 1, "Sämple2", sampleSubject},
        // Sibling folders of one name each get a path of their own, in the file's order.
        {twins, twin, 1, 1, "FolderWithSingleMessage"},
        {twins, twin + "%#2", 1, 2, "FolderWithSingleMessage"},
        {twins, twin + "%#3", 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        CPstFile file;
        const platform::Status opened = file.Open(c.file);
        ASSERT_TRUE(opened) << opened.Reason();
        const PstFolder* folder = FindFolder(file, c.folder);
        const platform::Status selected = file.SelectFolder(c.folder);
        if (c.messages < 0) {
            EXPECT_EQ(folder, nullptr);
            EXPECT_EQ(selected.Code(), platform::StatusCode::Missing);
            EXPECT_NE(selected.Reason().find("has no folder"), std::string::npos)
                << selected.Reason();
            continue;
        }
        ASSERT_NE(folder, nullptr);
        EXPECT_EQ(folder->Depth, c.depth);
        EXPECT_TRUE(c.name.empty() || folder->Name == c.name) << folder->Name;
        ASSERT_TRUE(selected) << selected.Reason();
        EXPECT_EQ(file.Count(), c.messages);
        if (!c.subject.empty()) {
            EXPECT_EQ(file.CodePage(), 1252u);
            PstHeader header;
            ASSERT_TRUE(file.ReadHeader(0, header));
            EXPECT_EQ(header.Subject, c.subject);
        }
        // Parents come before their children; internal folders of the file are left out.
        for (size_t i = 1; i < file.Folders().size(); ++i)
            EXPECT_LE(file.Folders()[i].Depth, file.Folders()[i - 1].Depth + 1);
        for (const PstFolder& f : file.Folders())
            EXPECT_EQ(f.Name.find("Search"), std::string::npos) << f.Path;
    }
}

TEST(PstReader, MessagesBecomeMimeMessages) {
    CPstFile file;
    ASSERT_TRUE(file.Open(kUnicode));
    ASSERT_TRUE(file.SelectFolder(kAttachments));
    ASSERT_EQ(file.Count(), 2);
    PstHeader header;
    ASSERT_TRUE(file.ReadHeader(1, header));
    EXPECT_EQ(header.Subject, "TestWithEmbeddedMessage");
    EXPECT_EQ(header.Sender, "user1@test.lab");
    EXPECT_EQ(header.SenderName, "user1");
    ASSERT_TRUE(header.Time.has_value());

    MailTextWrite written;
    const std::string first = MessageText(file, 0, &written);
    EXPECT_EQ(written, MailTextWrite::Written);
    EXPECT_NE(first.find("Subject: TestWithTextFileAttachment\r\n"), std::string::npos);
    EXPECT_NE(first.find("filename=\"TextFile.txt\""), std::string::npos);
    // The attachment's four bytes, as base64.
    EXPECT_NE(first.find("\r\n\r\nVGVzdA==\r\n"), std::string::npos) << first;
    // The attached message is a message part, walked as MIME.
    const std::string second = MessageText(file, 1);
    const size_t inner = second.find("Content-Type: message/rfc822\r\n");
    ASSERT_NE(inner, std::string::npos);
    EXPECT_NE(second.find("\r\nSubject: ", inner), std::string::npos);
    EXPECT_NE(second.find("MIME-Version: 1.0", inner), std::string::npos);

    // Names that are not ASCII travel in RFC 2231 form.
    CPstFile cjk;
    ASSERT_TRUE(cjk.Open(kData + "p2e-Hello-CJK.pst"));
    ASSERT_TRUE(cjk.SelectFolder("Outlook データ ファイルのトップ"));
    ASSERT_EQ(cjk.Count(), 1);
    EXPECT_NE(MessageText(cjk, 0).find("filename*=UTF-8''J%20%E3%81%93%E3%82%93"),
              std::string::npos);
}

TEST(PstReader, TheFileIsNeverWritten) {
    TempDir dir;
    const std::string copy = dir.Write("read only.pst", ReadFileText(kUnicode));
    ::chmod(copy.c_str(), 0444); // opening for writing would fail
    struct stat before {};
    ::stat(copy.c_str(), &before);
    {
        CPstFile file;
        const platform::Status opened = file.Open(copy);
        ASSERT_TRUE(opened) << opened.Reason();
        for (const PstFolder& folder : file.Folders()) {
            if (!file.SelectFolder(folder.Path)) continue;
            for (int i = 0; i < file.Count(); ++i) MessageText(file, i);
        }
    }
    struct stat after {};
    ::stat(copy.c_str(), &after);
    EXPECT_EQ(ReadFileText(copy), ReadFileText(kUnicode));
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

// Damaged files: refused with a message that says so, or read as far as they go; never a crash
// or a hang.
TEST(PstReader, DamagedFilesAreRefusedOrReadAsFarAsTheyGo) {
    const std::string good = ReadFileText(kUnicode);
    auto with = [&](size_t at, size_t n, char c) {
        std::string bytes = good;
        bytes.replace(at, n, std::string(n, c));
        return bytes;
    };
    // The offset of the index page the header names (its block b-tree root, Unicode layout).
    std::uint64_t blocks = 0;
    std::memcpy(&blocks, good.data() + 0xF0, sizeof blocks);
    ASSERT_LT(blocks + 512, good.size());
    struct Case {
        const char* what;
        std::string bytes;
        const char* refusal; // nullptr: opens, and what it cannot read is said
        platform::StatusCode code = platform::StatusCode::Ok;
    } cases[] = {
        {"a 40-byte fragment", ReadFileText(kData + "jmf-truncated-in-header.bin"),
         "ends inside its header", platform::StatusCode::Damaged},
        {"a bad header checksum", with(4, 1, '\x7f'), "header checksum is wrong",
         platform::StatusCode::Damaged},
        {"a broken index page", with(static_cast<size_t>(blocks), 512, '\xAA'),
         "index cannot be read", platform::StatusCode::Damaged},
        {"an empty file", "", "not an Outlook data file", platform::StatusCode::NotRecognised},
        {"mail of another kind", "From a@b Sat Jan  1 00:00:00 2000\n\nhi\n",
         "not an Outlook data file", platform::StatusCode::NotRecognised},
        {"the first half", good.substr(0, good.size() / 2), nullptr},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.Write("damaged.pst", c.bytes);
        CPstFile file;
        const platform::Status opened = file.Open(path);
        std::string why = opened.Reason();
        EXPECT_EQ(opened.Code(), c.code) << c.what << ": " << why;
        if (c.refusal) {
            EXPECT_NE(why.find(c.refusal), std::string::npos) << c.what << ": " << why;
            continue;
        }
        ASSERT_TRUE(opened) << c.what << ": " << why;
        int unreadable = 0;
        for (const PstFolder& folder : file.Folders()) {
            if (const platform::Status selected = file.SelectFolder(folder.Path); !selected) {
                EXPECT_EQ(selected.Code(), platform::StatusCode::Damaged) << selected.Reason();
                EXPECT_NE(selected.Reason().find("cannot be read"), std::string::npos)
                    << selected.Reason();
                ++unreadable;
                continue;
            }
            for (int i = 0; i < file.Count(); ++i) MessageText(file, i);
        }
        EXPECT_GT(unreadable, 0) << c.what;
    }
}

// Names as paths show them: read in the file's code page, escaped, and told apart from a second
// folder of one name.
TEST(PstReader, FolderNamesAsPathsShowThem) {
    const struct Case {
        std::string got, want;
    } cases[] = {
        {CodePageToUtf8("\x82\xa0\x83\x74\x83\x48\x83\x8b\x83\x5f", 932), "あフォルダ"},
        {CodePageToUtf8("\xc4\xe5\xeb\xe0", 1251), "Дела"},
        {CodePageToUtf8("Caf\xe9", 1252), "Café"},
        {CodePageToUtf8("\xc4\xe3\xba\xc3", 936), "你好"},
        {CodePageToUtf8("Gel\xf6scht", 28591), "Gelöscht"},
        {EscapePstFolderName("a/b%"), "a%2Fb%25"},
        {UnescapePstFolderName(EscapePstFolderName("Inbox")), "Inbox"},
        {UnescapePstFolderName(EscapePstFolderName("a/b")), "a/b"},
        {UnescapePstFolderName(EscapePstFolderName("50%")), "50%"},
        {UnescapePstFolderName(EscapePstFolderName("%2F")), "%2F"},
        {PstPathName("Inbox", 1), "Inbox"},
        {PstPathName("Inbox", 2), "Inbox%#2"},
        {PstPathName("Inbox", 12), "Inbox%#12"},
        // A name that looks like a second one of its name stays apart from it.
        {PstPathName("Inbox%#2", 1), "Inbox%25#2"},
        {PstPathName("a/b", 3), "a%2Fb%#3"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

} // namespace
