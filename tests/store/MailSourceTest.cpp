#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "DbxWriter.h"
#include "TempDir.h"
#include "platform/FileSystem.h"
#include "store/FolderRecord.h"
#include "store/MailSourceList.h"
#include "store/MessageOnDisk.h"
#include "store/sources/DbxFileSource.h"
#include "store/sources/EmlFolderSource.h"
#include "store/sources/MaildirSource.h"
#include "store/sources/MboxFileSource.h"
#include "store/sources/PstSource.h"

namespace {

// Every message of a source, as a run sees it: the header and the file the component would read.
struct Seen {
    MailHeader header;
    std::string text;
    bool ownFile;
};

std::vector<Seen> Walk(IMailSource& source, const std::string& scratch) {
    std::vector<Seen> seen;
    for (int i = source.Count() - 1; i >= 0; --i) {
        Seen s;
        EXPECT_TRUE(source.ReadHeader(i, s.header)) << i;
        CMessageOnDisk file;
        EXPECT_EQ(file.Open(source, i, scratch), MailTextWrite::Written) << i;
        s.text = ReadFileText(file.Path());
        s.ownFile = file.Path() == source.MessagePath(i);
        seen.push_back(s);
    }
    return seen;
}

TEST(MailSource, EmlFolderListsPlainMessageFilesInByteOrderAndUsesThemInPlace) {
    TempDir dir;
    dir.Write("Inbox/b.eml", "Subject: b\r\n\r\nB");
    dir.Write("Inbox/B.EML", "Subject: upper\r\n\r\nU");
    dir.Write("Inbox/a.eml", "Subject: a\r\n\r\nA");
    dir.Write("Inbox/notes.txt", "not a message");
    dir.MakeDir("Inbox/folder.eml");
    ASSERT_EQ(mkfifo((dir / "Inbox/pipe.eml").c_str(), 0600), 0);
    symlink((dir / "Inbox/a.eml").c_str(), (dir / "Inbox/link.eml").c_str());

    EmlFolderSource source(dir / "Inbox");
    ASSERT_EQ(source.Count(), 4);
    EXPECT_EQ(source.MessagePath(0), dir / "Inbox/B.EML"); // byte order: upper case first
    EXPECT_EQ(source.MessagePath(3), dir / "Inbox/link.eml");
    EXPECT_EQ(source.MessagePath(4), "");
    std::vector<Seen> seen = Walk(source, dir / "scratch-never-used");
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].text, "Subject: a\r\n\r\nA"); // the last message first: the link
    EXPECT_EQ(seen[1].text, "Subject: b\r\n\r\nB");
    EXPECT_EQ(seen[0].header.Subject, "a"); // from the file's own header lines
    EXPECT_EQ(seen[1].header.Subject, "b");
    for (const Seen& s : seen)
        EXPECT_TRUE(s.ownFile);

    // Its text can still be written out, for a run that wants a copy.
    TempDir out;
    int fd = open((out / "copy").c_str(), O_WRONLY | O_CREAT, 0600);
    EXPECT_EQ(source.WriteText(1, fd), MailTextWrite::Written);
    close(fd);
    EXPECT_EQ(ReadFileText(out / "copy"), "Subject: a\r\n\r\nA");
}

TEST(MailSource, DbxFileGivesHeadersAndStreamsTextsIntoCopiesThatGoAway) {
    TempDir dir;
    DbxTestMessage first{"First", "anna@example.org", "Anna", FileTimeFromUnix(1000000000), "T1"};
    DbxTestMessage noText{"", "bob@example.org", "Bob", FileTimeFromUnix(0), ""};
    noText.withTextPosition = false;
    DbxTestMessage big{"Big", "c@example.org", "C", 0, std::string(300000, 'x')};
    ASSERT_TRUE(WriteBytes(dir / "Inbox.dbx", BuildDbxMessageFile({first, noText, big})));
    dir.MakeDir("scratch");

    DbxFileSource source;
    ASSERT_TRUE(source.Open(dir / "Inbox.dbx"));
    ASSERT_EQ(source.Count(), 3);
    std::vector<Seen> seen = Walk(source, dir / "scratch");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].text, big.text);
    EXPECT_TRUE(seen[1].text.empty()); // a message without a text is an empty one
    EXPECT_FALSE(seen[1].header.HasText);
    EXPECT_EQ(seen[2].header.Subject, "First");
    EXPECT_EQ(seen[2].header.Sender, "anna@example.org");
    EXPECT_EQ(seen[2].header.SenderName, "Anna");
    EXPECT_EQ(seen[2].header.Time, std::time_t(1000000000));
    EXPECT_EQ(seen[2].text, "T1");
    for (const Seen& s : seen)
        EXPECT_FALSE(s.ownFile);
    EXPECT_TRUE(platform::ListDirectory(dir / "scratch").empty()) << "copies are removed";

    // A copy that cannot be made, or a damaged text, is said so.
    CMessageOnDisk nowhere;
    EXPECT_EQ(nowhere.Open(source, 0, dir / "missing"), MailTextWrite::WriteFailed);
    DbxWriterOptions broken;
    broken.chainLoopMessage = 0;
    ASSERT_TRUE(WriteBytes(dir / "Broken.dbx", BuildDbxMessageFile({first}, broken)));
    ASSERT_TRUE(source.Open(dir / "Broken.dbx"));
    CMessageOnDisk damaged;
    EXPECT_EQ(damaged.Open(source, 0, dir / "scratch"), MailTextWrite::Unreadable);
    EXPECT_EQ(source.Open(dir / "missing.dbx").Code(), platform::StatusCode::Missing);
    EXPECT_EQ(source.Count(), 0);
}

TEST(MailSource, DiscoveredFolderNamesItsSource) {
    TempDir dir;
    dir.Write("Inbox/1.eml", "x");
    ASSERT_TRUE(WriteBytes(dir / "Inbox/msgs.dbx", BuildDbxMessageFile({{"S", "s", "n", 0, "t"}})));
    FolderRecord record;
    record.FullPath = dir / "Inbox";
    record.Source = &kEmlFolderKind;
    std::unique_ptr<IMailSource> eml = OpenFolderSource(record).Source;
    ASSERT_TRUE(eml);
    EXPECT_EQ(eml->MessagePath(0), dir / "Inbox/1.eml");
    record.PathSuffix = "msgs.dbx";
    record.Source = &kDbxFileKind;
    std::unique_ptr<IMailSource> dbx = OpenFolderSource(record).Source;
    ASSERT_TRUE(dbx);
    EXPECT_EQ(dbx->Count(), 1);
    EXPECT_EQ(dbx->MessagePath(0), "");
    record.PathSuffix = "1.eml"; // not a message file
    const MailboxOpen refused = OpenFolderSource(record);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.Failure.Code(), platform::StatusCode::NotRecognised);
    EXPECT_EQ(refused.Failure.Reason(),
              "not a readable .dbx file (DBX File operation failed. Open or close)");

    // The kind on the record decides, not what the path holds.
    dir.Write("Local/Inbox",
              "From a Thu Jan  1 00:00:00 2004\nS\n\nFrom b Thu Jan  1 00:00:00 2004\nT\n");
    dir.Write("Local/Inbox.sbd/x.eml", "x");
    dir.Write("Maildir/new/1.x", "m");
    dir.MakeDir("Maildir/cur");
    FolderRecord mbox{"Inbox", "Local/Inbox", "Inbox", dir / "Local", 0, &kMboxFileKind};
    std::unique_ptr<IMailSource> box = OpenFolderSource(mbox).Source;
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Count(), 2);
    FolderRecord maildir{"Maildir", "Maildir", "", dir / "Maildir", 0, &kMaildirKind};
    ASSERT_TRUE(OpenFolderSource(maildir));
    EXPECT_EQ(OpenFolderSource(maildir).Source->MessagePath(0), dir / "Maildir/new/1.x");
    FolderRecord container{"Inbox", "Local/Inbox", "", dir / "Local/Inbox.sbd"};
    EXPECT_FALSE(OpenFolderSource(container));
}

// What makes a folder a maildir, also where a copy dropped the empty folders.
TEST(MailSource, MaildirIsToldByItsFolders) {
    const std::string mail = "Subject: s\n\nx\n";
    const struct {
        std::vector<std::string> files; // a name ending in "/" is a folder
        bool maildir;
        int messages;        // as the mailbox at the path gives them
        std::string text;    // of every file
        const char* refusal; // when the path gives no mailbox
    } cases[] = {
        {{"cur/", "new/", "tmp/"}, true, 0, mail, nullptr},
        {{"cur/", "new/1000.A.host"}, true, 1, mail, nullptr},
        {{"cur/", "tmp/"}, true, 0, mail, nullptr},
        {{"cur/1000.A.host:2,S"}, true, 1, mail, nullptr},
        {{"cur/1000.A.host:2,"}, true, 1, mail, nullptr},
        // cur/ alone: taken when its files read as mail, said why not when they do not.
        {{"cur/1000.A.host"}, true, 1, mail, nullptr},
        {{"cur/1000.A.host"}, true, 1, "Return-Path: <a@b>\r\n\r\nx", nullptr},
        {{"cur/notes.txt"}, false, 0, "Dear diary: a day\n", "do not read as mail"},
        {{"cur/notes.txt"}, false, 0, "", "do not read as mail"},
        {{"cur/notes.txt", "a.eml"}, false, 1, "x", nullptr}, // a folder of .eml files
        {{"cur/.hidden:2,S"}, false, 0, mail, nullptr},
        {{"cur/"}, false, 0, mail, nullptr},
        {{"new/1000.A.host", "tmp/"}, false, 0, mail, nullptr},
        {{"cur", "new/"}, false, 0, mail, nullptr}, // cur a file, not a folder
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::string shown;
        for (const std::string& f : c.files)
            shown += f + " ";
        shown += c.text;
        dir.Lay("box/", c.files, c.text);
        const platform::Status maildir = IsMaildir(dir / "box");
        EXPECT_EQ(maildir.IsOk(), c.maildir) << shown;
        EXPECT_EQ(maildir.Code(), c.maildir ? platform::StatusCode::Ok
                                            : platform::StatusCode::NotRecognised)
            << shown;
        const MailboxOpen box = OpenMailbox(dir / "box");
        EXPECT_EQ(box.Kind, c.maildir ? &kMaildirKind : &kEmlFolderKind) << shown;
        if (c.refusal) {
            EXPECT_FALSE(box) << shown;
            EXPECT_EQ(box.Failure.Code(), platform::StatusCode::NotRecognised) << shown;
            EXPECT_NE(box.Failure.Reason().find(c.refusal), std::string::npos)
                << box.Failure.Reason();
            EXPECT_EQ(maildir.Reason(), box.Failure.Reason()) << shown;
            continue;
        }
        ASSERT_TRUE(box) << shown;
        EXPECT_EQ(box.Source->Count(), c.messages) << shown;
    }
}

TEST(MailSource, MboxAndMaildirGiveEveryMessageAndSayWhatIsDamaged) {
    TempDir dir;
    const std::string from = "From anna@example.org Thu Jan  1 00:00:00 2004\n";
    dir.Write("box", from + "Subject: one\n\n>From me\n\n" + from + "Subject: two\n\nok\n\n" +
                         from + "Subject: three\nContent-Length: 100\n\ncut sho");
    dir.Write("Maildir/cur/1000.A:2,S", "A");
    dir.Write("Maildir/new/0999.B", "B");
    dir.Write("Maildir/new/2000.C", "C");
    dir.Write("Maildir/cur/.hidden", "not a message");
    dir.Write("Maildir/tmp/1500.D", "not delivered yet");
    ASSERT_EQ(mkfifo((dir / "Maildir/new/1600.pipe").c_str(), 0600), 0);
    ASSERT_TRUE(WriteBytes(dir / "msgs.dbx", BuildDbxMessageFile({{"S", "s", "n", 0, "t"}})));
    dir.MakeDir("scratch");

    MailboxOpen opened = OpenMailbox(dir / "box");
    ASSERT_TRUE(opened) << opened.Failure.Reason();
    std::unique_ptr<IMailSource> box = std::move(opened.Source);
    ASSERT_EQ(box->Count(), 3);
    std::vector<std::string> texts;
    {
        // One copy serves the messages in turn: rewritten in place, the shorter second text
        // keeps nothing of the first.
        CMessageOnDisk file;
        std::set<std::string> paths;
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(file.Open(*box, i, dir / "scratch"), MailTextWrite::Written);
            texts.push_back(ReadFileText(file.Path()));
            paths.insert(file.Path());
        }
        EXPECT_EQ(paths.size(), 1u);
        // A file put in the copy's place meanwhile is left alone: a new copy is made.
        const std::string theirs = file.Path();
        dir.Write("other", "theirs");
        ASSERT_EQ(::rename((dir / "other").c_str(), theirs.c_str()), 0);
        ASSERT_EQ(file.Open(*box, 0, dir / "scratch"), MailTextWrite::Written);
        EXPECT_NE(file.Path(), theirs);
        EXPECT_EQ(ReadFileText(file.Path()), texts[0]);
        file.Close();
        EXPECT_EQ(ReadFileText(theirs), "theirs");
        ASSERT_EQ(::unlink(theirs.c_str()), 0);
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{"Subject: one\n\nFrom me\n", "Subject: two\n\nok\n"}));
    {
        // The message the file ends inside: said, and what there is is still there to extract.
        CMessageOnDisk cut;
        EXPECT_EQ(cut.Open(*box, 2, dir / "scratch"), MailTextWrite::Cut);
        EXPECT_EQ(ReadFileText(cut.Path()), "Subject: three\nContent-Length: 100\n\ncut sho");
        EXPECT_EQ(box->Describe(2), dir / "box" + ", message 3 (at byte " +
                                        std::to_string(2 * from.size() + 42) + ")");
    }
    EXPECT_TRUE(platform::ListDirectory(dir / "scratch").empty()) << "copies are removed";
    MailHeader header;
    ASSERT_TRUE(box->ReadHeader(1, header)); // from the message's header lines
    EXPECT_EQ(header.Subject, "two");

    std::unique_ptr<IMailSource> maildir = OpenMailbox(dir / "Maildir/").Source;
    ASSERT_TRUE(maildir);
    ASSERT_EQ(maildir->Count(), 3); // by name across new/ and cur/; tmp/, dot files, fifos not
    EXPECT_EQ(maildir->MessagePath(0), dir / "Maildir/new/0999.B");
    EXPECT_EQ(maildir->MessagePath(1), dir / "Maildir/cur/1000.A:2,S");
    EXPECT_EQ(maildir->MessagePath(2), dir / "Maildir/new/2000.C");
    EXPECT_EQ(maildir->Describe(1), maildir->MessagePath(1));

    EXPECT_EQ(OpenMailbox(dir / "msgs.dbx").Source->Describe(0), dir / "msgs.dbx, message 1");
}

// Every kind is told by what is at the path, and a path that gives no mailbox says which kind was
// tried and what it found.
TEST(MailSource, PathIsRecognisedByWhatIsThere) {
    using Code = platform::StatusCode;
    TempDir dir;
    const std::string from = "From a@example.org Thu Jan  1 00:00:00 2004\n";
    dir.Write("Inbox/a.eml", "Subject: a\n\nA");
    dir.Write("Maildir/cur/1000.A:2,S", "A");
    dir.MakeDir("Maildir/new");
    const std::string dbx = BuildDbxMessageFile({{"S", "s", "n", 0, "t"}});
    ASSERT_TRUE(WriteBytes(dir / "msgs.dbx", dbx));
    ASSERT_TRUE(WriteBytes(dir / "cut.dbx", dbx.substr(0, 32)));
    dir.Write("box", from + "Subject: one\n\n1\n\n" + from + "Subject: two\n\n2\n");
    dir.Write("empty", "");
    dir.Write("notes.txt", "Dear diary");
    const std::string pst = dir.Write(
        "mail.pst", ReadFileText(std::string(KESTREL_TEST_DATA) + "/pst/tgh-user1-test-lab.pst"));
    dir.Write("cut.pst", "!BDN");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const struct {
        std::string path;
        const MailSourceKind* kind;
        int messages; // -1: refused
        platform::StatusCode code;
        std::string why;
    } cases[] = {
        {dir / "Inbox", &kEmlFolderKind, 1, Code::Ok, ""},
        {dir / "Maildir", &kMaildirKind, 1, Code::Ok, ""},
        {dir / "msgs.dbx", &kDbxFileKind, 1, Code::Ok, ""},
        {dir / "box", &kMboxFileKind, 2, Code::Ok, ""},
        // Mail programs keep an empty file for every empty folder.
        {dir / "empty", &kMboxFileKind, 0, Code::Ok, ""},
        {dir / "cut.dbx", &kDbxFileKind, -1, Code::Damaged, "not a readable .dbx file ("},
        {dir / "notes.txt", nullptr, -1, Code::NotRecognised,
         "none of a .dbx file, an mbox file, a .pst or .ost file"},
        // An Outlook data file's folders are named after the file.
        {pst + "/Top of Outlook data file/FolderWithMessagesWithAttachments/", &kPstFileKind, 2,
         Code::Ok, ""},
        {pst + "/Top of Outlook data file/Calendar", &kPstFileKind, -1, Code::Missing,
         "the file has no folder"},
        {pst, &kPstFileKind, -1, Code::NotRecognised,
         "an Outlook data file: name one of its folders"},
        {dir / "cut.pst/Inbox", &kPstFileKind, -1, Code::Damaged, "a damaged Outlook data file"},
        {dir / "box/Inbox", nullptr, -1, Code::NotRecognised,
         dir / "box is a file that holds no folders"},
        {dir / "fifo", nullptr, -1, Code::Refused, "is a fifo, not a file"},
        {dir / "missing", nullptr, -1, Code::Missing, "not found"},
        {"", nullptr, -1, Code::Missing, ""},
    };
    for (const auto& c : cases) {
        const MailboxOpen opened = OpenMailbox(c.path);
        const std::string& why = opened.Failure.Reason();
        EXPECT_EQ(opened.Kind, c.kind) << c.path;
        EXPECT_EQ(static_cast<bool>(opened), c.messages >= 0) << c.path << ": " << why;
        EXPECT_EQ(opened ? opened.Source->Count() : -1, c.messages) << c.path;
        EXPECT_EQ(opened.Failure.Code(), c.code) << c.path << ": " << why;
        EXPECT_EQ(why.rfind(c.why, 0), 0u) << c.path << ": " << why;
        EXPECT_EQ(why.empty(), c.why.empty()) << c.path << ": " << why;
    }
}

} // namespace
