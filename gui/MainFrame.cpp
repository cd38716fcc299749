#include "gui/MainFrame.h"

#include <wx/accel.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/display.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/splitter.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/treectrl.h>
#include <wx/utils.h>

#include "app/DesktopCommands.h"
#include "app/Preferences.h"
#include "app/Settings.h"
#include "gui/DesktopOpener.h"
#include "gui/DesktopUi.h"
#include "gui/ExtractionWizard.h"
#include "gui/ExpressFolderView.h"
#include "gui/FolderTreeItems.h"
#include "gui/HelpViewer.h"
#include "gui/IdentityDialog.h"
#include "gui/LanguageMenus.h"
#include "gui/LongOperation.h"
#include "gui/MainToolBar.h"
#include "gui/Menus.h"
#include "gui/Pictures.h"
#include "gui/PreferenceDialog.h"
#include "gui/ShellListView.h"
#include "gui/ShellTreeView.h"
#include "gui/WxText.h"
#include "locale/Language.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/UserInterface.h"
#include "res/MenuTemplate.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "store/FolderTree.h"
#include "store/StoreDiscovery.h"

namespace {

CMainFrame* g_frame = nullptr;
CMainFrame::FolderPaneFactory& PaneFactory() {
    static CMainFrame::FolderPaneFactory factory;
    return factory;
}

enum StatusPane { kMessagePane, kCapsPane, kNumPane, kScrollPane };
constexpr int kMinWidth = 640;
constexpr int kMinHeight = 420;
constexpr int kIndicatorMilliseconds = 250;

// Holds pane (0,0) until the mail folder view takes its place: the store's folders, read only,
// without commands of its own.
class CFolderPanePlaceholder : public wxPanel, public CCmdTarget {
public:
    explicit CFolderPanePlaceholder(wxWindow* parent)
        : wxPanel(parent, res::WxId(res::IDW_FIRST_PANE), wxDefaultPosition, wxDefaultSize,
                  wxTAB_TRAVERSAL | wxBORDER_NONE),
          m_images(res::LoadFolderImages()) {
        auto* sizer = new wxBoxSizer(wxVERTICAL);
        m_title = new wxStaticText(this, wxID_ANY, wxEmptyString);
        m_title->SetFont(m_title->GetFont().Bold());
        ShowTexts();
        sizer->Add(m_title, 0, wxALL, 6);
        auto* tree =
            new wxTreeCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                           wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_HIDE_ROOT | wxBORDER_NONE);
        tree->SetImageList(m_images.get());
        StoreDiscovery discovery;
        discovery.DiscoverFolders(discovery.ResolveStoreRoot(TheSettings()), nullptr);
        AppendFolderTree(*tree, BuildFolderTree(discovery.Folders));
        wxTreeItemId root = tree->GetRootItem();
        wxTreeItemIdValue cookie;
        wxTreeItemId first = tree->GetFirstChild(root, cookie);
        if (first.IsOk()) tree->Expand(first);
        sizer->Add(tree, 1, wxEXPAND);
        SetSizer(sizer);
    }

    void ShowTexts() {
        m_title->SetLabel(WxTr(res::TextId::FolderPaneTitle));
        m_title->SetMinSize(wxSize(m_title->GetTextExtent(m_title->GetLabel()).x + 4, -1));
        Layout();
    }

private:
    std::unique_ptr<wxImageList> m_images;
    wxStaticText* m_title = nullptr;
};

void CollectIds(const std::vector<res::MenuItemDef>& items, std::set<int>& ids) {
    for (const auto& def : items) {
        if (def.IsPopup())
            CollectIds(def.items, ids);
        else if (!def.separator)
            ids.insert(res::WxId(def.id));
    }
}

} // namespace

CMainFrame* TheMainFrame() {
    return g_frame;
}

void CMainFrame::SetFolderPaneFactory(FolderPaneFactory factory) {
    PaneFactory() = std::move(factory);
}

CMainFrame::CMainFrame()
    : wxFrame(nullptr, wxID_ANY, kAppTitle, wxDefaultPosition, wxSize(1024, 720)),
      m_indicatorTimer(this) {
    g_frame = this;
    CLongOperation::SetWhenOver([] {
        if (g_frame) g_frame->CloseIfPending();
    });
    LoadSettings();
    PlaceOnScreen();
    BuildMenuBar();
    BuildStatusBar();
    BuildClientArea();
    AddFrameCommands();
    InstallLanguage();
    BindCommandRouting();
    BindWindowEvents();
    m_indicatorTimer.Start(kIndicatorMilliseconds);
}

// Small enough for any screen, large enough for the three panes; restored from maximised, the
// window keeps a good share of the screen.
void CMainFrame::PlaceOnScreen() {
    SetMinSize(FromDIP(wxSize(kMinWidth, kMinHeight)));
    int display = wxDisplay::GetFromWindow(this);
    wxRect screen = wxDisplay(display == wxNOT_FOUND ? 0u : static_cast<unsigned>(display))
                        .GetClientArea();
    SetSize(wxSize(std::max(GetMinSize().x, screen.width * 4 / 5),
                   std::max(GetMinSize().y, screen.height * 4 / 5)));
    Centre();
}

// The tool bar docks on a side of the frame or floats; the caption bar and the three panes
// fill the rest.
void CMainFrame::BuildClientArea() {
    m_dock.SetManagedWindow(this);
    m_toolBar = CreateMainToolBar(this, m_dock, [this](int id) {
        if (id < 0)
            ShowIdleText();
        else
            ShowPrompt(static_cast<int>(res::CommandId(id)));
    });
    RestoreToolBarPlace(m_dock.GetPane(m_toolBar), TheSettings(), this);

    auto* client = new wxPanel(this, wxID_ANY);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    BuildCaptionBar(client, sizer);
    BuildPanes(client, sizer);
    client->SetSizer(sizer);
    m_dock.AddPane(client, wxAuiPaneInfo().Name("Panes").CenterPane().PaneBorder(false));
    m_dock.Update();
}

void CMainFrame::BindCommandRouting() {
    Bind(wxEVT_MENU, [this](wxCommandEvent& e) {
        int id = e.GetId();
        if (id >= static_cast<int>(res::ID_LANGUAGE_DEFAULT) &&
            id <= static_cast<int>(res::ID_LANGUAGE_LAST)) {
            // The menu may have toggled the mark itself; the language state decides it.
            if (static_cast<unsigned>(id) != TheLanguage().selectedMenuId) {
                SwitchLanguage(this, static_cast<unsigned>(id));
                ShowTexts();
            } else
                MarkLanguageMenu(GetMenuBar());
        }
        if (!RouteCommand(e)) e.Skip();
    });
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent& e) {
            if (!RouteCommand(e)) e.Skip();
        },
        res::ID_ONLINE_TUTORIAL);
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) {
        if (IsCommandId(e.GetId()))
            RouteUpdate(e);
        else
            e.Skip();
    });
    Bind(wxEVT_MENU_HIGHLIGHT, [this](wxMenuEvent& e) {
        if (e.GetMenuId() >= 0) ShowPrompt(static_cast<int>(res::CommandId(e.GetMenuId())));
    });
    Bind(wxEVT_MENU_CLOSE, [this](wxMenuEvent& e) {
        ShowIdleText();
        // A highlight may still arrive from the menu as it goes; the idle text has the last word.
        CallAfter([this] { ShowIdleText(); });
        e.Skip();
    });
}

void CMainFrame::BindWindowEvents() {
    Bind(wxEVT_ACTIVATE, [this](wxActivateEvent& e) {
        if (e.GetActive()) HandleActivation();
        e.Skip();
    });
    Bind(wxEVT_CHILD_FOCUS, [this](wxChildFocusEvent& e) {
        for (wxWindow* w = e.GetWindow(); w && w != this; w = w->GetParent()) {
            for (wxWindow* pane : m_panes)
                if (w == pane) m_activePane = pane;
        }
        e.Skip();
    });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
        if (CLongOperation::IsRunning() && e.CanVeto()) {
            // A run owns the window until it ends; the request is kept and honoured then.
            m_closePending = true;
            e.Veto();
            return;
        }
        e.Skip();
    });
    // A help request over any window opens the help book and goes no further.
    Bind(wxEVT_HELP, [](wxHelpEvent&) { ShowHelpTopic(kHelpFirstTopic); });
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { UpdateIndicators(); });
}

CMainFrame::~CMainFrame() {
    m_indicatorTimer.Stop();
    CloseHelp();
    RecordToolBarPlace(m_dock.GetPane(m_toolBar), TheSettings());
    m_dock.UnInit();
    KeepPaneWidths();
    SaveSettings();
    if (g_frame == this) {
        g_frame = nullptr;
        CLongOperation::SetWhenOver(nullptr);
    }
}

void CMainFrame::BuildMenuBar() {
    auto* bar = new wxMenuBar;
    for (const res::MenuItemDef& top : res::MainMenuDefinition()) {
        auto* menu = new wxMenu;
        AppendMenuItems(menu, top.items);
        bar->Append(menu, Wx(top.text));
    }
    SetMenuBar(bar);
    CollectIds(res::MainMenuDefinition(), m_commandIds);
    for (unsigned id : res::MainToolBarButtons())
        if (id) m_commandIds.insert(res::WxId(id));
    m_commandIds.insert(res::WxId(res::ID_ONLINE_TUTORIAL));

    wxAcceleratorEntry keys[] = {
        {wxACCEL_CTRL, 'N', res::WxId(res::ID_FILE_NEW)},
        {wxACCEL_CTRL, 'O', res::WxId(res::ID_FILE_OPEN)},
        {wxACCEL_CTRL, 'S', res::WxId(res::ID_FILE_SAVE)},
        {wxACCEL_CTRL, 'P', res::WxId(res::ID_FILE_PRINT)},
        {wxACCEL_NORMAL, WXK_F6, res::WxId(res::ID_NEXT_PANE)},
        {wxACCEL_SHIFT, WXK_F6, res::WxId(res::ID_PREV_PANE)},
        {wxACCEL_NORMAL, WXK_F1, res::WxId(res::ID_HELP)},
        {wxACCEL_SHIFT, WXK_F1, res::WxId(res::ID_CONTEXT_HELP)},
    };
    SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(std::size(keys)), keys));
}

void CMainFrame::BuildStatusBar() {
    wxStatusBar* bar = CreateStatusBar(4, wxSTB_DEFAULT_STYLE, res::WxId(res::IDW_STATUS_BAR));
    const int widths[] = {-1, 48, 48, 48};
    bar->SetStatusWidths(4, widths);
    // The frame shows prompts itself, through the language files.
    SetStatusBarPane(-1);
    ShowIdleText();
    UpdateIndicators();
}

void CMainFrame::BuildCaptionBar(wxWindow* parent, wxSizer* sizer) {
    wxColour shadow = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW);
    wxColour highlight = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT);
    auto* bar = new wxPanel(parent, res::IDW_CAPTION_BAR, wxDefaultPosition, wxSize(-1, 32),
                            wxCLIP_SIBLINGS | wxTAB_TRAVERSAL);
    bar->SetMinSize(wxSize(-1, 32));
    bar->SetBackgroundColour(shadow);
    auto* row = new wxBoxSizer(wxHORIZONTAL);

    auto images = res::LoadFolderImages();
    auto* tutorial = m_tutorialButton =
        new wxButton(bar, res::ID_ONLINE_TUTORIAL, WxTr(res::TextId::TutorialButton),
                     wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT | wxBORDER_NONE);
    tutorial->SetBitmap(images->GetBitmap(0));
    tutorial->SetToolTip(WxTr(res::TextId::TutorialButtonTip));
    tutorial->SetForegroundColour(*wxWHITE);
    tutorial->SetBackgroundColour(shadow);
    row->Add(tutorial, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 4);
    row->Add(new wxStaticLine(bar, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLI_VERTICAL), 0,
             wxEXPAND | wxTOP | wxBOTTOM | wxLEFT | wxRIGHT, 4);

    auto* label = m_destinationLabel =
        new wxStaticText(bar, wxID_ANY, WxTr(res::TextId::DestinationLabel));
    label->SetForegroundColour(highlight);
    row->Add(label, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    // The box takes a typed or pasted folder too: Enter goes there.
    m_destinationCombo =
        new wxComboBox(bar, res::IDC_DESTINATION_COMBO, wxEmptyString, wxDefaultPosition,
                       wxSize(100, -1), 0, nullptr, wxCB_DROPDOWN | wxTE_PROCESS_ENTER);
    m_destinationCombo->SetToolTip(WxTr(res::TextId::DestinationTip));
    m_destinationCombo->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) {
        GoToDestination(m_destinationCombo->GetValue().utf8_string());
    });
    m_destinationCombo->Bind(wxEVT_COMBOBOX, [this](wxCommandEvent& e) {
        GoToDestination(e.GetString().utf8_string());
    });
    row->Add(m_destinationCombo, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    bar->SetSizer(row);
    sizer->Add(bar, 0, wxEXPAND);
}

void CMainFrame::BuildPanes(wxWindow* parent, wxSizer* sizer) {
    m_splitter = new wxSplitterWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                      wxSP_3DSASH | wxSP_LIVE_UPDATE);
    m_splitter->SetMinimumPaneSize(20);
    wxWindow* folderPane = nullptr;
    if (PaneFactory()) folderPane = PaneFactory()(m_splitter, m_folderView);
    if (!folderPane) folderPane = new CFolderPanePlaceholder(m_splitter);
    m_innerSplitter = new wxSplitterWindow(m_splitter, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                           wxSP_3DSASH | wxSP_LIVE_UPDATE);
    m_innerSplitter->SetMinimumPaneSize(20);
    m_tree = new CIEShellTreeView(m_innerSplitter, res::WxId(res::IDW_FIRST_PANE + 1));
    m_list = new CIEShellListView(m_innerSplitter, res::WxId(res::IDW_FIRST_PANE + 2));
    if (m_folderView) m_folderView->SetHost(this);
    m_panes[0] = folderPane;
    RestorePaneWidths();
    m_panes[1] = m_tree;
    m_panes[2] = m_list;
    m_activePane = m_tree;

    m_tree->SetSelectionHandler([this](const std::string& folder) {
        m_list->ShowFolder(folder);
        ShowDestination();
    });
    // A folder opened in the file list is entered, as a file manager does.
    m_list->SetFolderOpener([this](const std::string& folder) { SelectDestinationFolder(folder); });
    sizer->Add(m_splitter, 1, wxEXPAND);
}

void CMainFrame::RestorePaneWidths() {
    const AppSettings& settings = TheSettings();
    int folder = settings.FolderPaneWidth;
    if (folder <= 0) folder = std::max(150, m_panes[0]->GetBestSize().x);
    int tree = settings.TreePaneWidth > 0 ? settings.TreePaneWidth : 200;
    m_splitter->SplitVertically(m_panes[0], m_innerSplitter, folder);
    m_innerSplitter->SplitVertically(m_tree, m_list, tree);
}

void CMainFrame::KeepPaneWidths() {
    if (!m_splitter || !m_innerSplitter) return;
    AppSettings& settings = TheSettings();
    settings.FolderPaneWidth = m_splitter->GetSashPosition();
    settings.TreePaneWidth = m_innerSplitter->GetSashPosition();
}

void CMainFrame::InstallLanguage() {
    wxMenuBar* bar = GetMenuBar();
    wxMenu* view = bar->GetMenu(2);
    wxMenuItem* languageItem = view ? view->FindItemByPosition(2) : nullptr;
    if (!languageItem || !languageItem->GetSubMenu()) return;
    unsigned selected = BuildLanguageMenu(languageItem->GetSubMenu());
    if (selected != res::ID_LANGUAGE_DEFAULT) TranslateMenu(bar, res::IDR_MAINFRAME);
    SwitchLanguage(this, selected);
    ShowTexts();
}

void CMainFrame::ShowTexts() {
    SetToolBarTexts(m_toolBar);
    if (m_tutorialButton) {
        m_tutorialButton->SetLabel(WxTr(res::TextId::TutorialButton));
        m_tutorialButton->SetToolTip(WxTr(res::TextId::TutorialButtonTip));
    }
    if (m_destinationLabel) m_destinationLabel->SetLabel(WxTr(res::TextId::DestinationLabel));
    if (m_destinationCombo) m_destinationCombo->SetToolTip(WxTr(res::TextId::DestinationTip));
    if (m_destinationLabel) m_destinationLabel->GetParent()->Layout();
    if (m_folderView) m_folderView->ShowTexts();
    if (auto* placeholder = dynamic_cast<CFolderPanePlaceholder*>(m_panes[0]))
        placeholder->ShowTexts();
    if (m_list) m_list->ShowTexts();
    if (m_tree) m_tree->ShowTexts();
    // The mail folder pane widens to a longer title, so it is not cut.
    if (m_splitter && m_panes[0] && m_splitter->IsSplit()) {
        m_panes[0]->Layout();
        const int need = m_panes[0]->GetBestSize().x;
        if (m_splitter->GetSashPosition() < need) m_splitter->SetSashPosition(need);
    }
}

void CMainFrame::AddFrameCommands() {
    OnCommand(res::ID_APP_EXIT, [this](wxCommandEvent&) { Close(); });
    OnCommand(res::ID_VIEW_STATUS_BAR, [this](wxCommandEvent&) {
        if (wxStatusBar* bar = GetStatusBar()) {
            bar->Show(!bar->IsShown());
            SendSizeEvent();
        }
    });
    OnUpdate(res::ID_VIEW_STATUS_BAR, [this](wxUpdateUIEvent& e) {
        e.Enable(true);
        e.Check(GetStatusBar() && GetStatusBar()->IsShown());
    });
    OnUpdateRange(res::ID_LANGUAGE_DEFAULT, res::ID_LANGUAGE_LAST,
                  [](wxUpdateUIEvent& e) { e.Enable(true); });
    // Launch Browser and Edit Report open the last report with the desktop's verbs.
    auto openReport = [this](bool edit) {
        const std::string& report = TheSettings().LastHtmlReport;
        if (report.empty()) return;
        if (!platform::FileExists(report)) {
            CWxMessageBox(this).ShowMessage("Cannot Find Report File!!", kAppTitle,
                                            MessageIcon::Warning);
            return;
        }
        if (!edit) {
            OpenWithDesktop(report);
            return;
        }
        RunDesktopCommand(platform::EditorCommand(report), [report](int status) {
            if (status != 0)
                CWxMessageBox().ShowMessage(OpenFailedMessage(report), kAppTitle,
                                            MessageIcon::Warning);
        });
    };
    OnCommand(res::ID_LAUNCH_BROWSER, [openReport](wxCommandEvent&) { openReport(false); });
    OnCommand(res::ID_EDIT_REPORT, [openReport](wxCommandEvent&) { openReport(true); });
    OnCommand(res::ID_FILE_PREFERENCE, [this](wxCommandEvent&) { OnPreference(); });
    OnCommand(res::ID_SWITCH_IDENTITY, [this](wxCommandEvent&) {
        CIdentityDialog dialog(this, m_folderView ? &m_folderView->GetStoreDiscovery() : nullptr);
        if (dialog.ShowModal() == wxID_OK) TheSettings().LastUserIdentity = dialog.GetIdentity();
    });
    OnCommand(res::ID_LAUNCH_MAIL, [this](wxCommandEvent&) { LaunchMailProgram(); });
    // Help Topics, F1, Shift+F1 and the default help all open the help book at its first page.
    OnCommandRange(res::ID_CONTEXT_HELP, res::ID_DEFAULT_HELP,
                   [](wxCommandEvent&) { ShowHelpTopic(kHelpFirstTopic); });
    OnCommand(res::ID_HELP_TOPICS, [](wxCommandEvent&) { ShowHelpTopic(kHelpFirstTopic); });
    OnCommand(res::ID_SUPPORT,
              [](wxCommandEvent&) { OpenWithDesktop(HelpPagePath(kSupportPage)); });
    OnCommand(res::ID_ONLINE_TUTORIAL,
              [](wxCommandEvent&) { OpenWithDesktop(HelpPagePath(kTutorialPage)); });
    auto nextPane = [this](int step) {
        int current = 0;
        for (int i = 0; i < 3; ++i)
            if (m_panes[i] == m_activePane) current = i;
        wxWindow* pane = m_panes[(current + 3 + step) % 3];
        SetActivePane(pane);
        pane->SetFocus();
    };
    OnCommand(res::ID_WIZARD,
              [this](wxCommandEvent&) { RunExtractionWizard(*this, m_folderView, *this); });
    OnCommand(res::ID_NEXT_PANE, [nextPane](wxCommandEvent&) { nextPane(1); });
    OnCommand(res::ID_PREV_PANE, [nextPane](wxCommandEvent&) { nextPane(-1); });
}

void CMainFrame::OnPreference() {
    CPreferenceDialog dialog(this);
    if (dialog.ShowModal() != wxID_OK || !dialog.MailboxPathChanged() || !m_folderView) return;
    // The store is read once at start-up; a new path need not wait for the next one.
    CWxMessageBox box(this);
    IMessageBox& ui = box;
    if (ui.AskYesNo(Tr(res::TextId::ReloadStoreQuestion))) m_folderView->ReloadStore();
}

void CMainFrame::LaunchMailProgram() {
    wxBusyCursor wait;
    std::string program = FindMailProgram();
    if (program.empty()) {
        CWxMessageBox(this).ShowMessage(MailProgramMissingMessage(), kAppTitle,
                                        MessageIcon::Warning);
        return;
    }
    RunDesktopCommand(MailProgramCommand(program), [program](int status) {
        // Only a start that failed is news; the program's own exit code is its affair.
        if (status == -1 || status == 255)
            CWxMessageBox().ShowMessage(MailProgramNotStartedMessage(program), kAppTitle,
                                        MessageIcon::Warning);
    });
}

bool CMainFrame::IsCommandId(int id) const {
    return m_commandIds.count(id) != 0 || (id >= static_cast<int>(res::ID_LANGUAGE_DEFAULT) &&
                                           id <= static_cast<int>(res::ID_LANGUAGE_LAST));
}

void CMainFrame::SetActivePane(wxWindow* pane) {
    for (wxWindow* p : m_panes)
        if (p == pane) m_activePane = pane;
}

bool CMainFrame::RouteCommand(wxCommandEvent& event) {
    if (auto* pane = dynamic_cast<CCmdTarget*>(m_activePane); pane && pane->OnCmdMsg(event))
        return true;
    // A folder command works on the selected mail folder, whichever pane has the focus.
    if (m_folderView && CExpressFolderView::IsFolderCommand(res::CommandId(event.GetId())) &&
        m_folderView->OnCmdMsg(event))
        return true;
    if (OnCmdMsg(event)) return true;
    if (auto* app = dynamic_cast<CCmdTarget*>(wxTheApp); app && app->OnCmdMsg(event)) return true;
    return false;
}

void CMainFrame::RouteUpdate(wxUpdateUIEvent& event) {
    if (auto* pane = dynamic_cast<CCmdTarget*>(m_activePane); pane && pane->OnUpdateCmdUI(event))
        return;
    if (m_folderView && CExpressFolderView::IsFolderCommand(res::CommandId(event.GetId())) &&
        m_folderView->OnUpdateCmdUI(event))
        return;
    if (OnUpdateCmdUI(event)) return;
    if (auto* app = dynamic_cast<CCmdTarget*>(wxTheApp); app && app->OnUpdateCmdUI(event)) return;
    event.Enable(false);
}

void CMainFrame::ShowPrompt(int id) {
    if (id < 0) return;
    std::string text = GetMessagePrompt(static_cast<unsigned>(id));
    // A command the folder view cannot run on its selection says why instead.
    auto* pane = dynamic_cast<CCmdTarget*>(m_activePane);
    if (m_folderView && CExpressFolderView::IsFolderCommand(static_cast<unsigned>(id)))
        pane = m_folderView;
    if (pane) {
        std::string reason = pane->DisabledReason(static_cast<unsigned>(id));
        if (!reason.empty()) text = reason;
    }
    SetStatusText(Wx(text), kMessagePane);
}

void CMainFrame::ShowIdleText() {
    SetStatusText(Wx(GetMessagePrompt(res::AFX_IDS_IDLEMESSAGE)), kMessagePane);
}

void CMainFrame::UpdateIndicators() {
    wxStatusBar* bar = GetStatusBar();
    if (!bar) return;
    struct Indicator {
        int pane;
        wxKeyCode key;
        const char* text;
    };
    const Indicator indicators[] = {{kCapsPane, WXK_CAPITAL, "CAP"},
                                    {kNumPane, WXK_NUMLOCK, "NUM"},
                                    {kScrollPane, WXK_SCROLL, "SCRL"}};
    for (const Indicator& ind : indicators) {
        wxString text = wxGetKeyState(ind.key) ? ind.text : "";
        if (bar->GetStatusText(ind.pane) != text) bar->SetStatusText(text, ind.pane);
    }
}

void CMainFrame::HandleActivation() {
    const AppSettings& settings = TheSettings();
    if (!settings.LastUserIdentity.empty())
        SetTitle(wxString(kAppTitle) + " - " + Wx(settings.LastUserIdentity));
    if (m_firstActivationDone) return;
    m_firstActivationDone = true;
    std::string folder =
        settings.LastFileFolder.empty() ? platform::GetHomeFolder() : settings.LastFileFolder;
    CallAfter([this, folder] { SelectDestinationFolder(folder); });
}

std::string CMainFrame::GetDestinationFolder() const {
    return m_tree ? m_tree->GetSelectedFolder() : std::string();
}

void CMainFrame::ShowDestination(const std::string& path) {
    m_destinationText = path.empty() ? GetDestinationFolder() : path;
    wxString text = Wx(m_destinationText);
    // The history holds each folder once, the latest on top.
    int at = m_destinationCombo->FindString(text, true);
    if (at != 0) {
        if (at != wxNOT_FOUND) m_destinationCombo->Delete(static_cast<unsigned>(at));
        m_destinationCombo->Insert(text, 0);
    }
    m_destinationCombo->SetSelection(0);
}

void CMainFrame::GoToDestination(const std::string& typed) {
    std::string folder = TypedFolderPath(typed, platform::GetHomeFolder());
    if (folder.empty()) return;
    if (!platform::IsDirectory(folder)) {
        CWxMessageBox(this).ShowMessage(FolderMissingMessage(folder), kAppTitle,
                                        MessageIcon::Warning);
        m_destinationCombo->SetValue(Wx(m_destinationText));
        return;
    }
    SelectDestinationFolder(folder);
}

void CMainFrame::SelectDestinationFolder(const std::string& path) {
    if (m_tree) m_tree->SelectFolder(path);
}

void CMainFrame::EnableFileListUpdates(bool enable) {
    if (m_list) m_list->EnableUpdates(enable);
}

void CMainFrame::ShowStatusText(const std::string& text) {
    if (GetStatusBar()) SetStatusText(Wx(text), kMessagePane);
}

void CMainFrame::RefreshFileList() {
    if (m_list) m_list->RefreshList();
}

void CMainFrame::CloseIfPending() {
    if (!m_closePending) return;
    m_closePending = false;
    CallAfter([this] { Close(); });
}
