#pragma once
// Menus built from their definition in res/: the menu bar, the folder view's context menu.
#include <vector>

#include "res/MenuTemplate.h"

class wxMenu;

// Appends the items: submenus, separators, the Language entries and the status bar switch as
// check items, and each command with its tool bar picture when it has one.
void AppendMenuItems(wxMenu* menu, const std::vector<res::MenuItemDef>& items);
// A new menu holding the items.
wxMenu* BuildMenu(const std::vector<res::MenuItemDef>& items);
