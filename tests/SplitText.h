#pragma once
// Text as the tests take it apart: into fields at a separator, or into lines.
#include <string>
#include <vector>

inline std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> fields;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(separator, at);
        fields.push_back(text.substr(at, end - at));
        if (end == std::string::npos) return fields;
        at = end + 1;
    }
}

// The lines without their line ends; a last line end starts no line.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines = Split(text, '\n');
    if (lines.back().empty()) lines.pop_back();
    return lines;
}
