#pragma once
// File > Switch Identity: the identities the store discovery found; OK keeps the chosen name
// for the title bar of the next start.
#include <string>

#include <wx/dialog.h>

class StoreDiscovery;
class wxListBox;

inline constexpr const char* kNoIdentitiesText =
    "This mail store keeps no identities; OK clears the one in the title.";

class CIdentityDialog : public wxDialog {
public:
    // discovery may be null: the list is then empty.
    CIdentityDialog(wxWindow* parent, const StoreDiscovery* discovery);

    // After OK: the chosen name, empty when the list had none selected.
    const std::string& GetIdentity() const { return m_identity; }
    wxListBox* GetList() const { return m_list; }

private:
    wxListBox* m_list = nullptr;
    std::string m_identity;
};
