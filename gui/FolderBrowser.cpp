#include "gui/FolderBrowser.h"

#include <wx/button.h>
#include <wx/dirctrl.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/DesktopCommands.h"
#include "gui/WxText.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

CFolderDialog::CFolderDialog(wxWindow* owner, const std::string& title,
                             const std::string& startFolder)
    : wxDialog(owner, wxID_ANY, WxTr(res::TextId::BrowseForFolder), wxDefaultPosition,
               wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER),
      m_message(wxString::FromUTF8(title)) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, m_message), 0, wxALL, 8);
    m_tree = new wxGenericDirCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                  FromDIP(wxSize(360, 300)), wxDIRCTRL_DIR_ONLY);
    sizer->Add(m_tree, 1, wxEXPAND | wxLEFT | wxRIGHT, 8);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(this, wxID_ANY, WxTr(res::TextId::BrowseFolderLabel)), 0,
             wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    m_path = new wxTextCtrl(this, wxID_ANY);
    row->Add(m_path, 1, wxALIGN_CENTER_VERTICAL);
    sizer->Add(row, 0, wxEXPAND | wxALL, 8);
    sizer->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0,
               wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
    if (wxWindow* cancel = FindWindow(wxID_CANCEL))
        cancel->SetLabel(WxTr(res::TextId::ButtonCancel));
    SetSizerAndFit(sizer);
    CentreOnParent();

    m_tree->Bind(wxEVT_DIRCTRL_SELECTIONCHANGED, [this](wxTreeEvent& e) {
        m_path->ChangeValue(m_tree->GetPath());
        e.Skip();
    });
    // Only an existing folder is an answer; a mistyped path keeps the dialog open.
    Bind(
        wxEVT_BUTTON,
        [this](wxCommandEvent&) {
            wxString path = GetPath();
            if (!platform::IsDirectory(path.utf8_string())) {
                wxMessageDialog(this, wxString::FromUTF8(FolderMissingMessage(path.utf8_string())),
                                GetTitle(), wxOK | wxICON_WARNING)
                    .ShowModal();
                m_path->SetFocus();
                return;
            }
            EndModal(wxID_OK);
        },
        wxID_OK);
    SetPath(wxString::FromUTF8(startFolder));
}

wxString CFolderDialog::GetPath() const {
    return wxString::FromUTF8(
        TypedFolderPath(m_path->GetValue().utf8_string(), platform::GetHomeFolder()));
}

void CFolderDialog::SetPath(const wxString& path) {
    if (!path.empty() && wxFileName::DirExists(path)) m_tree->ExpandPath(path);
    m_path->ChangeValue(path);
}

#include "gui/WxText.h"

std::optional<std::string> BrowseForFolder(wxWindow* owner, const std::string& title,
                                           const std::string& startFolder) {
    CFolderDialog dialog(owner, title, startFolder);
    if (dialog.ShowModal() != wxID_OK) return std::nullopt;
    return Utf8(dialog.GetPath());
}
