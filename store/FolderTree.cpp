#include "store/FolderTree.h"

namespace {

int AddItem(FolderTree& tree, int parent, std::string text, int record, int selectedImage) {
    FolderTreeItem item;
    item.Text = std::move(text);
    item.SelectedImage = selectedImage;
    item.Record = record;
    item.Parent = parent;
    int index = static_cast<int>(tree.Items.size());
    tree.Items.push_back(std::move(item));
    if (parent < 0)
        tree.Roots.push_back(index);
    else
        tree.Items[parent].Children.push_back(index);
    return index;
}

} // namespace

int FindParentItem(FolderTree& tree, const std::string& path, int item) {
    std::string rest = path;
    for (;;) {
        std::size_t slash = rest.find('/');
        if (slash == std::string::npos) return item;
        std::string first = rest.substr(0, slash);
        rest = rest.substr(slash + 1);
        // An item without children cannot hold the component; the folder then goes to the root
        // level. Discovery lists every folder after its parent, so this does not happen there.
        if (tree.ChildrenOf(item).empty()) return -1;
        int found = -1;
        for (int child : tree.ChildrenOf(item)) {
            if (tree.Items[child].Text == first) {
                found = child;
                break;
            }
        }
        if (found < 0) found = AddItem(tree, item, first, -1, kFolderImage);
        item = found;
    }
}

FolderTree BuildFolderTree(const std::vector<FolderRecord>& folders) {
    FolderTree tree;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        int parent = FindParentItem(tree, folders[i].RelativePath, -1);
        AddItem(tree, parent, folders[i].DisplayName, static_cast<int>(i), 0);
    }
    return tree;
}

std::vector<int> LevelOrder(const FolderTree& tree) {
    std::vector<int> order(tree.Roots.begin(), tree.Roots.end());
    for (std::size_t next = 0; next < order.size(); ++next)
        for (int child : tree.Items[order[next]].Children)
            order.push_back(child);
    return order;
}
