#include "platform/Shell.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

std::vector<std::string> EditorCommand(const std::string& path) {
    for (const char* var : {"VISUAL", "EDITOR"}) {
        const char* editor = std::getenv(var);
        if (editor && *editor) return {editor, path};
    }
    return {"xdg-open", path};
}

bool ShellEdit(const std::string& path) {
    return SpawnDetached(EditorCommand(path));
}

} // namespace platform
