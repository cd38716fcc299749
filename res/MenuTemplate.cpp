#include "res/MenuTemplate.h"

#include "platform/Utf8.h"
#include "res/Resource.h"

namespace res {

namespace {

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t w) {
    out.push_back(static_cast<std::uint8_t>(w & 0xFF));
    out.push_back(static_cast<std::uint8_t>(w >> 8));
}

void PutItems(std::vector<std::uint8_t>& out, const std::vector<MenuItemDef>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        const MenuItemDef& item = items[i];
        std::uint16_t flags = (i + 1 == items.size()) ? MF_END : 0;
        if (item.IsPopup()) flags |= MF_POPUP;
        PutWord(out, flags);
        if (!item.IsPopup()) PutWord(out, static_cast<std::uint16_t>(item.id));
        for (char16_t u : platform::ToUtf16(item.text))
            PutWord(out, u);
        PutWord(out, 0);
        if (item.IsPopup()) PutItems(out, item.items);
    }
}

class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& b) : m_b(b) {}
    bool Word(std::uint16_t& w) {
        if (m_pos + 2 > m_b.size()) return false;
        w = static_cast<std::uint16_t>(m_b[m_pos] | (m_b[m_pos + 1] << 8));
        m_pos += 2;
        return true;
    }
    // A zero-terminated UTF-16 text; false when the bytes end before the terminator.
    bool Text(std::string& out) {
        out.clear();
        std::uint16_t u;
        while (true) {
            if (!Word(u)) return false;
            if (u == 0) return true;
            char32_t cp = u;
            if (u >= 0xD800 && u < 0xDC00) {
                std::uint16_t lo;
                size_t save = m_pos;
                if (Word(lo) && lo >= 0xDC00 && lo < 0xE000)
                    cp = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                else
                    m_pos = save, cp = 0xFFFD;
            } else if (u >= 0xDC00 && u < 0xE000) {
                cp = 0xFFFD;
            }
            std::string piece;
            platform::AppendUtf8(piece, cp);
            if (out.size() + piece.size() <= kMaxMenuText) out += piece;
        }
    }
    bool AtEnd() const { return m_pos >= m_b.size(); }
    void Seek(size_t pos) { m_pos = pos; }

private:
    const std::vector<std::uint8_t>& m_b;
    size_t m_pos = 0;
};

MenuItemDef Item(const char* text, unsigned id) {
    return MenuItemDef{text, id, {}, false};
}
MenuItemDef Separator() {
    return MenuItemDef{"", 0, {}, true};
}
MenuItemDef Popup(const char* text, std::vector<MenuItemDef> items) {
    return MenuItemDef{text, 0, std::move(items), false};
}

} // namespace

std::vector<std::uint8_t> BuildMenuTemplate(const std::vector<MenuItemDef>& bar) {
    std::vector<std::uint8_t> out;
    PutWord(out, 0); // version: standard template
    PutWord(out, 0); // offset of the items behind the header
    PutItems(out, bar);
    return out;
}

std::vector<MenuTemplateText> ParseMenuTemplate(const std::vector<std::uint8_t>& bytes) {
    std::vector<MenuTemplateText> found;
    Reader r(bytes);
    std::uint16_t version, offset;
    if (!r.Word(version) || !r.Word(offset) || version != 0) return found;
    r.Seek(4 + static_cast<size_t>(offset));

    struct Level {
        std::vector<unsigned> path; // positions leading to this level's menu
        unsigned count = 0;
        bool openedByLast = false; // the popup that opened it ended its parent
    };
    std::vector<Level> levels(1);
    while (!r.AtEnd() && !levels.empty()) {
        std::uint16_t flags;
        if (!r.Word(flags)) break;
        if (flags & MF_POPUP) {
            std::string text;
            if (!r.Text(text)) break;
            Level& level = levels.back();
            ++level.count;
            MenuTemplateText t;
            t.popup = true;
            t.path = level.path;
            t.path.push_back(level.count - 1);
            t.text = text;
            found.push_back(t);
            if (levels.size() >= kMaxMenuDepth) break;
            Level next;
            next.path = t.path;
            next.openedByLast = (flags & MF_END) != 0;
            levels.push_back(next);
        } else {
            std::uint16_t id;
            std::string text;
            if (!r.Word(id) || !r.Text(text)) break;
            ++levels.back().count;
            if (id != 0) found.push_back(MenuTemplateText{false, {}, id, text});
            if (flags & MF_END) {
                // Leave this level, and every level whose opening popup was its parent's last.
                bool last;
                do {
                    last = levels.back().openedByLast;
                    levels.pop_back();
                } while (last && !levels.empty());
            }
        }
    }
    return found;
}

const std::vector<MenuItemDef>& MainMenuDefinition() {
    // The top-level captions end in three blanks. The four commands without a caption of their
    // own elsewhere are given short ones here so that their entries are not blank lines.
    static const std::vector<MenuItemDef> menu = {
        Popup("&File   ", {Item("&Preference", ID_FILE_PREFERENCE), Item("E&xit", ID_APP_EXIT),
                           Item("Switch &Identity...", ID_SWITCH_IDENTITY)}),
        Popup("&Action   ", {Item("Launch &Windows Live Mail", ID_LAUNCH_MAIL),
                             Item("Launch &Browser", ID_LAUNCH_BROWSER),
                             Item("&Extract Attachments", ID_EXTRACT_ATTACHMENTS),
                             Item("Edit &Report", ID_EDIT_REPORT),
                             Item("&Save Messages as eml", ID_SAVE_MESSAGES),
                             Item("Extract Attachments Sa&fely", ID_EXTRACT_SAFELY),
                             Item("Extraction &Wizard...", ID_WIZARD)}),
        Popup("&View   ", {Item("&Status Bar", ID_VIEW_STATUS_BAR), Separator(),
                           Popup("Language", {Item("&Default", ID_LANGUAGE_DEFAULT)})}),
        Popup("&Help   ", {Item("&Help Topics", ID_HELP_TOPICS), Separator(),
                           Item("&Support", ID_SUPPORT), Item("&About KESTL...", ID_APP_ABOUT)}),
    };
    return menu;
}

const std::vector<MenuItemDef>& FolderMenuDefinition() {
    // The folder commands other than Extract have no caption of their own in the resource;
    // these match the main menu's where they share a command.
    static const std::vector<MenuItemDef> menu = {
        Popup("Folder", {Item("&Extract AttachmentsTo ...", ID_EXTRACT_ATTACHMENTS),
                         Item("&Save Messages as eml", ID_SAVE_MESSAGES),
                         Item("Re&cover Messages as eml", ID_RECOVER_MESSAGES),
                         Item("Extract Attachments Sa&fely", ID_EXTRACT_SAFELY),
                         Item("Searc&h Mail by Sender...", ID_SEARCH_MAIL),
                         Item("Outlook Express &Messages...", ID_EXPRESS_MESSAGES)}),
    };
    return menu;
}

std::vector<std::uint8_t> LoadMenuTemplate(unsigned id) {
    if (id == IDR_FOLDER_MENU) {
        static const std::vector<std::uint8_t> bytes = BuildMenuTemplate(FolderMenuDefinition());
        return bytes;
    }
    if (id != IDR_MAINFRAME) return {};
    static const std::vector<std::uint8_t> bytes = BuildMenuTemplate(MainMenuDefinition());
    return bytes;
}

const std::vector<unsigned>& MainToolBarButtons() {
    static const std::vector<unsigned> buttons = {
        ID_LAUNCH_MAIL, ID_LAUNCH_BROWSER, ID_EXTRACT_ATTACHMENTS, ID_SAVE_MESSAGES, 0,
        ID_EDIT_REPORT, ID_APP_ABOUT};
    return buttons;
}

} // namespace res
