#include "gui/ExtractionWizard.h"

#include <wx/checkbox.h>
#include <wx/datectrl.h>
#include <wx/dateevt.h>
#include <wx/menu.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "app/Settings.h"
#include "engine/ExtractionRun.h"
#include "engine/ExtractorClient.h"
#include "gui/DesktopUi.h"
#include "gui/ExpressFolderView.h"
#include "gui/FolderViewHost.h"
#include "gui/LanguageMenus.h"
#include "gui/LongOperation.h"
#include "gui/Menus.h"
#include "gui/Pictures.h"
#include "gui/ShellTreeView.h"
#include "gui/WxProgressWindow.h"
#include "gui/WxText.h"
#include "platform/SeException.h"
#include "platform/UserInterface.h"
#include "res/Resource.h"
#include "store/FolderSelection.h"

using namespace res;

namespace {

wxString U(const std::string& text) {
    return wxString::FromUTF8(text);
}

constexpr int kPictureWidth = 110;

// Every page: the picture on the left, the bold title and the page's text above its controls.
// Returns the sizer the page's own controls go into.
wxSizer* BuildPageFrame(wxWindow* page, const char* text) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    const int height = page->GetSize().GetHeight() > 0 ? page->GetSize().GetHeight() : 300;
    row->Add(new wxStaticBitmap(page, IDB_WIZARD_PICTURE, LoadWizardPicture(kPictureWidth, height - 16)), 0,
             wxALL, 8);
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto* title = new wxStaticText(page, IDC_WIZARD_TITLE,
                                   U("Welcome to the Mail Folders Extraction Wizard"));
    wxFont bold(wxFontInfo(12).Bold().Family(wxFONTFAMILY_SWISS));
    title->SetFont(bold);
    column->Add(title, 0, wxTOP | wxBOTTOM, 8);
    column->Add(new wxStaticText(page, IDC_WIZARD_TEXT, U(text)), 0, wxBOTTOM, 8);
    row->Add(column, 1, wxEXPAND | wxRIGHT, 8);
    page->SetSizer(row);
    return column;
}

// After the language file's texts are in: the title stays bold in the dialog font it may name,
// and the page's texts wrap within the page instead of running out of it.
void FinishPageTexts(wxWindow* page) {
    if (wxWindow* title = page->FindWindow(IDC_WIZARD_TITLE))
        title->SetFont(title->GetFont().Bold());
    const int width = page->GetSize().GetWidth() - kPictureWidth - 40;
    for (int id : {IDC_WIZARD_TITLE, IDC_WIZARD_TEXT, IDC_WIZARD_TEXT2})
        if (auto* text = dynamic_cast<wxStaticText*>(page->FindWindow(id)))
            if (width > 0) text->Wrap(width);
    page->Layout();
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

wxDateTime ToDateTime(std::time_t t) {
    return wxDateTime(static_cast<time_t>(t));
}

// The record a tree item stands for; the tree's item data holds its index.
class RecordIndex : public wxClientData {
public:
    explicit RecordIndex(int index) : index(index) {}
    int index;
};

} // namespace

std::time_t KeepTimeOfDay(std::time_t before, int year, int month, int day) {
    std::tm tm{};
    localtime_r(&before, &tm);
    return LocalTime(year, month, day, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

// ---- Page 1: the mail folders

CWizardFolderPage::CWizardFolderPage(const StoreDiscovery& discovery, IMessageBox& ui)
    : CWizardPage(IDD_WIZARD_FOLDER_PAGE), m_discovery(discovery), m_ui(ui) {}

bool CWizardFolderPage::OnPageCreated() {
    wxSizer* column = BuildPageFrame(
        this, "Please Select the Mail Folders that you want to extract  attachments.");
    m_tree = new wxTreeListCtrl(this, IDC_FOLDER_TREE, wxDefaultPosition, wxDefaultSize,
                                wxTL_CHECKBOX | wxTL_NO_HEADER | wxTL_SINGLE | wxBORDER_SUNKEN);
    m_tree->AssignImageList(LoadFolderImages().release());
    m_tree->AppendColumn(wxString());
    column->Add(m_tree, 1, wxEXPAND | wxBOTTOM, 8);

    // The same shape as the folder pane, each folder item knowing its record.
    m_shape = BuildFolderTree(m_discovery.Folders);
    m_items.assign(m_shape.Items.size(), wxTreeListItem());
    for (std::size_t i = 0; i < m_shape.Items.size(); ++i) {
        const FolderTreeItem& item = m_shape.Items[i];
        wxTreeListItem parent = item.Parent < 0 ? m_tree->GetRootItem()
                                                : m_items[static_cast<std::size_t>(item.Parent)];
        m_items[i] = m_tree->AppendItem(parent, U(item.Text), item.Image, item.Image,
                                        item.Record < 0 ? nullptr : new RecordIndex(item.Record));
    }
    for (const wxTreeListItem& item : m_items)
        m_tree->Expand(item);
    if (!m_shape.Roots.empty()) {
        wxTreeListItem first = m_items[static_cast<std::size_t>(m_shape.Roots.front())];
        m_tree->EnsureVisible(first);
        m_tree->Select(first);
    }

    m_tree->Bind(wxEVT_TREELIST_ITEM_CONTEXT_MENU, [this](wxTreeListEvent&) {
        wxMenu menu;
        menu.Append(WxId(ID_CHECK_ALL), U("Check All"));
        menu.Append(WxId(ID_UNCHECK_ALL), U("UnCheck All"));
        PopupMenu(&menu, m_tree->GetPosition() + wxPoint(160, 30));
    });
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { CheckAll(true); }, WxId(ID_CHECK_ALL));
    Bind(
        wxEVT_MENU, [this](wxCommandEvent&) { CheckAll(false); }, WxId(ID_UNCHECK_ALL));

    Layout();
    TranslateDialog(this, IDD_WIZARD_FOLDER_PAGE);
    FinishPageTexts(this);
    return true;
}

wxTreeListItem CWizardFolderPage::ItemOfRecord(int record) const {
    for (std::size_t i = 0; i < m_shape.Items.size(); ++i)
        if (m_shape.Items[i].Record == record) return m_items[i];
    return {};
}

void CWizardFolderPage::CheckAll(bool check) {
    for (int root : m_shape.Roots)
        m_tree->CheckItemRecursively(m_items[static_cast<std::size_t>(root)],
                                     check ? wxCHK_CHECKED : wxCHK_UNCHECKED);
}

int CWizardFolderPage::OnWizardNext() {
    if (m_shape.Roots.empty()) {
        m_ui.ShowMessage(kChooseFolderMessage);
        return -1;
    }
    // The first folder always counts, so one more must be checked to go on.
    m_tree->CheckItem(m_items[static_cast<std::size_t>(m_shape.Roots.front())]);
    m_chosen.clear();
    int checked = 0;
    for (int index : LevelOrder(m_shape)) {
        const wxTreeListItem& item = m_items[static_cast<std::size_t>(index)];
        if (m_tree->GetCheckedState(item) != wxCHK_CHECKED) continue;
        ++checked;
        const int record = m_shape.Items[static_cast<std::size_t>(index)].Record;
        const FolderRecord* folder =
            record < 0 ? nullptr : &m_discovery.Folders[static_cast<std::size_t>(record)];
        m_chosen.emplace_back(m_shape.Items[static_cast<std::size_t>(index)].Text,
                              FolderMailboxPath(folder));
    }
    if (checked < 2) {
        m_ui.ShowMessage(kChooseFolderMessage);
        return -1;
    }
    return 0;
}

// ---- Page 2: the destination

CWizardDestinationPage::CWizardDestinationPage(IMessageBox& ui)
    : CWizardPage(IDD_WIZARD_DESTINATION_PAGE), m_ui(ui) {}

bool CWizardDestinationPage::OnPageCreated() {
    wxSizer* column =
        BuildPageFrame(this, "Please Select the Destination that you want to store  attachments.");
    m_shellTree = new CIEShellTreeView(this, IDC_DESTINATION_TREE);
    column->Add(m_shellTree, 1, wxEXPAND | wxBOTTOM, 6);
    auto* pathRow = new wxBoxSizer(wxHORIZONTAL);
    pathRow->Add(new wxStaticText(this, IDC_WIZARD_PATH_LABEL, U("Path:")), 0, wxRIGHT, 6);
    m_pathText = new wxStaticText(this, IDC_DESTINATION_PATH, U("Path"), wxDefaultPosition,
                                  wxDefaultSize, wxST_ELLIPSIZE_MIDDLE | wxST_NO_AUTORESIZE);
    pathRow->Add(m_pathText, 1);
    column->Add(pathRow, 0, wxEXPAND | wxBOTTOM, 8);
    m_shellTree->SetSelectionHandler([this](const std::string& path) {
        m_path = path;
        m_pathText->SetLabel(U(path));
        m_pathText->SetToolTip(U(path));
    });
    Layout();
    TranslateDialog(this, IDD_WIZARD_DESTINATION_PAGE);
    FinishPageTexts(this);
    // The tree is filled once the window is shown; the last folder is selected after that.
    const std::string last = TheSettings().LastFileFolder;
    CallAfter([this, last] {
        if (!last.empty()) m_shellTree->SelectFolder(last);
    });
    return true;
}

bool CWizardDestinationPage::OnWizardFinish() {
    if (!m_path.empty()) return true;
    m_ui.ShowMessage(Tr(res::TextId::ChooseWizardDestination), kAppTitle, MessageIcon::Warning);
    return false;
}

// ---- Page 3: the period and the kind of attachments

CWizardDurationPage::CWizardDurationPage() : CWizardPage(IDD_WIZARD_DURATION_PAGE) {}

bool CWizardDurationPage::OnPageCreated() {
    m_start = LocalTime(2000, 1, 25, 0, 0, 0);
    m_end = std::time(nullptr);
    m_choice = 0;

    wxSizer* column =
        BuildPageFrame(this, "Please select the duration of the mails that you want to extract.");
    auto* durationBox = new wxStaticBox(this, IDC_DURATION_GROUP, U("Duration"));
    auto* duration = new wxStaticBoxSizer(durationBox, wxVERTICAL);
    auto* grid = new wxFlexGridSizer(2, wxSize(8, 6));
    auto picker = [&](const char* label, int labelId, int id, std::time_t value) {
        grid->Add(new wxStaticText(durationBox, labelId, U(label)), 0, wxALIGN_CENTER_VERTICAL);
        auto* p = new wxDatePickerCtrl(durationBox, id, ToDateTime(value), wxDefaultPosition,
                                       wxDefaultSize, wxDP_DROPDOWN | wxDP_SHOWCENTURY);
        grid->Add(p, 0);
        return p;
    };
    m_startPicker = picker("Start Date:", IDC_START_LABEL, IDC_START_DATE, m_start);
    m_endPicker = picker("End Date:", IDC_END_LABEL, IDC_END_DATE, m_end);
    duration->Add(grid, 0, wxALL, 6);
    column->Add(duration, 0, wxEXPAND | wxBOTTOM, 8);

    column->Add(new wxStaticText(this, IDC_WIZARD_TEXT2,
                                 U("Please select the attachments' file types that you want to "
                                   "extract.")),
                0, wxBOTTOM, 8);
    auto* typeBox = new wxStaticBox(this, IDC_DOCTYPE_GROUP, U("DocType"));
    auto* types = new wxStaticBoxSizer(typeBox, wxVERTICAL);
    const char* labels[3] = {"Extract Only Pictures ( JPG, GIF, BMP, ...)",
                             "Extract Only Documents ( DOC, PDF, PPT, ...)",
                             "Extract All Attachments"};
    const int ids[3] = {IDC_ONLY_PICTURES_RADIO, IDC_ONLY_DOCUMENTS_RADIO,
                        IDC_ALL_ATTACHMENTS_RADIO};
    for (int i = 0; i < 3; ++i) {
        m_radios[i] = new wxRadioButton(typeBox, ids[i], U(labels[i]), wxDefaultPosition,
                                        wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
        types->Add(m_radios[i], 0, wxALL, 4);
    }
    m_radios[m_choice]->SetValue(true);
    column->Add(types, 0, wxEXPAND | wxBOTTOM, 8);
    m_newOnly = TheSettings().WizardNewMailOnly != 0;
    m_newOnlyBox = new wxCheckBox(this, IDC_WIZARD_NEW_MAIL_ONLY,
                                  U("Only Mail Not Extracted into the Destination Before"));
    m_newOnlyBox->SetValue(m_newOnly);
    column->Add(m_newOnlyBox, 0, wxBOTTOM, 8);
    Layout();
    TranslateDialog(this, IDD_WIZARD_DURATION_PAGE);
    FinishPageTexts(this);
    return true;
}

bool CWizardDurationPage::OnWizardFinish() {
    // The pickers hold days; each limit keeps its time of day.
    auto read = [](wxDatePickerCtrl* picker, std::time_t before) {
        wxDateTime d = picker->GetValue();
        if (!d.IsValid()) return before;
        return KeepTimeOfDay(before, d.GetYear(), d.GetMonth() + 1, d.GetDay());
    };
    m_start = read(m_startPicker, m_start);
    m_end = read(m_endPicker, m_end);
    for (int i = 0; i < 3; ++i)
        if (m_radios[i]->GetValue()) m_choice = i;
    m_newOnly = m_newOnlyBox->GetValue();
    TheSettings().WizardNewMailOnly = m_newOnly ? 1 : 0;
    return true;
}

// ---- The command

void RunExtractionWizard(wxWindow& parent, CExpressFolderView* view, IFolderViewHost& host) {
    if (!view) return;
    CWxMessageBox messageBox(&parent);
    IMessageBox& ui = messageBox;
    CWizardDialog wizard(&parent, IDD_WIZARD, U("Wizard"), wxSize(324, 193));
    auto* folders = new CWizardFolderPage(view->GetStoreDiscovery(), ui);
    auto* destination = new CWizardDestinationPage(ui);
    auto* duration = new CWizardDurationPage;
    wizard.AddPage(folders, IDD_WIZARD_FOLDER_PAGE);
    wizard.AddPage(destination, IDD_WIZARD_DESTINATION_PAGE);
    wizard.AddPage(duration, IDD_WIZARD_DURATION_PAGE);
    wizard.Start();
    if (wizard.ShowModal() != CWizardDialog::kFinished) return;

    WizardRequest request;
    request.Destination = destination->GetPath();
    request.EndTime = duration->GetEndTime();
    request.StartTime = duration->GetStartTime();
    request.FileTypeChoice = duration->GetFileTypeChoice();
    request.NewOnly = duration->GetNewOnly();
    const WizardFolderList chosen = folders->GetChosenFolders();
    wizard.Hide();

    CExtractorClient* client = view->GetExtractorClient();
    if (!client) return;
    host.EnableFileListUpdates(false);
    try {
        CLongOperation running;
        CWxProgressWindow progress(view, Tr(res::TextId::ProgressTitle), true);
        RunProblems problems;
        std::vector<std::string> nothingNew;
        WizardContext context{*client, progress, ui, TheSettings(), &problems, &nothingNew};
        RunWizardExtraction(request, chosen, context);
        std::string names;
        for (const std::string& name : nothingNew)
            names += (names.empty() ? "" : ", ") + name;
        if (!names.empty()) ui.ShowMessage(Tr(res::TextId::NoNewMailInFolders, {names}));
        std::string said;
        for (const std::string& line : DescribeRunProblems(problems, request.Destination))
            said += (said.empty() ? "" : "\n") + line;
        if (!said.empty()) ui.ShowMessage(said, kAppTitle, MessageIcon::Error);
    } catch (const CSeException& e) {
        ui.ShowMessage(e.GetDescription());
    } catch (const std::exception& e) {
        ui.ShowMessage(e.what(), kAppTitle, MessageIcon::Error);
    }
    host.EnableFileListUpdates(true);
    host.SelectDestinationFolder(request.Destination);
    host.RefreshFileList();
}
