#pragma once
// How the core reaches the user. The windows implement these with message boxes and the
// desktop; kestrel-cli with the terminal; tests with scripted answers.
#include <string>

enum class MessageIcon { None, Information, Warning, Error, Question };

// The program's title, the caption of its message boxes unless a message names its own.
inline constexpr const char* kAppTitle = "Kestrel";

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual void ShowMessage(const std::string& text, const std::string& caption = kAppTitle,
                             MessageIcon icon = MessageIcon::Information) = 0;
    // True for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption = kAppTitle,
                          MessageIcon icon = MessageIcon::Question) = 0;
    // True for OK. A box without OK and Cancel buttons asks Yes or No instead.
    virtual bool AskOkCancel(const std::string& text, const std::string& caption = kAppTitle,
                             MessageIcon icon = MessageIcon::Question) {
        return AskYesNo(text, caption, icon);
    }
};

class IShell {
public:
    virtual ~IShell() = default;
    // The desktop's default application for the file or folder.
    virtual bool Open(const std::string& path) = 0;
    // The user's editor for the file.
    virtual bool Edit(const std::string& path) = 0;
};
