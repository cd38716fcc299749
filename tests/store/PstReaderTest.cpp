#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "PstFixtures.h"
#include "TempDir.h"
#include "store/PstProperties.h"
#include "store/PstReader.h"

namespace {

const std::string kData = std::string(KESTREL_TEST_DATA) + "/pst/";
const std::string kUnicode = kData + "tgh-user1-test-lab.pst";
const std::string kAttachments = "Top of Outlook data file/FolderWithMessagesWithAttachments";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The message's text as the reader writes it.
std::string MessageText(CPstFile& file, int index, PstWrite* result = nullptr) {
    TempDir dir;
    const std::string path = dir / "m.eml";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const PstWrite written = file.WriteMessage(index, fd);
    ::close(fd);
    if (result) *result = written;
    return ReadAll(path);
}

const PstFolder* FindFolder(const CPstFile& file, const std::string& path) {
    for (const PstFolder& f : file.Folders())
        if (f.Path == path) return &f;
    return nullptr;
}

TEST(PstReader, FoldersAsTheFileNestsThem) {
    struct Case {
        std::string file, folder;
        int depth, messages;
    } cases[] = {
        {"tgh-user1-test-lab.pst", "Top of Outlook data file", 0, 0},
        {"tgh-user1-test-lab.pst", "Top of Outlook data file/FolderWithTwoSubFolders/SubFolder2", 2, 0},
        {"tgh-user1-test-lab.pst", kAttachments, 1, 2},
        // Names of a Unicode file in any script.
        {"p2e-Hello-CJK.pst", "Outlook データ ファイルのトップ", 0, 1},
        {"p2e-Hello-CJK.pst", "Outlook データ ファイルのトップ/削除済みアイテム", 1, 0},
        // An 8-bit file.
        {"pstsdk-sample2.pst", "Top of Outlook data file/Sample2", 1, 1},
    };
    for (const Case& c : cases) {
        CPstFile file;
        const platform::Status opened = file.Open(kData + c.file);
        ASSERT_TRUE(opened) << c.file << ": " << opened.Reason();
        std::string why;
        const PstFolder* folder = FindFolder(file, c.folder);
        ASSERT_NE(folder, nullptr) << c.folder;
        EXPECT_EQ(folder->Depth, c.depth) << c.folder;
        ASSERT_TRUE(file.SelectFolder(c.folder, &why)) << c.folder << ": " << why;
        EXPECT_EQ(file.Count(), c.messages) << c.folder;
        // Parents come before their children; internal folders of the file are left out.
        for (size_t i = 1; i < file.Folders().size(); ++i)
            EXPECT_LE(file.Folders()[i].Depth, file.Folders()[i - 1].Depth + 1) << c.file;
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

    PstWrite written;
    const std::string first = MessageText(file, 0, &written);
    EXPECT_EQ(written, PstWrite::Written);
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
    const std::string copy = dir / "read only.pst";
    std::ofstream(copy, std::ios::binary) << ReadAll(kUnicode);
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
    EXPECT_EQ(ReadAll(copy), ReadAll(kUnicode));
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

// Damaged files: refused with a message that says so, or read as far as they go; never a crash
// or a hang.
TEST(PstReader, DamagedFilesAreRefusedOrReadAsFarAsTheyGo) {
    const std::string good = ReadAll(kUnicode);
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
        {"a 40-byte fragment", ReadAll(kData + "jmf-truncated-in-header.bin"),
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
        const std::string path = dir / "damaged.pst";
        std::ofstream(path, std::ios::binary) << c.bytes;
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
            if (!file.SelectFolder(folder.Path, &why)) {
                EXPECT_NE(why.find("cannot be read"), std::string::npos) << why;
                ++unreadable;
                continue;
            }
            for (int i = 0; i < file.Count(); ++i) MessageText(file, i);
        }
        EXPECT_GT(unreadable, 0) << c.what;
    }
}

TEST(PstReader, NamesOfEightBitFilesInTheirCodePage) {
    struct Case {
        std::string bytes;
        unsigned codePage;
        std::string text;
    } cases[] = {
        {"\x82\xa0\x83\x74\x83\x48\x83\x8b\x83\x5f", 932, "あフォルダ"},
        {"\xc4\xe5\xeb\xe0", 1251, "Дела"},
        {"Caf\xe9", 1252, "Café"},
        {"\xc4\xe3\xba\xc3", 936, "你好"},
        {"Gel\xf6scht", 28591, "Gelöscht"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodePageToUtf8(c.bytes, c.codePage), c.text) << c.codePage;
    // The 8-bit sample's names read the same through the whole path, a name that is not ASCII
    // in the file's code page too.
    TempDir dir;
    const std::string renamed = dir / "renamed.pst";
    std::ofstream(renamed, std::ios::binary) << pst_fixtures::EightBitNamePst();
    for (const std::string& folder : {std::string("Sample2"), std::string("Sämple2")}) {
        CPstFile file;
        ASSERT_TRUE(file.Open(folder == "Sample2" ? kData + "pstsdk-sample2.pst" : renamed));
        EXPECT_EQ(file.CodePage(), 1252u);
        ASSERT_TRUE(file.SelectFolder("Top of Outlook data file/" + folder)) << folder;
        PstHeader header;
        ASSERT_TRUE(file.ReadHeader(0, header));
        EXPECT_EQ(header.Subject, "Here is a sample message");
    }
}

TEST(PstReader, FolderNamesEscapedInPaths) {
    for (const std::string name : {"Inbox", "a/b", "50%", "%2F"})
        EXPECT_EQ(UnescapePstFolderName(EscapePstFolderName(name)), name);
    EXPECT_EQ(EscapePstFolderName("a/b%"), "a%2Fb%25");
    // A name that looks like a second one of its name stays apart from it.
    struct Case {
        std::string name;
        int nth;
        std::string part;
    } cases[] = {
        {"Inbox", 1, "Inbox"},
        {"Inbox", 2, "Inbox%#2"},
        {"Inbox", 12, "Inbox%#12"},
        {"Inbox%#2", 1, "Inbox%25#2"},
        {"a/b", 3, "a%2Fb%#3"},
    };
    for (const Case& c : cases) EXPECT_EQ(PstPathName(c.name, c.nth), c.part) << c.name;
}

// Sibling folders of one name each get a path of their own, in the file's order.
TEST(PstReader, SiblingsOfOneNameAreToldApart) {
    TempDir dir;
    const std::string path = dir / "twins.pst";
    std::ofstream(path, std::ios::binary) << pst_fixtures::TwinFoldersPst();
    CPstFile file;
    const platform::Status opened = file.Open(path);
    ASSERT_TRUE(opened) << opened.Reason();
    std::string why;
    const std::string twin = "Top of Outlook data file/FolderWithSingleMessage";
    struct Case {
        std::string path;
        int messages;
    } cases[] = {{twin, 1}, {twin + "%#2", 2}};
    for (const Case& c : cases) {
        const PstFolder* folder = FindFolder(file, c.path);
        ASSERT_NE(folder, nullptr) << c.path;
        EXPECT_EQ(folder->Name, "FolderWithSingleMessage");
        ASSERT_TRUE(file.SelectFolder(c.path, &why)) << why;
        EXPECT_EQ(file.Count(), c.messages) << c.path;
    }
    EXPECT_EQ(FindFolder(file, twin + "%#3"), nullptr);
    EXPECT_FALSE(file.SelectFolder(twin + "%#3", &why));
    EXPECT_NE(why.find("has no folder"), std::string::npos) << why;
}

} // namespace
