#pragma once
// Shows a folder tree built by the core (store/FolderTree.h) in a tree control. The folder view
// and the option sheet's folder pages fill their trees this way.
#include <vector>

#include <wx/treectrl.h>

#include "store/FolderTree.h"
#include "store/StoreDiscovery.h"

// Adds the items of a folder tree under the hidden root of a tree control, creating the root if
// needed. With records, each folder item carries its record as item data. Returns the control's
// ids by item index.
std::vector<wxTreeItemId> AppendFolderTree(wxTreeCtrl& control, const FolderTree& tree,
                                           const std::vector<FolderRecord>* records = nullptr);
// The record an item added with records stands for; null for a connecting item or none.
const FolderRecord* FolderItemRecord(const wxTreeCtrl& control, const wxTreeItemId& item);
