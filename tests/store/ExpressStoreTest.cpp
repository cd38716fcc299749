#include <gtest/gtest.h>

#include <sys/stat.h>

#include "DbxWriter.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/Settings.h"
#include "store/ExpressStore.h"
#include "store/FolderSelection.h"
#include "store/FolderTree.h"

namespace {

const char* kGuid = "{0A1B2C3D-1111-2222-3333-444455556666}";

std::string Rows(const std::vector<FolderRecord>& folders, std::size_t from = 0) {
    std::string out;
    for (std::size_t i = from; i < folders.size(); ++i)
        out += folders[i].DisplayName + "|" + folders[i].RelativePath + "|" +
               folders[i].PathSuffix + "|" + std::to_string(folders[i].ExpressFolderId) + "\n";
    return out;
}

} // namespace

// A store copied from an old machine, found by the walk beside an account of the other kind,
// named by the Wine prefix's registry; its tree, paths and the missing message file.
TEST(ExpressStore, StoreUnderTheRootIsListedUnderItsIdentity) {
    TempDir root, wine;
    root.Write("WLM/a.oeaccount", "x");
    root.MakeDir("WLM/Inbox");
    std::string store = root.MakeDir(std::string("old/Identities/") + kGuid +
                                     "/Microsoft/Outlook Express");
    ASSERT_TRUE(WriteExpressTestStore(store));
    wine.Write("user.reg", "WINE REGISTRY Version 2\n\n[Identities\\\\" + std::string(kGuid) +
                               "] 1700000000\n\"Last Username\"=\"x\"\n"
                               "\"Username\"=\"Jane \\\"J\\\" D\\x00f6e\"\r\n");
    ScopedEnv prefix("WINEPREFIX", wine.path());

    StoreDiscovery d;
    ScriptedMessageBox ui;
    d.DiscoverFolders(root.path() + "/", &ui);
    EXPECT_TRUE(ui.shown.empty());
    ASSERT_EQ(d.Folders.size(), 8u);
    EXPECT_EQ(Rows(d.Folders, 2), "Jane \"J\" Döe|Jane \"J\" Döe||0\n"
                                  "Local Folders|Jane \"J\" Döe/Local Folders||1\n"
                                  "Inbox|Jane \"J\" Döe/Local Folders/Inbox|Inbox.dbx|2\n"
                                  "Family|Jane \"J\" Döe/Local Folders/Inbox/Family|Family.dbx|5\n"
                                  "Drafts|Jane \"J\" Döe/Local Folders/Drafts|Drafts.dbx|3\n"
                                  "Lost|Jane \"J\" Döe/Local Folders/Lost|Lost.dbx|4\n");
    for (std::size_t i = 2; i < d.Folders.size(); ++i) EXPECT_EQ(d.Folders[i].FullPath, store);
    ASSERT_EQ(d.Identities.size(), 1u);
    EXPECT_EQ(d.Identities[0].Name, "Jane \"J\" Döe");

    // The tree: the identity at the root level beside the account, every folder under its parent.
    FolderTree tree = BuildFolderTree(d.Folders);
    ASSERT_EQ(tree.Roots.size(), 2u);
    const FolderTreeItem& inbox = tree.Items[tree.Items[tree.Items[tree.Roots[1]].Children[0]].Children[0]];
    EXPECT_EQ(inbox.Text, "Inbox");
    ASSERT_EQ(inbox.Children.size(), 1u);
    EXPECT_EQ(tree.Items[inbox.Children[0]].Text, "Family");

    // The folder path names the message file; a missing one is said and gives no path.
    AppSettings settings;
    EXPECT_EQ(SelectedFolderPath(&d.Folders[4], settings, ui), store + "/Inbox.dbx");
    EXPECT_EQ(SelectedFolderPath(&d.Folders[7], settings, ui), "");
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "The message file of this folder is missing:\n" + store + "/Lost.dbx");
    EXPECT_EQ(settings.LastMailFolder, "");
}

// With the default root the identity folders of the Wine prefix are searched too; without a
// registry name the identity is named after the store's root folder, and two stores of one
// name stay apart.
TEST(ExpressStore, DefaultRootFindsTheWinePrefixsIdentities) {
    TempDir wine;
    ScopedEnv prefix("WINEPREFIX", wine.path());
    AppSettings settings;
    StoreDiscovery d;
    std::string root = d.ResolveStoreRoot(settings);
    std::string user = d.UserName;
    std::string xp = wine.MakeDir("drive_c/users/" + user +
                                  "/Local Settings/Application Data/Identities/{A}/Microsoft/Outlook Express");
    std::string later = wine.MakeDir("drive_c/users/" + user +
                                     "/AppData/Local/Identities/{B}/Microsoft/Outlook Express");
    ASSERT_TRUE(WriteExpressTestStore(xp));
    ASSERT_TRUE(WriteExpressTestStore(later));
    ScriptedMessageBox ui;
    d.DiscoverFolders(root, &ui);
    EXPECT_TRUE(ui.shown.empty());
    ASSERT_EQ(d.Folders.size(), 12u);
    EXPECT_EQ(d.Folders[0].DisplayName, "Outlook Express");
    EXPECT_EQ(d.Folders[6].DisplayName, "Outlook Express (2)");
    EXPECT_EQ(d.Folders[8].RelativePath, "Outlook Express (2)/Local Folders/Inbox");
    ASSERT_EQ(d.Identities.size(), 2u);
    EXPECT_EQ(d.Identities[1].Name, "Outlook Express (2)");
}

// Every broken folder file is named in a message and lists nothing; discovery goes on.
TEST(ExpressStore, BrokenFolderFilesAreReportedAndSkipped) {
    std::vector<DbxTestFolder> folders = {{"Outlook Express", "", 0, 0xFFFFFFFF},
                                          {"Inbox", "Inbox.dbx", 2, 0}};
    DbxWriterOptions loop, cut, signature;
    loop.treeLoop = true, loop.entriesPerNode = 1, loop.itemCountDelta = 3;
    cut.truncateTo = 0x100;
    signature.signatureWord = 0, signature.signatureValue = 1;
    struct Case {
        const char* name;
        std::string bytes;
        const char* why;
    } cases[] = {
        {"index loop", BuildDbxFolderFile(folders, loop), "Index Pointer"},
        {"cut", BuildDbxFolderFile(folders, cut), "Index Pointer"},
        {"signature", BuildDbxFolderFile(folders, signature), "DBX File operation failed"},
        {"a message file", BuildDbxMessageFile({}), "is not a folder file"},
        {"empty", "", "DBX File operation failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir root;
        std::string file = root.Write("store/Folders.dbx", c.bytes);
        ScriptedMessageBox ui;
        StoreDiscovery d;
        d.DiscoverFolders(root.path() + "/", &ui);
        EXPECT_TRUE(d.Folders.empty());
        ASSERT_EQ(ui.shown.size(), 1u);
        EXPECT_EQ(ui.shown[0].text.rfind("Can't read the Outlook Express folder list " + file + ": ", 0), 0u);
        EXPECT_NE(ui.shown[0].text.find(c.why), std::string::npos) << ui.shown[0].text;
    }
    // A fifo in its place is refused without waiting for a writer.
    TempDir root;
    root.MakeDir("store");
    ASSERT_EQ(mkfifo((root / "store/Folders.dbx").c_str(), 0600), 0);
    ScriptedMessageBox ui;
    StoreDiscovery d;
    d.DiscoverFolders(root.path() + "/", &ui);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_NE(ui.shown[0].text.find("fifo"), std::string::npos);
}

// A folder's id and its parent's are read from the entry (24 bits) or from the values area (32
// bits), whichever the writer chose; the root's parent is "none" in either form.
TEST(ExpressStore, FolderNumbersAreReadInEitherForm) {
    struct Case {
        const char* name;
        bool rootInValues, restInValues;
        std::uint32_t rootParent;
    } cases[] = {
        {"all in the entries", false, false, 0xFFFFFF},
        {"root in the values", true, false, 0xFFFFFFFF},
        {"all in the values", true, true, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<DbxTestFolder> folders = {{"Outlook Express", "", 0, c.rootParent, c.rootInValues},
                                              {"Local Folders", "", 1, 0, c.restInValues},
                                              {"Inbox", "Inbox.dbx", 0x1000002, 1, c.restInValues},
                                              {"Family", "Family.dbx", 5, 0x1000002, c.restInValues}};
        ASSERT_TRUE(WriteBytes(dir.path() + "/Folders.dbx", BuildDbxFolderFile(folders)));
        platform::Result<std::vector<ExpressFolder>> read =
            ReadExpressFolders(dir.path() + "/Folders.dbx");
        ASSERT_TRUE(read) << read.GetStatus().Reason();
        EXPECT_EQ(Rows(ExpressFolderRecords(read.Value(), "/store", "S")),
                  c.restInValues ? "S|S||0\nLocal Folders|S/Local Folders||1\n"
                                   "Inbox|S/Local Folders/Inbox|Inbox.dbx|16777218\n"
                                   "Family|S/Local Folders/Inbox/Family|Family.dbx|5\n"
                                 // 24 bits keep the low part of a wider id, on both sides
                                 : "S|S||0\nLocal Folders|S/Local Folders||1\n"
                                   "Inbox|S/Local Folders/Inbox|Inbox.dbx|2\n"
                                   "Family|S/Local Folders/Inbox/Family|Family.dbx|5\n");
    }
}

// Folder lists that do not form a tree still give every folder once, after its parent, and a
// message file name that would leave the store folder is not used. A chain deeper than the
// levels shown is placed at the last level, whether it hangs from the root or from an orphan.
TEST(ExpressStore, EveryFolderOnceWhateverTheParentIds) {
    struct Case {
        std::string name;
        std::vector<ExpressFolder> folders;
        std::string rows;
    } cases[] = {
        {"no root",
         {{7, 9, "A", "a.dbx"}, {8, 7, "B", "b.dbx"}},
         "S|S||0\nA|S/A|a.dbx|7\nB|S/A/B|b.dbx|8\n"},
        {"parent loop",
         {{0, kExpressNoParent, "R", ""}, {1, 2, "X", "x.dbx"}, {2, 1, "Y", "y.dbx"}},
         "S|S||0\nX|S/X|x.dbx|1\nY|S/X/Y|y.dbx|2\n"},
        {"own parent, second root, unsafe names",
         {{0, kExpressNoParent, "R", ""}, {3, 3, "a/b", "../up.dbx"}, {4, kExpressNoParent, "R2", "/etc/x"},
          {5, 0, "..", ".."}},
         "S|S||0\n__|S/__||5\na_b|S/a_b||3\nR2|S/R2||4\n"},
        {"orphans listed before their parents",
         {{3, 2, "C", ""}, {2, 1, "B", ""}, {1, 50, "A", ""}, {4, 6, "D", ""}, {5, 4, "E", ""}, {6, 5, "F", ""}},
         "S|S||0\nA|S/A||1\nB|S/A/B||2\nC|S/A/B/C||3\nD|S/D||4\nE|S/D/E||5\nF|S/D/E/F||6\n"},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (std::uint32_t top : {0u, 999u}) {
        Case deep{top ? "deep chain from an orphan" : "deep chain from the root", {}, "S|S||0\n"};
        if (!top) deep.folders.push_back({0, kExpressNoParent, "R", ""});
        std::string path = "S", lastLevel;
        for (std::uint32_t id = 1; id <= kMaxExpressFolderDepth + 3; ++id) {
            const std::string name = "f" + std::to_string(id);
            deep.folders.push_back({id, id == 1 ? top : id - 1, name, ""});
            if (id == kMaxExpressFolderDepth) lastLevel = path;
            path = (id > kMaxExpressFolderDepth ? lastLevel : path) + "/" + name;
            deep.rows += name + "|" + path + "||" + std::to_string(id) + "\n";
        }
        all.push_back(deep);
    }
    for (const Case& c : all) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Rows(ExpressFolderRecords(c.folders, "/store", "S")), c.rows);
    }
    // An identity's name is cleaned the same way.
    EXPECT_EQ(Rows(ExpressFolderRecords({{0, kExpressNoParent, "R", ""}, {1, 0, "Inbox", "i.dbx"}},
                                        "/store", "..")),
              "__|__||0\nInbox|__/Inbox|i.dbx|1\n");
}
