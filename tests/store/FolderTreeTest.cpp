#include <gtest/gtest.h>

#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/Settings.h"
#include "store/FolderSelection.h"
#include "store/FolderTree.h"

namespace {

FolderRecord Record(const std::string& relative, const std::string& display) {
    FolderRecord r;
    r.RelativePath = relative;
    r.DisplayName = display;
    r.FullPath = "/store/" + relative;
    return r;
}

// One line per item, indented by depth; connecting items in brackets, folder items with the
// index of their record.
void Dump(const FolderTree& tree, int item, int depth, std::string& out) {
    for (int child : tree.ChildrenOf(item)) {
        const FolderTreeItem& it = tree.Items[child];
        EXPECT_EQ(it.Parent, item);
        EXPECT_LT(item, child);
        EXPECT_EQ(it.Image, 7);
        out += std::string(depth * 2, ' ');
        if (it.Record < 0) {
            EXPECT_EQ(it.SelectedImage, 7);
            out += "[" + it.Text + "]\n";
        } else {
            EXPECT_EQ(it.SelectedImage, 0);
            out += it.Text + " #" + std::to_string(it.Record) + "\n";
        }
        Dump(tree, child, depth + 1, out);
    }
}

std::string Dump(const std::vector<FolderRecord>& folders) {
    FolderTree tree = BuildFolderTree(folders);
    std::string out;
    Dump(tree, -1, 0, out);
    return out;
}

struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> folders; // relative path, display name
    std::string expected;
};

class FolderTreeShape : public ::testing::TestWithParam<Case> {};

TEST_P(FolderTreeShape, PlacesEveryRecord) {
    std::vector<FolderRecord> folders;
    for (const auto& [relative, display] : GetParam().folders)
        folders.push_back(Record(relative, display));
    EXPECT_EQ(Dump(folders), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderTreeShape,
    ::testing::Values(
        Case{"Empty", {}, ""},
        Case{"NestedInListOrder",
             {{"Hotmail (jane)", "Hotmail (jane)"},
              {"Hotmail (jane)/Sent Items", "Sent Items"},
              {"Hotmail (jane)/Inbox", "Inbox"},
              {"Hotmail (jane)/Inbox/Family", "Family"}},
             "Hotmail (jane) #0\n  Sent Items #1\n  Inbox #2\n    Family #3\n"},
        // The account item shows the name without its extension, so its folders are found
        // under a connecting item with the full name.
        Case{"DottedAccount",
             {{"pop.example.com", "pop.example"},
              {"pop.example.com/Sent Items", "Sent Items"},
              {"pop.example.com/Inbox", "Inbox"}},
             "pop.example #0\n[pop.example.com]\n  Sent Items #1\n  Inbox #2\n"},
        Case{"DottedFolderDeeper",
             {{"acc", "acc"},
              {"acc/Old.2019", "Old"},
              {"acc/Old.2019/May", "May"},
              {"acc/Old.2019/June", "June"},
              {"acc/Inbox", "Inbox"}},
             "acc #0\n  Old #1\n  [Old.2019]\n    May #2\n    June #3\n  Inbox #4\n"},
        Case{"ComponentsMatchCaseSensitively",
             {{"Acc", "Acc"}, {"Acc/Inbox", "Inbox"}, {"acc/Inbox", "Inbox"}},
             "Acc #0\n  Inbox #1\n[acc]\n  Inbox #2\n"},
        Case{"FirstOfEqualTextsWins",
             {{"a", "x"}, {"b", "x"}, {"x/Inbox", "Inbox"}},
             "x #0\n  Inbox #2\nx #1\n"},
        Case{"EmptyRelativePathAtRoot", {{"", "store"}, {"acc", "acc"}}, "store #0\nacc #1\n"},
        // A parent without children yet holds no component: the folder goes to the root level.
        Case{"ChildlessParentSendsToRoot",
             {{"a", "a"}, {"a/b/c", "c"}, {"a/b", "b"}},
             "a #0\n  b #2\nc #1\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FolderTreeTest, SampleStoreGetsOneConnectingItem) {
    StoreDiscovery d;
    ScriptedMessageBox ui;
    d.DiscoverFolders(std::string(KESTREL_SOURCE_DIR) + "/samples/store/", &ui);
    EXPECT_TRUE(ui.shown.empty());
    FolderTree tree = BuildFolderTree(d.Folders);
    int connecting = 0;
    for (const FolderTreeItem& it : tree.Items) {
        if (it.Record < 0) {
            ++connecting;
            EXPECT_EQ(it.Text, "pop.example.com");
            EXPECT_EQ(it.Parent, -1);
            EXPECT_EQ(it.Children.size(), 2u);
        } else {
            EXPECT_EQ(it.Text, d.Folders[it.Record].DisplayName);
        }
    }
    EXPECT_EQ(connecting, 1);
    EXPECT_EQ(tree.Items.size(), d.Folders.size() + 1);
}

TEST(FolderTreeTest, LevelOrderIsRowByRowInTheOrderOfTheParents) {
    std::vector<FolderRecord> folders = {Record("a", "a"), Record("a/b", "b"), Record("a/b/c", "c"),
                                         Record("d", "d"), Record("d/e", "e"), Record("a/f", "f")};
    FolderTree tree = BuildFolderTree(folders);
    std::string order;
    for (int item : LevelOrder(tree))
        order += tree.Items[item].Text;
    EXPECT_EQ(order, "adbfec");
}

TEST(FolderSelectionTest, PathNameAndId) {
    AppSettings settings;
    ScriptedMessageBox ui;
    FolderRecord r = Record("acc/Inbox", "Inbox");
    r.ExpressFolderId = 42;
    EXPECT_EQ(SelectedFolderPath(&r, settings, ui), "/store/acc/Inbox/");
    EXPECT_EQ(settings.LastMailFolder, "/store/acc/Inbox/");
    EXPECT_EQ(FolderMessageFile(&r), ""); // a folder of .eml files has no message file
    EXPECT_EQ(FolderMailboxPath(&r), "/store/acc/Inbox");
    EXPECT_EQ(FolderMessageFile(nullptr), "");
    EXPECT_EQ(FolderMailboxPath(nullptr), "");
    TempDir store;
    store.Write("msgs.dbx", "");
    r.FullPath = store.path();
    r.PathSuffix = "msgs.dbx";
    EXPECT_EQ(SelectedFolderPath(&r, settings, ui), store.path() + "/msgs.dbx");
    EXPECT_EQ(FolderMessageFile(&r), store.path() + "/msgs.dbx");
    EXPECT_EQ(FolderMailboxPath(&r), store.path() + "/msgs.dbx");
    EXPECT_EQ(SelectedFolderName(&r, ui), "Inbox");
    EXPECT_EQ(SelectedFolderId(&r), 42u);
    EXPECT_EQ(SelectedFolderId(nullptr), 0u);
    EXPECT_TRUE(ui.shown.empty());
}

TEST(FolderSelectionTest, MissingPathOrNameIsSaidAndEmpty) {
    AppSettings settings;
    ScriptedMessageBox ui;
    FolderRecord r = Record("acc", "");
    r.FullPath.clear();
    settings.LastMailFolder = "/old/";
    EXPECT_EQ(SelectedFolderPath(&r, settings, ui), "");
    EXPECT_EQ(settings.LastMailFolder, "");
    settings.LastMailFolder = "/old/";
    EXPECT_EQ(SelectedFolderPath(nullptr, settings, ui), ""); // a connecting item
    EXPECT_EQ(settings.LastMailFolder, "");
    EXPECT_EQ(SelectedFolderName(&r, ui), "");
    EXPECT_EQ(SelectedFolderName(nullptr, ui), "");
    ASSERT_EQ(ui.shown.size(), 3u);
    EXPECT_EQ(ui.shown[0].text, "Can't Find Mail Folder Path Error!!");
    EXPECT_EQ(ui.shown[1].text, "Can't Find Mail Folder Path Error!!");
    EXPECT_EQ(ui.shown[2].text, "Get Express Folder Path Error!!");
}

} // namespace
