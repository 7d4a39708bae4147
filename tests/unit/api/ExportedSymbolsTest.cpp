// SPDX-License-Identifier: Apache-2.0
// Checks that libOrvane_api.so exports exactly the TFCM_ functions the public header declares.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {
/// The TFCM_ functions the public header declares.
std::set<std::string> DeclaredFunctions()
{
    std::stringstream text;
    text << std::ifstream(ORVANE_API_HEADER).rdbuf();
    const std::string header = text.str();
    const std::regex declaration("ORVANE_API int (TFCM_[A-Za-z0-9_]+)\\(");
    std::set<std::string> names;
    for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it) {
        names.insert((*it)[1]);
    }
    return names;
}

/// Every defined dynamic symbol of the built library.
std::set<std::string> ExportedSymbols()
{
    std::set<std::string> names;
    const std::string command =
        std::string("nm -D --defined-only --format=just-symbols '") + ORVANE_API_LIBRARY + "' 2>/dev/null";
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof(line), pipe) != nullptr) {
            names.insert(std::string(line, std::strcspn(line, "\n")));
        }
        pclose(pipe);
    }
    return names;
}
} // namespace

TEST(ExportedSymbols, ExactlyTheDeclaredTfcmFunctions)
{
    const std::set<std::string> declared = DeclaredFunctions();
    EXPECT_EQ(declared.size(), 105u);
    const std::set<std::string> exported = ExportedSymbols();
    ASSERT_FALSE(exported.empty()) << "nm could not read " << ORVANE_API_LIBRARY;
    for (const std::string &name : exported) {
        EXPECT_EQ(declared.count(name), 1u) << "exported but not declared: " << name;
    }
    for (const std::string &name : declared) {
        EXPECT_EQ(exported.count(name), 1u) << "declared but not exported: " << name;
    }
}
