#pragma once
// The left pane: the mail folders of the store as a tree, the folder commands on a right click.
// The tree's shape comes from the core (store/FolderTree.h); this window only shows it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <wx/imaglist.h>
#include <wx/panel.h>
#include <wx/treectrl.h>

#include "engine/ExpressStoreAccess.h"
#include "gui/CmdTarget.h"
#include "store/FolderTree.h"
#include "store/StoreDiscovery.h"

class CExtractorClient;
class IFolderViewHost;
class IMessageBox;
class wxMenu;
class wxStaticText;

inline constexpr const char* kNoFoldersMessage = "Can't Find Windows Live Mail Folders!!";

class CExpressFolderView : public wxPanel, public CCmdTarget {
public:
    // Finds the store, fills the tree and creates the extractor client. Messages go through ui
    // (the desktop's message boxes when null).
    explicit CExpressFolderView(wxWindow* parent, IMessageBox* ui = nullptr);
    ~CExpressFolderView() override;

    // The window around the view (the main frame); until it is set, the commands work without
    // destination panes.
    void SetHost(IFolderViewHost* host) { m_host = host; }
    // The commands of the view's context menu, which it alone enables.
    static bool IsFolderCommand(unsigned id);

    std::string GetSelectedFolderPath();
    std::string GetSelectedFolderName();
    std::uint32_t GetSelectedFolderId();
    StoreDiscovery& GetStoreDiscovery() { return m_discovery; }
    CExtractorClient* GetExtractorClient() { return m_extractor.get(); }

    wxTreeCtrl* GetTree() const { return m_tree; }
    const FolderTree& GetFolderTree() const { return m_folderTree; }
    // The record of an item; null for a connecting item.
    const FolderRecord* GetItemRecord(const wxTreeItemId& item) const;

    // The context menu at a screen point; at wxDefaultPosition (from the keyboard) for the
    // selected folder.
    void ShowContextMenu(const wxPoint& screenPoint);

    // Shows a pop-up menu and returns the chosen command (0 for none). Tests put their own here
    // to answer the menu without a mouse; the default tracks it on the screen.
    using MenuTracker =
        std::function<int(CExpressFolderView& view, wxMenu& menu, const wxPoint& clientPoint)>;
    static void SetMenuTracker(MenuTracker tracker);

    // Finds the store again (after the mailbox path changed) and fills the tree anew.
    void ReloadStore();
    // The pane's title in the current language.
    void ShowTexts();

    // Extract Attachments: the option sheet, then the run over the selected folder.
    void OnExtractAttachments();
    // Extract Attachments Safely: every attachment of the selected folder of a store kept as
    // .dbx files, through the store component, into the destination.
    void OnExtractSafely();
    // The message dialog on the selected folder of such a store.
    void OnExpressMessages();
    // The view's own store namespace; none when the component could not be started.
    platform::IStoreNamespace* GetStoreNamespace() const { return m_storeNamespace.Get(); }
    // Save Messages as eml: every message of the selected folder's message file, as its own
    // file in the destination folder.
    void OnSaveMessagesAsEml();
    // Recover Messages as eml: the same, and then the messages a damaged index no longer
    // reaches, found by scanning the file; the end message says how many came from each.
    void OnRecoverMessagesAsEml();
    // Search Mail by Sender: the search dialog on the selected folder; its Extract runs the
    // extraction over the messages it lists.
    void OnSearchMail();
    // Why a folder command cannot work on the selected item; empty when it can.
    std::string DisabledReason(unsigned commandId) const override;

private:
    void BuildPanes();
    void AddFolderCommands();
    void BindTreeEvents();
    std::string Destination() const;
    void ShowStatusText(const std::string& text);
    void FillTree();
    void SaveMessages(bool recover);
    void OnContextMenu(wxContextMenuEvent& event);
    const FolderRecord* SelectedRecord(bool& selected) const;

    IMessageBox* m_ui;
    IFolderViewHost* m_host = nullptr;
    std::unique_ptr<IMessageBox> m_ownUi;
    std::unique_ptr<wxImageList> m_images;
    wxWindow* m_outlookBar = nullptr;
    wxStaticText* m_paneTitle = nullptr;
    wxTreeCtrl* m_tree = nullptr;
    StoreDiscovery m_discovery;
    FolderTree m_folderTree;
    std::unique_ptr<CExtractorClient> m_extractor;
    CStoreRef<platform::IStoreNamespace> m_storeNamespace;
};

inline constexpr const char* kExtractSafelyQuestion = "Are you want to extract all attachments to ";
