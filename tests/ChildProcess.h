#pragma once
// Runs part of a test in a forked child: to take away privileges the test process keeps (root
// reads and writes through any permission, so a check of an unreadable file or an unwritable
// folder proves nothing as root, and CI runs as root), or to set a limit such as the largest
// file size without touching the test process. A failed expectation in the child fails the
// calling test.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// Runs check where no file may grow past bytes: a write beyond that fails with EFBIG instead of
// ending the process.
inline void RunWithFileSizeLimit(rlim_t bytes, const std::function<void()>& check) {
    RunInChild(check, [bytes] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{bytes, bytes};
        return setrlimit(RLIMIT_FSIZE, &small) == 0;
    });
}

// Runs check without the privileges that let root past permission checks: reading, writing and
// entering anything (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH) and acting as the owner of any file
// (CAP_FOWNER). The child keeps its user, so it still reaches everything its owner may, wherever
// the build and the test's folders lie, but a file or folder with the owner's permission taken
// away is as closed to it as to any user; the programs it starts get no more. Not as root the
// child is an ordinary user already.
inline void RunWithoutPrivileges(const std::function<void()>& check) {
    RunInChild(check, [] {
        if (geteuid() != 0) return true;
        const int dropped[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};
        // Out of the bounding set first: a program root starts would otherwise get them back.
        for (int cap : dropped)
            if (prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) return false;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
        if (syscall(SYS_capget, &header, data) != 0) return false;
        for (int cap : dropped)
            for (__u32* set : {&data[CAP_TO_INDEX(cap)].effective,
                               &data[CAP_TO_INDEX(cap)].permitted,
                               &data[CAP_TO_INDEX(cap)].inheritable})
                *set &= ~CAP_TO_MASK(cap);
        return syscall(SYS_capset, &header, data) == 0;
    });
}

// The older name, from when the child became another user and the paths were handed to it first.
inline void RunAsUnprivilegedUser(const std::vector<std::string>& /*paths*/,
                                  const std::function<void()>& check) {
    RunWithoutPrivileges(check);
}
