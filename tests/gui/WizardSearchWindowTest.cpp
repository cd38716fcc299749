// The wizard, the search dialog and Save Messages as eml as the user runs them from the window:
// the sample store of .eml folders, with some of its folders pointed at .dbx message files made
// by the test writer, the real extractor component, and what lands on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include <wx/datectrl.h>
#include <wx/menu.h>
#include <wx/radiobut.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>

#include "DbxWriter.h"
#include "MailFixtures.h"
#include "StoreWindowTest.h"
#include "TempDir.h"
#include "app/Settings.h"
#include "gui/ExpressFolderView.h"
#include "gui/ExtractionWizard.h"
#include "gui/MainFrame.h"
#include "gui/SearchMailDialog.h"
#include "gui/ShellTreeView.h"
#include "res/Resource.h"
#include "store/sources/DbxFileSource.h"

namespace fs = std::filesystem;

namespace {


const std::string kGif = "GIF89a" + std::string(2000, 'g');
const std::string kPdf = "%PDF-1.4" + std::string(2000, 'p');

// Local noon of a day, as the mail's stored time.
std::uint64_t Noon(int year, int month, int day) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    return FileTimeFromUnix(std::mktime(&tm));
}

DbxTestMessage Mail(const std::string& subject, const std::string& sender, std::uint64_t date,
                    const std::vector<FixtureAttachment>& files) {
    DbxTestMessage m;
    m.subject = subject;
    m.sender = sender;
    m.senderName = sender.substr(0, sender.find('@'));
    m.date = date;
    m.text = MakeMessage(subject, sender, "", files);
    return m;
}

class WizardSearchWindowTest : public StoreWindowTest {
protected:
    void SetUp() override {
        dir.MakeDir("dbx");
        AppSettings settings;
        settings.HTMLItemNumber = 10;
        settings.BrowserReport = 0;
        OpenWith(settings);
        frame->SetActivePane(view);
    }

    // Makes the record with that display name (under the account) keep its messages in a .dbx
    // file, as a store of that kind lists them.
    void PointAtDbx(const std::string& account, const std::string& name,
                    const std::vector<DbxTestMessage>& mails, const DbxWriterOptions& o = {}) {
        const std::string file = account + " " + name + ".dbx";
        ASSERT_TRUE(WriteBytes(dir / ("dbx/" + file), BuildDbxMessageFile(mails, o)));
        for (FolderRecord& r : view->GetStoreDiscovery().Folders)
            if (r.DisplayName == name && r.RelativePath.rfind(account, 0) == 0) {
                r.FullPath = dir / "dbx";
                r.PathSuffix = file;
                r.Source = &kDbxFileKind;
                return;
            }
        FAIL() << "no folder " << name;
    }
    int RecordIndex(const std::string& relative) {
        const auto& folders = view->GetStoreDiscovery().Folders;
        for (std::size_t i = 0; i < folders.size(); ++i)
            if (folders[i].RelativePath == relative) return static_cast<int>(i);
        ADD_FAILURE() << "no folder " << relative;
        return -1;
    }
    // A command from the main menu, handled before this returns.
    void PostCommandAndWait(unsigned id) {
        wxCommandEvent command(wxEVT_MENU, res::WxId(id));
        EXPECT_TRUE(frame->RouteCommand(command));
    }
    ScopedEnv tmp{"TMPDIR", dir.MakeDir("tmp")};
};

TEST_F(WizardSearchWindowTest, SearchBySenderStopAndExtractTheCheckedHits) {
    PointAtDbx("Hotmail", "Inbox",
               {Mail("Zero", "ann@example.org", Noon(2005, 1, 1), {{"zero.gif", kGif}}),
                Mail("One", "bob@example.org", Noon(2005, 1, 2), {{"one.gif", kGif}}),
                Mail("Two", "ann@example.org", Noon(2005, 1, 3), {{"two.gif", kGif}})});
    std::vector<std::string> copies;
    ModalScript script;
    script.Then([&](wxDialog& d) {
        auto& dialog = dynamic_cast<CSearchMailDialog&>(d);
        CReportListCtrl* list = dialog.GetList();
        auto* sender = &Control<wxTextCtrl>(d, res::IDC_SEARCH_SENDER);
        auto rows = [&] {
            std::vector<std::string> r;
            for (long i = 0; i < list->GetItemCount(); ++i)
                r.push_back(list->GetCell(i, 0) + "|" + list->GetCell(i, 1));
            return r;
        };
        EXPECT_EQ(list->GetColumnCount(), 6);
        EXPECT_FALSE(d.FindWindow(res::IDC_STOP_BUTTON)->IsEnabled());
        EXPECT_FALSE(d.FindWindow(res::IDC_EXTRACT_BUTTON)->IsEnabled());

        // Every message when no sender is given, the first stored one on top; case counts.
        const std::pair<const char*, std::vector<std::string>> searches[] = {
            {"", {"ann@example.org|Zero", "bob@example.org|One", "ann@example.org|Two"}},
            {"ann", {"ann@example.org|Zero", "ann@example.org|Two"}},
            {"ANN", {}},
        };
        for (const auto& [text, expected] : searches) {
            sender->SetValue(text);
            ClickButton(d, res::IDC_SEARCH_BUTTON);
            EXPECT_EQ(rows(), expected) << text;
        }
        // Stop after the first hit: the hit stays, the buttons are ready for another search.
        sender->SetValue("");
        wxTheApp->CallAfter([&] { ClickButton(d, res::IDC_STOP_BUTTON); });
        ClickButton(d, res::IDC_SEARCH_BUTTON);
        EXPECT_EQ(rows(), std::vector<std::string>{"ann@example.org|Two"});
        EXPECT_TRUE(d.FindWindow(res::IDC_SEARCH_BUTTON)->IsEnabled());
        EXPECT_FALSE(d.FindWindow(res::IDC_STOP_BUTTON)->IsEnabled());

        ClickButton(d, res::IDC_SEARCH_BUTTON);
        for (long i = 0; i < list->GetItemCount(); ++i) {
            copies.push_back(list->GetCell(i, 5));
            EXPECT_TRUE(fs::exists(copies.back())) << copies.back();
        }
        list->CheckItem(0, true);
        list->CheckItem(2, true);
        ClickButton(d, res::IDC_EXTRACT_BUTTON);
    });
    RunFromMenu(Find("Inbox"), res::ID_SEARCH_MAIL);

    EXPECT_EQ(script.PendingSteps(), 0u);
    EXPECT_TRUE(script.unexpected.empty());
    EXPECT_EQ(script.messages, std::vector<std::string>(4, "Finished"));
    // The checked messages' pictures and the run's report; no copy stays in the temporary folder.
    EXPECT_EQ(FilesIn(out),
              (std::vector<std::string>{"report", "report.htm", "two.gif", "zero.gif"}));
    std::string page = ReadFileText(out + "/report/report_page1.htm");
    EXPECT_LT(page.find("zero.gif"), page.find("two.gif"));
    EXPECT_EQ(copies.size(), 3u);
    EXPECT_TRUE(FilesIn(dir / "tmp").empty());
    EXPECT_NE(SettingsWritten().find("LastHtmlReport=" + out + "/report.htm\r\n"),
              std::string::npos);
}

TEST_F(WizardSearchWindowTest, SearchAFolderOfEmlFilesAndExtractEveryHit) {
    std::vector<std::string> rows;
    ModalScript script;
    script.Then([&](wxDialog& d) {
        CReportListCtrl* list = dynamic_cast<CSearchMailDialog&>(d).GetList();
        Control<wxTextCtrl>(d, res::IDC_SEARCH_SENDER).SetValue("tom@");
        ClickButton(d, res::IDC_SEARCH_BUTTON);
        for (long i = 0; i < list->GetItemCount(); ++i)
            rows.push_back(list->GetCell(i, 0) + "|" + list->GetCell(i, 1));
        // Nothing checked: every row, once the user has said yes knowing how many and where.
        script.yesNoAnswer = wxID_NO;
        ClickButton(d, res::IDC_EXTRACT_BUTTON);
        EXPECT_TRUE(d.IsModal());
        EXPECT_TRUE(FilesIn(out).empty());
        script.yesNoAnswer = wxID_YES;
        ClickButton(d, res::IDC_EXTRACT_BUTTON);
    });
    RunFromMenu(Find("Inbox"), res::ID_SEARCH_MAIL);
    EXPECT_EQ(script.PendingSteps(), 0u);
    EXPECT_EQ(rows, (std::vector<std::string>{"tom@example.org|Holiday pictures",
                                              "tom@example.org|Garden"}));
    EXPECT_EQ(script.messages, (std::vector<std::string>{"Finished",
                                                         ExtractEveryHitQuestion(2, out),
                                                         ExtractEveryHitQuestion(2, out)}));
    EXPECT_EQ(FilesIn(out), (std::vector<std::string>{"bee.gif", "boat.jpg", "lake.jpg", "report",
                                                      "report.htm", "tulips.png"}));
    EXPECT_TRUE(FilesIn(dir / "tmp").empty());
}

TEST_F(WizardSearchWindowTest, SaveAsEmlOnlyWhereThereIsAMessageFile) {
    DbxTestMessage hello = Mail("Hello", "ann@example.org", Noon(2005, 1, 1), {});
    PointAtDbx("Hotmail", "Inbox",
               {hello, hello, Mail("Re: test", "bob@example.org", Noon(2005, 1, 2), {})});

    // Saving needs a message file, searching a folder; where a command is off, the status bar
    // says why.
    const std::tuple<const char*, bool, bool> cases[] = {
        {"Sent Items", false, true}, {"pop.example.com", false, false}, {"Inbox", true, true}};
    for (const auto& [name, save, search] : cases) {
        view->GetTree()->SelectItem(Find(name));
        PumpEvents();
        std::string said = frame->GetStatusBar()->GetStatusText(0).utf8_string();
        EXPECT_EQ(said.find(search ? "eml files already" : "no mail folder") != std::string::npos,
                  !save)
            << said;
        EXPECT_EQ(Enabled(res::ID_SAVE_MESSAGES), save) << name;
        EXPECT_EQ(Enabled(res::ID_RECOVER_MESSAGES), save) << name;
        EXPECT_EQ(Enabled(res::ID_SEARCH_MAIL), search) << name;
        frame->ShowPrompt(res::ID_SAVE_MESSAGES);
        std::string status = frame->GetStatusBar()->GetStatusText(0).utf8_string();
        EXPECT_EQ(status == "Save mails' messages in 'eml' format!!", save) << status;
    }
    EXPECT_TRUE(Enabled(res::ID_WIZARD));

    ModalScript script;
    script.yesNoAnswer = wxID_YES;
    RunFromMenu(Find("Inbox"), res::ID_SAVE_MESSAGES);
    ASSERT_EQ(script.messages.size(), 2u);
    EXPECT_EQ(script.messages[0], "Save All Messages(*.eml) to Folder:" + out);
    EXPECT_EQ(script.messages[1], "3 message(s) saved to " + out);
    EXPECT_EQ(FilesIn(out),
              (std::vector<std::string>{"0000Hello.eml", "0001Hello.eml", "0002Re__test.eml"}));
    EXPECT_EQ(ReadFileText(out + "/0001Hello.eml"), hello.text);

    // Answered No: nothing more is written.
    script.yesNoAnswer = wxID_NO;
    RunFromMenu(Find("Inbox"), res::ID_SAVE_MESSAGES);
    EXPECT_EQ(FilesIn(out).size(), 3u);

    // The index lost: recovery finds the messages by scanning, and says where they came from.
    DbxWriterOptions noIndex;
    noIndex.overrideIndexPointer = true;
    PointAtDbx("Hotmail", "Inbox",
               {hello, hello, Mail("Re: test", "bob@example.org", Noon(2005, 1, 2), {})}, noIndex);
    script.messages.clear();
    script.yesNoAnswer = wxID_YES;
    RunFromMenu(Find("Inbox"), res::ID_SAVE_MESSAGES);
    EXPECT_EQ(script.messages.back(), "The folder's message file cannot be read.");
    // What is already there is not saved again.
    RunFromMenu(Find("Inbox"), res::ID_RECOVER_MESSAGES);
    EXPECT_EQ(script.messages.back(), "0 message(s) saved to " + out +
                                          ": 0 from the index, 0 from the scan; 3 already there, "
                                          "not saved again");
    EXPECT_EQ(FilesIn(out).size(), 3u);
}

TEST_F(WizardSearchWindowTest, WizardRunsTheCheckedFoldersOverThePeriod) {
    // Sent Items keeps its messages in a .dbx file; Inbox and Family are the sample's .eml
    // folders (Inbox: 14 Aug 2010, 2 Sep 2010, 21 May 2011, 1 Jun 2011; Family: 24 Dec 2009).
    PointAtDbx(
        "Hotmail", "Sent Items",
        {Mail("In", "me@example.org", Noon(2010, 9, 10), {{"in.gif", kGif}, {"in.pdf", kPdf}}),
         Mail("Before", "me@example.org", Noon(2010, 7, 1), {{"before.gif", kGif}}),
         Mail("After", "me@example.org", Noon(2011, 6, 15), {{"after.gif", kGif}})});
    PointAtDbx("pop.example", "Inbox", {}); // not checked: not run
    const std::string inbox = "Hotmail (jane)/Inbox", sent = "Hotmail (jane)/Sent Items",
                      family = "Hotmail (jane)/Inbox/Family";

    ModalScript script;
    script.Then([&](wxDialog& d) {
        auto& wizard = dynamic_cast<CWizardDialog&>(d);
        auto buttons = [&] {
            return std::string(wizard.GetBackButton()->IsEnabled() ? "B" : "-") +
                   (wizard.GetNextButton()->IsEnabled() ? "N" : "-") +
                   (wizard.GetFinishButton()->IsEnabled() ? "F" : "-") +
                   (wizard.GetCancelButton()->IsEnabled() ? "C" : "-");
        };
        auto* folders = dynamic_cast<CWizardFolderPage*>(wizard.GetPage(0));
        EXPECT_EQ(wizard.GetActivePage(), folders);
        EXPECT_EQ(buttons(), "-N-C");
        // The first folder alone is not enough.
        wizard.Next();
        EXPECT_EQ(wizard.GetActivePage(), folders);
        folders->CheckAll(true);
        folders->CheckAll(false);
        folders->GetTree()->CheckItem(folders->ItemOfRecord(RecordIndex(sent)));
        folders->GetTree()->CheckItem(folders->ItemOfRecord(RecordIndex(inbox)));
        folders->GetTree()->CheckItem(folders->ItemOfRecord(RecordIndex(family)));
        wizard.Next();
        EXPECT_EQ(buttons(), "BN-C");
        auto* destination = dynamic_cast<CWizardDestinationPage*>(wizard.GetPage(1));
        EXPECT_EQ(wizard.GetActivePage(), destination);
        EXPECT_TRUE(PumpUntil([&] { return destination->GetPath() == out; }))
            << destination->GetPath();
        wizard.Next();
        EXPECT_EQ(buttons(), "B-FC");
        auto* duration = dynamic_cast<CWizardDurationPage*>(wizard.GetPage(2));
        Control<wxDatePickerCtrl>(*duration, res::IDC_START_DATE)
            .SetValue(wxDateTime(1, wxDateTime::Aug, 2010));
        Control<wxDatePickerCtrl>(*duration, res::IDC_END_DATE)
            .SetValue(wxDateTime(31, wxDateTime::May, 2011));
        Control<wxRadioButton>(*duration, res::IDC_ALL_ATTACHMENTS_RADIO).SetValue(true);
        // Back keeps Finish on; Finish from page 2 takes page 3's values.
        wizard.Back();
        EXPECT_EQ(buttons(), "BNFC");
        wizard.Finish();
    });
    PostCommandAndWait(res::ID_WIZARD);

    EXPECT_EQ(script.PendingSteps(), 0u);
    EXPECT_TRUE(script.unexpected.empty());
    EXPECT_EQ(script.messages, std::vector<std::string>{kChooseFolderMessage});
    // The account item is counted but has no messages of its own: no folder, no link. The
    // others run row by row, each with its report, linked from the top report.
    EXPECT_EQ(FilesIn(out),
              (std::vector<std::string>{"Family", "Inbox", "Sent-Items", "report.htm"}));
    EXPECT_EQ(FilesIn(out + "/Sent-Items"),
              (std::vector<std::string>{"in.gif", "in.pdf", "report", "report.htm"}));
    EXPECT_EQ(FilesIn(out + "/Inbox"),
              (std::vector<std::string>{"attendance.csv", "bee.gif", "boat.jpg", "lake.jpg",
                                        "minutes.pdf", "report", "report.htm", "tulips.png"}));
    EXPECT_EQ(FilesIn(out + "/Family"), (std::vector<std::string>{"report", "report.htm"}));
    std::string page = ReadFileText(out + "/Inbox/report/report_page1.htm");
    EXPECT_NE(page.find("Garden"), std::string::npos);
    EXPECT_EQ(page.find("Monthly news"), std::string::npos);
    std::string top = ReadFileText(out + "/report.htm");
    std::size_t s = top.find(">Sent Items</a>"), i = top.find(">Inbox</a>"),
                f = top.find(">Family</a>");
    EXPECT_TRUE(s < i && i < f && f != std::string::npos) << top;
    EXPECT_EQ(top.find("Hotmail"), std::string::npos);
    EXPECT_NE(top.find("href=\".\\Inbox\\report.htm\""), std::string::npos);
    std::string ini = SettingsWritten();
    EXPECT_NE(ini.find("LastHtmlReport=" + out + "/report.htm\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("LastFileFolder=" + out + "\r\n"), std::string::npos) << ini;
}

TEST_F(WizardSearchWindowTest, WizardRefusesFinishWithoutADestinationAndCancelWritesNothing) {
    AppSettings& settings = TheSettings();
    settings.LastFileFolder.clear();
    for (bool finishFirst : {true, false}) {
        ModalScript script;
        script.Then([&](wxDialog& d) {
            auto& wizard = dynamic_cast<CWizardDialog&>(d);
            dynamic_cast<CWizardFolderPage*>(wizard.GetPage(0))->CheckAll(true);
            wizard.Next();
            wizard.Next();
            if (finishFirst) {
                wizard.Finish();
                EXPECT_TRUE(d.IsModal());
            }
            wizard.Cancel();
        });
        PostCommandAndWait(res::ID_WIZARD);
        EXPECT_EQ(script.PendingSteps(), 0u);
        EXPECT_EQ(script.messages,
                  finishFirst ? std::vector<std::string>{Tr(res::TextId::ChooseWizardDestination)}
                              : std::vector<std::string>{});
    }
    EXPECT_TRUE(FilesIn(out).empty());
}

} // namespace
