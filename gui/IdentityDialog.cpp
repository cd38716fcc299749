#include "gui/IdentityDialog.h"

#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "app/Preferences.h"
#include "gui/LanguageMenus.h"
#include "platform/UserInterface.h"
#include "res/Resource.h"
#include "store/StoreDiscovery.h"

using namespace res;

CIdentityDialog::CIdentityDialog(wxWindow* parent, const StoreDiscovery* discovery)
    : wxDialog(parent, IDD_IDENTITY, wxString::FromUTF8("Select Oultook Express Identity"),
               wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    m_list = new wxListBox(this, IDC_IDENTITY_LIST, wxDefaultPosition, wxSize(260, 140));
    if (discovery) {
        // A copy of the records, as the list may outlive a refresh of the store.
        std::vector<IdentityRecord> identities = discovery->Identities;
        for (const IdentityRecord& identity : identities)
            m_list->Append(wxString::FromUTF8(identity.Name));
    }
    if (m_list->GetCount() > 0) m_list->SetSelection(0);
    sizer->Add(m_list, 1, wxEXPAND | wxALL, 8);
    if (m_list->IsEmpty()) {
        // Say why the list is empty rather than leave the user guessing.
        auto* hint = new wxStaticText(this, wxID_ANY, kNoIdentitiesText);
        sizer->Add(hint, 0, wxLEFT | wxRIGHT, 8);
    }

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    auto* ok = new wxButton(this, IDOK_BUTTON, "OK");
    auto* cancel = new wxButton(this, IDCANCEL_BUTTON, "Cancel");
    buttons->Add(ok, 0, wxRIGHT, 8);
    buttons->Add(cancel, 0);
    sizer->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
    ok->SetDefault();
    SetEscapeId(IDCANCEL_BUTTON);
    SetAffirmativeId(IDOK_BUTTON);
    ok->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        int selected = m_list->GetSelection();
        m_identity =
            selected == wxNOT_FOUND ? std::string() : m_list->GetString(selected).utf8_string();
        wxMessageDialog(this, wxString::FromUTF8(kIdentityRestartMessage), kAppTitle,
                        wxOK | wxICON_INFORMATION)
            .ShowModal();
        EndModal(wxID_OK);
    });
    cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CANCEL); });
    m_list->Bind(wxEVT_LISTBOX_DCLICK, [ok](wxCommandEvent&) {
        wxCommandEvent click(wxEVT_BUTTON, ok->GetId());
        click.SetEventObject(ok);
        ok->GetEventHandler()->ProcessEvent(click);
    });
    SetSizer(sizer);
    TranslateDialog(this, IDD_IDENTITY);
    GetSizer()->SetSizeHints(this);
    CentreOnParent();
}
