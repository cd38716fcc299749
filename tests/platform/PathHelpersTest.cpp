#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/PathHelpers.h"
#include "platform/Text.h"

using namespace platform;

TEST(PathHelpers, ExtensionIsRemovedUnlessItHoldsABlank) {
    EXPECT_EQ(RemoveExtension("pop.example.com"), "pop.example");
    EXPECT_EQ(RemoveExtension("Inbox"), "Inbox");
    EXPECT_EQ(RemoveExtension("My Mail.old box"), "My Mail.old box");
    EXPECT_EQ(RemoveExtension("a.b/c"), "a.b/c"); // the dot is not in the last component
    EXPECT_EQ(RemoveExtension("x/archive.2004"), "x/archive");
}

TEST(PathHelpers, CanonicalisingResolvesDotSegments) {
    EXPECT_EQ(CanonicalizePath("/a/./b/../c"), "/a/c");
    EXPECT_EQ(CanonicalizePath("A/./Inbox"), "A/Inbox");
    EXPECT_EQ(CanonicalizePath("/.."), "/");
}

TEST(PathHelpers, ExpandsKnownVariablesAndKeepsUnknownOnes) {
    ScopedEnv env("KESTREL_TEST_VAR", "/tmp/expanded.dir");
    EXPECT_EQ(ExpandEnvironmentStrings("%KESTREL_TEST_VAR%/x"), "/tmp/expanded.dir/x");
    EXPECT_EQ(ExpandEnvironmentStrings("%KESTREL_NO_SUCH_VAR%"), "%KESTREL_NO_SUCH_VAR%");
    EXPECT_EQ(ExpandEnvironmentStrings("100%"), "100%");
}

TEST(PathHelpers, DisplayNameNormalisesThenTakesTheLastComponent) {
    EXPECT_EQ(DisplayNameOf("Hotmail (jane)/Inbox"), "Inbox");
    EXPECT_EQ(DisplayNameOf("  \" acct/pop.example.com \"  "), "pop.example");
    ScopedEnv env("KESTREL_TEST_VAR", "/var/tmp/expanded.dir");
    EXPECT_EQ(DisplayNameOf("acct/%KESTREL_TEST_VAR%"), "expanded");
}

TEST(PathHelpers, TrimAndUnquote) {
    EXPECT_EQ(Trim(" \t x y \r\n"), "x y");
    EXPECT_EQ(Unquote("\"quoted\""), "quoted");
    EXPECT_EQ(Unquote("\""), "\"");
    EXPECT_EQ(Unquote("\"\"\"\""), "\"\"");
}

TEST(PathHelpers, CaseBlindComparesOnlyFoldAsciiLetters) {
    using namespace std::string_literals;
    const struct {
        std::string a, b;
        bool equal, startsWith; // a equals b; a starts with b
    } cases[] = {
        {"Content-Type", "content-type", true, true},
        {"WINMAIL.DAT", "winmail.dat", true, true},
        {"Content-Type", "CONTENT-", false, true},
        {"content", "content-", false, false},          // shorter than the prefix
        {"\xc3\x84rger", "\xc3\xa4rger", false, false}, // bytes beyond ASCII are not folded
        {"[", "{", false, false},                       // not letters, though 32 apart
        {"@", "`", false, false},
        {"a\0b"s, "A\0B"s, true, true}, // a NUL is a byte like any other
        {"a\0b"s, "A\0C"s, false, false},
        {"", "", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(EqualsNoCase(c.b, c.a), c.equal) << c.b << " / " << c.a;
        EXPECT_EQ(StartsWithNoCase(c.a, c.b), c.startsWith) << c.a << " / " << c.b;
    }
}

TEST(PathHelpers, PrintableTextEscapesControlCharacters) {
    const struct {
        const char* in;
        bool keepLineBreaks;
        const char* out;
    } cases[] = {
        {"plain Ünïcode and \\ stay", false, "plain Ünïcode and \\ stay"},
        {"tab\tline\nreturn\r", false, "tab\\tline\\nreturn\\r"},
        {"\x1b[2J\x07\x7f", false, "\\x1b[2J\\x07\\x7f"},
        {"c1 \xc2\x9b \xc2\xa0", false, "c1 \\u009b \xc2\xa0"}, // a no-break space is text
        {"two\nlines\r\nkept\rnot\x1b", true, "two\nlines\r\nkept\\rnot\\x1b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Printable(c.in, c.keepLineBreaks), c.out) << c.in;
}
