// The wizard's folder run end to end: .dbx files made by the test writer, the real extractor
// component, real files in a scratch destination.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

#include "DbxWriter.h"
#include "MailFixtures.h"
#include "ScriptedProgress.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/Settings.h"
#include "engine/ExtractorClient.h"
#include "engine/WizardRun.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "store/sources/DbxFileSource.h"

namespace {

constexpr std::time_t kStart = 1000000000; // 2001-09-09

DbxTestMessage Mail(const std::string& subject, std::time_t when,
                    const std::vector<FixtureAttachment>& files) {
    DbxTestMessage m;
    m.subject = subject;
    m.sender = "ann@example.org";
    m.senderName = "Ann";
    m.date = FileTimeFromUnix(when);
    m.text = MakeMessage(subject, "Ann <ann@example.org>", "", files);
    return m;
}

class WizardRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        TheErrorLog().OpenAt(m_root.path(), "errorlog.txt", false);
        TheErrorLog().SetEnabled(true);
        ASSERT_TRUE(m_client.Create(&m_ui)) << "the extractor component must be built";
        m_request.Destination = m_root.MakeDir("dest");
        m_request.StartTime = kStart;
        m_request.EndTime = kStart + 1000;
        m_settings.HTMLItemNumber = 10;
        m_settings.SetAttachmentDate = 1;
        m_settings.AttachmentSizeLimit = 0;
    }
    std::string Store(const std::string& name, const std::vector<DbxTestMessage>& mails,
                      const DbxWriterOptions& o = {}) {
        std::string path = m_root / (name + ".dbx");
        EXPECT_TRUE(WriteBytes(path, BuildDbxMessageFile(mails, o)));
        return path;
    }
    int Run(const std::string& dir, const std::string& file) {
        WizardContext context{m_client, m_progress, m_ui, m_settings};
        return ExtractWizardFolder(m_request, dir, file, context);
    }
    std::string D(const std::string& rel) const { return m_request.Destination + "/Inbox/" + rel; }

    ScopedEnv m_registry{"KESTREL_CLASS_REGISTRY", KESTREL_OUTPUT_DIR "/kestrel-classes.reg"};
    TempDir m_root;
    ScriptedMessageBox m_ui;
    CScriptedProgress m_progress;
    CExtractorClient m_client;
    AppSettings m_settings;
    WizardRequest m_request;
};

TEST_F(WizardRunTest, TakesMailsInsideThePeriodAndKeepsPicturesOnly) {
    std::string file =
        Store("Inbox", {
                           Mail("Before", kStart - 1, {{"early.jpg", kJpeg, "image/jpeg"}}),
                           Mail("Fw: Fwd: At start", kStart,
                                {{"a.jpg", kJpeg, "image/jpeg"},
                                 {"b.pdf", "pdf", "application/pdf"},
                                 {"noext", "data"},
                                 {"d.JPG", kJpeg, "image/jpeg"},
                                 {"photo.jpeg.txt", "x", "text/plain"}}),
                           Mail("At end", kStart + 1000, {{"late.jpg", kJpeg, "image/jpeg"}}),
                       });
    m_settings.RemoveFwString = 1;
    m_root.MakeDir("dest/Inbox");
    m_root.Write("dest/Inbox/kestl1.tmp", "the user's"); // the sweep spares what was there
    m_root.Write("dest/Inbox/b.pdf", "pdf");             // and so does the type filter
    ScopedEnv zone("TZ", "Europe/Berlin");
    tzset();
    const int result = Run("Inbox", file);
    unsetenv("TZ");
    tzset();
    ASSERT_EQ(result, 0);

    EXPECT_TRUE(platform::FileExists(D("a.jpg")));
    EXPECT_TRUE(platform::FileExists(D("d.JPG")));
    EXPECT_TRUE(platform::FileExists(D("noext"))); // the empty extension is in the list
    EXPECT_EQ(ReadFileText(D("b.pdf")), "pdf");
    EXPECT_FALSE(platform::FileExists(D("b (1).pdf")));
    EXPECT_EQ(ReadFileText(D("kestl1.tmp")), "the user's");
    EXPECT_FALSE(platform::FileExists(D("photo.jpeg.txt")));
    EXPECT_FALSE(platform::FileExists(D("early.jpg")));
    EXPECT_FALSE(platform::FileExists(D("late.jpg")));
    struct stat st {};
    ASSERT_EQ(stat(D("a.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, kStart);

    std::string page = ReadFileText(D("report/report_page1.htm"));
    EXPECT_NE(page.find(">At start</td>"), std::string::npos); // both forward prefixes go
    // 1000000000 on a Berlin clock, summer time (CEST).
    EXPECT_NE(page.find(">2001/09/09 03:46:40</td>"), std::string::npos) << page;
    EXPECT_NE(page.find("<img src=\"..\\a.jpg\""), std::string::npos);
    EXPECT_EQ(page.find("Before"), std::string::npos);
    EXPECT_NE(ReadFileText(D("report/report_left.htm")).find("Page 1</a>"), std::string::npos);
    EXPECT_TRUE(platform::FileExists(D("report.htm")));
    // One mail fell inside the period, so one step; the temporary copies are gone.
    EXPECT_EQ(m_progress.GetPos(), 1);
    EXPECT_EQ(std::count(m_progress.Calls.begin(), m_progress.Calls.end(), "Close"), 1);
    EXPECT_EQ(m_progress.TitleLines.front(), "Current Folder: Inbox(1/3)");
    EXPECT_FALSE(platform::FileExists(D("process")));
    EXPECT_EQ(m_settings.LastFileFolder, m_request.Destination);
    EXPECT_EQ(m_settings.LastHtmlReport, m_request.Destination + "/report.htm");
    EXPECT_TRUE(m_ui.shown.empty());
}

TEST_F(WizardRunTest, PagesAreWrittenAsTheyFill) {
    std::vector<DbxTestMessage> mails;
    for (int i = 0; i < 4; ++i)
        mails.push_back(Mail("Mail " + std::to_string(i), kStart + i,
                             {{"p" + std::to_string(i) + ".gif", "GIF89a", "image/gif"}}));
    m_settings.HTMLItemNumber = 2;
    m_request.FileTypeChoice = 2;
    ASSERT_EQ(Run("Inbox", Store("Inbox", mails)), 0);
    std::string page2 = ReadFileText(D("report/report_page2.htm"));
    EXPECT_NE(page2.find("Next Page"), std::string::npos); // written inside the loop: not last
    EXPECT_FALSE(platform::FileExists(D("report/report_page3.htm")));
    std::string index = ReadFileText(D("report/report_left.htm"));
    EXPECT_NE(index.find("Page 2</a>"), std::string::npos);
    EXPECT_EQ(index.find("Page 3</a>"), std::string::npos);
}

TEST_F(WizardRunTest, NoMailInThePeriodWritesAnEmptyIndexAndNoPage) {
    // What a killed run left goes; a file of the user's stays.
    m_root.Write("dest/Inbox/process/TAKa1B2c3", "a message's copy");
    m_root.Write("dest/Inbox/.kestrel-partial-x1y2", "half an attachment");
    m_root.Write("dest/Inbox/TAK notes.txt", "the user's");
    ASSERT_EQ(
        Run("Inbox", Store("Inbox", {Mail("Old", kStart - 100, {{"a.jpg", kJpeg, "image/jpeg"}})})),
        0);
    EXPECT_FALSE(platform::FileExists(D("report/report_page1.htm")));
    EXPECT_EQ(ReadFileText(D("report/report_left.htm")).find("Page 1"), std::string::npos);
    EXPECT_TRUE(platform::FileExists(D("report.htm"))); // the top report links to it
    EXPECT_FALSE(platform::FileExists(D("process")));
    EXPECT_FALSE(platform::FileExists(D(".kestrel-partial-x1y2")));
    EXPECT_TRUE(platform::FileExists(D("TAK notes.txt")));
}

TEST_F(WizardRunTest, FoldersThatCannotRunAreSkipped) {
    EXPECT_EQ(Run("Inbox", m_root / "missing.dbx"), 0);
    m_root.Write("junk.dbx", "junk");
    EXPECT_EQ(Run("Inbox", m_root / "junk.dbx"), 0);
    EXPECT_TRUE(m_ui.shown.empty());
    EXPECT_FALSE(platform::FileExists(D("report.htm")));
    DbxTestMessage noText = Mail("No text", kStart, {});
    noText.withTextPosition = false;
    EXPECT_EQ(Run("Inbox", Store("Inbox", {noText})), 0); // counts as an empty message
    EXPECT_TRUE(m_ui.shown.empty());

    // A link in place of the folder's directory, or of its process/ folder, leads nowhere.
    const std::string outside = m_root.MakeDir("outside");
    const std::string mails = Store("Mails", {Mail("One", kStart, {{"a.jpg", kJpeg, "image/jpeg"}})});
    for (const std::string& link : {m_request.Destination + "/Inbox", D("process")}) {
        SCOPED_TRACE(link);
        std::filesystem::remove_all(m_request.Destination + "/Inbox");
        if (link == D("process")) m_root.MakeDir("dest/Inbox");
        ASSERT_EQ(symlink(outside.c_str(), link.c_str()), 0);
        EXPECT_EQ(Run("Inbox", mails), 0);
        EXPECT_TRUE(std::filesystem::is_empty(outside));
        EXPECT_FALSE(platform::FileExists(D("a.jpg")));
    }
    EXPECT_TRUE(m_ui.shown.empty());
}

TEST_F(WizardRunTest, TopReportThenEachFolderUntilOneFails) {
    DbxWriterOptions broken;
    broken.chainLoopMessage = 0;
    WizardFolderList folders = {
        {"Inbox", Store("a", {Mail("One", kStart, {{"a.jpg", kJpeg, "image/jpeg"}})})},
        {"No file", ""},
        {"   ", Store("blank", {Mail("Blank", kStart, {{"b.jpg", kJpeg, "image/jpeg"}})})},
        {"50% #1?", Store("odd", {Mail("Odd", kStart, {})})},
        {std::string(300, 'n'), Store("long", {Mail("Long", kStart, {{"c.jpg", kJpeg, "image/jpeg"}})})},
        {"Sent <R&D>", Store("b", {Mail("Two", kStart, {})}, broken)},
        {"Later", Store("c", {Mail("Three", kStart, {})})}};
    WizardContext context{m_client, m_progress, m_ui, m_settings};
    EXPECT_EQ(RunWizardExtraction(m_request, folders, context), 0);
    // Every chosen folder is linked from the start, the one that stopped the run and the one
    // never reached too; only the one without a file is not.
    EXPECT_EQ(ReadFileText(m_request.Destination + "/report.htm"), BuildWizardTopReport(folders));
    EXPECT_TRUE(platform::FileExists(D("report.htm")));
    EXPECT_EQ(m_ui.LastText(), "Extract eMail Error");
    EXPECT_FALSE(platform::FileExists(m_request.Destination + "/Later"));
    // Each folder counts its own messages: the stopped one had done none of its one.
    EXPECT_EQ(m_progress.GetPos(), 0);
    EXPECT_EQ(m_progress.GetUpper(), 1);

    std::string top = BuildWizardTopReport(folders);
    EXPECT_NE(top.find("<B>Select Can't Find Windows Live Mail Folder</B><P>\n<hr>"),
              std::string::npos);
    EXPECT_NE(
        top.find("<i><a href=\".\\Inbox\\report.htm\" target=\"newFrame\">Inbox</a></i><br>\n"),
        std::string::npos);
    EXPECT_NE(top.find("<a href=\".\\Sent-(R&amp;D)\\report.htm\" target=\"newFrame\">Sent "
                       "&lt;R&amp;D&gt;</a>"),
              std::string::npos);
    EXPECT_EQ(top.find("No file"), std::string::npos);
    // Links reach the folders whatever they are called; a blank name gets one of its own.
    EXPECT_NE(top.find("<a href=\".\\_\\report.htm\""), std::string::npos) << top;
    EXPECT_TRUE(platform::FileExists(m_request.Destination + "/_/b.jpg"));
    // A name too long for a directory gets a shorter one.
    EXPECT_TRUE(platform::FileExists(m_request.Destination + "/" + std::string(200, 'n') + "/c.jpg"));
    EXPECT_NE(top.find("<a href=\".\\50%25-%231-\\report.htm\""), std::string::npos) << top;
}

// The inboxes of several accounts: each its own directory and its own link, the first keeping
// the name.
TEST_F(WizardRunTest, FoldersOfTheSameNameGetADirectoryAndALinkEach) {
    WizardFolderList folders = {
        {"Inbox", Store("a", {Mail("One", kStart, {{"one.jpg", kJpeg, "image/jpeg"}})})},
        {"Inbox", Store("b", {Mail("Two", kStart, {{"two.jpg", kJpeg, "image/jpeg"}})})},
        {"Inbox", ""},
        {"INBOX", Store("c", {Mail("Three", kStart, {{"three.jpg", kJpeg, "image/jpeg"}})})},
        // Names too long for a directory, the same in the part a directory keeps.
        {std::string(300, 'x'), Store("d", {Mail("Four", kStart, {{"four.jpg", kJpeg, "image/jpeg"}})})},
        {std::string(300, 'x'), Store("e", {Mail("Five", kStart, {{"five.jpg", kJpeg, "image/jpeg"}})})}};
    WizardContext context{m_client, m_progress, m_ui, m_settings};
    EXPECT_EQ(RunWizardExtraction(m_request, folders, context), 0);
    const std::string& dest = m_request.Destination;
    EXPECT_TRUE(platform::FileExists(dest + "/Inbox/one.jpg"));
    EXPECT_TRUE(platform::FileExists(dest + "/Inbox-(2)/two.jpg"));
    EXPECT_TRUE(platform::FileExists(dest + "/INBOX-(3)/three.jpg"));
    EXPECT_TRUE(platform::FileExists(dest + "/" + std::string(200, 'x') + "/four.jpg"));
    EXPECT_TRUE(platform::FileExists(dest + "/" + std::string(184, 'x') + "-(2)/five.jpg"));
    const std::string top = ReadFileText(dest + "/report.htm");
    for (const char* link : {"\\Inbox\\report.htm\" target=\"newFrame\">Inbox<",
                             "\\Inbox-(2)\\report.htm\" target=\"newFrame\">Inbox (2)<",
                             "\\INBOX-(3)\\report.htm\" target=\"newFrame\">INBOX (3)<"})
        EXPECT_NE(top.find(link), std::string::npos) << link << "\n" << top;
}

TEST_F(WizardRunTest, CancelAfterAReportedMailStopsTheRun) {
    std::vector<DbxTestMessage> mails;
    for (int i = 0; i < 3; ++i)
        mails.push_back(Mail("Mail " + std::to_string(i), kStart,
                             {{"p" + std::to_string(i) + ".gif", "GIF89a", "image/gif"}}));
    CScriptedProgress cancelling(1);
    WizardContext context{m_client, cancelling, m_ui, m_settings};
    EXPECT_EQ(ExtractWizardFolder(m_request, "Inbox", Store("Inbox", mails), context), -1);
    ASSERT_FALSE(m_ui.shown.empty());
    EXPECT_EQ(m_ui.LastText(), "Progress Cancelled");
    EXPECT_TRUE(platform::FileExists(D("p2.gif")));
    EXPECT_FALSE(platform::FileExists(D("p1.gif")));
    EXPECT_EQ(std::count(cancelling.Calls.begin(), cancelling.Calls.end(), "Close"), 1);
    EXPECT_FALSE(platform::FileExists(D("report.htm"))); // the folder's report is not finished
}

TEST(WizardRules, ThumbnailsAreJpegAndGifOnly) {
    for (const char* yes : {"a.jpg", "b.JPEG", "photo.jpeg.txt", "c.gif"})
        EXPECT_TRUE(IsWizardThumbnailName(yes)) << yes;
    for (const char* no : {"a.png", "b.bmp", "jpg", "c.jp"})
        EXPECT_FALSE(IsWizardThumbnailName(no)) << no;
}

TEST(WizardRules, FileTimesBecomeWholeSeconds) {
    EXPECT_EQ(FileTimeToTime(FileTimeFromUnix(kStart)), kStart);
    EXPECT_EQ(FileTimeToTime(FileTimeFromUnix(kStart) + 9999999), kStart);
    EXPECT_EQ(FileTimeToTime(0), -11644473600LL);
}

} // namespace

// The same mails as .eml files and in a .dbx file give the same folder: names (clashes
// numbered in the same order), bytes, times and report pages, with the messages inside the
// period read ahead from the .eml folder and every third mail outside it.
TEST_F(WizardRunTest, AnEmlFolderGivesWhatItsDbxFileGives) {
    std::vector<DbxTestMessage> mails;
    m_root.MakeDir("emls");
    for (int i = 0; i < 12; ++i) {
        const std::time_t when = i % 3 == 1 ? kStart + 5000 : kStart + i;
        const std::vector<FixtureAttachment> files = {
            {"photo.jpg", kJpeg + std::to_string(i % 4), "image/jpeg"}};
        mails.push_back(Mail("Mail " + std::to_string(i), when, files));
        std::tm tm{};
        gmtime_r(&when, &tm);
        char date[64], name[16];
        std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S +0000", &tm);
        std::snprintf(name, sizeof name, "m%02d.eml", i);
        m_root.Write(
            std::string("emls/") + name,
            MakeMessage("Mail " + std::to_string(i), "Ann <ann@example.org>", date, files));
    }
    m_settings.HTMLItemNumber = 3;
    ASSERT_EQ(Run("Inbox", Store("Inbox", mails)), 0);
    const std::string fromDbx = D("");
    m_request.Destination = m_root.MakeDir("dest2");
    ASSERT_EQ(Run("Inbox", m_root / "emls"), 0);
    const std::string fromEml = D("");

    std::set<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(fromDbx))
        names.insert(std::filesystem::relative(e.path(), fromDbx).string());
    std::set<std::string> emlNames;
    for (const auto& e : std::filesystem::recursive_directory_iterator(fromEml))
        emlNames.insert(std::filesystem::relative(e.path(), fromEml).string());
    ASSERT_EQ(emlNames, names);
    EXPECT_TRUE(names.count("photo (3).jpg"));
    EXPECT_FALSE(names.count("photo (4).jpg")); // eight mails, four kinds of bytes
    for (const std::string& name : names) {
        // The record of what was done names each mailbox by its own keys.
        if (std::filesystem::is_directory(fromDbx + name) || name == "report/done.txt") continue;
        EXPECT_EQ(ReadFileText(fromEml + name), ReadFileText(fromDbx + name)) << name;
        struct stat a {
        }, b{};
        ASSERT_EQ(stat((fromDbx + name).c_str(), &a), 0);
        ASSERT_EQ(stat((fromEml + name).c_str(), &b), 0);
        if (name.find("report") == std::string::npos) {
            EXPECT_EQ(b.st_mtime, a.st_mtime) << name;
        }
    }
    EXPECT_NE(ReadFileText(fromEml + "report/report_page3.htm").find("Mail 0"), std::string::npos);
}
