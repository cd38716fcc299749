#pragma once
// A modal folder chooser with a title, a start folder and an owner: the folder tree, and an edit
// box that takes a typed or pasted path.
#include <optional>
#include <string>

#include <wx/dialog.h>

class wxGenericDirCtrl;
class wxTextCtrl;

class CFolderDialog : public wxDialog {
public:
    CFolderDialog(wxWindow* owner, const std::string& title, const std::string& startFolder);

    wxString GetMessage() const { return m_message; }
    // The folder in the edit box.
    wxString GetPath() const;
    // Selects the folder in the tree and puts it into the edit box.
    void SetPath(const wxString& path);

private:
    wxString m_message;
    wxGenericDirCtrl* m_tree = nullptr;
    wxTextCtrl* m_path = nullptr;
};

// The chosen folder, or nothing when the user cancelled.
std::optional<std::string> BrowseForFolder(wxWindow* owner, const std::string& title,
                                           const std::string& startFolder);
