#include "gui/SearchMailDialog.h"

#include <algorithm>

#include <unistd.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "engine/ReportColumns.h"
#include "gui/DialogWindows.h"
#include "gui/LanguageMenus.h"
#include "gui/WxText.h"
#include "platform/Text.h"
#include "platform/UserInterface.h"
#include "res/Resource.h"

using namespace res;

namespace {

wxString U(const std::string& text) {
    return wxString::FromUTF8(text);
}

} // namespace

std::string ExtractEveryHitQuestion(long count, const std::string& destination) {
    return Tr(res::TextId::ExtractEveryHit, {std::to_string(count), destination});
}

CReportListCtrl::CReportListCtrl(wxWindow* parent, int id)
    : wxListCtrl(parent, id, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxBORDER_SUNKEN) {}

void CReportListCtrl::SetColumns(const ColumnLayout& layout) {
    DeleteAllItems();
    DeleteAllColumns();
    for (const ReportColumn& c : layout) {
        wxListColumnFormat format = c.align == ReportColumn::Centre  ? wxLIST_FORMAT_CENTRE
                                    : c.align == ReportColumn::Right ? wxLIST_FORMAT_RIGHT
                                                                     : wxLIST_FORMAT_LEFT;
        // A heading the list's text names with blanks around it is still the program's text;
        // the column is at least as wide as its heading.
        const std::string trimmed = platform::Trim(c.name);
        const std::string translated = TranslateBuiltInText(trimmed);
        const wxString title = U(translated == trimmed ? c.name : translated);
        AppendColumn(title, format, std::max(c.width, GetTextExtent(title).x + FromDIP(24)));
    }
}

long CReportListCtrl::InsertRow(long index, const std::string& text) {
    return InsertItem(index, U(text));
}

void CReportListCtrl::SetCell(long row, int column, const std::string& text) {
    SetItem(row, column, U(text));
}

std::string CReportListCtrl::GetCell(long row, int column) const {
    return GetItemText(row, column).utf8_string();
}

void CReportListCtrl::SetGridLines(bool on) {
    SetWindowStyleFlag(on ? GetWindowStyleFlag() | wxLC_HRULES | wxLC_VRULES
                          : GetWindowStyleFlag() & ~(wxLC_HRULES | wxLC_VRULES));
}

void CReportListCtrl::SetCheckboxes(bool on) {
    EnableCheckBoxes(on);
}

CSearchMailDialog::CSearchMailDialog(wxWindow* parent, const std::string& folderName,
                                     const std::string& messageFile, IMessageBox& ui)
    : wxDialog(parent, IDD_SEARCH_MAIL, U("Search Mail"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      m_messageFile(messageFile), m_ui(ui) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* fields = new wxFlexGridSizer(2, wxSize(8, 6));
    fields->AddGrowableCol(1);
    auto label = [&](const char* text, int id) {
        fields->Add(new wxStaticText(this, id, U(text)), 0, wxALIGN_CENTER_VERTICAL);
    };
    label("Folder Name:", IDC_FOLDER_NAME_LABEL);
    fields->Add(new wxStaticText(this, IDC_SEARCH_FOLDER_NAME, U(folderName)), 1, wxEXPAND);
    auto edit = [&](const char* text, int labelId, int id) {
        label(text, labelId);
        auto* box = new wxTextCtrl(this, id);
        fields->Add(box, 1, wxEXPAND);
        return box;
    };
    m_sender = edit("Sender:", IDC_SENDER_LABEL, IDC_SEARCH_SENDER);
    m_receiver = edit("Receiver:", IDC_RECEIVER_LABEL, IDC_SEARCH_RECEIVER);
    m_subject = edit("Subject:", IDC_SUBJECT_LABEL, IDC_SEARCH_SUBJECT);
    m_body = edit("Body:", IDC_BODY_LABEL, IDC_SEARCH_BODY);

    auto* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(fields, 1, wxEXPAND | wxRIGHT, 12);
    auto* buttons = new wxBoxSizer(wxVERTICAL);
    m_searchButton = new wxButton(this, IDC_SEARCH_BUTTON, U("Search"));
    m_stopButton = new wxButton(this, IDC_STOP_BUTTON, U("Stop"));
    m_extractButton = new wxButton(this, IDC_EXTRACT_BUTTON, U("Extract"));
    for (wxButton* b : {m_searchButton, m_stopButton, m_extractButton})
        buttons->Add(b, 0, wxEXPAND | wxBOTTOM, 6);
    top->Add(buttons, 0);
    sizer->Add(top, 0, wxEXPAND | wxALL, 10);

    m_list = new CReportListCtrl(this, IDC_SEARCH_LIST);
    sizer->Add(m_list, 1, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 10);
    m_list->SetColumns(ColumnLayoutFromText(kSearchColumns));
    m_list->SetGridLines(true);
    m_list->SetCheckboxes(true);

    m_stopButton->Disable();
    m_extractButton->Disable();
    m_searchButton->SetDefault();
    m_searchButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnSearch(); });
    m_stopButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { m_search.Stop(); });
    m_extractButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnExtract(); });
    // Closing during a search stops it first; the dialog ends once the search has returned.
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) {
        m_search.Stop();
        if (IsModal())
            EndModal(wxID_CANCEL);
        else
            Hide();
    });

    CloseOnEscape(*this);

    SetSizer(sizer);
    // The list takes what room is left; the window fits a small screen beside the main one.
    SetSize(wxDLG_UNIT(this, wxSize(400, 260)));
    PlaceOverMainWindow(*this);
    TranslateDialog(this, IDD_SEARCH_MAIL);
}

CSearchMailDialog::~CSearchMailDialog() {
    // Copies of private mail do not stay behind in the temporary folder.
    RemoveCopies();
}

void CSearchMailDialog::RemoveCopies() {
    for (const std::string& path : m_copies)
        unlink(path.c_str());
    m_copies.clear();
}

void CSearchMailDialog::OnSearch() {
    if (m_searching) return;
    wxBusyCursor busy;
    m_search.Run(m_messageFile, m_sender->GetValue().utf8_string(), *this, m_ui);
}

void CSearchMailDialog::OnExtract() {
    m_chosen.clear();
    const long rows = m_list->GetItemCount();
    for (long row = 0; row < rows; ++row)
        if (m_list->IsItemChecked(row)) m_chosen.push_back(m_list->GetCell(row, 5));
    if (m_chosen.empty() && rows > 0) {
        // Every hit only when the user says so, knowing how many and where to.
        if (!m_destination.empty() &&
            !m_ui.AskYesNo(ExtractEveryHitQuestion(rows, m_destination), kAppTitle,
                           MessageIcon::Question))
            return;
        for (long row = 0; row < rows; ++row)
            m_chosen.push_back(m_list->GetCell(row, 5));
    }
    m_extractButton->Disable();
    EndModal(wxID_OK);
}

void CSearchMailDialog::DeleteAllRows() {
    m_list->DeleteAllItems();
    RemoveCopies();
}

void CSearchMailDialog::InsertRowAtTop(const MailSearchRow& row) {
    m_copies.push_back(row.tempPath);
    long index = m_list->InsertRow(0, "");
    m_list->SetCell(index, 0, row.sender);
    m_list->SetCell(index, 1, row.subject);
    m_list->SetCell(index, 5, row.tempPath);
}

void CSearchMailDialog::SetSearching(bool searching) {
    m_searching = searching;
    m_stopButton->Enable(searching);
    m_searchButton->Enable(!searching);
    m_extractButton->Enable(!searching);
}

void CSearchMailDialog::PumpMessages() {
    // Stop, painting and the close box get through; Search is disabled meanwhile.
    wxTheApp->Yield(true);
}
