#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "TempDir.h"
#include "platform/FileHandle.h"
#include "platform/FileSystem.h"

using namespace platform;

TEST(FileSystem, PatternsIgnoreCaseAndStarDotStarMatchesAll) {
    EXPECT_TRUE(MatchPattern("Account.OEACCOUNT", "*.oeaccount"));
    EXPECT_TRUE(MatchPattern("noextension", "*.*"));
    EXPECT_TRUE(MatchPattern("ULKfoo.jpg", "ulk*.*"));
    EXPECT_FALSE(MatchPattern("xulk.jpg", "ulk*.*"));
    EXPECT_TRUE(MatchPattern("inbox", "Inbox"));
    EXPECT_FALSE(MatchPattern("Inbox2", "Inbox"));
    EXPECT_TRUE(MatchPattern("a.eml", "?.eml"));
    // A pathological pattern must not blow up.
    EXPECT_FALSE(MatchPattern(std::string(200, 'a'), "*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(FileSystem, ListingIsSortedWithoutRegardToCase) {
    TempDir dir;
    dir.Write("b.eml", "x");
    dir.Write("A.eml", "x");
    dir.Write("c.txt", "x");
    dir.MakeDir("Sub");
    auto all = ListDirectory(dir.path());
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].name, "A.eml");
    EXPECT_EQ(all[1].name, "b.eml");
    EXPECT_EQ(all[2].name, "c.txt");
    EXPECT_EQ(all[3].name, "Sub");
    EXPECT_TRUE(all[3].isDirectory);
    auto eml = ListDirectory(dir.path(), "*.EML");
    EXPECT_EQ(eml.size(), 2u);
    EXPECT_TRUE(ListDirectory(dir / "missing").empty());
}

TEST(FileSystem, SetsAccessAndWriteTimes) {
    TempDir dir;
    std::string f = dir.Write("x.jpg", "data");
    ASSERT_TRUE(SetFileTimes(f, 1000000000, 1000000001));
    struct stat st;
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_atime, 1000000000);
    EXPECT_EQ(st.st_mtime, 1000000001);
}

TEST(FileSystem, DeletesOnlyMatchingFiles) {
    TempDir dir;
    dir.Write("ulk1.tmp", "x");
    dir.Write("ULK2", "x");
    dir.Write("keep.jpg", "x");
    dir.MakeDir("ulkdir");
    EXPECT_EQ(DeleteMatchingFiles(dir.path(), "ulk*.*"), 2);
    EXPECT_TRUE(FileExists(dir / "keep.jpg"));
    EXPECT_TRUE(IsDirectory(dir / "ulkdir"));
}

namespace {

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
}

} // namespace

// Only a plain file of at most the size given is opened, at once, and a refusal says why.
TEST(FileSystem, OpeningForReadingTakesOnlyPlainFilesAndSaysWhy) {
    TempDir dir;
    dir.Write("plain", "data");
    dir.MakeDir("folder");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("plain", (dir / "link").c_str()), 0);
    ASSERT_EQ(symlink("fifo", (dir / "link-to-fifo").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", (dir / "link-to-device").c_str()), 0);
    ASSERT_EQ(truncate(dir.Write("mebibyte+1", "").c_str(), (1 << 20) + 1), 0);
    struct Case {
        const char* name;
        bool followLinks;
        std::uint64_t maxSize;
        const char* why; // nullptr: opened, and reads "data"
    } cases[] = {
        {"plain", true, 4, nullptr},
        {"link", true, 4, nullptr},
        {"link", false, 4, "is a link, not a file"},
        {"plain", true, 3, "is larger than 3 bytes"},
        {"mebibyte+1", true, 1 << 20, "is larger than 1 MB"},
        {"missing", true, 4, ""},
        {"fifo", true, 4, "is a fifo, not a file"},
        {"link-to-fifo", true, 4, "is a fifo, not a file"},
        {"link-to-device", true, 4, "is a device, not a file"},
        {"folder", true, 4, "is a folder, not a file"},
    };
    UniqueFd folder(open(dir.path().c_str(), O_RDONLY | O_DIRECTORY));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.followLinks ? "" : " (links not followed)"));
        std::string why = "left over";
        UniqueFd fd(c.followLinks ? OpenFileForReading(dir / c.name, c.maxSize, &why)
                                  : OpenFileForReadingAt(folder.Get(), c.name, false, c.maxSize,
                                                         &why));
        if (!c.why) {
            ASSERT_TRUE(fd.IsOpen()) << why;
            EXPECT_EQ(ReadAll(fd.Get()), "data");
            EXPECT_EQ(why, "");
        } else {
            EXPECT_FALSE(fd.IsOpen());
            EXPECT_EQ(why, c.why);
        }
    }
    // What its owner may not read: the system's reason.
    chmod((dir / "plain").c_str(), 0);
    RunWithoutPrivileges([&] {
        std::string why;
        EXPECT_EQ(OpenFileForReading(dir / "plain", 4, &why), -1);
        EXPECT_EQ(why, "Permission denied");
    });
}

// The file is replaced all at once, or not at all and then with nothing left behind.
TEST(FileSystem, ReplacingAFileSwapsItWholeOrLeavesItAlone) {
    const std::string old = "old contents";
    struct Case {
        const char* what;
        std::function<void(TempDir&)> make; // what stands at the path beforehand
        bool replaced;
        const char* file; // the file that then holds the contents, under the folder
        const char* path = "f";
    } cases[] = {
        {"new file", [](TempDir&) {}, true, "f"},
        {"old file", [&](TempDir& d) { d.Write("f", old); }, true, "f"},
        {"link: its target is replaced, the link stays",
         [&](TempDir& d) { d.Write("sub/target", old); symlink("sub/target", (d / "f").c_str()); },
         true, "sub/target"},
        {"link to a link in another folder", [&](TempDir& d) {
             d.Write("sub/target", old);
             symlink("target", (d / "sub/hop").c_str()); symlink("sub/hop", (d / "f").c_str());
         }, true, "sub/target"},
        {"fifo", [](TempDir& d) { mkfifo((d / "f").c_str(), 0600); }, false, nullptr},
        {"link to a socket", [](TempDir& d) { // (a device would have to be the system's own)
             int s = socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (d / "s").c_str());
             bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
             close(s); symlink("s", (d / "f").c_str());
         }, false, nullptr},
        {"folder", [](TempDir& d) { d.MakeDir("f"); }, false, nullptr},
        {"no folder", [](TempDir&) {}, false, nullptr, "missing/f"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir d;
        c.make(d);
        const std::string path = d / c.path;
        const std::set<std::string> before = EntryNames(d.path());
        EXPECT_EQ(ReplaceFile(path, "new contents"), c.replaced);
        // No scratch file is left, and nothing but the new file is added.
        EXPECT_EQ(EntryNames(d.path()),
                  c.replaced && before.empty() ? std::set<std::string>{"f"} : before);
        if (c.replaced) {
            EXPECT_EQ(ReadFileText(d / c.file), "new contents");
        }
    }
    TempDir d;
    const std::string path = d.Write("f", old);
    chmod(path.c_str(), 0640);
    // A reader that has the old file open goes on reading it whole; the new file keeps the mode.
    UniqueFd reader(open(path.c_str(), O_RDONLY));
    ASSERT_TRUE(ReplaceFile(path, "new contents"));
    EXPECT_EQ(ReadAll(reader.Get()), old);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // A failure part way (a full disk; a folder that takes no new file) leaves the old file.
    RunWithFileSizeLimit(100, [&] { EXPECT_FALSE(ReplaceFile(path, std::string(100000, 'x'))); });
    chmod(d.path().c_str(), 0555);
    RunWithoutPrivileges([&] { EXPECT_FALSE(ReplaceFile(path, "x")); });
    EXPECT_EQ(ReadFileText(path), "new contents");
    EXPECT_EQ(EntryNames(d.path()), std::set<std::string>{"f"});
}

// A whole write goes on after a partial one and says why it stopped: a file at the size limit
// takes what fits, then refuses the rest; a full device refuses it all; nothing is nothing.
TEST(FileHandle, AWholeWriteGoesOnAfterAPartAndSaysWhyItStopped) {
    TempDir d;
    const std::string path = d / "f";
    RunWithFileSizeLimit(100, [&] {
        UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
        ASSERT_TRUE(WriteAll(fd.Get(), std::string(60, 'a')));
        errno = 0;
        EXPECT_FALSE(WriteAll(fd.Get(), std::string(100, 'b')));
        EXPECT_EQ(errno, EFBIG);
        EXPECT_EQ(ReadFileText(path), std::string(60, 'a') + std::string(40, 'b'));
        UniqueFd full(open("/dev/full", O_WRONLY));
        ASSERT_GE(full.Get(), 0);
        errno = 0;
        EXPECT_FALSE(WriteAll(full.Get(), "x"));
        EXPECT_EQ(errno, ENOSPC);
        EXPECT_TRUE(WriteAll(-1, "")); // no bytes, no call
    });
}

// In a folder someone else may write to, the name itself is replaced: a link there is not
// followed out of it.
TEST(FileSystem, ReplacingANameInAFolderNeverFollowsALink) {
    TempDir d;
    const std::string outside = d.Write("outside", "someone else's");
    d.MakeDir("dest");
    ASSERT_EQ(symlink(outside.c_str(), (d / "dest/f").c_str()), 0);
    UniqueFd folder(open((d / "dest").c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_TRUE(ReplaceFileAt(folder.Get(), "f", "ours", true, 0600));
    EXPECT_EQ(ReadFileText(outside), "someone else's");
    EXPECT_EQ(ReadFileText(d / "dest/f"), "ours");
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(d / "dest/f")));
}
