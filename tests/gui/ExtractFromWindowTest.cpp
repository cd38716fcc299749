// Extract Attachments as the user runs it: a right click on a mail folder of the sample store,
// the option sheet, the run with its progress window, and what lands on disk and in the panes.
#include <gtest/gtest.h>

#include <filesystem>

#include <wx/checkbox.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include "StoreWindowTest.h"
#include "engine/ExpressStoreAccess.h"
#include "gui/DialogWindows.h"
#include "gui/LongOperation.h"
#include "gui/OEMessageDialog.h"
#include "gui/QorApp.h"
#include "gui/ShellListView.h"
#include "gui/ShellTreeView.h"

namespace fs = std::filesystem;

namespace {

class ExtractFromWindowTest : public StoreWindowTest {
protected:
    void SetUp() override {
        // An Outlook data file among the stores, shown under its name with its folders.
        fs::create_directories(dir / "store/archive");
        fs::copy_file(fs::path(KESTREL_TEST_DATA) / "pst/p2e-Hello-CJK.pst",
                      dir / "store/archive/hello.pst");
        AppSettings settings;
        settings.HTMLItemNumber = 4;
        settings.BrowserReport = 1;
        OpenWith(settings);
    }
    // The dialogs of the frame and of the folder view, each with the command that opens it,
    // and whether it closes as OK does (else as Cancel).
    struct Opener {
        const char* name;
        std::function<void()> open;
        bool closesAsOk = false;
    };
    std::vector<Opener> Openers() {
        return {{"preference", [this] { PostCommand(frame, res::ID_FILE_PREFERENCE); }},
                {"identity", [this] { PostCommand(frame, res::ID_SWITCH_IDENTITY); }},
                {"about", [this] { PostCommand(frame, res::ID_APP_ABOUT); }, true},
                {"wizard", [this] { PostCommand(frame, res::ID_WIZARD); }},
                {"option sheet", [this] { RunFromMenu(Find("Inbox")); }},
                {"search", [this] { RunFromMenu(Find("Inbox"), res::ID_SEARCH_MAIL); }},
                {"messages", [this] {
                     RunFromMenu(Find("Inbox", Find("Local Folders")), res::ID_EXPRESS_MESSAGES);
                 }}};
    }
    std::vector<std::string> ListedFiles() {
        std::vector<std::string> names;
        CIEShellListView* list = frame->GetFileList();
        for (long i = 0; i < list->GetItemCount(); ++i)
            names.push_back(list->GetItemText(i).utf8_string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(ExtractFromWindowTest, PicturesOfTheClickedFolderWithTheReport) {
    ModalScript script;
    std::string shownPath;
    script.Then([&](wxDialog& sheet) {
        PumpEvents();
        shownPath =
            sheet.FindWindowById(res::IDC_DESTINATION_PATH, &sheet)->GetLabel().utf8_string();
        // Let the file list show what the run writes only at the end.
        EXPECT_FALSE(frame->GetFileList()->UpdatesEnabled());
        Control<wxRadioButton>(sheet, res::IDC_FOLDER_SUBDIR).SetValue(true);
        ClickButton(sheet, res::IDOK_BUTTON);
    });
    view->GetTree()->SelectItem(Find("Sent Items"));
    RunFromMenu(Find("Inbox"));

    EXPECT_EQ(script.PendingSteps(), 0u);
    EXPECT_TRUE(script.unexpected.empty());
    EXPECT_TRUE(script.messages.empty()) << script.messages.front();
    EXPECT_EQ(shownPath, out);

    // The pictures of the Inbox's messages, in the folder named after it; the rest deleted.
    EXPECT_EQ(FilesIn(out + "/Inbox"),
              (std::vector<std::string>{"bee.gif", "boat.jpg", "lake.jpg", "tulips.png"}));
    // The working folder went with the run: it was left empty.
    EXPECT_EQ(FilesIn(out), (std::vector<std::string>{"Inbox", "report", "report.htm"}));
    std::string page = ReadFileText(out + "/report/report_page1.htm");
    EXPECT_NE(page.find("..\\Inbox\\lake.jpg"), std::string::npos);
    EXPECT_NE(page.find("..\\Inbox\\tulips.png"), std::string::npos);
    EXPECT_EQ(page.find("minutes.pdf"), std::string::npos);
    EXPECT_TRUE(fs::exists(out + "/report/report_left.htm"));

    // The folder and the report were opened on the desktop (each by its own detached process,
    // so in either order).
    const std::string opened = programs.LogOf(2), open = programs.Folder() + "/xdg-open " + out;
    EXPECT_EQ(opened.size(), (open + "\n" + open + "/report.htm\n").size()) << opened;
    EXPECT_NE(opened.find(open + "\n"), std::string::npos) << opened;
    EXPECT_NE(opened.find(open + "/report.htm\n"), std::string::npos) << opened;

    // The file list is on again and shows the new files.
    EXPECT_TRUE(frame->GetFileList()->UpdatesEnabled());
    EXPECT_EQ(frame->GetDestinationFolder(), out);
    EXPECT_EQ(ListedFiles(), (std::vector<std::string>{"Inbox", "report", "report.htm"}));

    const std::string ini = SettingsWritten();
    EXPECT_NE(ini.find("LastHtmlReport=" + out + "/report.htm\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("LastFileFolder=" + out + "\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("LastMailFolder=" + (dir / "store/Hotmail (jane)/Inbox/") + "\r\n"),
              std::string::npos)
        << ini;
}

TEST_F(ExtractFromWindowTest, AFolderOfAnOutlookDataFileUnderTheFilesName) {
    const std::string pst = dir / "store/archive/hello.pst";
    const std::string before = ReadFileText(pst);
    const wxTreeItemId top = Find("Outlook データ ファイルのトップ");
    ASSERT_TRUE(top.IsOk());
    EXPECT_EQ(view->GetTree()->GetItemText(view->GetTree()->GetItemParent(top)), "hello.pst");
    ModalScript script;
    script.Then([&](wxDialog& sheet) { ClickButton(sheet, res::IDOK_BUTTON); });
    RunFromMenu(top);
    EXPECT_EQ(script.PendingSteps(), 0u);
    EXPECT_TRUE(script.messages.empty()) << script.messages.front();
    EXPECT_EQ(FilesIn(out), (std::vector<std::string>{"C 你好.png", "J こんにちは.png",
                                                      "K 안녕하세요.png", "report",
                                                      "report.htm"}));
    EXPECT_EQ(ReadFileText(pst), before);
}

TEST_F(ExtractFromWindowTest, AReportThatCannotBeWrittenIsSaidAtTheEnd) {
    dir.Write("out/report", "a file where the report's folder goes");
    ModalScript script;
    script.Then([&](wxDialog& sheet) { ClickButton(sheet, res::IDOK_BUTTON); });
    RunFromMenu(Find("Inbox"));
    EXPECT_EQ(script.PendingSteps(), 0u);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0], "the report in " + out +
                                      " could not be written completely (disk full or not "
                                      "writable)");
}

// The sheet cancelled (a destination picked in it is not kept), or OK on an item with no folder
// behind it (it only connects): nothing is run, written or opened, and the file list is on again.
TEST_F(ExtractFromWindowTest, CancelOrAnItemWithoutAFolderRunsNothing) {
    const std::string elsewhere = dir.MakeDir("elsewhere");
    const struct {
        const char* item;
        int button;
        std::vector<std::string> messages;
    } rows[] = {{"Inbox", res::IDCANCEL_BUTTON, {}},
                {"pop.example.com", res::IDOK_BUTTON, {"Can't Find Mail Folder Path Error!!"}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.item);
        ModalScript script;
        script.Then([&](wxDialog& sheet) {
            PumpEvents();
            if (row.button == res::IDCANCEL_BUTTON)
                Control<CIEShellTreeView>(sheet, res::IDC_DESTINATION_TREE).SelectFolder(elsewhere);
            dir.Write("out/marker.txt", "x");
            ClickButton(sheet, row.button);
        });
        RunFromMenu(Find(row.item));
        EXPECT_EQ(script.PendingSteps(), 0u);
        EXPECT_EQ(script.messages, row.messages);
        EXPECT_EQ(FilesIn(out), std::vector<std::string>{"marker.txt"});
        EXPECT_TRUE(FilesIn(elsewhere).empty());
        EXPECT_EQ(frame->GetDestinationFolder(), out);
        EXPECT_TRUE(frame->GetFileList()->UpdatesEnabled());
        EXPECT_EQ(ListedFiles(), std::vector<std::string>{"marker.txt"});
        EXPECT_FALSE(fs::exists(programs.Log()));
    }
}

// The folder commands of the menu and the tool bar work on the selected mail folder whichever
// pane has the focus (picking a destination leaves Extract on); a command that cannot work on
// that folder is greyed rather than refused.
TEST_F(ExtractFromWindowTest, FolderCommandsFollowTheSelectedFolderFromAnyPane) {
    const struct {
        wxTreeItemId folder;
        bool throughStore;
    } rows[] = {{Find("Inbox"), false}, {Find("Inbox", Find("Local Folders")), true}};
    for (const auto& row : rows) {
        view->GetTree()->SelectItem(row.folder);
        for (wxWindow* pane : {frame->GetPane(0), frame->GetPane(1), frame->GetPane(2)}) {
            frame->SetActivePane(pane);
            EXPECT_TRUE(Enabled(res::ID_EXTRACT_ATTACHMENTS));
            EXPECT_EQ(Enabled(res::ID_EXTRACT_SAFELY), row.throughStore);
            EXPECT_EQ(Enabled(res::ID_EXPRESS_MESSAGES), row.throughStore);
        }
    }
    frame->SetActivePane(frame->GetDestinationTree());
    wxCommandEvent command(wxEVT_MENU, res::WxId(res::ID_EXTRACT_ATTACHMENTS));
    ModalScript script;
    script.Then([](wxDialog& sheet) {
        EXPECT_EQ(sheet.GetId(), 141);
        ClickButton(sheet, res::IDCANCEL_BUTTON);
    });
    EXPECT_TRUE(frame->RouteCommand(command));
    EXPECT_EQ(script.PendingSteps(), 0u);
}

} // namespace

// The sample's store of .dbx files: Extract Attachments Safely into the destination, then the
// message dialog on the same folder, whose changes the read-only store refuses.
TEST_F(ExtractFromWindowTest, DbxStoreFolderSafelyThenItsMessageDialog) {
    ScopedEnv tmp("TMPDIR", dir.MakeDir("tmp"));
    wxTreeItemId inbox = Find("Inbox", Find("Local Folders"));
    ASSERT_TRUE(inbox.IsOk());
    auto before = ReadFileText(dir / "store/Outlook Express/Inbox.dbx");
    {
        ModalScript script;
        RunFromMenu(inbox, res::ID_EXTRACT_SAFELY);
        EXPECT_EQ(script.messages,
                  std::vector<std::string>{"Are you want to extract all attachments to " + out});
        // readme.txt is left out by name.
        EXPECT_EQ(FilesIn(out), (std::vector<std::string>{"gull.jpg", "harbour.jpg", "rules.pdf"}));
        EXPECT_TRUE(frame->GetFileList()->UpdatesEnabled());
        EXPECT_EQ(ListedFiles(), FilesIn(out));
    }

    ModalScript script;
    std::vector<std::string> entries;
    std::string title;
    script.Then([&](wxDialog& dialog) {
        PumpEvents();
        title = dialog.GetTitle().utf8_string();
        auto* list = dynamic_cast<wxListBox*>(dialog.FindWindowById(res::IDC_OE_MESSAGE_LIST, &dialog));
        for (unsigned i = 0; list && i < list->GetCount(); ++i)
            entries.push_back(list->GetString(i).utf8_string());
        // What the read-only store refuses, or what does nothing, is not offered.
        for (unsigned id : {res::IDC_OE_MARK_READ, res::IDC_OE_MARK_UNREAD, res::IDC_OE_VIEW,
                            res::IDC_OE_CREATE, res::IDC_OE_DELETE, res::IDC_OE_COPY,
                            res::IDC_OE_MOVE}) {
            wxWindow* button = dialog.FindWindowById(res::WxId(id), &dialog);
            EXPECT_FALSE(button->IsEnabled()) << id;
            EXPECT_EQ(button->GetToolTipText(), Tr(res::TextId::ReadOnlyStoreTip)) << id;
        }
        EXPECT_TRUE(dialog.FindWindowById(res::IDC_OE_TEST_EXTRACT, &dialog)->IsEnabled());
        ClickButton(dialog, res::IDC_OE_TEST_EXTRACT); // nothing selected yet
        list->SetSelection(2);
        ClickButton(dialog, res::IDC_OE_TEST_EXTRACT);
        EXPECT_EQ(list->GetCount(), 3u);
        dialog.EndModal(wxID_CANCEL);
    });
    RunFromMenu(inbox, res::ID_EXPRESS_MESSAGES);
    EXPECT_EQ(script.PendingSteps(), 0u);
    EXPECT_EQ(title, "Inbox - Messages");
    EXPECT_EQ(entries, (std::vector<std::string>{"Ann Lee      Club rules",
                                                 "Newsletter      News for August",
                                                 "Tom Baker      Harbour pictures"}));
    std::string testFolder = TestExtractFolder();
    EXPECT_EQ(script.messages,
              (std::vector<std::string>{"Select a message first.",
                                        "The attachments of the message were saved in " +
                                            testFolder + "."}));
    EXPECT_EQ(FilesIn(testFolder), (std::vector<std::string>{"gull.jpg", "harbour.jpg"}));
    EXPECT_EQ(ReadFileText(dir / "store/Outlook Express/Inbox.dbx"), before);
}

// Every dialog opens centred over the main window and fits a 1024x768 screen; Escape and the
// window manager's close box end it as Cancel does (as OK, for the about box).
TEST_F(ExtractFromWindowTest, EveryDialogOpensCentredFitsASmallScreenAndClosesOnEscape) {
    for (const Opener& opener : Openers()) {
        for (bool escape : {true, false}) {
            SCOPED_TRACE(std::string(opener.name) + (escape ? " / Escape" : " / close box"));
            ModalScript script;
            int result = 0;
            script.Then([&](wxDialog& d) {
                ASSERT_TRUE(PumpUntil([&] { return d.IsShownOnScreen(); }));
                PumpEvents();
                const wxRect at = d.GetScreenRect();
                const wxRect over = frame->GetScreenRect();
                EXPECT_LE(at.width, 1024);
                EXPECT_LE(at.height, 768);
                EXPECT_NEAR(at.x + at.width / 2, over.x + over.width / 2, 2);
                EXPECT_NEAR(at.y + at.height / 2, over.y + over.height / 2, 2);
                if (escape) {
                    SaveScreenshotIfAsked(std::string("dialog-") + opener.name);
                    PointAt(d, wxPoint(at.width / 2, 8));
                    wxUIActionSimulator().Char(WXK_ESCAPE);
                } else {
                    d.Close(); // as the window manager's close box asks
                }
                if (!PumpUntil([&] { return !d.IsModal(); }, 3000)) {
                    ADD_FAILURE() << "still open";
                    d.EndModal(wxID_CANCEL);
                }
                result = d.GetReturnCode();
            });
            opener.open();
            EXPECT_EQ(script.PendingSteps(), 0u);
            EXPECT_EQ(result == wxID_OK, opener.closesAsOk) << result;
        }
    }
}

// SIGTERM, SIGINT or SIGHUP with any dialog open ends the dialog and closes the main window as
// File > Exit does: the settings are written.
TEST_F(ExtractFromWindowTest, AQuitSignalEndsAnyDialogAndKeepsTheSettings) {
    auto* app = static_cast<CQorApp*>(wxTheApp);
    const std::string settings = dir / "config/VANDREL/KESTL/qor.ini";
    const int signals[] = {SIGTERM, SIGINT, SIGHUP};
    int turn = 0;
    for (const Opener& opener : Openers()) {
        SCOPED_TRACE(opener.name);
        app->InstallQuitSignals();
        TheSettings().LastHtmlReport = std::string("/reports/") + opener.name;
        ModalScript script;
        const int sig = signals[turn++ % 3];
        script.Then([&](wxDialog& d) {
            ASSERT_TRUE(PumpUntil([&] { return d.IsShownOnScreen(); }));
            raise(sig);
        });
        opener.open();
        EXPECT_EQ(script.PendingSteps(), 0u);
        ASSERT_TRUE(PumpUntil([] { return TheMainFrame() == nullptr; }));
        frame = nullptr;
        EXPECT_NE(ReadFileText(settings).find(std::string("LastHtmlReport=/reports/") +
                                              opener.name),
                  std::string::npos);
        app->InstallQuitSignals();
        OpenFrame();
    }
}
