#include "gui/PreferenceDialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/intl.h>
#include <wx/msgdlg.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/valgen.h>
#include <wx/valtext.h>

#include "app/Settings.h"
#include "gui/FolderBrowser.h"
#include "gui/LanguageMenus.h"
#include "gui/WxText.h"
#include "platform/UserInterface.h"
#include "res/Resource.h"

using namespace res;

namespace {

wxString U(const char* text) {
    return wxString::FromUTF8(text);
}

wxStaticBoxSizer* Group(wxWindow* parent, int id, const char* title) {
    return new wxStaticBoxSizer(new wxStaticBox(parent, id, U(title)), wxVERTICAL);
}

// A number field: digits only as the user types; on OK the toolkit's message for an empty or
// non-numeric text, ours for a number outside the range, with the focus put on the field.
class CNumberValidator : public wxTextValidator {
public:
    CNumberValidator(int* value, NumberRange range)
        : wxTextValidator(wxFILTER_DIGITS | wxFILTER_EMPTY), m_value(value), m_range(range) {}
    wxObject* Clone() const override { return new CNumberValidator(*this); }

    bool Validate(wxWindow* parent) override {
        if (!wxTextValidator::Validate(parent)) return false;
        int value = 0;
        if (CheckNumberText(Text(), m_range, value) == NumberCheck::Ok) return true;
        GetWindow()->SetFocus();
        wxMessageBox(wxString::FromUTF8(RangeMessage(m_range)),
                     WxTr(res::TextId::NumberOutOfRangeCaption), wxOK | wxICON_EXCLAMATION, parent);
        return false;
    }
    bool TransferToWindow() override {
        static_cast<wxTextCtrl*>(GetWindow())->SetValue(std::to_string(*m_value));
        return true;
    }
    bool TransferFromWindow() override {
        return CheckNumberText(Text(), m_range, *m_value) == NumberCheck::Ok;
    }

private:
    std::string Text() const {
        return static_cast<wxTextCtrl*>(GetWindow())->GetValue().utf8_string();
    }
    int* m_value;
    NumberRange m_range;
};

wxTextCtrl* NumberField(wxWindow* parent, int id, int* value, NumberRange range) {
    auto* field = new wxTextCtrl(parent, id, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0,
                                 CNumberValidator(value, range));
    field->SetMinSize(wxSize(field->GetTextExtent("000000").x + 16, -1));
    return field;
}

struct Check {
    int id;
    const char* text;
    bool PreferenceValues::*flag;
};
// In the order of the page.
const Check kChecks[] = {
    {IDC_PREF_SHOW_REPORT, "Show Extraction Report", &PreferenceValues::ShowReport},
    {IDC_PREF_ONLY_PICTURES, "Extract Only Photos/Images", &PreferenceValues::PicturesOnly},
    {IDC_AUTO_RENAME, "Auto Rename File (If Extracted File Already Exist)",
     &PreferenceValues::Rename},
    {IDC_REMOVE_FW, "Remove \"Fw:\" and \"Fwd:\" String in Mail's Subject",
     &PreferenceValues::RemoveFw},
    {IDC_SET_DATE, "Set Extracted Attachments Date using Mails' Sending Date",
     &PreferenceValues::SetDate},
};

} // namespace

CPreferenceDialog::CPreferenceDialog(wxWindow* parent)
    : wxDialog(parent, IDD_PREFERENCE, U("Preference"), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER),
      m_values(ReadPreferences(TheSettings())), m_pathBefore(TheSettings().KESTLMailFolderPath) {
    // The page's fields move their values with the dialog's.
    SetExtraStyle(GetExtraStyle() | wxWS_EX_VALIDATE_RECURSIVELY);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    m_tabs = new wxNotebook(this, IDC_PREFERENCE_TABS);
    BuildPage();
    m_tabs->AddPage(m_page, U("General Setting"), true);
    sizer->Add(m_tabs, 1, wxEXPAND | wxALL, 8);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    auto* ok = new wxButton(this, IDOK_BUTTON, U("OK"));
    auto* cancel = new wxButton(this, IDCANCEL_BUTTON, U("Cancel"));
    buttons->Add(ok, 0, wxRIGHT, 12);
    buttons->Add(cancel, 0);
    buttons->AddStretchSpacer();
    sizer->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
    ok->SetDefault();
    SetEscapeId(IDCANCEL_BUTTON);
    SetAffirmativeId(IDOK_BUTTON);
    ok->Bind(wxEVT_BUTTON, &CPreferenceDialog::OnOk, this);
    cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CANCEL); });
    SetSizer(sizer);

    TransferDataToWindow();
    TranslateDialog(m_page, IDD_GENERAL_SETTING_PAGE);
    TranslateDialog(this, IDD_PREFERENCE);
    GetSizer()->SetSizeHints(this);
    CentreOnParent();
}

void CPreferenceDialog::BuildPage() {
    m_page = new wxPanel(m_tabs, IDD_GENERAL_SETTING_PAGE);
    auto* page = new wxBoxSizer(wxVERTICAL);

    wxStaticBoxSizer* report = Group(m_page, IDC_REPORT_STYLE_GROUP, "Report Style");
    wxWindow* box = report->GetStaticBox();
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(box, IDC_SUBJECT_SETTING_LABEL, U("Subject Setting:")), 0,
             wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    row->Add(
        NumberField(box, IDC_SUBJECTS_PER_PAGE, &m_values.SubjectsPerPage, kSubjectsPerPageRange),
        0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    row->Add(new wxStaticText(box, IDC_SUBJECTS_PAGE_LABEL, U("Subjects/Page")), 0,
             wxALIGN_CENTER_VERTICAL);
    report->Add(row, 0, wxALL, 6);
    page->Add(report, 0, wxEXPAND | wxALL, 6);

    wxStaticBoxSizer* extraction = Group(m_page, IDC_EXTRACTION_OPTION_GROUP, "Extraction Option");
    box = extraction->GetStaticBox();
    for (const Check& c : kChecks) {
        auto* check = new wxCheckBox(box, c.id, U(c.text), wxDefaultPosition, wxDefaultSize, 0,
                                     wxGenericValidator(&(m_values.*c.flag)));
        extraction->Add(check, 0, wxLEFT | wxRIGHT | wxTOP, 6);
    }
    row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(box, IDC_SIZE_LIMIT_LABEL,
                              U("Only Extracts Attachments that Its Size Big Then  ")),
             0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 2);
    row->Add(NumberField(box, IDC_SIZE_LIMIT, &m_values.SizeLimit, kSizeLimitRange), 0,
             wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    row->Add(new wxStaticText(box, IDC_KBYTES_LABEL, U("K bytes")), 0, wxALIGN_CENTER_VERTICAL);
    extraction->Add(row, 0, wxALL, 6);
    page->Add(extraction, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 6);

    wxStaticBoxSizer* store = Group(m_page, IDC_MAILBOX_GROUP, "Windows Live Mail Setting");
    box = store->GetStaticBox();
    row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(box, IDC_MAILBOX_LABEL, U("Mailbox Path:")), 0,
             wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    m_path = new wxTextCtrl(box, IDC_MAILBOX_PATH);
    m_path->SetMinSize(wxSize(m_path->GetTextExtent(wxString('x', 40)).x, -1));
    row->Add(m_path, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    auto* browse = new wxButton(box, IDC_BROWSE_MAILBOX, U("..."), wxDefaultPosition, wxDefaultSize,
                                wxBU_EXACTFIT);
    row->Add(browse, 0, wxALIGN_CENTER_VERTICAL);
    store->Add(row, 0, wxEXPAND | wxALL, 6);
    page->Add(store, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 6);
    browse->Bind(wxEVT_BUTTON, &CPreferenceDialog::OnBrowse, this);

    m_path->SetValue(wxString::FromUTF8(m_values.MailboxPath));
    m_page->SetSizer(page);
}

void CPreferenceDialog::OnBrowse(wxCommandEvent&) {
    // As on OK, a bad number is reported; the browser opens all the same.
    Validate();
    std::string start = m_path->GetValue().utf8_string();
    if (auto chosen = BrowseForFolder(m_page, Tr(res::TextId::MailboxBrowserTitle), start))
        m_path->SetValue(wxString::FromUTF8(*chosen));
}

void CPreferenceDialog::OnOk(wxCommandEvent&) {
    // The validators show the toolkit's message and put the focus on the field at fault.
    if (!Validate() || !TransferDataFromWindow()) return;
    m_values.MailboxPath = m_path->GetValue().utf8_string();
    if (ApplyPreferences(m_values, TheSettings()) != PreferenceField::None) return;
    m_pathChanged = ::MailboxPathChanged(m_pathBefore, m_values.MailboxPath);
    wxMessageDialog(this, U(kPreferenceRestartMessage), U(kAppTitle), wxOK | wxICON_INFORMATION)
        .ShowModal();
    EndModal(wxID_OK);
}
