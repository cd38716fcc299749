#pragma once
// The destination folder tree: the file system's folders, one selected.
#include <functional>
#include <string>

#include <wx/defs.h>
#include <wx/dirctrl.h>

#include "gui/CmdTarget.h"

class CIEShellTreeView : public wxGenericDirCtrl, public CCmdTarget {
public:
    CIEShellTreeView(wxWindow* parent, wxWindowID id);

    // Selects the folder, expanding the tree down to it; false when the folder is not there.
    bool SelectFolder(const std::string& path);
    // The names of the home folder and the desktop at the top in the current language.
    void ShowTexts();
    // The selected folder; empty when nothing is selected.
    std::string GetSelectedFolder() const;
    // Called after every change of the selection, by the user or by SelectFolder.
    void SetSelectionHandler(std::function<void(const std::string&)> handler) {
        m_onSelection = std::move(handler);
    }

private:
    std::function<void(const std::string&)> m_onSelection;
};
