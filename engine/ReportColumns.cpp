#include "engine/ReportColumns.h"

#include <cstdlib>

namespace {

std::vector<std::string> SplitDroppingEmpty(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

// A decimal number with leading blanks; what does not convert counts as 0.
int DecimalValue(const std::string& text) {
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

} // namespace

ColumnLayout ColumnLayoutFromText(const std::string& columnText) {
    ColumnLayout columns;
    for (const std::string& entry : SplitDroppingEmpty(columnText, ';')) {
        std::vector<std::string> parts = SplitDroppingEmpty(entry, ',');
        if (parts.empty()) continue;
        ReportColumn column;
        column.name = parts[0];
        if (parts.size() > 1) column.width = DecimalValue(parts[1]);
        if (parts.size() > 2) {
            int align = DecimalValue(parts[2]);
            column.align = align == 1   ? ReportColumn::Centre
                           : align == 2 ? ReportColumn::Right
                                        : ReportColumn::Left;
        }
        columns.push_back(column);
    }
    return columns;
}
