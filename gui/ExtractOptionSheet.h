#pragma once
// The option sheet shown before an extraction: where the attachments go, report and pictures
// only on the first tab; the sub-directory policy and the subject condition on the second. The
// record it fills is built by the core rule in engine/ExtractOptionChoices.h.
#include <string>

#include <wx/dialog.h>

#include "engine/ExtractOptionChoices.h"

class CIEShellTreeView;
class StoreDiscovery;
class wxChoice;
class wxNotebook;
class wxPanel;
class wxStaticText;
class wxTextCtrl;
class wxTreeCtrl;

class CExtractOptionSheet : public wxDialog {
public:
    // The mail folders fill the two trees of the pages the sheet keeps hidden; may be null.
    explicit CExtractOptionSheet(wxWindow* parent, const StoreDiscovery* folders = nullptr);

    // The folder the destination tree selects when the sheet opens.
    void SetStartPath(const std::string& path) { m_startPath = path; }
    // Keeps the caller's record; the controls start from the settings, not from it.
    void SetOptions(const ExtractionOptions& options) { m_options = options; }
    // The caller's record with what the user chose; meaningful after OK.
    void GetOptions(ExtractionOptions& options) const;

    // What the controls held when OK was pressed.
    const ExtractOptionChoices& GetChoices() const { return m_choices; }
    CIEShellTreeView* GetShellTree() const { return m_shellTree; }
    wxNotebook* GetTabs() const { return m_tabs; }

private:
    void BuildMailPage();
    void BuildOptionPage();
    void BuildActionPage();
    void BuildFolderTreePage();
    void OnInit(wxInitDialogEvent& event);
    void OnOk(wxCommandEvent& event);
    void ReadControls();

    const StoreDiscovery* m_folders;
    std::string m_startPath;
    ExtractionOptions m_options;
    ExtractOptionChoices m_choices;

    wxNotebook* m_tabs = nullptr;
    wxPanel* m_mailPage = nullptr;
    wxPanel* m_optionPage = nullptr;
    wxPanel* m_actionPage = nullptr;
    wxPanel* m_folderTreePage = nullptr;
    CIEShellTreeView* m_shellTree = nullptr;
    wxStaticText* m_pathText = nullptr;
    wxChoice* m_condition = nullptr;
    wxTextCtrl* m_keyword = nullptr;
    wxChoice* m_sortKey = nullptr;
    wxChoice* m_action = nullptr;
    wxTreeCtrl* m_actionTree = nullptr;
    wxStaticText* m_areYouSure = nullptr;
};
