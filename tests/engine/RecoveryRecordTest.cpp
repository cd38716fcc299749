#include <gtest/gtest.h>

#include "TempDir.h"
#include "app/UserInterface.h"
#include "engine/RecoveryRecord.h"
#include "platform/FileSystem.h"

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
    WriteRecoveryRecord(d.path(), "a much longer sender <a@b.c>", "first subject");
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
    EXPECT_FALSE(platform::FileExists(d / "process/error.txt"));
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
