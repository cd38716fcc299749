#include <gtest/gtest.h>

#include <sys/stat.h>

#include "ChildProcess.h"
#include "TempDir.h"
#include "engine/RecoveryRecord.h"
#include "platform/FileSystem.h"
#include "platform/UserInterface.h"

namespace {

struct RecordingUi : IMessageBox {
    bool answer = true;
    std::vector<std::string> shown, asked;
    MessageIcon askedIcon = MessageIcon::None;
    void ShowMessage(const std::string& text, const std::string&, MessageIcon) override {
        shown.push_back(text);
    }
    bool AskYesNo(const std::string& text, const std::string&, MessageIcon icon) override {
        asked.push_back(text);
        askedIcon = icon;
        return answer;
    }
};

TEST(RecoveryRecord, NoRecordAsksNothing) {
    TempDir d;
    RecordingUi ui;
    EXPECT_TRUE(ConfirmAfterInterruptedRun(d.path(), ui));
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_TRUE(ui.asked.empty());
}

TEST(RecoveryRecord, RecordIsReplacedShownAndDeleted) {
    TempDir d;
    d.MakeDir("process");
    // A run's record, longer and shorter by turns, then a record written on its own.
    CRecoveryRecord run(d.path());
    for (const char* subject : {"first subject, a long one", "second", "third subject, longer still",
                                "4", "fifth", "sixth subject"}) {
        ASSERT_TRUE(run.Write("a sender <a@b.c>", subject));
        EXPECT_EQ(ReadFileText(d / "process/error.txt"),
                  std::string("From:a sender <a@b.c>\r\nSubject:") + subject);
        EXPECT_LE(platform::ListDirectory(d / "process").size(), 2u);
    }
    WriteRecoveryRecord(d.path(), "Ann <ann@x.org>", "Hello");
    EXPECT_EQ(ReadFileText(d / "process/error.txt"), "From:Ann <ann@x.org>\r\nSubject:Hello");

    for (bool answer : {true, false}) {
        RecordingUi ui;
        ui.answer = answer;
        EXPECT_EQ(ConfirmAfterInterruptedRun(d.path(), ui), answer);
        ASSERT_EQ(ui.shown.size(), 1u);
        EXPECT_EQ(ui.shown[0], "There is a mail parsing error in  previous processing!! \r\n"
                               "From:Ann <ann@x.org>\r\nSubject:Hello");
        EXPECT_EQ(
            ui.asked,
            (std::vector<std::string>{
                "Do you want to continue? \r\n(Please remove error mails before continue!!)"}));
        EXPECT_EQ(ui.askedIcon, MessageIcon::Error); // a stop sign, not a question mark
    }
    DeleteRecoveryRecord(d.path());
    EXPECT_TRUE(platform::ListDirectory(d / "process").empty()); // nothing kept for a next one
}

// The record is replaced at once: a process that dies while writing (here: its file size limit
// is smaller than the new record) leaves the previous record whole, never an empty or cut one.
TEST(RecoveryRecord, DyingWhileWritingLeavesTheLastWholeRecord) {
    TempDir d;
    d.MakeDir("process");
    WriteRecoveryRecord(d.path(), "Ann <ann@x.org>", "Hello");
    RunWithFileSizeLimit(8, [&] {
        WriteRecoveryRecord(d.path(), "Bob <bob@x.org>", "A subject longer than the limit");
    });
    EXPECT_EQ(ReadFileText(d / "process/error.txt"), "From:Ann <ann@x.org>\r\nSubject:Hello");
    EXPECT_EQ(platform::ListDirectory(d / "process").size(), 1u);
}

// Links someone put in the destination lead nowhere: the record is not read, written or deleted
// outside it, and a fifo in its place is not waited on.
TEST(RecoveryRecord, LinksInTheDestinationAreNotFollowed) {
    TempDir d;
    std::string outside = d.Write("outside/error.txt", "someone else's file");
    d.MakeDir("dest1");
    ASSERT_EQ(symlink((d / "outside").c_str(), (d / "dest1/process").c_str()), 0);
    d.MakeDir("dest2/process");
    ASSERT_EQ(symlink(outside.c_str(), (d / "dest2/process/error.txt").c_str()), 0);
    d.MakeDir("dest3/process");
    ASSERT_EQ(mkfifo((d / "dest3/process/error.txt").c_str(), 0600), 0);

    alarm(20);
    RecordingUi ui;
    EXPECT_TRUE(ConfirmAfterInterruptedRun(d / "dest1", ui)); // not the run's folder: no record
    EXPECT_TRUE(ui.shown.empty());
    for (const char* dest : {"dest2", "dest3"}) {
        RecordingUi asked;
        ConfirmAfterInterruptedRun(d / dest, asked);
        EXPECT_EQ(asked.shown,
                  std::vector<std::string>{
                      "There is a mail parsing error in  previous processing!! \r\n"})
            << dest;
    }
    alarm(0);
    for (const char* dest : {"dest1", "dest2"}) {
        WriteRecoveryRecord(d / dest, "Eve", "x");
        DeleteRecoveryRecord(d / dest);
    }
    WriteRecoveryRecord(d / "dest2", "Eve", "first");
    // Nor through a second name of someone's file where the run keeps the record it replaced.
    ASSERT_EQ(link(outside.c_str(), (d / "dest2/process/error.txt.next").c_str()), 0);
    WriteRecoveryRecord(d / "dest2", "Eve", "kept");
    EXPECT_EQ(ReadFileText(outside), "someone else's file");
    EXPECT_FALSE(std::filesystem::is_symlink(d / "dest2/process/error.txt"));
    EXPECT_EQ(ReadFileText(d / "dest2/process/error.txt"), "From:Eve\r\nSubject:kept");

    // Nor through a link planted there, to a file that reads like a record; and a file of the
    // user's under that name is neither written over nor removed, while a spare that an
    // interrupted run left is taken and goes at the end.
    const std::string outsideRecord = d.Write("outside/record", "From:x\r\nSubject:y");
    d.MakeDir("dest5/process");
    ASSERT_EQ(symlink(outsideRecord.c_str(), (d / "dest5/process/error.txt.next").c_str()), 0);
    d.Write("dest6/process/error.txt.next", "my own notes");
    d.Write("dest7/process/error.txt.next", "From:Eve\r\nSubject:0");
    for (const char* dest : {"dest5", "dest6", "dest7"}) {
        CRecoveryRecord run(d / dest);
        for (const char* subject : {"1", "2", "3"}) {
            ASSERT_TRUE(run.Write("Eve", subject)) << dest;
            EXPECT_EQ(ReadFileText(d / (std::string(dest) + "/process/error.txt")),
                      std::string("From:Eve\r\nSubject:") + subject) << dest;
        }
        DeleteRecoveryRecord(d / dest);
        EXPECT_EQ(ReadFileText(outsideRecord), "From:x\r\nSubject:y") << dest;
        EXPECT_FALSE(platform::FileExists(d / (std::string(dest) + "/process/error.txt"))) << dest;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(d / "dest5/process/error.txt.next"));
    EXPECT_EQ(ReadFileText(d / "dest6/process/error.txt.next"), "my own notes");
    EXPECT_TRUE(platform::ListDirectory(d / "dest7/process").empty());

    // Nor where a run keeps its two record files open and someone puts a name of theirs in the
    // place of one.
    d.MakeDir("dest4/process");
    CRecoveryRecord run(d / "dest4");
    for (const char* subject : {"1", "2", "3", "4"})
        ASSERT_TRUE(run.Write("Eve", subject));
    for (const char* name : {"error.txt.next", "error.txt"}) {
        const std::string there = d / (std::string("dest4/process/") + name);
        ASSERT_EQ(unlink(there.c_str()), 0);
        ASSERT_EQ(link(outside.c_str(), there.c_str()), 0);
        for (const char* subject : {"5", "6", "7"}) {
            EXPECT_TRUE(run.Write("Eve", subject));
            EXPECT_EQ(ReadFileText(outside), "someone else's file") << name;
            EXPECT_EQ(ReadFileText(d / "dest4/process/error.txt"),
                      std::string("From:Eve\r\nSubject:") + subject) << name;
        }
    }
}

TEST(RecoveryRecord, OnlyTheFirstThousandBytesAreShown) {
    TempDir d;
    d.Write("process/error.txt", std::string(5000, 'x'));
    RecordingUi ui;
    ConfirmAfterInterruptedRun(d.path(), ui);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].size(),
              std::string("There is a mail parsing error in  previous processing!! \r\n").size() +
                  1000);
}

} // namespace
