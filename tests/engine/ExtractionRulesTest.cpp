#include <gtest/gtest.h>

#include "engine/ExtractionRun.h"

namespace {

TEST(ExtractionRules, CleanFolderName) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"Inbox", "Inbox"},
        {"Sent Items  ", "Sent-Items"},
        {"a:b.c,d!e?f", "a-b-c-d-e-f"},
        {"<x>", "(x)"},
        {"q\"u o\\t/e", "q-u-o-t-e"},
        {"..", "--"},
        {"star*|bar", "star*|bar"},
        {"   ", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CleanFolderName(c.in), c.out) << c.in;
}

TEST(ExtractionRules, StripForwardPrefix) {
    struct Case {
        const char* in;
        const char* once;
        const char* twice;
    } cases[] = {
        {"  FW: Fwd: photos", "Fwd: photos", "photos"},
        {"Fwiw", "iw", "iw"},
        {"fwd photos", "photos", "photos"},
        {"FWD:FW:x", "FW:x", "x"},
        {"Re: Fw: x", "Re: Fw: x", "Re: Fw: x"},
        {"", "", ""},
        {"   ", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StripForwardPrefix(c.in), c.once) << c.in;
        EXPECT_EQ(StripForwardPrefix(StripForwardPrefix(c.in)), c.twice) << c.in;
    }
}

std::time_t Local(int y, int mo, int d, int h, int mi, int s) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

TEST(ExtractionRules, MailDateIsTheWallClockTime) {
    // The offset is ignored on purpose: files carry the sender's wall-clock time.
    EXPECT_EQ(ParseMailDate("Tue, 15 Nov 1994 08:12:31 +0000"), Local(1994, 11, 15, 8, 12, 31));
    EXPECT_EQ(ParseMailDate("Tue, 15 Nov 1994 08:12:31 -0800"), Local(1994, 11, 15, 8, 12, 31));
    EXPECT_EQ(ParseMailDate("Sat, 5 Jan 2008 23:59:59 GMT"), Local(2008, 1, 5, 23, 59, 59));
    EXPECT_EQ(ParseMailDate("Sat, 05 Jan 08 10:00 +0100"), Local(2008, 1, 5, 10, 0, 0));
    for (const char* bad :
         {"", "Tue,", "15 Nov 1994 08:12:31 +0000", "Tue, 31 Feb 2001 10:00:00",
          "Tue, 15 Foo 1994 08:12:31", "Tue, 15 Nov 1994 25:12:31", "xxxxxxxxxxxxxxxxxxxxxxxxxxxx"})
        EXPECT_FALSE(ParseMailDate(bad).has_value()) << bad;
}

TEST(ExtractionRules, ComponentAnswer) {
    ExtractionAnswer a = ParseExtractionAnswer(
        " Hi | Ann <a@b> | Tue, 15 Nov 1994 08:12:31 +0000 | a.jpg: b.txt ::c ");
    EXPECT_EQ(a.Subject, "Hi");
    EXPECT_EQ(a.Sender, "Ann <a@b>");
    EXPECT_EQ(a.DateText, "Tue, 15 Nov 1994 08:12:31 +0000");
    EXPECT_EQ(a.Files, (std::vector<std::string>{"a.jpg", "b.txt", "c"}));

    // The list starts after the third bar even when its text also occurs earlier.
    a = ParseExtractionAnswer("a.jpg|s|Tue, 15 Nov 1994 08:12:31 +0000|a.jpg");
    EXPECT_EQ(a.Files, (std::vector<std::string>{"a.jpg"}));
    // No files: nothing of the header fields is taken for a name.
    a = ParseExtractionAnswer("subj|s|Tue, 15 Nov 1994 08:12:31 +0000|");
    EXPECT_TRUE(a.Files.empty());
    a = ParseExtractionAnswer("subj|s");
    EXPECT_EQ(a.Subject, "subj");
    EXPECT_EQ(a.Sender, "s");
    EXPECT_TRUE(a.DateText.empty());
    EXPECT_TRUE(a.Files.empty());
    a = ParseExtractionAnswer("");
    EXPECT_TRUE(a.Subject.empty());
    EXPECT_TRUE(a.Files.empty());
}

} // namespace
