#include "include_check.h"

#include <filesystem>
#include <regex>
#include <sstream>

namespace vorpel::structure {
namespace {

constexpr std::string_view BEGIN_MARKER = "INCLUDE_TABLE_BEGIN";
constexpr std::string_view END_MARKER = "INCLUDE_TABLE_END";

std::string trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t`");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t`");
    return std::string(text.substr(first, last - first + 1));
}

std::string repositoryFolder(const std::string& name) {
    for (const char* top : {"tools/", "tests/", "bench/"})
        if (name.starts_with(top)) return name;
    return "src/" + name;
}

std::vector<std::string> splitCells(std::string_view row) {
    std::vector<std::string> cells;
    size_t start = row.find('|') + 1;
    for (size_t bar = row.find('|', start); bar != std::string_view::npos; bar = row.find('|', start)) {
        cells.push_back(trim(row.substr(start, bar - start)));
        start = bar + 1;
    }
    return cells;
}

// The row folder holding path: the longest row folder that is a prefix at a
// folder boundary; empty when none is.
std::string rowOf(const IncludeTable& table, const std::string& path) {
    std::string best;
    for (const auto& [folder, allowed] : table) {
        if (path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/' &&
            folder.size() > best.size())
            best = folder;
    }
    return best;
}

std::string normalise(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().generic_string();
}

}  // namespace

std::optional<IncludeTable> parseIncludeTable(std::string_view markdown, std::string& error) {
    const auto begin = markdown.find(BEGIN_MARKER);
    const auto end = markdown.find(END_MARKER);
    if (begin == std::string_view::npos || end == std::string_view::npos || end < begin) {
        error = "no table between the markers";
        return std::nullopt;
    }
    IncludeTable table;
    std::istringstream lines(std::string(markdown.substr(begin, end - begin)));
    for (std::string line; std::getline(lines, line);) {
        const auto cells = splitCells(line);
        if (cells.size() != 2 || cells[0].empty() || cells[0].starts_with('-') || cells[0] == "Folder")
            continue;
        auto& allowed = table[repositoryFolder(cells[0])];
        std::istringstream names(cells[1]);
        for (std::string name; std::getline(names, name, ',');) {
            name = trim(name);
            if (!name.empty() && name != "-") allowed.insert(repositoryFolder(name));
        }
    }
    for (const auto& [folder, allowed] : table) {
        for (const auto& target : allowed) {
            if (!table.contains(target)) {
                error = folder + " may include " + target + ", which has no row";
                return std::nullopt;
            }
        }
    }
    if (table.empty()) error = "the table has no rows";
    return table.empty() ? std::nullopt : std::optional(table);
}

std::vector<std::string> checkIncludes(const IncludeTable& table, const std::vector<SourceFile>& files) {
    std::set<std::string> paths;
    for (const auto& file : files) paths.insert(file.path);
    const std::regex includeLine(R"re(^\s*#\s*include\s*"([^"]+)")re");
    std::vector<std::string> faults;
    for (const auto& file : files) {
        const std::string row = rowOf(table, file.path);
        if (row.empty()) {
            faults.push_back(file.path + ": lies in no folder of the include table");
            continue;
        }
        const std::string folder = std::filesystem::path(file.path).parent_path().generic_string();
        std::istringstream lines(file.text);
        int number = 0;
        for (std::string line; std::getline(lines, line);) {
            ++number;
            if (line.find("include") == std::string::npos) continue;
            std::smatch match;
            if (!std::regex_search(line, match, includeLine)) continue;
            const std::string include = match[1];
            std::vector<std::string> targets;
            for (const auto& candidate : {normalise(folder + "/" + include), "src/" + include}) {
                if (paths.contains(candidate)) {
                    targets = {candidate};
                    break;
                }
            }
            if (targets.empty()) {
                for (const auto& path : paths)
                    if (path.ends_with("/" + include)) targets.push_back(path);
            }
            const std::string where = file.path + ":" + std::to_string(number) + ": ";
            if (targets.size() > 1) {
                faults.push_back(where + "\"" + include + "\" matches several files");
                continue;
            }
            if (targets.empty()) continue;  // not the project's
            const std::string target = rowOf(table, targets[0]);
            if (target == row || table.at(row).contains(target)) continue;
            faults.push_back(where + row + " includes \"" + include + "\" of " +
                             (target.empty() ? "no row" : target) + ", which the table does not allow");
        }
    }
    return faults;
}

}  // namespace vorpel::structure
