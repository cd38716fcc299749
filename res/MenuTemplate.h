#pragma once
// Menus as data: the definition the program builds its menu bar from, and the standard binary
// menu template (16-bit flags, ids and UTF-16 texts) that restoring the built-in texts walks.
#include <cstdint>
#include <string>
#include <vector>

namespace res {

struct MenuItemDef {
    std::string text;               // empty for a separator
    unsigned id = 0;                // 0 for a separator or a submenu
    std::vector<MenuItemDef> items; // the submenu's items
    bool separator = false;

    bool IsPopup() const { return !separator && id == 0; }
};

inline constexpr std::uint16_t MF_POPUP = 0x10;
inline constexpr std::uint16_t MF_END = 0x80;

// The top level of the template is the menu bar's list of submenus.
std::vector<std::uint8_t> BuildMenuTemplate(const std::vector<MenuItemDef>& bar);

// One text found while walking a template. A submenu's text is placed by position: path holds
// the positions leading to it from the menu bar. A command's text is placed by its id.
struct MenuTemplateText {
    bool popup = false;
    std::vector<unsigned> path;
    unsigned id = 0;
    std::string text;
};

inline constexpr size_t kMaxMenuDepth = 32;
inline constexpr size_t kMaxMenuText = 1023;

// Walks a standard template (version 0) as restoring does; stops at the end of the bytes, at the
// end of the top level, at the first item that does not fit, or below the depth limit. Other
// versions give nothing.
std::vector<MenuTemplateText> ParseMenuTemplate(const std::vector<std::uint8_t>& bytes);

// Menu 128, the main menu.
const std::vector<MenuItemDef>& MainMenuDefinition();
// Menu 132, the folder view's context menu: one pop-up holding the folder commands.
const std::vector<MenuItemDef>& FolderMenuDefinition();
// The template of a menu resource id (128 or 132); empty for others.
std::vector<std::uint8_t> LoadMenuTemplate(unsigned id);

// Tool bar 128's buttons in order; 0 is a separator.
const std::vector<unsigned>& MainToolBarButtons();

} // namespace res
