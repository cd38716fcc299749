#pragma once
// The destination file list: the files of one folder with name, size, type and date. It
// re-reads the folder when it changes on disk, unless updates are switched off.
#include <functional>
#include <string>
#include <vector>

#include <wx/listctrl.h>
#include <wx/timer.h>

#include "gui/CmdTarget.h"
#include "platform/FileSystem.h"

class CIEShellListView : public wxListCtrl, public CCmdTarget {
public:
    enum Column { kName, kSize, kType, kDate };

    CIEShellListView(wxWindow* parent, wxWindowID id);

    void ShowFolder(const std::string& folder);
    // Called for a folder the user opens in the list (a double click, Enter).
    void SetFolderOpener(std::function<void(const std::string&)> opener) {
        m_folderOpener = std::move(opener);
    }
    const std::string& GetFolder() const { return m_folder; }
    // Off while a run writes into the folder, so the list does not churn; on again afterwards.
    void EnableUpdates(bool enable);
    bool UpdatesEnabled() const { return m_updates; }
    // Re-reads the folder now.
    void RefreshList();
    // The headings and the type names in the current language.
    void ShowTexts();
    // Looks at the folder on disk and re-reads it when it changed.
    void CheckForChanges();

    // Sorts by the column (folders stay first), as a click on its heading does.
    void SortBy(Column column, bool ascending);
    Column GetSortColumn() const { return m_sortColumn; }
    bool IsAscending() const { return m_ascending; }

    // Texts as the list shows them.
    static std::string FormatSize(std::uint64_t bytes);
    static std::string TypeName(const platform::DirEntry& entry);

private:
    std::string Signature(const std::vector<platform::DirEntry>& entries) const;
    void Fill(const std::vector<platform::DirEntry>& entries);

    std::string m_folder;
    std::function<void(const std::string&)> m_folderOpener;
    std::string m_shown; // signature of what the list shows
    bool m_updates = true;
    Column m_sortColumn = kName;
    bool m_ascending = true;
    wxTimer m_watch;
};
