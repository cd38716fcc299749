#include "gui/ExpressFolderView.h"

#include <functional>

#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "app/Settings.h"
#include "engine/ExtractOptionChoices.h"
#include "engine/ExtractionRun.h"
#include "engine/ExtractorClient.h"
#include "engine/SaveAsEml.h"
#include "engine/SearchHits.h"
#include "gui/DesktopUi.h"
#include "gui/ExtractOptionSheet.h"
#include "gui/FolderTreeItems.h"
#include "gui/LongOperation.h"
#include "gui/FolderViewHost.h"
#include "gui/Menus.h"
#include "gui/OEMessageDialog.h"
#include "gui/Pictures.h"
#include "gui/SearchMailDialog.h"
#include "gui/WxProgressWindow.h"
#include "gui/WxText.h"
#include "locale/Language.h"
#include "platform/SeException.h"
#include "platform/UserInterface.h"
#include "res/MenuTemplate.h"
#include "res/Resource.h"
#include "store/FolderSelection.h"
#include "store/sources/DbxFileSource.h"

namespace {

CExpressFolderView::MenuTracker& Tracker() {
    static CExpressFolderView::MenuTracker tracker;
    return tracker;
}

// The run refreshes the destination's file list after each report page.
class FrameFileList : public IDestinationView {
public:
    explicit FrameFileList(IFolderViewHost* host) : m_host(host) {}
    void RefreshFileList() override {
        if (m_host) m_host->RefreshFileList();
    }

private:
    IFolderViewHost* m_host;
};

// Swallows what the view's own namespace creation would say at start-up.
class ScriptedSilence : public IMessageBox {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
};
// Keeps what discovery says until it can be shown.
class CHeldMessages : public IMessageBox {
public:
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        m_held.push_back({text, caption, icon});
    }
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
    void ShowNow(IMessageBox& ui) {
        for (const Held& h : m_held)
            ui.ShowMessage(h.text, h.caption, h.icon);
        m_held.clear();
    }

private:
    struct Held {
        std::string text, caption;
        MessageIcon icon;
    };
    std::vector<Held> m_held;
};

// The frame around a folder command's work: the destination's file list holds still while it
// runs, a fault becomes a message instead of leaving the handler, and the list is shown afresh
// at the end, whatever happened.
void RunHoldingFileList(IFolderViewHost* host, IMessageBox& ui,
                        const std::function<void()>& work) {
    if (host) host->EnableFileListUpdates(false);
    try {
        work();
    } catch (const CSeException& e) {
        ui.ShowMessage(e.GetDescription());
    } catch (const std::exception& e) {
        // Nothing else may leave a window's handler; the user learns the run stopped and why.
        ui.ShowMessage(e.what(), kAppTitle, MessageIcon::Error);
    }
    if (host) {
        host->EnableFileListUpdates(true);
        host->RefreshFileList();
    }
}

} // namespace

bool CExpressFolderView::IsFolderCommand(unsigned id) {
    for (const res::MenuItemDef& item : res::FolderMenuDefinition().front().items)
        if (!item.separator && item.id == id) return true;
    return false;
}

void CExpressFolderView::SetMenuTracker(MenuTracker tracker) {
    Tracker() = std::move(tracker);
}

CExpressFolderView::CExpressFolderView(wxWindow* parent, IMessageBox* ui)
    : wxPanel(parent, res::WxId(res::IDW_FIRST_PANE), wxDefaultPosition, wxDefaultSize,
              wxTAB_TRAVERSAL | wxBORDER_NONE),
      m_ui(ui) {
    if (!m_ui) {
        m_ownUi = std::make_unique<CWxMessageBox>(this);
        m_ui = m_ownUi.get();
    }
    BuildPanes();
    if (m_ownUi) {
        // At start-up the store's messages wait until the main window is on the screen, so
        // that they come over it rather than in a corner of an empty screen.
        auto held = std::make_shared<CHeldMessages>();
        IMessageBox* ownUi = m_ui;
        m_ui = held.get();
        ReloadStore();
        m_ui = ownUi;
        CallAfter([this, held] { held->ShowNow(*m_ui); });
    } else {
        ReloadStore();
    }

    m_extractor = std::make_unique<CExtractorClient>();
    m_extractor->Create(m_ui);
    // The view's store namespace; its failure is told when a command needs it.
    {
        ScriptedSilence silent;
        m_storeNamespace = CreateStoreNamespace(silent);
    }
    AddFolderCommands();
    BindTreeEvents();
}

void CExpressFolderView::BuildPanes() {
    // The folder container: an outlook bar that stays empty, and one titled pane, the tree.
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    m_outlookBar = new wxPanel(this, 1, wxDefaultPosition, wxSize(-1, 0));
    sizer->Add(m_outlookBar, 0, wxEXPAND);
    auto* titleBar = new wxPanel(this, wxID_ANY);
    titleBar->SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW));
    m_paneTitle = new wxStaticText(titleBar, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                   wxDefaultSize, wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    m_paneTitle->SetForegroundColour(*wxWHITE);
    m_paneTitle->SetFont(m_paneTitle->GetFont().Bold());
    ShowTexts();
    auto* titleSizer = new wxBoxSizer(wxHORIZONTAL);
    titleSizer->Add(m_paneTitle, 1, wxALL | wxALIGN_CENTER_VERTICAL, 5);
    titleBar->SetSizer(titleSizer);
    sizer->Add(titleBar, 0, wxEXPAND);

    m_images = res::LoadFolderImages();
    m_tree = new wxTreeCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                            wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_HIDE_ROOT | wxTR_SINGLE |
                                wxBORDER_NONE);
    m_tree->SetImageList(m_images.get());
    sizer->Add(m_tree, 1, wxEXPAND);
    SetSizer(sizer);
}

void CExpressFolderView::AddFolderCommands() {
    OnCommand(res::ID_EXTRACT_ATTACHMENTS, [this](wxCommandEvent&) { OnExtractAttachments(); });
    OnCommand(res::ID_EXTRACT_SAFELY, [this](wxCommandEvent&) { OnExtractSafely(); });
    OnCommand(res::ID_EXPRESS_MESSAGES, [this](wxCommandEvent&) { OnExpressMessages(); });
    OnCommand(res::ID_SAVE_MESSAGES, [this](wxCommandEvent&) { OnSaveMessagesAsEml(); });
    OnCommand(res::ID_RECOVER_MESSAGES, [this](wxCommandEvent&) { OnRecoverMessagesAsEml(); });
    OnCommand(res::ID_SEARCH_MAIL, [this](wxCommandEvent&) { OnSearchMail(); });
    // Saving needs the folder's message file; the search reads a folder of .eml files too; the
    // store commands need a folder of a store of .dbx files.
    for (unsigned id : {res::ID_SAVE_MESSAGES, res::ID_RECOVER_MESSAGES, res::ID_SEARCH_MAIL,
                        res::ID_EXTRACT_SAFELY, res::ID_EXPRESS_MESSAGES})
        OnUpdate(id, [this, id](wxUpdateUIEvent& e) { e.Enable(DisabledReason(id).empty()); });
    // The context menu's commands come here first, whichever pane the frame thinks is active.
    Bind(wxEVT_MENU, [this](wxCommandEvent& e) {
        if (!OnCmdMsg(e)) e.Skip();
    });
    // The context menu's items are enabled by the view alone: a folder command without a
    // handler here is shown disabled. Every other update (the windows' own) passes on.
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) {
        if (!IsFolderCommand(res::CommandId(e.GetId()))) {
            e.Skip();
            return;
        }
        if (!OnUpdateCmdUI(e)) e.Enable(false);
    });
}

void CExpressFolderView::BindTreeEvents() {
    m_tree->Bind(wxEVT_CONTEXT_MENU, &CExpressFolderView::OnContextMenu, this);
    // A folder the folder commands cannot all work on says so when it is selected, as the
    // window system shows disabled menu items without their prompts.
    m_tree->Bind(wxEVT_TREE_SEL_CHANGED, [this](wxTreeEvent& e) {
        e.Skip();
        std::string search = DisabledReason(res::ID_SEARCH_MAIL);
        std::string save = DisabledReason(res::ID_SAVE_MESSAGES);
        ShowStatusText(!search.empty() ? search
                       : !save.empty() ? Tr(res::TextId::SaveMessagesReason, {save})
                                       : GetMessagePrompt(res::AFX_IDS_IDLEMESSAGE));
    });
    // The context menu's items say what they do, or why they cannot, in the status bar.
    m_tree->Bind(wxEVT_MENU_HIGHLIGHT, [this](wxMenuEvent& e) {
        if (e.GetMenuId() < 0) return;
        unsigned id = res::CommandId(e.GetMenuId());
        std::string text = DisabledReason(id);
        ShowStatusText(text.empty() ? GetMessagePrompt(id) : text);
    });
    m_tree->Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& e) {
        bool menuKey = e.GetKeyCode() == WXK_MENU || e.GetKeyCode() == WXK_WINDOWS_MENU ||
                       (e.GetKeyCode() == WXK_F10 && e.GetModifiers() == wxMOD_SHIFT);
        if (!menuKey) {
            e.Skip();
            return;
        }
        ShowContextMenu(wxDefaultPosition);
    });
}

std::string CExpressFolderView::Destination() const {
    return m_host ? m_host->GetDestinationFolder() : std::string();
}

void CExpressFolderView::ShowStatusText(const std::string& text) {
    if (m_host) m_host->ShowStatusText(text);
}

CExpressFolderView::~CExpressFolderView() {
    // The components go before the records they were used on.
    m_extractor.reset();
    m_storeNamespace.Reset();
    m_tree->SetImageList(nullptr);
}

void CExpressFolderView::ShowTexts() {
    const wxString title = WxTr(res::TextId::FolderPaneTitle);
    m_paneTitle->SetLabel(title);
    m_paneTitle->SetToolTip(title);
    // The pane asks for room for its whole title; narrowed by the user, it ends in an ellipsis.
    m_paneTitle->SetMinSize(wxSize(m_paneTitle->GetTextExtent(title).x + 4, -1));
    if (m_paneTitle->GetParent()) m_paneTitle->GetParent()->Layout();
}

void CExpressFolderView::ReloadStore() {
    // The items point into the records; they go first.
    m_tree->DeleteAllItems();
    m_discovery = StoreDiscovery{};
    try {
        std::string root = m_discovery.ResolveStoreRoot(TheSettings());
        m_discovery.DiscoverFolders(root, m_ui);
    } catch (...) {
        // The tree shows what was found before the failure.
        m_ui->ShowMessage(kNoFoldersMessage);
    }
    FillTree();
}

void CExpressFolderView::FillTree() {
    m_folderTree = BuildFolderTree(m_discovery.Folders);
    std::vector<wxTreeItemId> ids = AppendFolderTree(*m_tree, m_folderTree, &m_discovery.Folders);
    if (!m_folderTree.Roots.empty()) m_tree->Expand(ids[m_folderTree.Roots.front()]);
}

const FolderRecord* CExpressFolderView::GetItemRecord(const wxTreeItemId& item) const {
    return FolderItemRecord(*m_tree, item);
}

const FolderRecord* CExpressFolderView::SelectedRecord(bool& selected) const {
    wxTreeItemId item = m_tree->GetSelection();
    // The control's own root is hidden; it stands for no folder.
    if (item.IsOk() && item == m_tree->GetRootItem()) item = {};
    selected = item.IsOk();
    return GetItemRecord(item);
}

std::string CExpressFolderView::GetSelectedFolderPath() {
    bool selected = false;
    const FolderRecord* record = SelectedRecord(selected);
    if (!selected) return {};
    return SelectedFolderPath(record, TheSettings(), *m_ui);
}

std::string CExpressFolderView::GetSelectedFolderName() {
    bool selected = false;
    return SelectedFolderName(SelectedRecord(selected), *m_ui);
}

std::uint32_t CExpressFolderView::GetSelectedFolderId() {
    bool selected = false;
    return SelectedFolderId(SelectedRecord(selected));
}

void CExpressFolderView::OnContextMenu(wxContextMenuEvent& event) {
    ShowContextMenu(event.GetPosition());
}

void CExpressFolderView::ShowContextMenu(const wxPoint& screenPoint) {
    wxTreeItemId hit;
    wxPoint client;
    if (screenPoint != wxDefaultPosition) {
        // Anywhere on a row is that row, its expander and the space right of its text too.
        client = m_tree->ScreenToClient(screenPoint);
        int flags = 0;
        hit = m_tree->HitTest(client, flags);
        const int onRow = wxTREE_HITTEST_ONITEM | wxTREE_HITTEST_ONITEMBUTTON |
                          wxTREE_HITTEST_ONITEMINDENT | wxTREE_HITTEST_ONITEMRIGHT |
                          wxTREE_HITTEST_ONITEMSTATEICON;
        if (!(flags & onRow) || hit == m_tree->GetRootItem()) hit = {};
    } else {
        // From the keyboard (the menu key, Shift+F10): the selected folder, the menu below it.
        hit = m_tree->GetSelection();
        if (hit.IsOk() && hit == m_tree->GetRootItem()) hit = {};
        wxRect rect;
        if (hit.IsOk() && m_tree->GetBoundingRect(hit, rect, true)) client = rect.GetBottomLeft();
    }
    if (!hit.IsOk()) {
        m_ui->ShowMessage(Tr(res::TextId::NoMailBoxReason));
        return;
    }
    // The command that follows works on the folder clicked, not on the one selected before.
    m_tree->SelectItem(hit);
    m_tree->SetFocusedItem(hit);

    const std::vector<res::MenuItemDef>& definition = res::FolderMenuDefinition();
    std::unique_ptr<wxMenu> menu(BuildMenu(definition.front().items));
    if (Tracker()) {
        int chosen = Tracker()(*this, *menu, client);
        if (chosen > 0) {
            wxCommandEvent command(wxEVT_MENU, res::WxId(static_cast<unsigned>(chosen)));
            command.SetEventObject(this);
            GetEventHandler()->ProcessEvent(command);
        }
        return;
    }
    m_tree->PopupMenu(menu.get(), client);
}

void CExpressFolderView::OnExtractAttachments() {
    RunHoldingFileList(m_host, *m_ui, [&] {
        ExtractionOptions options = PrepareExtractionOptions(TheSettings());
        CExtractOptionSheet sheet(this, &m_discovery);
        sheet.SetStartPath(Destination());
        sheet.SetOptions(options);
        if (sheet.ShowModal() != wxID_OK) return;
        sheet.GetOptions(options);
        // With no folder chosen there is nothing to show, and the run does nothing.
        if (m_host && !options.Destination.empty())
            m_host->SelectDestinationFolder(options.Destination);
        std::string folderPath = GetSelectedFolderPath();
        if (folderPath.empty()) return;
        std::string folderName = GetSelectedFolderName();
        CLongOperation running;
        CWxProgressWindow progress(this, Tr(res::TextId::ProgressTitle), true);
        CWxShell shell;
        FrameFileList fileList(m_host);
        RunProblems problems;
        ExtractionContext context{*m_extractor,  progress,  *m_ui,    shell,
                                  TheSettings(), &fileList, &problems};
        RunExtraction(folderPath, options, folderName, context);
        std::string said;
        for (const std::string& line : DescribeRunProblems(problems, options.Destination))
            said += (said.empty() ? "" : "\n") + line;
        if (!said.empty()) m_ui->ShowMessage(said, kAppTitle, MessageIcon::Error);
    });
}

void CExpressFolderView::OnExtractSafely() {
    RunHoldingFileList(m_host, *m_ui, [&] {
        std::string destination = Destination();
        bool selected = false;
        const FolderRecord* record = SelectedRecord(selected);
        std::string why = m_storeNamespace ? PrepareStoreFolder(m_storeNamespace.Get(), record)
                                           : Tr(res::TextId::NoStoreNamespace);
        if (!why.empty()) {
            m_ui->ShowMessage(why, kAppTitle, MessageIcon::Error);
            return;
        }
        if (!m_ui->AskOkCancel(kExtractSafelyQuestion + destination)) return;
        CLongOperation running;
        CWxProgressWindow progress(this, Tr(res::TextId::ProgressTitle), true);
        ExtractStoreFolder(m_storeNamespace.Get(), record->ExpressFolderId,
                           destination, progress, *m_ui);
    });
}

std::string CExpressFolderView::DisabledReason(unsigned commandId) const {
    const bool saving = commandId == res::ID_SAVE_MESSAGES || commandId == res::ID_RECOVER_MESSAGES;
    const bool throughStore =
        commandId == res::ID_EXTRACT_SAFELY || commandId == res::ID_EXPRESS_MESSAGES;
    if (!saving && !throughStore && commandId != res::ID_SEARCH_MAIL) return {};
    bool selected = false;
    const FolderRecord* record = SelectedRecord(selected);
    if (!selected) return Tr(res::TextId::NoMailBoxReason);
    if (!record) return Tr(res::TextId::NoRecordReason);
    if (throughStore)
        return record->Source != &kDbxFileKind ? Tr(res::TextId::NoStoreFolderReason)
                                               : PrepareStoreFolder(nullptr, record);
    if (saving && FolderMessageFile(record).empty()) return Tr(res::TextId::NoMessageFileReason);
    if (commandId == res::ID_RECOVER_MESSAGES && record->Source != &kDbxFileKind)
        return Tr(res::TextId::NoDbxFileReason);
    return {};
}

void CExpressFolderView::OnSaveMessagesAsEml() {
    SaveMessages(false);
}

void CExpressFolderView::OnRecoverMessagesAsEml() {
    SaveMessages(true);
}

void CExpressFolderView::SaveMessages(bool recover) {
    const std::string destination = Destination();
    if (destination.empty()) {
        m_ui->ShowMessage(Tr(res::TextId::ChooseDestinationFirst), kAppTitle, MessageIcon::Warning);
        return;
    }
    RunHoldingFileList(m_host, *m_ui, [&] {
        CLongOperation running;
        CWxProgressWindow progress(this, Tr(res::TextId::ProgressTitle), false);
        wxBusyCursor busy;
        SaveEmlResult result =
            SaveMessagesAsEml(GetSelectedFolderPath(), destination, *m_ui, progress, recover);
        progress.Close();
        if (result.outcome != SaveEmlOutcome::Declined && result.failed > 0) {
            std::string text = Tr(res::TextId::MessagesNotSaved, {std::to_string(result.failed)});
            for (const std::string& why : result.failures)
                text += "\n" + why;
            m_ui->ShowMessage(text, kAppTitle, MessageIcon::Warning);
        } else if (result.outcome == SaveEmlOutcome::OpenFailed) {
            m_ui->ShowMessage(Tr(res::TextId::MessageFileUnreadable), kAppTitle,
                              MessageIcon::Warning);
        } else if (result.outcome == SaveEmlOutcome::Finished ||
                   (recover && result.outcome == SaveEmlOutcome::ReadError)) {
            std::string text = recover ? Tr(res::TextId::MessagesRecovered,
                                            {std::to_string(result.saved), destination,
                                             std::to_string(result.saved - result.savedFromScan),
                                             std::to_string(result.savedFromScan)})
                                       : Tr(res::TextId::MessagesSaved,
                                            {std::to_string(result.saved), destination});
            if (result.alreadyThere > 0)
                text +=
                    Tr(res::TextId::MessagesAlreadyThere, {std::to_string(result.alreadyThere)});
            for (const std::string& why : result.failures)
                text += "\n" + why;
            m_ui->ShowMessage(text);
        }
    });
}

void CExpressFolderView::OnExpressMessages() {
    bool selected = false;
    const FolderRecord* record = SelectedRecord(selected);
    std::string why = PrepareStoreFolder(nullptr, record);
    if (!why.empty()) {
        m_ui->ShowMessage(why, kAppTitle, MessageIcon::Error);
        return;
    }
    COEMessageDialog dialog(this, *m_ui);
    dialog.SetFolder(record->FullPath, record->ExpressFolderId);
    dialog.ShowModal();
}

void CExpressFolderView::OnSearchMail() {
    std::string folderPath = GetSelectedFolderPath();
    if (folderPath.empty()) return;
    std::string folderName = GetSelectedFolderName();
    CSearchMailDialog dialog(this, folderName, folderPath, *m_ui);
    dialog.SetDestination(Destination());
    if (dialog.ShowModal() != wxID_OK || dialog.GetChosenCopies().empty()) return;

    ExtractionOptions options = PrepareExtractionOptions(TheSettings());
    options.Destination = Destination();
    options.PicturesOnly = TheSettings().ExtractOnlyPicture;
    options.ShowReport = TheSettings().BrowserReport;
    if (options.Destination.empty()) {
        m_ui->ShowMessage(Tr(res::TextId::ChooseDestinationFirst), kAppTitle, MessageIcon::Warning);
        return;
    }
    RunHoldingFileList(m_host, *m_ui, [&] {
        CLongOperation running;
        CWxProgressWindow progress(this, Tr(res::TextId::ProgressTitle), true);
        CWxShell shell;
        FrameFileList fileList(m_host);
        ExtractionContext context{*m_extractor, progress, *m_ui, shell, TheSettings(), &fileList};
        ExtractSearchHits(dialog.GetChosenCopies(), options, folderName, context);
    });
}
