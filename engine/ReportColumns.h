#pragma once
// The columns of a report-style list as a text names them, e.g. "Sender, 80; Subject, 200".
#include <string>
#include <vector>

struct ReportColumn {
    enum Align { Left, Centre, Right };
    std::string name;
    int width = 100;
    Align align = Left;
};
// A list's columns, left to right.
using ColumnLayout = std::vector<ReportColumn>;

// The layout a text names: entries split at ";", parts at ","; empty pieces dropped, nothing
// trimmed. Width 100 without a second part; the third part 1 centres, 2 right-aligns, anything
// else left-aligns.
ColumnLayout ColumnLayoutFromText(const std::string& columnText);

// The search list's columns.
inline constexpr const char* kSearchColumns =
    "Sender, 80; Subject, 200; Received Date, 80; Folder Name, 80; Body Size, 40; EntryID, 320";
