#include "cli/ConsoleUi.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

#include "platform/Shell.h"
#include "platform/Text.h"

void CConsoleMessageBox::ShowMessage(const std::string& text, const std::string& caption,
                                     MessageIcon) {
    std::cerr << caption << ": " << platform::Printable(text, true) << std::endl;
}

bool CConsoleMessageBox::AskYesNo(const std::string& text, const std::string& caption,
                                  MessageIcon icon) {
    std::cerr << caption << ": " << platform::Printable(text, true) << std::endl;
    if (m_answer) {
        std::cerr << (*m_answer ? "(answered Yes)" : "(answered No)") << std::endl;
        return *m_answer;
    }
    if (!isatty(STDIN_FILENO)) {
        std::cerr << "(no terminal: answered No)" << std::endl;
        return false;
    }
    std::cerr << "[y/N] " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return false;
    return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
}

bool CDesktopShell::Open(const std::string& path) {
    return platform::ShellOpen(path);
}
bool CDesktopShell::Edit(const std::string& path) {
    return platform::ShellEdit(path);
}
