#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vorpel {
namespace {

// Names longer than this keep their last characters and gain a digest.
constexpr size_t NAME_KEEP = 180;
constexpr std::string_view LOCK_SUFFIX = ".lock";

// FNV-1a, 64 bits: tells apart long paths that share their ends.
uint64_t digest(std::string_view text) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (char c : text) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 0x100000001B3ull;
    }
    return hash;
}

bool isPlain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

// The directory exists (made now, or before by this user), is a real
// directory and belongs to this user: nobody else can swap the lock file.
bool ensurePrivateDirectory(const std::string& directory) {
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    return ::lstat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

}  // namespace

std::string instanceLockDirectory(const char* runtimeDirectory) {
    if (runtimeDirectory != nullptr && runtimeDirectory[0] == '/') return runtimeDirectory;
    return "/tmp/vorpel-" + std::to_string(::getuid());
}

std::string instanceLockName(std::string_view executablePath) {
    std::string name;
    name.reserve(executablePath.size());
    for (char c : executablePath) name.push_back(isPlain(c) ? c : '_');
    if (name.size() > NAME_KEEP) {
        std::array<char, 17> hex{};
        std::snprintf(hex.data(), hex.size(), "%016llx",
                      static_cast<unsigned long long>(digest(executablePath)));
        name = name.substr(name.size() - NAME_KEEP) + "-" + hex.data();
    }
    return name + std::string(LOCK_SUFFIX);
}

std::string ownExecutablePath() {
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) return {};
    return std::string(buffer.data(), static_cast<size_t>(length));
}

InstanceLock::InstanceLock(std::string_view executablePath, const std::string& directory) {
    if (executablePath.empty() || !ensurePrivateDirectory(directory)) return;
    path_ = directory + "/" + instanceLockName(executablePath);
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) return;
    // flock belongs to the open file: the kernel drops it when the process
    // ends, however it ends.
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        status_ = Status::Acquired;
        return;
    }
    if (errno == EWOULDBLOCK) status_ = Status::HeldByAnother;
    ::close(fd_);
    fd_ = -1;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<InstanceLock> acquireInstanceLock(std::string_view executablePath) {
    const std::string own = executablePath.empty() ? ownExecutablePath() : std::string();
    auto lock =
        std::make_unique<InstanceLock>(executablePath.empty() ? std::string_view(own) : executablePath,
                                       instanceLockDirectory(std::getenv("XDG_RUNTIME_DIR")));
    if (lock->status() == InstanceLock::Status::HeldByAnother) return nullptr;
    return lock;
}

}  // namespace vorpel
