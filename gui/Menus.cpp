#include "gui/Menus.h"

#include <wx/menu.h>

#include "gui/Pictures.h"
#include "gui/WxText.h"
#include "res/Resource.h"

void AppendMenuItems(wxMenu* menu, const std::vector<res::MenuItemDef>& items) {
    for (const res::MenuItemDef& def : items) {
        const wxString text = Wx(def.text);
        if (def.separator) {
            menu->AppendSeparator();
        } else if (def.IsPopup()) {
            menu->AppendSubMenu(BuildMenu(def.items), text);
        } else if ((def.id >= res::ID_LANGUAGE_DEFAULT && def.id <= res::ID_LANGUAGE_LAST) ||
                   def.id == res::ID_VIEW_STATUS_BAR) {
            menu->AppendCheckItem(res::WxId(def.id), text);
        } else {
            auto* item = new wxMenuItem(menu, res::WxId(def.id), text);
            wxBitmap picture = res::ToolBarBitmapFor(def.id, 16);
            if (picture.IsOk()) item->SetBitmap(picture);
            menu->Append(item);
        }
    }
}

wxMenu* BuildMenu(const std::vector<res::MenuItemDef>& items) {
    auto* menu = new wxMenu;
    AppendMenuItems(menu, items);
    return menu;
}
