#include "frontend/convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "frontend/cli.h"

namespace {

struct AxtoiCase {
    const char* text;
    size_t length;  // 0 means the whole text
    uint64_t expected;
};

TEST(Axtoi, ConvertsHexDigitsAndCollapsesAnythingElseTo7E) {
    const AxtoiCase cases[] = {
        {"", 0, 0},
        {"0", 0, 0},
        {"1F", 0, 0x1F},
        {"1f", 0, 0x1F},
        {"aBcDeF", 0, 0xABCDEF},
        {"2000001122334455", 0, 0x2000001122334455ull},
        {"ffffffffffffffff", 0, 0xFFFFFFFFFFFFFFFFull},
        {"12#", 0, 0x7E},             // a number sign anywhere gives 0x7E
        {"#12", 0, 0x7E},
        {"0x10", 0, 0x7E},            // the x of a 0x prefix is not a digit
        {"g", 0, 0x7E},
        {"12 ", 0, 0x7E},             // so is a blank
        {"1234", 2, 0x12},            // only `length` characters are read
        {"12345678901234567", 0, 0x2345678901234567ull},  // the 17th digit shifts the first out
        {"12\0zz", 5, 0x12},          // the first NUL ends the digits
    };
    for (const auto& c : cases) {
        uint64_t result = 0xDEAD;
        size_t len = c.length ? c.length : std::strlen(c.text);
        EXPECT_EQ(axtoi(c.text, len, &result, 0), 0) << c.text;
        EXPECT_EQ(result, c.expected) << c.text;
    }
}

struct StrtolCase {
    const char* text;
    int base;
    uint32_t expected;
};

TEST(Strtol32, ClampsAtTheSignedLimitAndStopsAtTheFirstNonDigit) {
    const StrtolCase cases[] = {
        {"ffffffff", 16, 0x7FFFFFFF},
        {"80000000", 16, 0x7FFFFFFF},
        {"7fffffff", 16, 0x7FFFFFFF},
        {"7ffffffe", 16, 0x7FFFFFFE},
        {"2147483647", 10, 0x7FFFFFFF},
        {"2147483648", 10, 0x7FFFFFFF},
        {"99999999999999999999999", 10, 0x7FFFFFFF},
        {"12#", 10, 12},
        {"12@3", 10, 12},
        {"  42", 10, 42},
        {"\t7", 10, 7},
        {"", 10, 0},
        {"#", 10, 0},
        {"10", 16, 16},
        {"1A", 16, 26},
        {"1A", 10, 1},
    };
    for (const auto& c : cases) EXPECT_EQ(frontend::strtol32(c.text, c.base), c.expected) << c.text;
}

TEST(RejectSets, HoldTheSymbolsAndTheLettersOfEachMode) {
    const std::string symbols = ".~'`\"!$%^&*()_+=-}{][|/\\?,><";
    ASSERT_EQ(symbols.size(), 28u);
    for (char c : symbols) {
        EXPECT_TRUE(frontend::containsAnyOf(std::string("1") + c, frontend::kHexRejectSet)) << c;
        EXPECT_TRUE(frontend::containsAnyOf(std::string("1") + c, frontend::kDecimalRejectSet)) << c;
    }
    for (char c = 'A'; c <= 'Z'; ++c) {
        char lower = static_cast<char>(c - 'A' + 'a');
        bool hexDigit = c <= 'F';
        EXPECT_EQ(frontend::containsAnyOf(std::string(1, c), frontend::kHexRejectSet), !hexDigit) << c;
        EXPECT_EQ(frontend::containsAnyOf(std::string(1, lower), frontend::kHexRejectSet), !hexDigit) << lower;
        EXPECT_TRUE(frontend::containsAnyOf(std::string(1, c), frontend::kDecimalRejectSet)) << c;
        EXPECT_TRUE(frontend::containsAnyOf(std::string(1, lower), frontend::kDecimalRejectSet)) << lower;
    }
    // Digits, blank, tab, number sign, at sign, colon and semicolon pass both checks.
    for (const char* ok : {"0123456789", " ", "\t", "#", "@", ":", ";"}) {
        EXPECT_FALSE(frontend::containsAnyOf(ok, frontend::kHexRejectSet)) << ok;
        EXPECT_FALSE(frontend::containsAnyOf(ok, frontend::kDecimalRejectSet)) << ok;
    }
    EXPECT_EQ(std::strlen(frontend::kHexRejectSet), 68u);
    EXPECT_EQ(std::strlen(frontend::kDecimalRejectSet), 80u);
}

TEST(Converters, FillConsecutiveElementsAndLeaveTheRestAlone) {
    uint32_t l[frontend::kMaxValues];
    std::fill(std::begin(l), std::end(l), frontend::kFiller32);
    strToHex32({"ffffffff", "10", "12#"}, l);
    EXPECT_EQ(l[0], 0x7FFFFFFFu);
    EXPECT_EQ(l[1], 0x10u);
    EXPECT_EQ(l[2], 0x12u);
    EXPECT_EQ(l[3], frontend::kFiller32);

    std::fill(std::begin(l), std::end(l), frontend::kFiller32);
    strToInt32({"12#", "0"}, l);
    EXPECT_EQ(l[0], 12u);
    EXPECT_EQ(l[1], 0u);
    EXPECT_EQ(l[2], frontend::kFiller32);

    uint64_t u[frontend::kMaxValues];
    std::fill(std::begin(u), std::end(u), frontend::kFiller64);
    strToHex64({"2000001122334455", "1#"}, u);
    EXPECT_EQ(u[0], 0x2000001122334455ull);
    EXPECT_EQ(u[1], 0x7Eull);
    EXPECT_EQ(u[2], frontend::kFiller64);
}

TEST(ConvertersDeathTest, ARejectedCharacterEndsTheProcessWith255) {
    uint64_t u[frontend::kMaxValues];
    uint32_t l[frontend::kMaxValues];
    EXPECT_EXIT(strToHex64({"12", "1g"}, u), testing::ExitedWithCode(255), "");
    EXPECT_EXIT(strToHex32({"0x10"}, l), testing::ExitedWithCode(255), "");
    EXPECT_EXIT(strToInt32({"0x10"}, l), testing::ExitedWithCode(255), "");
    EXPECT_EXIT(strToInt32({"A"}, l), testing::ExitedWithCode(255), "");
    EXPECT_EXIT(strToInt32({"-1"}, l), testing::ExitedWithCode(255), "");
}

TEST(CommandTable, HasTheNamesAtTheirIndices) {
    const std::pair<const char*, int> known[] = {
        {"name", 0},         {"diagdump", 12},     {"cntinfofailstruct", 17}, {"regenpercentcomplete", 18},
        {"deviceinslot", 30}, {"devicesinarray", 45}, {"whoami", 82},        {"unused", 89},
        {"raidversion", 90}, {"raidsystems", 98},  {"allinfo", 102},          {"restoreconfig", 131},
        {"faildrive", 133},
    };
    for (const auto& [name, index] : known) EXPECT_EQ(lookupCommand(name), index) << name;
    EXPECT_EQ(lookupCommand("NAME"), -1);
    EXPECT_EQ(lookupCommand(""), -1);
    EXPECT_EQ(lookupCommand("faildrive "), -1);

    std::set<std::string> unique;
    size_t longest = 0;
    for (const auto& entry : allowed_array) {
        unique.insert(entry);
        longest = std::max(longest, std::strlen(entry));
        // Padded with zeros to the end of the entry.
        for (size_t i = std::strlen(entry); i < kAllowedEntrySize; ++i) ASSERT_EQ(entry[i], '\0');
    }
    EXPECT_EQ(unique.size(), kAllowedCount);
    EXPECT_EQ(longest, 20u);
}

}  // namespace
