#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/Settings.h"
#include "store/FolderTree.h"
#include "store/StoreDiscovery.h"
#include "store/sources/DbxFileSource.h"
#include "store/sources/EmlFolderSource.h"
#include "store/sources/MaildirSource.h"
#include "store/sources/MboxFileSource.h"
#include "store/sources/PstSource.h"

namespace {

struct Row {
    std::string display, relative;
};

std::vector<Row> Discover(const std::string& root, ScriptedMessageBox& ui) {
    StoreDiscovery d;
    d.DiscoverFolders(root, &ui);
    EXPECT_EQ(d.StoreRoot, root);
    std::vector<Row> rows;
    for (const FolderRecord& f : d.Folders) {
        rows.push_back({f.DisplayName, f.RelativePath});
        if (f.RelativePath.empty())
            EXPECT_EQ(f.FullPath + "/", root); // an account file in the root itself
        else
            EXPECT_EQ(f.FullPath, root + f.RelativePath);
        EXPECT_TRUE(f.PathSuffix.empty());
    }
    return rows;
}

std::string Rows(const std::vector<Row>& rows) {
    std::string out;
    for (const Row& r : rows)
        out += r.display + "|" + r.relative + "\n";
    return out;
}

} // namespace

// Each account file's folder is listed, then the folders below it, deepest last and siblings
// in reverse order; a display name drops what follows a dot in the account's folder name and
// expands variables in a folder's.
TEST(StoreDiscovery, AccountFoldersAreListedParentFirstSiblingsReversed) {
    ScopedEnv var("KESTREL_STORE_VAR", "/var/mail/archive.box");
    const struct {
        std::vector<std::string> entries; // a name ending in "/" is a folder
        std::string rows;
    } cases[] = {
        // The account folder's relative path has no separator after it.
        {{"A/a.oeaccount", "A/Inbox/", "A/Sent Items/", "B/b.oeaccount", "B/Drafts/"},
         "A|A\nSent Items|A/Sent Items\nInbox|A/Inbox\n"},
        {{"acct/x.OEACCOUNT", "acct/inbox/Family/2009/", "acct/inbox/Work/"}, // any case
         "acct|acct\ninbox|acct/inbox\nWork|acct/inbox/Work\n"
         "Family|acct/inbox/Family\n2009|acct/inbox/Family/2009\n"},
        {{"pop.example.com/a.oeaccount", "pop.example.com/Inbox/",
          "pop.example.com/%KESTREL_STORE_VAR%/", "pop.example.com/Old mail.2004 box/"},
         "pop.example|pop.example.com\nOld mail.2004 box|pop.example.com/Old mail.2004 box\n"
         "Inbox|pop.example.com/Inbox\narchive|pop.example.com/%KESTREL_STORE_VAR%\n"},
        // An account file in the root lists the root itself (empty relative path) and everything
        // below it, the other account's folders included, after the sub-folder's account.
        {{"z.oeaccount", "Inbox/", "Sub/s.oeaccount", "Sub/Inbox/"},
         "Sub|Sub\nInbox|Sub/Inbox\n|\nSub|Sub\nInbox|Sub/Inbox\nInbox|Inbox\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entries.front());
        TempDir store;
        store.Lay("", c.entries);
        ScriptedMessageBox ui;
        EXPECT_EQ(Rows(Discover(store.path() + "/", ui)), c.rows);
        EXPECT_TRUE(ui.shown.empty());
    }
}

TEST(StoreDiscovery, SubFolderAccountFilesComeBeforeTheFolderOwn) {
    TempDir store;
    store.Lay("", {"z.oeaccount", "Inbox/", "Sub/s.oeaccount", "Sub/Inbox/"});
    EXPECT_EQ(StoreDiscovery::FindAccountFiles(store.path() + "/"),
              (std::vector<std::string>{store / "Sub/s.oeaccount", store / "z.oeaccount"}));
}

TEST(StoreDiscovery, MissingRootSaysWhereToSetThePathAndListsNothing) {
    TempDir dir;
    ScriptedMessageBox ui;
    EXPECT_TRUE(Discover(dir / "nowhere/", ui).empty());
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].text, "Can't find the Mailbox Path of Windows Live Mail!\nPlease go to "
                                "File->Preference to set the Mailbox Path");
    EXPECT_EQ(ui.shown[0].caption, "Kestrel");
}

TEST(StoreDiscovery, SymlinkLoopsAreEnteredOnceAndUnreadableFoldersSkipped) {
    TempDir store;
    store.Write("A/a.oeaccount", "x");
    store.MakeDir("A/Inbox");
    ASSERT_EQ(symlink("..", (store / "A/Inbox/loop").c_str()), 0);
    store.MakeDir("A/Locked/Deep");
    chmod((store / "A/Locked").c_str(), 0);
    // As an ordinary user: root would see through the lock.
    RunWithoutPrivileges([&] {
        ScriptedMessageBox ui;
        std::string text = Rows(Discover(store.path() + "/", ui));
        EXPECT_NE(text.find("Inbox|A/Inbox\n"), std::string::npos);
        EXPECT_EQ(text.find("loop/"), std::string::npos);
        EXPECT_EQ(text.find("Deep"), std::string::npos);
    });
}

TEST(StoreDiscovery, DefaultRootIsUnderTheWinePrefixAndIsStored) {
    ScopedEnv wine("WINEPREFIX", "/opt/wineprefix");
    AppSettings s;
    StoreDiscovery d;
    std::string root = d.ResolveStoreRoot(s);
    std::string user = d.UserName;
    EXPECT_FALSE(user.empty());
    EXPECT_EQ(root, "/opt/wineprefix/drive_c/Documents and Settings/" + user +
                        "/Local Settings/Application Data/Microsoft/Windows Live Mail/");
    EXPECT_EQ(s.KESTLMailFolderPath, root);
}

TEST(StoreDiscovery, ConfiguredRootLosesTrailingBlanksAndGainsASeparator) {
    AppSettings s;
    s.KESTLMailFolderPath = "/mail/store \t";
    StoreDiscovery d;
    EXPECT_EQ(d.ResolveStoreRoot(s), "/mail/store/");
    s.KESTLMailFolderPath = "/mail/store/";
    EXPECT_EQ(d.ResolveStoreRoot(s), "/mail/store//");
    EXPECT_EQ(s.KESTLMailFolderPath, "/mail/store/");
}

TEST(StoreDiscovery, BundledSampleStoreListsEveryKindOfStore) {
    std::string root = std::string(KESTREL_SOURCE_DIR) + "/samples/store/";
    ScriptedMessageBox ui;
    StoreDiscovery d;
    d.DiscoverFolders(root, &ui);
    EXPECT_TRUE(ui.shown.empty());
    std::string text;
    for (const FolderRecord& f : d.Folders)
        text += f.DisplayName + "|" + f.RelativePath + "|" + f.PathSuffix + "|" +
                std::to_string(f.ExpressFolderId) + "|" + f.FullPath.substr(root.size()) + "\n";
    EXPECT_EQ(
        text,
        "Hotmail (jane)|Hotmail (jane)||0|Hotmail (jane)\n"
        "Sent Items|Hotmail (jane)/Sent Items||0|Hotmail (jane)/Sent Items\n"
        "Inbox|Hotmail (jane)/Inbox||0|Hotmail (jane)/Inbox\n"
        "Family|Hotmail (jane)/Inbox/Family||0|Hotmail (jane)/Inbox/Family\n"
        "pop.example|pop.example.com||0|pop.example.com\n"
        "Sent Items|pop.example.com/Sent Items||0|pop.example.com/Sent Items\n"
        "Inbox|pop.example.com/Inbox||0|pop.example.com/Inbox\n"
        "Outlook Express|Outlook Express||0|Outlook Express\n"
        "Local Folders|Outlook Express/Local Folders||1|Outlook Express\n"
        "Inbox|Outlook Express/Local Folders/Inbox|Inbox.dbx|2|Outlook Express\n"
        "Old PC|Outlook Express/Local Folders/Inbox/Old PC|Old PC.dbx|5|Outlook Express\n"
        "Sent Items|Outlook Express/Local Folders/Sent Items|Sent Items.dbx|3|Outlook Express\n"
        "Deleted Items|Outlook Express/Local Folders/Deleted Items|Deleted Items.dbx|4|Outlook "
        "Express\n"
        "Maildir|Maildir||0|Maildir\n"
        "Friends|Maildir/Friends||0|Maildir/.Friends\n"
        "Local Folders|Local Folders||0|Thunderbird/k3strel.default/Mail/Local Folders\n"
        "Inbox|Local Folders/Inbox|Inbox|0|Thunderbird/k3strel.default/Mail/Local Folders\n"
        "Trips|Local Folders/Inbox/Trips|Trips|0|Thunderbird/k3strel.default/Mail/Local "
        "Folders/Inbox.sbd\n"
        "Sent|Local Folders/Sent|Sent|0|Thunderbird/k3strel.default/Mail/Local Folders\n");
    ASSERT_EQ(d.Identities.size(), 1u);
    EXPECT_EQ(d.Identities[0].Name, "Outlook Express");
}

namespace {

const char* KindName(const MailSourceKind* kind) {
    if (!kind) return "folders";
    if (kind == &kEmlFolderKind) return "eml";
    if (kind == &kDbxFileKind) return "dbx";
    if (kind == &kMboxFileKind) return "mbox";
    if (kind == &kMaildirKind) return "maildir";
    if (kind == &kPstFileKind) return "pst";
    return "?";
}

// Each record as "display|relative|kind|full path below the root|suffix", and the tree they
// make, which must need no connecting item: every folder finds its parent by the parent's text.
std::string DiscoverKinds(const std::string& root) {
    ScriptedMessageBox ui;
    StoreDiscovery d;
    d.DiscoverFolders(root, &ui);
    EXPECT_TRUE(ui.shown.empty());
    std::string text;
    for (const FolderRecord& f : d.Folders)
        text += f.DisplayName + "|" + f.RelativePath + "|" + KindName(f.Source) + "|" +
                f.FullPath.substr(root.size()) + "|" + f.PathSuffix + "\n";
    FolderTree tree = BuildFolderTree(d.Folders);
    for (const FolderTreeItem& item : tree.Items)
        EXPECT_GE(item.Record, 0) << "connecting item " << item.Text;
    return text;
}

} // namespace

TEST(StoreDiscovery, ProfileMboxFoldersFollowTheirParentsUnderTheAccountsName) {
    TempDir store;
    const std::string from = "From - Thu Jan 11 19:43:03 2018\nSubject: s\n\nb\n";
    const std::string local = "Profiles/abcd.default/Mail/Local Folders/";
    store.Write("Profiles/abcd.default/prefs.js", "");
    store.Write(local + "Inbox", from);
    store.Write(local + "Inbox.msf", "// <!-- <mdb:mork:z v=\"1.4\"/> -->");
    store.Write(local + "Inbox.sbd/Family", from);
    store.Write(local + "Inbox.sbd/Family.sbd/2009", from);
    store.Write(local + "Archives.sbd/2019", from); // no Archives file: a folder of folders
    store.Write(local + "Trash", "");               // empty, with its summary
    store.Write(local + "Trash.msf", "");
    store.Write(local + "Drafts", ""); // empty, no summary: not a folder
    store.Write(local + "popstate.dat", "# POP3 State File");
    store.Write(local + "msgFilterRules.dat", "version=\"9\"");
    store.Write("Profiles/abcd.default/Mail/pop.example.com/Inbox", from);
    store.MakeDir("Profiles/abcd.default/Mail/Empty");
    store.Write("Profiles/abcd.default/ImapMail/imap.example.com/INBOX", from);
    store.Write("Profiles/efgh.other/Mail/Local Folders/Inbox", from);
    ASSERT_EQ(mkfifo((store / (local + "Pipe")).c_str(), 0600), 0);
    // Links back up the tree, as a folder's sub-folders and as a folder of folders: each folder
    // is entered once, and not listed again.
    ASSERT_EQ(symlink(".", (store / (local + "Trash.sbd")).c_str()), 0);
    ASSERT_EQ(symlink("../..", (store / (local + "Inbox.sbd/Family.sbd/Again.sbd")).c_str()), 0);

    const std::string l = "Profiles/abcd.default/Mail/Local Folders";
    EXPECT_EQ(
        DiscoverKinds(store.path() + "/"),
        "imap.example.com|imap.example.com|folders|Profiles/abcd.default/ImapMail/"
        "imap.example.com|\n"
        "INBOX|imap.example.com/INBOX|mbox|Profiles/abcd.default/ImapMail/imap.example.com|INBOX\n"
        "Local Folders|Local Folders|folders|" +
            l +
            "|\n"
            "Archives|Local Folders/Archives|folders|" +
            l +
            "/Archives.sbd|\n"
            "2019|Local Folders/Archives/2019|mbox|" +
            l +
            "/Archives.sbd|2019\n"
            "Inbox|Local Folders/Inbox|mbox|" +
            l +
            "|Inbox\n"
            "Family|Local Folders/Inbox/Family|mbox|" +
            l +
            "/Inbox.sbd|Family\n"
            "2009|Local Folders/Inbox/Family/2009|mbox|" +
            l +
            "/Inbox.sbd/Family.sbd|2009\n"
            "Trash|Local Folders/Trash|mbox|" +
            l +
            "|Trash\n"
            "pop.example.com|pop.example.com|folders|Profiles/abcd.default/Mail/pop.example.com|\n"
            "Inbox|pop.example.com/Inbox|mbox|Profiles/abcd.default/Mail/pop.example.com|Inbox\n"
            "Local Folders (2)|Local Folders (2)|folders|Profiles/efgh.other/Mail/Local Folders|\n"
            "Inbox|Local Folders (2)/Inbox|mbox|Profiles/efgh.other/Mail/Local Folders|Inbox\n");
}

TEST(StoreDiscovery, MaildirsComeAfterTheOtherStoresWithTheirDottedSubFolders) {
    TempDir store;
    store.Write("A/a.oeaccount", "x");
    store.MakeDir("A/Inbox");
    const std::string evo = "evolution/mail/local/";
    for (const std::string& m :
         {evo, evo + ".Drafts/", evo + ".Sent/", evo + ".Work.Projects/",
          evo + ".Work.Projects.2020/", std::string("Mail/"), std::string("mirror/INBOX/")}) {
        store.MakeDir(m + "cur");
        store.MakeDir(m + "new");
        store.MakeDir(m + "tmp");
    }
    store.MakeDir(evo + ".notmaildir/cur"); // no new/, nothing in cur/: not a maildir
    // The other shapes the maildir rule takes: cur/ with tmp/, cur/ alone holding mail.
    store.MakeDir("copied/cur");
    store.MakeDir("copied/tmp");
    store.Write("flagless/cur/1000.A.host", "Subject: s\n\nx\n");
    store.Write("notes/cur/list.txt", "Dear diary\n"); // does not read as mail
    store.Write(evo + "folders.db", "");
    store.Write("Mail/cur/1.x:2,S", "From a Thu Jan  1 00:00:00 2004\n"); // a maildir named Mail

    EXPECT_EQ(DiscoverKinds(store.path() + "/"),
              "A|A|eml|A|\n"
              "Inbox|A/Inbox|eml|A/Inbox|\n"
              "Mail|Mail|maildir|Mail|\n"
              "copied|copied|maildir|copied|\n"
              "local|local|maildir|evolution/mail/local|\n"
              "Drafts|local/Drafts|maildir|evolution/mail/local/.Drafts|\n"
              "Sent|local/Sent|maildir|evolution/mail/local/.Sent|\n"
              "Work|local/Work|folders|evolution/mail/local/.Work|\n"
              "Projects|local/Work/Projects|maildir|evolution/mail/local/.Work.Projects|\n"
              "2020|local/Work/Projects/2020|maildir|evolution/mail/local/.Work.Projects.2020|\n"
              "flagless|flagless|maildir|flagless|\n"
              "INBOX|INBOX|maildir|mirror/INBOX|\n");
}

TEST(StoreDiscovery, OutlookDataFilesComeLastUnderTheirNamesWithTheirFolders) {
    TempDir store;
    store.Write("A/a.oeaccount", "x");
    store.MakeDir("A/Inbox");
    store.Write("old/A.PST", ReadFileText(KESTREL_TEST_DATA "/pst/p2e-Hello-CJK.pst"));
    EXPECT_EQ(DiscoverKinds(store.path() + "/"),
              "A|A|eml|A|\n"
              "Inbox|A/Inbox|eml|A/Inbox|\n"
              "A.PST|A.PST|folders|old/A.PST|\n"
              "Outlook データ ファイルのトップ|A.PST/Outlook データ ファイルのトップ|pst|old/A.PST|"
              "Outlook データ ファイルのトップ\n"
              "削除済みアイテム|A.PST/Outlook データ ファイルのトップ/削除済みアイテム|pst|old/A.PST|"
              "Outlook データ ファイルのトップ/削除済みアイテム\n");

    // A damaged one is named, and the rest is still listed.
    store.Write("broken.ost", "!BDN and then nothing");
    ScriptedMessageBox ui;
    StoreDiscovery d;
    d.DiscoverFolders(store.path() + "/", &ui);
    EXPECT_EQ(d.Folders.size(), 5u);
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_NE(ui.shown[0].text.find("broken.ost: a damaged Outlook data file"), std::string::npos)
        << ui.shown[0].text;
}
