#pragma once
// The extraction wizard: the mail folders to run (a tree with check boxes), the destination
// folder, and the period and kind of attachments; Finish runs the wizard's extraction over the
// chosen folders with a top report that links each folder's report.
#include <ctime>
#include <string>
#include <vector>

#include <wx/treelist.h>

#include "engine/WizardRun.h"
#include "gui/WizardDialog.h"
#include "store/FolderTree.h"
#include "store/StoreDiscovery.h"

class wxCheckBox;
class CIEShellTreeView;
class CExpressFolderView;
class IFolderViewHost;
class IMessageBox;
class wxDatePickerCtrl;
class wxRadioButton;
class wxStaticText;

inline constexpr const char* kChooseFolderMessage = "You must choose one mail folder at least!!";

// Page 1: the mail folders, checked to be run.
class CWizardFolderPage : public CWizardPage {
public:
    CWizardFolderPage(const StoreDiscovery& discovery, IMessageBox& ui);

    bool OnPageCreated() override;
    // Collects the checked folders; stays on the page unless one besides the first is checked.
    int OnWizardNext() override;

    void CheckAll(bool check);
    const WizardFolderList& GetChosenFolders() const { return m_chosen; }
    wxTreeListCtrl* GetTree() const { return m_tree; }
    // The tree's item for a folder record's index in the copied list.
    wxTreeListItem ItemOfRecord(int record) const;

private:
    StoreDiscovery m_discovery;
    IMessageBox& m_ui;
    FolderTree m_shape;
    std::vector<wxTreeListItem> m_items; // by the shape's item index
    WizardFolderList m_chosen;
    wxTreeListCtrl* m_tree = nullptr;
};

// Page 2: the destination folder.
class CWizardDestinationPage : public CWizardPage {
public:
    explicit CWizardDestinationPage(IMessageBox& ui);
    bool OnPageCreated() override;
    // An empty destination is refused: the top report would land wherever the program runs.
    bool OnWizardFinish() override;
    const std::string& GetPath() const { return m_path; }
    CIEShellTreeView* GetShellTree() const { return m_shellTree; }

private:
    IMessageBox& m_ui;
    std::string m_path;
    CIEShellTreeView* m_shellTree = nullptr;
    wxStaticText* m_pathText = nullptr;
};

// Page 3: the period and the kind of attachments.
class CWizardDurationPage : public CWizardPage {
public:
    CWizardDurationPage();
    bool OnPageCreated() override;
    bool OnWizardFinish() override;
    std::time_t GetStartTime() const { return m_start; }
    std::time_t GetEndTime() const { return m_end; }
    int GetFileTypeChoice() const { return m_choice; }
    bool GetNewOnly() const { return m_newOnly; }

private:
    std::time_t m_start = 0;
    std::time_t m_end = 0;
    int m_choice = 0;
    wxDatePickerCtrl* m_startPicker = nullptr;
    wxDatePickerCtrl* m_endPicker = nullptr;
    wxRadioButton* m_radios[3] = {nullptr, nullptr, nullptr};
    bool m_newOnly = false;
    wxCheckBox* m_newOnlyBox = nullptr;
};

// The frame's wizard command: the wizard over the folder view's store, then, after Finish, the
// run; the host's destination panes follow it.
void RunExtractionWizard(wxWindow& parent, CExpressFolderView* view, IFolderViewHost& host);
// The period's limit: the day picked, at the time of day the value had before.
std::time_t KeepTimeOfDay(std::time_t before, int year, int month, int day);
