#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DbxWriter.h"
#include "MailFixtures.h"
#include "RunProcess.h"
#include "SharedCorpus.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"

namespace {

const std::string kCorpusDbx =
    std::string(KESTREL_SHARED_DIR) + "/corpus/dbx/iped-test_OutlookDBX.dbx";

std::string MakeStore(const TempDir& dir, const std::vector<DbxTestMessage>& mails,
                      const DbxWriterOptions& options = {}) {
    std::string path = dir / "Inbox.dbx";
    EXPECT_TRUE(WriteBytes(path, BuildDbxMessageFile(mails, options)));
    return path;
}

DbxTestMessage Mail(const std::string& sender, const std::string& subject) {
    DbxTestMessage m;
    m.sender = sender;
    m.subject = subject;
    m.text = "From: " + sender + "\r\nSubject: " + subject + "\r\n\r\nbody\r\n";
    return m;
}

TEST(CliDbx, SaveEmlWritesOneFilePerMessage) {
    TempDir src, dest;
    std::vector<DbxTestMessage> mails = {Mail("a@x", "Hello"), Mail("b@x", "Re: test")};
    auto r = RunProgram({"kestrel-cli", "save-eml", MakeStore(src, mails), dest.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFileText(dest / "0000Hello.eml"), mails[0].text);
    EXPECT_EQ(ReadFileText(dest / "0001Re__test.eml"), mails[1].text);
    EXPECT_NE(r.out.find("2 message(s) saved"), std::string::npos);

    // An index that names one message a thousand times still gives one file per message.
    TempDir again;
    DbxWriterOptions repeated;
    repeated.repeatMessage = 0;
    repeated.repeatTimes = 1000;
    r = RunProgram({"kestrel-cli", "save-eml", MakeStore(src, mails, repeated), again.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(platform::ListDirectory(again.path()).size(), 2u);
    EXPECT_NE(r.out.find("2 message(s) saved"), std::string::npos);
}

TEST(CliDbx, SaveEmlAskWithoutATerminalSavesNothing) {
    TempDir src, dest;
    auto r = RunProgram(
        {"kestrel-cli", "save-eml", "--ask", MakeStore(src, {Mail("a", "b")}), dest.path()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(platform::ListDirectory(dest.path()).empty());
}

TEST(CliDbx, SaveEmlReportsABrokenStoreAndAnUnreadableMessage) {
    TempDir src, dest;
    src.Write("junk.dbx", "junk");
    auto r = RunProgram({"kestrel-cli", "save-eml", src / "junk.dbx", dest.path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("junk.dbx: none of a .dbx file, an mbox file, a .pst or .ost file"), std::string::npos)
        << r.err;
    // A fifo would make a reader wait for a writer for ever.
    ASSERT_EQ(mkfifo((src / "fifo.dbx").c_str(), 0600), 0);
    r = RunProgram({"kestrel-cli", "save-eml", src / "fifo.dbx", dest.path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("fifo.dbx: is a fifo, not a file"), std::string::npos) << r.err;

    DbxWriterOptions o;
    o.chainLoopMessage = 0;
    r = RunProgram({"kestrel-cli", "save-eml", MakeStore(src, {Mail("a", "x"), Mail("b", "y")}, o),
                    dest.path()});
    EXPECT_EQ(r.exitCode, 3); // the others are saved: incomplete, not failed
    EXPECT_NE(r.err.find("Extract eMail Error"), std::string::npos);
    EXPECT_EQ(platform::ListDirectory(dest.path()).size(), 1u);

    // A missing destination is made; one that cannot be made is said so.
    r = RunProgram({"kestrel-cli", "save-eml", MakeStore(src, {Mail("a", "x")}), dest / "new/sub"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(platform::ListDirectory(dest / "new/sub").size(), 1u);
    std::string file = dest.Write("plain-file", "x");
    r = RunProgram({"kestrel-cli", "save-eml", MakeStore(src, {Mail("a", "x")}), file + "/sub"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot create the destination"), std::string::npos);
}

TEST(CliDbx, SaveEmlRecoverSavesWhatTheIndexLost) {
    TempDir src, plain, recovered;
    std::vector<DbxTestMessage> mails = {Mail("a@x", "One"), Mail("b@x", "Two"),
                                         Mail("c@x", "Three")};
    DbxWriterOptions lost;
    lost.unindexedMessage = 1;
    std::string store = MakeStore(src, mails, lost);
    // The index alone does not know what it lost.
    auto r = RunProgram({"kestrel-cli", "save-eml", store, plain.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(platform::ListDirectory(plain.path()).size(), 2u);
    r = RunProgram({"kestrel-cli", "save-eml", "--recover", store, recovered.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("3 message(s) saved to " + recovered.path() +
                         "\n2 message(s) from the index, 1 message(s) from the scan\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(ReadFileText(recovered / "0002Two.eml"), mails[1].text);
    EXPECT_EQ(platform::ListDirectory(recovered.path()).size(), 3u);

    // No index at all, and one message whose text runs off the file's end: the others come
    // from the scan, the broken one is named, and the exit says not everything was saved.
    DbxWriterOptions broken;
    broken.overrideIndexPointer = true;
    broken.chainOutsideMessage = 0;
    TempDir scanned;
    r = RunProgram(
        {"kestrel-cli", "save-eml", "--recover", MakeStore(src, mails, broken), scanned.path()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("the index cannot be read"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("breaks off: it is left out"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("0 message(s) from the index, 2 message(s) from the scan\n"
                         "1 message(s) could not be read\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(platform::ListDirectory(scanned.path()).size(), 2u);

    src.Write("junk.dbx", "junk");
    r = RunProgram({"kestrel-cli", "save-eml", "--recover", src / "junk.dbx", scanned.path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("junk.dbx is not a .dbx message file"), std::string::npos) << r.err;
}

TEST(CliDbx, SearchPrintsRowsInListOrderThenFinished) {
    TempDir src, tmp;
    std::string store =
        MakeStore(src, {Mail("anna@x", "one"), Mail("bob@x", "two"), Mail("anna@x", "three")});
    auto r =
        RunProgram({"kestrel-cli", "search", store, "--sender", "anna"}, {"TMPDIR=" + tmp.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> lines;
    for (size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(r.out.substr(at, nl - at));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].substr(0, lines[0].rfind('\t') + 1), "anna@x\tone\t");
    EXPECT_EQ(lines[1].substr(0, lines[1].rfind('\t') + 1), "anna@x\tthree\t");
    EXPECT_EQ(lines[2], "Finished");
    std::string copy = lines[0].substr(lines[0].rfind('\t') + 1);
    EXPECT_EQ(platform::FolderOf(copy), tmp.path() + "/");
    EXPECT_EQ(platform::FindFileName(copy).substr(0, 3), "TAK");
    EXPECT_EQ(ReadFileText(copy), Mail("anna@x", "one").text);
}

TEST(CliDbx, WizardRunsEachFolderWithinThePeriod) {
    TempDir src, dest, config;
    auto mail = [](const std::string& subject, const std::string& day, const std::string& file) {
        DbxTestMessage m;
        m.subject = subject;
        std::tm tm{};
        strptime(day.c_str(), "%Y-%m-%d %H:%M:%S", &tm);
        tm.tm_isdst = -1;
        m.date = FileTimeFromUnix(std::mktime(&tm));
        m.text = MakeMessage(subject, "ann@example.org", "",
                             {{file, "GIF89a" + std::string(4000, 'g'), "image/gif"}});
        return m;
    };
    std::string inbox = src / "Inbox.dbx", sent = src / "Sent.dbx";
    ASSERT_TRUE(
        WriteBytes(inbox, BuildDbxMessageFile({mail("old", "2009-12-31 23:59:59", "old.gif"),
                                               mail("new", "2010-01-01 00:00:00", "new.gif")})));
    ASSERT_TRUE(
        WriteBytes(sent, BuildDbxMessageFile({mail("late", "2010-02-01 00:00:00", "late.gif")})));
    auto r = RunProgram({"kestrel-cli", "wizard", dest.path(), "--from", "2010-01-01", "--to",
                         "2010-02-01 00:00:00", "Inbox=" + inbox, "Sent Items=" + sent},
                        {"XDG_CONFIG_HOME=" + config.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(platform::FileExists(dest / "Inbox/new.gif"));
    EXPECT_FALSE(platform::FileExists(dest / "Inbox/old.gif"));
    EXPECT_FALSE(platform::FileExists(dest / "Sent-Items/late.gif"));
    EXPECT_TRUE(platform::FileExists(dest / "Sent-Items/report.htm"));
    std::string top = ReadFileText(dest / "report.htm");
    EXPECT_NE(top.find("href=\".\\Sent-Items\\report.htm\" target=\"newFrame\">Sent Items</a>"),
              std::string::npos);

    for (auto bad : std::vector<std::vector<std::string>>{
             {"kestrel-cli", "wizard", dest.path(), "--from", "2010-02-30", "Inbox=" + inbox},
             {"kestrel-cli", "wizard", dest.path(), "Inbox"},
             {"kestrel-cli", "wizard", dest.path()}}) {
        EXPECT_EQ(RunProgram(bad).exitCode, 2) << bad.back();
    }
}

// An mbox file, a maildir and a folder of .eml files are mailboxes to every command: no
// complaint that they are not .dbx files, and a run that did its work exits 0.
TEST(CliDbx, EveryKindOfMailboxIsTakenWithoutComplaint) {
    TempDir src, config;
    const std::vector<FixtureAttachment> files = {
        {"a.gif", "GIF89a" + std::string(4000, 'g'), "image/gif"}}; // above the 2 KB limit
    const std::string text = MakeMessage("one", "anna@x", "Fri, 01 Jan 2010 10:00:00 +0000", files);
    src.Write("box", "From anna@x Fri Jan  1 10:00:00 2010\n" + text);
    src.Write("Maildir/cur/1.x:2,S", text);
    src.MakeDir("Maildir/new");
    src.Write("Eml/one.eml", text);
    for (const std::string& box : {src / "box", src / "Maildir", src / "Eml"}) {
        TempDir dest, tmp;
        auto search = RunProgram({"kestrel-cli", "search", box}, {"TMPDIR=" + tmp.path()});
        EXPECT_EQ(search.exitCode, 0) << box << "\n" << search.err;
        EXPECT_EQ(search.err, "") << box;
        EXPECT_EQ(search.out.substr(0, 11), "anna@x\tone\t") << box;
        auto wizard = RunProgram(
            {"kestrel-cli", "wizard", dest / "out", "--from", "1990-01-01", "Inbox=" + box},
            {"XDG_CONFIG_HOME=" + config.path()});
        EXPECT_EQ(wizard.exitCode, 0) << box << "\n" << wizard.err;
        EXPECT_EQ(wizard.err.find("not a readable"), std::string::npos) << wizard.err;
        EXPECT_TRUE(platform::FileExists(dest / "out/Inbox/a.gif")) << box;
    }
}

// An empty file is what mail programs keep for an empty folder: an mbox file without messages,
// for every command, also beside a folder with mail in the wizard.
TEST(CliDbx, AnEmptyFileIsAnMboxWithoutMessages) {
    TempDir src, dest, config;
    src.Write("empty", "");
    src.Write("Eml/one.eml",
              MakeMessage("one", "anna@x", "Fri, 01 Jan 2010 10:00:00 +0000",
                          {{"a.gif", "GIF89a" + std::string(4000, 'g'), "image/gif"}}));
    const struct {
        std::vector<std::string> args;
        const char* out; // a line printed on stdout
    } cases[] = {
        {{"extract", "--yes", src / "empty", dest / "extract"}, ""},
        {{"save-eml", src / "empty", dest / "saved"}, "0 message(s) saved to "},
        {{"search", src / "empty"}, "Finished\n"},
        {{"wizard", dest / "wizard", "--from", "1990-01-01", "Empty=" + (src / "empty"),
          "Mail=" + (src / "Eml")},
         "report: "},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = c.args;
        argv.insert(argv.begin(), "kestrel-cli");
        auto r = RunProgram(argv, {"XDG_CONFIG_HOME=" + config.path()});
        EXPECT_EQ(r.exitCode, 0) << c.args[0] << "\n" << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << c.args[0] << "\n" << r.out;
        EXPECT_EQ(r.err.find("neither"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(platform::FileExists(dest / "wizard/Mail/a.gif"));
}

// An mbox file that ends inside its last message (the run's first): every command reads it as far
// as it goes, says so where it can, and goes on to the other messages.
TEST(CliDbx, AnMboxCutInsideItsLastMessageIsReadAsFarAsItGoes) {
    TempDir src, config;
    const std::string whole =
        MakeMessage("whole", "anna@x", "Fri, 01 Jan 2010 10:00:00 +0000",
                    {{"a.gif", "GIF89a" + std::string(4000, 'a'), "image/gif"}});
    std::string cut = MakeMessage("cut", "anna@x", "Sat, 02 Jan 2010 10:00:00 +0000",
                                  {{"b.gif", "GIF89a" + std::string(4000, 'b'), "image/gif"}});
    cut.resize(cut.size() - 4); // into the closing boundary: "--XYZ-"
    src.Write("box", "From anna@x Fri Jan  1 10:00:00 2010\n" + whole +
                         "\nFrom anna@x Sat Jan  2 10:00:00 2010\n" + cut);

    TempDir tmp;
    auto search = RunProgram({"kestrel-cli", "search", src / "box"}, {"TMPDIR=" + tmp.path()});
    EXPECT_EQ(search.exitCode, 0) << search.err;
    EXPECT_NE(search.out.find("anna@x\twhole\t"), std::string::npos) << search.out;
    EXPECT_NE(search.out.find("anna@x\tcut\t"), std::string::npos) << search.out;

    TempDir dest;
    auto wizard = RunProgram({"kestrel-cli", "wizard", dest / "out", "--all", "--from",
                              "1990-01-01", "Inbox=" + (src / "box")},
                             {"XDG_CONFIG_HOME=" + config.path()});
    EXPECT_EQ(wizard.exitCode, 3) << wizard.err;
    EXPECT_NE(wizard.err.find("message 2"), std::string::npos) << wizard.err;
    for (const char* file : {"a.gif", "b.gif"})
        EXPECT_TRUE(platform::FileExists(dest / "out/Inbox" + "/" + file)) << file;

    auto saved = RunProgram({"kestrel-cli", "save-eml", src / "box", dest / "eml"});
    EXPECT_EQ(saved.exitCode, 3) << saved.err;
    EXPECT_NE(saved.err.find("cut short"), std::string::npos) << saved.err;
    EXPECT_EQ(ReadFileText(dest / "eml/0001cut.eml"), cut); // all there is of it
    EXPECT_EQ(ReadFileText(dest / "eml/0000whole.eml"), whole);

    // Files that end as many do: blank lines before the first separator, lines ended by CR
    // alone, no line end after the last line. Nothing is cut short there; a separator with
    // nothing after it is no message to save.
    std::string crText, lfText; // the message's CRLF line ends as CR, and as LF
    for (std::size_t at = 0; at < whole.size(); ++at) {
        const bool lineEnd = whole.compare(at, 2, "\r\n") == 0;
        crText += lineEnd ? '\r' : whole[at];
        lfText += lineEnd ? '\n' : whole[at];
        at += lineEnd ? 1 : 0;
    }
    crText.pop_back();
    lfText.pop_back();
    src.Write("cr", "\r\r\rFrom anna@x Fri Jan  1 10:00:00 2010\r" + crText);
    saved = RunProgram({"kestrel-cli", "save-eml", src / "cr", dest / "cr"});
    EXPECT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_EQ(ReadFileText(dest / "cr/0000whole.eml"), lfText);
    src.Write("bare", "From anna@x Fri Jan  1 10:00:00 2010\n" + whole +
                          "\nFrom anna@x Sat Jan  2 10:00:00 2010\n");
    saved = RunProgram({"kestrel-cli", "save-eml", src / "bare", dest / "bare"});
    EXPECT_EQ(saved.exitCode, 3) << saved.err;
    EXPECT_NE(saved.err.find("Message 1 of the folder is empty: it is left out"), std::string::npos)
        << saved.err;
    EXPECT_EQ(platform::ListDirectory(dest / "bare").size(), 1u);
}

TEST(CliDbx, SearchAndWizardFailuresExitOne) {
    TempDir src, dest, config;
    src.Write("junk.dbx", "junk");
    DbxWriterOptions broken;
    broken.chainLoopMessage = 0;
    const std::string loop = MakeStore(src, {Mail("a", "x")}, broken);
    struct Case {
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {{"search", src / "junk.dbx"}, "none of a .dbx file, an mbox file, a .pst or .ost file"},
        {{"search", loop}, ""},
        {{"wizard", dest.path(), "--from", "1990-01-01", "Inbox=" + (src / "junk.dbx")},
         "none of a .dbx file, an mbox file, a .pst or .ost file"},
        {{"wizard", dest.path(), "--from", "1600-01-02", "Inbox=" + loop}, "Extract eMail Error"},
    };
    for (Case& c : cases) {
        c.args.insert(c.args.begin(), "kestrel-cli");
        auto r = RunProgram(c.args, {"XDG_CONFIG_HOME=" + config.path()});
        EXPECT_EQ(r.exitCode, 1) << c.args[1] << " " << c.args.back() << "\n" << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
}

TEST(CliDbx, HelpAndUsage) {
    for (const char* command : {"save-eml", "search", "wizard"}) {
        auto r = RunProgram({"kestrel-cli", command, "--help"});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.rfind(std::string("usage: kestrel-cli ") + command, 0), 0u) << r.out;
        r = RunProgram({"kestrel-cli", command});
        EXPECT_EQ(r.exitCode, 2) << command;
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
    }
}

TEST(CliDbx, RealStoreSavesAndSearchesEveryMessage) {
    REQUIRE_SHARED_FILE(kCorpusDbx);
    TempDir dest, tmp;
    auto r = RunProgram({"kestrel-cli", "save-eml", kCorpusDbx, dest.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto saved = platform::ListDirectory(dest.path(), "*.eml");
    EXPECT_EQ(saved.size(), 28u);
    for (const auto& e : saved)
        EXPECT_GT(e.size, 0u) << e.name;

    r = RunProgram({"kestrel-cli", "search", kCorpusDbx}, {"TMPDIR=" + tmp.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 29);
    EXPECT_EQ(r.out.substr(r.out.size() - 9), "Finished\n");
}

} // namespace
