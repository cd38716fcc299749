#include <gtest/gtest.h>

#include <sys/stat.h>

#include "ChildProcess.h"
#include "TempDir.h"
#include "app/Settings.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"

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

// What the program tells the user about refused files while fn runs.
std::vector<std::string> CollectNotes(const std::function<void()>& fn) {
    std::vector<std::string> notes;
    platform::SetRefusedFileSink([&](const std::string& m) { notes.push_back(m); });
    fn();
    platform::SetRefusedFileSink(nullptr);
    return notes;
}

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
    cwd.Write("qor.ini",
              "[Option]\r\nHTMLItemNumber=0\r\nFileRename=1\r\nAttachmentSizeLimit=50\r\n");
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
    cwd.Write("qor.ini",
              "[Program Setup]\r\nLastFileFolder=/from/cwd\r\n[Option]\r\nHTMLItemNumber=3\r\n");
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

TEST_F(SettingsTest, UnwritableAppDataLosesNothingAndSaysSo) {
    std::filesystem::create_directories(appData / "VANDREL/KESTL");
    std::string path = appData.Write("VANDREL/KESTL/qor.ini", "[Option]\r\nHTMLItemNumber=7\r\n");
    std::filesystem::permissions(appData / "VANDREL/KESTL", std::filesystem::perms::owner_read |
                                                                std::filesystem::perms::owner_exec);
    RunWithoutPrivileges([&] {
        AppSettings s;
        LoadSettings(s);
        EXPECT_EQ(s.HTMLItemNumber, 7);
        s.HTMLItemNumber = 8;
        std::vector<std::string> notes = CollectNotes([&] { SaveSettings(s); });
        EXPECT_EQ(ReadFileText(path), "[Option]\r\nHTMLItemNumber=7\r\n");
        EXPECT_EQ(notes,
                  std::vector<std::string>{path + " could not be written: settings not saved"});
    });
}

// A fifo where the settings should be (the reader's table has the other kinds): the program
// starts with the defaults at once, says why (also in the error log), and leaves the fifo alone
// when it saves.
TEST_F(SettingsTest, WhatIsNotASettingsFileIsRefusedWithAMessage) {
    std::filesystem::create_directories(appData / "VANDREL/KESTL");
    const std::string path = AppDataFile();
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    TheErrorLog().OpenAt(cwd.path(), "errorlog.txt", false);
    AppSettings s;
    alarm(20);
    std::vector<std::string> notes = CollectNotes([&] { LoadSettings(s); });
    alarm(0);
    TheErrorLog().SetEnabled(false);
    ExpectDefaults(s);
    const std::string note =
        path + " is a fifo, not a file: settings not read, the defaults are in use";
    EXPECT_EQ(notes, std::vector<std::string>{note});
    EXPECT_EQ(ReadFileText(cwd / "errorlog.txt"), note + "\n"); // where a window user finds it
    notes = CollectNotes([&] { SaveSettings(s); });
    EXPECT_TRUE(std::filesystem::is_fifo(path));
    EXPECT_EQ(notes, std::vector<std::string>{path + " could not be written: settings not saved"});
}

// A path holding a line break once moved every later value into a group of its own making.
TEST_F(SettingsTest, LineBreakInAValueCannotRewriteTheFile) {
    AppSettings s;
    LoadSettings(s);
    s.HTMLItemNumber = 25;
    s.LastFileFolder = "/dest\r\n[Option]\r\nHTMLItemNumber=0\r\nAttachmentSizeLimit=900";
    s.LastUserIdentity = "Main Identity";
    SaveSettings(s);
    AppSettings again;
    LoadSettings(again);
    EXPECT_EQ(again.HTMLItemNumber, 25);
    EXPECT_EQ(again.AttachmentSizeLimit, 2);
    EXPECT_EQ(again.LastFileFolder, "");
    EXPECT_EQ(again.LastUserIdentity, "Main Identity");
}

// A settings file linked in from elsewhere stays a link, and private stays private.
TEST_F(SettingsTest, SavingKeepsALinkedFileAndItsMode) {
    std::filesystem::create_directories(appData / "VANDREL/KESTL");
    std::string target = appData.Write("dotfiles/qor.ini", "[Option]\r\nHTMLItemNumber=4\r\n");
    chmod(target.c_str(), 0600);
    ASSERT_EQ(symlink("../../dotfiles/qor.ini", AppDataFile().c_str()), 0);
    AppSettings s;
    LoadSettings(s);
    EXPECT_EQ(s.HTMLItemNumber, 4);
    s.HTMLItemNumber = 6;
    SaveSettings(s);
    EXPECT_TRUE(std::filesystem::is_symlink(AppDataFile()));
    EXPECT_NE(ReadFileText(target).find("HTMLItemNumber=6\r\n"), std::string::npos);
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}
