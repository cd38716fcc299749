#pragma once
// Runs a program of the build (kestrel-cli, ...) as a user would and collects what it says.
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "TempDir.h"

struct ProcessResult {
    int exitCode = -1; // 128 + signal when killed
    std::string out;
    std::string err;
};

// argv[0] is a program name in the build's output folder. env entries are "NAME=value" and are
// added to the current environment. stdin is /dev/null unless input is given.
inline ProcessResult RunProgram(const std::vector<std::string>& argv,
                                const std::vector<std::string>& env = {},
                                const std::string& workDir = {}) {
    TempDir scratch;
    std::string outPath = scratch / "out", errPath = scratch / "err";
    ProcessResult r;
    pid_t pid = fork();
    if (pid == 0) {
        for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
        if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::string program = std::string(KESTREL_OUTPUT_DIR) + "/" + argv[0];
        std::vector<char*> args;
        args.push_back(program.data());
        for (size_t i = 1; i < argv.size(); ++i) args.push_back(const_cast<char*>(argv[i].c_str()));
        args.push_back(nullptr);
        execv(program.c_str(), args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFileText(outPath);
    r.err = ReadFileText(errPath);
    return r;
}
