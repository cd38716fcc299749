#include "gui/HelpViewer.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>

#include <wx/display.h>
#include <wx/frame.h>
#include <wx/html/helpctrl.h>
#include <wx/log.h>
#include <wx/treectrl.h>

#include "app/DesktopCommands.h"
#include "app/Settings.h"
#include "gui/DesktopUi.h"
#include "gui/DialogWindows.h"
#include "gui/WxText.h"
#include "platform/FileSystem.h"
#include "platform/UserInterface.h"

namespace {
std::unique_ptr<wxHtmlHelpController>& Controller() {
    static std::unique_ptr<wxHtmlHelpController> controller;
    return controller;
}

wxFrame*& SeenFrame() {
    static wxFrame* frame = nullptr;
    return frame;
}

wxTreeCtrl* FindContents(wxWindow* w) {
    if (auto* tree = dynamic_cast<wxTreeCtrl*>(w)) return tree;
    for (wxWindow* child : w->GetChildren())
        if (wxTreeCtrl* tree = FindContents(child)) return tree;
    return nullptr;
}

// Every item below the root with the path of titles that names it.
void ForEachTopic(wxTreeCtrl& tree, const std::function<void(wxTreeItemId, const wxString&)>& f) {
    std::function<void(wxTreeItemId, const wxString&)> walk = [&](wxTreeItemId item,
                                                                 const wxString& path) {
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = tree.GetFirstChild(item, cookie); c.IsOk();
             c = tree.GetNextChild(item, cookie)) {
            wxString named = path + "/" + tree.GetItemText(c);
            f(c, named);
            walk(c, named);
        }
    };
    if (tree.GetRootItem().IsOk()) walk(tree.GetRootItem(), wxString());
}

// Where the viewer was when it was last closed and which topics of its contents were open, in
// the settings, so the next run finds them too.
constexpr char kTopicSeparator = '|';

void Remember(wxFrame& frame) {
    AppSettings& settings = TheSettings();
    const wxRect rect = frame.GetScreenRect();
    settings.HelpX = rect.x;
    settings.HelpY = rect.y;
    settings.HelpWidth = rect.width;
    settings.HelpHeight = rect.height;
    settings.HelpTopics.clear();
    if (wxTreeCtrl* contents = FindContents(&frame))
        ForEachTopic(*contents, [&](wxTreeItemId item, const wxString& path) {
            if (contents->ItemHasChildren(item) && contents->IsExpanded(item))
                settings.HelpTopics +=
                    (settings.HelpTopics.empty() ? "" : std::string(1, kTopicSeparator)) +
                    Utf8(path);
        });
}

std::set<wxString> RememberedTopics() {
    std::set<wxString> topics;
    const std::string& all = TheSettings().HelpTopics;
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find(kTopicSeparator, start);
        if (end == std::string::npos) end = all.size();
        if (end > start) topics.insert(Wx(all.substr(start, end - start)));
        start = end + 1;
    }
    return topics;
}

// The remembered place, when there is one and it is on a screen of this run.
std::optional<wxRect> RememberedPlace() {
    const AppSettings& s = TheSettings();
    if (s.HelpWidth <= 0 || s.HelpHeight <= 0) return std::nullopt;
    wxRect rect(s.HelpX, s.HelpY, s.HelpWidth, s.HelpHeight);
    if (wxDisplay::GetFromPoint(rect.GetTopLeft() + wxPoint(40, 20)) == wxNOT_FOUND)
        return std::nullopt;
    return rect;
}

// A new viewer window: where the last one was, with its topics as they were left; the first
// one over the main window, large enough for pages written for a reading width, every topic
// in view.
void Arrange(wxFrame& frame) {
    wxTreeCtrl* contents = FindContents(&frame);
    if (std::optional<wxRect> rect = RememberedPlace()) {
        frame.SetSize(*rect);
        const std::set<wxString> expanded = RememberedTopics();
        if (contents)
            ForEachTopic(*contents, [&](wxTreeItemId item, const wxString& path) {
                if (expanded.count(path))
                    contents->Expand(item);
                else if (contents->ItemHasChildren(item))
                    contents->Collapse(item);
            });
    } else {
        frame.SetSize(frame.FromDIP(wxSize(900, 680)));
        PlaceOverMainWindow(frame);
        if (contents && contents->GetRootItem().IsOk()) {
            wxTreeItemIdValue cookie;
            wxTreeItemId root = contents->GetRootItem();
            for (wxTreeItemId book = contents->GetFirstChild(root, cookie); book.IsOk();
                 book = contents->GetNextChild(root, cookie))
                contents->ExpandAllChildren(book);
        }
    }
    CloseOnEscape(frame);
    frame.Bind(wxEVT_CLOSE_WINDOW, [&frame](wxCloseEvent& e) {
        Remember(frame);
        SeenFrame() = nullptr;
        e.Skip();
    });
}
} // namespace

bool ShowHelpTopic(const std::string& page) {
    auto& controller = Controller();
    if (!controller) {
        std::string book = HelpBookFile();
        auto viewer = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE, nullptr);
        bool loaded = false;
        if (platform::IsRegularFile(book)) {
            wxLogNull quiet;
            loaded = viewer->AddBook(wxString::FromUTF8(book));
        }
        if (!loaded) {
            CWxMessageBox().ShowMessage(HelpBookMissingMessage(), kAppTitle, MessageIcon::Warning);
            return false;
        }
        // The page's title goes where "%s" stands in the viewer's title.
        viewer->SetTitleFormat(WxTr(res::TextId::HelpViewerTitle, {"%s"}));
        // The viewer closes with the program rather than keeping it alive.
        viewer->SetShouldPreventAppExit(false);
        controller = std::move(viewer);
    }
    bool shown = controller->Display(wxString::FromUTF8(page));
    if (wxFrame* frame = controller->GetFrame(); frame && frame != SeenFrame()) {
        SeenFrame() = frame;
        Arrange(*frame);
    }
    return shown;
}

wxHtmlHelpController* GetHelpController() {
    return Controller().get();
}

void CloseHelp() {
    // The viewer's window is destroyed without a close event: its place is noted here.
    if (SeenFrame()) Remember(*SeenFrame());
    if (auto& controller = Controller()) {
        controller->Quit();
        controller.reset();
    }
    SeenFrame() = nullptr;
}
