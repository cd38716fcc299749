#pragma once
// Runs part of a test in a forked child: to take away privileges the test process keeps (root
// reads and writes through any permission, so a check of an unreadable file or an unwritable
// folder proves nothing as root, and CI runs as root), or to set a limit such as the largest
// file size without touching the test process. A failed expectation in the child fails the
// calling test.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// The user the checks run as when the tests run as root: "nobody" on Debian.
inline constexpr uid_t kUnprivilegedId = 65534;

inline void RunInChild(const std::function<void()>& check,
                       const std::function<bool()>& prepare = nullptr) {
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int code = 0;
        try {
            if (prepare && !prepare()) {
                std::fprintf(stderr, "the child could not be prepared\n");
                code = 3;
            } else {
                check();
                code = ::testing::Test::HasFailure() ? 1 : 0;
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "exception in the child: %s\n", e.what());
            code = 2;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(code); // no destructors: the test's folders belong to the parent
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the check failed in the child (see above)";
}

// Runs check as an ordinary user. As root, the paths (with everything below them) are first
// handed to that user, and the child drops root for good; otherwise the child is already an
// ordinary user.
inline void RunAsUnprivilegedUser(const std::vector<std::string>& paths,
                                  const std::function<void()>& check) {
    if (geteuid() == 0) {
        std::error_code ec;
        for (const std::string& p : paths) {
            ASSERT_EQ(lchown(p.c_str(), kUnprivilegedId, kUnprivilegedId), 0) << p;
            if (!std::filesystem::is_directory(std::filesystem::symlink_status(p))) continue;
            for (auto it = std::filesystem::recursive_directory_iterator(p, ec);
                 !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
                ASSERT_EQ(lchown(it->path().c_str(), kUnprivilegedId, kUnprivilegedId), 0);
        }
    }
    RunInChild(check, [] {
        if (geteuid() != 0) return true;
        return setgroups(0, nullptr) == 0 &&
               setresgid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) == 0 &&
               setresuid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) == 0 &&
               geteuid() == kUnprivilegedId;
    });
}
