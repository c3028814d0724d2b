// The layers keep to the allowed-edges table of docs/architecture.md, and the
// check itself catches an edge the table does not allow.
#include "include_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vorpel::structure {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every C++ source of the repository's code and test folders.
std::vector<SourceFile> repositorySources() {
    const fs::path root(VORPEL_SOURCE_DIR);
    std::vector<SourceFile> files;
    for (const char* top : {"src", "tools", "tests", "bench"}) {
        for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
            const auto extension = entry.path().extension();
            if (entry.is_regular_file() && (extension == ".h" || extension == ".cpp"))
                files.push_back({fs::relative(entry.path(), root).generic_string(), readFile(entry.path())});
        }
    }
    return files;
}

IncludeTable projectTable() {
    std::string error;
    const auto table =
        parseIncludeTable(readFile(fs::path(VORPEL_SOURCE_DIR) / "docs/architecture.md"), error);
    EXPECT_TRUE(table) << error;
    return table.value_or(IncludeTable{});
}

TEST(IncludeCheck, EveryIncludeFollowsTheTableOfTheArchitectureNotes) {
    const auto faults = checkIncludes(projectTable(), repositorySources());
    std::string report;
    for (const auto& fault : faults) report += fault + "\n";
    EXPECT_TRUE(faults.empty()) << report;
}

TEST(IncludeCheck, AnEdgeBackUpTheLayersFails) {
    auto files = repositorySources();
    files.push_back(
        {"src/signalling/back_edge.cpp", "#include \"signalling/engine.h\"\n#include \"app/terminal.h\"\n"});
    EXPECT_EQ(
        checkIncludes(projectTable(), files),
        std::vector<std::string>{"src/signalling/back_edge.cpp:2: src/signalling includes \"app/terminal.h\" "
                                 "of src/app, which the table does not allow"});
}

}  // namespace
}  // namespace vorpel::structure
