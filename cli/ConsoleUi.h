#pragma once
// The terminal's stand-in for message boxes: messages go to stderr; a question is answered by
// the command line (--yes/--no), else asked on the terminal, else answered No.
#include <optional>

#include "platform/UserInterface.h"

class CConsoleMessageBox : public IMessageBox {
public:
    explicit CConsoleMessageBox(std::optional<bool> presetAnswer = std::nullopt)
        : m_answer(presetAnswer) {}
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& caption, MessageIcon icon) override;

private:
    std::optional<bool> m_answer;
};

// Opens files with the desktop's default application (xdg-open), edits with $VISUAL/$EDITOR.
class CDesktopShell : public IShell {
public:
    bool Open(const std::string& path) override;
    bool Edit(const std::string& path) override;
};
