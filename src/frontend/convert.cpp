#include "frontend/convert.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend/cli.h"

namespace frontend {

#define LQCL_REJECTED_SYMBOLS ".~'`\"!$%^&*()_+=-}{][|/\\?,><"

const char kHexRejectSet[] = LQCL_REJECTED_SYMBOLS "GHIJKLMNOPQRSTUVWXYZghijklmnopqrstuvwxyz";
const char kDecimalRejectSet[] =
    LQCL_REJECTED_SYMBOLS "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

#undef LQCL_REJECTED_SYMBOLS

static_assert(sizeof(kHexRejectSet) - 1 == 68);
static_assert(sizeof(kDecimalRejectSet) - 1 == 80);

bool containsAnyOf(const std::string& value, const char* set) {
    return value.find_first_of(set) != std::string::npos;
}

bool hexValueFits64(const std::string& value) {
    // axtoi stops at the first NUL.
    const std::string text = value.substr(0, value.find('\0'));
    if (text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return true;
    const size_t first = text.find_first_not_of('0');
    return first == std::string::npos || text.size() - first <= 16;
}

void tooManyDigits(const char* flag, const std::string& value) {
    std::string msg = std::string("The ") + flag + " value has more than 16 hexadecimal digits: " + value + "\n";
    cliprint(msg.c_str());
}

uint32_t strtol32(const std::string& value, int base) {
    errno = 0;
    long long v = std::strtoll(value.c_str(), nullptr, base);
    if (v > 0x7FFFFFFFLL) v = 0x7FFFFFFFLL;
    if (v < -0x80000000LL) v = -0x80000000LL;
    return static_cast<uint32_t>(static_cast<int32_t>(v));
}

namespace {

[[noreturn]] void invalidValue(const char* message) {
    std::fputs(message, stdout);
    std::fflush(stdout);
    std::exit(-1);
}

void convert32(const std::vector<std::string>& values, uint32_t* out, const char* rejectSet, int base,
               const char* message) {
    size_t n = 0;
    for (const auto& v : values) {
        if (containsAnyOf(v, rejectSet)) invalidValue(message);
        if (n < kMaxValues) out[n++] = strtol32(v, base);
    }
}

}  // namespace
}  // namespace frontend

int axtoi(const char* text, size_t length, uint64_t* result, int /*unused*/) {
    uint64_t value = 0;
    for (size_t i = 0; i < length && text[i] != '\0'; ++i) {
        char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else {
            *result = 0x7E;
            return 0;
        }
        value = (value << 4) | digit;
    }
    *result = value;
    return 0;
}

void strToHex64(const std::vector<std::string>& values, uint64_t* out) {
    size_t n = 0;
    for (const auto& v : values) {
        if (frontend::containsAnyOf(v, frontend::kHexRejectSet))
            frontend::invalidValue(
                "\nFound invalid input entry for -u parameter. Only hexadecimal integer values accepted\n");
        if (!frontend::hexValueFits64(v)) frontend::tooManyDigits("-u", v);
        if (n < frontend::kMaxValues) axtoi(v.c_str(), v.size(), &out[n++], 0);
    }
}

void strToHex32(const std::vector<std::string>& values, uint32_t* out) {
    frontend::convert32(values, out, frontend::kHexRejectSet, 16,
                        "\nFound invalid input entry for -l parameter. Only hexadecimal integer values accepted  \n");
}

void strToInt32(const std::vector<std::string>& values, uint32_t* out) {
    frontend::convert32(values, out, frontend::kDecimalRejectSet, 10,
                        "\nFound invalid input entry for -l parameter. Only decimal integer values accepted  \n");
}
