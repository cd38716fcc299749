#include "report/HtmlWriter.h"

void CHtmlWriter::Title(const std::string& text) {
    m_text += "<title>" + text + "</title>\n";
}

void CHtmlWriter::BeginBody(const Value& background, const Value& textColour) {
    if (!background && !textColour) {
        m_text += "<body>\n";
        return;
    }
    m_text += "<body bgcolor=\"" + background.value_or("") + "\" text=\"" +
              textColour.value_or("") + "\" scroll=\"auto\">\n";
}

void CHtmlWriter::BeginTable(const std::string& width, const std::string& border) {
    // "bolder" is what every report ever written carries; browsers ignore it either way.
    m_text += "<table width=\"" + width + "\" bolder=\"" + border + "\">\n";
}

void CHtmlWriter::Attribute(const char* name, const Value& value) {
    if (!value) return;
    m_text += name;
    m_text += "=\"" + *value + "\" ";
}

void CHtmlWriter::BeginCell(const Value& colspan, const Value& width, const Value& height,
                            const Value& background) {
    m_text += "<td ";
    Attribute("colspan", colspan);
    Attribute("width", width);
    Attribute("height", height);
    Attribute("bgcolor", background);
    m_text += ">";
}

void CHtmlWriter::Image(const Value& source, const Value& width, const Value& height,
                        const Value& border) {
    m_text += "<img ";
    Attribute("src", source);
    Attribute("width", width);
    Attribute("height", height);
    Attribute("bolder", border);
    m_text += ">";
}

void CHtmlWriter::BeginLink(const std::string& target) {
    m_text += "<a href=\"" + target + "\">";
}
