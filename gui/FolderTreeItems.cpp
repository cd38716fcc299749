#include "gui/FolderTreeItems.h"

#include "gui/WxText.h"

namespace {

// The folder record an item stands for; the records belong to the caller's StoreDiscovery,
// which is not changed after the tree is filled.
class FolderItemData : public wxTreeItemData {
public:
    explicit FolderItemData(const FolderRecord* record) : m_record(record) {}
    const FolderRecord* Record() const { return m_record; }

private:
    const FolderRecord* m_record;
};

} // namespace

std::vector<wxTreeItemId> AppendFolderTree(wxTreeCtrl& control, const FolderTree& tree,
                                           const std::vector<FolderRecord>* records) {
    wxTreeItemId root = control.GetRootItem();
    if (!root.IsOk()) root = control.AddRoot(wxString());
    std::vector<wxTreeItemId> ids(tree.Items.size());
    for (std::size_t i = 0; i < tree.Items.size(); ++i) {
        const FolderTreeItem& item = tree.Items[i];
        wxTreeItemId parent = item.Parent < 0 ? root : ids[item.Parent];
        wxTreeItemData* data =
            records && item.Record >= 0 ? new FolderItemData(&(*records)[item.Record]) : nullptr;
        ids[i] = control.AppendItem(parent, Wx(item.Text), item.Image, item.SelectedImage, data);
    }
    return ids;
}

const FolderRecord* FolderItemRecord(const wxTreeCtrl& control, const wxTreeItemId& item) {
    if (!item.IsOk()) return nullptr;
    auto* data = static_cast<FolderItemData*>(control.GetItemData(item));
    return data ? data->Record() : nullptr;
}
