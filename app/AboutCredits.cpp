#include "app/AboutCredits.h"

namespace {
std::string Entry(const char* text, char code) {
    return std::string(text) + code;
}
} // namespace

const std::vector<std::string>& CreditLines() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> l(39);
        l[0] = Entry("Kestrel (c) 2025-2026 the Kestrel developers", kCreditHeading17);
        l[1] = Entry("Kestrel help book: Help > Help Topics", kCreditHeading17);
        for (int i : {4, 12, 19, 24})
            l[i] = Entry(kSeparatorPicture, kCreditPicture);
        l[8] = Entry("Built with wxWidgets", kCreditHeading19);
        l[10] = Entry("www.wxwidgets.org", kCreditPlain);
        l[14] = Entry("Mail parts decoded by GMime", kCreditHeading19);
        l[16] = Entry("github.com/jstedfast/gmime", kCreditPlain);
        l[21] = Entry("Many thanks to all the users for their tips and suggestions!", kCreditPlain);
        return l;
    }();
    return lines;
}

CreditFont CreditFontFor(char code) {
    switch (code) {
    case kCreditHeading17:
        return {17, 700};
    case kCreditHeading21:
        return {21, 700};
    case kCreditHeading19:
        return {19, 700};
    default:
        return {15, 100};
    }
}

std::string MissingPictureMessage(const std::string& name) {
    return "Could not find bitmap resource \"" + name +
           "\". Be sure to assign the bitmap a QUOTED resource name";
}

CCreditScroller::CCreditScroller(std::vector<std::string> lines) : m_lines(std::move(lines)) {}

void CCreditScroller::Tick() {
    if (m_stopped) return;
    if (!m_pictureMode) {
        int taken = m_tickCounter++;
        if (taken % m_lineHeight == 0) {
            m_tickCounter = 1;
            m_current = m_lines.empty() ? std::string() : m_lines[m_lineIndex];
            m_lineIndex =
                m_lines.empty() ? 0 : (m_lineIndex + 1) % static_cast<int>(m_lines.size());
            m_rowsShown = 0;
        }
    }
    ++m_rowsShown;
}

CreditPaint
CCreditScroller::Paint(const std::function<std::optional<int>(const std::string&)>& pictureHeight) {
    CreditPaint paint;
    if (m_stopped) return paint;
    CreditFont font = CreditFontFor(kCreditPlain);
    if (!m_current.empty()) {
        char code = m_current.back();
        std::string body = m_current.substr(0, m_current.size() - 1);
        if (code != kCreditPicture) {
            font = CreditFontFor(code);
            m_lineHeight = font.height;
        } else if (!m_pictureMode) {
            std::optional<int> height = pictureHeight ? pictureHeight(body) : std::nullopt;
            if (!height) {
                m_stopped = true;
                paint.kind = CreditPaint::MissingPicture;
                paint.text = MissingPictureMessage(body);
                return paint;
            }
            m_pictureHeight = *height;
            m_pictureName = body;
            m_pictureMode = true;
        }
    }
    paint.rowsShown = m_rowsShown;
    if (m_pictureMode) {
        paint.kind = CreditPaint::Picture;
        paint.text = m_pictureName;
        if (m_rowsShown > m_pictureHeight) {
            m_pictureMode = false;
            m_rowsShown = 0;
            m_current.clear();
            m_tickCounter = 1;
        }
        return paint;
    }
    paint.font = font;
    if (m_current.size() > 1) {
        paint.kind = CreditPaint::Text;
        paint.text = m_current.substr(0, m_current.size() - 1);
    }
    return paint;
}
