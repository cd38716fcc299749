#include "gui/FolderBrowser.h"

#include <wx/dirdlg.h>

#include "gui/WxText.h"

std::optional<std::string> BrowseForFolder(wxWindow* owner, const std::string& title,
                                           const std::string& startFolder) {
    wxDirDialog dialog(owner, Wx(title), Wx(startFolder), wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    return Utf8(dialog.GetPath());
}
