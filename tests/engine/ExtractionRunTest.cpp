// The extraction run end to end: real message files, the real extractor component through its
// client, real files in a scratch destination.
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "MailFixtures.h"
#include "ScriptedProgress.h"
#include "ScriptedUi.h"
#include "ChildProcess.h"
#include "TempDir.h"
#include "app/Settings.h"
#include "engine/ExtractionRun.h"
#include "engine/ExtractorClient.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/UserInterface.h"

namespace {

struct CountingView : IDestinationView {
    int refreshes = 0;
    void RefreshFileList() override { ++refreshes; }
};


class ExtractionRunTest : public testing::Test {
protected:
    void SetUp() override {
        m_ui.defaultAnswer = true;
        TheErrorLog().OpenAt(m_root.path(), "errorlog.txt", false);
        TheErrorLog().SetEnabled(true);
        ASSERT_TRUE(m_client.Create(&m_ui)) << "the extractor component must be built";
        m_mail = m_root.MakeDir("mail/Inbox");
        m_dest = m_root.MakeDir("dest");
        m_options.Destination = m_dest;
        m_options.PicturesOnly = 0;
        m_options.ShowReport = 1;
        m_settings.HTMLItemNumber = 10;
        m_settings.SetAttachmentDate = 1;
    }

    void AddMessage(const std::string& file, const std::string& subject,
                    const std::vector<FixtureAttachment>& files,
                    const std::string& date = "Tue, 15 Nov 1994 08:12:31 +0000") {
        m_root.Write("mail/Inbox/" + file,
                     MakeMessage(subject, "Ann <ann@example.org>", date, files));
    }

    int Run(CProgressWindow& progress, const std::string& folderName = "Inbox") {
        ExtractionContext context{m_client, progress, m_ui, m_shell, m_settings, &m_view};
        return RunExtraction(m_mail + "/", m_options, folderName, context);
    }
    int Run() { return Run(m_progress); }

    std::string Dest(const std::string& rel) const { return m_dest + "/" + rel; }
    std::string Page(int n) const {
        return ReadFileText(Dest("report/report_page" + std::to_string(n) + ".htm"));
    }

    ScopedEnv m_registry{"KESTREL_CLASS_REGISTRY", KESTREL_OUTPUT_DIR "/kestrel-classes.reg"};
    TempDir m_root;
    std::string m_mail, m_dest;
    ScriptedMessageBox m_ui;
    RecordingShell m_shell;
    CountingView m_view;
    CScriptedProgress m_progress;
    CExtractorClient m_client;
    AppSettings m_settings;
    ExtractionOptions m_options;
};

TEST_F(ExtractionRunTest, MessagesLastToFirstPicturesOnlyDatedAndReported) {
    AddMessage("a.eml", "Alpha", {{"a1.jpg", kJpeg, "image/jpeg"}},
               "Tue, 12 Jul 1994 08:12:31 +0000");
    AddMessage("b.eml", "Beta", {});
    AddMessage("c.eml", "Hi",
               {{"c.jpg", kJpeg, "image/jpeg"}, {"c.txt", "some text", "text/plain"}});
    m_options.PicturesOnly = 1;
    ScopedEnv zone("TZ", "Europe/Berlin");
    tzset();
    const int result = Run();
    unsetenv("TZ");
    tzset();
    ASSERT_EQ(result, 0);

    EXPECT_EQ(m_progress.TitleLines,
              (std::vector<std::string>{"Current Folder: Inbox(1/3)", "Current Folder: Inbox(2/3)",
                                        "Current Folder: Inbox(3/3)"}));
    EXPECT_EQ(m_progress.StatusLines, (std::vector<std::string>{"Hi", "Extracting...c.jpg", "Beta",
                                                                "Alpha", "Extracting...a1.jpg"}));
    EXPECT_EQ(m_progress.Calls.front(), "Open Progress");
    ASSERT_FALSE(m_progress.Calls.empty());
    EXPECT_EQ(m_progress.Calls.back(), "Close");
    EXPECT_EQ(m_progress.GetPos(), 3);

    struct stat st {};
    ASSERT_EQ(stat(Dest("c.jpg").c_str(), &st), 0);
    // 15 Nov 1994 08:12:31 on a Berlin clock (CET).
    EXPECT_EQ(st.st_mtime, 784883551);
    EXPECT_EQ(st.st_atime, 784883551);
    // 12 Jul 1994 08:12:31 on a Berlin clock in summer time (CEST).
    ASSERT_EQ(stat(Dest("a1.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 773993551);
    EXPECT_EQ(ReadFileText(Dest("c.jpg")), kJpeg);
    EXPECT_FALSE(platform::FileExists(Dest("c.txt")));

    // Two reported messages (Beta has no file), c first; one thumbnail each.
    std::string page = Page(1);
    EXPECT_NE(page.find("Page:1  <hr>"), std::string::npos);
    size_t hi = page.find(">Hi</td>"), alpha = page.find(">Alpha</td>");
    ASSERT_NE(hi, std::string::npos);
    ASSERT_NE(alpha, std::string::npos);
    EXPECT_LT(hi, alpha);
    EXPECT_EQ(page.find("Beta"), std::string::npos);
    EXPECT_NE(page.find("<a href=\"..\\c.jpg\"><img src=\"..\\c.jpg\" width=\"100\" height=\"100\" "
                        "bolder=\"0\" ></a>"),
              std::string::npos);
    EXPECT_EQ(page.find("c.txt"), std::string::npos);
    EXPECT_NE(ReadFileText(Dest("report/report_left.htm")).find("Page 1</a>"), std::string::npos);
    EXPECT_TRUE(platform::FileExists(Dest("report.htm")));
    EXPECT_FALSE(platform::FileExists(Dest("process"))); // emptied, so removed

    EXPECT_EQ(m_settings.LastFileFolder, m_dest);
    EXPECT_EQ(m_settings.LastHtmlReport, Dest("report.htm"));
    EXPECT_EQ(m_shell.opened, (std::vector<std::string>{Dest("report.htm")}));
    EXPECT_TRUE(m_ui.Messages().empty());
}

TEST_F(ExtractionRunTest, Paging) {
    struct Case {
        int perPage, messages;
        std::vector<int> pages; // pages written
        int lastPage;           // the page marked last, 0 when none
        int indexPages;
    } cases[] = {
        {2, 3, {1, 2}, 2, 2},
        {2, 4, {1, 2}, 0, 2},
        {0, 2, {1, 2}, 0, 2}, // 0 counts as 1
        {10, 1, {1}, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.perPage << " per page, " << c.messages << " messages");
        std::filesystem::remove_all(m_dest);
        std::filesystem::remove_all(m_mail);
        std::filesystem::create_directories(m_dest);
        std::filesystem::create_directories(m_mail);
        for (int i = 0; i < c.messages; ++i)
            AddMessage("m" + std::to_string(i) + ".eml", "S" + std::to_string(i),
                       {{"f.bin", "data"}});
        m_settings.HTMLItemNumber = c.perPage;
        CScriptedProgress progress;
        CountingView view;
        ExtractionContext context{m_client, progress, m_ui, m_shell, m_settings, &view};
        ASSERT_EQ(RunExtraction(m_mail + "/", m_options, "Inbox", context), 0);
        for (int n = 1; n <= 3; ++n) {
            bool expected = std::find(c.pages.begin(), c.pages.end(), n) != c.pages.end();
            EXPECT_EQ(platform::FileExists(Dest("report/report_page" + std::to_string(n) + ".htm")),
                      expected)
                << n;
        }
        for (int n : c.pages) {
            bool hasNext = Page(n).find("Next Page") != std::string::npos;
            EXPECT_EQ(hasNext, n != c.lastPage) << "page " << n;
        }
        std::string index = ReadFileText(Dest("report/report_left.htm"));
        EXPECT_NE(index.find("Page " + std::to_string(c.indexPages) + "</a>"), std::string::npos);
        EXPECT_EQ(index.find("Page " + std::to_string(c.indexPages + 1) + "</a>"),
                  std::string::npos);
        int perPage = std::max(1, c.perPage);
        EXPECT_EQ(view.refreshes, c.messages / perPage);
    }
}

TEST_F(ExtractionRunTest, SubjectsAsTheReportShowsThem) {
    struct Case {
        std::string subject;
        int removeFw, condition;
        std::string keyword;
        std::string shown; // empty: the message is left out
    } cases[] = {
        {"  FW: Fwd: photos", 1, 0, "", "photos"},
        {"Fwiw", 1, 0, "", "iw"},
        {"FW: x", 0, 0, "", "FW: x"},
        {"", 0, 0, "", "No Title"},
        {"My PHOTOS", 0, 1, "Photo ", "My PHOTOS"},
        {"My PHOTOS", 0, 2, "Photo ", ""},
        {"Other", 0, 1, "photo", ""},
        {"Other", 0, 2, "photo", "Other"},
        {"ÜBERWEISUNG März", 0, 1, "überweisung", "ÜBERWEISUNG März"},
        {"Straße", 0, 2, "STRASSE", ""},
        {"<script>alert(1)</script>", 0, 0, "", "&lt;script&gt;alert(1)&lt;/script&gt;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.subject);
        std::filesystem::remove_all(m_dest);
        std::filesystem::remove_all(m_mail);
        std::filesystem::create_directories(m_dest);
        AddMessage("m.eml", c.subject, {{"f.bin", "data"}});
        m_settings.RemoveFwString = c.removeFw;
        m_options.Condition = c.condition;
        m_options.ConditionKeyword = c.keyword;
        CScriptedProgress progress;
        ASSERT_EQ(Run(progress), 0);
        if (c.shown.empty()) {
            // A dropped mail leaves nothing behind: no file, no report.
            EXPECT_TRUE(std::filesystem::is_empty(m_dest));
            EXPECT_EQ(progress.Pumps, 0) << "a filtered message is not a step";
        } else {
            EXPECT_NE(Page(1).find("bgcolor=\"#FFFF99\" >" + c.shown + "</td>"), std::string::npos)
                << Page(1);
            EXPECT_EQ(Page(1).find("<script>"), std::string::npos);
        }
    }
}

TEST_F(ExtractionRunTest, SizeLimitAndSubDirectory) {
    AddMessage("m.eml", "Sizes",
               {{"small.jpg", "tiny", "image/jpeg"},
                {"big.jpg", kJpeg, "image/jpeg"},
                {"a b#1.pdf", "%PDF", "application/pdf"}});
    AddMessage("n.eml", "Only small", {{"small2.jpg", "tiny", "image/jpeg"}});
    // The limit is 1 KB: a file of exactly that size stays, one byte less goes.
    AddMessage("o.eml", "At the limit",
               {{"at.jpg", std::string(1024, 'a'), "image/jpeg"},
                {"under.jpg", std::string(1023, 'u'), "image/jpeg"}});
    m_settings.AttachmentSizeLimit = 1;
    m_options.NoSubDirectory = 0;
    m_options.FolderNameSubDirectory = 1;
    ASSERT_EQ(Run(m_progress, "In.box "), 0);
    EXPECT_TRUE(platform::FileExists(Dest("In-box/big.jpg")));
    EXPECT_FALSE(platform::FileExists(Dest("In-box/small.jpg")));
    EXPECT_FALSE(platform::FileExists(Dest("In-box/a b#1.pdf")));
    EXPECT_TRUE(platform::FileExists(Dest("In-box/at.jpg")));
    EXPECT_FALSE(platform::FileExists(Dest("In-box/under.jpg")));
    std::string page = Page(1);
    EXPECT_NE(page.find("<img src=\"..\\In-box\\big.jpg\""), std::string::npos);
    // A message whose files all fell under the limit still has its heading.
    EXPECT_NE(page.find(">Only small</td>"), std::string::npos);
    EXPECT_EQ(m_shell.opened, (std::vector<std::string>{m_dest, Dest("report.htm")}));
}

TEST_F(ExtractionRunTest, CancelFinishesTheMessageAndTheReport) {
    AddMessage("a.eml", "First", {{"a.bin", "x"}});
    AddMessage("b.eml", "Second", {{"b.bin", "y"}});
    CScriptedProgress progress(1);
    ASSERT_EQ(Run(progress), 0);
    EXPECT_EQ(m_ui.Messages(), (std::vector<std::string>{"Progress Cancelled"}));
    EXPECT_TRUE(platform::FileExists(Dest("b.bin")));
    EXPECT_FALSE(platform::FileExists(Dest("a.bin")));
    EXPECT_NE(Page(1).find(">Second</td>"), std::string::npos);
    EXPECT_FALSE(platform::FileExists(Dest("process/error.txt")));
    EXPECT_EQ(m_shell.opened, (std::vector<std::string>{Dest("report.htm")}));
}

// Cancel is looked for after every message, one without attachments too.
TEST_F(ExtractionRunTest, CancelAfterAMessageWithoutAttachments) {
    AddMessage("a.eml", "First", {{"a.bin", "x"}});
    AddMessage("b.eml", "Second", {});
    CScriptedProgress progress(1);
    ASSERT_EQ(Run(progress), 0);
    EXPECT_EQ(m_ui.Messages(),
              (std::vector<std::string>{"Progress Cancelled",
                                        "Number of Extracted Mail: 0\n No Report is Generated!!"}));
    EXPECT_FALSE(platform::FileExists(Dest("a.bin")));
}

TEST_F(ExtractionRunTest, InterruptedEarlierRun) {
    AddMessage("a.eml", "First", {{"a.bin", "x"}});
    m_root.Write("dest/process/error.txt", "From:Bob\r\nSubject:Broken");
    m_ui.defaultAnswer = false;
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(m_ui.Messages(),
              (std::vector<std::string>{"There is a mail parsing error in  previous processing!! "
                                        "\r\nFrom:Bob\r\nSubject:Broken"}));
    EXPECT_EQ(m_ui.Questions().size(), 1u);
    EXPECT_TRUE(platform::FileExists(Dest("process/error.txt")));
    EXPECT_FALSE(platform::FileExists(Dest("a.bin")));
    ASSERT_FALSE(m_progress.Calls.empty());
    EXPECT_EQ(m_progress.Calls.back(), "Close");

    // Going on, the run first removes what the interrupted one left: a mailbox message's copy
    // and a file the component had not finished. Files of the user's stay.
    m_root.Write("dest/process/TAKx1y2z3", "copy of a message");
    m_root.Write("dest/.kestrel-partial-0badf00d", "half an attachment");
    m_root.Write("dest/process/TAKE notes.txt", "the user's");
    m_root.Write("dest/.kestrel-other", "the user's");
    m_ui.defaultAnswer = true;
    m_ui.shown.clear();
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(platform::FileExists(Dest("a.bin")));
    EXPECT_FALSE(platform::FileExists(Dest("process/error.txt")));
    EXPECT_FALSE(platform::FileExists(Dest("process/TAKx1y2z3")));
    EXPECT_FALSE(platform::FileExists(Dest(".kestrel-partial-0badf00d")));
    EXPECT_TRUE(platform::FileExists(Dest("process/TAKE notes.txt")));
    EXPECT_TRUE(platform::FileExists(Dest(".kestrel-other")));
}

TEST_F(ExtractionRunTest, NothingToDo) {
    // No mail folder at all: nothing but the report folder, no message.
    CScriptedProgress progress;
    ExtractionContext context{m_client, progress, m_ui, m_shell, m_settings, &m_view};
    EXPECT_EQ(RunExtraction(m_root / "nowhere/", m_options, "x", context), 0);
    EXPECT_TRUE(progress.Calls.empty());
    EXPECT_TRUE(m_ui.Messages().empty());
    EXPECT_FALSE(platform::FileExists(Dest("report.htm")));
    // An empty folder, or one whose mails all have no file: the user is told, and nothing is
    // written, nor remembered as the last report.
    for (bool withMail : {false, true}) {
        if (withMail) AddMessage("a.eml", "No files", {});
        m_ui.shown.clear();
        EXPECT_EQ(Run(), 0);
        EXPECT_EQ(m_ui.Messages(), (std::vector<std::string>{
                                  "Number of Extracted Mail: 0\n No Report is Generated!!"}));
        EXPECT_TRUE(std::filesystem::is_empty(m_dest));
        EXPECT_TRUE(m_settings.LastHtmlReport.empty());
        EXPECT_TRUE(m_shell.opened.empty());
    }
}

TEST_F(ExtractionRunTest, ADestinationThatCannotBeWrittenIsSaidAsTheCause) {
    AddMessage("a.eml", "Alpha", {{"a1.jpg", kJpeg, "image/jpeg"}});
    RunAsUnprivilegedUser({m_root.path()}, [&] {
        ASSERT_EQ(chmod(m_dest.c_str(), 0555), 0);
        m_ui.shown.clear();
        EXPECT_EQ(Run(), 0);
        // The cause, not the count of mails it led to.
        EXPECT_EQ(m_ui.Messages(), std::vector<std::string>{UnwritableDestinationMessage(m_dest)});
        // A caller that collects the run's problems says it itself.
        m_ui.shown.clear();
        RunProblems problems;
        ExtractionContext context{m_client, m_progress, m_ui, m_shell, m_settings, &m_view,
                                  &problems};
        EXPECT_EQ(RunExtraction(m_mail + "/", m_options, "Inbox", context), 0);
        EXPECT_TRUE(m_ui.Messages().empty());
        EXPECT_EQ(DescribeRunProblems(problems, m_dest).front(),
                  UnwritableDestinationMessage(m_dest));
    });
}

TEST_F(ExtractionRunTest, BadInputStaysInsideTheDestinationAndLosesNothing) {
    m_root.Write("mail/Inbox/empty.eml", "");
    m_root.Write("mail/Inbox/garbage.eml",
                 std::string("\x00\xFF\r\n\r\n--\r\nContent-Type: multipart/mixed\r\n", 40));
    m_root.Write("mail/Inbox/truncated.eml",
                 "Subject: cut\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n--B\r\n"
                 "Content-Type: image/jpeg; name=\"cut.jpg\"\r\nContent-Transfer-Encoding: "
                 "base64\r\n\r\n/9j/4AAQSk");
    m_root.MakeDir("mail/Inbox/folder.eml");
    ASSERT_EQ(mkfifo((m_mail + "/pipe.eml").c_str(), 0600), 0); // would block a reader forever
    std::string elsewhere =
        m_root.Write("kept/linked.txt", MakeMessage("Linked", "L <l@x>", "", {{"l.bin", "seven"}}));
    ASSERT_EQ(symlink(elsewhere.c_str(), (m_mail + "/link.eml").c_str()), 0);
    AddMessage("hostile.eml", "<script>x</script>",
               {{"../../x.jpg", "one", "image/jpeg"},
                {"/etc/passwd", "two"},
                {"report.htm", "three", "text/html"},
                {"ulkfoo.jpg", "four", "image/jpeg"},
                {"..", "five"},
                {"process", "six"}});
    m_root.Write("dest/ulk-mine.txt", "the user's own file");

    ASSERT_EQ(Run(), 0);

    // Every attachment is somewhere in the destination, under some name.
    std::multiset<std::string> contents;
    for (auto& e : std::filesystem::recursive_directory_iterator(m_dest))
        if (e.is_regular_file()) contents.insert(ReadFileText(e.path().string()));
    for (const char* data : {"one", "two", "three", "four", "five", "six", "seven"})
        EXPECT_EQ(contents.count(data), 1u) << data;
    EXPECT_EQ(ReadFileText(Dest("ulk-mine.txt")), "the user's own file");
    // Nothing outside it: the temp root holds only what the test made.
    std::set<std::string> top;
    for (auto& e : std::filesystem::directory_iterator(m_root.path()))
        top.insert(e.path().filename().string());
    top.erase("errorlog.txt");
    EXPECT_EQ(top, (std::set<std::string>{"dest", "mail", "kept"}));
    EXPECT_TRUE(platform::IsDirectory(Dest("report")));
    EXPECT_NE(ReadFileText(Dest("report.htm")).find("<frameset"), std::string::npos);
    std::string report = Page(1);
    EXPECT_EQ(report.find("<script>"), std::string::npos);
    EXPECT_NE(report.find("&lt;script&gt;x&lt;/script&gt;"), std::string::npos);
}

TEST_F(ExtractionRunTest, RunAgainRemovesOnlyWhatItCreated) {
    // The first run leaves the files; the user adds one of their own with an attachment's
    // bytes. Filters and sweeps in the second run must spare them all, whether the component
    // answers their names again or not.
    AddMessage("a.eml", "Docs",
               {{"small.jpg", "tiny", "image/jpeg"}, {"doc.pdf", "%PDF", "application/pdf"},
                {"own.jpg", "the user's photo", "image/jpeg"}});
    // The user's own file equal to an attachment is named, not written again, and not dated
    // as the mail is, read-only or not.
    m_root.Write("dest/own.jpg", "the user's photo");
    const struct timespec userTime[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, Dest("own.jpg").c_str(), userTime, 0), 0);
    ASSERT_EQ(chmod(Dest("own.jpg").c_str(), 0444), 0);
    ASSERT_EQ(Run(), 0);
    ASSERT_EQ(ReadFileText(Dest("doc.pdf")), "%PDF");
    struct stat st {};
    ASSERT_EQ(stat(Dest("own.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1000000000);
    ASSERT_EQ(stat(Dest("doc.pdf").c_str(), &st), 0);
    EXPECT_LT(st.st_mtime, 1000000000); // the run's own file has the mail's date, 1994
    m_root.Write("dest/mine.pdf", "%PDF");
    m_root.Write("dest/ulk7.tmp", "the user's");
    AddMessage("b.eml", "Dropped", {{"doc.pdf", "%PDF", "application/pdf"}});
    m_options.PicturesOnly = 1;
    m_settings.AttachmentSizeLimit = 1;
    m_options.Condition = 1;
    m_options.ConditionKeyword = "docs";
    // Scratch files that turn up while the run goes (a component that died) are gone by its end.
    struct LeavesScratch : CScriptedProgress {
        TempDir* root = nullptr;
        void SetTitleLine(const std::string& text) override {
            CScriptedProgress::SetTitleLine(text);
            root->Write("dest/ulk" + std::to_string(TitleLines.size()) + "0.tmp", "scratch");
        }
    } progress;
    progress.root = &m_root;
    ASSERT_EQ(Run(progress), 0);
    ASSERT_EQ(progress.TitleLines.size(), 2u);
    for (const char* kept : {"small.jpg", "doc.pdf", "mine.pdf", "ulk7.tmp"})
        EXPECT_TRUE(platform::FileExists(Dest(kept))) << kept;
    std::set<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(m_dest))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"small.jpg", "doc.pdf", "mine.pdf", "ulk7.tmp",
                                            "own.jpg", "report", "report.htm"}));
}

TEST_F(ExtractionRunTest, AFolderNamedLikeTheRunsOwnFilesLosesNothing) {
    AddMessage("a.eml", "Own names",
               {{"report_page1.htm", "page", "text/html"},
                {"report_left.htm", "left", "text/html"},
                {"error.txt", "error", "text/plain"}});
    m_options.FolderNameSubDirectory = 1;
    m_options.NoSubDirectory = 0;
    for (const char* folder : {"report", "Process"}) {
        SCOPED_TRACE(folder);
        std::filesystem::remove_all(m_dest);
        std::filesystem::create_directories(m_dest);
        ASSERT_EQ(Run(m_progress, folder), 0);
        const std::string sub = std::string("_") + folder + "/";
        EXPECT_EQ(ReadFileText(Dest(sub + "report_page1.htm")), "page");
        EXPECT_EQ(ReadFileText(Dest(sub + "report_left.htm")), "left");
        EXPECT_EQ(ReadFileText(Dest(sub + "error.txt")), "error");
        EXPECT_NE(Page(1).find("..\\" + std::string("_") + folder + "\\error.txt"),
                  std::string::npos);
    }
}

TEST_F(ExtractionRunTest, LinksInTheDestinationAreNotFollowed) {
    AddMessage("a.eml", "Linked", {{"a.bin", "data"}});
    const std::string outside = m_root.MakeDir("outside");
    struct Case {
        const char* link; // in the destination, to the outside folder
        bool subDirectory;
        int result;
    } cases[] = {
        {"report", false, 0},
        {"process", false, 0},
        {"Inbox", true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        std::filesystem::remove_all(m_dest);
        std::filesystem::create_directories(m_dest);
        ASSERT_EQ(symlink(outside.c_str(), Dest(c.link).c_str()), 0);
        m_options.FolderNameSubDirectory = c.subDirectory;
        RunProblems problems;
        CScriptedProgress progress;
        ExtractionContext context{m_client,   progress, m_ui,     m_shell,
                                  m_settings, &m_view,  &problems};
        EXPECT_EQ(RunExtraction(m_mail + "/", m_options, "Inbox", context), c.result);
        EXPECT_TRUE(std::filesystem::is_empty(outside));
        // Neither the report nor the record of the message worked on goes through a link: the
        // run says so, and a program that runs it fails it as incomplete.
        EXPECT_EQ(problems.UnwrittenReportFiles, std::string(c.link) == "report" ? 1 : 0);
        EXPECT_EQ(problems.UnwrittenRecoveryRecords, std::string(c.link) == "process" ? 1 : 0);
        EXPECT_EQ(problems.Any(), std::string(c.link) != "Inbox");
    }
}

TEST_F(ExtractionRunTest, KilledRunIsNamedByTheNextOne) {
    AddMessage("a.eml", "Left for later", {{"a.bin", "x"}});
    AddMessage("b.eml", "The one it died on", {{"b.bin", "y"}});
    AddMessage("c.eml", "Done first", {{"c.bin", "z"}});

    // A progress window that kills its own process when the second message's file is handled.
    struct KillingProgress : CScriptedProgress {
        void SetStatusLine(const std::string& text) override {
            if (text == "Extracting...b.bin") kill(getpid(), SIGKILL);
        }
    };
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        KillingProgress progress;
        Run(progress);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(WTERMSIG(status), SIGKILL);

    m_ui.defaultAnswer = false;
    EXPECT_EQ(Run(), -1);
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0], "There is a mail parsing error in  previous processing!! \r\n"
                                  "From:Ann <ann@example.org>\r\nSubject:The one it died on");
}

} // namespace

namespace {

TEST_F(ExtractionRunTest, AThousandAttachmentsInOneMessage) {
    std::vector<FixtureAttachment> files;
    for (int i = 0; i < 1000; ++i)
        files.push_back(
            {"f" + std::to_string(i) + ".png", "png " + std::to_string(i), "image/png"});
    AddMessage("many.eml", "Many", files);
    ASSERT_EQ(Run(), 0);
    int written = 0;
    for (auto& e : std::filesystem::directory_iterator(m_dest))
        written += e.path().extension() == ".png";
    EXPECT_EQ(written, 1000);
    std::string page = Page(1);
    size_t thumbnails = 0, breaks = 0;
    for (size_t at = page.find("<img "); at != std::string::npos; at = page.find("<img ", at + 1))
        ++thumbnails;
    for (size_t at = page.find("</a><br>"); at != std::string::npos;
         at = page.find("</a><br>", at + 1))
        ++breaks;
    EXPECT_EQ(thumbnails, 1000u);
    EXPECT_EQ(breaks, 1000u / 7);
}

} // namespace
