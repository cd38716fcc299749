#include "gui/WizardDialog.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statline.h>

#include "gui/LanguageMenus.h"
#include "res/Resource.h"

CWizardDialog::CWizardDialog(wxWindow* parent, unsigned resourceId, const wxString& title,
                             const wxSize& pageSize)
    : wxDialog(parent, static_cast<int>(resourceId), title, wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE),
      m_resourceId(resourceId) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    // The pages are placed over this frame; it only keeps their room.
    m_placeholder = new wxPanel(this, res::IDC_WIZARD_PLACEHOLDER, wxDefaultPosition,
                                wxDLG_UNIT(this, pageSize));
    m_placeholder->Disable();
    sizer->Add(m_placeholder, 1, wxEXPAND | wxALL, 8);
    sizer->Add(new wxStaticLine(this, wxID_STATIC), 0, wxEXPAND | wxLEFT | wxRIGHT, 8);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    m_back = new wxButton(this, res::ID_WIZARD_BACK, wxString::FromUTF8("< &Back"));
    m_next = new wxButton(this, res::ID_WIZARD_NEXT, wxString::FromUTF8("&Next >"));
    m_finish = new wxButton(this, res::ID_WIZARD_FINISH, wxString::FromUTF8("Finish"));
    m_cancel = new wxButton(this, res::IDCANCEL_BUTTON, wxString::FromUTF8("Cancel"));
    buttons->Add(m_back, 0);
    buttons->Add(m_next, 0, wxRIGHT, 8);
    buttons->Add(m_finish, 0, wxRIGHT, 8);
    buttons->Add(m_cancel, 0);
    sizer->Add(buttons, 0, wxEXPAND | wxALL, 8);
    SetSizerAndFit(sizer);
    SetEscapeId(res::IDCANCEL_BUTTON);

    m_back->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Back(); });
    m_next->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Next(); });
    m_finish->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Finish(); });
    m_cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Cancel(); });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Cancel(); });
}

CWizardDialog::~CWizardDialog() {
    // Each page that has a window hears of its end before it goes, while the wizard still
    // exists around it.
    for (auto& page : m_pages) {
        if (page->m_created) {
            page->OnKillActive();
            page->OnPageDestroying();
        }
        page.reset();
    }
}

void CWizardDialog::AddPage(CWizardPage* page, unsigned resourceId) {
    page->m_resourceId = resourceId;
    m_pages.emplace_back(page);
}

void CWizardDialog::Start() {
    if (m_active) {
        m_active->OnKillActive();
        m_active->Hide();
    }
    m_back->Disable();
    const bool single = m_pages.size() < 2;
    m_finish->Enable(single);
    m_next->Enable(!single);
    if (!m_pages.empty()) ActivatePage(m_pages.front().get());
    TranslateDialog(this, m_resourceId);
    Centre();
}

bool CWizardDialog::ActivatePage(CWizardPage* page) {
    if (!page->m_created) {
        if (!page->Create(this, static_cast<int>(page->m_resourceId), wxDefaultPosition,
                          m_placeholder->GetSize(), wxTAB_TRAVERSAL))
            return false;
        page->Hide();
        page->m_created = true;
        page->m_wizard = this;
        if (!page->OnPageCreated()) return false;
    }
    if (m_active && m_active != page) {
        if (!m_active->OnKillActive()) return false;
        m_active->Hide();
        m_active->m_active = false;
    }
    page->SetSize(wxRect(m_placeholder->GetPosition(), m_placeholder->GetSize()));
    page->Enable();
    page->Show();
    page->Layout();
    page->Refresh();
    page->Update();
    page->OnSetActive();
    page->m_active = true;
    m_active = page;
    return true;
}

int CWizardDialog::IndexOf(const CWizardPage* page) const {
    for (std::size_t i = 0; i < m_pages.size(); ++i)
        if (m_pages[i].get() == page) return static_cast<int>(i);
    return -1;
}

CWizardPage* CWizardDialog::Target(int answer, int step) const {
    if (answer != 0) {
        for (const auto& page : m_pages)
            if (static_cast<int>(page->m_resourceId) == answer) return page.get();
        return nullptr;
    }
    int index = IndexOf(m_active) + step;
    if (index < 0 || index >= static_cast<int>(m_pages.size())) return nullptr;
    return m_pages[static_cast<std::size_t>(index)].get();
}

void CWizardDialog::Next() {
    if (!m_active) return;
    int answer = m_active->OnWizardNext();
    if (answer == -1) return;
    CWizardPage* page = Target(answer, 1);
    if (!page || !ActivatePage(page)) return;
    if (page == m_pages.back().get()) {
        m_next->Disable();
        m_finish->Enable();
    }
    m_back->Enable();
}

void CWizardDialog::Back() {
    if (!m_active) return;
    int answer = m_active->OnWizardBack();
    if (answer == -1) return;
    CWizardPage* page = Target(answer, -1);
    if (!page || !ActivatePage(page)) return;
    if (page == m_pages.front().get()) {
        m_back->Disable();
        m_finish->Disable();
    }
    m_next->Enable();
}

void CWizardDialog::Finish() {
    if (m_active && !m_active->OnKillActive()) return;
    for (auto& page : m_pages)
        if (page->m_created && !page->OnWizardFinish()) return;
    EndModal(kFinished);
}

void CWizardDialog::Cancel() {
    for (auto& page : m_pages)
        if (page->m_created && !page->OnQueryCancel()) return;
    if (IsModal())
        EndModal(wxID_CANCEL);
    else
        Hide();
}
