// The minimal client's one command, the way the tool sends it: connect, open
// the node, the command, close. Shared by the benchmarks and the separate
// minimal client program (bench/client/minimal_client.cpp).
#pragma once

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

// A recorded command taken apart for the minimal client.
struct Command {
    std::string node;
    std::vector<uint8_t> cdb, out;
    uint32_t in = 0;
};

// The commands as the minimal client program reads them from a file: per
// command the node, the CDB and the data out, each a 32-bit length and its
// bytes, and the data-in length.
inline void putField(std::vector<uint8_t>& file, const void* bytes, uint32_t n) {
    const auto* len = reinterpret_cast<const uint8_t*>(&n);
    file.insert(file.end(), len, len + 4);
    file.insert(file.end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + n);
}
inline std::vector<uint8_t> encodeCommands(const std::vector<Command>& commands) {
    std::vector<uint8_t> file;
    for (const auto& k : commands) {
        putField(file, k.node.data(), static_cast<uint32_t>(k.node.size()));
        putField(file, k.cdb.data(), static_cast<uint32_t>(k.cdb.size()));
        putField(file, k.out.data(), static_cast<uint32_t>(k.out.size()));
        putField(file, &k.in, 4);
    }
    return file;
}
// Sends every command of such a file, read in place; false when one was not
// answered or the bytes are not whole commands.
template <typename Send>
bool sendEachCommand(const std::vector<uint8_t>& file, Send&& send) {
    size_t at = 0;
    auto field = [&](const uint8_t*& bytes, uint32_t& n) {
        if (file.size() - at < 4) return false;
        std::memcpy(&n, file.data() + at, 4);
        at += 4;
        if (file.size() - at < n) return false;
        bytes = file.data() + at;
        at += n;
        return true;
    };
    bool ok = true;
    while (at < file.size()) {
        const uint8_t *node, *cdb, *out, *in;
        uint32_t nodeLength, cdbLength, outLength, inLength, dataIn;
        if (!field(node, nodeLength) || !field(cdb, cdbLength) || !field(out, outLength) || !field(in, inLength) ||
            inLength != 4)
            return false;
        std::memcpy(&dataIn, in, 4);
        ok = send(std::string(reinterpret_cast<const char*>(node), nodeLength), cdb, cdbLength, dataIn, out, outLength) &&
             ok;
    }
    return ok;
}

// One command the way the tool sends it: connect, open, the command, close.
// The message goes out in one packet gathered from its pieces, and the reply
// lands in a buffer kept from one command to the next: nothing is copied or
// allocated that the command does not need.
inline bool roundTrip(const std::string& node, const uint8_t* cdb, size_t cdbLength, uint32_t dataIn,
                      const uint8_t* dataOut, size_t dataOutLength) {
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", node.c_str());
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    uint8_t open[8] = {'S', 'G', 'O', 'P'};
    uint32_t flags = O_RDWR | O_EXCL;
    std::memcpy(open + 4, &flags, 4);
    uint32_t answer = 1;
    ok = ok && send(fd, open, sizeof open, 0) == sizeof open && recv(fd, &answer, 4, 0) == 4 && answer == 0;
    sg_header h{};
    h.pack_len = static_cast<int>(sizeof(sg_header) + cdbLength + dataOutLength);
    h.reply_len = static_cast<int>(sizeof(sg_header) + dataIn);
    h.pack_id = 5678;
    h.twelve_byte = cdbLength == 12;
    iovec pieces[3] = {{&h, sizeof h}, {const_cast<uint8_t*>(cdb), cdbLength}, {const_cast<uint8_t*>(dataOut), dataOutLength}};
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = dataOutLength > 0 ? 3 : 2;
    static std::vector<uint8_t> reply;
    if (reply.size() < sizeof(sg_header) + dataIn + 16) reply.resize(sizeof(sg_header) + dataIn + 16);
    ok = ok && sendmsg(fd, &message, 0) == static_cast<ssize_t>(sizeof h + cdbLength + dataOutLength) &&
         recv(fd, reply.data(), sizeof(sg_header) + dataIn + 16, 0) >= static_cast<ssize_t>(sizeof(sg_header));
    close(fd);
    return ok;
}
inline bool roundTrip(const std::string& node, const std::vector<uint8_t>& cdb, uint32_t dataIn,
                      const std::vector<uint8_t>& dataOut) {
    return roundTrip(node, cdb.data(), cdb.size(), dataIn, dataOut.data(), dataOut.size());
}

}  // namespace bench
