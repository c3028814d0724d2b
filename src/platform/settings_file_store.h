// The per-user settings store on Linux: one file holding the nibble text,
// $XDG_CONFIG_HOME/VorpelMobile/<application name>/Settings/Glbl
// (~/.config/... when XDG_CONFIG_HOME is unset or not an absolute path).
//
// A write replaces the file atomically: the text goes to a temporary file in
// the same folder, is flushed to disk, renamed over the old file, and the
// folder is flushed too, so a crash leaves either the old or the new text,
// never a part of one. The file is created readable by its owner only, as it
// holds the account password.
//
// Threads: called on the window thread only, while the tick is not running.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "settings/settings_store.h"

namespace vorpel {

// The first limit bytes of a file; empty when it is missing or unreadable.
std::string readFileHead(const std::filesystem::path& path, size_t limit);
// Creates the missing folders, then replaces path with text atomically and
// privately (mode 0600), as described above.
bool replaceFileAtomically(const std::filesystem::path& path, std::string_view text);

class SettingsFileStore : public SettingsStore {
public:
    // applicationName is the executable's base name; a path is reduced to its
    // last component.
    explicit SettingsFileStore(std::string_view applicationName);

    // The file that read() and write() use.
    const std::filesystem::path& path() const { return path_; }

    // The stored text; empty when the file is missing or unreadable. A file
    // longer than any valid text reads as its first NIBBLE_TEXT_LENGTH + 1
    // bytes, which the load rules reject all the same.
    std::string read() override;
    // Creates the missing folders, then replaces the file atomically.
    bool write(std::string_view text) override;

    // The folder that holds the settings of applicationName.
    static std::filesystem::path settingsFolder(std::string_view applicationName);

private:
    std::filesystem::path path_;
};

}  // namespace vorpel
