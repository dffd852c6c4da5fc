// The number converters and reject sets of the command line. The man page and
// the completion are generated from docs/man/commands.tsv: every name of the
// command table must be documented there, every documented name must exist,
// and the generated page must carry them all.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/cli.h"
#include "frontend/command_table.h"
#include "frontend/convert.h"
#include "support/process.h"

namespace {

// The third column of every row of the table.
std::set<std::string> documentedNames() {
    std::set<std::string> names;
    std::istringstream rows(testsupport::readFile(std::string(LQCL_SOURCE_DIR) + "/docs/man/commands.tsv"));
    std::string row;
    while (std::getline(rows, row)) {
        if (row.empty() || row[0] == '#') continue;
        std::istringstream fields(row);
        std::string library, operation, name;
        std::getline(fields, library, '\t');
        std::getline(fields, operation, '\t');
        std::getline(fields, name, '\t');
        EXPECT_EQ(library.size(), 1u) << row;
        EXPECT_NE(std::string("CDHFEOS").find(library), std::string::npos) << row;
        EXPECT_NE(std::string("gcdoasn").find(operation), std::string::npos) << row;
        if (name != "-") names.insert(name);
    }
    return names;
}

TEST(CommandDocs, EveryCommandOfTheTableIsDocumentedAndNothingElse) {
    const std::set<std::string> documented = documentedNames();
    std::set<std::string> table;
#define LQCL_DOCS_CMD(index, name) table.insert(#name);
#define LQCL_DOCS_SLOT(index, name)
    LQCL_COMMAND_TABLE(LQCL_DOCS_CMD, LQCL_DOCS_SLOT)
#undef LQCL_DOCS_CMD
#undef LQCL_DOCS_SLOT

    // Names of the table that no library uses stay undocumented on purpose.
    const std::set<std::string> unused = {"blocksize", "controller", "devicearray", "extendedstate",
                                          "globalspare", "hostcmdtimeout", "loggedintocontroller",
                                          "mirrorlevel", "role", "seteventwwn", "slots",
                                          "spaceleft", "totalspace", "volumesinsubgroup", "volumestate"};
    for (const std::string& name : table) {
        if (!unused.contains(name)) {
            EXPECT_TRUE(documented.contains(name)) << name << " is not in commands.tsv";
        }
    }
    for (const std::string& name : documented) EXPECT_TRUE(table.contains(name)) << name << " is not a command";
}

TEST(CommandDocs, TheGeneratedManPageListsEveryDocumentedName) {
    std::string binary = LQCL_BINARY;
    const std::string page = testsupport::readFile(binary.substr(0, binary.rfind('/')) + "/docs/lqcl.1");
    ASSERT_FALSE(page.empty()) << "the man page was not generated";
    for (const std::string& name : documentedNames())
        EXPECT_NE(page.find("\\-z " + name + "\n"), std::string::npos) << name << " is missing from lqcl.1";
    EXPECT_EQ(page.find('@'), std::string::npos) << "a placeholder was left in lqcl.1";
}

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
}

// Values rejected by these converters end the run with 255: checked end to end.
TEST(Converters, FillConsecutiveElementsAndLeaveTheRestAlone) {
    uint32_t l[frontend::kMaxValues], d[frontend::kMaxValues];
    uint64_t u[frontend::kMaxValues];
    std::fill(std::begin(l), std::end(l), frontend::kFiller32);
    std::fill(std::begin(d), std::end(d), frontend::kFiller32);
    std::fill(std::begin(u), std::end(u), frontend::kFiller64);
    strToHex32({"ffffffff", "10", "12#"}, l);
    strToInt32({"12#", "0"}, d);
    strToHex64({"2000001122334455", "1#"}, u);
    EXPECT_EQ(std::vector<uint32_t>(l, l + 4), (std::vector<uint32_t>{0x7FFFFFFF, 0x10, 0x12, frontend::kFiller32}));
    EXPECT_EQ(std::vector<uint32_t>(d, d + 3), (std::vector<uint32_t>{12, 0, frontend::kFiller32}));
    EXPECT_EQ(std::vector<uint64_t>(u, u + 3), (std::vector<uint64_t>{0x2000001122334455ull, 0x7E, frontend::kFiller64}));
}

}  // namespace
