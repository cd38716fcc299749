#pragma once
// Message boxes for tests: records what the core says and answers questions from a script.
#include <deque>
#include <string>
#include <vector>

#include "platform/UserInterface.h"

class ScriptedMessageBox : public IMessageBox {
public:
    struct Shown {
        std::string text;
        std::string caption;
        bool question = false;
        MessageIcon icon = MessageIcon::None;
    };

    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        shown.push_back({text, caption, false, icon});
    }
    bool AskYesNo(const std::string& text, const std::string& caption, MessageIcon icon) override {
        shown.push_back({text, caption, true, icon});
        if (answers.empty()) return defaultAnswer;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }

    // The text of the last message shown, or "(nothing shown)": a test that expects a message
    // fails on the comparison instead of reading past an empty list.
    std::string LastText() const { return shown.empty() ? "(nothing shown)" : shown.back().text; }
    // The texts of the messages shown, and of the questions asked, in order.
    std::vector<std::string> Messages() const { return Texts(false); }
    std::vector<std::string> Questions() const { return Texts(true); }

    std::vector<Shown> shown;
    std::deque<bool> answers;
    bool defaultAnswer = false;

private:
    std::vector<std::string> Texts(bool questions) const {
        std::vector<std::string> texts;
        for (const Shown& s : shown)
            if (s.question == questions) texts.push_back(s.text);
        return texts;
    }
};

class RecordingShell : public IShell {
public:
    bool Open(const std::string& path) override {
        opened.push_back(path);
        return true;
    }
    bool Edit(const std::string& path) override {
        edited.push_back(path);
        return true;
    }
    std::vector<std::string> opened;
    std::vector<std::string> edited;
};
