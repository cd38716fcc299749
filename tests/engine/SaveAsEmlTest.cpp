#include <gtest/gtest.h>

#include "DbxWriter.h"
#include "ScriptedProgress.h"
#include "ScriptedUi.h"
#include "SharedCorpus.h"
#include "TempDir.h"
#include "engine/SaveAsEml.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace {

DbxTestMessage Mail(const std::string& subject, const std::string& body) {
    DbxTestMessage m;
    m.subject = subject;
    m.sender = "a@example.org";
    m.text = "Subject: " + subject + "\r\n\r\n" + body + "\r\n";
    return m;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : platform::ListDirectory(folder))
        names.push_back(e.name);
    return names;
}

class SaveAsEmlTest : public ::testing::Test {
protected:
    std::string Store(const std::vector<DbxTestMessage>& messages, const DbxWriterOptions& o = {}) {
        std::string path = src / "Inbox.dbx";
        EXPECT_TRUE(WriteBytes(path, BuildDbxMessageFile(messages, o)));
        return path;
    }
    SaveEmlResult Save(const std::string& source, int cancelAfter = -1) {
        progress = std::make_unique<CScriptedProgress>(cancelAfter);
        ui.defaultAnswer = true;
        return SaveMessagesAsEml(source, dest.path(), ui, *progress);
    }
    TempDir src, dest;
    ScriptedMessageBox ui;
    std::unique_ptr<CScriptedProgress> progress;
};

TEST_F(SaveAsEmlTest, SavesEveryMessageFromTheLastIndexDown) {
    std::vector<DbxTestMessage> mails = {Mail("Hello", "one"), Mail("Hello", "two"),
                                         Mail("Re: test", "three")};
    std::string source = Store(mails);
    SaveEmlResult r = Save(source);
    EXPECT_EQ(r.outcome, SaveEmlOutcome::Finished);
    EXPECT_EQ(r.saved, 3);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_TRUE(ui.shown[0].question);
    EXPECT_EQ(ui.shown[0].text, "Save All Messages(*.eml) to Folder:" + dest.path());
    EXPECT_EQ(Names(dest.path()),
              (std::vector<std::string>{"0000Hello.eml", "0001Hello.eml", "0002Re__test.eml"}));
    EXPECT_EQ(ReadFileText(dest / "0000Hello.eml"), mails[0].text);
    EXPECT_EQ(ReadFileText(dest / "0002Re__test.eml"), mails[2].text);
    EXPECT_EQ(progress->StatusLines, (std::vector<std::string>{"Re: test", "Hello", "Hello"}));
    ASSERT_FALSE(progress->TitleLines.empty());
    EXPECT_EQ(progress->TitleLines.back(), "Current Folder: " + source + "(3/3)");
    EXPECT_EQ(progress->GetPos(), 3);
    EXPECT_FALSE(progress->IsOpen());

    // A second save into the same folder adds only what is not there yet: a message whose
    // bytes are there under its name (or a numbered one) is not saved again, while another
    // message that takes a name already there gets a counter.
    dest.Write("0001Hello.eml", "someone else's file");
    r = Save(Store({mails[0], mails[1], mails[2], Mail("Hello", "four")}));
    EXPECT_EQ(r.saved, 2);
    EXPECT_EQ(r.alreadyThere, 2);
    EXPECT_EQ(Names(dest.path()), (std::vector<std::string>{"0000Hello.eml", "0001Hello.eml",
                                                            "0001Hello0.eml", "0002Re__test.eml",
                                                            "0003Hello.eml"}));
    EXPECT_EQ(ReadFileText(dest / "0001Hello0.eml"), mails[1].text);
    EXPECT_EQ(ReadFileText(dest / "0001Hello.eml"), "someone else's file");
    r = Save(Store({mails[0], mails[1], mails[2], Mail("Hello", "four")}));
    EXPECT_EQ(r.saved, 0);
    EXPECT_EQ(r.alreadyThere, 4);
    EXPECT_EQ(Names(dest.path()).size(), 5u);
}

TEST_F(SaveAsEmlTest, DeclinedQuestionWritesNothing) {
    std::string source = Store({Mail("a", "b")});
    progress = std::make_unique<CScriptedProgress>();
    ui.defaultAnswer = false;
    EXPECT_EQ(SaveMessagesAsEml(source, dest.path(), ui, *progress).outcome,
              SaveEmlOutcome::Declined);
    EXPECT_TRUE(Names(dest.path()).empty());
    EXPECT_TRUE(progress->Calls.empty());
}

TEST_F(SaveAsEmlTest, CancelAfterTheFirstMessageLeavesOneFile) {
    SaveEmlResult r = Save(Store({Mail("a", "1"), Mail("b", "2"), Mail("c", "3")}), 1);
    EXPECT_EQ(r.outcome, SaveEmlOutcome::Cancelled);
    EXPECT_EQ(Names(dest.path()), std::vector<std::string>{"0002c.eml"});
    EXPECT_EQ(ui.LastText(), "Progress Cancelled");
    EXPECT_FALSE(progress->IsOpen());
}

TEST_F(SaveAsEmlTest, UnreadableMessageIsCountedAndTheOthersAreSaved) {
    for (int broken : {0, 1}) { // a broken item, then a broken text chain
        TempDir out;
        DbxWriterOptions o;
        (broken == 0 ? o.unterminatedSubjectMessage : o.chainLoopMessage) = 1;
        std::string source = Store({Mail("a", "1"), Mail("b", "2"), Mail("c", "3")}, o);
        progress = std::make_unique<CScriptedProgress>();
        ui.defaultAnswer = true;
        SaveEmlResult r = SaveMessagesAsEml(source, out.path(), ui, *progress);
        EXPECT_EQ(r.outcome, SaveEmlOutcome::ReadError);
        EXPECT_EQ(ui.LastText(), "Extract eMail Error");
        EXPECT_EQ(r.unreadable, 1);
        EXPECT_EQ(r.saved, 2);
        // The broken message leaves no half file behind, and the one after it is saved.
        EXPECT_EQ(Names(out.path()), (std::vector<std::string>{"0000a.eml", "0002c.eml"}));
    }
}

TEST_F(SaveAsEmlTest, FileThatIsNotAStoreSavesNothing) {
    src.Write("Inbox.dbx", "not a store");
    EXPECT_EQ(Save(src / "Inbox.dbx").outcome, SaveEmlOutcome::OpenFailed);
    EXPECT_EQ(Save("").outcome, SaveEmlOutcome::NoSource);
    EXPECT_TRUE(Names(dest.path()).empty());
}

TEST_F(SaveAsEmlTest, AwkwardSubjectsStillGiveFiles) {
    std::vector<DbxTestMessage> mails = {Mail("a/b\\c", "1"),
                                         Mail("tab\there\x01", "2"),
                                         Mail("star*pipe|", "3"),
                                         Mail(std::string(400, 'x'), "4"),
                                         Mail(std::string(300, '\xC3'), "5"),
                                         Mail("..", "6"),
                                         Mail("Estagi\xe1rio \x80 50", "7")};
    SaveEmlResult r = Save(Store(mails));
    EXPECT_EQ(r.saved, 7);
    EXPECT_EQ(r.failed, 0);
    std::vector<std::string> names = Names(dest.path());
    ASSERT_EQ(names.size(), 7u);
    EXPECT_EQ(names[0], "0000a_b_c.eml");
    EXPECT_EQ(names[1], "0001tab_here_.eml");
    EXPECT_EQ(names[2], "0002star*pipe|.eml");
    EXPECT_EQ(names[5], "0005__.eml");
    // The index's code page text becomes UTF-8, so the name reads right in a file manager.
    EXPECT_EQ(names[6], "0006Estagi\u00e1rio_\u20ac_50.eml");
    for (const std::string& n : names)
        EXPECT_LE(n.size(), 255u);
}

TEST_F(SaveAsEmlTest, MissingDestinationCountsEveryMessageAsFailed) {
    std::string source = Store({Mail("a", "1"), Mail("b", "2")});
    progress = std::make_unique<CScriptedProgress>();
    ui.defaultAnswer = true;
    SaveEmlResult r = SaveMessagesAsEml(source, dest / "missing", ui, *progress);
    EXPECT_EQ(r.outcome, SaveEmlOutcome::Finished);
    EXPECT_EQ(r.saved, 0);
    EXPECT_EQ(r.failed, 2);
}

// Damaged files from the writer, saved with recovery: which messages come back, and each once.
struct DamagedStore {
    const char* name;
    std::function<void(DbxWriterOptions&)> change;
    bool cutTheTree; // the file loses its last bytes, where the writer puts the index tree
    // The files expected, blank-separated; each name ends in the message (a to d) it holds.
    const char* files;
    int fromScan;
    int unreadable;
};

TEST_F(SaveAsEmlTest, RecoveryFindsWhatTheIndexNoLongerReaches) {
    auto zeroRoot = [](DbxWriterOptions& o) -> DbxWriterOptions& {
        o.overrideIndexPointer = true;
        o.indexPointer = 0;
        return o;
    };
    auto sound = [](DbxWriterOptions&) {};
    const std::vector<DamagedStore> cases = {
        {"Sound", sound, false, "0000a 0001b 0002c 0003d", 0, 0},
        {"IndexLostOne", [](DbxWriterOptions& o) { o.unindexedMessage = 1; }, false,
         "0000a 0001c 0002d 0003b", 1, 0},
        {"RootZeroed", zeroRoot, false, "0000a 0001b 0002c 0003d", 4, 0},
        {"IndexTruncated", sound, true, "0000a 0001b 0002c 0003d", 4, 0},
        // A chain that comes back to its start has no first block to be found by.
        {"ChainCycles", [&](DbxWriterOptions& o) { zeroRoot(o).chainLoopMessage = 2; }, false,
         "0000a 0001b 0002d", 3, 0},
        // Found, but it cannot be read whole: counted, and no half file is left.
        {"ChainRunsOffTheEnd", [&](DbxWriterOptions& o) { zeroRoot(o).chainOutsideMessage = 1; },
         false, "0000a 0002c 0003d", 3, 1},
        {"CycleWithASoundIndex", [](DbxWriterOptions& o) { o.chainLoopMessage = 2; }, false,
         "0000a 0001b 0003d", 0, 1},
    };
    for (const DamagedStore& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<DbxTestMessage> mails;
        for (char m : std::string("abcd"))
            mails.push_back(Mail(std::string(1, m), "text of message " + std::string(40, m)));
        DbxWriterOptions o;
        o.blockTextSize = 16; // chains of many blocks, the subject in the first
        c.change(o);
        std::string bytes = BuildDbxMessageFile(mails, o);
        if (c.cutTheTree) bytes.resize(bytes.size() - 12);
        ASSERT_TRUE(WriteBytes(src / "Inbox.dbx", bytes));
        TempDir out;
        progress = std::make_unique<CScriptedProgress>();
        ui.defaultAnswer = true;
        SaveEmlResult r = SaveMessagesAsEml(src / "Inbox.dbx", out.path(), ui, *progress, true);
        EXPECT_EQ(r.savedFromScan, c.fromScan);
        EXPECT_EQ(r.unreadable, c.unreadable);
        EXPECT_EQ(r.outcome, c.unreadable ? SaveEmlOutcome::ReadError : SaveEmlOutcome::Finished);
        std::vector<std::string> expected;
        std::istringstream files(c.files);
        for (std::string name; files >> name;) {
            expected.push_back(name + ".eml");
            EXPECT_EQ(ReadFileText(out / (name + ".eml")), mails[name.back() - 'a'].text) << name;
        }
        EXPECT_EQ(r.saved, static_cast<int>(expected.size()));
        EXPECT_EQ(Names(out.path()), expected);
        EXPECT_FALSE(progress->IsOpen());
    }

    // Without recovery a damaged index still saves nothing, and text that does not start like
    // a mail is no message to the scan (the index saves it all the same).
    DbxWriterOptions o;
    zeroRoot(o);
    std::vector<DbxTestMessage> mails = {Mail("a", "one"), Mail("b", "two")};
    mails[0].text = "Subject: =?iso-8859-1?Q?caf=E9?=\r\n =?utf-8?B?IGF1IGxhaXQ=?=\r\n\r\none";
    mails[1].text = "no header at all, just text\r\n";
    std::string damaged = Store(mails, o);
    EXPECT_EQ(Save(damaged).outcome, SaveEmlOutcome::OpenFailed);
    progress = std::make_unique<CScriptedProgress>();
    SaveEmlResult r = SaveMessagesAsEml(damaged, dest.path(), ui, *progress, true);
    EXPECT_EQ(r.saved, 1);
    // The name comes from the message's own subject, its encoded words decoded.
    EXPECT_EQ(Names(dest.path()), std::vector<std::string>{"0000caf\u00e9_au_lait.eml"});
    TempDir soundOut;
    progress = std::make_unique<CScriptedProgress>();
    r = SaveMessagesAsEml(Store(mails), soundOut.path(), ui, *progress, true);
    EXPECT_EQ(r.saved, 2);
    EXPECT_EQ(r.savedFromScan, 0);
}

// The mail program's own file: its index and the scan agree on every message.
TEST_F(SaveAsEmlTest, RecoveryOfARealStoreWithoutItsIndex) {
    const std::string real =
        std::string(KESTREL_SHARED_DIR) + "/corpus/dbx/iped-test_OutlookDBX.dbx";
    REQUIRE_SHARED_FILE(real);
    std::string bytes = ReadFileText(real);
    ASSERT_TRUE(WriteBytes(src / "Inbox.dbx", bytes));
    TempDir byIndex, byScan;
    progress = std::make_unique<CScriptedProgress>();
    ui.defaultAnswer = true;
    SaveEmlResult r = SaveMessagesAsEml(src / "Inbox.dbx", byIndex.path(), ui, *progress, true);
    EXPECT_EQ(r.saved, 28);
    EXPECT_EQ(r.savedFromScan, 0);

    bytes.replace(0xE4, 4, std::string(4, '\0'));
    ASSERT_TRUE(WriteBytes(src / "Inbox.dbx", bytes));
    progress = std::make_unique<CScriptedProgress>();
    r = SaveMessagesAsEml(src / "Inbox.dbx", byScan.path(), ui, *progress, true);
    EXPECT_EQ(r.outcome, SaveEmlOutcome::Finished);
    EXPECT_EQ(r.savedFromScan, 28);
    auto texts = [](const TempDir& dir) {
        std::vector<std::string> all;
        for (const std::string& name : Names(dir.path()))
            all.push_back(ReadFileText(dir / name));
        std::sort(all.begin(), all.end());
        return all;
    };
    EXPECT_EQ(texts(byScan), texts(byIndex));
    // The names come from the messages' own subjects, their encoded words decoded.
    std::vector<std::string> names = Names(byScan.path());
    EXPECT_NE(
        std::find(
            names.begin(), names.end(),
            "0023Fw__UCB___Novidades__Per\u00edodo_para_revis\u00e3o_de_men\u00e7\u00e3o.eml"),
        names.end());
    for (const std::string& name : names)
        EXPECT_EQ(name.find("=_"), std::string::npos) << name;
}

TEST(MakeUniqueEmlName, ReplacesWhatTheRuleReplaces) {
    TempDir dir;
    struct Case {
        const char* base;
        const char* name;
    } cases[] = {
        {"Re: test  ", "Re__test"},
        {"a.b,c!d?e-f", "a_b_c_d_e_f"},
        {"<x> \"y\"", "(x)__y_"},
        {"a\\b/c", "a_b_c"},
        {"", ""},
        {"caf\xC3\xA9 #1", "caf\xC3\xA9_#1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeUniqueEmlName(dir.path(), c.base), c.name) << c.base;
}

// Every number is looked at, however many are taken (bench/names.sh counts past 10,000): the
// first free one is handed out, and a taken one never.
TEST(MakeUniqueEmlName, CountsPastEveryTakenName) {
    TempDir dir;
    dir.Write("Hello.eml", "x");
    EXPECT_EQ(MakeUniqueEmlName(dir.path(), "Hello"), "Hello0");
    for (int k : {0, 1, 2, 4})
        dir.Write("Hello" + std::to_string(k) + ".eml", "x");
    ASSERT_EQ(symlink("nowhere", (dir / "Hello5.eml").c_str()), 0); // in the way as well
    EXPECT_EQ(MakeUniqueEmlName(dir.path(), "Hello"), "Hello3");
    std::string path;
    for (const char* name : {"Hello3.eml", "Hello6.eml"}) {
        int fd = CreateUniqueEmlFile(dir.path(), "Hello", path);
        ASSERT_GE(fd, 0);
        close(fd);
        EXPECT_EQ(path, dir / name);
    }
    EXPECT_EQ(ReadFileText(dir / "Hello4.eml"), "x");
}

TEST(MakeUniqueEmlName, LongUtf8NameIsCutAtACharacterBoundary) {
    std::string base;
    for (int i = 0; i < 200; ++i)
        base += "\xC3\xA9";
    std::string name = CleanEmlBaseName(base);
    EXPECT_LE(name.size() + 4 + 20, 255u);
    EXPECT_EQ(name.size() % 2, 0u);
}

} // namespace
