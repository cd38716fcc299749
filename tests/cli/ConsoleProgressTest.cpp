#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "TempDir.h"
#include "cli/ConsoleProgress.h"

namespace {

// Without a terminal the console progress writes a line per tenth of the way and no bar.
TEST(ConsoleProgress, QuietWithoutATerminal) {
    TempDir dir;
    std::string path = dir / "out.txt";
    std::FILE* out = std::fopen(path.c_str(), "w+");
    ASSERT_NE(out, nullptr);
    {
        CConsoleProgress p(out, -1);
        p.Open("Progress", true);
        p.SetRange(0, 40, 1);
        p.SetTitleLine("Current Folder: Inbox(1/4)");
        p.SetStatusLine("a subject");
        for (int i = 0; i < 10; ++i) {
            EXPECT_FALSE(p.PumpAndCheckCancel(true));
            p.StepIt();
        }
        p.Close();
    }
    std::fclose(out);
    EXPECT_EQ(ReadFileText(path), "Progress [10%] Current Folder: Inbox(1/4)\n"
                                  "Progress [20%] Current Folder: Inbox(1/4)\n");
}

TEST(ConsoleProgress, InterruptCancelsAndTheOldHandlerComesBack) {
    struct sigaction before {};
    sigaction(SIGINT, nullptr, &before);
    std::FILE* sink = std::fopen("/dev/null", "w");
    {
        CConsoleProgress p(sink, -1);
        p.Open("Progress", true);
        EXPECT_FALSE(p.PumpAndCheckCancel(false));
        raise(SIGINT);
        EXPECT_TRUE(p.PumpAndCheckCancel(false));
        EXPECT_TRUE(p.PumpAndCheckCancel(false));
    }
    struct sigaction after {};
    sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    // A new operation starts uncancelled.
    CConsoleProgress next(sink, -1);
    next.Open("Progress", true);
    EXPECT_FALSE(next.PumpAndCheckCancel(true));
    next.Close();
    std::fclose(sink);
}

// Escape typed on a real (pseudo) terminal.
TEST(ConsoleProgress, EscapeOnTheTerminal) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    struct termios cooked {};
    tcgetattr(slave, &cooked);
    std::FILE* sink = std::fopen("/dev/null", "w");
    {
        CConsoleProgress p(sink, slave);
        p.Open("Progress", true);
        struct termios termios {};
        tcgetattr(slave, &termios);
        EXPECT_NE(termios.c_lflag & ICANON, 0u) << "a question before the first pump reads lines";
        EXPECT_FALSE(p.PumpAndCheckCancel(true));
        tcgetattr(slave, &termios);
        EXPECT_EQ(termios.c_lflag & ICANON, 0u);

        // Each key is read once the terminal has passed it on.
        auto type = [&](const std::string& keys) {
            ASSERT_EQ(write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
            pollfd arrived{slave, POLLIN, 0};
            ASSERT_EQ(poll(&arrived, 1, -1), 1);
        };
        type("\x1b[A"); // an arrow key is not Escape
        EXPECT_FALSE(p.PumpAndCheckCancel(true));
        type("\x1b");
        EXPECT_FALSE(p.PumpAndCheckCancel(false)); // not allowed here
        type("\x1b");
        EXPECT_TRUE(p.PumpAndCheckCancel(true));
        p.Close();
        struct termios restored {};
        tcgetattr(slave, &restored);
        EXPECT_EQ(restored.c_lflag, cooked.c_lflag);
    }
    std::fclose(sink);
    close(slave);
    close(master);
}

} // namespace
