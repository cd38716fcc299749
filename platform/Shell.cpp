#include "platform/Shell.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gio/gio.h>
#include <glib.h>

extern char** environ;

namespace platform {

bool SpawnDetached(const std::vector<std::string>& argv) {
    if (argv.empty()) return false;
    // Double fork so the child is never left a zombie of ours, whatever it does.
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        setsid();
        pid_t inner = fork();
        if (inner != 0) _exit(inner < 0 ? 127 : 0);
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, STDIN_FILENO);
            dup2(devnull, STDOUT_FILENO);
            dup2(devnull, STDERR_FILENO);
        }
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool ShellOpen(const std::string& path) {
    return SpawnDetached({"xdg-open", path});
}

std::optional<std::vector<std::string>> SplitCommandLine(const std::string& line) {
    gchar** argv = nullptr;
    gint argc = 0;
    if (line.empty() || !g_shell_parse_argv(line.c_str(), &argc, &argv, nullptr)) return {};
    std::vector<std::string> words(argv, argv + argc);
    g_strfreev(argv);
    return words;
}

std::vector<std::string> DesktopEntryCommand(const std::string& exec, const std::string& path) {
    std::optional<std::vector<std::string>> words = SplitCommandLine(exec);
    if (!words) return {};
    std::vector<std::string> command;
    bool placed = false;
    for (const std::string& word : *words) {
        // The field codes: %f %F %u %U take the file; %i %c %k and the retired ones go.
        if (word.size() == 2 && word[0] == '%') {
            if (std::string("fFuU").find(word[1]) != std::string::npos && !placed) {
                command.push_back(path);
                placed = true;
            }
            continue;
        }
        std::string text;
        for (size_t i = 0; i < word.size(); ++i) {
            if (word[i] == '%' && i + 1 < word.size()) {
                if (word[++i] == '%') text += '%';
                continue;
            }
            text += word[i];
        }
        command.push_back(text);
    }
    if (!placed) command.push_back(path);
    return command;
}

namespace {
// The Exec line of the desktop's default application for plain text; empty when it has none.
std::string DefaultTextEditorExec() {
    GAppInfo* app = g_app_info_get_default_for_type("text/plain", FALSE);
    if (!app) return {};
    const char* line = g_app_info_get_commandline(app);
    std::string exec = line ? line : "";
    g_object_unref(app);
    return exec;
}
} // namespace

std::vector<std::string> EditorCommand(const std::string& path) {
    // $VISUAL is an editor with windows of its own; $EDITOR one that needs a terminal. Both are
    // command lines, split as the shell splits them.
    const char* visual = std::getenv("VISUAL");
    if (auto words = SplitCommandLine(visual ? visual : "")) {
        words->push_back(path);
        return *words;
    }
    const char* editor = std::getenv("EDITOR");
    if (auto words = SplitCommandLine(editor ? editor : "")) {
        std::vector<std::string> command{"x-terminal-emulator", "-e"};
        command.insert(command.end(), words->begin(), words->end());
        command.push_back(path);
        return command;
    }
    std::vector<std::string> command = DesktopEntryCommand(DefaultTextEditorExec(), path);
    if (!command.empty()) return command;
    return {"xdg-open", path};
}

bool ShellEdit(const std::string& path) {
    return SpawnDetached(EditorCommand(path));
}

} // namespace platform
