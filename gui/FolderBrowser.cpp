#include "gui/FolderBrowser.h"

#include <wx/dirdlg.h>

std::optional<std::string> BrowseForFolder(wxWindow* owner, const std::string& title,
                                           const std::string& startFolder) {
    wxDirDialog dialog(owner, wxString::FromUTF8(title), wxString::FromUTF8(startFolder),
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    return dialog.GetPath().utf8_string();
}
