#include <gtest/gtest.h>

#include "TempDir.h"
#include "engine/MailboxAccess.h"

TEST(EmlHeader, FieldsFromTheHeaderBlockOnly) {
    TempDir dir;
    struct Case {
        const char* text;
        const char* subject;
        const char* sender;
        const char* senderName;
        bool dated;
    } cases[] = {
        {"From: Tom Baker <tom@example.org>\r\nSubject: Holiday\r\n pictures\r\n"
         "Date: Sat, 14 Aug 2010 18:30:05 +0100\r\n\r\nSubject: not a header\r\n",
         "Holiday pictures", "tom@example.org", "Tom Baker", true},
        {"FROM: \"Lee, Ann\" <ann@example.net>\nsubject: Re: x\n\nFrom: body <b@x>\n", "Re: x",
         "ann@example.net", "Lee, Ann", false},
        {"From: bare@example.com\r\nDate: yesterday\r\n\r\n", "", "bare@example.com",
         "bare@example.com", false},
        {"\r\nFrom: after@blank.line\r\n", "", "", "", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = dir.Write("m" + std::to_string(n++) + ".eml", c.text);
        MailHeader h;
        ASSERT_TRUE(ReadEmlHeader(path, h)) << c.text;
        EXPECT_EQ(h.Subject, c.subject) << c.text;
        EXPECT_EQ(h.Sender, c.sender) << c.text;
        EXPECT_EQ(h.SenderName, c.senderName) << c.text;
        EXPECT_EQ(h.Time.has_value(), c.dated) << c.text;
    }
    MailHeader h;
    EXPECT_FALSE(ReadEmlHeader(dir / "missing.eml", h));
    // A folder of .eml files and a .dbx file are mailboxes; anything else is not.
    EXPECT_NE(OpenMailSource(dir.path()), nullptr);
    EXPECT_EQ(OpenMailSource(dir / "m0.eml"), nullptr);
    EXPECT_EQ(OpenMailSource(""), nullptr);
}
