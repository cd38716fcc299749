#pragma once
// The fixture of the window tests that run the mail folder view's commands end to end: the main
// window with the folder view over a copy of the sample store, a destination folder, the desktop's
// programs stood in for, and the settings written where the frame reads them.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <wx/menu.h>
#include <wx/treectrl.h>

#include "GuiTest.h"
#include "TempDir.h"
#include "app/Settings.h"
#include "gui/ExpressFolderView.h"
#include "gui/MainFrame.h"
#include "res/Resource.h"

class StoreWindowTest : public ::testing::Test {
protected:
    StoreWindowTest() {
        std::filesystem::copy(std::filesystem::path(KESTREL_SOURCE_DIR) / "samples/store",
                              dir / "store", std::filesystem::copy_options::recursive);
        programs.Add("xdg-open", 0);
    }
    // Writes the settings with the store and the destination in them and opens the frame.
    void OpenWith(AppSettings settings) {
        settings.KESTLMailFolderPath = dir / "store";
        settings.LastFileFolder = out;
        settings.ExtractOnlyPicture = 1;
        SaveSettings(settings);
        CMainFrame::SetFolderPaneFactory([](wxWindow* parent, CExpressFolderView*& view) {
            view = new CExpressFolderView(parent);
            return static_cast<wxWindow*>(view);
        });
        OpenFrame();
    }
    void OpenFrame() {
        frame = new CMainFrame;
        frame->Show();
        frame->HandleActivation();
        PumpEvents();
        view = frame->GetFolderView();
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(frame->GetDestinationFolder(), out);
    }
    void TearDown() override {
        CExpressFolderView::SetMenuTracker(nullptr);
        CMainFrame::SetFolderPaneFactory({});
        if (frame) frame->Destroy(); // saves the settings
        PumpEvents();
    }
    // The settings file as the frame leaves it when it goes.
    std::string SettingsWritten() {
        frame->Destroy();
        frame = nullptr;
        PumpEvents();
        return ReadFileText(dir / "config/VANDREL/KESTL/qor.ini");
    }

    wxTreeItemId Find(const std::string& text, wxTreeItemId from = {}) {
        return FindItem(*view->GetTree(), text, from);
    }
    // A right click on the item, then the command chosen from its menu.
    void RunFromMenu(const wxTreeItemId& item, unsigned command = res::ID_EXTRACT_ATTACHMENTS) {
        wxTreeCtrl* tree = view->GetTree();
        tree->EnsureVisible(item);
        PumpEvents();
        wxRect rect;
        ASSERT_TRUE(tree->GetBoundingRect(item, rect, true));
        CExpressFolderView::SetMenuTracker([command](CExpressFolderView&, wxMenu&, const wxPoint&) {
            return static_cast<int>(command);
        });
        wxContextMenuEvent event(wxEVT_CONTEXT_MENU, tree->GetId(),
                                 tree->ClientToScreen(rect.GetPosition() + wxSize(4, 4)));
        event.SetEventObject(tree);
        tree->GetEventHandler()->ProcessEvent(event);
    }
    // Whether the command is enabled for the active pane, as the menu and the tool bar show it.
    bool Enabled(unsigned id) {
        wxUpdateUIEvent update(res::WxId(id));
        update.Enable(true);
        frame->RouteUpdate(update);
        return update.GetEnabled();
    }
    std::vector<std::string> FilesIn(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
    FakePrograms programs{dir};
    const std::string out = dir.MakeDir("out");
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv path{"PATH", programs.Folder() + ":" + std::getenv("PATH")};
    CMainFrame* frame = nullptr;
    CExpressFolderView* view = nullptr;
};
