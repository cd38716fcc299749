#include <gtest/gtest.h>

#include "TempDir.h"
#include "app/Settings.h"

namespace {

// Points the application-data folder and the current directory at fresh folders.
class SettingsTest : public ::testing::Test {
protected:
    TempDir appData;
    TempDir cwd;
    ScopedEnv xdg{"XDG_CONFIG_HOME", appData.path()};
    std::filesystem::path oldCwd = std::filesystem::current_path();
    void SetUp() override { std::filesystem::current_path(cwd.path()); }
    void TearDown() override { std::filesystem::current_path(oldCwd); }
    std::string AppDataFile() const { return appData / "VANDREL/KESTL/qor.ini"; }
};

void ExpectDefaults(const AppSettings& s) {
    EXPECT_EQ(s.HTMLItemNumber, 10);
    EXPECT_EQ(s.BrowserReport, 1);
    EXPECT_EQ(s.ExtractOnlyPicture, 1);
    EXPECT_EQ(s.FileRename, 0);
    EXPECT_EQ(s.RemoveFwString, 1);
    EXPECT_EQ(s.SetAttachmentDate, 1);
    EXPECT_EQ(s.AttachmentSizeLimit, 2);
}

} // namespace

TEST_F(SettingsTest, FirstRunUsesDefaultsAndSavesIntoNewFolders) {
    AppSettings s;
    LoadSettings(s);
    ExpectDefaults(s);
    EXPECT_EQ(s.LastFileFolder, "");
    SaveSettings(s);
    EXPECT_EQ(ReadFileText(AppDataFile()),
              "[Program Setup]\r\nLastHtmlReport=\r\nLastMailFolder=\r\nLastFileFolder=\r\n"
              "LastUserIdentity=\r\nKESTLMailFolderPath=\r\n\r\n"
              "[Option]\r\nHTMLItemNumber=10\r\nBrowserReport=1\r\nExtractOnlyPicture=1\r\n"
              "FileRename=0\r\nRemoveFwString=1\r\nSetAttachmentDate=1\r\n"
              "AttachmentSizeLimit=2\r\n\r\n");
}

TEST_F(SettingsTest, ZeroItemNumberBringsBackEveryDefault) {
    cwd.Write("qor.ini", "[Option]\r\nHTMLItemNumber=0\r\nFileRename=1\r\nAttachmentSizeLimit=50\r\n");
    AppSettings s;
    LoadSettings(s);
    ExpectDefaults(s);
}

TEST_F(SettingsTest, NonZeroItemNumberKeepsWhatWasReadZerosIncluded) {
    cwd.Write("qor.ini", "[Option]\r\nHTMLItemNumber=4\r\nBrowserReport=0\r\nFileRename=1\r\n"
                         "AttachmentSizeLimit=junk\r\n");
    AppSettings s;
    LoadSettings(s);
    EXPECT_EQ(s.HTMLItemNumber, 4);
    EXPECT_EQ(s.BrowserReport, 0);
    EXPECT_EQ(s.ExtractOnlyPicture, 0);
    EXPECT_EQ(s.FileRename, 1);
    EXPECT_EQ(s.AttachmentSizeLimit, 0);
}

TEST_F(SettingsTest, CurrentDirectoryCopyIsReadThenTheAppDataCopyWins) {
    cwd.Write("qor.ini", "[Program Setup]\r\nLastFileFolder=/from/cwd\r\n[Option]\r\nHTMLItemNumber=3\r\n");
    AppSettings s;
    LoadSettings(s);
    EXPECT_EQ(s.LastFileFolder, "/from/cwd");
    s.LastFileFolder = "/saved";
    SaveSettings(s);
    AppSettings again;
    LoadSettings(again);
    EXPECT_EQ(again.LastFileFolder, "/saved");
    EXPECT_EQ(again.HTMLItemNumber, 3);
    EXPECT_EQ(SettingsReadPath(), AppDataFile());
}

TEST_F(SettingsTest, StringsAreTrimmedAndNamesMatchCase) {
    cwd.Write("qor.ini", "[Program Setup]\r\nLastMailFolder=  /mail/ \t\r\nlastfilefolder=/x\r\n"
                         "KESTLMailFolderPath= /store \r\n");
    AppSettings s;
    LoadSettings(s);
    EXPECT_EQ(s.LastMailFolder, "/mail/");
    EXPECT_EQ(s.LastFileFolder, "");
    EXPECT_EQ(s.KESTLMailFolderPath, "/store");
}

TEST_F(SettingsTest, SaveTrimsPathsInMemoryAndDropsForeignEntries) {
    std::filesystem::create_directories(appData / "VANDREL/KESTL");
    appData.Write("VANDREL/KESTL/qor.ini", "[Other]\r\nkeep=no\r\n");
    AppSettings s;
    LoadSettings(s);
    s.LastFileFolder = "  /dest  ";
    s.LastUserIdentity = " Main Identity ";
    SaveSettings(s);
    EXPECT_EQ(s.LastFileFolder, "/dest");
    std::string text = ReadFileText(AppDataFile());
    EXPECT_EQ(text.find("[Other]"), std::string::npos);
    EXPECT_NE(text.find("LastFileFolder=/dest\r\n"), std::string::npos);
    EXPECT_NE(text.find("LastUserIdentity= Main Identity \r\n"), std::string::npos);
}

TEST_F(SettingsTest, UnwritableAppDataLosesNothingAndDoesNotThrow) {
    std::filesystem::create_directories(appData / "VANDREL/KESTL");
    std::string path = appData.Write("VANDREL/KESTL/qor.ini", "[Option]\r\nHTMLItemNumber=7\r\n");
    std::filesystem::permissions(appData / "VANDREL/KESTL", std::filesystem::perms::owner_read |
                                                                 std::filesystem::perms::owner_exec);
    AppSettings s;
    LoadSettings(s);
    EXPECT_EQ(s.HTMLItemNumber, 7);
    s.HTMLItemNumber = 8;
    EXPECT_NO_THROW(SaveSettings(s));
    if (geteuid() != 0) EXPECT_EQ(ReadFileText(path), "[Option]\r\nHTMLItemNumber=7\r\n");
}
