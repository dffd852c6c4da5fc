#include "support/console_redir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "support/process.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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
    EXPECT_EQ(slurp(target), "\npTarget - " + target + ", iConsoleHandle = " + std::to_string(handle) +
                                 "\nConsole redirected and saved for the future restore.while redirected\n");
    EXPECT_EQ(slurp(original), "after restore");
    close(saved);
    close(handle);
}

TEST_F(ConsoleRedirTest, NoPathOrEmptyPathGoesToDevNullSilently) {
    for (const char* path : {static_cast<const char*>(nullptr), ""}) {
        int saved = -1;
        int handle = console_redir2(path, &saved, 0, fd);
        ASSERT_GE(handle, 0);
        dprintf(fd, "lost");
        console_redir2(nullptr, &saved, 1, fd);
        close(saved);
        close(handle);
    }
    EXPECT_EQ(slurp(original), "");
}

TEST_F(ConsoleRedirTest, UnopenableTargetReportsAndLeavesDescriptorAlone) {
    int saved = 1234;
    std::string bad = dir.path() + "/missing/dir/out.txt";
    EXPECT_EQ(console_redir2(bad.c_str(), &saved, 0, fd), -1);
    EXPECT_EQ(saved, 1234);
    EXPECT_EQ(slurp(original), "\nInvalid iConsoleHandle = -1");
}

TEST_F(ConsoleRedirTest, RestoreWithInvalidSavedDescriptorReportsAndKeepsCurrentOutput) {
    int saved = 987;  // not open
    EXPECT_EQ(console_redir2(nullptr, &saved, 1, fd), 0);
    dprintf(fd, "still here");
    EXPECT_EQ(slurp(original), "\n\ndup2(987," + std::to_string(fd) + ") failed" + "still here");
}

TEST_F(ConsoleRedirTest, ScopedRedirectionRestoresOnEveryExit) {
    std::string target = dir.path() + "/scoped.txt";
    {
        ConsoleRedirection r(target.c_str(), fd);
        ASSERT_TRUE(r.active());
        dprintf(fd, "inside");
    }
    dprintf(fd, "outside");
    EXPECT_EQ(slurp(original), "outside");
}

}  // namespace
