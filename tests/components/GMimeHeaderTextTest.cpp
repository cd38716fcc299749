// Header text decoding of the extractor component.
#include "components/extractor/GMimeHeaderText.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/Utf8.h"

using namespace extractor;

TEST(DecodeHeaderTextTest, EncodedWords) {
    const std::pair<const char*, const char*> cases[] = {
        {"plain text", "plain text"},
        {"=?utf-8?q?Gr=C3=BC=C3=9Fe?=", "Grüße"},
        {"=?ISO-8859-1?Q?a_b?= c", "a b c"},
        {"=?utf-8?b?SsO2cmc=?= =?utf-8?b?IE3DvGxsZXI=?=", "Jörg Müller"},
        // A character split across two words, and padding in the first word.
        {"=?utf-8?b?w6Q=?= =?utf-8?b?w7Y=?=", "äö"},
        {"=?utf-8?b?0JTQsA==?=\r\n =?utf-8?b?0LQ=?=", "Дад"},
        {"=?utf-8?q?=E2=82?= =?utf-8?q?=AC?=", "€"},
        // Blanks between a word and text stay; between two words they go.
        {"x =?utf-8?q?y?= z", "x y z"},
        {"=?utf-8?q?a?=   =?iso-8859-1?q?b?=", "ab"},
        // Loose: inside other text, with a language, lower-case encoding letter.
        {"Re:=?utf-8?q?x?=", "Re:x"},
        {"=?utf-8*de?q?ja?=", "ja"},
        {"=?koi8-r?b?8NLJ18XU?=", "Привет"},
        {"=?ks_c_5601-1987?B?u+fB+C5KUEc=?=", "사진.JPG"},
        // Not encoded words.
        {"=?utf-8?x?abc?=", "=?utf-8?x?abc?="},
        {"=?utf-8?q?a b?=", "=?utf-8?q?a b?="},
        {"=?", "=?"},
        // Raw 8-bit text: UTF-8 when valid, else windows-1252.
        {"Gr\xc3\xbc\xc3\x9f\x65", "Grüße"},
        {"Gr\xfc\xdf\x65 \x80", "Grüße €"},
        // An unknown charset: its bytes are read as UTF-8 or windows-1252.
        {"=?x-unknown?q?caf=E9?=", "café"},
        // Folding.
        {"long\r\n subject", "long subject"},
    };
    for (const auto& [raw, want] : cases)
        EXPECT_EQ(DecodeHeaderText(raw), want) << raw;
}

TEST(DecodeHeaderTextTest, ResultIsAlwaysValidUtf8) {
    for (const char* raw :
         {"=?utf-8?b?/w==?=", "=?shift_jis?b?gg==?=", "\xff\xfe", "=?utf-8?q?=FF?="})
        EXPECT_TRUE(platform::IsValidUtf8(DecodeHeaderText(raw))) << raw;
}

TEST(FindPlainParameterTest, QuotedTokensFoldedAndMissing) {
    EXPECT_EQ(FindPlainParameter("attachment; filename=\"a b.pdf\"", "filename"), "a b.pdf");
    EXPECT_EQ(FindPlainParameter("attachment; FileName=plain.txt ; size=3", "filename"),
              "plain.txt");
    EXPECT_EQ(
        FindPlainParameter("attachment;\r\n\tfilename=\r\n\t\"=?utf-8?q?x?=\r\n =?utf-8?q?y?=\"",
                           "filename"),
        "=?utf-8?q?x?= =?utf-8?q?y?=");
    EXPECT_EQ(FindPlainParameter("image/png; name=\"q\\\"uote.png\"", "name"), "q\"uote.png");
    EXPECT_EQ(FindPlainParameter("attachment; filename*=utf-8''x.pdf", "filename"), std::nullopt);
    EXPECT_EQ(FindPlainParameter("attachment", "filename"), std::nullopt);
    EXPECT_EQ(FindPlainParameter("text/plain; charset=utf-8; name=", "name"), "");
    EXPECT_EQ(FindPlainParameter("text/plain; broken; name=a.txt", "name"), "a.txt");
}
