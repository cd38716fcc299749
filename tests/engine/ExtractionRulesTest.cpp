#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

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
    // The sub-directory never takes a name the run writes itself, nor the destination itself.
    for (const auto& [in, out] :
         std::vector<std::pair<const char*, const char*>>{{"report", "_report"},
                                                          {"Process", "_Process"},
                                                          {"REPORT ", "_REPORT"},
                                                          {"   ", "_"},
                                                          {"reports", "reports"},
                                                          {"report.htm", "report-htm"}})
        EXPECT_EQ(SubDirectoryName(in), out) << in;
    // Nor one too long for a file system: it is cut, never inside a character.
    EXPECT_EQ(SubDirectoryName(std::string(300, 'x')), std::string(kMaxSubDirectoryName, 'x'));
    std::string umlauts = "x";
    for (int i = 0; i < 150; ++i)
        umlauts += "\xC3\xBC";
    EXPECT_EQ(SubDirectoryName(umlauts).size(), kMaxSubDirectoryName - 1);
}

TEST(ExtractionRules, SubjectConditionFoldsCase) {
    struct Case {
        const char* subject;
        const char* keyword;
        bool contains;
    } cases[] = {
        {"My PHOTOS", "Photo ", true},
        {"ÜBERWEISUNG März", "überweisung", true},
        {"Straße", "STRASSE", true},
        {"ΣΟΦΙΑ", "σοφια", true},
        {"Überweisung", "uberweisung", false},
        {"\xFF\xFEINVOICE", "invoice", true}, // not UTF-8: ASCII case only
        {"Other", "photo", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SubjectContains(c.subject, c.keyword), c.contains) << c.subject;
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

// The time zone for one scope, with summer time as the zone has it.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedZone() {
        if (m_old)
            setenv("TZ", m_old->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> m_old;
};

TEST(ExtractionRules, MailDateIsTheWallClockTime) {
    // The offset is ignored on purpose: files carry the sender's wall-clock time, read in the
    // zone the program runs in, with that zone's summer time.
    struct Case {
        const char* zone;
        const char* text;
        std::time_t expected;
    } cases[] = {
        {"Europe/Berlin", "Tue, 15 Jul 2025 12:00:00 +0000", 1752573600}, // CEST, UTC+2
        {"Europe/Berlin", "Wed, 15 Jan 2025 12:00:00 -0800", 1736938800}, // CET, UTC+1
        {"Europe/Berlin", "Tue, 15 Nov 1994 08:12:31 +0000", 784883551},
        {"Europe/Berlin", "Sat, 05 Jan 08 10:00 +0100", 1199523600},
        {"America/New_York", "Tue, 15 Jul 2025 12:00:00 +0000", 1752595200}, // EDT, UTC-4
        {"America/New_York", "Sat, 5 Jan 2008 23:59:59 GMT", 1199595599},    // EST, UTC-5
        {"UTC", "Tue, 15 Jul 2025 12:00:00 +0200", 1752580800},
    };
    for (const Case& c : cases) {
        ScopedZone zone(c.zone);
        EXPECT_EQ(ParseMailDate(c.text), std::optional<std::time_t>(c.expected))
            << c.zone << " " << c.text;
    }
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

    // The component's note of files it could not write is counted, never taken for a name;
    // anything else that starts alike stays a name (one the run then refuses).
    struct Case {
        const char* list;
        std::vector<std::string> files;
        int count, error;
    } cases[] = {
        {"/unwritten/2/28", {}, 2, 28},
        {"a.jpg:/unwritten/1/27", {"a.jpg"}, 1, 27},
        {"/unwritten/1/27:/unwritten/3/28", {}, 4, 27},
        {"/unwritten/0/28:/unwritten/x/1:/unwritten/1", {"/unwritten/0/28", "/unwritten/x/1",
                                                         "/unwritten/1"}, 0, 0},
    };
    for (const Case& c : cases) {
        a = ParseExtractionAnswer(std::string("s|f|d|") + c.list);
        EXPECT_EQ(a.Files, c.files) << c.list;
        EXPECT_EQ(a.Unwritten.Count, c.count) << c.list;
        EXPECT_EQ(a.Unwritten.Error, c.error) << c.list;
    }
}

TEST(ExtractionRules, UnwrittenAttachmentsAreSaidWithTheirReason) {
    struct Case {
        int error;
        bool destinationUnwritable;
        const char* said; // empty: no sentence on attachments
    } cases[] = {
        {ENOSPC, false, "3 attachment(s) could not be written into D: the disk is full"},
        {EDQUOT, false, "3 attachment(s) could not be written into D: the disk is full"},
        {EFBIG, false, "3 attachment(s) could not be written into D: File too large"},
        {EACCES, true, ""}, // the sentence on the destination says it all
    };
    for (const Case& c : cases) {
        RunProblems problems;
        problems.DestinationUnwritable = c.destinationUnwritable;
        NoteUnwrittenFiles(&problems, {2, c.error}, "m.eml");
        NoteUnwrittenFiles(&problems, {1, EIO}, "n.eml"); // the first reason is the one said
        EXPECT_TRUE(problems.Any());
        std::string said;
        for (const std::string& line : DescribeRunProblems(problems, "D")) said += line + "\n";
        if (*c.said)
            EXPECT_NE(said.find(c.said), std::string::npos) << said;
        else
            EXPECT_EQ(said.find("attachment(s)"), std::string::npos) << said;
    }
}

} // namespace
