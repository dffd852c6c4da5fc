// What the network module sends: a whole HTTP response (status line, headers,
// plain or chunked body) read into a small results buffer, the input as a
// chunked body on its own, a gateway reply taken into a request block, and the
// input as a run of discovery replies of both module kinds and the listing
// they give.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "net/http.h"
#include "net/oob.h"
#include "net/update.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    for (const bool wholeResponse : {true, false}) {
        const int capacity = wholeResponse ? 4096 : 1024;
        std::vector<char> buffer(static_cast<size_t>(capacity) + 1);
        HttpStream s(data, size);
        int length = 0;
        const int r = wholeResponse ? httpReadResponse(s, buffer.data(), capacity, &length)
                                    : httpSocketReadData(s, true, buffer.data(), capacity, &length);
        if (r == 0 && (length < 0 || length > capacity)) __builtin_trap();
    }

    SCSI_COMMAND_STRUCT request{};
    request.cdb[0] = 0x3C;
    request.dataLength = 64;
    std::vector<uint8_t> chunk(64);
    qclApplyReply(&request, chunk.data(), data, size);

    std::vector<NbRecord> records;
    // Datagrams of at most 185 bytes, sources taken from them too.
    for (size_t at = 0; at < size; at += NB_DATAGRAM_SIZE) {
        const size_t n = size - at < NB_DATAGRAM_SIZE ? size - at : NB_DATAGRAM_SIZE;
        uint32_t source = 0;
        for (size_t i = 0; i < 4 && i < n; ++i) source = source << 8 | data[at + i];
        for (int kind : {NB_KIND_NETBURNER, NB_KIND_SERVICE}) {
            NbRecord r;
            if (nbParseReply(data + at, n, kind, source, &r)) records.push_back(r);
        }
    }
    int count = 0;
    nbListing(records, NB_KIND_SERVICE, &count);
    if (count < 0 || static_cast<size_t>(count) > records.size()) __builtin_trap();
    return 0;
}
