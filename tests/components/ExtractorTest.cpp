// The real extractor component, created by class id and called through CExtractorClient, on
// messages written by the tests: the answer, the names, clashes, nesting, bad input.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "MailFixtures.h"
#include "SplitText.h"
#include "TempDir.h"
#include "engine/ExtractorClient.h"
#include "platform/UserInterface.h"

namespace fs = std::filesystem;

namespace {

class NullUi : public IMessageBox {
public:
    void ShowMessage(const std::string& text, const std::string&, MessageIcon) override {
        ADD_FAILURE() << "message box: " << text;
    }
    bool AskYesNo(const std::string&, const std::string&, MessageIcon) override { return false; }
};

// A part: its headers after Content-Type, and its (already encoded) body.
struct Part {
    std::string contentType;
    std::string extraHeaders;
    std::string body;
};

Part Attachment(const std::string& name, const std::string& data,
                const std::string& type = "application/octet-stream") {
    return {type + "; name=\"" + name + "\"",
            "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" +
                name + "\"\r\n",
            Base64(data)};
}

std::string Multipart(const std::vector<Part>& parts, const std::string& boundary = "XYZ-boundary",
                      const std::string& subtype = "mixed") {
    std::string out = "Content-Type: multipart/" + subtype + "; boundary=\"" + boundary +
                      "\"\r\n\r\nThis is a multi-part message.\r\n";
    for (const auto& p : parts) {
        out += "--" + boundary + "\r\nContent-Type: " + p.contentType + "\r\n" + p.extraHeaders +
               "\r\n" + p.body + "\r\n";
    }
    out += "--" + boundary + "--\r\n";
    return out;
}

std::string Message(const std::string& mimeBody, const std::string& subject = "Test",
                    const std::string& date = "Tue, 15 Nov 1994 08:12:31 -0500",
                    const std::string& from = "Bob <bob@example.com>") {
    std::string out = "From: " + from + "\r\nTo: alice@example.com\r\n";
    if (!subject.empty()) out += "Subject: " + subject + "\r\n";
    if (!date.empty()) out += "Date: " + date + "\r\n";
    out += "MIME-Version: 1.0\r\n" + mimeBody;
    return out;
}

Part Text(const std::string& text) {
    return {"text/plain; charset=us-ascii", "", text};
}

class ExtractorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_env = std::make_unique<ScopedEnv>(
            "KESTREL_CLASS_REGISTRY", std::string(KESTREL_OUTPUT_DIR) + "/kestrel-classes.reg");
        ASSERT_TRUE(m_client.Create(&m_ui));
        m_client.SetErrorLogger([this](const std::string& line) { m_log.push_back(line); });
        m_dest = m_dir.MakeDir("dest");
    }

    // Writes the message and extracts it into dest; returns the ExtractToFolder2 answer.
    std::string Extract(const std::string& message, const std::string& fileName = "m.eml") {
        return m_client.ExtractToFolder2(m_dir.Write("mail/" + fileName, message), m_dest);
    }

    // The file names of an ExtractToFolder2 answer.
    static std::vector<std::string> Files(const std::string& answer) {
        auto fields = Split(answer, '|');
        if (fields.size() < 4) return {};
        return Split(fields[3], ':');
    }

    TempDir m_dir;
    std::string m_dest;
    std::unique_ptr<ScopedEnv> m_env;
    NullUi m_ui;
    CExtractorClient m_client;
    std::vector<std::string> m_log;
};

} // namespace

TEST_F(ExtractorFixture, AnswerHasSubjectSenderDateAndFiles) {
    std::string jpeg = "\xff\xd8\xff\xe0" + RandomBytes(5000, 1);
    std::string answer =
        Extract(Message(Multipart({Text("Hello"), Attachment("photo.jpg", jpeg, "image/jpeg"),
                                   Attachment("notes.bin", RandomBytes(10, 2))})));
    EXPECT_EQ(answer,
              "Test|Bob <bob@example.com>|Tue, 15 Nov 1994 08:12:31 -0500|photo.jpg:notes.bin");
    EXPECT_EQ(ReadFileText(m_dest + "/photo.jpg"), jpeg);
    EXPECT_EQ(ReadFileText(m_dest + "/notes.bin"), RandomBytes(10, 2));
    EXPECT_EQ(EntryNames(m_dest), (std::set<std::string>{"photo.jpg", "notes.bin"}));
    EXPECT_TRUE(m_log.empty());

    // ExtractToFolder answers the list alone; a second run into the same folder finds the
    // files already there and writes nothing twice.
    std::string list = m_client.ExtractToFolder(m_dir / "mail/m.eml", m_dest);
    EXPECT_EQ(list, "photo.jpg:notes.bin");
    EXPECT_EQ(EntryNames(m_dest), (std::set<std::string>{"photo.jpg", "notes.bin"}));
}

TEST_F(ExtractorFixture, NoAttachmentGivesThreeFieldsAndAnEmptyList) {
    std::string msg = Message("Content-Type: text/plain\r\n\r\nJust text.\r\n", "Only text");
    EXPECT_EQ(Extract(msg), "Only text|Bob <bob@example.com>|Tue, 15 Nov 1994 08:12:31 -0500");
    EXPECT_EQ(m_client.ExtractToFolder(m_dir / "mail/m.eml", m_dest), "");
    EXPECT_TRUE(EntryNames(m_dest).empty());
}

// The answer's first three fields: the subject and sender decoded, never with a field separator
// of their own, and the date with the sender's wall clock and offset.
TEST_F(ExtractorFixture, SubjectSenderAndDateAsTheAnswerGivesThem) {
    const std::string bob = "Bob <bob@example.com>", date = "Tue, 15 Nov 1994 08:12:31 -0500";
    const struct {
        std::string subject, date, from;
        std::string want; // the answer before the file's name
    } cases[] = {
        {"=?utf-8?q?Gr=C3=BC=C3=9Fe_|_pipe?= =?iso-8859-1?q?_M=FCnchen?=",
         "Tue, 15 Nov 1994 08:12:31 +0100", "=?utf-8?b?SsO2cmcgTcO8bGxlcg==?= <joerg@example.de>",
         "Grüße \xC2\xA6 pipe München|Jörg Müller <joerg@example.de>|"
         "Tue, 15 Nov 1994 08:12:31 +0100"},
        // A long UTF-8 subject split into base64 words, each padded.
        {"=?utf-8?b?0J/RgNC40LLQtdGCIG3DvG5jaGVuIHRyYXZlbCByZWNlaXB0IGhvdGVsIOaXpQ==?=\r\n"
         " =?utf-8?b?5pys6Kqe?=",
         date, bob, "Привет münchen travel receipt hotel 日本語|" + bob + "|" + date},
        // Undeclared 8-bit text is UTF-8 where it is valid, else Windows-1252.
        {"Gr\xfc\xdf"
         "e \x80",
         date, bob, "Grüße €|" + bob + "|" + date},
        {"Grüße", date, bob, "Grüße|" + bob + "|" + date},
        {"S", "5 Feb 2005 23:00:09 +0100", bob, "S|" + bob + "|Sat, 05 Feb 2005 23:00:09 +0100"},
        {"S", "Sat, 19 Feb 2005 11:55:16 GMT", bob,
         "S|" + bob + "|Sat, 19 Feb 2005 11:55:16 +0000"},
        {"S", "Wed, 1 Jan 2020 00:00:00 +0545", bob,
         "S|" + bob + "|Wed, 01 Jan 2020 00:00:00 +0545"},
        {"S", "not a date at all", bob, "S|" + bob + "|"},
        {"S", "", bob, "S|" + bob + "|"}, // no Date: header
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.subject + " / " + c.date);
        EXPECT_EQ(Extract(Message(Multipart({Attachment("a.bin", "x")}), c.subject, c.date, c.from),
                          "h" + std::to_string(n++) + ".eml"),
                  c.want + "|a.bin");
    }
}

TEST_F(ExtractorFixture, HostileNamesStayInsideTheFolder) {
    std::string outside = m_dir / "x";
    std::vector<Part> parts = {
        Attachment("../../x", "1"),          Attachment("/etc/passwd", "2"),
        Attachment("report.htm", "3"),       Attachment("ulkfoo.jpg", "4", "image/jpeg"),
        Attachment("KESTLx", "5"),           Attachment("a:b|c.jpg", "6"),
        Attachment("..", "7", "image/png"),  Attachment("report", "8"),
        Attachment("process", "9"),          Attachment(std::string(300, 'n') + ".jpg", "10"),
        Attachment("..\\..\\win.txt", "11"),
    };
    // Control characters can only arrive encoded (RFC 2231).
    parts.push_back({"application/octet-stream",
                     "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
                     "filename*=utf-8''bad%01%0A%0Dname%7F.txt\r\n",
                     Base64("12")});
    // A NUL is left out like any control character, raw or encoded, and cuts nothing short.
    const std::string nul(1, '\0');
    parts.push_back({"application/octet-stream",
                     "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
                     "filename=\"nul" + nul + "\\\"q.txt\"\r\n",
                     Base64("13")});
    parts.push_back({"application/octet-stream; name=\"a" + nul + "b.txt\"",
                     "Content-Transfer-Encoding: base64\r\n", Base64("14")});
    parts.push_back({"application/octet-stream",
                     "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
                     "filename*=utf-8''enc%00%22oded.txt\r\n",
                     Base64("15")});
    std::string answer = Extract(Message(Multipart(parts)));
    auto files = Files(answer);
    std::vector<std::string> want = {"x",           "passwd",     "report (1).htm",
                                     "_ulkfoo.jpg", "_KESTLx",    "a_b_c.jpg",
                                     "part7.png",   "report (1)", "process (1)"};
    ASSERT_EQ(files.size(), 15u) << answer;
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_EQ(files[i], want[i]);
    EXPECT_LT(files[9].size(), 255u);
    EXPECT_EQ(files[9].substr(files[9].size() - 4), ".jpg");
    EXPECT_EQ(files[10], "win.txt");
    EXPECT_EQ(files[11], "badname.txt");
    EXPECT_EQ(files[12], "nul\"q.txt");
    EXPECT_EQ(files[13], "ab.txt");
    EXPECT_EQ(files[14], "enc\"oded.txt");
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(ReadFileText(m_dest + "/" + files[i]), std::to_string(i + 1)) << files[i];
    }
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_EQ(EntryNames(m_dir.path()), (std::set<std::string>{"dest", "mail"}));
    EXPECT_EQ(EntryNames(m_dest).size(), files.size());
}

TEST_F(ExtractorFixture, ClashesAreNumberedAndNothingIsOverwritten) {
    m_dir.Write("dest/photo.jpg", "old");
    m_dir.Write("dest/photo (2).jpg", "old2");
    fs::create_directory(m_dest + "/report");
    // A symbolic link with the wanted name is not followed, nor taken for an equal file.
    m_dir.Write("target.txt", "target");
    fs::create_symlink(m_dir / "target.txt", m_dest + "/link.txt");
    // Equal bytes under the name or a numbered one: reported, not written again; each name
    // once per message.
    std::string answer = Extract(Message(Multipart(
        {Attachment("photo.jpg", "a"), Attachment("photo.jpg", "b"), Attachment("photo.jpg", "old2"),
         Attachment("link.txt", "target"), Attachment("photo.jpg", "old"),
         Attachment("photo.jpg", "old"), Attachment("photo.jpg", "a")})));
    EXPECT_EQ(Files(answer),
              (std::vector<std::string>{"photo (1).jpg", "photo (3).jpg", "photo (2).jpg",
                                        "link (1).txt", "photo.jpg", "photo (4).jpg",
                                        "photo (5).jpg"}));
    EXPECT_EQ(ReadFileText(m_dest + "/photo.jpg"), "old");
    EXPECT_EQ(ReadFileText(m_dest + "/photo (2).jpg"), "old2");
    EXPECT_EQ(ReadFileText(m_dest + "/photo (1).jpg"), "a");
    EXPECT_EQ(ReadFileText(m_dest + "/photo (3).jpg"), "b");
    EXPECT_EQ(ReadFileText(m_dest + "/photo (5).jpg"), "a");
    EXPECT_EQ(ReadFileText(m_dir / "target.txt"), "target");
    EXPECT_EQ(EntryNames(m_dest).size(), 9u); // nothing left over from the equal ones

    // Another message into the same folder, after someone else put a file there: equal files
    // under the name are found, also the new one; a different one gets the next number.
    m_dir.Write("dest/photo (9).jpg", "c");
    struct timespec times[2] = {{0, UTIME_OMIT}, {978307200, 0}}; // the folder's time moves
    ASSERT_EQ(utimensat(AT_FDCWD, m_dest.c_str(), times, 0), 0);
    EXPECT_EQ(Extract(Message(Multipart({Attachment("photo.jpg", "a"), Attachment("photo.jpg", "b"),
                                         Attachment("photo.jpg", "c"), Attachment("photo.jpg", "d")})),
                      "again.eml"),
              "Test|Bob <bob@example.com>|Tue, 15 Nov 1994 08:12:31 -0500|"
              "photo (1).jpg:photo (3).jpg:photo (9).jpg:photo (6).jpg");
    EXPECT_EQ(EntryNames(m_dest).size(), 11u);
}

TEST_F(ExtractorFixture, NestedForwardedMessagesAreWalked) {
    std::string inner2 = Message(
        Multipart({Text("deepest"), Attachment("deep.png", "DEEP", "image/png")}, "b3"), "Inner 2");
    std::string inner1 = Message(Multipart({Text("inner"),
                                            Attachment("mid.pdf", "MID", "application/pdf"),
                                            {"message/rfc822; name=\"fwd\"", "", inner2},
                                            {"message/rfc822", "", inner2}},
                                           "b2"),
                                 "Inner 1");
    std::string outer =
        Message(Multipart({Text("outer"),
                           Attachment("top.doc", "TOP"),
                           {"message/rfc822", "Content-Disposition: attachment\r\n", inner1}},
                          "b1"),
                "Fwd: Fwd: layers");
    std::string answer = Extract(outer);
    EXPECT_EQ(Split(answer, '|')[0], "Fwd: Fwd: layers");
    // A message attached as a file (a name or an attachment disposition) is saved too, named
    // by its file name or else its subject, with its bytes as they stand; an inline one is not,
    // nor one inside a saved one (its bytes are in that one's already). The attachments inside
    // every level come out.
    EXPECT_EQ(Files(answer), (std::vector<std::string>{"top.doc", "Inner 1.eml", "mid.pdf",
                                                       "deep.png", "deep (1).png"}));
    EXPECT_EQ(ReadFileText(m_dest + "/deep.png"), "DEEP");
    EXPECT_EQ(ReadFileText(m_dest + "/Inner 1.eml"), inner1);
    // Beside an inline one, the attached one is the outermost of its chain.
    std::string beside = Message(Multipart({{"message/rfc822", "", inner1}}, "b0"), "Beside");
    EXPECT_EQ(Files(Extract(beside, "beside.eml")),
              (std::vector<std::string>{"mid.pdf", "fwd.eml", "deep.png", "deep (1).png"}));
    EXPECT_EQ(ReadFileText(m_dest + "/fwd.eml"), inner2);

    // A chain of attached messages nested 300 deep: one .eml, the attachment at its bottom,
    // and output in proportion to the input.
    std::string chain = Message(Multipart({Attachment("bottom.bin", "BOTTOM")}, "z"), "Bottom");
    for (int level = 0; level < 300; ++level)
        chain = Message(Multipart({{"message/rfc822", "Content-Disposition: attachment\r\n",
                                    chain}},
                                  "l" + std::to_string(level)),
                        "Level " + std::to_string(level));
    const std::string deep = m_dir.MakeDir("deep");
    const std::string list =
        m_client.ExtractToFolder(m_dir.Write("mail/chain.eml", chain), deep);
    EXPECT_EQ(list, "Level 298.eml:bottom.bin");
    std::uintmax_t written = 0;
    for (const auto& e : fs::directory_iterator(deep))
        written += e.file_size();
    EXPECT_LT(written, chain.size());
}

TEST_F(ExtractorFixture, EncodedForwardedMessagesAreDecodedAndWalked) {
    std::string inner = Message(
        Multipart({Text("inner"), Attachment("inner.png", "\x89PNG inner", "image/png")}, "in"),
        "Inner");
    std::string qp;
    for (char c : inner)
        qp += c == '=' ? std::string("=3D") : std::string(1, c);
    std::string outer = Message(
        Multipart({Text("outer"),
                   {"message/rfc822", "Content-Transfer-Encoding: base64\r\n", Base64(inner)},
                   {"message/rfc822", "Content-Transfer-Encoding: quoted-printable\r\n", qp}},
                  "out"));
    EXPECT_EQ(Files(Extract(outer)), (std::vector<std::string>{"inner.png", "inner (1).png"}));
    EXPECT_EQ(ReadFileText(m_dest + "/inner (1).png"), "\x89PNG inner");
}

TEST_F(ExtractorFixture, Rfc2231ContinuationsAndRfc2047Names) {
    std::vector<Part> parts = {
        {"application/pdf",
         "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
         " filename*0*=utf-8''%E2%82%AC%20Rechnung%20;\r\n filename*1*=M%C3%A4rz;\r\n "
         "filename*2=\".pdf\"\r\n",
         Base64("PDF")},
        {"image/jpeg; name=\"=?utf-8?b?RmVyaWVuIMOcYmVyc2ljaHQ=?= =?utf-8?b?LmpwZw==?=\"",
         "Content-Transfer-Encoding: base64\r\n", Base64("JPG")},
        {"text/plain; name=\"=?iso-8859-1?q?r=E9sum=E9=2Etxt?=\"",
         "Content-Disposition: inline\r\n", "text"},
    };
    EXPECT_EQ(
        Files(Extract(Message(Multipart(parts)))),
        (std::vector<std::string>{"€ Rechnung März.pdf", "Ferien Übersicht.jpg", "résumé.txt"}));
}

TEST_F(ExtractorFixture, UnnamedPartsGetGeneratedNames) {
    std::vector<Part> parts = {
        Text("body"),
        {"image/png", "Content-Transfer-Encoding: base64\r\nContent-ID: <img1>\r\n", Base64("PNG")},
        {"application/octet-stream", "Content-Transfer-Encoding: base64\r\n", Base64("BIN")},
        {"text/plain", "Content-Disposition: attachment\r\n", "attached text"},
        {"text/html", "", "<p>body html, not an attachment</p>"},
    };
    EXPECT_EQ(Files(Extract(Message(Multipart(parts)))),
              (std::vector<std::string>{"part1.png", "part2.bin", "part3.txt"}));
    EXPECT_EQ(ReadFileText(m_dest + "/part3.txt"), "attached text");
}

TEST_F(ExtractorFixture, ZeroByteAndGarbageMessages) {
    EXPECT_EQ(m_client.ExtractToFolder2(m_dir.Write("mail/empty.eml", ""), m_dest), "||");
    EXPECT_EQ(m_client.ExtractToFolder(m_dir / "mail/empty.eml", m_dest), "");
    std::string garbage = RandomBytes(20000, 7);
    std::string answer =
        m_client.ExtractToFolder2(m_dir.Write("mail/garbage.eml", garbage), m_dest);
    EXPECT_LT(Split(answer, '|').size(), 4u) << answer;
    EXPECT_TRUE(m_log.empty());
}

TEST_F(ExtractorFixture, TruncatedBase64KeepsWhatArrived) {
    std::string data = RandomBytes(1000, 3);
    std::string encoded = Base64(data);
    // Cut inside the last lines: a group of three letters still gives two bytes.
    std::string cut = encoded.substr(0, encoded.size() - 20);
    while (cut.back() == '\n' || cut.back() == '\r')
        cut.pop_back();
    std::string msg = Message("Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                              "Content-Type: application/octet-stream; name=\"cut.bin\"\r\n"
                              "Content-Transfer-Encoding: base64\r\n\r\n" +
                              cut);
    auto files = Files(Extract(msg));
    ASSERT_EQ(files, std::vector<std::string>{"cut.bin"});
    std::string got = ReadFileText(m_dest + "/cut.bin");
    size_t letters = 0;
    for (char c : cut)
        letters += c != '\r' && c != '\n';
    EXPECT_EQ(got.size(), letters / 4 * 3 + (letters % 4 == 0 ? 0 : letters % 4 - 1));
    EXPECT_EQ(got, data.substr(0, got.size()));
}

TEST_F(ExtractorFixture, QuotedPrintableAndBinaryContentAreExact) {
    std::vector<Part> parts = {
        {"text/plain; name=\"qp.txt\"", "Content-Transfer-Encoding: quoted-printable\r\n",
         "caf=C3=A9 =3D soft=\r\nbreak\r\nline two"},
        {"text/csv; name=\"data.csv\"", "Content-Transfer-Encoding: 8bit\r\n", "a;b\r\n1;2"},
    };
    auto files = Files(Extract(Message(Multipart(parts))));
    ASSERT_EQ(files, (std::vector<std::string>{"qp.txt", "data.csv"}));
    EXPECT_EQ(ReadFileText(m_dest + "/qp.txt"), "café = softbreak\r\nline two");
    EXPECT_EQ(ReadFileText(m_dest + "/data.csv"), "a;b\r\n1;2");

    // Uuencode whose trailing blanks were lost in transit: short lines are padded with zero
    // bits and the lines after them stay right.
    std::string uuData = std::string("0123456789abcdefghijklmnopqrstuvwxyzABCDEFG\0\0", 45) +
                         std::string("xy\0\0\0", 5);
    std::string uu = "begin 644 uu.bin\r\n";
    for (size_t i = 0; i < uuData.size(); i += 45) {
        std::string chunk = uuData.substr(i, 45), line(1, static_cast<char>(32 + chunk.size()));
        chunk.resize((chunk.size() + 2) / 3 * 3, '\0');
        for (size_t j = 0; j < chunk.size(); j += 3) {
            unsigned v = (unsigned char)chunk[j] << 16 | (unsigned char)chunk[j + 1] << 8 |
                         (unsigned char)chunk[j + 2];
            for (int k = 18; k >= 0; k -= 6)
                line += static_cast<char>(32 + ((v >> k) & 63));
        }
        uu += line.substr(0, line.find_last_not_of(' ') + 1) + "\r\n";
    }
    uu += "`\r\nend\r\n";
    // The last part of a file without a final line end keeps its exact bytes.
    std::string tail = Message("Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                               "Content-Type: application/octet-stream; name=\"uu.bin\"\r\n"
                               "Content-Transfer-Encoding: x-uuencode\r\n\r\n" + uu +
                               "--b\r\nContent-Type: application/octet-stream; name=\"abc.bin\"\r\n"
                               "\r\nABC");
    EXPECT_EQ(Files(Extract(tail, "tail.eml")), (std::vector<std::string>{"uu.bin", "abc.bin"}));
    EXPECT_EQ(ReadFileText(m_dest + "/uu.bin"), uuData);
    EXPECT_EQ(ReadFileText(m_dest + "/abc.bin"), "ABC");
    std::string single = "From: a@b\nContent-Type: application/pdf; name=\"one.pdf\"\n\nPDF";
    EXPECT_EQ(Files(Extract(single, "single.eml")), std::vector<std::string>{"one.pdf"});
    EXPECT_EQ(ReadFileText(m_dest + "/one.pdf"), "PDF");
}

TEST_F(ExtractorFixture, HeaderBlockEndingWithALineOfBlanks) {
    // Read as the end of the headers, as mail readers do; the parts stay intact.
    const char* blankLines[] = {" \r\n", "\t\r\n", "   \t \r\n"};
    int n = 0;
    for (const char* blank : blankLines) {
        std::string msg = Message("Content-Type: multipart/mixed; boundary=\"b\"\r\n" +
                                  std::string(blank) + "--b\r\nContent-Type: image/png; "
                                  "name=\"x.png\"\r\n\r\nPNG\r\n--b--\r\n");
        std::string name = "blank" + std::to_string(n++) + ".eml";
        std::string answer = Extract(msg, name);
        EXPECT_EQ(Split(answer, '|')[0], "Test") << blank;
        ASSERT_EQ(Files(answer).size(), 1u) << answer;
        EXPECT_EQ(ReadFileText(m_dest + "/" + Files(answer)[0]), "PNG") << blank;
    }
    // With LF line ends too.
    std::string lf = "Subject: lf\nContent-Type: multipart/mixed; boundary=b\n \n--b\n"
                     "Content-Type: image/gif; name=y.gif\n\nGIF\n--b--\n";
    EXPECT_EQ(Files(Extract(lf, "lf.eml")), std::vector<std::string>{"y.gif"});
    EXPECT_EQ(ReadFileText(m_dest + "/y.gif"), "GIF");
}

// A header block that runs on and on (no mail has one; a damaged file or one that is no mail
// may) is ended after 10,000 lines or 1 MiB, so that the parser does not hold it in memory
// several times over. The lines after the cut are left out but for the MIME headers among
// them, and the parts of the body still come out, wherever the Content-Type header stands.
TEST_F(ExtractorFixture, AHeaderBlockThatRunsOnIsEndedAndThePartsStillComeOut) {
    const std::string parts =
        "--b\r\nContent-Type: image/png; name=\"x.png\"\r\n\r\nPNG\r\n--b--\r\n";
    auto lines = [](int n) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += "X-Pad-" + std::to_string(i) + ": v\r\n";
        return text;
    };
    const std::string type = "Content-Type: multipart/mixed; boundary=\"b\"\r\n";
    const std::string folded = "Content-Type: multipart/mixed;\r\n\tboundary=\"b\"\r\n";
    const struct {
        const char* name;
        std::string padding;  // between the Content-Type header and a Subject header
        const char* subject;  // as read: empty when the Subject line was past the cut
        std::string typeLast = {}; // the Content-Type header after the padding instead
    } cases[] = {
        {"10,000 lines, the Subject line the last", lines(9998), "late"},
        {"10,001 lines", lines(9999), ""},
        {"more lines than the limit", lines(20000), ""},
        {"a line shorter than the limit", "X-Long: " + std::string(900 * 1024, 'x') + "\r\n",
         "late"},
        {"a line longer than the limit", "X-Long: " + std::string(2048 * 1024, 'x') + "\r\n",
         ""},
        {"the type past 10,000 lines", lines(20000), "", type},
        {"the type folded, past a line longer than the limit",
         "X-Long: " + std::string(2048 * 1024, 'x') + "\r\n", "", folded},
        {"the type past 1 MiB of lines", lines(60000), "", "MIME-Version: 1.0\r\n" + folded},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string text = (c.typeLast.empty() ? type : "") + c.padding + c.typeLast +
                                 "Subject: late\r\n\r\n" + parts;
        const std::string answer = Extract(text, "padded" + std::to_string(n++) + ".eml");
        EXPECT_EQ(Split(answer, '|')[0], c.subject) << c.name;
        ASSERT_EQ(Files(answer).size(), 1u) << c.name << ": " << answer.substr(0, 200);
        EXPECT_EQ(ReadFileText(m_dest + "/" + Files(answer)[0]), "PNG") << c.name;
    }
}

TEST_F(ExtractorFixture, MissingMessageOrFolderIsAnAutomationException) {
    EXPECT_EQ(m_client.ExtractToFolder2(m_dir / "mail/none.eml", m_dest), "");
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_EQ(m_log[0].rfind("OleException: Cannot open the message", 0), 0u) << m_log[0];
    std::string msg = m_dir.Write("mail/ok.eml", Message(Multipart({Attachment("a.bin", "a")})));
    EXPECT_EQ(m_client.ExtractToFolder2(msg, m_dir / "no-such-folder"), "");
    ASSERT_EQ(m_log.size(), 2u);
    EXPECT_EQ(m_log[1].rfind("OleException: Cannot open the folder", 0), 0u) << m_log[1];
}

TEST_F(ExtractorFixture, PathsThatAreNotUtf8) {
    std::string folder = m_dir.MakeDir("caf\xe9");
    std::string msg = m_dir.Write("mail/\xff.eml", Message(Multipart({Attachment("a.bin", "a")})));
    EXPECT_EQ(Files(m_client.ExtractToFolder2(msg, folder)), std::vector<std::string>{"a.bin"});
    EXPECT_EQ(ReadFileText(folder + "/a.bin"), "a");
}

TEST_F(ExtractorFixture, AFileThatCannotBeWrittenIsRemovedAndNotReported) {
    // Failure injection that works for root too: a file size limit makes the big write fail.
    std::string message =
        m_dir.Write("mail/m.eml", Message(Multipart({Attachment("big.bin", RandomBytes(100000, 9)),
                                                     Attachment("small.bin", "small")})));
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ::testing::internal::CaptureStderr();
    std::string answer = m_client.ExtractToFolder2(message, m_dest);
    std::string err = ::testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    // The answer says one file could not be written and why, after the names of those that
    // were, in a form no file name can take.
    EXPECT_EQ(Files(answer),
              (std::vector<std::string>{"small.bin", "/unwritten/1/" + std::to_string(EFBIG)}));
    EXPECT_EQ(EntryNames(m_dest), std::set<std::string>{"small.bin"});
    EXPECT_NE(err.find("cannot write \"big.bin\""), std::string::npos) << err;
}

TEST_F(ExtractorFixture, AProcessKilledWhileWritingLeavesNoFileCutShortUnderItsName) {
    const std::string big = RandomBytes(1 << 20, 11);
    const std::string message =
        m_dir.Write("mail/m.eml", Message(Multipart({Attachment("big.bin", big)})));
    // The kernel kills the child in the middle of the write, as kill -9 would: the file grows
    // past the child's size limit and the signal's default action ends it there.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rlimit none {0, 0}, small {256 * 1024, 256 * 1024};
        ::setrlimit(RLIMIT_CORE, &none);
        ::signal(SIGXFSZ, SIG_DFL);
        ::setrlimit(RLIMIT_FSIZE, &small);
        m_client.ExtractToFolder2(message, m_dest);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    // Nothing under the attachment's name, nor under any name a user would see.
    for (const std::string& name : EntryNames(m_dest))
        EXPECT_EQ(name.rfind(".kestrel-partial-", 0), 0u) << name;
    // The next run writes it whole under its own name.
    EXPECT_EQ(Files(m_client.ExtractToFolder2(message, m_dest)), std::vector<std::string>{"big.bin"});
    EXPECT_TRUE(ReadFileText(m_dest + "/big.bin") == big);
}

TEST_F(ExtractorFixture, UnwritableFolderWritesNothingAndReportsNothing) {
    // Root writes through any permission: the check runs as an ordinary user.
    std::string message =
        m_dir.Write("mail/m.eml", Message(Multipart({Attachment("a.bin", "a")})));
    RunWithoutPrivileges([&] {
        fs::permissions(m_dest, fs::perms::owner_read | fs::perms::owner_exec);
        ::testing::internal::CaptureStderr();
        std::string answer = m_client.ExtractToFolder2(message, m_dest);
        std::string list = m_client.ExtractToFolder(message, m_dest);
        ::testing::internal::GetCapturedStderr();
        // No name, but the note of the file that could not be created is the list.
        const std::string note = "/unwritten/1/" + std::to_string(EACCES);
        EXPECT_EQ(Files(answer), std::vector<std::string>{note}) << answer;
        EXPECT_EQ(list, note);
        EXPECT_TRUE(EntryNames(m_dest).empty());
    });
}
