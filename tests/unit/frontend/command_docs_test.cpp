// The man page and the completion are generated from docs/man/commands.tsv:
// every name of the command table must be documented there, every documented
// name must exist, and the generated page must carry them all.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "frontend/command_table.h"

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The third column of every row of the table.
std::set<std::string> documentedNames() {
    std::set<std::string> names;
    std::istringstream rows(slurp(std::string(LQCL_SOURCE_DIR) + "/docs/man/commands.tsv"));
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
    const std::string page = slurp(binary.substr(0, binary.rfind('/')) + "/docs/lqcl.1");
    ASSERT_FALSE(page.empty()) << "the man page was not generated";
    for (const std::string& name : documentedNames())
        EXPECT_NE(page.find("\\-z " + name + "\n"), std::string::npos) << name << " is missing from lqcl.1";
    EXPECT_EQ(page.find('@'), std::string::npos) << "a placeholder was left in lqcl.1";
}

}  // namespace
