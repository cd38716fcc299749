#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TempDir.h"
#include "platform/ErrorLog.h"
#include "report/HtmlWriter.h"
#include "report/ReportWriter.h"

namespace {

TEST(HtmlWriter, Fragments) {
    struct Case {
        void (*build)(CHtmlWriter&);
        const char* expected;
    } cases[] = {
        {[](CHtmlWriter& w) { w.BeginCell(std::nullopt, "85%", std::nullopt, "#FFFF99"); },
         "<td width=\"85%\" bgcolor=\"#FFFF99\" >"},
        {[](CHtmlWriter& w) { w.BeginCell(); }, "<td >"},
        {[](CHtmlWriter& w) { w.BeginCell("2", "1", "3", "x"); },
         "<td colspan=\"2\" width=\"1\" height=\"3\" bgcolor=\"x\" >"},
        {[](CHtmlWriter& w) { w.Image("a.jpg", "100", "100", "0"); },
         "<img src=\"a.jpg\" width=\"100\" height=\"100\" bolder=\"0\" >"},
        {[](CHtmlWriter& w) { w.Image(); }, "<img >"},
        {[](CHtmlWriter& w) { w.BeginBody(); }, "<body>\n"},
        {[](CHtmlWriter& w) { w.BeginBody(std::nullopt, "#000000"); },
         "<body bgcolor=\"\" text=\"#000000\" scroll=\"auto\">\n"},
        {[](CHtmlWriter& w) { w.BeginTable("800", "1"); }, "<table width=\"800\" bolder=\"1\">\n"},
        {[](CHtmlWriter& w) {
             w.BeginLink("x<y");
             w.EndLink();
         },
         "<a href=\"x<y\"></a>"},
        {[](CHtmlWriter& w) {
             w.Write("junk");
             w.BeginHtml();
             w.EndHtml();
         },
         "<html>\n</html>\n"},
    };
    for (const Case& c : cases) {
        CHtmlWriter w;
        c.build(w);
        EXPECT_EQ(w.GetText(), c.expected);
    }
}

const char* const kPageHead = "<html>\n<head>\n<title>Qorvane Report</title>\n</head>\n"
                              "<body bgcolor=\"#FFFFFF\" text=\"#000000\" scroll=\"auto\">\n"
                              "<B>QOR Report</B><br><hr>";
const char* const kPageTail = "</body>\n</html>\n";

TEST(ReportWriter, NavigationLines) {
    const std::string prev1 = "<a href=\"report_page1.htm\">Prev Page</a>";
    struct Case {
        int page;
        bool last;
        std::string expected;
    } cases[] = {
        {1, true, "Page:1  "},
        {1, false, "Page:1     <a href=\"report_page2.htm\">Next Page</a>"},
        {2, false, "Page:2  " + prev1 + "   <a href=\"report_page3.htm\">Next Page</a>"},
        {2, true, "Page:2  " + prev1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReportNavigationLine(c.page, c.last), c.expected);
}

TEST(ReportWriter, WholeFiles) {
    TempDir d;
    ASSERT_TRUE(WriteReportFrameset(d.path()));
    EXPECT_EQ(ReadFileText(d / "report.htm"),
              "<html>\n<head>\n<title>Kestrel Report</title>\n</head>\n"
              "<frameset cols=\"100,*\" frameborder=\"1\" border=\"1\" framespacing=\"0\">"
              "<frame src=\"report\\report_left.htm\" name=\"leftFrame\" scrolling=\"No\" noresize>"
              "<frame src=\"report\\report_page1.htm\" name=\"mainFrame\">"
              "</frameset><body>\n</body>\n</html>\n");

    const std::string indexHead = "<html>\n<head>\n<title>Select Page</title>\n</head>\n"
                                  "<body bgcolor=\"#FFFFFF\" text=\"#000000\" scroll=\"auto\">\n"
                                  "<B>Select</B><P>\n<hr>";
    ASSERT_TRUE(WriteReportIndex(d.path(), 2));
    EXPECT_EQ(ReadFileText(d / "report/report_left.htm"),
              indexHead +
                  "<i><a href=\"report_page1.htm\" target=\"mainFrame\">Page 1</a></i><br>\n"
                  "<i><a href=\"report_page2.htm\" target=\"mainFrame\">Page 2</a></i><br>\n" +
                  kPageTail);
    EXPECT_EQ(BuildReportIndex(0), indexHead + kPageTail);

    ASSERT_TRUE(WriteReportPage(d.path(), "BODY", 2, false));
    const std::string nav = "Page:2  <a href=\"report_page1.htm\">Prev Page</a>   "
                            "<a href=\"report_page3.htm\">Next Page</a>";
    EXPECT_EQ(ReadFileText(d / "report/report_page2.htm"),
              kPageHead + nav + "<hr>BODY<hr>" + nav + kPageTail);
    EXPECT_EQ(BuildReportPage("B", 1, true),
              std::string(kPageHead) + "Page:1  <hr>B<hr>Page:1  " + kPageTail);
}

TEST(ReportWriter, MessageBlockWithEightPicturesAndADocument) {
    CHtmlWriter body;
    BeginMessageBlock(body, "Hi", "Tue, 15 Nov 1994 08:12:31 +0000");
    std::string expected =
        "<table width=\"800\" bolder=\"1\">\n<tr>\n"
        "<td width=\"85%\" bgcolor=\"#FFFF99\" >Hi</td>\n"
        "<td width=\"15%\" bgcolor=\"#FFFF99\" >Tue, 15 Nov 1994 08:12:31 +0000</td>\n"
        "</tr>\n</table>\n<table width=\"800\" bolder=\"1\">\n<tr>\n<td colspan=\"1\" >";
    for (int i = 1; i <= 8; ++i) {
        std::string name = "p" + std::to_string(i) + ".jpg";
        AddMessageEntry(body, ReportLinkPath(name), name, IsThumbnailName(name), i);
        expected += "<a href=\"..\\" + name + "\"><img src=\"..\\" + name +
                    "\" width=\"100\" height=\"100\" bolder=\"0\" ></a>";
        if (i == 7) expected += "<br>";
    }
    AddMessageEntry(body, ReportLinkPath("notes.txt", "Inbox"), "notes.txt", false, 9);
    expected += "<a href=\"..\\Inbox\\notes.txt\">notes.txt</a> ";
    EndMessageBlock(body);
    expected += "</td>\n</tr>\n</table>\n";
    EXPECT_EQ(body.GetText(), expected);
}

TEST(ReportWriter, ThumbnailTest) {
    for (const char* name : {"photo.jpeg.txt", "A.PNG", "x.jbg", "y.Gif", "z.jpg"})
        EXPECT_TRUE(IsThumbnailName(name)) << name;
    for (const char* name : {"scan.tif", "a.bmp", "notes.txt", "jpg", "a.jp"})
        EXPECT_FALSE(IsThumbnailName(name)) << name;
}

TEST(ReportWriter, HostileTextStaysText) {
    EXPECT_EQ(HtmlEscape("<script>alert(\"x\" & 'y')</script>"),
              "&lt;script&gt;alert(&quot;x&quot; &amp; 'y')&lt;/script&gt;");
    EXPECT_EQ(ReportLinkPath("a\"><script>.jpg"), "..\\a&quot;&gt;&lt;script&gt;.jpg");
    EXPECT_EQ(ReportLinkPath("50% #1?.png", "A&B"), "..\\A&amp;B\\50%25 %231%3F.png");
}

TEST(ReportWriter, UnwritableFileIsLogged) {
    TempDir d;
    d.MakeDir("logdir");
    TheErrorLog().OpenAt(d / "logdir", "errorlog.txt", false);
    EXPECT_FALSE(WriteReportPage(d / "missing", "", 1, true));
    EXPECT_NE(ReadFileText(d / "logdir/errorlog.txt").find("missing/report/report_page1.htm"),
              std::string::npos);
    TheErrorLog().OpenAt(d / "logdir", "errorlog.txt", false);
}

TEST(ReportWriter, LinksInTheDestinationAreNeverFollowed) {
    // Someone has put a link where the report goes: every write stays inside the destination.
    struct Case {
        const char* link; // made in the destination, pointing at the outside
        bool toFolder;    // the link points at a folder outside, else at a file outside
        bool pageWritten; // report pages can still be written
    } cases[] = {
        {"report.htm", false, true},
        {"report", true, false},
        {"report/report_page1.htm", false, true},
        {"report/report_left.htm", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        TempDir d;
        d.MakeDir("dest/report");
        const std::string outside = c.toFolder ? d.MakeDir("outside") : d.Write("outside", "mine");
        if (c.toFolder) std::filesystem::remove(d / "dest/report");
        ASSERT_EQ(symlink(outside.c_str(), (d / (std::string("dest/") + c.link)).c_str()), 0);
        EXPECT_EQ(WriteReportPage(d / "dest", "BODY", 1, true), c.pageWritten);
        EXPECT_EQ(WriteReportIndex(d / "dest", 1), c.pageWritten);
        EXPECT_TRUE(WriteReportFrameset(d / "dest"));
        if (c.toFolder) {
            EXPECT_TRUE(std::filesystem::is_empty(outside));
        } else {
            EXPECT_EQ(ReadFileText(outside), "mine");
        }
        EXPECT_NE(ReadFileText(d / "dest/report.htm").find("<frameset"), std::string::npos);
        if (c.pageWritten) {
            EXPECT_NE(ReadFileText(d / "dest/report/report_page1.htm").find("BODY"),
                      std::string::npos);
        }
    }
}

} // namespace
