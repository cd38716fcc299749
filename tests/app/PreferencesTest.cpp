#include <gtest/gtest.h>

#include "TempDir.h"
#include "app/AboutCredits.h"
#include "app/DesktopCommands.h"
#include "app/FileListOrder.h"
#include "app/Preferences.h"
#include "app/Settings.h"

TEST(Preferences, NumbersInRangeAreStoredWithTheFlagsAndOthersStoreNothing) {
    struct Case {
        int subjects, size;
        PreferenceField rejected;
    } cases[] = {
        {0, 0, PreferenceField::None},
        {30, 12800, PreferenceField::None},
        {10, 2, PreferenceField::None},
        {31, 2, PreferenceField::SubjectsPerPage},
        {-1, 2, PreferenceField::SubjectsPerPage},
        {10, 12801, PreferenceField::SizeLimit},
        {10, -1, PreferenceField::SizeLimit},
        {99, 99999, PreferenceField::SubjectsPerPage},
    };
    for (const Case& c : cases) {
        AppSettings before;
        before.HTMLItemNumber = 7;
        before.AttachmentSizeLimit = 5;
        before.KESTLMailFolderPath = "/old/";
        before.BrowserReport = 1;
        before.FileRename = 0;
        before.LastUserIdentity = "kept";
        PreferenceValues v = ReadPreferences(before);
        EXPECT_TRUE(v.ShowReport);
        EXPECT_FALSE(v.Rename);
        v.SubjectsPerPage = c.subjects;
        v.SizeLimit = c.size;
        v.MailboxPath = "/new/";
        v.ShowReport = false;
        v.Rename = true;
        AppSettings s = before;
        EXPECT_EQ(ApplyPreferences(v, s), c.rejected) << c.subjects << " " << c.size;
        if (c.rejected != PreferenceField::None) {
            EXPECT_EQ(s.HTMLItemNumber, 7);
            EXPECT_EQ(s.AttachmentSizeLimit, 5);
            EXPECT_EQ(s.KESTLMailFolderPath, "/old/");
            EXPECT_EQ(s.BrowserReport, 1);
            continue;
        }
        EXPECT_EQ(s.HTMLItemNumber, c.subjects);
        EXPECT_EQ(s.AttachmentSizeLimit, c.size);
        EXPECT_EQ(s.KESTLMailFolderPath, "/new/");
        EXPECT_EQ(s.BrowserReport, 0);
        EXPECT_EQ(s.FileRename, 1);
        EXPECT_EQ(s.LastUserIdentity, "kept");
    }
}

TEST(Preferences, NumberFieldsTakeDigitsWithinTheirRange) {
    struct Case {
        const char* text;
        NumberRange range;
        NumberCheck check;
        int value;
    } cases[] = {
        {"0", kSubjectsPerPageRange, NumberCheck::Ok, 0},
        {"30", kSubjectsPerPageRange, NumberCheck::Ok, 30},
        {"007", kSubjectsPerPageRange, NumberCheck::Ok, 7},
        {"31", kSubjectsPerPageRange, NumberCheck::OutOfRange, -1},
        {"12800", kSizeLimitRange, NumberCheck::Ok, 12800},
        {"12801", kSizeLimitRange, NumberCheck::OutOfRange, -1},
        {"99999999999999999999999", kSizeLimitRange, NumberCheck::OutOfRange, -1},
        {"", kSizeLimitRange, NumberCheck::NotANumber, -1},
        {"-1", kSizeLimitRange, NumberCheck::NotANumber, -1},
        {"1x", kSizeLimitRange, NumberCheck::NotANumber, -1},
        {" 5", kSizeLimitRange, NumberCheck::NotANumber, -1},
    };
    for (const Case& c : cases) {
        int value = -1;
        EXPECT_EQ(CheckNumberText(c.text, c.range, value), c.check) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    EXPECT_EQ(RangeMessage(kSizeLimitRange), "Please enter an integer between 0 and 12800.");
}

TEST(Preferences, AMailboxPathChangesOnlyWhenItNamesAnotherFolder) {
    struct Case {
        const char* before;
        const char* after;
        bool changed;
    } cases[] = {
        {"/store/", "/store", false},
        {"/store", " /store/ ", false},
        {"", "  ", false},
        {"/store/", "/other/", true},
        {"/store/", "", true},
        {"", "/store", true},
        {"/", "/", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MailboxPathChanged(c.before, c.after), c.changed)
            << "'" << c.before << "' -> '" << c.after << "'";
}

TEST(DesktopCommands, TheMailProgramIsLookedForUnderTheWinePrefix) {
    TempDir prefix;
    ScopedEnv wine("WINEPREFIX", prefix.path() + "/");
    std::vector<std::string> candidates = MailProgramCandidates();
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_EQ(candidates[0], prefix / "drive_c/Program Files/Windows Live/Mail/wlmail.exe");
    EXPECT_EQ(FindMailProgram(), "");
    EXPECT_NE(MailProgramMissingMessage().find(candidates[0]), std::string::npos);
    // A 64-bit prefix keeps it in the x86 folder; a folder of that name is not the program.
    prefix.MakeDir("drive_c/Program Files/Windows Live/Mail/wlmail.exe");
    prefix.Write("drive_c/Program Files (x86)/Windows Live/Mail/wlmail.exe", "MZ");
    EXPECT_EQ(FindMailProgram(), candidates[1]);
    EXPECT_EQ(MailProgramCommand(candidates[1]), (std::vector<std::string>{"wine", candidates[1]}));
}

TEST(DesktopCommands, TypedFoldersLoseWhatTheUserDidNotMean) {
    struct Case {
        const char* typed;
        const char* path;
    } cases[] = {
        {"  /data/pics/  ", "/data/pics"},
        {"\"/data/my pics\"", "/data/my pics"},
        {"'/x'", "/x"},
        {"~", "/home/u"},
        {"~/Pictures/", "/home/u/Pictures"},
        {"~other", "~other"},
        {"file:///srv/a", "/srv/a"},
        {"/", "/"},
        {"   ", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TypedFolderPath(c.typed, "/home/u"), c.path) << c.typed;
}

TEST(DesktopCommands, OpenerFailuresBecomeTheHyperlinkTexts) {
    struct Case {
        int status;
        const char* tail;
    } cases[] = {
        {2, "The specified file was not found."},
        {3, "There is no application associated\nwith the given filename extension."},
        {255, "There is no application associated\nwith the given filename extension."},
        {-1, "There is no application associated\nwith the given filename extension."},
        {4, "Unknown Error (4) occurred."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HyperlinkErrorMessage(LaunchErrorFromOpenerStatus(c.status)),
                  std::string("Unable to open hyperlink:\n\n") + c.tail)
            << c.status;
    EXPECT_EQ(HyperlinkErrorMessage(26),
              "Unable to open hyperlink:\n\nA sharing violation occurred. ");
}

namespace {
// Ticks and paints as the about box does; returns the tick on which the line index moved on.
int TicksUntilNextLine(CCreditScroller& s, int pictureHeight = 20, int limit = 500) {
    int index = s.LineIndex();
    for (int tick = 1; tick <= limit; ++tick) {
        s.Tick();
        s.Paint([&](const std::string&) { return std::optional<int>(pictureHeight); });
        if (s.LineIndex() != index) return tick;
    }
    return -1;
}
} // namespace

TEST(AboutCredits, LinesTakeTheirStylesHeightInTicksAndPicturesHoldTheSequence) {
    std::string big = std::string("Big") + kCreditHeading21;
    std::string picture = std::string(kSeparatorPicture) + kCreditPicture;
    CCreditScroller s({big, "", picture, "last\x0C"});
    // The first line comes after 15 ticks (the start height), the empty one takes as long as
    // the 21-pixel line before it, and the picture 20 rows high holds the next line until 21
    // rows have scrolled in.
    EXPECT_EQ(TicksUntilNextLine(s), 15);
    CreditPaint paint = s.Paint([](const std::string&) { return std::optional<int>(20); });
    EXPECT_EQ(paint.kind, CreditPaint::Text);
    EXPECT_EQ(paint.text, "Big");
    EXPECT_EQ(paint.font.height, 21);
    EXPECT_EQ(paint.font.weight, 700);
    EXPECT_EQ(paint.rowsShown, 1);
    EXPECT_EQ(TicksUntilNextLine(s), 21);
    EXPECT_EQ(TicksUntilNextLine(s), 21);
    EXPECT_EQ(s.CurrentLine(), picture);
    EXPECT_TRUE(s.InPictureMode());
    // 21 rows of the picture (the first came with the tick that took it), then the counter
    // starts again from 1 against the last text height.
    EXPECT_EQ(TicksUntilNextLine(s), 20 + 21);
    EXPECT_FALSE(s.InPictureMode());
    EXPECT_EQ(s.CurrentLine(), "last\x0C");
    EXPECT_EQ(s.LineIndex(), 0);

    // A picture that is not there stops the credits with its message.
    CCreditScroller missing({picture});
    for (int i = 0; i < 15; ++i)
        missing.Tick();
    paint = missing.Paint([](const std::string&) { return std::optional<int>(); });
    EXPECT_EQ(paint.kind, CreditPaint::MissingPicture);
    EXPECT_EQ(paint.text, "Could not find bitmap resource \"IDB_SEPARATOR\". Be sure to assign "
                          "the bitmap a QUOTED resource name");
    EXPECT_TRUE(missing.Stopped());
    EXPECT_EQ(CreditLines().size(), 39u);
}

TEST(FileListOrder, NamesAsPeopleReadThemFoldersFirstAndByTheClickedColumn) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"a (2).jpg", "a (10).jpg", -1},
        {"img9", "img10", -1},
        {"B.txt", "a.txt", 1},
        {"a", "A", 1},
        {"a01", "a1", -1},
        {"a", "a1", -1},
        {"x10y", "x9z", 1},
        {"99999999999999999999", "100000000000000000000", -1},
        {"same", "same", 0},
    };
    for (const Case& c : cases) {
        int got = NaturalCompare(c.a, c.b);
        EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " vs " << c.b;
        EXPECT_EQ((got > 0) - (got < 0),
                  -((NaturalCompare(c.b, c.a) > 0) - (NaturalCompare(c.b, c.a) < 0)));
    }
    auto entry = [](const char* name, bool folder, std::uint64_t size, std::time_t date) {
        platform::DirEntry e;
        e.name = name;
        e.isDirectory = folder;
        e.size = size;
        e.lastWrite = date;
        return e;
    };
    std::vector<platform::DirEntry> list = {
        entry("a (10).jpg", false, 5, 300), entry("z", true, 0, 100),
        entry("a (2).png", false, 9, 200),  entry("b.doc", false, 1, 100),
        entry("c", true, 0, 900),
    };
    auto names = [&list] {
        std::vector<std::string> out;
        for (const auto& e : list)
            out.push_back(e.name);
        return out;
    };
    using V = std::vector<std::string>;
    SortFileList(list, FileListColumn::Name, true);
    EXPECT_EQ(names(), (V{"c", "z", "a (2).png", "a (10).jpg", "b.doc"}));
    SortFileList(list, FileListColumn::Name, false);
    EXPECT_EQ(names(), (V{"z", "c", "b.doc", "a (10).jpg", "a (2).png"}));
    SortFileList(list, FileListColumn::Size, true);
    EXPECT_EQ(names(), (V{"c", "z", "b.doc", "a (10).jpg", "a (2).png"}));
    SortFileList(list, FileListColumn::Type, true);
    EXPECT_EQ(names(), (V{"c", "z", "b.doc", "a (10).jpg", "a (2).png"}));
    SortFileList(list, FileListColumn::Date, false);
    EXPECT_EQ(names(), (V{"c", "z", "a (10).jpg", "a (2).png", "b.doc"}));
}
