#include "gui/OEMessageDialog.h"

#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/sizer.h>

#include "gui/DialogWindows.h"
#include "gui/LanguageMenus.h"
#include "gui/WxText.h"
#include "platform/UserInterface.h"
#include "res/Resource.h"

COEMessageDialog::COEMessageDialog(wxWindow* parent, IMessageBox& ui)
    : wxDialog(parent, res::WxId(res::IDD_OE_MESSAGES), wxString(), wxDefaultPosition,
               wxDefaultSize, wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      m_ui(ui), m_messages(ui) {
    m_namespace = CreateStoreNamespace(ui);
    SetSize(ConvertDialogToPixels(wxSize(327, 215)));

    m_list = new wxListBox(this, res::WxId(res::IDC_OE_MESSAGE_LIST), wxDefaultPosition,
                           wxDefaultSize, 0, nullptr, wxLB_SINGLE | wxLB_SORT | wxLB_HSCROLL);
    auto* buttons = new wxBoxSizer(wxVERTICAL);
    const struct {
        unsigned id;
        const char* text;
    } kButtons[] = {{res::IDC_OE_MARK_READ, "Mark as Read"},
                    {res::IDC_OE_MARK_UNREAD, "Mark as Unread"},
                    {res::IDC_OE_VIEW, "View"},
                    {res::IDC_OE_CREATE, "Create"},
                    {res::IDC_OE_DELETE, "Delete"},
                    {res::IDC_OE_COPY, "Copy"},
                    {res::IDC_OE_MOVE, "Move"},
                    {res::IDC_OE_TEST_EXTRACT, "TEST EXTRACT"}};
    for (const auto& b : kButtons) {
        auto* button = new wxButton(this, res::WxId(b.id), wxString::FromUTF8(b.text));
        if (!IsOfferedByReadOnlyStore(b.id)) {
            button->Disable();
            button->SetToolTip(WxTr(res::TextId::ReadOnlyStoreTip));
        }
        unsigned id = b.id;
        button->Bind(wxEVT_BUTTON, [this, id](wxCommandEvent&) { OnButton(id); });
        buttons->Add(button, 0, wxEXPAND | wxBOTTOM, 4);
    }
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    sizer->Add(m_list, 1, wxEXPAND | wxALL, 7);
    sizer->Add(buttons, 0, wxTOP | wxRIGHT | wxBOTTOM, 7);
    SetSizer(sizer);
    CloseOnEscape(*this);

    Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent& e) {
        FillList();
        SetTitle(wxString::FromUTF8(m_messages.GetCaption()));
        TranslateDialog(this, res::IDD_OE_MESSAGES);
        e.Skip();
    });
}

bool IsOfferedByReadOnlyStore(unsigned buttonId) {
    return buttonId == res::IDC_OE_TEST_EXTRACT;
}

bool COEMessageDialog::SetFolder(const std::string& storeFolder, platform::DWORD folderId) {
    // Without a namespace (its creation said why) there is nothing to open.
    if (!m_namespace) return false;
    m_namespace->SetStoreFolder(storeFolder.c_str());
    return m_messages.SetFolder(m_namespace.Get(), folderId);
}

void COEMessageDialog::FillList() {
    m_list->Clear();
    if (!m_messages.HasFolder()) return;
    for (const COEMessageList::Entry& e : m_messages.ListMessages()) {
        int at = m_list->Append(wxString::FromUTF8(e.text));
        if (at >= 0) m_list->SetClientData(static_cast<unsigned>(at),
                                           reinterpret_cast<void*>(static_cast<std::uintptr_t>(e.id)));
    }
}

bool COEMessageDialog::Selected(platform::DWORD& id) {
    int at = m_list->GetSelection();
    if (at == wxNOT_FOUND) {
        m_ui.ShowMessage("Select a message first.", kDemoErrorCaption, MessageIcon::Warning);
        return false;
    }
    id = static_cast<platform::DWORD>(
        reinterpret_cast<std::uintptr_t>(m_list->GetClientData(static_cast<unsigned>(at))));
    return true;
}

void COEMessageDialog::OnButton(unsigned button) {
    platform::DWORD id = 0;
    if (!Selected(id)) return;
    switch (button) {
    case res::IDC_OE_MARK_READ:
        m_messages.MarkAsRead(id, true);
        break;
    case res::IDC_OE_MARK_UNREAD:
        m_messages.MarkAsRead(id, false);
        break;
    case res::IDC_OE_DELETE:
        if (m_messages.Delete(id)) FillList();
        break;
    case res::IDC_OE_VIEW:
        m_messages.View(id);
        break;
    case res::IDC_OE_COPY:
        m_messages.CopyOrMove(id, false);
        break;
    case res::IDC_OE_MOVE:
        if (m_messages.CopyOrMove(id, true)) FillList();
        break;
    case res::IDC_OE_TEST_EXTRACT: {
        std::string folder = TestExtractFolder();
        if (m_messages.TestExtract(id, folder))
            m_ui.ShowMessage(Tr(res::TextId::TestExtractSaved, {folder}));
        break;
    }
    default: // Create: nothing
        break;
    }
}
