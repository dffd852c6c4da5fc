#include "control/client.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/control_socket.h"

namespace sim {

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::string controlExchange(const std::string& dir, const std::string& text) {
    std::string path = dir + "/" + kControlSocketName;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) throw ControlUnreachable("path too long for a socket: " + path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0 || connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw ControlUnreachable("cannot reach the emulator at " + path + ": " + std::strerror(errno));
    for (size_t sent = 0; sent < text.size();) {
        ssize_t n = send(fd.get(), text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw ControlUnreachable(std::string("send failed: ") + std::strerror(errno));
        sent += static_cast<size_t>(n);
    }
    shutdown(fd.get(), SHUT_WR);
    std::string answer;
    char buf[65536];
    for (;;) {
        ssize_t n = recv(fd.get(), buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw ControlUnreachable(std::string("receive failed: ") + std::strerror(errno));
        if (n == 0) break;
        answer.append(buf, static_cast<size_t>(n));
    }
    return answer;
}

nlohmann::json controlRequest(const std::string& dir, const std::string& verb, const std::vector<std::string>& args) {
    const std::string answer = controlExchange(dir, nlohmann::json{{"verb", verb}, {"args", args}}.dump() + "\n");
    try {
        return nlohmann::json::parse(answer);
    } catch (const nlohmann::json::parse_error&) {
        throw ControlUnreachable("the emulator sent no valid answer");
    }
}

}  // namespace sim
