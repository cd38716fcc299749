#include "gui/ShellTreeView.h"
#include "gui/WxText.h"

#include <wx/filename.h>
#include <wx/treectrl.h>

CIEShellTreeView::CIEShellTreeView(wxWindow* parent, wxWindowID id)
    : wxGenericDirCtrl(parent, id, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                       wxDIRCTRL_DIR_ONLY | wxDIRCTRL_3D_INTERNAL | wxBORDER_NONE) {
    Bind(wxEVT_DIRCTRL_SELECTIONCHANGED, [this](wxTreeEvent& event) {
        if (m_onSelection) m_onSelection(GetSelectedFolder());
        event.Skip();
    });
}

bool CIEShellTreeView::SelectFolder(const std::string& path) {
    wxString wanted = Wx(path);
    wxFileName name = wxFileName::DirName(wanted);
    name.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE | wxPATH_NORM_TILDE);
    // A hidden folder on the way (".config") is only in the tree when hidden ones are shown.
    if (name.GetFullPath().Contains("/.") && !GetShowHidden()) ShowHidden(true);
    bool found = ExpandPath(name.GetPath());
    if (found) {
        wxTreeItemId item = GetTreeCtrl()->GetSelection();
        if (item.IsOk()) GetTreeCtrl()->EnsureVisible(item);
    }
    return found;
}

std::string CIEShellTreeView::GetSelectedFolder() const {
    return Utf8(GetPath());
}
