#include "gui/ShellListView.h"

#include <iterator>

#include <ctime>

#include "gui/WxText.h"
#include "app/FileListOrder.h"
#include "gui/DesktopOpener.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/Text.h"

namespace {
// How often the folder is looked at for changes made by other programs.
constexpr int kWatchMilliseconds = 1000;
} // namespace

CIEShellListView::CIEShellListView(wxWindow* parent, wxWindowID id)
    : wxListCtrl(parent, id, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxBORDER_NONE),
      m_watch(this) {
    AppendColumn(WxTr(res::TextId::FileListName), wxLIST_FORMAT_LEFT, 220);
    AppendColumn(WxTr(res::TextId::FileListSize), wxLIST_FORMAT_RIGHT, 80);
    AppendColumn(WxTr(res::TextId::FileListType), wxLIST_FORMAT_LEFT, 120);
    AppendColumn(WxTr(res::TextId::FileListModified), wxLIST_FORMAT_LEFT, 140);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { CheckForChanges(); });
    // A click on a column heading sorts by it; a second click turns the order round.
    Bind(wxEVT_LIST_COL_CLICK, [this](wxListEvent& e) {
        if (e.GetColumn() < 0) return;
        auto column = static_cast<Column>(e.GetColumn());
        SortBy(column, column == m_sortColumn ? !m_ascending : true);
    });
    // A double click (or Enter) enters a folder and opens a file with the desktop's
    // application.
    Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent& e) {
        std::string name = GetItemText(e.GetIndex()).utf8_string();
        if (m_folder.empty() || name.empty()) return;
        std::string path = platform::JoinPath(m_folder, name);
        if (platform::IsDirectory(path) && m_folderOpener)
            m_folderOpener(path);
        else
            OpenWithDesktop(path);
    });
    ShowSortIndicator(m_sortColumn, m_ascending);
    m_watch.Start(kWatchMilliseconds);
}

void CIEShellListView::SortBy(Column column, bool ascending) {
    m_sortColumn = column;
    m_ascending = ascending;
    ShowSortIndicator(column, ascending);
    RefreshList();
}

void CIEShellListView::ShowTexts() {
    const res::TextId headings[] = {res::TextId::FileListName, res::TextId::FileListSize,
                                    res::TextId::FileListType, res::TextId::FileListModified};
    for (int c = 0; c < GetColumnCount() && c < static_cast<int>(std::size(headings)); ++c) {
        wxListItem column;
        column.SetMask(wxLIST_MASK_TEXT);
        column.SetText(WxTr(headings[c]));
        SetColumn(c, column);
    }
    if (m_updates) RefreshList();
}

void CIEShellListView::ShowFolder(const std::string& folder) {
    m_folder = folder;
    if (m_updates) RefreshList();
}

void CIEShellListView::EnableUpdates(bool enable) {
    m_updates = enable;
}

void CIEShellListView::RefreshList() {
    auto entries = m_folder.empty() ? std::vector<platform::DirEntry>()
                                    : platform::ListDirectory(m_folder, "*");
    Fill(entries);
}

void CIEShellListView::CheckForChanges() {
    if (!m_updates || m_folder.empty()) return;
    auto entries = platform::ListDirectory(m_folder, "*");
    if (Signature(entries) != m_shown) Fill(entries);
}

std::string CIEShellListView::Signature(const std::vector<platform::DirEntry>& entries) const {
    std::string sig = m_folder;
    for (const auto& e : entries)
        sig += "\n" + e.name + "|" + std::to_string(e.size) + "|" + std::to_string(e.lastWrite);
    return sig;
}

std::string CIEShellListView::FormatSize(std::uint64_t bytes) {
    // Whole kilobytes, rounded up, as a file manager shows them.
    std::uint64_t kb = (bytes + 1023) / 1024;
    std::string digits = std::to_string(kb);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped + " KB";
}

std::string CIEShellListView::TypeName(const platform::DirEntry& entry) {
    if (entry.isDirectory) return Tr(res::TextId::FileTypeFolder);
    std::string ext = platform::FindExtension(entry.name);
    if (ext.size() <= 1) return Tr(res::TextId::FileTypeFile);
    return Tr(res::TextId::FileTypeExtension, {platform::ToUpper(ext.substr(1))});
}

void CIEShellListView::Fill(const std::vector<platform::DirEntry>& entries) {
    m_shown = Signature(entries);
    Freeze();
    DeleteAllItems();
    std::vector<platform::DirEntry> ordered = entries;
    SortFileList(ordered, static_cast<FileListColumn>(m_sortColumn), m_ascending);
    long row = 0;
    for (const platform::DirEntry& entry : ordered) {
        const platform::DirEntry* e = &entry;
        // Hidden by convention here, as a file manager hides them.
        if (e->name.empty() || e->name[0] == '.') continue;
        long item = InsertItem(row++, Wx(e->name));
        SetItem(item, kSize, e->isDirectory ? wxString() : wxString(FormatSize(e->size)));
        SetItem(item, kType, Wx(TypeName(*e)));
        char date[32] = "";
        std::tm tm{};
        if (localtime_r(&e->lastWrite, &tm))
            std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &tm);
        SetItem(item, kDate, date);
    }
    Thaw();
}
