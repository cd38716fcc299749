#include <gtest/gtest.h>

#include "DbxWriter.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "engine/MailSearch.h"
#include "platform/FileSystem.h"

namespace {

// The dialog's side, kept as the list and buttons would be.
class RecordingView : public IMailSearchView {
public:
    void DeleteAllRows() override { rows.clear(); }
    void InsertRowAtTop(const MailSearchRow& row) override { rows.insert(rows.begin(), row); }
    void SetSearching(bool s) override {
        searching = s;
        states.push_back(s);
    }
    void PumpMessages() override {
        ++pumps;
        if (stopAfter > 0 && pumps == stopAfter) search->Stop();
    }
    std::vector<MailSearchRow> rows;
    std::vector<bool> states;
    bool searching = false;
    int pumps = 0;
    int stopAfter = 0;
    CMailSearch* search = nullptr;
};

class MailSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        mails = {MailFrom("anna@example.org", "first"), MailFrom("Bob@example.org", "second"),
                 MailFrom("anna@example.org", "third"), MailFrom("", "no sender")};
        file = dir / "Inbox.dbx";
        ASSERT_TRUE(WriteBytes(file, BuildDbxMessageFile(mails)));
        view.search = &search;
    }
    std::vector<std::string> TempFiles() {
        std::vector<std::string> names;
        for (const auto& e : platform::ListDirectory(tmp.path(), "TAK*"))
            names.push_back(e.name);
        return names;
    }
    TempDir dir, tmp;
    ScopedEnv tmpdir{"TMPDIR", tmp.path()};
    std::vector<DbxTestMessage> mails;
    std::string file;
    RecordingView view;
    ScriptedMessageBox ui;
    CMailSearch search;
};

TEST_F(MailSearchTest, EmptySenderListsEveryMessageWithIndexZeroOnTop) {
    EXPECT_EQ(search.Run(file, "", view, ui), MailSearchOutcome::Finished);
    ASSERT_EQ(view.rows.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(view.rows[i].subject, mails[i].subject);
        EXPECT_EQ(view.rows[i].sender, mails[i].sender);
        EXPECT_EQ(ReadFileText(view.rows[i].tempPath), mails[i].text);
        EXPECT_EQ(platform::FolderOf(view.rows[i].tempPath), tmp.path() + "/");
    }
    EXPECT_EQ(TempFiles().size(), 4u);
    EXPECT_EQ(view.states, (std::vector<bool>{true, false}));
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Finished");
}

TEST_F(MailSearchTest, SenderFilterIsACaseSensitiveSubstring) {
    struct Case {
        const char* text;
        std::vector<std::string> subjects;
    } cases[] = {
        {"anna", {"first", "third"}},
        {"ANNA", {}},
        {"@example.org", {"first", "second", "third"}},
        {"Bob", {"second"}},
    };
    for (const Case& c : cases) {
        search.Run(file, c.text, view, ui);
        std::vector<std::string> subjects;
        for (const auto& r : view.rows)
            subjects.push_back(r.subject);
        EXPECT_EQ(subjects, c.subjects) << c.text; // also: each search starts from an empty list
    }
}

TEST_F(MailSearchTest, StopKeepsTheRowsFoundAndRestoresTheButtons) {
    view.stopAfter = 1;
    EXPECT_EQ(search.Run(file, "", view, ui), MailSearchOutcome::Stopped);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0].subject, "no sender");
    EXPECT_FALSE(view.searching);
    EXPECT_TRUE(ui.shown.empty());
    // The flag is cleared for the next search.
    view.stopAfter = 0;
    EXPECT_EQ(search.Run(file, "", view, ui), MailSearchOutcome::Finished);
    EXPECT_EQ(view.rows.size(), 4u);
}

TEST_F(MailSearchTest, UnreadableMessageEndsTheSearchWhenItIsOneAskedFor) {
    DbxWriterOptions o;
    o.chainLoopMessage = 1; // Bob's
    ASSERT_TRUE(WriteBytes(file, BuildDbxMessageFile(mails, o)));
    struct Case {
        const char* text;
        MailSearchOutcome outcome;
        std::vector<std::string> subjects;
    } cases[] = {
        {"", MailSearchOutcome::ReadError, {"third", "no sender"}}, // indexes 3 and 2, then 1
        {"Bob", MailSearchOutcome::ReadError, {}},
        // A damaged message of someone else does not hide the ones asked for.
        {"anna", MailSearchOutcome::Finished, {"first", "third"}},
    };
    for (const Case& c : cases) {
        ui.shown.clear();
        EXPECT_EQ(search.Run(file, c.text, view, ui), c.outcome) << c.text;
        std::vector<std::string> subjects;
        for (const auto& r : view.rows)
            subjects.push_back(r.subject);
        EXPECT_EQ(subjects, c.subjects) << c.text;
        EXPECT_EQ(ui.LastText(),
                  c.outcome == MailSearchOutcome::Finished ? "Finished" : "Extract eMail Error");
        EXPECT_FALSE(view.searching);
    }
    EXPECT_EQ(TempFiles().size(), 4u) << "no copy is left of the damaged message";
}

TEST_F(MailSearchTest, MissingOrForeignFileFinishesAtOnce) {
    for (std::string path : {std::string(), dir / "missing.dbx", dir.path()}) {
        ui.shown.clear();
        EXPECT_EQ(search.Run(path, "", view, ui), MailSearchOutcome::Finished);
        EXPECT_TRUE(view.rows.empty());
        ASSERT_EQ(ui.shown.size(), 1u);
        EXPECT_EQ(ui.shown[0].text, "Finished");
    }
}

TEST_F(MailSearchTest, UncreatableTempFileEndsTheSearch) {
    ScopedEnv gone("TMPDIR", tmp / "missing");
    // temp_directory_path() refuses a folder that is not there.
    EXPECT_EQ(search.Run(file, "", view, ui), MailSearchOutcome::TempFileError);
    EXPECT_EQ(ui.LastText(), "Error in Create Temp File!!");
    EXPECT_FALSE(view.searching);
}

} // namespace
