#include "platform/instance_lock.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <fstream>

#include "temp_dir.h"

namespace vorpel {
namespace {

using Status = InstanceLock::Status;

TEST(InstanceLock, ASecondHolderIsRefusedUntilTheFirstLetsGo) {
    testing::TempDir dir;
    const std::string folder = dir.file("run");
    auto first = std::make_unique<InstanceLock>("/opt/vorpel/bin/vorpel-console", folder);
    ASSERT_EQ(first->status(), Status::Acquired);
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // flock holds per open file, so a second open in this process stands in
    // for a second process.
    EXPECT_EQ(InstanceLock("/opt/vorpel/bin/vorpel-console", folder).status(), Status::HeldByAnother);
    EXPECT_EQ(InstanceLock("/opt/other/bin/vorpel-console", folder).status(), Status::Acquired)
        << "another copy of the program elsewhere is another executable";

    first.reset();
    EXPECT_EQ(InstanceLock("/opt/vorpel/bin/vorpel-console", folder).status(), Status::Acquired);
}

TEST(InstanceLock, NamesAreSafeFileNamesThatKeepLongPathsApart) {
    EXPECT_EQ(instanceLockName("/usr/bin/vorpel-console"), "_usr_bin_vorpel-console.lock");
    EXPECT_EQ(instanceLockName("/home/a b/../v*?"), "_home_a_b_.._v__.lock");
    const std::string longA = "/" + std::string(300, 'a') + "/x/vorpel";
    const std::string longB = "/" + std::string(300, 'a') + "/y/vorpel";
    const std::string nameA = instanceLockName(longA);
    EXPECT_LE(nameA.size(), 255u);
    EXPECT_NE(nameA, instanceLockName(longB));
    EXPECT_EQ(nameA.find('/'), std::string::npos);
}

TEST(InstanceLock, LockFilesLiveInTheRuntimeFolderOrAPrivateTmpFolder) {
    EXPECT_EQ(instanceLockDirectory("/run/user/1000"), "/run/user/1000");
    const std::string fallback = "/tmp/vorpel-" + std::to_string(::getuid());
    EXPECT_EQ(instanceLockDirectory(nullptr), fallback);
    EXPECT_EQ(instanceLockDirectory(""), fallback);
    EXPECT_EQ(instanceLockDirectory("relative/dir"), fallback);
}

TEST(InstanceLock, NoUsableFolderMeansUnavailableNotHeld) {
    testing::TempDir dir;
    const std::string notAFolder = dir.file("file");
    std::ofstream(notAFolder) << "x";
    EXPECT_EQ(InstanceLock("/usr/bin/vorpel", notAFolder).status(), Status::Unavailable);
    // A symbolic link in place of the folder is not trusted.
    const std::string link = dir.file("link");
    ASSERT_EQ(::symlink(dir.path().c_str(), link.c_str()), 0);
    EXPECT_EQ(InstanceLock("/usr/bin/vorpel", link).status(), Status::Unavailable);
    EXPECT_EQ(InstanceLock("", dir.file("run")).status(), Status::Unavailable);
}

TEST(InstanceLock, TheRunningProgramLocksItsOwnExecutable) {
    const std::string self = ownExecutablePath();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self.front(), '/');
    auto lock = acquireInstanceLock();
    ASSERT_NE(lock, nullptr);
    if (lock->status() != Status::Acquired) GTEST_SKIP() << "no lock folder here";
    EXPECT_NE(lock->path().find(instanceLockName(self)), std::string::npos);
    EXPECT_EQ(acquireInstanceLock(), nullptr);
}

}  // namespace
}  // namespace vorpel
