// The naming rules of the extractor component, table by table.
#include "components/extractor/AttachmentNames.h"

#include <gtest/gtest.h>

#include "components/extractor/MessageExtractor.h"
#include "platform/Utf8.h"

using namespace extractor;

namespace {
using platform::IsValidUtf8;
} // namespace

TEST(SanitizeFileNameTest, HostileNames) {
    struct Case {
        const char* raw;
        const char* want;
    } cases[] = {
        {"photo.jpg", "photo.jpg"},
        {"../../x", "x"},
        {"..\\..\\x.exe", "x.exe"},
        {"/etc/passwd", "passwd"},
        {"C:\\TEMP\\nsmail1.png", "nsmail1.png"},
        {"C:nsmail.png", "C_nsmail.png"},
        {"..", ""},
        {".", ""},
        {"...", ""},
        {"dir/..", ""},
        {".hidden", "hidden"},
        {" . .bashrc", "bashrc"},
        {"  spaced name.doc  ", "spaced name.doc"},
        {"a:b|c.jpg", "a_b_c.jpg"},
        {"tab\there\r\n.txt", "tabhere.txt"},
        {"bell\x07\x7f.txt", "bell.txt"},
        {"c1\xc2\x85"
         "ctl.txt",
         "c1ctl.txt"},
        {"evil\xe2\x80\xae"
         "gpj.exe",
         "evilgpj.exe"},
        {"ulkfoo.jpg", "_ulkfoo.jpg"},
        {"ULKFOO.JPG", "_ULKFOO.JPG"},
        {"KESTLx", "_KESTLx"},
        {"kestl", "_kestl"},
        {"../ulk.txt", "_ulk.txt"},
        {"..ulk.txt", "_ulk.txt"},
        {"bulk.txt", "bulk.txt"},
        {"caf\xe9.txt", "caf_.txt"},
        {"Grüße.txt", "Grüße.txt"},
        {"report.htm", "report.htm"}, // reserved only at creation, see NumberedName
    };
    for (const auto& c : cases)
        EXPECT_EQ(SanitizeFileName(c.raw), c.want) << c.raw;
}

TEST(SanitizeFileNameTest, LongNamesKeepTheirExtensionAndStayValid) {
    std::string ascii = std::string(300, 'a') + ".jpg";
    std::string got = SanitizeFileName(ascii);
    EXPECT_LE(got.size(), kMaxBaseNameBytes);
    EXPECT_EQ(got.substr(got.size() - 4), ".jpg");

    std::string wide;
    for (int i = 0; i < 150; ++i)
        wide += "ä";
    wide += ".jpeg";
    got = SanitizeFileName(wide);
    EXPECT_LE(got.size(), kMaxBaseNameBytes);
    EXPECT_EQ(got.substr(got.size() - 5), ".jpeg");
    EXPECT_TRUE(IsValidUtf8(got));

    // An "extension" that is most of the name is cut with it.
    std::string longExt = "a." + std::string(300, 'b');
    got = SanitizeFileName(longExt);
    EXPECT_LE(got.size(), kMaxBaseNameBytes);
    EXPECT_FALSE(got.empty());

    // With the largest clash number the name stays under 255 bytes.
    EXPECT_LT(NumberedName(SanitizeFileName(ascii), 1000000).size(), 255u);
}

TEST(NumberedNameTest, NumberGoesBeforeTheExtension) {
    EXPECT_EQ(NumberedName("photo.jpg", 1), "photo (1).jpg");
    EXPECT_EQ(NumberedName("report.htm", 2), "report (2).htm");
    EXPECT_EQ(NumberedName("report", 1), "report (1)");
    EXPECT_EQ(NumberedName("archive.tar.gz", 3), "archive.tar (3).gz");
}

TEST(ReservedNameTest, TheRunsOwnNames) {
    for (const char* n : {"report.htm", "REPORT.HTM", "report", "Process", "process"})
        EXPECT_TRUE(IsReservedName(n)) << n;
    for (const char* n : {"report.html", "reports", "process.txt", "report (1).htm"})
        EXPECT_FALSE(IsReservedName(n)) << n;
}

TEST(GeneratedFileNameTest, ExtensionFromTheContentType) {
    EXPECT_EQ(GeneratedFileName(1, "image", "jpeg"), "part1.jpg");
    EXPECT_EQ(GeneratedFileName(2, "IMAGE", "PNG"), "part2.png");
    EXPECT_EQ(GeneratedFileName(3, "application", "pdf"), "part3.pdf");
    EXPECT_EQ(GeneratedFileName(4, "application", "octet-stream"), "part4.bin");
    EXPECT_EQ(GeneratedFileName(5, "audio", "basic"), "part5.au");
    EXPECT_EQ(GeneratedFileName(6, "x-weird", "thing"), "part6.bin");
}

TEST(CleanFieldTextTest, NoSeparatorsNoControlsTrimmed) {
    EXPECT_EQ(CleanFieldText("  a|b  "), "a\xC2\xA6"
                                         "b");
    EXPECT_EQ(CleanFieldText("line\r\n\tnext"), "line   next");
    EXPECT_EQ(CleanFieldText("caf\xe9"), "caf\xEF\xBF\xBD");
    EXPECT_EQ(CleanFieldText("Grüße: 12:00"), "Grüße: 12:00");
}

TEST(FormatRfc822DateTest, DayPrefixAndTwoDigitDay) {
    EXPECT_EQ(FormatRfc822Date(1994, 11, 15, 8, 12, 31, 2, 0), "Tue, 15 Nov 1994 08:12:31 +0000");
    EXPECT_EQ(FormatRfc822Date(2005, 2, 5, 23, 0, 9, 6, -5 * 3600),
              "Sat, 05 Feb 2005 23:00:09 -0500");
    EXPECT_EQ(FormatRfc822Date(2020, 1, 1, 0, 0, 0, 3, 5 * 3600 + 45 * 60),
              "Wed, 01 Jan 2020 00:00:00 +0545");
    EXPECT_EQ(FormatRfc822Date(10000, 1, 1, 0, 0, 0, 1, 0), "");
    EXPECT_EQ(FormatRfc822Date(2020, 13, 1, 0, 0, 0, 1, 0), "");
}
