// The store component through the program's own calls: a folder's attachments extracted, the
// message dialog's list and buttons, and the store left exactly as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>

#include "DbxWriter.h"
#include "ScriptedProgress.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "engine/ExpressStoreAccess.h"
#include "store/StoreDiscovery.h"

namespace fs = std::filesystem;

namespace {

// Every file of the store with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = ReadFileText(e.path().string());
    return files;
}

FolderRecord Record(const std::string& store, const std::string& file, std::uint32_t id) {
    FolderRecord r;
    r.FullPath = store;
    r.PathSuffix = file;
    r.ExpressFolderId = id;
    return r;
}

class StoreComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        store = dir.MakeDir("store");
        dest = dir.MakeDir("dest");
        ASSERT_TRUE(WriteExpressTestStore(store));
        storeNamespace = CreateStoreNamespace(ui);
        ASSERT_TRUE(storeNamespace);
        ASSERT_TRUE(ui.shown.empty());
    }

    ScopedEnv registry{"KESTREL_CLASS_REGISTRY",
                       std::string(KESTREL_OUTPUT_DIR) + "/kestrel-classes.reg"};
    TempDir dir;
    std::string store, dest;
    ScriptedMessageBox ui;
    CStoreRef<platform::IStoreNamespace> storeNamespace;
};

} // namespace

TEST_F(StoreComponentTest, ExtractsTheFolderBesideWhatIsThereAndLeavesTheStoreAlone) {
    auto before = Snapshot(store);
    // A file already there is kept, and a link put there is not written through.
    dir.Write("dest/photo1.jpg", "mine");
    std::string outside = dir.Write("outside.jpg", "outside");
    ASSERT_EQ(symlink(outside.c_str(), (dest + "/photo2.jpg").c_str()), 0);

    FolderRecord inbox = Record(store, "Inbox.dbx", 2);
    ASSERT_EQ(PrepareStoreFolder(storeNamespace.Get(), &inbox), "");
    CScriptedProgress progress;
    ExtractStoreFolder(storeNamespace.Get(), 2, dest, progress, ui);
    EXPECT_TRUE(ui.shown.empty()) << ui.shown.front().text;
    // "notes.txt" and the unnamed part (ATT00002.dat) are left out.
    EXPECT_EQ(EntryNames(dest), (std::set<std::string>{"photo1.jpg", "photo1 (2).jpg", "photo2.jpg",
                                                  "photo2 (2).jpg", "photo3.jpg"}));
    EXPECT_EQ(ReadFileText(dest + "/photo1.jpg"), "mine");
    EXPECT_EQ(ReadFileText(dest + "/photo1 (2).jpg"), "content of photo1.jpg");
    EXPECT_EQ(ReadFileText(outside), "outside");
    EXPECT_EQ(progress.TitleLines, (std::vector<std::string>{"Current Folder: Inbox(1/3)",
                                                             "Current Folder: Inbox(2/3)",
                                                             "Current Folder: Inbox(3/3)"}));
    EXPECT_EQ(progress.StatusLines.front(), "Message 1");
    EXPECT_EQ(progress.GetPos(), 3);
    EXPECT_FALSE(progress.IsOpen());

    // The dialog's list and buttons: changes are refused, the rest reads.
    COEMessageList list(ui);
    ASSERT_TRUE(list.SetFolder(storeNamespace.Get(), 2));
    EXPECT_EQ(list.GetCaption(), "Inbox - Messages");
    auto entries = list.ListMessages();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].text, "Sender 2      Message 2");
    EXPECT_FALSE(list.MarkAsRead(entries[0].id, true));
    EXPECT_FALSE(list.MarkAsRead(entries[0].id, false));
    EXPECT_FALSE(list.Delete(entries[0].id));
    list.View(entries[0].id);
    EXPECT_FALSE(list.CopyOrMove(entries[0].id, false));
    EXPECT_TRUE(list.CopyOrMove(entries[0].id, true));
    std::string testFolder = dir / "test-extract";
    EXPECT_TRUE(list.TestExtract(entries[2].id, testFolder));
    EXPECT_EQ(EntryNames(testFolder), std::set<std::string>{"photo3.jpg"});
    ASSERT_EQ(ui.shown.size(), 3u);
    EXPECT_EQ(ui.shown[0].text, "Error marking message.");
    EXPECT_EQ(ui.shown[2].text, "Error deleting message.");
    EXPECT_EQ(ui.shown[2].caption, "Demo Error");
    EXPECT_EQ(list.ListMessages().size(), 3u);
    EXPECT_EQ(Snapshot(store), before);
}

// Folders that cannot be extracted say why, once, and leave nothing behind.
TEST_F(StoreComponentTest, FoldersThatCannotBeExtractedSayWhy) {
    struct Case {
        const char* name;
        FolderRecord record;
        int cancelAfter;
        std::vector<std::string> messages;
        std::size_t files;
    } cases[] = {
        {"no folder id", Record(store, "", 0), -1, {"Get Express Folder ID Error!!"}, 0},
        {"missing message file", Record(store, "Lost.dbx", 4), -1,
         {"The message file of this folder is missing:\n" + store + "/Lost.dbx"}, 0},
        {"unknown id", Record(store, "", 99), -1, {"Error opening folder."}, 0},
        {"container", Record(store, "", 1), -1, {}, 0},
        {"empty folder", Record(store, "Drafts.dbx", 3), -1, {}, 0},
        {"cancelled", Record(store, "Inbox.dbx", 2), 1, {"Progress Cancelled"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        ui.shown.clear();
        std::string why = PrepareStoreFolder(storeNamespace.Get(), &c.record);
        if (!why.empty()) {
            ui.shown.push_back({why, kAppTitle});
        } else {
            CScriptedProgress progress(c.cancelAfter);
            ExtractStoreFolder(storeNamespace.Get(), c.record.ExpressFolderId, out.path(), progress, ui);
            EXPECT_FALSE(progress.IsOpen());
        }
        std::vector<std::string> shown;
        for (const auto& s : ui.shown) shown.push_back(s.text);
        EXPECT_EQ(shown, c.messages);
        EXPECT_EQ(EntryNames(out.path()).size(), c.files);
    }
}

// The display name's cut and the skipped names; nothing leaves the destination.
TEST_F(StoreComponentTest, AttachmentNamesFollowTheCutAndTheSkipRules) {
    std::string text = "From: a@example.org\r\nSubject: names\r\nMIME-Version: 1.0\r\n"
                       "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                       "--b\r\nContent-Type: text/plain\r\n\r\nbody\r\n";
    for (const char* name : {"ATTACH.doc", "att.doc", "list.txt", "LIST.TXT", "../up.bin",
                             "a (1).pdf", "x/y\\z.png"}) // a quoted "\\z" is "z"
        text += std::string("--b\r\nContent-Type: application/octet-stream\r\n"
                            "Content-Disposition: attachment; filename=\"") +
                name + "\"\r\n\r\ndata\r\n";
    text += "--b--\r\n";
    DbxTestMessage m;
    m.subject = "names";
    m.text = text;
    ASSERT_TRUE(WriteBytes(store + "/Inbox.dbx", BuildDbxMessageFile({m})));
    CScriptedProgress progress;
    FolderRecord inbox = Record(store, "Inbox.dbx", 2);
    ASSERT_EQ(PrepareStoreFolder(storeNamespace.Get(), &inbox), "");
    ExtractStoreFolder(storeNamespace.Get(), 2, dest, progress, ui);
    EXPECT_EQ(EntryNames(dest),
              (std::set<std::string>{"att.doc", "LIST.TXT", "up.bin", "a (1).pdf", "yz.png"}));
    EXPECT_FALSE(fs::exists(dir / "up.bin"));
}

// A folder name fills the folder properties' 256-byte field at most to its last byte but one,
// cut where a character begins, so the name stays terminated and valid UTF-8.
TEST_F(StoreComponentTest, LongFolderNamesAreCutToTheirField) {
    const std::string e = "\xC3\xA9"; // é
    struct Case {
        const char* name;
        std::string folderName, shown;
    } cases[] = {
        {"fits", std::string(255, 'a'), std::string(255, 'a')},
        {"one over", std::string(256, 'b'), std::string(255, 'b')},
        {"two over", std::string(257, 'c'), std::string(255, 'c')},
        {"far over", std::string(300, 'd'), std::string(255, 'd')},
        {"character on the edge", std::string(254, 'e') + e, std::string(254, 'e')},
        {"character before the edge", std::string(253, 'f') + e + "g", std::string(253, 'f') + e},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteBytes(store + "/Folders.dbx",
                               BuildDbxFolderFile({{"Root", "", 0, 0xFFFFFFFF, true},
                                                   {c.folderName, "Inbox.dbx", 2, 0}})));
        FolderRecord inbox = Record(store, "Inbox.dbx", 2);
        ASSERT_EQ(PrepareStoreFolder(storeNamespace.Get(), &inbox), "");
        auto props = std::make_unique<platform::FOLDERPROPS>();
        props->cbSize = sizeof(platform::FOLDERPROPS);
        ASSERT_EQ(storeNamespace->GetFolderProps(2, 0, props.get()), 0);
        EXPECT_EQ(std::string(props->szName), c.shown);
        EXPECT_EQ(props->cMessage, static_cast<platform::DWORD>(kExpressInboxMessages));
        COEMessageList list(ui);
        ASSERT_TRUE(list.SetFolder(storeNamespace.Get(), 2));
        EXPECT_EQ(list.GetCaption(), c.shown + " - Messages");
    }
}
