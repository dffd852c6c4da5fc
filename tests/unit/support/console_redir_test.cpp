#include "support/console_redir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/process.h"

namespace {

using testsupport::readFile;

// Each test redirects a scratch descriptor instead of the real standard output.
struct ConsoleRedirTest : ::testing::Test {
    testsupport::TempDir dir;
    std::string original = dir.path() + "/original.txt";
    int fd = -1;
    void SetUp() override {
        fd = open(original.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override { close(fd); }
};

TEST_F(ConsoleRedirTest, RedirectsToFileWithMessagesThereAndRestores) {
    std::string target = dir.path() + "/out.txt";
    int saved = -1;
    int handle = console_redir2(target.c_str(), &saved, 0, fd);
    ASSERT_GE(handle, 0);
    ASSERT_GE(saved, 0);
    dprintf(fd, "while redirected");
    EXPECT_EQ(console_redir2(nullptr, &saved, 1, fd), 0);
    dprintf(fd, "after restore");
    chmod(target.c_str(), 0600);
    EXPECT_EQ(readFile(target), "\npTarget - " + target + ", iConsoleHandle = " + std::to_string(handle) +
                                    "\nConsole redirected and saved for the future restore.while redirected\n");
    close(saved);
    close(handle);

    // No path or an empty one goes to /dev/null silently.
    for (const char* path : {static_cast<const char*>(nullptr), ""}) {
        handle = console_redir2(path, &saved, 0, fd);
        ASSERT_GE(handle, 0);
        dprintf(fd, "lost");
        console_redir2(nullptr, &saved, 1, fd);
        close(saved);
        close(handle);
    }
    // So does a scoped redirection, restored when it ends.
    {
        ConsoleRedirection r((dir.path() + "/scoped.txt").c_str(), fd);
        ASSERT_TRUE(r.active());
        dprintf(fd, "inside");
    }
    dprintf(fd, "!");
    EXPECT_EQ(readFile(original), "after restore!");
}

TEST_F(ConsoleRedirTest, FailuresAreReportedAndLeaveTheOutputAlone) {
    int saved = 1234;
    EXPECT_EQ(console_redir2((dir.path() + "/missing/dir/out.txt").c_str(), &saved, 0, fd), -1);
    EXPECT_EQ(saved, 1234);
    saved = 987;  // not open
    EXPECT_EQ(console_redir2(nullptr, &saved, 1, fd), 0);
    dprintf(fd, "still here");
    EXPECT_EQ(readFile(original),
              "\nInvalid iConsoleHandle = -1\n\ndup2(987," + std::to_string(fd) + ") failed" + "still here");
}

}  // namespace
