#pragma once
// Files of the shared corpus, which lies beside the checkout (real messages and a real .dbx file
// that nobody here wrote). A developer without it skips the tests that read it; under CI
// (CI=true) the folder is always there, so a missing file fails the test instead of hiding it.
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

inline bool RunningUnderCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// Use at the top of a test body: skips (or fails under CI) when path cannot be read.
#define REQUIRE_SHARED_FILE(path)                                                                \
    do {                                                                                         \
        const std::string kestrelSharedPath_ = (path);                                           \
        if (access(kestrelSharedPath_.c_str(), R_OK) != 0) {                                     \
            if (RunningUnderCi()) FAIL() << "missing under CI: " << kestrelSharedPath_;          \
            GTEST_SKIP() << "shared corpus not present: " << kestrelSharedPath_;                 \
        }                                                                                        \
    } while (0)
