#include <gtest/gtest.h>

#include <sys/stat.h>

#include "TempDir.h"
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
