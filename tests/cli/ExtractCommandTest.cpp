#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ChildProcess.h"
#include "MailFixtures.h"
#include "RunProcess.h"
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
        RunAsUnprivilegedUser({m_root.path()}, [&] {
            auto r = Extract({"--all-files", m_root / "Inbox", m_root / "d"});
            EXPECT_EQ(r.exitCode, 3) << r.err;
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        });
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
