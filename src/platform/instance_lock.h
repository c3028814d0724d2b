// One running terminal per executable and user: a lock file named after the
// executable's full path, under $XDG_RUNTIME_DIR (or /tmp/vorpel-<uid> when
// that is not set), held with flock for the life of the process.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vorpel {

class InstanceLock {
public:
    enum class Status {
        Acquired,       // this process is the only instance
        HeldByAnother,  // another instance holds the lock
        Unavailable,    // no lock file could be made; nothing is excluded
    };

    // Locks the file for executablePath inside directory (created, mode 0700,
    // when missing).
    InstanceLock(std::string_view executablePath, const std::string& directory);
    // Releases the lock.
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Status status() const { return status_; }
    const std::string& path() const { return path_; }

private:
    Status status_ = Status::Unavailable;
    std::string path_;
    int fd_ = -1;
};

// The folder of the lock files: runtimeDirectory when it is an absolute
// path, else /tmp/vorpel-<uid>.
std::string instanceLockDirectory(const char* runtimeDirectory);
// The lock file's name for an executable: every character other than a
// letter, digit, '.', '-' or '_' becomes '_'; a very long path keeps its end
// and a digest of the whole, so that the name stays within a file name's limit.
std::string instanceLockName(std::string_view executablePath);
// The running program's full path (from /proc/self/exe), or "" when unknown.
std::string ownExecutablePath();

// Locks the file of executablePath (empty: the running program's own full
// path) in the directory from the environment. Null when another instance
// holds the lock; otherwise the lock (which may be Unavailable: then the
// program runs unguarded).
std::unique_ptr<InstanceLock> acquireInstanceLock(std::string_view executablePath = {});

}  // namespace vorpel
