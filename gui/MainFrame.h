#pragma once
// The main window: menu, tool bar, status bar, the caption bar with the destination combo, and
// three panes side by side: the mail folders, the destination folder tree, its file list.
#include <functional>
#include <memory>
#include <set>
#include <string>

#include <wx/aui/framemanager.h>
#include <wx/frame.h>
#include <wx/timer.h>

#include "gui/CmdTarget.h"
#include "gui/FolderViewHost.h"

class CExpressFolderView;
class CIEShellListView;
class CIEShellTreeView;
class wxAuiToolBar;
class wxButton;
class wxComboBox;
class wxSplitterWindow;
class wxStaticText;

class CMainFrame : public wxFrame, public CCmdTarget, public IFolderViewHost {
public:
    // Makes the window that takes pane (0,0) and says which folder view it is (or none).
    using FolderPaneFactory = std::function<wxWindow*(wxWindow* parent, CExpressFolderView*& view)>;
    static void SetFolderPaneFactory(FolderPaneFactory factory);

    CMainFrame();
    ~CMainFrame() override;

    // Frame operations the runs use.
    CExpressFolderView* GetFolderView() const { return m_folderView; }
    std::string GetDestinationFolder() const override;
    void ShowDestination(const std::string& path = {});
    void SelectDestinationFolder(const std::string& path) override;
    // A folder typed or chosen in the destination box: goes there, or says it is not there.
    void GoToDestination(const std::string& typed);
    void EnableFileListUpdates(bool enable) override;
    void RefreshFileList() override;
    void ShowStatusText(const std::string& text) override;

    wxWindow* GetPane(int column) const { return m_panes[column]; }
    wxWindow* GetActivePane() const { return m_activePane; }
    void SetActivePane(wxWindow* pane);
    CIEShellTreeView* GetDestinationTree() const { return m_tree; }
    CIEShellListView* GetFileList() const { return m_list; }
    wxComboBox* GetDestinationCombo() const { return m_destinationCombo; }
    wxSplitterWindow* GetSplitter() const { return m_splitter; }
    // The tool bar, and the dock manager that places it on a side of the frame or floating.
    wxAuiToolBar* GetMainToolBar() const { return m_toolBar; }
    wxAuiManager& GetDockManager() { return m_dock; }

    // Activation: the title with the identity, and the first time the destination tree's
    // starting folder. Runs on the window system's activation and when the program shows the
    // frame, whichever comes first.
    void HandleActivation();
    bool IsFirstActivationDone() const { return m_firstActivationDone; }

    // Passes a command along the routing: the active pane, the frame, the application.
    bool RouteCommand(wxCommandEvent& event);
    // Works out the enabled state of a command the same way.
    void RouteUpdate(wxUpdateUIEvent& event);
    // The status-bar text for a command (the prompt lookup).
    void ShowPrompt(int id);
    void ShowIdleText();

private:
    void PlaceOnScreen();
    void BuildMenuBar();
    void BuildStatusBar();
    void BuildClientArea();
    void BuildCaptionBar(wxWindow* parent, wxSizer* sizer);
    void BuildPanes(wxWindow* parent, wxSizer* sizer);
    // The widths of the folder pane and the destination tree: as left last time, else wide
    // enough for the folder pane's title.
    void RestorePaneWidths();
    void KeepPaneWidths();
    void InstallLanguage();
    // The texts of the frame's own windows (the tool bar, the caption bar, the panes) in the
    // current language.
    void ShowTexts();
    void AddFrameCommands();
    void BindCommandRouting();
    void BindWindowEvents();
    void OnPreference();
    void LaunchMailProgram();
    void UpdateIndicators();
    bool IsCommandId(int id) const;
    // A close asked for during a long operation happens once the last one is over.
    void CloseIfPending();

    wxAuiManager m_dock;
    wxAuiToolBar* m_toolBar = nullptr;
    wxSplitterWindow* m_splitter = nullptr;
    wxSplitterWindow* m_innerSplitter = nullptr;
    wxComboBox* m_destinationCombo = nullptr;
    wxButton* m_tutorialButton = nullptr;
    wxStaticText* m_destinationLabel = nullptr;
    std::string m_destinationText;
    bool m_firstActivationDone = false;
    wxWindow* m_panes[3] = {nullptr, nullptr, nullptr};
    wxWindow* m_activePane = nullptr;
    CExpressFolderView* m_folderView = nullptr;
    CIEShellTreeView* m_tree = nullptr;
    CIEShellListView* m_list = nullptr;
    std::set<int> m_commandIds;
    wxTimer m_indicatorTimer;
    bool m_closePending = false;
};

// The frame of the running program, if there is one.
CMainFrame* TheMainFrame();
