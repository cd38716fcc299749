#pragma once
// The about box's scrolling credits: the lines, their styles, and the scroller that decides
// from tick to tick what the panel's newest pixel row shows. The window only draws it.
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The last character of a credit entry says how the rest is shown.
inline constexpr char kCreditPicture = 0x08;
inline constexpr char kCreditHeading17 = 0x09;
inline constexpr char kCreditHeading21 = 0x0A;
inline constexpr char kCreditHeading19 = 0x0D;
inline constexpr char kCreditPlain = 0x0C;

inline constexpr const char* kSeparatorPicture = "IDB_SEPARATOR";
inline constexpr const char* kAboutVersionText = "Kestrel Version 1.09";
inline constexpr int kCreditTimerId = 150;
inline constexpr int kCreditTickMilliseconds = 40;

// The 39 entries, shown in order and then from the start again.
const std::vector<std::string>& CreditLines();

struct CreditFont {
    int height;
    int weight;
};
// The font of a text style code.
CreditFont CreditFontFor(char code);

std::string MissingPictureMessage(const std::string& name);

struct CreditPaint {
    enum Kind { Blank, Text, Picture, MissingPicture } kind = Blank;
    std::string text; // the line less its code, or the picture's name
    CreditFont font{15, 100};
    int rowsShown = 0; // rows of the line or picture in view, ending at the panel's bottom
};

class CCreditScroller {
public:
    explicit CCreditScroller(std::vector<std::string> lines = CreditLines());

    // One timer tick: the line sequence moves on and the panel scrolls by one row.
    void Tick();
    // What the paint after a tick draws. pictureHeight gives a picture's height by name, or
    // nothing when there is no such picture; that stops the scroller for good.
    CreditPaint Paint(const std::function<std::optional<int>(const std::string&)>& pictureHeight);

    bool Stopped() const { return m_stopped; }
    bool InPictureMode() const { return m_pictureMode; }
    const std::string& CurrentLine() const { return m_current; }
    int LineIndex() const { return m_lineIndex; }
    int LineHeight() const { return m_lineHeight; }

private:
    std::vector<std::string> m_lines;
    std::string m_current;
    int m_lineIndex = 0;
    int m_tickCounter = 1;
    int m_lineHeight = 15;
    int m_rowsShown = 0;
    bool m_pictureMode = false;
    int m_pictureHeight = 0;
    std::string m_pictureName;
    bool m_stopped = false;
};
