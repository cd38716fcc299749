#include <gtest/gtest.h>

#include <map>

#include "PstFixtures.h"
#include "RunProcess.h"
#include "SplitText.h"
#include "platform/FileSystem.h"

namespace {

// Discover, extract, the wizard, the search and save-eml on the folders of Outlook data files,
// named as discover prints them; the files are never written.
TEST(CliPst, EveryCommandTakesAFolderOfAnOutlookDataFile) {
    TempDir root, out;
    const std::string data = std::string(KESTREL_TEST_DATA) + "/pst/";
    const std::string unicode = ReadFileText(data + "tgh-user1-test-lab.pst");
    const std::string cjk = ReadFileText(data + "p2e-Hello-CJK.pst");
    const std::string lab = root.Write("store/old/lab.pst", unicode);
    const std::string hello = root.Write("store/hello.ost", cjk);
    const std::string twinBytes = pst_fixtures::TwinFoldersPst();
    ASSERT_FALSE(twinBytes.empty());
    const std::string twins = root.Write("store/twins.pst", twinBytes);
    const std::string ansiBytes = pst_fixtures::EightBitNamePst();
    ASSERT_FALSE(ansiBytes.empty());
    root.Write("store/ansi.pst", ansiBytes);
    root.Write("config/VANDREL/KESTL/qor.ini",
               "[Option]\r\nExtractOnlyPicture=0\r\nAttachmentSizeLimit=0\r\nHTMLItemNumber=10\r\n");
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + (root / "config"), "TZ=UTC",
                                          "TMPDIR=" + out.path()};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "kestrel-cli");
        return RunProgram(args, env);
    };

    // Discover: each file under its name, its folders below, the mailbox in the fourth column.
    auto r = run({"discover", "--root", root / "store"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> mailbox; // relative path -> mailbox
    for (const std::string& line : Lines(r.out)) {
        const std::vector<std::string> columns = Split(line, '\t');
        ASSERT_EQ(columns.size(), 4u) << line;
        mailbox[columns[1]] = columns[3];
    }
    EXPECT_EQ(mailbox.at("hello.ost"), ""); // the file only holds folders
    const std::string top = "Outlook データ ファイルのトップ";
    EXPECT_EQ(mailbox.at("hello.ost/" + top), hello + "/" + top);
    const std::string attachments =
        mailbox.at("lab.pst/Top of Outlook data file/FolderWithMessagesWithAttachments");
    EXPECT_EQ(attachments, lab + "/Top of Outlook data file/FolderWithMessagesWithAttachments");
    EXPECT_EQ(mailbox.count("lab.pst/Top of Outlook data file/FolderWithTwoSubFolders/SubFolder1"),
              1u);

    // Two folders of one name under one parent: each has its own mailbox, the second marked
    // with its place among them, and each reaches its own messages.
    const std::string twin = "twins.pst/Top of Outlook data file/FolderWithSingleMessage";
    for (const auto& [suffix, found] : {std::pair<std::string, size_t>{"", 1}, {"%#2", 2}}) {
        EXPECT_EQ(mailbox.at(twin + suffix), root / "store/" + twin + suffix);
        r = run({"search", mailbox.at(twin + suffix)});
        ASSERT_EQ(r.exitCode, 0) << suffix << ": " << r.err;
        EXPECT_EQ(Lines(r.out).size(), found + 1) << suffix << ": " << r.out; // and "Finished"
    }

    // A name of an 8-bit file, in its code page (1252), reaches its folder.
    const std::string renamed = "ansi.pst/Top of Outlook data file/Sämple2";
    EXPECT_EQ(mailbox.at(renamed), root / "store/" + renamed);
    r = run({"extract", "--all-files", mailbox.at(renamed), out / "ansi"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(platform::FileExists(out / "ansi/leah_thumper.jpg"));

    // Extract: the attachments under the names they have in the file.
    r = run({"extract", "--all-files", mailbox.at("hello.ost/" + top), out / "x"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* name : {"C 你好.png", "J こんにちは.png", "K 안녕하세요.png"})
        EXPECT_TRUE(platform::FileExists(out / "x/" + name)) << name;

    // The wizard reads each message's period from its delivery time: the first arrived on
    // 12 June 2017, the second (which carries an attached message) on 13 June.
    r = run({"wizard", out / "w", "--all", "--from", "2017-06-13", "Lab=" + attachments});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(platform::FileExists(out / "w/Lab/TextFile.txt"));
    EXPECT_EQ(platform::ListDirectory(out / "w/Lab", "*.eml").size(), 1u);

    // The search by sender.
    r = run({"search", attachments, "--sender", "user1@"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> found = Lines(r.out);
    ASSERT_EQ(found.size(), 3u) << r.out;
    EXPECT_EQ(found[0].substr(0, found[0].rfind('\t')),
              "user1@test.lab\tTestWithTextFileAttachment");
    EXPECT_EQ(found[2], "Finished");

    // Save-eml: one .eml per message, numbered in the folder's order.
    r = run({"save-eml", attachments, out / "eml"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto saved = platform::ListDirectory(out / "eml", "*.eml");
    ASSERT_EQ(saved.size(), 2u);
    std::vector<std::string> names = {saved[0].name, saved[1].name};
    std::sort(names.begin(), names.end());
    EXPECT_NE(names[0].find("TestWithTextFileAttachment"), std::string::npos) << names[0];
    EXPECT_NE(names[1].find("TestWithEmbeddedMessage"), std::string::npos) << names[1];

    // A folder the file does not have, and a file that is not whole, are refused and said: a
    // failure to read, not a wrong use of the command.
    r = run({"extract", lab + "/Top of Outlook data file/Nowhere", out / "n"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("the file has no folder"), std::string::npos) << r.err;
    const std::string cut = root.Write("cut.pst", unicode.substr(0, 40));
    for (const char* command : {"search", "extract"}) {
        std::vector<std::string> args = {command, cut + "/Top of Outlook data file/Inbox"};
        if (args[0] == "extract") args.push_back(out / "cut");
        r = run(args);
        EXPECT_EQ(r.exitCode, 1) << command;
        EXPECT_NE(r.err.find("a damaged Outlook data file"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("usage:"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(platform::FileExists(out / "cut/report.htm"));

    EXPECT_EQ(ReadFileText(lab), unicode);
    EXPECT_EQ(ReadFileText(hello), cjk);
    EXPECT_EQ(ReadFileText(twins), twinBytes);
}

} // namespace
