#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "ChildProcess.h"
#include "TempDir.h"
#include "locale/IniFile.h"

namespace {

// Loads text written to a fresh file and returns the object for inspection.
struct Loaded {
    TempDir dir;
    CIniFile ini;
    bool ok = false;
    explicit Loaded(const std::string& text) {
        ini.SetPath(dir.Write("t.ini", text));
        ok = ini.Load().IsOk();
    }
};

} // namespace

TEST(IniFile, MissingFileLoadsNothingAndKeepsNoError) {
    TempDir dir;
    CIniFile ini;
    ini.SetPath(dir / "missing.ini");
    const platform::Status loaded = ini.Load();
    EXPECT_EQ(loaded.Code(), platform::StatusCode::Missing);
    EXPECT_EQ(loaded.Reason(), "");
    EXPECT_EQ(ini.GetValue("Option", "HTMLItemNumber"), "");
    EXPECT_EQ(ini.GetValueInt("Option", "HTMLItemNumber"), 0);
}

// Nothing that is not a plain file of a sane size is opened for reading: a fifo would block
// the reader forever, a device could be read without end.
TEST(IniFile, WhatIsNotAFileToReadIsRefusedWithoutWaiting) {
    TempDir dir;
    std::string fifo = dir / "fifo.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink(fifo.c_str(), (dir / "link.ini").c_str()), 0);
    struct Case {
        std::string path;
        const char* refusal;
    } cases[] = {
        {dir.MakeDir("qor.ini"), "is a folder, not a file"},
        {fifo, "is a fifo, not a file"},
        {dir / "link.ini", "is a fifo, not a file"},
        {"/dev/zero", "is a device, not a file"},
        {dir.Write("big.ini", "[a]\r\nb=c\r\n" + std::string(CIniFile::kMaxFileSize, 'x')),
         "is larger than 1 MB"},
    };
    alarm(20); // a reader that waits fails the whole run rather than hanging it
    for (const Case& c : cases) {
        CIniFile ini;
        ini.SetPath(c.path);
        const platform::Status loaded = ini.Load();
        EXPECT_EQ(loaded.Code(), platform::StatusCode::Refused) << c.path;
        EXPECT_EQ(loaded.Reason(), c.refusal) << c.path;
        EXPECT_EQ(ini.KeyCount(), 0u) << c.path;
    }
    alarm(0);
    // A file without read permission, checked as an ordinary user (root reads anything).
    std::string locked = dir.Write("locked.ini", "[a]\r\nb=c\r\n");
    chmod(locked.c_str(), 0);
    RunWithoutPrivileges([&] {
        CIniFile ini;
        ini.SetPath(locked);
        EXPECT_FALSE(ini.Load());
    });
}

TEST(IniFile, LinesSplitAtTheFirstEqualsAndNothingIsTrimmed) {
    Loaded l("[k]\r\na=b=c\r\nempty=\r\n=x\r\n name = value \r\n");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.ini.GetValue("k", "a"), "b=c");
    EXPECT_EQ(l.ini.GetValue("k", "empty"), "");
    EXPECT_EQ(l.ini.FindValue(l.ini.FindKey("k"), "empty"), 1);
    EXPECT_EQ(l.ini.GetValue("k", ""), "x");
    EXPECT_EQ(l.ini.GetValue("k", " name "), " value ");
    EXPECT_EQ(l.ini.GetValue("k", "name"), "");
}

TEST(IniFile, HeadersLoseEveryBracketAndNamesAreCaseSensitive) {
    Loaded l("top=1\n[[a]]\nx=1\n[Option]\ny=2\n[option]\ny=3\n[Option]\nz=4\n");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.ini.GetValue("", "top"), "1");
    EXPECT_EQ(l.ini.GetValue("a", "x"), "1");
    EXPECT_EQ(l.ini.GetValue("Option", "y"), "2");
    EXPECT_EQ(l.ini.GetValue("option", "y"), "3");
    EXPECT_EQ(l.ini.GetValue("Option", "z"), "4"); // a repeated header continues its key
    EXPECT_EQ(l.ini.GetValue("Option", "Y"), "");
    EXPECT_EQ(l.ini.KeyCount(), 4u);
}

TEST(IniFile, DuplicatesKeepTheLaterTextInTheFirstPlace) {
    Loaded l("[k]\na=1\nb=2\na=3\n");
    EXPECT_EQ(l.ini.GetValue("k", "a"), "3");
    EXPECT_EQ(l.ini.FindValue(0, "a"), 0);
    // Loading again changes nothing.
    EXPECT_TRUE(l.ini.Load());
    EXPECT_EQ(l.ini.ValueCount(0), 2u);
    EXPECT_EQ(l.ini.GetValue("k", "a"), "3");
}

TEST(IniFile, BlankLinesAloneLoadAsEmpty) {
    Loaded l("\r\n\r\n\n");
    EXPECT_TRUE(l.ok);
    EXPECT_EQ(l.ini.KeyCount(), 0u);
}

TEST(IniFile, LongLinesAreCutWithoutLosingTheRestOfTheFile) {
    std::string longText(5000, 'x');
    std::string longLine(200000, 'y');
    Loaded l("[k]\nlong=" + longText + "\r\nafter=1\n" + longLine + "\nlast=2\n");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.ini.GetValue("k", "long").size(), CIniFile::kMaxLine - 5);
    EXPECT_EQ(l.ini.GetValue("k", "after"), "1");
    EXPECT_EQ(l.ini.GetValue("k", "last"), "2");
}

TEST(IniFile, GarbageAndBinaryBytesDoNotStopTheReader) {
    std::string junk("\x00\x01\xff\xfe[\x00]\n", 8);
    Loaded l("[k]\n" + junk + "no equals here\n" + std::string("a\0b=c\n", 6) + "good=yes\n");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.ini.GetValue("k", "good"), "yes");
}

TEST(IniFile, NumbersConvertAsTheCLibraryDoes) {
    Loaded l("[n]\na=12abc\nb= -7\nc=abc\nd=+3\ne=99999999999\n");
    EXPECT_EQ(l.ini.GetValueInt("n", "a"), 12);
    EXPECT_EQ(l.ini.GetValueInt("n", "b"), -7);
    EXPECT_EQ(l.ini.GetValueInt("n", "c"), 0);
    EXPECT_EQ(l.ini.GetValueInt("n", "d"), 3);
    EXPECT_EQ(l.ini.GetValueInt("n", "e"), 2147483647);
}

// What would not come back from the file as it went in is refused, never written: a line
// break would start a line of its own (an injected "[Option]" header moves every later value
// into another key).
TEST(IniFile, ValuesTheFileCannotHoldAreRefused) {
    struct Case {
        const char *key, *name, *text;
    } refused[] = {
        {"Program Setup", "LastFileFolder", "/a\r\n[Option]\r\nHTMLItemNumber=99"},
        {"Program Setup", "LastFileFolder", "/a\rb"},
        {"Program Setup", "Last\nFolder", "x"},
        {"Program Setup", "a=b", "x"},
        {"Program Setup", "[x", "y]"},
        {"Option\n[Other]", "a", "b"},
        {"[Option", "a", "b"},
    };
    TempDir dir;
    for (const Case& c : refused) {
        CIniFile ini;
        ini.SetPath(dir / "out.ini");
        EXPECT_FALSE(ini.SetValue(c.key, c.name, c.text, true)) << c.key << "/" << c.name;
        EXPECT_EQ(ini.KeyCount(), 0u);
        EXPECT_TRUE(ini.SetValue("Option", "HTMLItemNumber", "10", true));
        ini.Save();
        EXPECT_EQ(ReadFileText(dir / "out.ini"), "[Option]\r\nHTMLItemNumber=10\r\n\r\n");
    }
    // Brackets and "=" where they do no harm are kept.
    CIniFile ini;
    EXPECT_TRUE(ini.SetValue("a]b", "[x", "y", true));
    EXPECT_TRUE(ini.SetValue("k", "n", "=[v]", true));
}

TEST(IniFile, SetWithoutCreateChangesNothing) {
    CIniFile ini;
    EXPECT_FALSE(ini.SetValue("k", "v", "t", false));
    EXPECT_TRUE(ini.SetValue("k", "v", "t", true));
    EXPECT_FALSE(ini.SetValue("k", "w", "t", false));
    EXPECT_TRUE(ini.SetValue("k", "v", "u", false));
    EXPECT_EQ(ini.GetValue("k", "v"), "u");
    EXPECT_EQ(ini.FindValue(-1, "v"), -1);
}

TEST(IniFile, SaveWritesKeysInCreationOrderWithCrLfAndSkipsEmptyKeys) {
    TempDir dir;
    CIniFile ini;
    ini.SetPath(dir / "out.ini");
    ini.SetValue("Program Setup", "LastMailFolder", "C:\\Mail", true);
    ini.SetValueInt("Option", "FileRename", 1, true);
    ini.SetValueInt("Option", "Negative", -5, true);
    ini.SetValue("Empty", "gone", "x", true);
    ini.Save();
    EXPECT_EQ(ReadFileText(dir / "out.ini"), "[Program Setup]\r\nLastMailFolder=C:\\Mail\r\n\r\n"
                                             "[Option]\r\nFileRename=1\r\nNegative=-5\r\n\r\n"
                                             "[Empty]\r\ngone=x\r\n\r\n");

    CIniFile keyOnly;
    keyOnly.SetPath(dir / "keyonly.ini");
    keyOnly.SetValue("k", "v", "t", true);
    keyOnly.Save();
    CIniFile reread;
    reread.SetPath(dir / "keyonly.ini");
    ASSERT_TRUE(reread.Load());
    EXPECT_EQ(reread.GetValue("k", "v"), "t");
}

// Saving replaces the file at once. Each fault here binds root too, or runs as an ordinary
// user: the old file stays whole, no scratch file is left, and the failure is said.
TEST(IniFile, FailedSaveLeavesTheOldFileWholeAndNoScratchBehind) {
    const std::string old = "[a]\r\nb=c\r\n\r\n";
    auto expectUntouched = [&](const TempDir& dir, const std::string& path) {
        EXPECT_EQ(ReadFileText(path), old);
        int files = 0;
        for (auto& e : std::filesystem::directory_iterator(dir.path()))
            (void)e, ++files;
        EXPECT_EQ(files, 1) << "a scratch file was left in " << dir.path();
    };
    auto saveFails = [&](const std::string& path) {
        CIniFile ini;
        ini.SetPath(path);
        ini.SetValue("x", "y", std::string(4096, 'z'), true);
        const platform::Status saved = ini.Save();
        EXPECT_EQ(saved.Code(), platform::StatusCode::Refused);
        EXPECT_EQ(saved.Reason(), "could not be written");
    };
    { // The disk is full (the writer may not grow a file past 100 bytes).
        TempDir dir;
        std::string path = dir.Write("keep.ini", old);
        RunInChild([&] {
            signal(SIGXFSZ, SIG_IGN);
            rlimit small{100, 100};
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
            saveFails(path);
        });
        expectUntouched(dir, path);
    }
    { // The folder takes no new file.
        TempDir dir;
        std::string path = dir.Write("keep.ini", old);
        chmod(dir.path().c_str(), 0555);
        RunWithoutPrivileges([&] { saveFails(path); });
        expectUntouched(dir, path);
    }
    { // The rename fails: a shared sticky folder, the file belongs to someone else.
        TempDir dir;
        std::string path = dir.Write("keep.ini", old);
        chmod(path.c_str(), 0666);
        if (geteuid() == 0) { // "nobody" owns the folder and the file
            ASSERT_EQ(chown(dir.path().c_str(), 65534, 65534), 0);
            ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
            chmod(dir.path().c_str(), 01777);
            RunWithoutPrivileges([&] { saveFails(path); });
            expectUntouched(dir, path);
        }
    }
}
