#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>

#include "ChildProcess.h"
#include "MailFixtures.h"
#include "RunProcess.h"
#include "SharedCorpus.h"
#include "platform/FileSystem.h"

namespace {

class CliExtract : public testing::Test {
protected:
    void SetUp() override {
        m_root.Write(
            "config/VANDREL/KESTL/qor.ini",
            "[Option]\r\nExtractOnlyPicture=1\r\nAttachmentSizeLimit=0\r\nHTMLItemNumber=10\r\n");
        m_root.Write(
            "Inbox/a.eml",
            MakeMessage("Photos", "Ann <ann@example.org>", "Tue, 15 Nov 1994 08:12:31 +0000",
                        {{"p.jpg", "jpeg bytes", "image/jpeg"}, {"n.txt", "notes", "text/plain"}}));
        m_root.Write("Inbox/b.eml", MakeMessage("Holiday plans", "Bob <bob@example.org>", "",
                                                {{"plan.pdf", "%PDF", "application/pdf"}}));
    }
    ProcessResult Extract(std::vector<std::string> args) {
        args.insert(args.begin(), {"kestrel-cli", "extract"});
        return RunProgram(args, {"XDG_CONFIG_HOME=" + (m_root / "config")}, m_root.path());
    }
    TempDir m_root;
};

TEST_F(CliExtract, OptionsReachTheRun) {
    // The setting says pictures only.
    auto r = Extract({m_root / "Inbox", m_root / "d1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(platform::FileExists(m_root / "d1/p.jpg"));
    EXPECT_FALSE(platform::FileExists(m_root / "d1/n.txt"));
    EXPECT_TRUE(platform::FileExists(m_root / "d1/report.htm"));

    r = Extract({"--all-files", "--folder-subdir", "--folder-name", "My: Box", m_root / "Inbox/",
                 m_root / "d2"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* f : {"p.jpg", "n.txt", "plan.pdf"})
        EXPECT_TRUE(platform::FileExists(m_root / "d2/My--Box/" + f)) << f;

    r = Extract(
        {"--all-files", "--subject-not-contains", "HOLIDAY", m_root / "Inbox", m_root / "d3"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string page = ReadFileText(m_root / "d3/report/report_page1.htm");
    EXPECT_NE(page.find(">Photos</td>"), std::string::npos); // as the mail has it
    EXPECT_EQ(page.find("Holiday"), std::string::npos);
    // The dropped mail's attachment is gone with it.
    EXPECT_FALSE(platform::FileExists(m_root / "d3/plan.pdf"));

    // The keyword's limit counts characters: forty accented ones (eighty bytes) are taken.
    std::string accented;
    for (int i = 0; i < 40; ++i)
        accented += "\xC3\xA9";
    r = Extract({"--subject-contains", accented, m_root / "Inbox", m_root / "d4"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(CliExtract, InterruptedRunQuestion) {
    m_root.Write("d/process/error.txt", "From:x\r\nSubject:y");
    auto r = Extract({m_root / "Inbox", m_root / "d"}); // no terminal: No
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(
        r.err.find(
            "There is a mail parsing error in  previous processing!! \r\nFrom:x\r\nSubject:y"),
        std::string::npos);
    EXPECT_FALSE(platform::FileExists(m_root / "d/p.jpg"));
    r = Extract({"--no", m_root / "Inbox", m_root / "d"});
    EXPECT_EQ(r.exitCode, 1);
    r = Extract({"--yes", m_root / "Inbox", m_root / "d"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(platform::FileExists(m_root / "d/p.jpg"));
    EXPECT_FALSE(platform::FileExists(m_root / "d/process/error.txt"));
}

TEST_F(CliExtract, WhatCouldNotBeDoneIsSaidAndFailsTheCommand) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        const char* said;
    } cases[] = {
        {"unreadable message", [&] { chmod((m_root / "Inbox/b.eml").c_str(), 0); },
         "cannot read the message "},
        {"read-only destination", [&] { chmod(m_root.MakeDir("d").c_str(), 0555); },
         "(read-only or not permitted)"},
        {"report folder taken by a file", [&] { m_root.Write("d/report", "x"); },
         "could not be written completely"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(m_root / "d");
        chmod((m_root / "Inbox/b.eml").c_str(), 0644);
        c.prepare();
        // As root every file is readable and every folder writable: run as an ordinary user.
        RunWithoutPrivileges([&] {
            auto r = Extract({"--all-files", m_root / "Inbox", m_root / "d"});
            EXPECT_EQ(r.exitCode, 3) << r.err;
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        });
    }
}

// The files a run wrote (the report's pages with the destination's path taken out), by name.
std::map<std::string, std::string> Written(const std::string& dest) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dest)) {
        if (!e.is_regular_file()) continue;
        // The record of what was done names the mailbox, which differs by kind.
        if (e.path().filename() == "done.txt") continue;
        std::string text = ReadFileText(e.path().string());
        for (std::size_t at; (at = text.find(dest)) != std::string::npos;)
            text.replace(at, dest.size(), "DEST");
        files[e.path().string().substr(dest.size())] = text;
    }
    return files;
}

TEST_F(CliExtract, MboxAndMaildirGiveWhatTheirMessagesAsEmlFilesGive) {
    // A text attachment kept as it is, with lines an mbox writer quotes (the line break before
    // the boundary belongs to the boundary).
    const std::string letter = "From the mountains\r\n>From the sea\r\nyours";
    m_root.Write("Inbox/c.eml", "From: Cy <cy@example.org>\r\nSubject: Letter\r\nDate: Wed, 16 "
                                "Nov 1994 10:00:00 +0000\r\nMIME-Version: 1.0\r\nContent-Type: "
                                "multipart/mixed; boundary=\"L\"\r\n\r\n--L\r\nContent-Type: "
                                "text/plain\r\n\r\nSee below.\r\n--L\r\nContent-Type: text/plain; "
                                "name=\"letter.txt\"\r\nContent-Transfer-Encoding: 8bit\r\n"
                                "Content-Disposition: attachment; filename=\"letter.txt\"\r\n\r\n" +
                                    letter + "\r\n--L--\r\n");
    std::string box;
    int n = 0;
    for (const char* name : {"a.eml", "b.eml", "c.eml"}) {
        std::string text = ReadFileText(m_root / "Inbox/" + name);
        m_root.Write(std::string("Maildir/") + (n == 2 ? "new/" : "cur/") + std::to_string(n) +
                         ".msg:2,S",
                     text);
        ++n;
        for (std::size_t at = 0; (at = text.find("From ", at)) != std::string::npos; at += 6)
            if (at == 0 || text[at - 1] == '\n' || text[at - 1] == '>') {
                std::size_t start = at;
                while (start > 0 && text[start - 1] == '>')
                    --start;
                if (start == 0 || text[start - 1] == '\n') text.insert(start, ">");
            }
        box += "From someone@example.org Sat Jan  1 12:00:00 2000\r\n" + text + "\r\n";
    }
    m_root.Write("box", box);
    m_root.MakeDir("Maildir/tmp");

    auto r = Extract({"--all-files", "--folder-name", "Inbox", m_root / "Inbox", m_root / "eml"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto expected = Written(m_root / "eml");
    EXPECT_EQ(expected.at("/letter.txt"), letter);
    EXPECT_EQ(expected.count("/p.jpg") + expected.count("/plan.pdf"), 2u);
    for (const char* mailbox : {"box", "Maildir"}) {
        SCOPED_TRACE(mailbox);
        r = Extract({"--all-files", "--folder-name", "Inbox", m_root / mailbox, m_root / "out"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Written(m_root / "out"), expected);
        std::filesystem::remove_all(m_root / "out");
    }

    // Saved as .eml files, the mbox gives back its messages as they were written.
    r = RunProgram({"kestrel-cli", "save-eml", m_root / "box", m_root / "saved"},
                   {"XDG_CONFIG_HOME=" + (m_root / "config")}, m_root.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::multiset<std::string> saved, originals;
    for (const auto& [name, text] : Written(m_root / "saved"))
        saved.insert(text);
    for (const char* name : {"a.eml", "b.eml", "c.eml"})
        originals.insert(ReadFileText(m_root / "Inbox/" + name));
    EXPECT_EQ(saved, originals);

    // A file cut short in its last message: the rest is extracted, that message too as far as
    // it goes, and the command says which message and fails.
    m_root.Write("cut", box + "From x@example.org Sat Jan  1 12:00:00 2000\r\n" +
                            MakeMessage("Cut", "Dee <d@example.org>", "",
                                        {{"whole.png", "png bytes", "image/png"},
                                         {"half.bin", std::string(3000, 'h')}})
                                .substr(0, 900));
    r = Extract({"--all-files", m_root / "cut", m_root / "cutout"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.err.find("cannot read the message " + m_root / "cut" + ", message 4 (at byte " +
                         std::to_string(box.size()) + ")"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFileText(m_root / "cutout/whole.png"), "png bytes");
    EXPECT_EQ(ReadFileText(m_root / "cutout/letter.txt"), letter);

    // A pipe or a file that is no mailbox is refused before anything is written.
    ASSERT_EQ(mkfifo((m_root / "fifo").c_str(), 0600), 0);
    for (const char* refused : {"fifo", "config/VANDREL/KESTL/qor.ini"}) {
        r = Extract({m_root / refused, m_root / "never"});
        EXPECT_EQ(r.exitCode, 2) << refused;
        EXPECT_NE(r.err.find("no mail folder at"), std::string::npos) << r.err;
        EXPECT_FALSE(platform::FileExists(m_root / "never/report.htm"));
    }
}

TEST_F(CliExtract, AnAttachmentThatCannotBeWrittenFailsTheRunAndIsNotReported) {
    // A file size limit binds root too: the big attachment's write fails part way (EFBIG).
    m_root.Write("Inbox/c.eml", MakeMessage("Scans", "Cy <cy@example.org>",
                                            "Tue, 15 Nov 2011 08:12:31 +0000",
                                            {{"big.tif", std::string(200000, 'b'), "image/tiff"},
                                             {"small.gif", "GIF89a", "image/gif"}}));
    struct Case {
        const char* command;
        std::vector<std::string> args;
        std::string folder; // where the attachments land
    } cases[] = {
        {"extract", {"--all-files", m_root / "Inbox", m_root / "d1"}, m_root / "d1"},
        {"wizard", {m_root / "d2", "--all", "Inbox=" + (m_root / "Inbox")}, m_root / "d2/Inbox"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        RunInChild(
            [&] {
                std::vector<std::string> args{"kestrel-cli", c.command};
                args.insert(args.end(), c.args.begin(), c.args.end());
                auto r = RunProgram(args, {"XDG_CONFIG_HOME=" + (m_root / "config")},
                                    m_root.path());
                EXPECT_EQ(r.exitCode, 3) << r.err;
                EXPECT_NE(r.err.find(std::string("kestrel-cli ") + c.command +
                                     ": 1 attachment(s) could not be written into "),
                          std::string::npos)
                    << r.err;
                EXPECT_NE(r.err.find(": File too large"), std::string::npos) << r.err;
            },
            [] {
                struct rlimit limit {};
                signal(SIGXFSZ, SIG_IGN);
                return getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                       (limit.rlim_cur = 64 * 1024, setrlimit(RLIMIT_FSIZE, &limit) == 0);
            });
        // The rest of the message is there; nothing of the big file is, and the report does
        // not list it.
        EXPECT_TRUE(platform::FileExists(c.folder + "/small.gif"));
        EXPECT_FALSE(platform::FileExists(c.folder + "/big.tif"));
        const std::string page = ReadFileText(c.folder + "/report/report_page1.htm");
        EXPECT_NE(page.find("small.gif"), std::string::npos);
        EXPECT_EQ(page.find("big.tif"), std::string::npos);
    }
}

TEST_F(CliExtract, UsageErrors) {
    for (auto args : std::vector<std::vector<std::string>>{
             {},
             {m_root / "Inbox"},
             {"--bogus", m_root / "Inbox", m_root / "d"},
             {"--subject-contains"},
             {"--subject-contains", std::string(41, 'k'), m_root / "Inbox", m_root / "d"},
             {"--subject-contains", "a", "--subject-not-contains", "b", m_root / "Inbox",
              m_root / "d"},
             {m_root / "NoSuchFolder", m_root / "d"},
         }) {
        auto r = Extract(args);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find("usage: kestrel-cli extract"), std::string::npos);
    }
    auto help = Extract({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--subject-not-contains"), std::string::npos);
}

} // namespace

// The two real winmail.dat messages of the shared corpus through a whole run: the files inside
// are attachments like any other, for the pictures filter, the dating and the report.
TEST_F(CliExtract, FilesInsideWinmailDatJoinTheRun) {
    const std::string corpus = std::string(KESTREL_SHARED_DIR) + "/corpus/eml/";
    for (const char* name : {"mk-tnef-rich-text.eml", "mk-tnef-ukr.eml"}) {
        REQUIRE_SHARED_FILE(corpus + name);
        m_root.Write(std::string("Tnef/") + name, ReadFileText(corpus + name));
    }
    const std::string ini = "config/VANDREL/KESTL/qor.ini";
    auto fnv = [](const std::string& bytes) {
        std::uint64_t h = 0xcbf29ce484222325ULL;
        for (unsigned char c : bytes)
            h = (h ^ c) * 0x100000001b3ULL;
        return h;
    };
    const std::string kitten = "kitten-playing-with-a-christmas-tree.jpg";
    const std::string again = "kitten-playing-with-a-christmas-tree (1).jpg";

    // Every file, undated: each inner file keeps the date its sender's file had. The Outlook
    // 2016 stream also holds two attached messages (one with the same picture inside), so its
    // winmail.dat stays; the other holds only the message text and stays as it is.
    m_root.Write(ini, "[Option]\r\nExtractOnlyPicture=0\r\nSetAttachmentDate=0\r\n"
                      "AttachmentSizeLimit=0\r\nHTMLItemNumber=10\r\n");
    auto r = Extract({m_root / "Tnef", m_root / "all"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const std::string& name : {kitten, again}) {
        const std::string bytes = ReadFileText(m_root / "all/" + name);
        EXPECT_EQ(bytes.size(), 375081u) << name;
        EXPECT_EQ(fnv(bytes), 0xfbb63ef0a886e303ULL) << name;
    }
    EXPECT_EQ(ModTime(m_root / "all/" + kitten), 1544886212); // 15 Dec 2018 10:03:32 -0500
    EXPECT_EQ(ModTime(m_root / "all/" + again), 1544885363);  // 14:49:23 UTC
    std::set<std::string> dats;
    for (const char* name : {"winmail.dat", "winmail (1).dat"})
        dats.insert(std::to_string(ReadFileText(m_root / "all/" + name).size()));
    EXPECT_EQ(dats, (std::set<std::string>{"821421", "9566"}));
    std::string page = ReadFileText(m_root / "all/report/report_page1.htm");
    EXPECT_NE(page.find(kitten), std::string::npos);

    // Pictures only, dated as the mail: the pictures inside pass the filter, the .dat does not.
    m_root.Write(ini, "[Option]\r\nExtractOnlyPicture=1\r\nSetAttachmentDate=1\r\n"
                      "AttachmentSizeLimit=0\r\nHTMLItemNumber=10\r\n");
    r = Extract({m_root / "Tnef", m_root / "pictures"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The mail's Date: wall clock (10:07:14) on this machine's clock, as the run dates any file.
    std::tm sent{};
    sent.tm_year = 2018 - 1900;
    sent.tm_mon = 11;
    sent.tm_mday = 15;
    sent.tm_hour = 10;
    sent.tm_min = 7;
    sent.tm_sec = 14;
    sent.tm_isdst = -1;
    const std::time_t dated = std::mktime(&sent);
    EXPECT_EQ(ModTime(m_root / "pictures/" + kitten), dated);
    EXPECT_EQ(ModTime(m_root / "pictures/" + again), dated);
    EXPECT_FALSE(platform::FileExists(m_root / "pictures/winmail.dat"));
    EXPECT_FALSE(platform::FileExists(m_root / "pictures/winmail (1).dat"));
}
