#include "platform/settings_file_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace vorpel {

namespace {

constexpr std::string_view STORE_VENDOR = "VorpelMobile";
constexpr std::string_view STORE_SECTION = "Settings";
constexpr std::string_view STORE_VALUE = "Glbl";
constexpr std::string_view FALLBACK_APPLICATION_NAME = "vorpel";

std::filesystem::path configHome() {
    // XDG Base Directory: a relative XDG_CONFIG_HOME is invalid and ignored.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
        return std::filesystem::path(xdg);
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* entry = getpwuid(getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] == '\0') home = "/tmp";
    return std::filesystem::path(home) / ".config";
}

std::string applicationFolderName(std::string_view applicationName) {
    std::string name = std::filesystem::path(applicationName).filename().string();
    if (name.empty() || name == "." || name == "..") name = FALLBACK_APPLICATION_NAME;
    return name;
}

// Writes all of data to fd, carrying on after short writes and interruptions.
bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace

std::filesystem::path SettingsFileStore::settingsFolder(std::string_view applicationName) {
    return configHome() / STORE_VENDOR / applicationFolderName(applicationName) / STORE_SECTION;
}

SettingsFileStore::SettingsFileStore(std::string_view applicationName)
    : path_(settingsFolder(applicationName) / STORE_VALUE) {}

std::string readFileHead(const std::filesystem::path& path, size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text(limit, '\0');
    size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t n = ::read(fd, text.data() + filled, text.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return {};
        }
        if (n == 0) break;
        filled += static_cast<size_t>(n);
    }
    ::close(fd);
    text.resize(filled);
    return text;
}

std::string SettingsFileStore::read() { return readFileHead(path_, NIBBLE_TEXT_LENGTH + 1); }

bool replaceFileAtomically(const std::filesystem::path& path, std::string_view text) {
    const std::filesystem::path folder = path.parent_path();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return false;

    std::string temporary = (folder / (path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) return false;
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename is durable only once the folder itself reaches the disk.
    return syncFolder(folder);
}

bool SettingsFileStore::write(std::string_view text) { return replaceFileAtomically(path_, text); }

}  // namespace vorpel
