#include <gtest/gtest.h>

#include "app/Settings.h"
#include "engine/ExtractOptionChoices.h"

namespace {

TEST(ExtractOptionChoicesTest, BoxesStartFromTheSettings) {
    struct Row {
        int browserReport, onlyPicture;
        bool showReport, picturesOnly;
    };
    for (const Row& r : {Row{0, 0, false, false}, Row{1, 0, true, false}, Row{0, 1, false, true},
                         Row{7, -1, true, true}}) {
        AppSettings s;
        s.BrowserReport = r.browserReport;
        s.ExtractOnlyPicture = r.onlyPicture;
        ExtractOptionChoices c = InitialChoices(s);
        EXPECT_EQ(c.ShowReport, r.showReport) << r.browserReport;
        EXPECT_EQ(c.PicturesOnly, r.picturesOnly) << r.onlyPicture;
        EXPECT_TRUE(c.NoSubDirectory);
        EXPECT_FALSE(c.FolderNameSubDirectory || c.ExtensionSubDirectory || c.SenderSubDirectory);
        EXPECT_EQ(c.Condition, 0);
        EXPECT_EQ(c.ConditionKeyword, "");
        EXPECT_EQ(c.SortKeyText, "ReceivedTime");
    }
}

TEST(ExtractOptionChoicesTest, CommandStartsWithReportPicturesAndTheRenameSetting) {
    AppSettings s;
    s.FileRename = 3;
    ExtractionOptions o = PrepareExtractionOptions(s);
    EXPECT_EQ(o.ShowReport, 1);
    EXPECT_EQ(o.PicturesOnly, 1);
    EXPECT_EQ(o.FileRename, 3);
    EXPECT_EQ(o.NoSubDirectory, 0);
    EXPECT_EQ(o.SortOrder, 0);
    EXPECT_EQ(o.SortKey, "");
    EXPECT_EQ(o.Destination, "");
}

TEST(ExtractOptionChoicesTest, OkReplacesEveryFieldButFileRename) {
    ExtractOptionChoices c;
    c.ChosenPath = "/home/u/out";
    c.ShowReport = false;
    c.PicturesOnly = true;
    c.NoSubDirectory = false;
    c.FolderNameSubDirectory = true;
    c.Condition = 2;
    c.ConditionKeyword = "Photo ";
    c.SortKeyText = "  Subject ";
    c.Ascending = true;
    c.Action = 1;
    ExtractionOptions o;
    o.FileRename = 9;
    o.ShowReport = 1;
    FillExtractionOptions(c, "/start", o);
    EXPECT_EQ(o.Destination, "/home/u/out");
    EXPECT_EQ(o.ShowReport, 0);
    EXPECT_EQ(o.PicturesOnly, 1);
    EXPECT_EQ(o.FileRename, 9);
    EXPECT_EQ(o.NoSubDirectory, 0);
    EXPECT_EQ(o.FolderNameSubDirectory, 1);
    EXPECT_EQ(o.ExtensionSubDirectory, 0);
    EXPECT_EQ(o.SenderSubDirectory, 0);
    EXPECT_EQ(o.Action, 1);
    EXPECT_EQ(o.StartPath, "/start");
    EXPECT_EQ(o.Condition, 2);
    EXPECT_EQ(o.ConditionKeyword, "Photo "); // the run trims it when it compares
    EXPECT_EQ(o.SortKey, "[Subject]");
    EXPECT_EQ(o.SortOrder, 1);

    FillExtractionOptions(InitialChoices(AppSettings()), "", o);
    EXPECT_EQ(o.SortKey, "[ReceivedTime]");
    EXPECT_EQ(o.SortOrder, 2);
    EXPECT_EQ(o.NoSubDirectory, 1);
    EXPECT_EQ(o.Destination, "");
}

TEST(ExtractOptionChoicesTest, KeywordKeepsFortyCharacters) {
    struct Row {
        std::string in, out;
    };
    const std::string forty(40, 'k');
    std::string umlauts;
    for (int i = 0; i < 41; ++i)
        umlauts += "\xC3\xA4";
    for (const Row& r : {Row{forty, forty}, Row{forty + "xyz", forty},
                         Row{umlauts, umlauts.substr(0, 80)}, Row{"", ""},
                         Row{std::string(39, 'a') + "\xE2\x82\xAC\xE2\x82\xAC",
                             std::string(39, 'a') + "\xE2\x82\xAC"}}) {
        ExtractOptionChoices c;
        c.Condition = 1;
        c.ConditionKeyword = r.in;
        ExtractionOptions o;
        FillExtractionOptions(c, "", o);
        EXPECT_EQ(o.ConditionKeyword, r.out) << r.in;
    }
}

} // namespace
