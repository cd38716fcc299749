#pragma once
// File > Preference: one tab, "General Setting", with the report and extraction options and the
// mailbox path. OK stores them in the settings at once; Cancel stores nothing. The rules (the
// ranges, what is stored) are the core's, in app/Preferences.h.
#include <string>

#include <wx/dialog.h>

#include "app/Preferences.h"

class wxNotebook;
class wxPanel;
class wxTextCtrl;

class CPreferenceDialog : public wxDialog {
public:
    explicit CPreferenceDialog(wxWindow* parent);

    // After OK: whether the mailbox path now names another store.
    bool MailboxPathChanged() const { return m_pathChanged; }

    wxNotebook* GetTabs() const { return m_tabs; }
    wxPanel* GetPage() const { return m_page; }

private:
    void BuildPage();
    void OnOk(wxCommandEvent& event);
    void OnBrowse(wxCommandEvent& event);

    PreferenceValues m_values;
    std::string m_pathBefore;
    bool m_pathChanged = false;
    wxNotebook* m_tabs = nullptr;
    wxPanel* m_page = nullptr;
    wxTextCtrl* m_path = nullptr;
};
