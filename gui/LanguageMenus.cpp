#include "gui/LanguageMenus.h"

#include <algorithm>
#include <functional>
#include <string>

#include <wx/bookctrl.h>
#include <wx/dcscreen.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/sizer.h>
#include <wx/toplevel.h>

#include "gui/WxText.h"
#include "locale/Language.h"
#include "res/MenuTemplate.h"
#include "res/Resource.h"

namespace {

// Menu labels treat "&" as the mnemonic mark; a file name's own "&" must show as itself.
wxString AsLabel(const std::string& text) {
    wxString label = Wx(text);
    label.Replace("&", "&&");
    return label;
}

void SetItemText(wxMenuItem* item, const wxString& text) {
    if (item && item->GetItemLabel() != text) item->SetItemLabel(text);
}

void TranslateItems(wxMenu* menu, const std::string& parentKey, const std::string& section) {
    size_t count = menu->GetMenuItemCount();
    for (size_t pos = 0; pos < count; ++pos) {
        wxMenuItem* item = menu->FindItemByPosition(pos);
        if (!item || item->IsSeparator()) continue;
        std::string key = item->IsSubMenu() ? parentKey + "|" + std::to_string(pos)
                                            : std::to_string(res::CommandId(item->GetId()));
        std::string text = LookupLanguageText(section, key);
        if (!text.empty()) SetItemText(item, Wx(text));
        if (item->IsSubMenu()) TranslateItems(item->GetSubMenu(), key, section);
    }
}

// New texts and fonts have other sizes than the ones the dialog was laid out for: it grows to
// show them whole, and never shrinks below the size it had.
void Relayout(wxWindow* window) {
    wxWindow* top = wxGetTopLevelParent(window);
    if (!top) return;
    std::function<void(wxWindow*)> forget = [&](wxWindow* w) {
        w->InvalidateBestSize();
        for (wxWindow* child : w->GetChildren())
            if (!child->IsTopLevel()) forget(child);
    };
    forget(top);
    wxSizer* sizer = top->GetSizer();
    if (!sizer) {
        top->Layout();
        return;
    }
    wxSize before = top->GetSize();
    sizer->SetSizeHints(top);
    wxSize fitted = top->GetSize();
    top->SetSize(wxSize(std::max(before.x, fitted.x), std::max(before.y, fitted.y)));
    if (!top->IsShown() && top->GetSize() != before) top->CentreOnParent();
    // A child whose own size did not change gets no size event: lay out each one, outside in.
    std::function<void(wxWindow*)> layout = [&](wxWindow* w) {
        if (w->GetSizer()) w->Layout();
        for (wxWindow* child : w->GetChildren())
            if (!child->IsTopLevel()) layout(child);
    };
    layout(top);
}

DialogTextObserver& Observer() {
    static DialogTextObserver observer;
    return observer;
}

// The text a language file replaces in a window of a dialog: a top-level window's title, a
// tab's text for a page, a control's label.
wxString ShownText(wxWindow* w, wxBookCtrlBase* book) {
    if (auto* top = dynamic_cast<wxTopLevelWindow*>(w)) return top->GetTitle();
    if (book) {
        int page = book->FindPage(w);
        return page == wxNOT_FOUND ? wxString() : book->GetPageText(static_cast<size_t>(page));
    }
    return w->GetLabel();
}

} // namespace

void SetDialogTextObserver(DialogTextObserver observer) {
    Observer() = std::move(observer);
}

void MarkLanguageMenu(wxMenuBar* menuBar) {
    if (!menuBar) return;
    const LanguageState& st = TheLanguage();
    for (unsigned id = res::ID_LANGUAGE_DEFAULT; id <= st.lastMenuId; ++id) {
        wxMenuItem* item = menuBar->FindItem(static_cast<int>(id));
        if (item && item->IsCheckable()) item->Check(id == st.selectedMenuId);
    }
}

unsigned BuildLanguageMenu(wxMenu* languageMenu) {
    LanguageState& st = TheLanguage();
    size_t before = st.entries.size();
    unsigned selected = PlanLanguageMenu();
    for (size_t i = before; i < st.entries.size(); ++i) {
        if (i == 0) languageMenu->AppendSeparator();
        const LanguageEntry& e = st.entries[i];
        languageMenu->AppendCheckItem(static_cast<int>(e.menuId), AsLabel(e.name));
    }
    for (unsigned id = res::ID_LANGUAGE_DEFAULT; id <= st.lastMenuId; ++id) {
        wxMenuItem* item = languageMenu->FindItem(static_cast<int>(id));
        if (item && item->IsCheckable()) item->Check(id == selected);
    }
    return selected;
}

void ApplyLanguage(wxMenuBar* menuBar, unsigned menuId) {
    ApplyLanguageMenuId(menuId);
    MarkLanguageMenu(menuBar);
}

void SwitchLanguage(wxFrame* frame, unsigned menuId) {
    wxMenuBar* bar = frame ? frame->GetMenuBar() : nullptr;
    ApplyLanguage(bar, menuId);
    if (bar) {
        TranslateMenu(bar, res::IDR_MAINFRAME);
        bar->Refresh();
    }
    if (frame) {
        wxMenuEvent select(wxEVT_MENU_HIGHLIGHT, static_cast<int>(menuId));
        select.SetEventObject(frame);
        frame->GetEventHandler()->ProcessEvent(select);
    }
}

void TranslateMenu(wxMenuBar* menuBar, unsigned section) {
    if (!menuBar) return;
    if (TheLanguage().currentFile.empty()) {
        RestoreMenuTexts(menuBar, section);
        return;
    }
    std::string sectionName = std::to_string(section);
    for (size_t pos = 0; pos < menuBar->GetMenuCount(); ++pos) {
        std::string key = "|" + std::to_string(pos);
        std::string text = LookupLanguageText(sectionName, key);
        if (!text.empty() && menuBar->GetMenuLabel(pos) != Wx(text))
            menuBar->SetMenuLabel(pos, Wx(text));
        TranslateItems(menuBar->GetMenu(pos), key, sectionName);
    }
}

void RestoreMenuTexts(wxMenuBar* menuBar, unsigned templateId) {
    if (!menuBar) return;
    for (const res::MenuTemplateText& t :
         res::ParseMenuTemplate(res::LoadMenuTemplate(templateId))) {
        wxString text = Wx(t.text);
        if (!t.popup) {
            SetItemText(menuBar->FindItem(res::WxId(t.id)), text);
            continue;
        }
        if (t.path.empty() || t.path[0] >= menuBar->GetMenuCount()) continue;
        if (t.path.size() == 1) {
            if (menuBar->GetMenuLabel(t.path[0]) != text) menuBar->SetMenuLabel(t.path[0], text);
            continue;
        }
        // Follow the positions down to the menu that holds this submenu.
        wxMenu* menu = menuBar->GetMenu(t.path[0]);
        for (size_t i = 1; menu && i + 1 < t.path.size(); ++i) {
            wxMenuItem* step = t.path[i] < menu->GetMenuItemCount()
                                   ? menu->FindItemByPosition(t.path[i])
                                   : nullptr;
            menu = step ? step->GetSubMenu() : nullptr;
        }
        if (menu && t.path.back() < menu->GetMenuItemCount())
            SetItemText(menu->FindItemByPosition(t.path.back()), text);
    }
}

wxFont GetDialogFont() {
    const LanguageState& st = TheLanguage();
    if (st.fontName.empty()) return wxNullFont;
    int height = DialogFontHeight(st.fontSize, wxScreenDC().GetPPI().y);
    wxFontInfo info = height != 0 ? wxFontInfo(wxSize(0, -height)) : wxFontInfo();
    return wxFont(info.FaceName(Wx(st.fontName)));
}

void TranslateDialog(wxWindow* window, unsigned section) {
    if (!window || TheLanguage().currentFile.empty()) return;
    std::string sectionName = std::to_string(section);
    wxFont font = GetDialogFont();
    std::function<void(wxWindow*)> apply = [&](wxWindow* w) {
        unsigned key;
        if (w == window && w->IsTopLevel())
            key = 0;
        else if (w->GetId() < 0 || w->GetId() == wxID_STATIC)
            key = res::IDC_STATIC_SHARED;
        else
            key = static_cast<unsigned>(w->GetId());
        // A page of a tab control has the tab's text: the page translated on its own is keyed
        // 0, as a window is; among its dialog's controls, by its id.
        auto* book = dynamic_cast<wxBookCtrlBase*>(w->GetParent());
        if (book && w == window) key = 0;
        std::string text = LookupLanguageText(sectionName, std::to_string(key));
        if (Observer()) {
            wxString shown = ShownText(w, book);
            if (!shown.empty()) Observer()(w, section, key, shown, !text.empty());
        }
        if (!text.empty()) {
            if (auto* top = dynamic_cast<wxTopLevelWindow*>(w)) {
                top->SetTitle(Wx(text));
            } else if (book) {
                int page = book->FindPage(w);
                if (page != wxNOT_FOUND) book->SetPageText(page, Wx(text));
            } else {
                w->SetLabel(Wx(text));
            }
        }
        if (font.IsOk()) w->SetFont(font);
        for (wxWindow* child : w->GetChildren())
            if (!child->IsTopLevel()) apply(child);
    };
    apply(window);
    Relayout(window);
}
