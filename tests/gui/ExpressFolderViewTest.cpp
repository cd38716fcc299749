#include <gtest/gtest.h>

#include <wx/frame.h>
#include <wx/menu.h>

#include "GuiTest.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/Settings.h"
#include "engine/ExtractorClient.h"
#include "gui/ExpressFolderView.h"
#include "res/Resource.h"
#include "store/sources/MboxFileSource.h"

namespace {

struct MenuSeen {
    int calls = 0;
    std::string selectedAtOpen;
    std::vector<int> ids;
    std::vector<std::string> labels;
};

class FolderViewTest : public ::testing::Test {
protected:
    void Open(const std::string& root) {
        TheSettings() = AppSettings();
        TheSettings().KESTLMailFolderPath = root;
        frame = new wxFrame(nullptr, wxID_ANY, "test", wxDefaultPosition, wxSize(400, 500));
        view = new CExpressFolderView(frame, &ui);
        frame->Show();
        frame->Layout();
        PumpEvents();
        CExpressFolderView::SetMenuTracker([this](CExpressFolderView& v, wxMenu& menu,
                                                  const wxPoint&) {
            ++menu_.calls;
            wxTreeItemId sel = v.GetTree()->GetSelection();
            menu_.selectedAtOpen = sel.IsOk() ? v.GetTree()->GetItemText(sel).utf8_string() : "";
            for (wxMenuItem* item : menu.GetMenuItems()) {
                menu_.ids.push_back(static_cast<int>(res::CommandId(item->GetId())));
                menu_.labels.push_back(item->GetItemLabel().utf8_string());
            }
            return 0;
        });
    }
    void TearDown() override {
        CExpressFolderView::SetMenuTracker(nullptr);
        if (frame) frame->Destroy();
        PumpEvents();
    }

    wxTreeItemId Find(const std::string& text) { return FindItem(*view->GetTree(), text); }
    std::vector<std::string> RootTexts() {
        std::vector<std::string> out;
        wxTreeCtrl* tree = view->GetTree();
        wxTreeItemIdValue cookie;
        for (wxTreeItemId c = tree->GetFirstChild(tree->GetRootItem(), cookie); c.IsOk();
             c = tree->GetNextChild(tree->GetRootItem(), cookie))
            out.push_back(tree->GetItemText(c).utf8_string());
        return out;
    }
    // A right click as the tree reports it: a context menu event at a screen point.
    void RightClick(const wxPoint& screen) {
        wxContextMenuEvent event(wxEVT_CONTEXT_MENU, view->GetTree()->GetId(), screen);
        event.SetEventObject(view->GetTree());
        view->GetTree()->GetEventHandler()->ProcessEvent(event);
    }
    wxPoint CentreOf(const wxTreeItemId& item) {
        wxRect rect;
        EXPECT_TRUE(view->GetTree()->GetBoundingRect(item, rect, true));
        return view->GetTree()->ClientToScreen(rect.GetPosition() +
                                               wxSize(rect.width / 2, rect.height / 2));
    }

    std::string SampleRoot() { return std::string(KESTREL_SOURCE_DIR) + "/samples/store"; }

    ScriptedMessageBox ui;
    wxFrame* frame = nullptr;
    CExpressFolderView* view = nullptr;
    MenuSeen menu_;
};

TEST_F(FolderViewTest, ShowsTheSampleStoreWithItsConnectingItem) {
    Open(SampleRoot());
    EXPECT_TRUE(ui.shown.empty());
    ASSERT_NE(view->GetExtractorClient(), nullptr);
    EXPECT_TRUE(view->GetExtractorClient()->IsCreated());
    // Idle-time updates leave the tree usable.
    EXPECT_TRUE(view->GetTree()->IsThisEnabled());
    EXPECT_TRUE(view->IsThisEnabled());
    EXPECT_EQ(RootTexts(),
              (std::vector<std::string>{"Hotmail (jane)", "pop.example", "pop.example.com",
                                        "Outlook Express", "Maildir", "Local Folders"}));
    wxTreeCtrl* tree = view->GetTree();
    // An mbox sub-folder sits under its folder, with the record that names its file.
    wxTreeItemId trips = Find("Trips");
    ASSERT_TRUE(trips.IsOk());
    EXPECT_EQ(tree->GetItemText(tree->GetItemParent(trips)), "Inbox");
    EXPECT_EQ(tree->GetItemText(tree->GetItemParent(tree->GetItemParent(trips))), "Local Folders");
    ASSERT_NE(view->GetItemRecord(trips), nullptr);
    EXPECT_EQ(view->GetItemRecord(trips)->Source, &kMboxFileKind);
    wxTreeItemId first = Find("Hotmail (jane)");
    EXPECT_TRUE(tree->IsExpanded(first));
    EXPECT_FALSE(tree->IsExpanded(Find("pop.example.com")));

    wxTreeItemId connecting = Find("pop.example.com");
    EXPECT_EQ(view->GetItemRecord(connecting), nullptr);
    EXPECT_EQ(tree->GetItemImage(connecting), 7);
    EXPECT_EQ(tree->GetItemImage(connecting, wxTreeItemIcon_Selected), 7);
    EXPECT_EQ(tree->GetChildrenCount(connecting, false), 2u);

    wxTreeItemId family = Find("Family");
    ASSERT_TRUE(family.IsOk());
    const FolderRecord* record = view->GetItemRecord(family);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->RelativePath, "Hotmail (jane)/Inbox/Family");
    EXPECT_EQ(tree->GetItemImage(family), 7);
    EXPECT_EQ(tree->GetItemImage(family, wxTreeItemIcon_Selected), 0);
}

TEST_F(FolderViewTest, RightClickSelectsTheItemBeforeTheMenuOpens) {
    Open(SampleRoot());
    wxTreeCtrl* tree = view->GetTree();
    tree->SelectItem(Find("Hotmail (jane)"));
    RightClick(CentreOf(Find("Sent Items")));
    ASSERT_EQ(menu_.calls, 1);
    EXPECT_EQ(menu_.selectedAtOpen, "Sent Items");
    EXPECT_EQ(menu_.ids, (std::vector<int>{32776, 32775, 32795, 32794, 32792, 32793}));
    EXPECT_EQ(menu_.labels.front(), "&Extract AttachmentsTo ...");
    for (const std::string& label : menu_.labels)
        EXPECT_FALSE(label.empty());

    EXPECT_EQ(view->GetSelectedFolderName(), "Sent Items");
    EXPECT_EQ(view->GetSelectedFolderPath(), SampleRoot() + "/Hotmail (jane)/Sent Items/");
    EXPECT_EQ(TheSettings().LastMailFolder, SampleRoot() + "/Hotmail (jane)/Sent Items/");
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(FolderViewTest, RightClickBesideTheItemsAsksForAMailBoxButAnywhereOnARowHitsIt) {
    Open(SampleRoot());
    wxTreeCtrl* tree = view->GetTree();
    tree->SelectItem(Find("Inbox"));
    wxSize size = tree->GetClientSize();
    RightClick(tree->ClientToScreen(wxPoint(size.x / 2, size.y - 3)));
    EXPECT_EQ(menu_.calls, 0);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Please Choice the MailBox");
    EXPECT_EQ(view->GetSelectedFolderName(), "Inbox"); // the selection stays

    // The menu key and Shift+F10 open the menu on the selected folder.
    for (int key : {int(WXK_MENU), int(WXK_F10)}) {
        wxKeyEvent press(wxEVT_KEY_DOWN);
        press.m_keyCode = key;
        press.m_shiftDown = key == WXK_F10;
        tree->GetEventHandler()->ProcessEvent(press);
    }
    EXPECT_EQ(menu_.calls, 2);
    EXPECT_EQ(menu_.selectedAtOpen, "Inbox");

    // Right of the text and on the expander are the row too.
    wxRect row;
    ASSERT_TRUE(tree->GetBoundingRect(Find("Sent Items"), row, true));
    RightClick(tree->ClientToScreen(wxPoint(size.x - 4, row.y + row.height / 2)));
    EXPECT_EQ(menu_.selectedAtOpen, "Sent Items");
    ASSERT_TRUE(tree->GetBoundingRect(Find("Inbox"), row, true));
    RightClick(tree->ClientToScreen(wxPoint(row.x - 20, row.y + row.height / 2)));
    EXPECT_EQ(menu_.selectedAtOpen, "Inbox");
    EXPECT_EQ(menu_.calls, 4);
    EXPECT_EQ(ui.shown.size(), 1u);
}

TEST_F(FolderViewTest, ConnectingItemHasNoFolderPath) {
    Open(SampleRoot());
    RightClick(CentreOf(Find("pop.example.com")));
    ASSERT_EQ(menu_.calls, 1);
    TheSettings().LastMailFolder = "/previous/";
    EXPECT_EQ(view->GetSelectedFolderPath(), "");
    EXPECT_EQ(TheSettings().LastMailFolder, "");
    EXPECT_EQ(view->GetSelectedFolderName(), "");
    EXPECT_EQ(view->GetSelectedFolderId(), 0u);
}

TEST_F(FolderViewTest, EmptyStoreGivesAnEmptyTree) {
    TempDir empty;
    Open(empty.path());
    EXPECT_TRUE(RootTexts().empty());
    ASSERT_EQ(ui.shown.size(), 1u) << ui.LastText();
    EXPECT_EQ(ui.shown[0].text, kNoStoreMessage);
    EXPECT_EQ(view->GetSelectedFolderPath(), "");
    RightClick(view->GetTree()->ClientToScreen(wxPoint(10, 10)));
    EXPECT_EQ(menu_.calls, 0);
    ASSERT_EQ(ui.shown.size(), 2u);
    EXPECT_EQ(ui.shown[1].text, "Please Choice the MailBox");
}

} // namespace
