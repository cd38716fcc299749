// winmail.dat parts through the extractor: the files inside are written as attachments of their
// own, and a damaged or file-less stream is kept whole, never lost and never written outside.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <sys/stat.h>

#include "MailFixtures.h"
#include "TempDir.h"
#include "components/extractor/MessageExtractor.h"

namespace fs = std::filesystem;

namespace {

// A TNEF stream as mail programs write it, for the tests.
std::string Le(std::uint64_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(v >> (8 * i));
    return out;
}

std::string Attr(int level, std::uint32_t id, const std::string& data) {
    std::uint16_t sum = 0;
    for (char c : data)
        sum = static_cast<std::uint16_t>(sum + static_cast<unsigned char>(c));
    return Le(level, 1) + Le(id, 4) + Le(data.size(), 4) + data + Le(sum, 2);
}

std::string Stream(const std::string& attributes) {
    return Le(0x223E9F78, 4) + Le(0x1234, 2) + Attr(1, 0x00089006, Le(0x00010000, 4)) + attributes;
}

std::string Padded(const std::string& v) {
    return v + std::string((4 - v.size() % 4) % 4, '\0');
}

// One property of a property list: a string, binary or object value, or a 32-bit number.
std::string VarProp(std::uint16_t type, std::uint16_t id, const std::string& value) {
    return Le(std::uint32_t(id) << 16 | type, 4) + Le(1, 4) + Le(value.size(), 4) + Padded(value);
}
std::string LongProp(std::uint16_t id, std::uint32_t value) {
    return Le(std::uint32_t(id) << 16 | 0x0003, 4) + Le(value, 4);
}
std::string Props(const std::vector<std::string>& props) {
    std::string out = Le(props.size(), 4);
    for (const auto& p : props)
        out += p;
    return out;
}

std::string Utf16(const std::u16string& s) {
    std::string out;
    for (char16_t c : s)
        out += Le(c, 2);
    return out + Le(0, 2);
}

// Wall-clock date attribute: year, month, day, hour, minute, second, weekday.
std::string Date(int y, int mo, int d, int h, int mi, int s) {
    return Le(y, 2) + Le(mo, 2) + Le(d, 2) + Le(h, 2) + Le(mi, 2) + Le(s, 2) + Le(1, 2);
}

// A file attachment: 8-bit title, data, modification date and, when given, a UTF-16 long name.
std::string FileAttachment(const std::string& title, const std::string& data,
                           const std::u16string& longName = u"") {
    std::string out = Attr(2, 0x00069002, std::string(14, '\0')) +
                      Attr(2, 0x00018010, title + '\0') + Attr(2, 0x0006800F, data) +
                      Attr(2, 0x00038013, Date(2019, 3, 4, 10, 20, 30));
    std::vector<std::string> props = {LongProp(0x3705, 1)};
    if (!longName.empty()) props.push_back(VarProp(0x001F, 0x3707, Utf16(longName)));
    return out + Attr(2, 0x00069005, Props(props));
}

// An attached message holding the given stream.
std::string MessageAttachment(const std::string& inner) {
    std::string object = std::string(16, '\x07') + inner; // an interface id, then the stream
    return Attr(2, 0x00069002, std::string(14, '\0')) +
           Attr(2, 0x00069005, Props({LongProp(0x3705, 5), VarProp(0x000D, 0x3701, object)}));
}

std::string MailWith(const std::string& tnef, const std::string& name = "winmail.dat",
                     const std::string& type = "application/ms-tnef") {
    return MakeMessage("Fwd", "Ann <ann@example.org>", "Mon, 04 Mar 2019 10:25:00 +0100",
                       {{"a.txt", "plain", "text/plain"}, {name, tnef, type}});
}

} // namespace

TEST(Tnef, FilesInsideAreWrittenAndNothingIsLost) {
    // The files of the stream of two, as written: alone, and after the stream kept whole.
    const std::string kitten = "kitten \u00e9t\u00e9.jpg";
    const std::vector<std::string> both = {kitten, "notes.txt"},
                                   keptBoth = {"winmail.dat", kitten, "notes.txt"};
    const std::string two =
        FileAttachment("KITTEN~1.JPG", "\xff\xd8\xff\xe0 jpeg", u"kitten \u00e9t\u00e9.jpg") +
        FileAttachment("notes.txt", "notes");
    const std::string full = Stream(two);
    const std::string hostile =
        Stream(FileAttachment("../x", "1") + FileAttachment("a/b/c.txt", "2") +
               FileAttachment("..\\..\\w.txt", "3") + FileAttachment("", "4", u"/etc/passwd") +
               FileAttachment("", "5"));
    // The title in the stream's code page (windows-1251), no long name.
    const std::string cyrillic = Le(0x223E9F78, 4) + Le(0, 2) +
                                 Attr(1, 0x00069007, Le(1251, 4) + Le(0, 4)) +
                                 FileAttachment("\xce\xf2\xf7\xb8\xf2.doc", "doc");
    std::string deep = Stream(two);
    for (int level = 0; level < 9; ++level)
        deep = Stream(MessageAttachment(deep));
    std::string damagedSum = full;
    damagedSum[damagedSum.size() - 30] ^= 0x40;
    struct Case {
        const char* what;
        std::string mail;
        std::vector<std::string> files; // after a.txt, in the answer's order
        bool keptWhole;                 // winmail.dat among them, byte for byte
        const char* logged;             // in the stderr line, or nullptr for none
    } cases[] = {
        {"two files", MailWith(full), both, false, nullptr},
        {"known by its name alone", MailWith(full, "WinMail.DAT", "application/octet-stream"), both,
         false, nullptr},
        {"hostile names",
         MailWith(hostile),
         {"x", "c.txt", "w.txt", "passwd", "part6.bin"},
         false,
         nullptr},
        {"code page title",
         MailWith(cyrillic),
         {"\u041e\u0442\u0447\u0451\u0442.doc"},
         false,
         nullptr},
        {"message text only",
         MailWith(Stream(Attr(1, 0x00018004, std::string("Hi\0", 3)))),
         {"winmail.dat"},
         true,
         nullptr},
        {"no signature", MailWith("not tnef at all"), {"winmail.dat"}, true, nullptr},
        // Damaged: every file whose bytes arrived whole is written, and the stream is kept.
        {"cut after the second file's data", MailWith(full.substr(0, full.size() - 40)), keptBoth,
         true, "cut short"},
        {"cut in the second file's data",
         MailWith(full.substr(0, full.size() - 52)),
         {"winmail.dat", kitten},
         true,
         "cut short"},
        {"the last checksum missing", MailWith(full.substr(0, full.size() - 2)), keptBoth, true,
         "cut short"},
        {"two stray bytes after the end", MailWith(full + std::string("\0\0", 2)), keptBoth, true,
         "cut short"},
        {"checksum", MailWith(damagedSum), keptBoth, true, "checksum"},
        {"an object in place of file bytes",
         MailWith(Stream(Attr(2, 0x00069002, std::string(14, '\0')) +
                         Attr(2, 0x00018010, std::string("Picture\0", 8)) +
                         Attr(2, 0x0006800F, "OLE object bytes") +
                         Attr(2, 0x00069005, Props({LongProp(0x3705, 6)})))),
         {"winmail.dat", "Picture"},
         true,
         "holds an object"},
        {"names with surrogates",
         MailWith(Stream(FileAttachment("", "1", u"\U0001F600.png") +
                         FileAttachment("", "2",
                                        std::u16string(u"a\xD800"
                                                       u"b.txt")))),
         {"\U0001F600.png", "a\uFFFDb.txt"},
         false,
         nullptr},
        {"zero-length attributes",
         MailWith(Stream(FileAttachment("empty.txt", "") + Attr(2, 0x00069002, "") +
                         Attr(2, 0x00018010, "") + Attr(2, 0x0006800F, "z") +
                         Attr(2, 0x00069005, ""))),
         {"empty.txt", "part3.bin"},
         false,
         nullptr},
        {"files of an attached message", MailWith(Stream(MessageAttachment(Stream(two)))), keptBoth,
         true, nullptr},
        {"attached messages without end", MailWith(deep), {"winmail.dat"}, true, "nested"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string dest = dir.MakeDir("dest");
        const std::string mail = dir.Write("mail/m.eml", c.mail);
        ::testing::internal::CaptureStderr();
        extractor::ExtractedMessage answer = extractor::ExtractMessage(mail, dest);
        const std::string err = ::testing::internal::GetCapturedStderr();

        std::vector<std::string> want = {"a.txt"};
        want.insert(want.end(), c.files.begin(), c.files.end());
        EXPECT_EQ(answer.files, want);
        EXPECT_EQ(EntryNames(dest), std::set<std::string>(want.begin(), want.end()));
        EXPECT_EQ(EntryNames(dir.path()), (std::set<std::string>{"dest", "mail"}));
        if (c.logged)
            EXPECT_NE(err.find(c.logged), std::string::npos) << err;
        else
            EXPECT_EQ(err, "");
        if (c.keptWhole) {
            const size_t start = c.mail.find("filename=\"winmail.dat\"\r\n\r\n") + 26;
            const size_t end = c.mail.find("--XYZ--");
            std::string body = c.mail.substr(start, end - start);
            EXPECT_EQ(Base64(ReadFileText(dest + "/winmail.dat")), body);
        }
    }
}

TEST(Tnef, InnerFilesCarryTheirOwnBytesAndDate) {
    TempDir dir;
    const std::string dest = dir.MakeDir("dest");
    const std::string data(70000, '\x5a');
    extractor::ExtractMessage(dir.Write("m.eml", MailWith(Stream(FileAttachment("big.bin", data)))),
                              dest);
    EXPECT_EQ(ReadFileText(dest + "/big.bin"), data);
    // 2019-03-04 10:20:30 on the sender's clock, whose offset the mail's Date: gives (+0100).
    EXPECT_EQ(ModTime(dest + "/big.bin"), 1551694830 - 3600);
}
