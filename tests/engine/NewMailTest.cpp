// Runs asked for new mail only: which changes to a mailbox since the last run into the same
// destination make the run take a message again, and which do not. Real mailboxes, the real
// extractor component, the record the destination keeps.
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "MailFixtures.h"
#include "ScriptedProgress.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/Settings.h"
#include "engine/DoneMessages.h"
#include "engine/ExtractionRun.h"
#include "engine/ExtractorClient.h"
#include "engine/WizardRun.h"
#include "platform/ErrorLog.h"
#include "platform/Hash.h"

namespace {

namespace fs = std::filesystem;
const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(3000, 'j');

std::string Mail(const std::string& subject) {
    return MakeMessage(subject, "Ann <ann@example.org>", "Tue, 15 Nov 2011 08:12:31 +0000",
                       {{subject + ".jpg", kJpeg, "image/jpeg"}});
}
std::string MboxEntry(const std::string& subject) {
    return "From ann@example.org Tue Nov 15 08:12:31 2011\n" + Mail(subject) + "\n";
}

void Append(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}
// A new modification time, whatever the clock's resolution.
void Touch(const std::string& path) {
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    const struct timespec times[2] = {{st.st_atim.tv_sec, 0}, {st.st_mtim.tv_sec + 7, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// The file's bytes replaced in place (the same file), its modification time then set back as
// it was; its change time, which nobody can set back, moves on with the clock.
void RewriteKeepingTime(const std::string& path, const std::string& text) {
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    struct stat now = st;
    for (long i = 0; i < 100000000 && now.st_ctim.tv_sec == st.st_ctim.tv_sec &&
                     now.st_ctim.tv_nsec == st.st_ctim.tv_nsec;
         ++i) {
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        ASSERT_EQ(stat(path.c_str(), &now), 0);
    }
    ASSERT_EQ(now.st_mtim.tv_nsec, st.st_mtim.tv_nsec);
    ASSERT_EQ(now.st_size, st.st_size);
}

// The stamp's field n (counted from 0, separated by blanks) set to value.
void SetField(std::string& stamp, int n, const std::string& value) {
    std::size_t at = 0;
    for (int i = 0; i < n; ++i)
        at = stamp.find(' ', at) + 1;
    stamp.replace(at, stamp.find(' ', at) - at, value);
}

class NewMailTest : public testing::Test {
protected:
    void SetUp() override {
        TheErrorLog().OpenAt(m_root.path(), "errorlog.txt", false);
        ASSERT_TRUE(m_client.Create(&m_ui)) << "the extractor component must be built";
        m_dest = m_root.MakeDir("dest");
        m_settings.HTMLItemNumber = 10;
    }

    // The number of messages a run took (each gets a progress title).
    int Extract(const std::string& mailbox, bool newOnly, bool picturesOnly = false) {
        ExtractionOptions options;
        options.Destination = m_dest;
        options.PicturesOnly = picturesOnly ? 1 : 0;
        options.ShowReport = 0;
        options.NewOnly = newOnly ? 1 : 0;
        CScriptedProgress progress;
        ExtractionContext context{m_client, progress, m_ui, m_shell, m_settings};
        EXPECT_EQ(RunExtraction(mailbox, options, "Inbox", context), 0);
        return static_cast<int>(progress.TitleLines.size());
    }

    std::string Record() const { return CDoneMessages::Path(m_dest); }
    // The record as a run into the destination would have left it with another stamp for the
    // mailbox: edit changes it.
    void EditStamp(const std::string& mailbox, const std::function<void(std::string&)>& edit) {
        platform::Result<CDoneMessages> loaded = CDoneMessages::Load(m_dest);
        ASSERT_TRUE(loaded) << loaded.GetStatus().Reason();
        CDoneMessages record = loaded.Take();
        const DoneMailbox* entry = record.Find(MailboxIdentity(mailbox), "");
        ASSERT_NE(entry, nullptr);
        DoneMailbox changed = *entry;
        edit(changed.Stamp);
        record.Replace(changed);
        ASSERT_TRUE(record.Save(m_dest));
    }

    ScopedEnv m_registry{"KESTREL_CLASS_REGISTRY", KESTREL_OUTPUT_DIR "/kestrel-classes.reg"};
    TempDir m_root;
    std::string m_dest;
    ScriptedMessageBox m_ui;
    RecordingShell m_shell;
    CExtractorClient m_client;
    AppSettings m_settings;
};

TEST_F(NewMailTest, WhatMakesARunTakeAMessageAgain) {
    const std::string eml = m_root / "eml", mbox = m_root / "mbox", maildir = m_root / "md";
    const std::string sample = std::string(KESTREL_TEST_DATA) + "/pst/tgh-user1-test-lab.pst";
    const std::string pstFile = m_root / "mail.pst";
    const std::string pst = pstFile + "/Top of Outlook data file/FolderWithMessagesWithAttachments";
    struct Case {
        const char* name;
        const std::string* mailbox;
        std::function<void()> change;
        int taken;
        int of = 3;
    } cases[] = {
        {"eml: nothing changed", &eml, [] {}, 0},
        {"eml: a new message", &eml, [&] { m_root.Write("eml/d.eml", Mail("d")); }, 1},
        {"eml: a new message without attachments", &eml,
         [&] { m_root.Write("eml/d.eml", MakeMessage("d", "ann@example.org", "", {})); }, 1},
        {"eml: a message renamed", &eml, [&] { fs::rename(eml + "/b.eml", eml + "/b2.eml"); }, 1},
        {"eml: a message touched", &eml, [&] { Touch(eml + "/b.eml"); }, 1},
        {"eml: a message grown", &eml, [&] { Append(eml + "/b.eml", "\r\n"); }, 1},
        {"eml: a message shortened", &eml, [&] { fs::resize_file(eml + "/b.eml", 300); }, 1},
        {"eml: the record deleted", &eml, [&] { fs::remove(Record()); }, 3},
        {"eml: the record damaged", &eml,
         [&] {
             std::string text = ReadFileText(Record());
             text[text.find(".eml") + 1] ^= 1;
             m_root.Write("dest/report/done.txt", text);
         },
         3},
        {"eml: a link planted in place of the record", &eml,
         [&] {
             fs::rename(Record(), m_root / "elsewhere.txt");
             fs::create_symlink(m_root / "elsewhere.txt", Record());
         },
         3},
        {"maildir: a message marked as read", &maildir,
         [&] { fs::rename(maildir + "/new/2.host", maildir + "/cur/2.host:2,S"); }, 0},
        {"mbox: nothing changed", &mbox, [] {}, 0},
        {"mbox: a message appended", &mbox, [&] { Append(mbox, MboxEntry("d")); }, 1},
        {"mbox: the last message grown", &mbox, [&] { Append(mbox, "more text\n"); }, 1},
        {"mbox: the first message deleted", &mbox,
         [&] {
             const std::string text = ReadFileText(mbox);
             m_root.Write("mbox", text.substr(text.find("\nFrom ") + 1));
         },
         2},
        {"mbox: the last message deleted", &mbox,
         [&] {
             const std::string text = ReadFileText(mbox);
             m_root.Write("mbox", text.substr(0, text.rfind("From ")));
         },
         2},
        {"mbox: touched", &mbox, [&] { Touch(mbox); }, 0},
        {"mbox: replaced by a copy of itself", &mbox,
         [&] {
             fs::copy_file(mbox, m_root / "copy");
             fs::rename(m_root / "copy", mbox);
         },
         0},
        // A file that stood unchanged for a while before the last run is not read at all
        // unless its times or its size say it changed.
        {"mbox: nothing changed since well before the last run", &mbox,
         [&] { EditStamp(mbox, [](std::string& stamp) { SetField(stamp, 7, "1"); }); }, 0},
        {"mbox: a message appended after a run well after the last change", &mbox,
         [&] {
             EditStamp(mbox, [](std::string& stamp) { SetField(stamp, 7, "1"); });
             Append(mbox, MboxEntry("d"));
         },
         1},
        {"mbox: rewritten in place, the length and modification time kept", &mbox,
         [&] {
             EditStamp(mbox, [](std::string& stamp) { SetField(stamp, 7, "1"); });
             std::string text = ReadFileText(mbox);
             text[text.find("Hello.")] = 'J';
             RewriteKeepingTime(mbox, text);
         },
         3},
        // A stamp written before runs remembered the file's index: the file's length and the
        // hash of its bytes.
        {"mbox: the stamp of an earlier version", &mbox,
         [&] {
             const std::string text = ReadFileText(mbox);
             char old[64];
             std::snprintf(old, sizeof old, "%zu %016llx", text.size(),
                           static_cast<unsigned long long>(platform::HashBytes(text)));
             EditStamp(mbox, [&](std::string& stamp) { stamp = old; });
         },
         0},
        {"mbox: the stamp of an earlier version, the file changed since", &mbox,
         [&] {
             const std::string text = ReadFileText(mbox);
             EditStamp(mbox, [&](std::string& stamp) {
                 stamp = std::to_string(text.size()) + " 0123456789abcdef";
             });
         },
         3},
        {"mbox: a stamp that is not one", &mbox,
         [&] { EditStamp(mbox, [](std::string& stamp) { SetField(stamp, 9, "3 0,x"); }); }, 3},
        {"mbox: a stamp that counts more messages than it holds", &mbox,
         [&] {
             EditStamp(mbox, [](std::string& stamp) {
                 SetField(stamp, 1, "1000000000000");
                 SetField(stamp, 9, "99999999999");
             });
         },
         3},
        {"mbox: a byte changed, the length kept", &mbox,
         [&] {
             std::string text = ReadFileText(mbox);
             text[text.find("Hello.")] = 'J';
             m_root.Write("mbox", text);
         },
         3},
        {"pst: nothing changed", &pst, [] {}, 0, 2},
        // Its messages keep their identifiers and times however the file is stored.
        {"pst: the file copied anew in its place", &pst,
         [&] { fs::copy_file(sample, pstFile, fs::copy_options::overwrite_existing); }, 0, 2},
        {"pst: the record made for another file at the same path", &pst,
         [&] { EditStamp(pst, [](std::string& stamp) { stamp = "store 00"; }); }, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_dest);
        fs::remove_all(eml);
        fs::remove_all(maildir);
        fs::create_directories(m_dest);
        for (const char* n : {"a", "b", "c"})
            m_root.Write(std::string("eml/") + n + ".eml", Mail(n));
        m_root.Write("md/cur/1.host:2,S", Mail("a"));
        m_root.Write("md/new/2.host", Mail("b"));
        m_root.Write("md/new/3.host", Mail("c"));
        m_root.MakeDir("md/tmp");
        m_root.Write("mbox", MboxEntry("a") + MboxEntry("b") + MboxEntry("c"));
        fs::copy_file(sample, pstFile, fs::copy_options::overwrite_existing);

        // A run without the option remembers what it did all the same.
        ASSERT_EQ(Extract(*c.mailbox, false), c.of);
        c.change();
        m_ui.shown.clear();
        EXPECT_EQ(Extract(*c.mailbox, true), c.taken);
        // Nothing new is said only when nothing was.
        const std::vector<std::string> nothingNew{
            "No New Mail since the Last Run\n No Report is Generated!!"};
        EXPECT_EQ(m_ui.Messages() == nothingNew, c.taken == 0);
        // The record is never written through a link.
        EXPECT_FALSE(fs::is_symlink(Record()));
        // A third run has nothing new to take.
        EXPECT_EQ(Extract(*c.mailbox, true), 0);
    }
}

TEST_F(NewMailTest, AMailboxIsRememberedByItsRealPath) {
    m_root.Write("mail.pst", "!BDN");
    fs::create_symlink(m_root / "mail.pst", m_root / "link.pst");
    const std::string real = fs::canonical(m_root.path()).string();
    const std::pair<std::string, std::string> cases[] = {
        {m_root / "link.pst", real + "/mail.pst"},
        // A folder inside a file: the file's real path, then the folder's path in it.
        {m_root / "link.pst/Top/Inbox/", real + "/mail.pst/Top/Inbox"},
        {m_root / "gone/box", real + "/gone/box"},
    };
    for (const auto& [path, identity] : cases)
        EXPECT_EQ(MailboxIdentity(path), identity) << path;
}

TEST_F(NewMailTest, PicturesOnlyDoesNotStandForEveryFile) {
    const std::string eml = m_root / "eml";
    m_root.Write("eml/a.eml", Mail("a"));
    EXPECT_EQ(Extract(eml, false, true), 1);
    EXPECT_EQ(Extract(eml, true, true), 0);
    EXPECT_EQ(Extract(eml, true, false), 1); // the other files were not kept the first time
    EXPECT_EQ(Extract(eml, true, true), 0);  // every file stands for pictures only
}

TEST_F(NewMailTest, TheWizardPassesOverWhatItDidAndKeepsTheFolderReport) {
    m_root.Write("mbox", MboxEntry("a") + MboxEntry("b"));
    WizardRequest request;
    request.Destination = m_dest;
    request.FileTypeChoice = 2;
    request.StartTime = 0;
    request.EndTime = 2000000000;
    request.NewOnly = true;
    const WizardFolderList folders = {{"Inbox", m_root / "mbox"}};
    auto run = [&] {
        CScriptedProgress progress;
        std::vector<std::string> nothingNew;
        WizardContext context{m_client, progress, m_ui, m_settings, nullptr, &nothingNew};
        RunWizardExtraction(request, folders, context);
        return std::make_pair(static_cast<int>(progress.TitleLines.size()), nothingNew);
    };
    EXPECT_EQ(run().first, 2);
    const std::string page = ReadFileText(m_dest + "/Inbox/report/report_page1.htm");
    const auto again = run();
    EXPECT_EQ(again.first, 0);
    EXPECT_EQ(again.second, std::vector<std::string>{"Inbox"});
    EXPECT_EQ(ReadFileText(m_dest + "/Inbox/report/report_page1.htm"), page);
    Append(m_root / "mbox", MboxEntry("c"));
    EXPECT_EQ(run().first, 1);
    EXPECT_NE(ReadFileText(m_dest + "/Inbox/report/report_page1.htm").find("c.jpg"),
              std::string::npos);
}

// A record that cannot be trusted is not read, and the status says why; none at all is an
// empty record.
TEST(DoneMessagesLoad, WhatARecordThatIsNotReadSays) {
    using platform::StatusCode;
    struct Case {
        const char* name;
        std::function<void(TempDir&)> make;
        StatusCode code;
    } cases[] = {
        {"no destination", [](TempDir&) {}, StatusCode::Ok},
        {"no record yet", [](TempDir& d) { d.Write("dest/report/other.txt", "x"); },
         StatusCode::Ok},
        {"a foreign file", [](TempDir& d) { d.Write("dest/report/done.txt", "hello\n"); },
         StatusCode::Damaged},
        {"a link in place of the record",
         [](TempDir& d) {
             d.Write("elsewhere.txt", "");
             fs::create_directories(d / "dest/report");
             fs::create_symlink(d / "elsewhere.txt", d / "dest/report/done.txt");
         },
         StatusCode::Refused},
        {"a file in place of the report folder", [](TempDir& d) { d.Write("dest/report", "x"); },
         StatusCode::Refused},
    };
    for (const Case& c : cases) {
        TempDir dir;
        c.make(dir);
        const platform::Result<CDoneMessages> loaded = CDoneMessages::Load(dir / "dest");
        EXPECT_EQ(loaded.GetStatus().Code(), c.code) << c.name;
        EXPECT_EQ(loaded.IsOk(), c.code == StatusCode::Ok) << c.name;
        if (c.code != StatusCode::Ok) {
            EXPECT_NE(loaded.GetStatus().Reason().find(dir / "dest/report"), std::string::npos)
                << c.name << ": " << loaded.GetStatus().Reason();
        }
    }
}

} // namespace
