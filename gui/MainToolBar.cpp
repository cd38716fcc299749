#include "gui/MainToolBar.h"

#include <functional>
#include <iterator>

#include <wx/display.h>
#include <wx/frame.h>

#include "app/Settings.h"
#include "gui/Pictures.h"
#include "gui/WxText.h"
#include "locale/Language.h"
#include "platform/UserInterface.h"
#include "res/MenuTemplate.h"
#include "res/Resource.h"

namespace {

struct Side {
    const char* name;
    int direction;
};
constexpr Side kSides[] = {{"Top", wxAUI_DOCK_TOP},
                           {"Bottom", wxAUI_DOCK_BOTTOM},
                           {"Left", wxAUI_DOCK_LEFT},
                           {"Right", wxAUI_DOCK_RIGHT}};
constexpr const char* kFloating = "Floating";

wxString ToolTipFor(unsigned id) {
    std::string text = LoadLanguageString(id).value_or("");
    size_t lf = text.find('\n');
    if (lf != std::string::npos) return Wx(text.substr(lf + 1));
    return Wx(text);
}

} // namespace

wxAuiToolBar* CreateMainToolBar(wxWindow* frame, wxAuiManager& dock,
                                std::function<void(int id)> showPrompt) {
    auto normal = res::LoadToolBarImages(false);
    auto disabled = res::LoadToolBarImages(true);
    // Neither horizontal nor vertical: the bar turns with the side it docks on.
    auto* bar = new wxAuiToolBar(frame, res::WxId(res::IDW_TOOLBAR), wxDefaultPosition,
                                 wxDefaultSize, wxAUI_TB_DEFAULT_STYLE | wxAUI_TB_GRIPPER);
    bar->SetToolBitmapSize(wxSize(24, 24));
    int image = 0;
    for (unsigned id : res::MainToolBarButtons()) {
        if (id == 0) {
            bar->AddSeparator();
            continue;
        }
        bar->AddTool(res::WxId(id), wxEmptyString, normal->GetBitmap(image),
                     disabled->GetBitmap(image), wxITEM_NORMAL, wxEmptyString, wxEmptyString,
                     nullptr);
        ++image;
    }
    SetToolBarTexts(bar);
    bar->Realize();
    // The status bar shows the prompt of the button under the pointer.
    auto hovered = std::make_shared<int>(-1);
    bar->Bind(wxEVT_MOTION, [bar, showPrompt, hovered](wxMouseEvent& e) {
        wxAuiToolBarItem* item = bar->FindToolByPosition(e.GetX(), e.GetY());
        int id = item && item->GetKind() == wxITEM_NORMAL ? item->GetId() : -1;
        if (id != *hovered) showPrompt(*hovered = id);
        e.Skip();
    });
    bar->Bind(wxEVT_LEAVE_WINDOW, [showPrompt, hovered](wxMouseEvent& e) {
        if (*hovered != -1) showPrompt(*hovered = -1);
        e.Skip();
    });
    dock.AddPane(bar, wxAuiPaneInfo()
                          .Name(kToolBarPane)
                          .Caption(kAppTitle)
                          .ToolbarPane()
                          .Top()
                          .TopDockable()
                          .BottomDockable()
                          .LeftDockable()
                          .RightDockable()
                          .Floatable());
    return bar;
}

void SetToolBarTexts(wxAuiToolBar* bar) {
    for (unsigned id : res::MainToolBarButtons()) {
        if (id == 0) continue;
        bar->SetToolShortHelp(res::WxId(id), ToolTipFor(id));
        bar->SetToolLongHelp(res::WxId(id), Wx(GetMessagePrompt(id)));
    }
}

std::string ToolBarPlaceName(const wxAuiPaneInfo& pane) {
    if (pane.IsFloating()) return kFloating;
    for (const Side& side : kSides)
        if (pane.dock_direction == side.direction) return side.name;
    return kSides[0].name;
}

void RestoreToolBarPlace(wxAuiPaneInfo& pane, const AppSettings& settings, wxWindow* frame) {
    const std::string& place = settings.ToolBarPlace;
    if (place == kFloating) {
        wxPoint spot(settings.ToolBarX, settings.ToolBarY);
        if (wxDisplay::GetFromPoint(spot) == wxNOT_FOUND)
            spot = frame->GetScreenPosition() + frame->FromDIP(wxPoint(40, 80));
        pane.Float().FloatingPosition(spot);
        return;
    }
    int direction = wxAUI_DOCK_TOP;
    for (const Side& side : kSides)
        if (place == side.name) direction = side.direction;
    pane.Dock().Direction(direction).Row(0).Position(0);
}

void RecordToolBarPlace(const wxAuiPaneInfo& pane, AppSettings& settings) {
    settings.ToolBarPlace = ToolBarPlaceName(pane);
    wxPoint spot = pane.frame ? pane.frame->GetPosition() : pane.floating_pos;
    settings.ToolBarX = pane.IsFloating() ? spot.x : 0;
    settings.ToolBarY = pane.IsFloating() ? spot.y : 0;
}
