#include <gtest/gtest.h>

#include <sys/stat.h>

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
        ok = ini.Load();
    }
};

} // namespace

TEST(IniFile, MissingFileLoadsNothingAndKeepsNoError) {
    TempDir dir;
    CIniFile ini;
    ini.SetPath(dir / "missing.ini");
    EXPECT_FALSE(ini.Load());
    EXPECT_EQ(ini.GetLastError(), "");
    EXPECT_EQ(ini.GetValue("Option", "HTMLItemNumber"), "");
    EXPECT_EQ(ini.GetLastError(), "Unable to locate specified key.");
    EXPECT_EQ(ini.GetValueInt("Option", "HTMLItemNumber"), 0);
}

TEST(IniFile, UnreadableFileSetsTheOpenError) {
    // A folder where the file should be: present, but no file to read (and root can't read
    // it either, unlike a file without permissions).
    TempDir dir;
    CIniFile ini;
    ini.SetPath(dir.MakeDir("qor.ini"));
    EXPECT_FALSE(ini.Load());
    EXPECT_EQ(ini.GetLastError(), "Unable to open ini file.");
    if (geteuid() != 0) {
        std::string path = dir.Write("locked.ini", "[a]\r\nb=c\r\n");
        chmod(path.c_str(), 0);
        CIniFile locked;
        locked.SetPath(path);
        EXPECT_FALSE(locked.Load());
        EXPECT_EQ(locked.GetLastError(), "Unable to open ini file.");
    }
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
    EXPECT_EQ(l.ini.GetLastError(), "Unable to locate specified value.");
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
    std::string megabyte(1 << 20, 'y');
    Loaded l("[k]\nlong=" + longText + "\r\nafter=1\n" + megabyte + "\nlast=2\n");
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
    EXPECT_EQ(ReadFileText(dir / "out.ini"),
              "[Program Setup]\r\nLastMailFolder=C:\\Mail\r\n\r\n"
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

TEST(IniFile, FailedSaveLeavesTheOldFileWholeAndNoScratchBehind) {
    TempDir dir;
    std::string path = dir.Write("keep.ini", "[a]\r\nb=c\r\n\r\n");
    chmod(dir.path().c_str(), 0555);
    CIniFile ini;
    ini.SetPath(path);
    ini.SetValue("x", "y", "z", true);
    ini.Save();
    chmod(dir.path().c_str(), 0755);
    if (geteuid() != 0) {
        EXPECT_EQ(ReadFileText(path), "[a]\r\nb=c\r\n\r\n");
        EXPECT_FALSE(ini.GetLastError().empty());
    }
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) (void)e, ++files;
    EXPECT_EQ(files, 1);
}
