#include <gtest/gtest.h>

#include <tuple>

#include "engine/ReportColumns.h"

TEST(ReportColumns, ParsedAsTheListNamesThem) {
    ColumnLayout search = ColumnLayoutFromText(kSearchColumns);
    ASSERT_EQ(search.size(), 6u);
    EXPECT_EQ(search[0].name, "Sender");
    EXPECT_EQ(search[2].name, " Received Date"); // not trimmed
    EXPECT_EQ(search[5].width, 320);

    struct Case {
        const char* columnText;
        std::vector<std::tuple<std::string, int, ReportColumn::Align>> columns;
    } cases[] = {
        {"A;;B", {{"A", 100, ReportColumn::Left}, {"B", 100, ReportColumn::Left}}},
        {"A,  7, 1;B,x,2;C,5,9",
         {{"A", 7, ReportColumn::Centre},
          {"B", 0, ReportColumn::Right},
          {"C", 5, ReportColumn::Left}}},
        {",,;;,", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        ColumnLayout got = ColumnLayoutFromText(c.columnText);
        ASSERT_EQ(got.size(), c.columns.size()) << c.columnText;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].name, std::get<0>(c.columns[i])) << c.columnText;
            EXPECT_EQ(got[i].width, std::get<1>(c.columns[i])) << c.columnText;
            EXPECT_EQ(got[i].align, std::get<2>(c.columns[i])) << c.columnText;
        }
    }
}
