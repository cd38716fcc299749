#include "GuiTest.h"
#include <gtest/gtest-spi.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/aui/auibar.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/splitter.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>
#include <wx/uiaction.h>

#include "gui/DesktopUi.h"
#include "gui/FolderBrowser.h"
#include "gui/LanguageMenus.h"
#include "gui/MainToolBar.h"
#include "gui/Pictures.h"
#include "gui/ShellListView.h"
#include "gui/ShellTreeView.h"
#include "gui/SplashScreen.h"
#include "locale/ProfileFile.h"
#include "res/Resource.h"

namespace {

// Every caption of the menu bar by its place: top-level labels and items by id.
std::map<std::string, wxString> MenuTexts(wxMenuBar* bar) {
    std::map<std::string, wxString> texts;
    std::function<void(wxMenu*, const std::string&)> walk = [&](wxMenu* menu,
                                                                const std::string& key) {
        for (size_t i = 0; i < menu->GetMenuItemCount(); ++i) {
            wxMenuItem* item = menu->FindItemByPosition(i);
            if (item->IsSeparator()) continue;
            std::string k = key + "|" + std::to_string(i);
            texts[k] = item->GetItemLabel();
            if (item->IsSubMenu()) walk(item->GetSubMenu(), k);
        }
    };
    for (size_t i = 0; i < bar->GetMenuCount(); ++i) {
        texts["|" + std::to_string(i)] = bar->GetMenuLabel(i);
        walk(bar->GetMenu(i), "|" + std::to_string(i));
    }
    return texts;
}

wxString Label(wxMenuBar* bar, unsigned id) {
    return bar->FindItem(res::WxId(id))->GetItemLabel();
}

// A folder pane that handles Extract Attachments, as the mail folder view does.
class CHandlingPane : public wxPanel, public CCmdTarget {
public:
    explicit CHandlingPane(wxWindow* parent) : wxPanel(parent) {
        OnCommand(res::ID_EXTRACT_ATTACHMENTS, [this](wxCommandEvent&) { ++handled; });
    }
    int handled = 0;
};

// Docks the tool bar as the gripper does: through the dock manager's pane and an update.
void DockToolBar(CMainFrame* frame, int direction) {
    frame->GetDockManager().GetPane(kToolBarPane).Dock().Direction(direction).Row(0).Position(0);
    frame->GetDockManager().Update();
}
void FloatToolBar(CMainFrame* frame, wxPoint spot) {
    frame->GetDockManager().GetPane(kToolBarPane).Float().FloatingPosition(spot);
    frame->GetDockManager().Update();
}

// Where the bar stands, read from the windows: the side of the panes it is on, or floating.
std::string ToolBarSide(CMainFrame* frame) {
    wxAuiToolBar* bar = frame->GetMainToolBar();
    if (wxGetTopLevelParent(bar) != frame) return bar->IsShownOnScreen() ? "Floating" : "hidden";
    wxRect b = bar->GetRect();
    wxRect panes = frame->GetSplitter()->GetParent()->GetRect();
    bool vertical = b.height > b.width;
    if (vertical && b.GetRight() < panes.x) return "Left";
    if (vertical && b.x > panes.GetRight()) return "Right";
    if (!vertical && b.GetBottom() < panes.y) return "Top";
    if (!vertical && b.y > panes.GetBottom()) return "Bottom";
    return "overlapping";
}

// A step of the user's in a text field: the caret put at the end or everything selected first,
// then the key with its modifiers, or with no key the text of keys typed; after, the field's text.
enum class Before { Nothing, CaretAtEnd, SelectAll };
struct EditKeyStep {
    const char* keys;
    Before before;
    int key;
    int modifiers;
    const char* after;
};

// The steps pressed as the user presses them, over the field that has the focus.
void PressEditKeys(wxWindow& field, wxTextEntry& entry, std::initializer_list<EditKeyStep> steps) {
    PointAt(field, wxPoint(10, 10));
    field.SetFocus();
    ASSERT_TRUE(PumpUntil([&] { return wxWindow::FindFocus() == &field; }));
    wxUIActionSimulator sim;
    for (const EditKeyStep& step : steps) {
        SCOPED_TRACE(step.keys);
        if (step.before == Before::CaretAtEnd) entry.SetInsertionPointEnd();
        if (step.before == Before::SelectAll) entry.SelectAll();
        if (step.key) {
            sim.Char(step.key, step.modifiers);
        } else {
            sim.Text(step.keys);
        }
        EXPECT_TRUE(PumpUntil([&] { return entry.GetValue() == step.after; }))
            << "\"" << entry.GetValue() << "\", not \"" << step.after << "\"";
    }
}

} // namespace

TEST_F(GuiTest, StartUpShowsTheTitleWithTheIdentityAndSelectsTheLastFolderOnce) {
    std::string last = dir.MakeDir("dest/sub");
    std::string other = dir.MakeDir("dest/other");
    WriteSettings("LastFileFolder=" + last + "\r\nLastUserIdentity=Jane\r\n");
    CMainFrame* frame = Start();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->IsShown());
    EXPECT_EQ(frame->GetTitle(), "Kestrel - Jane");
    ASSERT_TRUE(PumpUntil([&] { return frame->GetDestinationFolder() == last; }));
    EXPECT_EQ(frame->GetDestinationCombo()->GetString(0), wxString::FromUTF8(last));
    EXPECT_EQ(frame->GetDestinationCombo()->GetSelection(), 0);
    EXPECT_EQ(frame->GetFileList()->GetFolder(), last);
    // Later activations keep whatever the user chose since.
    frame->SelectDestinationFolder(other);
    frame->HandleActivation();
    PumpFor(100);
    EXPECT_EQ(frame->GetDestinationFolder(), other);
    EXPECT_FALSE(CSplashScreen::IsShowing());
}

TEST_F(GuiTest, WithoutAnIdentityOrFolderTheTitleStaysAndHomeIsSelected) {
    std::string home = dir.MakeDir("home");
    ScopedEnv homeEnv("HOME", home);
    CMainFrame* frame = Start();
    EXPECT_EQ(frame->GetTitle(), "Kestrel");
    EXPECT_TRUE(PumpUntil([&] { return frame->GetDestinationFolder() == home; }));
}

TEST_F(GuiTest, TheSplashScreenIsHiddenByTheFirstKeyWhichGoesNoFurther) {
    CSplashScreen::EnableSplashScreen(true);
    CSplashScreen::ShowSplashScreen(nullptr);
    ASSERT_TRUE(CSplashScreen::IsShowing());
    // The whole picture shows, not a window the toolkit shrank.
    const wxSize picture = res::LoadSplashBitmap().GetSize();
    PumpUntil([&] { return CSplashScreen::GetShowing()->GetClientSize() == picture; });
    EXPECT_EQ(CSplashScreen::GetShowing()->GetClientSize(), picture);
    wxKeyEvent key(wxEVT_KEY_DOWN);
    EXPECT_EQ(wxTheApp->FilterEvent(key), wxApp::Event_Processed);
    EXPECT_FALSE(CSplashScreen::IsShowing());
    wxKeyEvent next(wxEVT_KEY_DOWN);
    EXPECT_EQ(wxTheApp->FilterEvent(next), wxApp::Event_Skip);
    // A click hides it the same way.
    CSplashScreen::ShowSplashScreen(nullptr);
    wxMouseEvent click(wxEVT_LEFT_DOWN);
    EXPECT_EQ(wxTheApp->FilterEvent(click), wxApp::Event_Processed);
    EXPECT_FALSE(CSplashScreen::IsShowing());
}

TEST_F(GuiTest, TheNewestDestinationIsOnTopAndSelected) {
    std::string a = dir.MakeDir("a"), b = dir.MakeDir("b");
    WriteSettings("LastFileFolder=" + a + "\r\n");
    CMainFrame* frame = Start();
    ASSERT_TRUE(PumpUntil([&] { return frame->GetDestinationFolder() == a; }));
    frame->SelectDestinationFolder(b);
    ASSERT_TRUE(PumpUntil([&] { return frame->GetDestinationFolder() == b; }));
    wxComboBox* combo = frame->GetDestinationCombo();
    ASSERT_GE(combo->GetCount(), 2u);
    EXPECT_EQ(combo->GetString(0), wxString::FromUTF8(b));
    EXPECT_EQ(combo->GetString(1), wxString::FromUTF8(a));
    EXPECT_EQ(combo->GetSelection(), 0);
    frame->ShowDestination("/elsewhere");
    EXPECT_EQ(combo->GetString(0), "/elsewhere");
    EXPECT_EQ(combo->GetString(1), wxString::FromUTF8(b));
    // Going back to a folder moves it up: the history holds each folder once.
    frame->SelectDestinationFolder(a);
    ASSERT_TRUE(PumpUntil([&] { return frame->GetDestinationFolder() == a; }));
    std::vector<wxString> entries;
    for (unsigned i = 0; i < combo->GetCount(); ++i)
        entries.push_back(combo->GetString(i));
    EXPECT_EQ(entries, (std::vector<wxString>{wxString::FromUTF8(a), "/elsewhere",
                                              wxString::FromUTF8(b)}));
}

// The panes keep the widths the user left them at; the first time the folder pane shows its
// title whole.
TEST_F(GuiTest, ThePaneWidthsAreKeptAcrossRuns) {
    CMainFrame* frame = Start();
    auto* splitter = frame->GetSplitter();
    auto* inner = dynamic_cast<wxSplitterWindow*>(splitter->GetWindow2());
    ASSERT_NE(inner, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return frame->GetPane(0)->GetSize().x > 0; }));
    wxStaticText* title = FindChild<wxStaticText>(frame->GetPane(0));
    ASSERT_NE(title, nullptr);
    EXPECT_GE(title->GetSize().x, title->GetTextExtent(title->GetLabel()).x);
    splitter->SetSashPosition(233);
    inner->SetSashPosition(177);
    CloseFrame();
    std::string saved = ReadFileText(SettingsFile());
    EXPECT_NE(saved.find("FolderPaneWidth=233"), std::string::npos) << saved;
    EXPECT_NE(saved.find("TreePaneWidth=177"), std::string::npos) << saved;
    frame = Restart();
    inner = dynamic_cast<wxSplitterWindow*>(frame->GetSplitter()->GetWindow2());
    EXPECT_EQ(frame->GetSplitter()->GetSashPosition(), 233);
    EXPECT_EQ(inner->GetSashPosition(), 177);
}

// Closed or told to quit, the frame writes the settings as it goes: what changed and what was
// read alike.
TEST_F(GuiTest, SettingsAreWrittenWhenTheFrameGoesByCloseOrQuitSignal) {
    for (bool signal : {false, true}) {
        SCOPED_TRACE(signal ? "SIGTERM" : "closed");
        WriteSettings("LastMailFolder=/mail/\r\n");
        CMainFrame* frame = Start();
        ASSERT_NE(frame, nullptr);
        TheSettings().LastFileFolder = "/chosen/folder";
        if (signal) {
            raise(SIGTERM);
        } else {
            frame->Close(true);
        }
        ASSERT_TRUE(PumpUntil([] { return TheMainFrame() == nullptr; }));
        std::string saved = ReadFileText(SettingsFile());
        EXPECT_NE(saved.find("LastFileFolder=/chosen/folder"), std::string::npos) << saved;
        EXPECT_NE(saved.find("LastMailFolder=/mail/"), std::string::npos) << saved;
    }
}

TEST_F(GuiTest, TheToolBarDocksOnEverySideAndFloatsWithItsCommands) {
    CMainFrame* frame = Start();
    wxAuiToolBar* bar = frame->GetMainToolBar();
    EXPECT_TRUE(bar->GetGripperVisible());
    ASSERT_TRUE(PumpUntil([&] { return ToolBarSide(frame) == "Top"; })) << ToolBarSide(frame);
    const std::pair<int, std::string> sides[] = {{wxAUI_DOCK_LEFT, "Left"},
                                                 {wxAUI_DOCK_RIGHT, "Right"},
                                                 {wxAUI_DOCK_BOTTOM, "Bottom"},
                                                 {wxAUI_DOCK_TOP, "Top"}};
    for (const auto& [direction, side] : sides) {
        DockToolBar(frame, direction);
        // The bar turns upright on a left or right side once the frame is idle.
        EXPECT_TRUE(PumpUntil([&] { return ToolBarSide(frame) == side; }))
            << side << ": " << ToolBarSide(frame);
        EXPECT_EQ(ToolBarPlaceName(frame->GetDockManager().GetPane(bar)), side);
        SaveScreenshotIfAsked("bar-" + side, frame);
    }
    FloatToolBar(frame, frame->GetScreenPosition() + wxPoint(60, 90));
    ASSERT_TRUE(PumpUntil([&] { return ToolBarSide(frame) == "Floating"; })) << ToolBarSide(frame);
    EXPECT_EQ(ToolBarPlaceName(frame->GetDockManager().GetPane(bar)), "Floating");
    SaveScreenshotIfAsked("bar-Floating", frame);
    SaveScreenshotIfAsked("bar-Floating-bar", wxGetTopLevelParent(bar));
    // Floating, its buttons still follow the commands' state and reach the frame.
    EXPECT_FALSE(CommandEnabled(frame, res::ID_EXTRACT_ATTACHMENTS));
    EXPECT_TRUE(CommandEnabled(frame, res::ID_APP_ABOUT));
    ModalScript script;
    script.Then([](wxDialog& about) { about.EndModal(wxID_OK); });
    wxCommandEvent click(wxEVT_MENU, res::WxId(res::ID_APP_ABOUT));
    click.SetEventObject(bar);
    bar->GetEventHandler()->ProcessEvent(click);
    EXPECT_EQ(script.PendingSteps(), 0u);
    DockToolBar(frame, wxAUI_DOCK_TOP);
    EXPECT_TRUE(PumpUntil([&] { return ToolBarSide(frame) == "Top"; })) << ToolBarSide(frame);
}

TEST_F(GuiTest, TheToolBarStandsWhereItStoodInTheLastRun) {
    CMainFrame* frame = Start();
    wxPoint spot = frame->GetScreenPosition() + wxPoint(80, 120);
    FloatToolBar(frame, spot);
    ASSERT_TRUE(PumpUntil([&] { return ToolBarSide(frame) == "Floating"; }));
    CloseFrame();
    std::string saved = ReadFileText(SettingsFile());
    EXPECT_NE(saved.find("[Window]\r\nToolBar=Floating\r\n"), std::string::npos) << saved;

    frame = Start();
    ASSERT_TRUE(PumpUntil([&] { return ToolBarSide(frame) == "Floating"; })) << ToolBarSide(frame);
    EXPECT_EQ(wxGetTopLevelParent(frame->GetMainToolBar())->GetPosition(), spot);
    DockToolBar(frame, wxAUI_DOCK_RIGHT);
    frame = Restart();
    EXPECT_TRUE(PumpUntil([&] { return ToolBarSide(frame) == "Right"; })) << ToolBarSide(frame);
    // A floating spot no screen shows any more brings the bar back beside the frame.
    CloseFrame();
    WriteSettings("");
    dir.Write("config/VANDREL/KESTL/qor.ini",
              ReadFileText(SettingsFile()) +
                  "[Window]\r\nToolBar=Floating\r\nToolBarX=-30000\r\nToolBarY=-30000\r\n");
    frame = Start();
    ASSERT_TRUE(PumpUntil([&] { return ToolBarSide(frame) == "Floating"; })) << ToolBarSide(frame);
    wxPoint shown = wxGetTopLevelParent(frame->GetMainToolBar())->GetPosition();
    EXPECT_TRUE(frame->GetScreenRect().Contains(shown)) << shown.x << "," << shown.y;
}

TEST_F(GuiTest, TheEditKeysReachTheFocusedTextFieldInTheFrameAndInDialogs) {
    CMainFrame* frame = Start();
    wxComboBox* combo = frame->GetDestinationCombo();
    // The first activation puts the starting folder into the box; then it is the user's.
    ASSERT_TRUE(PumpUntil([&] { return combo->GetCount() > 0; }));
    combo->ChangeValue("");
    using B = Before;
    const int ctrl = wxMOD_CONTROL, shift = wxMOD_SHIFT;
    PressEditKeys(*combo, *combo,
                  {{"abc", B::Nothing, 0, 0, "abc"},
                   {"Ctrl+Z takes the whole run of typing back", B::Nothing, 'z', ctrl, ""},
                   {"Alt+Backspace takes the undo back", B::Nothing, WXK_BACK, wxMOD_ALT, "abc"},
                   {"Ctrl+C", B::SelectAll, 'c', ctrl, "abc"},
                   {"Ctrl+V pastes it", B::CaretAtEnd, 'v', ctrl, "abcabc"},
                   {"Shift+Delete cuts", B::SelectAll, WXK_DELETE, shift, ""},
                   {"Shift+Insert pastes", B::Nothing, WXK_INSERT, shift, "abcabc"},
                   {"Ctrl+X cuts", B::SelectAll, 'x', ctrl, ""},
                   {"Ctrl+Z undoes the cut", B::Nothing, 'z', ctrl, "abcabc"},
                   {"Ctrl+Insert copies", B::SelectAll, WXK_INSERT, ctrl, "abcabc"},
                   {"q", B::Nothing, 0, 0, "q"}, // typed over the selection
                   {"Shift+Insert pastes what Ctrl+Insert copied", B::CaretAtEnd, WXK_INSERT,
                    shift, "qabcabc"}});

    // A dialog's edit field gets the same keys.
    ModalScript script;
    script.Then([&](wxDialog& d) {
        auto* path = wxDynamicCast(d.FindWindow(res::IDC_MAILBOX_PATH), wxTextCtrl);
        ASSERT_NE(path, nullptr);
        path->ChangeValue("/mail");
        PressEditKeys(*path, *path,
                      {{"box", B::CaretAtEnd, 0, 0, "/mailbox"},
                       {"Ctrl+Z", B::Nothing, 'z', ctrl, "/mail"},
                       {"Ctrl+C", B::SelectAll, 'c', ctrl, "/mail"},
                       {"Shift+Insert pastes it", B::CaretAtEnd, WXK_INSERT, shift, "/mail/mail"}});
        ClickButton(d, res::IDCANCEL_BUTTON);
    });
    PostCommand(frame, res::ID_FILE_PREFERENCE);
    EXPECT_EQ(script.PendingSteps(), 0u);
}

TEST_F(GuiTest, GermanAndBackToDefaultRestoresEveryMenuText) {
    InstallGerman();
    CMainFrame* frame = Start();
    wxMenuBar* bar = frame->GetMenuBar();
    auto builtIn = MenuTexts(bar);
    ASSERT_NE(bar->FindItem(5051), nullptr);
    EXPECT_EQ(bar->FindItem(5051)->GetItemLabel(), "German");
    EXPECT_TRUE(bar->IsChecked(5050));
    // The status bar prompts: a language entry's is its file's description, a command's the
    // built-in one, and the idle text once the menu closes.
    const std::pair<wxMenuEvent, std::string> prompts[] = {
        {wxMenuEvent(wxEVT_MENU_HIGHLIGHT, 5051), "Deutsche Benutzeroberfläche verwenden."},
        {wxMenuEvent(wxEVT_MENU_HIGHLIGHT, res::WxId(res::ID_APP_EXIT)),
         "Quit the application; prompts to save documents"},
        {wxMenuEvent(wxEVT_MENU_CLOSE),
         "Choose Windows Live Mail folder and press right mouse button. (For Help, press F1)"}};
    for (auto [event, prompt] : prompts) {
        frame->GetEventHandler()->ProcessEvent(event);
        EXPECT_EQ(frame->GetStatusBar()->GetStatusText(0).utf8_string(), prompt);
    }

    PostCommand(frame, 5051);
    EXPECT_TRUE(bar->IsChecked(5051));
    EXPECT_FALSE(bar->IsChecked(5050));
    EXPECT_EQ(bar->GetMenuLabel(0), "&Datei   ");
    EXPECT_EQ(Label(bar, res::ID_APP_EXIT), "&Beenden");
    EXPECT_EQ(Label(bar, res::ID_EXTRACT_ATTACHMENTS), wxString::FromUTF8("&Anhänge extrahieren"));
    EXPECT_EQ(bar->GetMenu(2)->FindItemByPosition(2)->GetItemLabel(), "Sprache");
    // The tool bar's tips follow the language too.
    wxAuiToolBar* tools = frame->GetMainToolBar();
    EXPECT_EQ(tools->GetToolShortHelp(res::WxId(res::ID_LAUNCH_MAIL)), "Windows Live Mail starten!");
    EXPECT_EQ(profile::GetInt(dir / "bin/kestrel.lni", "Main", "Language", 0), 1031);
    EXPECT_EQ(frame->GetStatusBar()->GetStatusText(0),
              wxString::FromUTF8("Deutsche Benutzeroberfläche verwenden."));
    // Every caption of the menu is translated.
    auto german = MenuTexts(bar);
    for (const auto& [key, text] : builtIn)
        if (key != "|2|2|2") {
            EXPECT_NE(german[key], text) << key;
        }

    PostCommand(frame, 5050);
    EXPECT_EQ(MenuTexts(bar), builtIn);
    EXPECT_EQ(tools->GetToolShortHelp(res::WxId(res::ID_APP_ABOUT)), "About");
    EXPECT_TRUE(bar->IsChecked(5050));
    EXPECT_EQ(profile::GetInt(dir / "bin/kestrel.lni", "Main", "Language", -1), 0);
    // Choosing the checked entry again changes nothing.
    PostCommand(frame, 5050);
    EXPECT_EQ(MenuTexts(bar), builtIn);
    EXPECT_TRUE(bar->IsChecked(5050));
}

TEST_F(GuiTest, TheChoiceFileBringsGermanBackAtTheNextStart) {
    InstallGerman();
    dir.Write("bin/kestrel.lni", "[Main]\r\nLanguage=1031\r\n");
    CQorApp* app = static_cast<CQorApp*>(wxTheApp);
    InitProcessState();
    ASSERT_FALSE(TheLanguage().currentFile.empty());
    ASSERT_TRUE(app->InitInstance(0));
    wxMenuBar* bar = TheMainFrame()->GetMenuBar();
    EXPECT_TRUE(bar->IsChecked(5051));
    EXPECT_EQ(bar->GetMenuLabel(3), "&Hilfe   ");
    EXPECT_TRUE(TheMainFrame()->GetStatusBar()->GetStatusText(0).StartsWith(
        wxString::FromUTF8("Wählen Sie")));
}

TEST_F(GuiTest, ACommandNoActivePaneHandlesIsShownDisabled) {
    CHandlingPane* pane = nullptr;
    CMainFrame::SetFolderPaneFactory([&](wxWindow* parent, CExpressFolderView*&) {
        pane = new CHandlingPane(parent);
        return pane;
    });
    CMainFrame* frame = Start();
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(frame->GetActivePane(), frame->GetPane(1));
    EXPECT_FALSE(CommandEnabled(frame, res::ID_EXTRACT_ATTACHMENTS));
    PostCommand(frame, res::ID_EXTRACT_ATTACHMENTS);
    EXPECT_EQ(pane->handled, 0);
    // The frame's and the application's own commands stay enabled whatever the pane.
    EXPECT_TRUE(CommandEnabled(frame, res::ID_APP_EXIT));
    EXPECT_TRUE(CommandEnabled(frame, res::ID_APP_ABOUT));

    frame->SetActivePane(pane);
    EXPECT_TRUE(CommandEnabled(frame, res::ID_EXTRACT_ATTACHMENTS));
    PostCommand(frame, res::ID_EXTRACT_ATTACHMENTS);
    EXPECT_EQ(pane->handled, 1);
    // Focus into another pane makes it the active one (the toolkit's word that a child of the
    // pane got the focus, as it comes whether or not a window manager hands the focus over).
    wxChildFocusEvent focus(frame->GetPane(2));
    frame->GetPane(2)->GetEventHandler()->ProcessEvent(focus);
    EXPECT_EQ(frame->GetActivePane(), frame->GetPane(2));
    EXPECT_FALSE(CommandEnabled(frame, res::ID_EXTRACT_ATTACHMENTS));
}

TEST_F(GuiTest, TheFileListFollowsTheFolderUnlessUpdatesAreOff) {
    std::string folder = dir.MakeDir("files");
    dir.Write("files/one.jpg", "x");
    dir.Write("files/.hidden", "x");
    WriteSettings("LastFileFolder=" + folder + "\r\n");
    CMainFrame* frame = Start();
    CIEShellListView* list = frame->GetFileList();
    // The list shows what the destination tree selects.
    ASSERT_TRUE(PumpUntil([&] { return list->GetFolder() == folder; }));
    ASSERT_EQ(list->GetItemCount(), 1);
    EXPECT_EQ(list->GetItemText(0, CIEShellListView::kType), "JPG File");
    dir.Write("files/two.txt", std::string(2048, 'y'));
    EXPECT_TRUE(PumpUntil([&] { return list->GetItemCount() == 2; }));
    frame->EnableFileListUpdates(false);
    dir.Write("files/three.txt", "z");
    list->CheckForChanges();
    EXPECT_EQ(list->GetItemCount(), 2);
    frame->EnableFileListUpdates(true);
    frame->RefreshFileList();
    EXPECT_EQ(list->GetItemCount(), 3);
    EXPECT_EQ(CIEShellListView::FormatSize(2048), "2 KB");
    EXPECT_EQ(CIEShellListView::FormatSize(1), "1 KB");
    EXPECT_EQ(CIEShellListView::FormatSize(5u * 1024 * 1024), "5,120 KB");
}

TEST_F(GuiTest, DialogsAreTranslatedByControlId) {
    dir.Write("bin/LANG/Test.lng", "[Language]\nLanguage=1031\nFontName=DejaVu Sans\nFontSize=9\n"
                                   "[999]\n0=Titel\n65535=Gemeinsam\n1036=K\xC3\xA4stchen\n");
    PlanLanguageMenu();
    wxDialog dialog(nullptr, wxID_ANY, "Title");
    auto* shared1 = new wxStaticText(&dialog, wxID_ANY, "one");
    auto* shared2 = new wxStaticText(&dialog, wxID_STATIC, "two");
    auto* box = new wxCheckBox(&dialog, 1036, "box");
    auto* untouched = new wxCheckBox(&dialog, 1037, "kept");
    TranslateDialog(&dialog, 999); // no current file: nothing changes
    EXPECT_EQ(dialog.GetTitle(), "Title");
    ApplyLanguageMenuId(5051);
    TranslateDialog(&dialog, 999);
    EXPECT_EQ(dialog.GetTitle(), "Titel");
    EXPECT_EQ(shared1->GetLabel(), "Gemeinsam");
    EXPECT_EQ(shared2->GetLabel(), "Gemeinsam");
    EXPECT_EQ(box->GetLabel(), wxString::FromUTF8("Kästchen"));
    EXPECT_EQ(untouched->GetLabel(), "kept");
    EXPECT_EQ(box->GetFont().GetFaceName(), "DejaVu Sans");
}

// Whether SIGTERM would now end the process's wait rather than kill it: it holds the signal
// blocked, or it is in the call that waits for it (which lets it through while it waits).
bool WaitsForSigterm(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigBlk:", 0) == 0 &&
            ((std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1))
            return true;
    long call = -1;
    std::ifstream(proc + "/syscall") >> call;
    return call == SYS_rt_sigtimedwait;
}

TEST_F(GuiTest, TheAutomationSwitchRunsWithoutAWindowUntilTold) {
    std::string program = std::string(KESTREL_OUTPUT_DIR) + "/kestrel";
    for (const char* sw : {"-Embedding", "/Automation"}) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            unsetenv("DISPLAY");
            execl(program.c_str(), program.c_str(), sw, static_cast<char*>(nullptr));
            _exit(127);
        }
        // It comes to wait for the signal instead of ending or failing for want of a display.
        int status = 0;
        pid_t ended = 0;
        while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && !WaitsForSigterm(pid))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(ended, 0) << sw << " ended with " << status;
        kill(pid, SIGTERM);
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << sw << " " << status;
    }
}

// The whole program, told to quit while one of its dialogs is open: it ends them, writes its
// settings and exits 0.
TEST_F(GuiTest, TheProgramQuitsCleanlyOnASignalFromAnyDialog) {
    const std::string program = std::string(KESTREL_OUTPUT_DIR) + "/kestrel";
    const struct {
        unsigned command;
        int sig;
    } cases[] = {{res::ID_APP_ABOUT, SIGTERM},
                 {res::ID_FILE_PREFERENCE, SIGINT},
                 {res::ID_SWITCH_IDENTITY, SIGHUP},
                 {res::ID_WIZARD, SIGTERM}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        // The sample store, so that no first-start message comes before the dialog.
        WriteSettings("KESTLMailFolderPath=" + std::string(KESTREL_SOURCE_DIR) +
                      "/samples/store\r\n");
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            setenv("KESTREL_START_COMMAND", std::to_string(c.command).c_str(), 1);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        // Waits for the dialog's own word that it is open (the watchdog guards a hang).
        std::string said;
        char buffer[256];
        while (said.find("dialog open: ") == std::string::npos) {
            // A signal to this process (a child of an earlier test ending) breaks off the read.
            const ssize_t got = read(out[0], buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            said.append(buffer, static_cast<size_t>(got));
        }
        EXPECT_NE(said.find("dialog open: "), std::string::npos) << said;
        kill(pid, c.sig);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        close(out[0]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        // Written on the way out: the window state is there now.
        EXPECT_NE(ReadFileText(SettingsFile()).find("FolderPaneWidth="), std::string::npos);
    }
}

TEST_F(GuiTest, AMessageShowsTheControlCharactersOfANameAsEscapes) {
    ModalScript script;
    CWxMessageBox wxBox;
    IMessageBox& box = wxBox;
    box.ShowMessage("Can't read the mail folder a\tb\x1b[31m\nthe second line");
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0], "Can't read the mail folder a\\tb\\x1b[31m\nthe second line");
}

TEST_F(GuiTest, ThePlaceholderPaneShowsTheStoresFolders) {
    std::string store = dir.MakeDir("store");
    dir.Write("store/Acct/account{1}.oeaccount", "<x/>");
    dir.MakeDir("store/Acct/Inbox");
    WriteSettings("KESTLMailFolderPath=" + store + "\r\n");
    CMainFrame* frame = Start();
    wxTreeCtrl* tree = FindChild<wxTreeCtrl>(frame->GetPane(0));
    ASSERT_NE(tree, nullptr);
    wxTreeItemIdValue cookie;
    wxTreeItemId account = tree->GetFirstChild(tree->GetRootItem(), cookie);
    ASSERT_TRUE(account.IsOk());
    EXPECT_EQ(tree->GetItemText(account), "Acct");
    EXPECT_EQ(tree->GetItemImage(account), 7);
}

TEST_F(GuiTest, TheFolderBrowserOpensWithItsTitleAndOwner) {
    std::string start = dir.MakeDir("start");
    CMainFrame* frame = Start();
    ModalScript script;
    script.Then([&](wxDialog& browser) {
        EXPECT_EQ(dynamic_cast<CFolderDialog&>(browser).GetMessage(), "Choose the destination");
        EXPECT_EQ(browser.GetParent(), frame);
        browser.EndModal(wxID_CANCEL);
    });
    EXPECT_FALSE(BrowseForFolder(frame, "Choose the destination", start).has_value());
    EXPECT_EQ(script.PendingSteps(), 0u);
}

TEST_F(GuiTest, ADialogNobodyAnswersFailsTheTestAtOnceWithItsText) {
    wxDialog dialog(nullptr, wxID_ANY, "Surprise");
    new wxStaticText(&dialog, wxID_ANY, "Something nobody expected");
    int answer = 0;
    EXPECT_NONFATAL_FAILURE(answer = dialog.ShowModal(),
                            "unexpected modal dialog \"Surprise\": Something nobody expected");
    EXPECT_EQ(answer, wxID_CANCEL);
    EXPECT_NONFATAL_FAILURE(wxMessageBox("The disk is full", "Kestrel"),
                            "\"Kestrel\": The disk is full");
    ModalScript script;
    EXPECT_NONFATAL_FAILURE(dialog.ShowModal(), "no step left for it: \"Surprise\"");
}
