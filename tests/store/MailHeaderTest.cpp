#include <gtest/gtest.h>

#include "TempDir.h"
#include "store/MailHeader.h"

TEST(MailHeader, FieldsFromTheHeaderBlockOnly) {
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
        // Encoded words are read as people see them, in the charset they name.
        {"From: =?iso-8859-1?Q?J=F6rg_M=FCller?= <jm@example.de>\r\n"
         "Subject: =?UTF-8?B?w5xiZXJ3ZWlzdW5n?= =?utf-8?q?_f=C3=BCr_Juli?=\r\n\r\n",
         "\xC3\x9C"
         "berweisung f\xC3\xBCr Juli",
         "jm@example.de", "J\xC3\xB6rg M\xC3\xBCller", false},
        {"Subject: Gr\xFC\xDF"
         "e =?koi8-r?B?8NLJ18XU?=\r\n\r\n",
         "Gr\xC3\xBC\xC3\x9F"
         "e \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
         "", "", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = dir.Write("m" + std::to_string(n++) + ".eml", c.text);
        MailHeader h;
        ASSERT_TRUE(ReadMailFileHeader(path, h)) << c.text;
        EXPECT_EQ(h.Subject, c.subject) << c.text;
        EXPECT_EQ(h.Sender, c.sender) << c.text;
        EXPECT_EQ(h.SenderName, c.senderName) << c.text;
        EXPECT_EQ(h.Time.has_value(), c.dated) << c.text;
    }
    MailHeader h;
    EXPECT_FALSE(ReadMailFileHeader(dir / "missing.eml", h));
}
