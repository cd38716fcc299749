#pragma once
// Builds report HTML in memory, one fragment per call. Arguments go in exactly as given: the
// callers escape what came from outside (HtmlEscape in ReportWriter.h).
#include <optional>
#include <string>

class CHtmlWriter {
public:
    using Value = std::optional<std::string>;

    virtual ~CHtmlWriter() = default;

    void BeginHtml() { m_text = "<html>\n"; }
    void EndHtml() { m_text += "</html>\n"; }
    void BeginHead() { m_text += "<head>\n"; }
    void EndHead() { m_text += "</head>\n"; }
    void Title(const std::string& text);
    void Write(const std::string& text) { m_text += text; }
    // With neither colour a bare "<body>"; a missing one of the two counts as empty.
    void BeginBody(const Value& background = std::nullopt, const Value& textColour = std::nullopt);
    void EndBody() { m_text += "</body>\n"; }
    void BeginTable(const std::string& width, const std::string& border);
    void EndTable() { m_text += "</table>\n"; }
    void BeginRow() { m_text += "<tr>\n"; }
    void EndRow() { m_text += "</tr>\n"; }
    void BeginCell(const Value& colspan = std::nullopt, const Value& width = std::nullopt,
                   const Value& height = std::nullopt, const Value& background = std::nullopt);
    void EndCell() { m_text += "</td>\n"; }
    void Image(const Value& source = std::nullopt, const Value& width = std::nullopt,
               const Value& height = std::nullopt, const Value& border = std::nullopt);
    void BeginLink(const std::string& target);
    void EndLink() { m_text += "</a>"; }

    std::string GetText() const { return m_text; }
    const std::string& Text() const { return m_text; }
    void Clear() { m_text.clear(); }

private:
    void Attribute(const char* name, const Value& value);

    std::string m_text;
};
