// A scripted SCSI generic node for the device-layer tests: a SOCK_SEQPACKET
// socket bound at a path, answering the open handshake, the address request and
// each command packet from a script, and recording what it received.
#pragma once

#include <poll.h>
#include <scsi/sg.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/sg_message.h"

namespace testnode {

using Bytes = std::vector<uint8_t>;

class FakeNode {
public:
    // Returns the whole reply message (sg_header + data) for one command packet.
    using Responder = std::function<Bytes(const Bytes& packet)>;

    FakeNode(const std::string& path, Responder responder) : path_(path), responder_(std::move(responder)) {
        listen_ = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        unlink(path.c_str());
        if (bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listen_, 8) != 0)
            throw std::runtime_error("cannot bind " + path);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeNode() {
        stop_ = true;
        thread_.join();
        close(listen_);
        unlink(path_.c_str());
    }

    uint32_t openAnswer = 0;  // 0 or an errno
    bool hangUpAfterOpen = false;  // the server goes away right after a successful open
    bool silent = false;           // commands are received and never answered
    sg_scsi_id id{};

    std::vector<Bytes> packets() {
        std::lock_guard<std::mutex> lock(mutex_);
        return packets_;
    }
    std::vector<uint32_t> openFlags() {
        std::lock_guard<std::mutex> lock(mutex_);
        return openFlags_;
    }

    // A reply header with the given fields, followed by `data`.
    static Bytes reply(int result, unsigned targetStatus, const Bytes& data = {}, const Bytes& sense = {}) {
        return testsupport::sg::reply(result, targetStatus, data, sense);
    }

private:
    void serve() {
        std::vector<int> clients;
        while (!stop_) {
            std::vector<pollfd> fds{{listen_, POLLIN, 0}};
            for (int c : clients) fds.push_back({c, POLLIN, 0});
            if (poll(fds.data(), fds.size(), 20) <= 0) continue;
            if (fds[0].revents & POLLIN) clients.push_back(accept(listen_, nullptr, nullptr));
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                int c = fds[i].fd;
                Bytes msg(1 << 20);
                ssize_t n = recv(c, msg.data(), msg.size(), 0);
                if (n <= 0) {
                    close(c);
                    std::erase(clients, c);
                    continue;
                }
                msg.resize(static_cast<size_t>(n));
                handle(c, msg, clients);
            }
        }
        for (int c : clients) close(c);
    }
    void handle(int c, const Bytes& msg, std::vector<int>& clients) {
        if (msg.size() == 8 && std::memcmp(msg.data(), "SGOP", 4) == 0) {
            uint32_t flags;
            std::memcpy(&flags, msg.data() + 4, 4);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                openFlags_.push_back(flags);
            }
            uint32_t a = openAnswer;
            if (hangUpAfterOpen) shutdown(c, SHUT_RD);  // whatever the client sends next fails
            send(c, &a, 4, 0);
            if (a != 0 || hangUpAfterOpen) {
                close(c);
                std::erase(clients, c);
            }
        } else if (msg.size() == 4 && std::memcmp(msg.data(), "SGID", 4) == 0) {
            send(c, &id, sizeof id, 0);
        } else {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                packets_.push_back(msg);
            }
            if (silent) return;
            Bytes r = responder_(msg);
            send(c, r.data(), r.size(), 0);
        }
    }

    std::string path_;
    Responder responder_;
    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Bytes> packets_;
    std::vector<uint32_t> openFlags_;
};

}  // namespace testnode
