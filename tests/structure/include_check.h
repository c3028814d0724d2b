// The include check: every #include "..." of the project's sources must
// follow an edge of the allowed-edges table that docs/architecture.md draws
// between the markers INCLUDE_TABLE_BEGIN and INCLUDE_TABLE_END.
//
// A table row is "| folder | folders it may include |". A folder is named as
// under src/ ("signalling", "ui/qt") or from the top of the repository
// ("tools/g729a", "tests/app"). A file belongs to the row of the longest
// folder that holds it; a file that belongs to no row is itself a fault.
// An include is resolved next to the including file, then under src/, then
// as the one file of the repository whose path ends with it; one that
// matches nothing of the repository (a system header) is not checked.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vorpel::structure {

// Row folder (repository path) -> the row folders it may include.
using IncludeTable = std::map<std::string, std::set<std::string>>;

// The table between the markers; nothing (and error set) when it is missing
// or names a folder in a cell that has no row of its own.
std::optional<IncludeTable> parseIncludeTable(std::string_view markdown, std::string& error);

struct SourceFile {
    std::string path;  // from the top of the repository
    std::string text;
};

// One line per fault: "file:line: ..." for a forbidden or ambiguous include,
// "file: ..." for a file without a row. Empty when every edge is allowed.
std::vector<std::string> checkIncludes(const IncludeTable& table, const std::vector<SourceFile>& files);

}  // namespace vorpel::structure
