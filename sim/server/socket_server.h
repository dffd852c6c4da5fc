// The emulator's sockets: one SOCK_SEQPACKET listener per simulated sg node in
// the device directory, the control socket DIR/.control, all served by one
// thread with epoll.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "server/emulator.h"

namespace sim {

class SocketServer {
public:
    // Answers one control request (a parsed JSON line).
    using ControlHandler = std::function<nlohmann::json(const nlohmann::json& request)>;

    SocketServer(Emulator& emu, std::string dir, ControlHandler control);
    ~SocketServer();
    SocketServer(const SocketServer&) = delete;
    SocketServer& operator=(const SocketServer&) = delete;

    // Creates and binds every socket; throws std::runtime_error with a clear
    // message. When it returns, the sockets accept connections.
    void bindAll();
    // Serves until stop() is called, a stop is asked through the control
    // interface, or one of `signals` arrives (a signalfd is used for them; the
    // caller blocks them first). Returns the signal number that ended it, or 0.
    int run(const std::vector<int>& signals = {});
    // Thread-safe and async-signal-safe.
    void stop();
    // A control connection is closed when it has buffered more than `maxRequest`
    // bytes without a whole line (with an error answer) or stayed silent for
    // `idle` (1 MiB and 10 s unless set).
    void setControlLimits(size_t maxRequest, std::chrono::milliseconds idle);

private:
    struct SgConn {
        int fd = -1;
        size_t device = 0;
        bool opened = false;
        std::deque<std::vector<uint8_t>> out;
    };
    struct CtlConn {
        int fd = -1;
        std::string in;
        std::string out;
        size_t sent = 0;
        bool answered = false;
        std::chrono::steady_clock::time_point lastActivity;
    };

    void listenAt(const std::string& path, int type, uint64_t tag);
    void acceptOn(int listenFd, bool control, size_t device);
    void onSgReadable(uint64_t id, uint32_t events);
    void onSgWritable(uint64_t id);
    void sendSg(uint64_t id, SgConn& c, std::vector<uint8_t> msg);
    void closeSg(uint64_t id);
    void onCtlReadable(uint64_t id);
    void onCtlWritable(uint64_t id);
    void closeCtl(uint64_t id);
    void closeIdleControl();
    void watch(int fd, uint32_t events, uint64_t tag, bool modify = false);

    Emulator& emu_;
    std::string dir_;
    ControlHandler control_;
    int epfd_ = -1;
    int stopFd_ = -1;
    int spareFd_ = -1;
    std::vector<int> listeners_;
    std::vector<std::string> boundPaths_;
    std::unordered_map<uint64_t, SgConn> sg_;
    std::unordered_map<uint64_t, CtlConn> ctl_;
    size_t maxControlRequest_;
    std::chrono::steady_clock::duration controlIdle_;
    uint64_t nextConn_ = 1;
    bool stopping_ = false;
    std::vector<uint8_t> rx_;
};

}  // namespace sim
