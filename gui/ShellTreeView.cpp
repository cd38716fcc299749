#include "gui/ShellTreeView.h"
#include "gui/WxText.h"

#include <wx/filename.h>
#include <wx/treectrl.h>

CIEShellTreeView::CIEShellTreeView(wxWindow* parent, wxWindowID id)
    : wxGenericDirCtrl(parent, id, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                       wxDIRCTRL_DIR_ONLY | wxDIRCTRL_3D_INTERNAL | wxBORDER_NONE) {
    // F5 reads the selected folder's sub-folders again.
    GetTreeCtrl()->Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() != WXK_F5) {
            event.Skip();
            return;
        }
        wxTreeItemId item = GetTreeCtrl()->GetSelection();
        if (!item.IsOk()) return;
        bool expanded = GetTreeCtrl()->IsExpanded(item);
        GetTreeCtrl()->Collapse(item);
        if (expanded) GetTreeCtrl()->Expand(item);
    });
    Bind(wxEVT_DIRCTRL_SELECTIONCHANGED, [this](wxTreeEvent& event) {
        if (m_onSelection) m_onSelection(GetSelectedFolder());
        event.Skip();
    });
    ShowTexts();
}

void CIEShellTreeView::ShowTexts() {
    wxTreeCtrl* tree = GetTreeCtrl();
    const wxString home = wxGetHomeDir();
    wxTreeItemIdValue cookie;
    for (wxTreeItemId item = tree->GetFirstChild(tree->GetRootItem(), cookie); item.IsOk();
         item = tree->GetNextChild(tree->GetRootItem(), cookie)) {
        auto* data = dynamic_cast<wxDirItemData*>(tree->GetItemData(item));
        if (!data) continue;
        if (data->m_path == home)
            tree->SetItemText(item, WxTr(res::TextId::TreeHome));
        else if (data->m_path == home + "/Desktop")
            tree->SetItemText(item, WxTr(res::TextId::TreeDesktop));
    }
}

bool CIEShellTreeView::SelectFolder(const std::string& path) {
    wxString wanted = Wx(path);
    wxFileName name = wxFileName::DirName(wanted);
    name.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE | wxPATH_NORM_TILDE);
    // A hidden folder on the way (".config") is only in the tree when hidden ones are shown.
    if (name.GetFullPath().Contains("/.") && !GetShowHidden()) ShowHidden(true);
    bool found = ExpandPath(name.GetPath());
    if (GetPath() != name.GetPath()) {
        // The tree read that part of the disk before the folder was made (by a run or by the
        // user): read the deepest folder it did find again, then look once more.
        wxTreeItemId reached = GetTreeCtrl()->GetSelection();
        if (reached.IsOk()) {
            GetTreeCtrl()->Collapse(reached);
            found = ExpandPath(name.GetPath());
        }
    }
    if (found) {
        wxTreeItemId item = GetTreeCtrl()->GetSelection();
        if (item.IsOk()) GetTreeCtrl()->EnsureVisible(item);
    }
    return found;
}

std::string CIEShellTreeView::GetSelectedFolder() const {
    return Utf8(GetPath());
}
