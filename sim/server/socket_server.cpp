#include "server/socket_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "core/control_socket.h"
#include "scsi/sg_wire.h"
#include "wire/byteorder.h"

namespace sim {
namespace {

// epoll tags: the kind in the top byte, an index or connection id below.
enum Kind : uint64_t { kDeviceListener = 1, kSgConn, kCtlListener, kCtlConn, kSignal, kStop };
constexpr uint64_t tag(Kind k, uint64_t id) { return (static_cast<uint64_t>(k) << 56) | id; }
constexpr Kind kindOf(uint64_t t) { return static_cast<Kind>(t >> 56); }
constexpr uint64_t idOf(uint64_t t) { return t & ((1ull << 56) - 1); }

// Largest message a client can send through an AF_UNIX socket (twice the
// biggest send buffer the kernel grants), plus room to see a bigger one.
constexpr size_t kRxBuffer = (8u << 20) + 4096;
constexpr int kSendBuffer = 4 << 20;
// Control requests are a verb and a few words: a connection may buffer this
// much, stay silent this long, and this many may be open at once.
constexpr size_t kMaxControlRequest = 1u << 20;
constexpr auto kControlIdle = std::chrono::seconds(10);
constexpr size_t kMaxControlConnections = 64;

std::runtime_error sysError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

SocketServer::SocketServer(Emulator& emu, std::string dir, ControlHandler control)
    : emu_(emu), dir_(std::move(dir)), control_(std::move(control)), maxControlRequest_(kMaxControlRequest),
      controlIdle_(kControlIdle) {}

void SocketServer::setControlLimits(size_t maxRequest, std::chrono::milliseconds idle) {
    maxControlRequest_ = maxRequest;
    controlIdle_ = idle;
}

SocketServer::~SocketServer() {
    for (auto& [id, c] : sg_) ::close(c.fd);
    for (auto& [id, c] : ctl_) ::close(c.fd);
    for (int fd : listeners_) ::close(fd);
    for (const auto& p : boundPaths_) ::unlink(p.c_str());
    if (stopFd_ >= 0) ::close(stopFd_);
    if (spareFd_ >= 0) ::close(spareFd_);
    if (epfd_ >= 0) ::close(epfd_);
}

void SocketServer::watch(int fd, uint32_t events, uint64_t t, bool modify) {
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = t;
    if (epoll_ctl(epfd_, modify ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev) != 0) throw sysError("epoll_ctl");
}

void SocketServer::listenAt(const std::string& path, int type, uint64_t t) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        throw std::runtime_error(path + ": path too long for a Unix socket (at most " +
                                 std::to_string(sizeof addr.sun_path - 1) + " bytes)");
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    struct stat st{};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) throw std::runtime_error(path + ": exists and is not a socket");
        int probe = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
        bool live = probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (probe >= 0) ::close(probe);
        if (live) throw std::runtime_error(path + ": already served by another process");
        ::unlink(path.c_str());
    }
    int fd = socket(AF_UNIX, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throw sysError("socket");
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int e = errno;
        ::close(fd);
        errno = e;
        throw sysError(path);
    }
    boundPaths_.push_back(path);
    listeners_.push_back(fd);
    if (listen(fd, 128) != 0) throw sysError(path + ": listen");
    watch(fd, EPOLLIN, t);
}

void SocketServer::bindAll() {
    struct stat st{};
    if (stat(dir_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw std::runtime_error(dir_ + ": not a directory");
    epfd_ = epoll_create1(EPOLL_CLOEXEC);
    if (epfd_ < 0) throw sysError("epoll_create1");
    stopFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (stopFd_ < 0) throw sysError("eventfd");
    watch(stopFd_, EPOLLIN, tag(kStop, 0));
    spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    rx_.resize(kRxBuffer);
    for (size_t i = 0; i < emu_.deviceCount(); ++i)
        listenAt(dir_ + "/sg" + std::to_string(emu_.device(i).path.sg), SOCK_SEQPACKET, tag(kDeviceListener, i));
    listenAt(dir_ + "/" + kControlSocketName, SOCK_STREAM, tag(kCtlListener, 0));
}

void SocketServer::stop() {
    uint64_t one = 1;
    if (stopFd_ >= 0) {
        ssize_t n = ::write(stopFd_, &one, sizeof one);
        (void)n;
    }
}

int SocketServer::run(const std::vector<int>& signals) {
    int sigFd = -1;
    if (!signals.empty()) {
        sigset_t set;
        sigemptyset(&set);
        for (int s : signals) sigaddset(&set, s);
        sigFd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
        if (sigFd < 0) throw sysError("signalfd");
        watch(sigFd, EPOLLIN, tag(kSignal, 0));
    }
    int endedBy = 0;
    std::chrono::steady_clock::time_point stopDeadline{};
    epoll_event events[64];
    for (;;) {
        if (stopping_) {
            // Let control answers already under way reach their clients, briefly.
            bool pending = false;
            for (auto& [id, c] : ctl_) pending = pending || c.answered;
            auto now = std::chrono::steady_clock::now();
            if (stopDeadline == std::chrono::steady_clock::time_point{}) stopDeadline = now + std::chrono::seconds(2);
            if (!pending || now >= stopDeadline) break;
        }
        int n = epoll_wait(epfd_, events, 64, stopping_ ? 50 : ctl_.empty() ? -1 : 1000);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw sysError("epoll_wait");
        }
        std::lock_guard<std::mutex> hold(emu_.mutex());
        if (!ctl_.empty()) closeIdleControl();
        for (int i = 0; i < n; ++i) {
            uint64_t t = events[i].data.u64;
            uint32_t ev = events[i].events;
            switch (kindOf(t)) {
            case kDeviceListener:
                acceptOn(listeners_[idOf(t)], false, idOf(t));
                break;
            case kCtlListener:
                acceptOn(listeners_.back(), true, 0);
                break;
            case kSgConn:
                if (!sg_.count(idOf(t))) break;
                if (ev & EPOLLOUT) onSgWritable(idOf(t));
                if (sg_.count(idOf(t)) && (ev & (EPOLLIN | EPOLLHUP | EPOLLERR))) onSgReadable(idOf(t), ev);
                break;
            case kCtlConn:
                if (!ctl_.count(idOf(t))) break;
                if (ev & EPOLLOUT) onCtlWritable(idOf(t));
                if (ctl_.count(idOf(t)) && (ev & (EPOLLIN | EPOLLHUP | EPOLLERR))) onCtlReadable(idOf(t));
                break;
            case kSignal: {
                signalfd_siginfo si{};
                if (::read(sigFd, &si, sizeof si) == static_cast<ssize_t>(sizeof si)) {
                    endedBy = static_cast<int>(si.ssi_signo);
                    stopping_ = true;
                }
                break;
            }
            case kStop: {
                uint64_t v = 0;
                ssize_t r = ::read(stopFd_, &v, sizeof v);
                (void)r;
                stopping_ = true;
                break;
            }
            }
        }
    }
    if (sigFd >= 0) ::close(sigFd);
    return endedBy;
}

void SocketServer::closeIdleControl() {
    auto now = std::chrono::steady_clock::now();
    std::vector<uint64_t> idle;
    for (auto& [id, c] : ctl_)
        if (now - c.lastActivity > controlIdle_) idle.push_back(id);
    for (uint64_t id : idle) closeCtl(id);
}

void SocketServer::acceptOn(int listenFd, bool control, size_t device) {
    for (;;) {
        int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if ((errno == EMFILE || errno == ENFILE) && spareFd_ >= 0) {
                // Out of descriptors: refuse this one client instead of spinning.
                ::close(spareFd_);
                int victim = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
                if (victim >= 0) ::close(victim);
                spareFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                continue;
            }
            return;
        }
        uint64_t id = nextConn_++;
        if (control) {
            if (ctl_.size() >= kMaxControlConnections) {
                ::close(fd);
                continue;
            }
            ctl_[id].fd = fd;
            ctl_[id].lastActivity = std::chrono::steady_clock::now();
            watch(fd, EPOLLIN, tag(kCtlConn, id));
        } else {
            setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
            SgConn& c = sg_[id];
            c.fd = fd;
            c.device = device;
            watch(fd, EPOLLIN | EPOLLRDHUP, tag(kSgConn, id));
        }
    }
}

void SocketServer::closeSg(uint64_t id) {
    auto it = sg_.find(id);
    if (it == sg_.end()) return;
    if (it->second.opened) emu_.close(it->second.device, id);
    epoll_ctl(epfd_, EPOLL_CTL_DEL, it->second.fd, nullptr);
    ::close(it->second.fd);
    sg_.erase(it);
}

void SocketServer::onSgReadable(uint64_t id, uint32_t events) {
    SgConn& c = sg_.at(id);
    ssize_t n = recv(c.fd, rx_.data(), rx_.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
        closeSg(id);
        return;
    }
    // recv gives 0 both for an empty message and at the end of the connection;
    // the end is the one the peer's hang-up comes with.
    const bool ended = n == 0 && (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR));
    if (ended || static_cast<size_t>(n) > rx_.size()) {
        // End of the connection (or a message larger than any client can send).
        closeSg(id);
        return;
    }
    std::span<const uint8_t> msg(rx_.data(), static_cast<size_t>(n));
    if (!c.opened) {
        // The first message must be the open request; anything else ends the connection.
        if (msg.size() != 8 || std::memcmp(msg.data(), "SGOP", 4) != 0) {
            closeSg(id);
            return;
        }
        uint32_t flags = wire::loadLe32(msg.data() + 4);
        uint32_t code = emu_.open(c.device, flags, id);
        std::vector<uint8_t> answer(4);
        for (int i = 0; i < 4; ++i) answer[i] = static_cast<uint8_t>(code >> (8 * i));
        if (code != 0) {
            send(c.fd, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            closeSg(id);
            return;
        }
        c.opened = true;
        sendSg(id, c, std::move(answer));
        return;
    }
    if (msg.size() == 4 && std::memcmp(msg.data(), "SGID", 4) == 0) {
        sendSg(id, c, emu_.scsiId(c.device));
        return;
    }
    sendSg(id, c, emu_.command(c.device, msg));
}

void SocketServer::sendSg(uint64_t id, SgConn& c, std::vector<uint8_t> msg) {
    if (!c.out.empty()) {
        c.out.push_back(std::move(msg));
        return;
    }
    ssize_t n = send(c.fd, msg.data(), msg.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return;
    if (errno == EMSGSIZE && msg.size() >= sg::kHeaderSize) {
        // A reply bigger than the socket can carry: answer with an error result instead.
        auto h = sg::decodeHeader(msg);
        h->result = ENOMEM;
        h->hostStatus = sg::kDidError;
        msg.resize(sg::kHeaderSize);
        sg::encodeHeader(*h, msg.data());
        n = send(c.fd, msg.data(), msg.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) return;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        // The client is not reading: hold the reply and stop reading its commands.
        c.out.push_back(std::move(msg));
        watch(c.fd, EPOLLOUT, tag(kSgConn, id), true);
        return;
    }
    closeSg(id);
}

void SocketServer::onSgWritable(uint64_t id) {
    SgConn& c = sg_.at(id);
    while (!c.out.empty()) {
        ssize_t n = send(c.fd, c.out.front().data(), c.out.front().size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            closeSg(id);
            return;
        }
        c.out.pop_front();
    }
    watch(c.fd, EPOLLIN | EPOLLRDHUP, tag(kSgConn, id), true);
}

void SocketServer::closeCtl(uint64_t id) {
    auto it = ctl_.find(id);
    if (it == ctl_.end()) return;
    epoll_ctl(epfd_, EPOLL_CTL_DEL, it->second.fd, nullptr);
    ::close(it->second.fd);
    ctl_.erase(it);
}

void SocketServer::onCtlReadable(uint64_t id) {
    CtlConn& c = ctl_.at(id);
    if (c.answered) {
        // Only the end of the client's side is expected now.
        char sink[256];
        ssize_t n = recv(c.fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) closeCtl(id);
        return;
    }
    char buf[65536];
    ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
        closeCtl(id);
        return;
    }
    c.lastActivity = std::chrono::steady_clock::now();
    bool eof = n == 0;
    c.in.append(buf, static_cast<size_t>(n));
    size_t nl = c.in.find('\n');
    if (nl == std::string::npos && !eof && c.in.size() <= maxControlRequest_) return;
    nlohmann::json answer;
    if (c.in.size() > maxControlRequest_ && nl == std::string::npos) {
        answer = {{"error", "request too large"}};
    } else {
        std::string line = nl == std::string::npos ? c.in : c.in.substr(0, nl);
        nlohmann::json request;
        try {
            request = nlohmann::json::parse(line);
            answer = control_(request);
        } catch (const nlohmann::json::parse_error& e) {
            answer = {{"error", std::string("the request is not valid JSON: ") + e.what()}};
        }
    }
    c.in.clear();
    c.out = answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    c.answered = true;
    onCtlWritable(id);
}

void SocketServer::onCtlWritable(uint64_t id) {
    CtlConn& c = ctl_.at(id);
    while (c.sent < c.out.size()) {
        ssize_t n = send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                watch(c.fd, EPOLLOUT, tag(kCtlConn, id), true);
                return;
            }
            closeCtl(id);
            return;
        }
        c.sent += static_cast<size_t>(n);
    }
    closeCtl(id);
}

}  // namespace sim
