#include "gui/ExpressFolderView.h"

#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "app/Settings.h"
#include "engine/ExtractOptionChoices.h"
#include "engine/ExtractionRun.h"
#include "engine/ExtractorClient.h"
#include "gui/DesktopUi.h"
#include "gui/ExtractOptionSheet.h"
#include "gui/FolderTreeItems.h"
#include "gui/LongOperation.h"
#include "gui/MainFrame.h"
#include "gui/Menus.h"
#include "gui/Pictures.h"
#include "gui/ProgressWindow.h"
#include "platform/SeException.h"
#include "platform/UserInterface.h"
#include "res/MenuTemplate.h"
#include "res/Resource.h"
#include "store/FolderSelection.h"

namespace {

CExpressFolderView::MenuTracker& Tracker() {
    static CExpressFolderView::MenuTracker tracker;
    return tracker;
}

// The run refreshes the destination's file list after each report page.
class FrameFileList : public IDestinationView {
public:
    explicit FrameFileList(CMainFrame* frame) : m_frame(frame) {}
    void RefreshFileList() override {
        if (m_frame) m_frame->RefreshFileList();
    }

private:
    CMainFrame* m_frame;
};

bool IsFolderCommand(unsigned id) {
    for (const res::MenuItemDef& item : res::FolderMenuDefinition().front().items)
        if (!item.separator && item.id == id) return true;
    return false;
}

} // namespace

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

    // The folder container: an outlook bar that stays empty, and one titled pane, the tree.
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    m_outlookBar = new wxPanel(this, 1, wxDefaultPosition, wxSize(-1, 0));
    sizer->Add(m_outlookBar, 0, wxEXPAND);
    auto* titleBar = new wxPanel(this, wxID_ANY);
    titleBar->SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW));
    m_paneTitle =
        new wxStaticText(titleBar, wxID_ANY, wxString::FromUTF8(kFolderPaneTitle),
                         wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    m_paneTitle->SetToolTip(wxString::FromUTF8(kFolderPaneTitle));
    m_paneTitle->SetForegroundColour(*wxWHITE);
    m_paneTitle->SetFont(m_paneTitle->GetFont().Bold());
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

    ReloadStore();

    m_extractor = std::make_unique<CExtractorClient>();
    m_extractor->Create(m_ui);

    OnCommand(res::ID_EXTRACT_ATTACHMENTS, [this](wxCommandEvent&) { OnExtractAttachments(); });

    m_tree->Bind(wxEVT_CONTEXT_MENU, &CExpressFolderView::OnContextMenu, this);
    m_tree->Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& e) {
        bool menuKey = e.GetKeyCode() == WXK_MENU || e.GetKeyCode() == WXK_WINDOWS_MENU ||
                       (e.GetKeyCode() == WXK_F10 && e.GetModifiers() == wxMOD_SHIFT);
        if (!menuKey) {
            e.Skip();
            return;
        }
        ShowContextMenu(wxDefaultPosition);
    });
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

CExpressFolderView::~CExpressFolderView() {
    // The component goes before the records it was used on.
    m_extractor.reset();
    m_tree->SetImageList(nullptr);
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

int CExpressFolderView::GetSelectedFolderId() {
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
        m_ui->ShowMessage(kNoMailBoxMessage);
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
    CMainFrame* frame = TheMainFrame();
    auto enableFileList = [frame](bool enable) {
        if (frame) frame->EnableFileListUpdates(enable);
    };
    try {
        enableFileList(false);
        ExtractionOptions options = PrepareExtractionOptions(TheSettings());
        CExtractOptionSheet sheet(this, &m_discovery);
        sheet.SetStartPath(frame ? frame->GetDestinationFolder() : std::string());
        sheet.SetOptions(options);
        if (sheet.ShowModal() == wxID_OK) {
            sheet.GetOptions(options);
            // With no folder chosen there is nothing to show, and the run does nothing.
            if (frame && !options.Destination.empty())
                frame->SelectDestinationFolder(options.Destination);
            std::string folderPath = GetSelectedFolderPath();
            if (!folderPath.empty()) {
                std::string folderName = GetSelectedFolderName();
                CLongOperation running;
                CWxProgressWindow progress(this, "Progress", true);
                CWxShell shell;
                FrameFileList fileList(frame);
                RunProblems problems;
                ExtractionContext context{*m_extractor,  progress,  *m_ui,    shell,
                                          TheSettings(), &fileList, &problems};
                RunExtraction(folderPath, options, folderName, context);
                std::string said;
                for (const std::string& line : DescribeRunProblems(problems, options.Destination))
                    said += (said.empty() ? "" : "\n") + line;
                if (!said.empty()) m_ui->ShowMessage(said, kAppTitle, MessageIcon::Error);
            }
        }
    } catch (const CSeException& e) {
        m_ui->ShowMessage(e.GetDescription());
    } catch (const std::exception& e) {
        // Nothing else may leave a window's handler; the user learns the run stopped and why.
        m_ui->ShowMessage(e.what(), kAppTitle, MessageIcon::Error);
    }
    enableFileList(true);
    if (frame) frame->RefreshFileList();
}
