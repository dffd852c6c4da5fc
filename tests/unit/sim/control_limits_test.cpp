// The control socket's bounds: a connection that stays silent is closed, and
// one that sends more than a request may hold without ending a line gets an
// error answer and is closed.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "server/socket_server.h"
#include "sim_test_util.h"
#include "support/process.h"

namespace {

int connectTo(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Everything the server sends until it closes (or 30 s pass).
std::string untilClosed(int fd) {
    std::string got;
    char buf[4096];
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 30000) > 0) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return got;
        got.append(buf, static_cast<size_t>(n));
    }
    return got + "(still open)";
}

TEST(ControlLimits, SilentAndOversizedConnectionsAreClosed) {
    testsupport::TempDir dir;
    auto emu = simtest::makeEmulator();
    sim::SocketServer server(*emu, dir.path(), [](const nlohmann::json&) { return nlohmann::json{{"ok", true}}; });
    server.setControlLimits(100, std::chrono::milliseconds(200));
    server.bindAll();
    std::thread serving([&] { server.run(); });

    int silent = connectTo(dir.path() + "/.control");
    int big = connectTo(dir.path() + "/.control");
    ASSERT_GE(silent, 0);
    ASSERT_GE(big, 0);
    std::string text(101, 'x');
    ASSERT_EQ(send(big, text.data(), text.size(), MSG_NOSIGNAL), 101);
    EXPECT_EQ(untilClosed(big), "{\"error\":\"request too large\"}\n");
    EXPECT_EQ(untilClosed(silent), "");

    server.stop();
    serving.join();
    close(silent);
    close(big);
}

}  // namespace
