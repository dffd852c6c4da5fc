// A whole HTTP response (status line, headers, plain or chunked body) from the
// network module, read into a small results buffer; and the input as a chunked
// body on its own (size lines, chunk data and the lines after them).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "net/http.h"

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
    return 0;
}
