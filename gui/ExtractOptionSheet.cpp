#include "gui/ExtractOptionSheet.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include "app/Settings.h"
#include "gui/FolderTreeItems.h"
#include "gui/LanguageMenus.h"
#include "gui/Pictures.h"
#include "gui/ShellTreeView.h"
#include "gui/WxText.h"
#include "res/Resource.h"
#include "store/StoreDiscovery.h"

using namespace res;

namespace {

template <std::size_t N> wxArrayString Entries(const char* const (&texts)[N]) {
    wxArrayString out;
    for (const char* t : texts)
        out.Add(Wx(t));
    return out;
}

template <std::size_t N> wxArrayString Entries(const res::TextId (&texts)[N]) {
    wxArrayString out;
    for (res::TextId t : texts)
        out.Add(WxTr(t));
    return out;
}

// A titled group whose box is the parent of its controls, as the window system expects.
wxStaticBoxSizer* Group(wxWindow* parent, int id, const char* title) {
    auto* box = new wxStaticBox(parent, id, Wx(title));
    return new wxStaticBoxSizer(box, wxVERTICAL);
}

template <typename T> T* Control(wxWindow* parent, int id) {
    return dynamic_cast<T*>(wxWindow::FindWindowById(id, parent));
}

} // namespace

CExtractOptionSheet::CExtractOptionSheet(wxWindow* parent, const StoreDiscovery* folders)
    : wxDialog(parent, IDD_EXTRACT_OPTION_SHEET, Wx("Attachment Extractor"), wxDefaultPosition,
               wxDefaultSize, wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      m_folders(folders) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    m_tabs = new wxNotebook(this, IDC_OPTION_TABS);
    sizer->Add(m_tabs, 1, wxEXPAND | wxALL, 8);

    BuildMailPage();
    BuildFolderTreePage();
    BuildOptionPage();
    BuildActionPage();
    m_tabs->AddPage(m_mailPage, Wx("Mail Extraction"), true);
    m_tabs->AddPage(m_optionPage, Wx("Extraction Option"));

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    auto* ok = new wxButton(this, IDOK_BUTTON, Wx("OK"));
    auto* cancel = new wxButton(this, IDCANCEL_BUTTON, Wx("Cancel"));
    buttons->Add(ok, 0, wxRIGHT, 8);
    buttons->Add(cancel, 0);
    sizer->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
    ok->SetDefault();
    SetEscapeId(IDCANCEL_BUTTON);
    ok->Bind(wxEVT_BUTTON, &CExtractOptionSheet::OnOk, this);
    cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CANCEL); });

    SetSizer(sizer);
    SetMinSize(wxDLG_UNIT(this, wxSize(259, 207)));
    Fit();
    Centre();
    Bind(wxEVT_INIT_DIALOG, &CExtractOptionSheet::OnInit, this);
}

void CExtractOptionSheet::BuildMailPage() {
    m_mailPage = new wxPanel(m_tabs, IDD_MAIL_EXTRACTION_PAGE);
    auto* page = new wxBoxSizer(wxVERTICAL);

    wxStaticBoxSizer* destination = Group(m_mailPage, IDC_DESTINATION_GROUP, "Destination");
    wxWindow* box = destination->GetStaticBox();
    m_shellTree = new CIEShellTreeView(box, IDC_DESTINATION_TREE);
    m_shellTree->SetMinSize(wxSize(-1, 180));
    destination->Add(m_shellTree, 1, wxEXPAND | wxALL, 4);
    auto* pathRow = new wxBoxSizer(wxHORIZONTAL);
    pathRow->Add(new wxStaticText(box, wxID_ANY, Wx("Path:")), 0, wxRIGHT, 6);
    m_pathText = new wxStaticText(box, IDC_DESTINATION_PATH, Wx("Path"), wxDefaultPosition,
                                  wxDefaultSize, wxST_ELLIPSIZE_MIDDLE);
    pathRow->Add(m_pathText, 1);
    destination->Add(pathRow, 0, wxEXPAND | wxALL, 4);
    page->Add(destination, 1, wxEXPAND | wxALL, 6);

    page->Add(new wxCheckBox(m_mailPage, IDC_SHOW_REPORT, Wx("Show Extraction Report")), 0,
              wxLEFT | wxRIGHT | wxTOP, 8);
    page->Add(new wxCheckBox(m_mailPage, IDC_ONLY_PICTURES, Wx("Extract Only Photos/Images")), 0,
              wxLEFT | wxRIGHT | wxTOP, 8);
    page->Add(new wxCheckBox(m_mailPage, IDC_NEW_MAIL_ONLY,
                             Wx("Only Mail Not Extracted into this Folder Before")),
              0, wxALL, 8);
    m_mailPage->SetSizer(page);

    m_shellTree->SetSelectionHandler([this](const std::string& path) {
        m_choices.ChosenPath = path;
        m_pathText->SetLabel(Wx(path));
        m_pathText->SetToolTip(Wx(path));
    });
}

void CExtractOptionSheet::BuildOptionPage() {
    m_optionPage = new wxPanel(m_tabs, IDD_EXTRACTION_OPTION_PAGE);
    auto* page = new wxBoxSizer(wxVERTICAL);

    wxStaticBoxSizer* subDirs = Group(m_optionPage, IDC_SUBDIR_GROUP, "Sub-Directory Creation");
    wxWindow* box = subDirs->GetStaticBox();
    const struct {
        int id;
        const char* text;
        bool visible;
    } radios[] = {
        {IDC_NO_SUBDIR, "Not Create Any Sub-Directory", true},
        {IDC_FOLDER_SUBDIR, "Use Live Mail Folder's Name as Sub-Directory", true},
        {IDC_EXTENSION_SUBDIR, "Use Attachments' Extension Name as Sub-Directory", false},
        {IDC_SENDER_SUBDIR, "Use Sender's Name as Sub-Directory", false},
    };
    for (const auto& r : radios) {
        auto* radio = new wxRadioButton(box, r.id, Wx(r.text), wxDefaultPosition, wxDefaultSize,
                                        r.id == IDC_NO_SUBDIR ? wxRB_GROUP : 0);
        subDirs->Add(radio, 0, wxALL, 4);
        if (!r.visible) radio->Hide();
    }
    page->Add(subDirs, 0, wxEXPAND | wxALL, 6);

    wxStaticBoxSizer* condition = Group(m_optionPage, IDC_CONDITION_GROUP,
                                        "Extract Mails that Only Satisfy Following Condition");
    box = condition->GetStaticBox();
    m_condition = new wxChoice(box, IDC_CONDITION, wxDefaultPosition, wxDefaultSize,
                               Entries(kConditionEntries));
    condition->Add(m_condition, 0, wxEXPAND | wxALL, 4);
    m_keyword = new wxTextCtrl(box, IDC_CONDITION_KEYWORD);
    m_keyword->SetMaxLength(kMaxConditionKeyword);
    condition->Add(m_keyword, 0, wxEXPAND | wxALL, 4);
    page->Add(condition, 0, wxEXPAND | wxALL, 6);
    m_condition->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        m_keyword->Enable(KeywordEnabled(m_condition->GetSelection()));
    });

    wxStaticBoxSizer* sorting = Group(m_optionPage, IDC_SORT_GROUP, "Sorting Mail According To");
    box = sorting->GetStaticBox();
    m_sortKey =
        new wxChoice(box, IDC_SORT_KEY, wxDefaultPosition, wxDefaultSize, Entries(kSortKeyEntries));
    sorting->Add(m_sortKey, 0, wxEXPAND | wxALL, 4);
    sorting->Add(new wxCheckBox(box, IDC_ASCENDING, Wx("Ascending Order")), 0, wxALL, 4);
    page->Add(sorting, 0, wxEXPAND | wxALL, 6);
    page->Show(sorting, false);

    m_optionPage->SetSizer(page);
}

void CExtractOptionSheet::BuildActionPage() {
    m_actionPage = new wxPanel(this, IDD_ACTION_PAGE);
    auto* page = new wxBoxSizer(wxVERTICAL);
    wxStaticBoxSizer* action = Group(m_actionPage, IDC_ACTION_GROUP, "Action");
    wxWindow* box = action->GetStaticBox();
    m_action =
        new wxChoice(box, IDC_ACTION, wxDefaultPosition, wxDefaultSize, Entries(kActionEntries));
    action->Add(m_action, 0, wxEXPAND | wxALL, 4);
    action->Add(new wxStaticText(box, wxID_ANY, Wx("Move Extracted Mail to:")), 0, wxALL, 4);
    m_actionTree = new wxTreeCtrl(box, IDC_ACTION_TREE, wxDefaultPosition, wxDefaultSize,
                                  wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_HIDE_ROOT);
    m_actionTree->AssignImageList(LoadFolderImages().release());
    if (m_folders) AppendFolderTree(*m_actionTree, BuildFolderTree(m_folders->Folders));
    m_actionTree->Disable();
    action->Add(m_actionTree, 1, wxEXPAND | wxALL, 4);
    m_areYouSure = new wxStaticText(box, IDC_ARE_YOU_SURE, Wx("Are You Sure?"));
    m_areYouSure->Hide();
    action->Add(m_areYouSure, 0, wxALL, 4);
    page->Add(action, 1, wxEXPAND);
    m_actionPage->SetSizer(page);
    m_action->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        int sel = m_action->GetSelection();
        m_actionTree->Enable(sel == 1);
        m_areYouSure->Show(sel == 2);
    });
    m_actionPage->Hide();
}

void CExtractOptionSheet::BuildFolderTreePage() {
    m_folderTreePage = new wxPanel(this, IDD_FOLDER_TREE_PAGE);
    auto* tree = new wxTreeCtrl(m_folderTreePage, IDC_FOLDER_TREE, wxDefaultPosition, wxDefaultSize,
                                wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_HIDE_ROOT);
    if (m_folders) AppendFolderTree(*tree, BuildFolderTree(m_folders->Folders));
    m_folderTreePage->Hide();
}

void CExtractOptionSheet::OnInit(wxInitDialogEvent& event) {
    // Every use starts from the settings and the first entries, whatever the last use chose.
    ExtractOptionChoices initial = InitialChoices(TheSettings());
    Control<wxCheckBox>(m_mailPage, IDC_SHOW_REPORT)->SetValue(initial.ShowReport);
    Control<wxCheckBox>(m_mailPage, IDC_ONLY_PICTURES)->SetValue(initial.PicturesOnly);
    Control<wxCheckBox>(m_mailPage, IDC_NEW_MAIL_ONLY)->SetValue(initial.NewOnly);
    Control<wxRadioButton>(m_optionPage, IDC_NO_SUBDIR)->SetValue(true);
    m_sortKey->SetSelection(0);
    m_condition->SetSelection(0);
    m_keyword->Disable();
    m_action->SetSelection(0);
    m_choices.ChosenPath.clear();

    // Asked for after the sheet is up, so the tree has its size when it scrolls to the folder.
    CallAfter([this] {
        if (!m_startPath.empty()) m_shellTree->SelectFolder(m_startPath);
    });
    TranslateDialog(this, IDD_EXTRACT_OPTION_SHEET);
    event.Skip();
}

void CExtractOptionSheet::ReadControls() {
    m_choices.ShowReport = Control<wxCheckBox>(m_mailPage, IDC_SHOW_REPORT)->GetValue();
    m_choices.PicturesOnly = Control<wxCheckBox>(m_mailPage, IDC_ONLY_PICTURES)->GetValue();
    m_choices.NewOnly = Control<wxCheckBox>(m_mailPage, IDC_NEW_MAIL_ONLY)->GetValue();
    m_choices.NoSubDirectory = Control<wxRadioButton>(m_optionPage, IDC_NO_SUBDIR)->GetValue();
    m_choices.FolderNameSubDirectory =
        Control<wxRadioButton>(m_optionPage, IDC_FOLDER_SUBDIR)->GetValue();
    m_choices.ExtensionSubDirectory =
        Control<wxRadioButton>(m_optionPage, IDC_EXTENSION_SUBDIR)->GetValue();
    m_choices.SenderSubDirectory =
        Control<wxRadioButton>(m_optionPage, IDC_SENDER_SUBDIR)->GetValue();
    m_choices.Action = m_action->GetSelection();
    m_choices.SortKeyText = Utf8(m_sortKey->GetStringSelection());
    m_choices.Ascending = Control<wxCheckBox>(m_optionPage, IDC_ASCENDING)->GetValue();
    m_choices.Condition = std::max(0, m_condition->GetSelection());
    m_choices.ConditionKeyword = Utf8(m_keyword->GetValue());
}

void CExtractOptionSheet::OnOk(wxCommandEvent&) {
    ReadControls();
    RememberChoices(m_choices, TheSettings());
    EndModal(wxID_OK);
}

void CExtractOptionSheet::GetOptions(ExtractionOptions& options) const {
    options = m_options;
    FillExtractionOptions(m_choices, m_startPath, options);
}
