#include <gtest/gtest.h>

#include "platform/Utf8.h"

using namespace platform;

TEST(Utf8, StrictDecodingRefusesOverlongSurrogateAndTruncatedForms) {
    char32_t cp = 0;
    EXPECT_EQ(DecodeUtf8("\xC3\xA9", 0, cp), 2u);
    EXPECT_EQ(cp, U'\u00e9');
    EXPECT_EQ(DecodeUtf8("\xF0\x9F\x98\x80", 0, cp), 4u);
    EXPECT_EQ(cp, U'\U0001F600');
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF5\x80\x80\x80", "\x80"})
        EXPECT_EQ(DecodeUtf8(bad, 0, cp), 0u) << bad;
    EXPECT_TRUE(IsValidUtf8("plain \xE2\x82\xAC"));
    EXPECT_FALSE(IsValidUtf8("Estagi\xE1rio"));
}

TEST(Utf8, LegacyTextKeepsUtf8AndReadsTheRestAsWindows1252) {
    EXPECT_EQ(LegacyTextToUtf8("Estagi\xE1rio"), "Estagi\u00e1rio");
    EXPECT_EQ(LegacyTextToUtf8("\x80 \x9C \x81"), "\u20ac \u0153 \u0081");
    EXPECT_EQ(LegacyTextToUtf8("already \xC3\xA9"), "already \u00e9");
    EXPECT_TRUE(IsValidUtf8(LegacyTextToUtf8(std::string(256, '\xFF'))));
}
