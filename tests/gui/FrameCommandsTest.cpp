// The frame's own commands, end to end: the preference, identity and about dialogs, the help
// book, and what the desktop is asked to start.
#include "GuiTest.h"
#include "ScriptedUi.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dirdlg.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpwnd.h>
#include <wx/listbox.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tooltip.h>
#include <wx/treectrl.h>
#include <wx/uiaction.h>

#include "app/DesktopCommands.h"
#include "app/Preferences.h"
#include "gui/AboutDialog.h"
#include "gui/ExpressFolderView.h"
#include "gui/ExtractOptionSheet.h"
#include "gui/ExtractionWizard.h"
#include "gui/FolderBrowser.h"
#include "gui/HelpViewer.h"
#include "gui/IdentityDialog.h"
#include "gui/LanguageMenus.h"
#include "gui/LinkStatic.h"
#include "gui/OEMessageDialog.h"
#include "gui/SearchMailDialog.h"
#include "gui/ShellListView.h"
#include "gui/WizardDialog.h"
#include "gui/WxText.h"
#include "locale/ProfileFile.h"
#include "res/Resource.h"
#include "store/StoreDiscovery.h"

namespace {

// Every text of the window shows whole: no label is narrower than its text needs.
std::string CutLabels(wxWindow& window) {
    std::string cut;
    for (wxWindow* child : window.GetChildren()) {
        if (child->IsTopLevel()) continue;
        if (dynamic_cast<wxStaticText*>(child) || dynamic_cast<wxCheckBox*>(child) ||
            dynamic_cast<wxButton*>(child)) {
            if (child->IsShownOnScreen() && child->GetSize().x < child->GetBestSize().x)
                cut += child->GetLabel().utf8_string() + "\n";
        }
        cut += CutLabels(*child);
    }
    return cut;
}
// Once the toolkit has given the controls their sizes.
void ExpectNothingCut(wxWindow& window) {
    EXPECT_TRUE(PumpUntil([&] { return CutLabels(window).empty(); })) << CutLabels(window);
}

// The headings of the list's columns.
std::vector<wxString> ColumnTexts(wxListCtrl& list) {
    std::vector<wxString> texts;
    for (int c = 0; c < list.GetColumnCount(); ++c) {
        wxListItem column;
        column.SetMask(wxLIST_MASK_TEXT);
        list.GetColumn(c, column);
        texts.push_back(column.GetText());
    }
    return texts;
}

} // namespace

class CommandTest : public GuiTest {
protected:
    // The help book the build makes, and a desktop that opens what it is given; a test may
    // change either.
    void SetUp() override {
        GuiTest::SetUp();
        SetHelpBookFolder(KESTREL_OUTPUT_DIR "/help");
        programs.Add("xdg-open", 0);
    }
    void TearDown() override {
        GuiTest::TearDown();
        SetHelpBookFolder({});
    }
    FakePrograms programs{dir};
    // Only the stand-ins are found, so a missing one is missing.
    ScopedEnv path{"PATH", programs.Folder()};
};

TEST_F(CommandTest, PreferencesKeepTheDialogOpenOnBadNumbersAndStoreOnlyOnOk) {
    std::string store = dir.MakeDir("store");
    dir.Write("config/VANDREL/KESTL/qor.ini",
              "[Program Setup]\r\nKESTLMailFolderPath=" + store +
                  "\r\n[Option]\r\nHTMLItemNumber=10\r\nBrowserReport=1\r\nFileRename=0\r\n"
                  "AttachmentSizeLimit=2\r\n");
    CMainFrame* frame = Start();
    const AppSettings loaded = TheSettings();
    ModalScript script;

    // Cancel keeps nothing of what was typed.
    script.Then([&](wxDialog& d) {
        EXPECT_EQ(d.GetTitle(), "Preference");
        EXPECT_EQ(Control<wxNotebook>(d, res::IDC_PREFERENCE_TABS).GetPageText(0),
                  "General Setting");
        EXPECT_EQ(Control<wxTextCtrl>(d, res::IDC_SUBJECTS_PER_PAGE).GetValue(), "10");
        EXPECT_EQ(Control<wxTextCtrl>(d, res::IDC_SIZE_LIMIT).GetValue(), "2");
        EXPECT_EQ(Control<wxTextCtrl>(d, res::IDC_MAILBOX_PATH).GetValue(), store);
        EXPECT_TRUE(Control<wxCheckBox>(d, res::IDC_PREF_SHOW_REPORT).GetValue());
        EXPECT_FALSE(Control<wxCheckBox>(d, res::IDC_AUTO_RENAME).GetValue());
        Control<wxTextCtrl>(d, res::IDC_SUBJECTS_PER_PAGE).SetValue("20");
        Control<wxCheckBox>(d, res::IDC_AUTO_RENAME).SetValue(true);
        ClickButton(d, res::IDCANCEL_BUTTON);
    });
    PostCommand(frame, res::ID_FILE_PREFERENCE);
    EXPECT_EQ(script.PendingSteps(), 0u);
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(TheSettings().HTMLItemNumber, 10);
    EXPECT_EQ(TheSettings().FileRename, 0);

    // Out of range or not a number: the toolkit's message, the focus on the field, still open.
    script.Then([&](wxDialog& d) {
        auto& subjects = Control<wxTextCtrl>(d, res::IDC_SUBJECTS_PER_PAGE);
        auto& size = Control<wxTextCtrl>(d, res::IDC_SIZE_LIMIT);
        struct Bad {
            wxTextCtrl* field;
            const char* text;
            std::string message; // empty: the toolkit's own
        } bad[] = {{&subjects, "31", RangeMessage(kSubjectsPerPageRange)},
                   {&subjects, "1x", ""},
                   {&subjects, "", ""},
                   {&size, "12801", RangeMessage(kSizeLimitRange)}};
        for (const Bad& b : bad) {
            subjects.SetValue("30");
            size.SetValue("12800");
            b.field->SetValue(b.text);
            std::size_t before = script.messages.size();
            ClickButton(d, res::IDOK_BUTTON);
            EXPECT_TRUE(d.IsModal()) << b.text;
            ASSERT_EQ(script.messages.size(), before + 1) << b.text;
            if (!b.message.empty()) {
                EXPECT_EQ(script.messages.back(), b.message);
            }
            PumpUntil([&] { return wxWindow::FindFocus() == b.field; });
            EXPECT_EQ(wxWindow::FindFocus(), b.field) << b.text;
        }
        EXPECT_EQ(TheSettings().HTMLItemNumber, 10);
        // The edges of the ranges are taken.
        subjects.SetValue("0");
        size.SetValue("12800");
        Control<wxCheckBox>(d, res::IDC_PREF_SHOW_REPORT).SetValue(false);
        Control<wxCheckBox>(d, res::IDC_AUTO_RENAME).SetValue(true);
        Control<wxTextCtrl>(d, res::IDC_MAILBOX_PATH).SetValue("");
        ClickButton(d, res::IDOK_BUTTON);
    });
    PostCommand(frame, res::ID_FILE_PREFERENCE);
    EXPECT_EQ(script.PendingSteps(), 0u);
    ASSERT_FALSE(script.messages.empty());
    EXPECT_EQ(script.messages.back(), kPreferenceRestartMessage);
    EXPECT_NE(script.messages.front(), kPreferenceRestartMessage);
    const AppSettings& s = TheSettings();
    EXPECT_EQ(s.HTMLItemNumber, 0);
    EXPECT_EQ(s.AttachmentSizeLimit, 12800);
    EXPECT_EQ(s.BrowserReport, 0);
    EXPECT_EQ(s.FileRename, 1);
    EXPECT_EQ(s.KESTLMailFolderPath, "");
    EXPECT_EQ(s.RemoveFwString, loaded.RemoveFwString);
    // OK always says to restart, also when nothing changed.
    script.messages.clear();
    script.Then([&](wxDialog& d) { ClickButton(d, res::IDOK_BUTTON); });
    PostCommand(frame, res::ID_FILE_PREFERENCE);
    EXPECT_EQ(script.messages, std::vector<std::string>{kPreferenceRestartMessage});
}

TEST_F(CommandTest, AFirstStartWithoutAStoreLeadsThroughThePreferencesToTheFolders) {
    std::string prefix = dir.MakeDir("wine");
    ScopedEnv wine("WINEPREFIX", prefix);
    std::string store = dir.MakeDir("found store");
    dir.Write("found store/Acct/account{1}.oeaccount", "<x/>");
    dir.MakeDir("found store/Acct/Inbox");
    CMainFrame::SetFolderPaneFactory([](wxWindow* parent, CExpressFolderView*& view) {
        view = new CExpressFolderView(parent);
        return static_cast<wxWindow*>(view);
    });
    ModalScript script;
    CMainFrame* frame = Start();
    ASSERT_NE(frame->GetFolderView(), nullptr);
    // Said once the main window is up, over it.
    ASSERT_TRUE(PumpUntil([&] { return !script.messages.empty(); }));
    EXPECT_EQ(script.messages.front(), kNoStoreMessage);
    EXPECT_TRUE(CommandEnabled(frame, res::ID_FILE_PREFERENCE));
    wxTreeCtrl* tree = frame->GetFolderView()->GetTree();
    EXPECT_EQ(tree->GetCount(), 0u);

    script.messages.clear();
    script.yesNoAnswer = wxID_YES;
    wxString browserTitle, browserStart;
    script
        .Then([&](wxDialog& d) {
            ClickButton(d, res::IDC_BROWSE_MAILBOX);
            EXPECT_EQ(Control<wxTextCtrl>(d, res::IDC_MAILBOX_PATH).GetValue(),
                      wxString::FromUTF8(store));
            ClickButton(d, res::IDOK_BUTTON);
        })
        .Then([&](wxDialog& browser) {
            auto& folders = dynamic_cast<CFolderDialog&>(browser);
            browserTitle = folders.GetMessage();
            browserStart = folders.GetPath();
            // A folder that is not there is refused; the one chosen in the tree is taken.
            folders.SetPath(wxString::FromUTF8(store + "/nothing"));
            ClickButton(browser, wxID_OK);
            EXPECT_TRUE(browser.IsModal());
            folders.SetPath(wxString::FromUTF8(store));
            ClickButton(browser, wxID_OK);
        });
    PostCommand(frame, res::ID_FILE_PREFERENCE);
    EXPECT_EQ(script.PendingSteps(), 0u);
    EXPECT_EQ(browserTitle, Tr(res::TextId::MailboxBrowserTitle));
    // The field held the default root that discovery stored when it found nothing.
    EXPECT_EQ(browserStart.utf8_string().rfind(prefix, 0), 0u) << browserStart;
    EXPECT_EQ(TheSettings().KESTLMailFolderPath, store);
    EXPECT_EQ(script.messages,
              (std::vector<std::string>{"The folder \"" + store + "/nothing\" does not exist.",
                                        kPreferenceRestartMessage,
                                        Tr(res::TextId::ReloadStoreQuestion)}));
    // Read again at once: the new store's account is in the tree.
    ASSERT_EQ(tree->GetChildrenCount(tree->GetRootItem(), false), 1u);
    wxTreeItemIdValue cookie;
    EXPECT_EQ(tree->GetItemText(tree->GetFirstChild(tree->GetRootItem(), cookie)), "Acct");
}

TEST_F(CommandTest, EveryDialogIsWholeInGermanAndTheFileHasEachOfItsTexts) {
    InstallGerman();
    CMainFrame* frame = Start();
    PostCommand(frame, 5051);
    // The frame's own texts (labels, tool tips, list headings) switch with the menus: none of
    // the program's texts that German words differently still shows in English.
    std::vector<std::string> english;
    std::function<void(wxWindow*)> walk = [&](wxWindow* w) {
        if (!w->IsShownOnScreen()) return;
        std::vector<wxString> shown = {w->GetLabel()};
        if (wxToolTip* tip = w->GetToolTip()) shown.push_back(tip->GetTip());
        if (auto* list = dynamic_cast<wxListCtrl*>(w)) {
            const std::vector<wxString> headings = ColumnTexts(*list);
            shown.insert(shown.end(), headings.begin(), headings.end());
        }
        for (const wxString& text : shown)
            for (const res::ProgramText& t : res::kProgramTexts)
                if (text.utf8_string() == t.english && Tr(t.id) != t.english)
                    english.push_back(t.key);
        for (wxWindow* child : w->GetChildren())
            walk(child);
    };
    walk(frame);
    EXPECT_TRUE(english.empty()) << ::testing::PrintToString(english);
    SaveScreenshotIfAsked("de-frame");
    // Every text a dialog shows that the language file can replace: where it was looked up and
    // whether one of the lookups found a German text.
    struct Lookup {
        bool found = false;
        std::string where;
    };
    std::map<wxWindow*, Lookup> lookups;
    SetDialogTextObserver(
        [&](wxWindow* w, unsigned section, unsigned key, const wxString& text, bool found) {
            Lookup& l = lookups[w];
            l.found = l.found || found;
            if (l.where.empty())
                l.where = "[" + std::to_string(section) + "] " + std::to_string(key) + "=" +
                          text.utf8_string();
        });
    // Texts that show data (a folder's name, a path, the version) are no words to translate.
    const std::set<int> data = {res::IDC_SEARCH_FOLDER_NAME, res::IDC_DESTINATION_PATH,
                                res::IDC_VERSION_TEXT};
    std::vector<std::string> missing;
    // Each dialog is checked once it shows: no text cut, none the file has no German for.
    auto check = [&](wxDialog& d, const std::string& name) {
        ASSERT_TRUE(PumpUntil([&] { return d.IsShownOnScreen(); }));
        ExpectNothingCut(d);
        SaveScreenshotIfAsked("de-" + name, &d);
        for (const auto& [w, l] : lookups)
            if (!l.found && !data.count(w->GetId())) missing.push_back(name + " " + l.where);
        lookups.clear();
    };
    ScriptedMessageBox ui;
    CExtractOptionSheet sheet(frame);
    CSearchMailDialog search(frame, "Inbox", "", ui);
    COEMessageDialog messages(frame, ui);
    // Each wizard page as the first of a wizard of its own, so each shows without a run.
    StoreDiscovery noFolders;
    auto wizardOf = [&](unsigned id, std::function<CWizardPage*()> page) {
        return [&, id, page] {
            CWizardDialog wizard(frame, res::IDD_WIZARD, "Wizard", wxSize(324, 193));
            wizard.AddPage(page(), id);
            wizard.Start();
            wizard.ShowModal();
        };
    };
    // Each dialog, how it is opened, and what more than the check it shows in German.
    const struct {
        std::string name;
        std::function<void()> open;
        std::function<void(wxDialog&)> more;
    } dialogs[] = {
        {"preference", [&] { PostCommand(frame, res::ID_FILE_PREFERENCE); },
         [](wxDialog& d) {
             EXPECT_EQ(d.GetTitle(), "Einstellungen");
             EXPECT_EQ(Control<wxNotebook>(d, res::IDC_PREFERENCE_TABS).GetPageText(0),
                       "Allgemeine Einstellungen");
         }},
        {"about", [&] { PostCommand(frame, res::ID_APP_ABOUT); }, nullptr},
        {"identity", [&] { PostCommand(frame, res::ID_SWITCH_IDENTITY); }, nullptr},
        // The option sheet was laid out for the English texts before it was translated.
        {"options", [&] { sheet.ShowModal(); },
         [&](wxDialog& d) {
             EXPECT_EQ(Control<wxCheckBox>(d, res::IDC_SHOW_REPORT).GetLabel(),
                       "Extraktionsbericht anzeigen");
             auto& tabs = Control<wxNotebook>(d, res::IDC_OPTION_TABS); // the first shows at once
             for (size_t page = 1; page < tabs.GetPageCount(); ++page) {
                 tabs.SetSelection(page);
                 check(d, "options-" + std::to_string(page));
             }
         }},
        // The list's headings are German and whole.
        {"search", [&] { search.ShowModal(); },
         [](wxDialog& d) {
             auto& list = Control<wxListCtrl>(d, res::IDC_SEARCH_LIST);
             using res::TextId;
             const TextId headings[] = {TextId::SearchColumnSender,   TextId::SearchColumnSubject,
                                        TextId::SearchColumnReceived, TextId::SearchColumnFolder,
                                        TextId::SearchColumnBodySize, TextId::SearchColumnEntryId};
             const std::vector<wxString> shown = ColumnTexts(list);
             ASSERT_EQ(shown.size(), std::size(headings));
             for (int c = 0; c < list.GetColumnCount(); ++c) {
                 EXPECT_EQ(shown[c], WxTr(headings[c]));
                 EXPECT_GE(list.GetColumnWidth(c), list.GetTextExtent(shown[c]).x) << c;
             }
         }},
        {"oe-messages", [&] { messages.ShowModal(); }, nullptr},
        {"wizard-folder",
         wizardOf(res::IDD_WIZARD_FOLDER_PAGE, [&] { return new CWizardFolderPage(noFolders, ui); }),
         nullptr},
        {"wizard-destination",
         wizardOf(res::IDD_WIZARD_DESTINATION_PAGE, [&] { return new CWizardDestinationPage(ui); }),
         nullptr},
        {"wizard-duration",
         wizardOf(res::IDD_WIZARD_DURATION_PAGE, [] { return new CWizardDurationPage; }), nullptr},
    };
    ModalScript script;
    for (const auto& dialog : dialogs) {
        SCOPED_TRACE(dialog.name);
        script.Then([&](wxDialog& d) {
            check(d, dialog.name);
            if (dialog.more) dialog.more(d);
            d.EndModal(wxID_CANCEL);
        });
        dialog.open();
    }
    EXPECT_EQ(script.PendingSteps(), 0u);
    SetDialogTextObserver({});
    EXPECT_TRUE(missing.empty()) << ::testing::PrintToString(missing);
}

TEST_F(CommandTest, TheIdentityChosenIsKeptForTheTitleAndCancelKeepsTheOldOne) {
    WriteSettings("LastUserIdentity=Jane\r\n");
    CMainFrame* frame = Start();
    ModalScript script;
    script.Then([&](wxDialog& d) { ClickButton(d, res::IDCANCEL_BUTTON); });
    PostCommand(frame, res::ID_SWITCH_IDENTITY);
    EXPECT_EQ(TheSettings().LastUserIdentity, "Jane");
    EXPECT_TRUE(script.messages.empty());
    // A store without identities: OK empties the name; the title keeps it until the next start.
    script.Then([&](wxDialog& d) {
        EXPECT_EQ(d.GetTitle(), "Select Oultook Express Identity");
        EXPECT_EQ(Control<wxListBox>(d, res::IDC_IDENTITY_LIST).GetCount(), 0u);
        ClickButton(d, res::IDOK_BUTTON);
    });
    PostCommand(frame, res::ID_SWITCH_IDENTITY);
    EXPECT_EQ(script.messages, std::vector<std::string>{kIdentityRestartMessage});
    EXPECT_EQ(TheSettings().LastUserIdentity, "");
    EXPECT_EQ(frame->GetTitle(), "Kestrel - Jane");

    StoreDiscovery discovery;
    discovery.Identities.resize(2);
    discovery.Identities[0].Name = "Main Identity";
    discovery.Identities[1].Name = "Work";
    CIdentityDialog dialog(frame, &discovery);
    EXPECT_EQ(dialog.GetList()->GetStringSelection(), "Main Identity");
    script.Then([&](wxDialog& d) {
        Control<wxListBox>(d, res::IDC_IDENTITY_LIST).SetSelection(1);
        ClickButton(d, res::IDOK_BUTTON);
    });
    EXPECT_EQ(dialog.ShowModal(), wxID_OK);
    EXPECT_EQ(dialog.GetIdentity(), "Work");
}

TEST_F(CommandTest, TheMailProgramStartsWithWineOrTheUserIsToldWhyNot) {
    std::string prefix = dir.MakeDir("wine");
    ScopedEnv winePrefix("WINEPREFIX", prefix);
    CMainFrame* frame = Start();
    ModalScript script;
    PostCommand(frame, res::ID_LAUNCH_MAIL);
    EXPECT_EQ(script.messages, std::vector<std::string>{MailProgramMissingMessage()});

    std::string program =
        dir.Write("wine/drive_c/Program Files/Windows Live/Mail/wlmail.exe", "MZ");
    // Installed, but Wine is not.
    script.messages.clear();
    PostCommand(frame, res::ID_LAUNCH_MAIL);
    ASSERT_TRUE(PumpUntil([&] { return !script.messages.empty(); }));
    EXPECT_EQ(script.messages.front(), MailProgramNotStartedMessage(program));

    programs.Add("wine", 0);
    script.messages.clear();
    PostCommand(frame, res::ID_LAUNCH_MAIL);
    EXPECT_TRUE(PumpUntil([&] { return programs.Ran("wine " + program); }));
    PumpFor(100);
    EXPECT_TRUE(script.messages.empty());
}

TEST_F(CommandTest, SupportAndTheTutorialOpenHelpPagesAndAFailedOpenIsReported) {
    CMainFrame* frame = Start();
    ModalScript script;
    PostCommand(frame, res::ID_SUPPORT);
    // The caption bar's button sends the tutorial command as a click.
    wxCommandEvent click(wxEVT_BUTTON, res::WxId(res::ID_ONLINE_TUTORIAL));
    frame->GetEventHandler()->ProcessEvent(click);
    EXPECT_TRUE(PumpUntil([&] {
        return programs.Ran(HelpPagePath(kSupportPage)) &&
               programs.Ran(HelpPagePath(kTutorialPage));
    }));
    for (const char* page : {kSupportPage, kTutorialPage})
        EXPECT_TRUE(std::filesystem::exists(HelpPagePath(page))) << page;
    EXPECT_TRUE(script.messages.empty());
    for (unsigned id : {res::ID_FILE_PREFERENCE, res::ID_SWITCH_IDENTITY, res::ID_LAUNCH_MAIL,
                        res::ID_LAUNCH_BROWSER, res::ID_EDIT_REPORT, res::ID_HELP_TOPICS,
                        res::ID_SUPPORT, res::ID_APP_ABOUT})
        EXPECT_TRUE(CommandEnabled(frame, id)) << id;
    wxWindow* tutorial = wxWindow::FindWindowById(res::WxId(res::ID_ONLINE_TUTORIAL), frame);
    ASSERT_NE(tutorial, nullptr);
    tutorial->UpdateWindowUI();
    EXPECT_TRUE(tutorial->IsEnabled());

    // The last report: nothing without one, a message when it is gone, else the browser or
    // the editor.
    ScopedEnv editor("VISUAL", dir / "fakebin/edit");
    programs.Add("edit", 0);
    PostCommand(frame, res::ID_LAUNCH_BROWSER);
    PostCommand(frame, res::ID_EDIT_REPORT);
    TheSettings().LastHtmlReport = dir / "gone/report.htm";
    PostCommand(frame, res::ID_LAUNCH_BROWSER);
    PostCommand(frame, res::ID_EDIT_REPORT);
    EXPECT_EQ(script.messages,
              (std::vector<std::string>{"Cannot Find Report File!!", "Cannot Find Report File!!"}));
    std::string report = dir.Write("dest/report.htm", "<html></html>");
    TheSettings().LastHtmlReport = report;
    PostCommand(frame, res::ID_LAUNCH_BROWSER);
    PostCommand(frame, res::ID_EDIT_REPORT);
    EXPECT_TRUE(PumpUntil(
        [&] { return programs.Ran("xdg-open " + report) && programs.Ran("edit " + report); }));
    EXPECT_FALSE(programs.Ran("gone"));
    script.messages.clear();

    // No application could open it: the user is told, not left waiting. One at a time, so that
    // the two warnings never wait on each other's nested dialog loops.
    programs.Add("xdg-open", 3);
    PostCommand(frame, res::ID_SUPPORT);
    ASSERT_TRUE(PumpUntil([&] { return script.messages.size() == 1; }));
    PostCommand(frame, res::ID_LAUNCH_BROWSER);
    ASSERT_TRUE(PumpUntil([&] { return script.messages.size() == 2; }));
    EXPECT_EQ(script.messages, (std::vector<std::string>{
                                   OpenFailedMessage(HelpPagePath(kSupportPage)),
                                   OpenFailedMessage(report)}));
}

TEST_F(CommandTest, HelpTopicsAndF1ShowTheFirstTopicOfTheHelpBook) {
    CMainFrame* frame = Start();
    ModalScript script;
    for (unsigned id : {res::ID_HELP_TOPICS, res::ID_HELP}) {
        EXPECT_TRUE(CommandEnabled(frame, res::ID_HELP_TOPICS));
        PostCommand(frame, id);
        wxHtmlHelpController* help = GetHelpController();
        ASSERT_NE(help, nullptr) << id;
        ASSERT_NE(help->GetFrame(), nullptr);
        EXPECT_TRUE(help->GetFrame()->IsShown());
        EXPECT_TRUE(
            help->GetHelpWindow()->GetHtmlWindow()->GetOpenedPage().EndsWith(kHelpFirstTopic));
        help->GetHelpWindow()->GetHtmlWindow()->LoadPage(wxString(KESTREL_OUTPUT_DIR "/help/") +
                                                         kAboutPage);
    }
    // A help request from any window does the same.
    wxHelpEvent request(wxEVT_HELP, frame->GetId());
    frame->GetEventHandler()->ProcessEvent(request);
    EXPECT_TRUE(GetHelpController()->GetHelpWindow()->GetHtmlWindow()->GetOpenedPage().EndsWith(
        kHelpFirstTopic));
    EXPECT_TRUE(script.messages.empty());

    // Escape closes the viewer; it opens again where it was, its contents as they were left.
    wxFrame* viewer = GetHelpController()->GetFrame();
    SaveScreenshotIfAsked("help");
    wxTreeCtrl* contents = FindChild<wxTreeCtrl>(viewer);
    ASSERT_NE(contents, nullptr);
    wxTreeItemIdValue cookie;
    wxTreeItemId book = contents->GetFirstChild(contents->GetRootItem(), cookie);
    ASSERT_TRUE(book.IsOk());
    contents->Collapse(book);
    viewer->SetSize(40, 30, 700, 500);
    ASSERT_TRUE(PumpUntil([&] { return viewer->GetScreenRect() == wxRect(40, 30, 700, 500); }));
    PointAt(*viewer, wxPoint(350, 250));
    wxUIActionSimulator().Char(WXK_ESCAPE);
    ASSERT_TRUE(PumpUntil([] { return GetHelpController()->GetFrame() == nullptr; }));
    // Help Topics again: the viewer stands where it was left, its book as it was left.
    auto reopen = [&](const wxRect& place, bool bookOpen) {
        PostCommand(frame, res::ID_HELP_TOPICS);
        viewer = GetHelpController()->GetFrame();
        ASSERT_NE(viewer, nullptr);
        EXPECT_TRUE(PumpUntil([&] { return viewer->GetScreenRect() == place; }))
            << viewer->GetScreenRect().x << "," << viewer->GetScreenRect().y;
        contents = FindChild<wxTreeCtrl>(viewer);
        book = contents->GetFirstChild(contents->GetRootItem(), cookie);
        EXPECT_EQ(contents->IsExpanded(book), bookOpen);
    };
    reopen(wxRect(40, 30, 700, 500), false);
    // The viewer goes with the main window; the next run opens it where it was left, as it was.
    viewer->SetSize(60, 50, 720, 520);
    ASSERT_TRUE(PumpUntil([&] { return viewer->GetScreenRect() == wxRect(60, 50, 720, 520); }));
    CloseFrame();
    EXPECT_EQ(GetHelpController(), nullptr);
    EXPECT_EQ(profile::GetInt(SettingsFile(), "Window", "HelpWidth", 0), 720);
    frame = Restart();
    reopen(wxRect(60, 50, 720, 520), false);
    contents->Expand(book);
    frame = Restart();
    reopen(wxRect(60, 50, 720, 520), true);
    CloseFrame();

    SetHelpBookFolder(dir / "no help here");
    frame = Start();
    PostCommand(frame, res::ID_HELP_TOPICS);
    EXPECT_EQ(script.messages, std::vector<std::string>{HelpBookMissingMessage()});
}

TEST_F(CommandTest, TheAboutBoxScrollsItsCreditsAndItsLinkOpensTheAboutPage) {
    // The test makes every tick itself, whatever the machine's speed.
    CAboutBox::UseOwnTimer(false);
    struct OwnTimerBack {
        ~OwnTimerBack() { CAboutBox::UseOwnTimer(true); }
    } back;
    CMainFrame* frame = Start();
    ModalScript script;
    int result = 0;
    script.Then([&](wxDialog& d) {
        auto& box = dynamic_cast<CAboutBox&>(d);
        EXPECT_TRUE(box.IsScrolling());
        EXPECT_EQ(Control<wxStaticText>(d, res::IDC_VERSION_TEXT).GetLabel(), kAboutVersionText);
        CLinkStatic* link = box.GetLink();
        EXPECT_EQ(link->GetLink(), HelpPagePath(kAboutPage));
        EXPECT_EQ(link->GetForegroundColour(), link->LinkColour());
        // The panel stays white until the first line comes in, row by row from the bottom.
        auto creditRows = [&box] {
            wxImage image = box.GetCanvas().ConvertToImage();
            int rows = 0;
            for (int y = 0; y < image.GetHeight(); ++y) {
                bool coloured = false;
                for (int x = 0; x < image.GetWidth() && !coloured; ++x)
                    coloured = image.GetRed(x, y) > 200 && image.GetGreen(x, y) < 200 &&
                               image.GetBlue(x, y) < 150;
                rows += coloured;
            }
            return rows;
        };
        for (int i = 0; i < 14; ++i)
            box.Tick();
        EXPECT_EQ(creditRows(), 0);
        for (int i = 0; i < 40; ++i)
            box.Tick();
        EXPECT_GT(creditRows(), 5);

        link->Click();
        EXPECT_TRUE(PumpUntil([&] { return link->IsVisited(); }));
        EXPECT_TRUE(programs.Ran(HelpPagePath(kAboutPage)));
        EXPECT_EQ(link->GetForegroundColour(), link->VisitedColour());
        EXPECT_TRUE(d.IsModal());
        // A click elsewhere on the box closes it as OK does.
        wxMouseEvent up(wxEVT_LEFT_UP);
        box.GetCreditsPanel()->GetEventHandler()->ProcessEvent(up);
        result = d.IsModal() ? -1 : 1;
    });
    PostCommand(frame, res::ID_APP_ABOUT);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(script.messages.empty());

    // A link the desktop cannot open: the beep, the hyperlink error, and it stays unvisited.
    programs.Add("xdg-open", 3);
    CLinkStatic link(frame, wxID_ANY, "x");
    link.SetLink(HelpPagePath(kAboutPage));
    link.Click();
    ASSERT_TRUE(PumpUntil([&] { return !script.messages.empty(); }));
    EXPECT_EQ(script.messages.front(), HyperlinkErrorMessage(31));
    EXPECT_FALSE(link.IsVisited());
}

TEST_F(CommandTest, TheDestinationPanesFollowTheDiskAndTheTypedPath) {
    std::string dest = dir.MakeDir("dest");
    std::string other = dir.MakeDir("other place");
    for (const char* name : {"a (10).jpg", "a (2).jpg", "B.txt"})
        dir.Write(std::string("dest/") + name, "x");
    dir.MakeDir("dest/sub");
    WriteSettings("LastFileFolder=" + dest + "\r\n");
    CMainFrame* frame = Start();
    ModalScript script;
    EXPECT_GE(frame->GetMinSize().x, 640);
    frame->Maximize(false);
    PumpUntil([&] { return frame->GetSize().x >= frame->GetMinSize().x; });
    EXPECT_GE(frame->GetSize().x, frame->GetMinSize().x);

    CIEShellListView* list = frame->GetFileList();
    ASSERT_TRUE(PumpUntil([&] { return list->GetItemCount() == 4; }));
    auto rows = [list] {
        std::vector<std::string> out;
        for (long i = 0; i < list->GetItemCount(); ++i)
            out.push_back(list->GetItemText(i).utf8_string());
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(rows(), (V{"sub", "a (2).jpg", "a (10).jpg", "B.txt"}));
    wxListEvent heading(wxEVT_LIST_COL_CLICK, list->GetId());
    heading.m_col = CIEShellListView::kName;
    list->GetEventHandler()->ProcessEvent(heading);
    EXPECT_EQ(rows(), (V{"sub", "B.txt", "a (10).jpg", "a (2).jpg"}));
    heading.m_col = CIEShellListView::kType;
    list->GetEventHandler()->ProcessEvent(heading);
    EXPECT_EQ(rows(), (V{"sub", "a (2).jpg", "a (10).jpg", "B.txt"}));

    wxListEvent open(wxEVT_LIST_ITEM_ACTIVATED, list->GetId());
    open.m_itemIndex = 2;
    list->GetEventHandler()->ProcessEvent(open);
    EXPECT_TRUE(PumpUntil([&] { return programs.Ran(dest + "/a (10).jpg"); }));
    // A folder is entered, not handed to the desktop.
    open.m_itemIndex = 0;
    list->GetEventHandler()->ProcessEvent(open);
    EXPECT_TRUE(PumpUntil([&] { return frame->GetDestinationFolder() == dest + "/sub"; }));
    EXPECT_FALSE(programs.Ran(dest + "/sub"));

    // A folder made after the tree read its parent is found, not its parent instead.
    std::string made = dir.MakeDir("dest/sub/made later");
    frame->SelectDestinationFolder(dest + "/sub");
    ASSERT_TRUE(PumpUntil([&] { return frame->GetDestinationFolder() == dest + "/sub"; }));
    std::string deeper = dir.MakeDir("dest/sub/made later/deeper");
    frame->SelectDestinationFolder(deeper);
    EXPECT_TRUE(PumpUntil([&] { return frame->GetDestinationFolder() == deeper; }));

    // A typed or pasted folder: the panes go there; one that is not there is named.
    wxComboBox* combo = frame->GetDestinationCombo();
    combo->SetValue(wxString::FromUTF8(" \"" + other + "/\" "));
    wxCommandEvent enter(wxEVT_TEXT_ENTER, combo->GetId());
    combo->GetEventHandler()->ProcessEvent(enter);
    EXPECT_TRUE(PumpUntil([&] { return frame->GetDestinationFolder() == other; }));
    EXPECT_EQ(combo->GetString(0), wxString::FromUTF8(other));
    combo->SetValue(wxString::FromUTF8(other + "/missing"));
    combo->GetEventHandler()->ProcessEvent(enter);
    EXPECT_EQ(script.messages, std::vector<std::string>{FolderMissingMessage(other + "/missing")});
    EXPECT_EQ(frame->GetDestinationFolder(), other);
    EXPECT_EQ(combo->GetValue(), wxString::FromUTF8(other));
}
