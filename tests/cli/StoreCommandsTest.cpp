#include <gtest/gtest.h>

#include <algorithm>

#include "RunProcess.h"

namespace {
const std::string kSampleRoot = std::string(KESTREL_SOURCE_DIR) + "/samples/store";
}

TEST(CliStore, DiscoverPrintsOneTabSeparatedLinePerFolder) {
    auto r = RunProgram({"kestrel-cli", "discover", "--root", kSampleRoot});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "Hotmail (jane)\tHotmail (jane)\t" + kSampleRoot + "/Hotmail (jane)\t" + kSampleRoot +
                  "/Hotmail (jane)");
    EXPECT_NE(r.out.find("pop.example\tpop.example.com\t"), std::string::npos);
    // The fourth column is the mailbox the commands take: here the folder's message file.
    EXPECT_NE(r.out.find("Old PC\tOutlook Express/Local Folders/Inbox/Old PC\t" + kSampleRoot +
                         "/Outlook Express\t" + kSampleRoot + "/Outlook Express/Old PC.dbx\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Trips\tLocal Folders/Inbox/Trips\t"), std::string::npos);
    EXPECT_NE(r.out.find("Friends\tMaildir/Friends\t" + kSampleRoot + "/Maildir/.Friends\t" +
                         kSampleRoot + "/Maildir/.Friends\n"),
              std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 19);
}

// Names are the user's data: tabs, line breaks and escape sequences in them are written as
// escapes, so they can neither forge rows or fields of the listing nor reach the terminal.
TEST(CliStore, DiscoverEscapesControlCharactersInNames) {
    TempDir root;
    root.Write("acct/a.oeaccount", "x");
    root.MakeDir("acct/Inbox");
    root.MakeDir("acct/Evil\tname\nrow\x1b[2J\xc2\x9b");
    auto r = RunProgram({"kestrel-cli", "discover", "--root", root.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\t'), 9) << r.out;
    const std::string escaped = "Evil\\tname\\nrow\\x1b[2J\\u009b";
    EXPECT_NE(r.out.find(escaped + "\tacct/" + escaped + "\t" + root.path() + "/acct/" + escaped +
                         "\t" + root.path() + "/acct/" + escaped + "\n"),
              std::string::npos)
        << r.out;
}

TEST(CliStore, DiscoverWithoutRootUsesTheSettingsAndReportsAMissingStoreOnStderr) {
    TempDir config, store;
    config.Write("VANDREL/KESTL/qor.ini",
                 "[Program Setup]\r\nKESTLMailFolderPath=" + kSampleRoot + "\r\n");
    auto r = RunProgram({"kestrel-cli", "discover"}, {"XDG_CONFIG_HOME=" + config.path()});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Family\tHotmail (jane)/Inbox/Family"), std::string::npos);

    auto empty = RunProgram({"kestrel-cli", "discover", "--root", store.path()});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.out, "");
    EXPECT_NE(empty.err.find("Can't find the Mailbox Path of Windows Live Mail!"), std::string::npos);
}

TEST(CliStore, SettingsPrintsEveryFieldInFileOrderThenTheFile) {
    TempDir config, cwd;
    auto r = RunProgram({"kestrel-cli", "settings"}, {"XDG_CONFIG_HOME=" + config.path()},
                        cwd.path());
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find("no settings file")),
              "LastHtmlReport=\nLastMailFolder=\nLastFileFolder=\nLastUserIdentity=\n"
              "KESTLMailFolderPath=\nHTMLItemNumber=10\nBrowserReport=1\nExtractOnlyPicture=1\n"
              "FileRename=0\nRemoveFwString=1\nSetAttachmentDate=1\nAttachmentSizeLimit=2\n"
              "NewMailOnly=0\nWizardNewMailOnly=0\nToolBar=\nToolBarX=0\nToolBarY=0\n");

    std::string file = config.Write("VANDREL/KESTL/qor.ini", "[Option]\r\nHTMLItemNumber=5\r\n");
    r = RunProgram({"kestrel-cli", "settings"}, {"XDG_CONFIG_HOME=" + config.path()}, cwd.path());
    EXPECT_NE(r.out.find("HTMLItemNumber=5\n"), std::string::npos);
    EXPECT_NE(r.out.find("read from " + file), std::string::npos);
}

TEST(CliStore, UsageErrorsExitTwoWithTheUsageOnStderr) {
    for (auto args : std::vector<std::vector<std::string>>{
             {"kestrel-cli"},
             {"kestrel-cli", "no-such-command"},
             {"kestrel-cli", "discover", "--root"},
             {"kestrel-cli", "discover", "extra"},
             {"kestrel-cli", "settings", "extra"}}) {
        auto r = RunProgram(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_NE(r.err.find("usage: kestrel-cli"), std::string::npos) << args.back();
        EXPECT_EQ(r.out, "");
    }
    auto help = RunProgram({"kestrel-cli", "discover", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--root DIR"), std::string::npos);
}
