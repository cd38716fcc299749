#pragma once
// Dialog 130: the messages of one folder of a store kept as .dbx files, sorted, with the
// buttons that mark, delete, view, copy, move and test-extract the selected one. The work is
// the core's (engine/ExpressStoreAccess.h); this window shows it.
#include <wx/dialog.h>

#include "engine/ExpressStoreAccess.h"

class IMessageBox;
class wxListBox;

// The store is opened read-only: only the buttons that read (TEST EXTRACT) are offered; the
// others are shown greyed with this tip.
bool IsOfferedByReadOnlyStore(unsigned buttonId);

class COEMessageDialog : public wxDialog {
public:
    // Creates its own store namespace, as the folder view's is the view's.
    COEMessageDialog(wxWindow* parent, IMessageBox& ui);
    // Before the dialog is shown: the store folder and the folder id.
    bool SetFolder(const std::string& storeFolder, platform::DWORD folderId);

    wxListBox* GetList() const { return m_list; }

private:
    void FillList();
    bool Selected(platform::DWORD& id);
    void OnButton(unsigned id);

    IMessageBox& m_ui;
    CStoreRef<platform::IStoreNamespace> m_namespace;
    COEMessageList m_messages;
    wxListBox* m_list = nullptr;
};
