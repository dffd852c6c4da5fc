// A chunked body on its own: size lines, chunk data and the lines after them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "net/http.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    std::vector<char> buffer(1024 + 1);
    HttpStream s(data, size);
    int length = 0;
    if (httpSocketReadData(s, true, buffer.data(), 1024, &length) == 0 && (length < 0 || length > 1024))
        __builtin_trap();
    return 0;
}
