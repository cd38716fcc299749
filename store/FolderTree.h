#pragma once
// The shape of the mail folder tree, computed from the discovered folder list. The folder view
// only renders it, so the placing rules are testable without a screen.
#include <string>
#include <vector>

#include "store/StoreDiscovery.h"

inline constexpr int kFolderImage = 7;

struct FolderTreeItem {
    std::string Text;
    int Image = kFolderImage;
    int SelectedImage = 0;
    // Index into the folder list; -1 for a connecting item, which stands for a path component
    // that has no folder item of that text.
    int Record = -1;
    int Parent = -1;
    std::vector<int> Children;
};

struct FolderTree {
    std::vector<FolderTreeItem> Items; // every parent before its children
    std::vector<int> Roots;

    const std::vector<int>& ChildrenOf(int item) const {
        return item < 0 ? Roots : Items[item].Children;
    }
};

// One folder item per record, in list order, each the last child of the item its relative path
// leads to. Components are matched by exact text against the items already placed; a component
// with no match gets a connecting item, which happens for folder names with a dot, as their
// item shows the name without its extension.
FolderTree BuildFolderTree(const std::vector<FolderRecord>& folders);

// The parent a record with this relative path goes under, starting the search at item (-1: the
// root level). Adds connecting items on the way. -1 means the root level.
int FindParentItem(FolderTree& tree, const std::string& path, int item);

// Every item, row by row: the top level first, then the children of each item of a row in the
// order of their parents, and so on down.
std::vector<int> LevelOrder(const FolderTree& tree);
