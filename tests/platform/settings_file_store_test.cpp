#include "platform/settings_file_store.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace vorpel {
namespace {

namespace fs = std::filesystem;

// Points XDG_CONFIG_HOME (and HOME) at a fresh temporary folder for one test.
class SettingsFileStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vorpel-store-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        saveEnv("XDG_CONFIG_HOME", savedXdg_);
        saveEnv("HOME", savedHome_);
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    }
    void TearDown() override {
        restoreEnv("XDG_CONFIG_HOME", savedXdg_);
        restoreEnv("HOME", savedHome_);
        std::error_code ec;
        fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root_, ec);
    }
    static std::string slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    size_t filesIn(const fs::path& folder) const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++n;
        return n;
    }

    fs::path root_;

private:
    static void saveEnv(const char* name, std::optional<std::string>& slot) {
        if (const char* v = std::getenv(name)) slot = v;
    }
    static void restoreEnv(const char* name, const std::optional<std::string>& slot) {
        if (slot)
            ::setenv(name, slot->c_str(), 1);
        else
            ::unsetenv(name);
    }
    std::optional<std::string> savedXdg_;
    std::optional<std::string> savedHome_;
};

TEST_F(SettingsFileStoreTest, LivesBelowTheConfigHomeUnderTheApplicationName) {
    SettingsFileStore store("/usr/local/bin/vorpel-console");
    EXPECT_EQ(store.path(), root_ / "config" / "VorpelMobile" / "vorpel-console" / "Settings" / "Glbl");
    // A relative XDG_CONFIG_HOME is not valid and falls back to ~/.config.
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    ::setenv("HOME", (root_ / "home").c_str(), 1);
    EXPECT_EQ(SettingsFileStore("vorpel").path(),
              root_ / "home" / ".config" / "VorpelMobile" / "vorpel" / "Settings" / "Glbl");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFileStore("..").path().parent_path().parent_path().filename(), "vorpel");
}

TEST_F(SettingsFileStoreTest, MissingFileReadsEmpty) {
    SettingsFileStore store("vorpel");
    EXPECT_EQ(store.read(), "");
    SettingsRecord record;
    record.bytes.fill(7);
    ConfigSnapshot snapshot;
    loadSettings(store, record, snapshot);
    EXPECT_EQ(record.bytes, SettingsRecord{}.bytes);
}

TEST_F(SettingsFileStoreTest, WriteCreatesFoldersAndHoldsExactlyTheTextPrivately) {
    SettingsFileStore store("vorpel");
    SettingsRecord record;
    record.setText(ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET, PASSWORD_SIZE, PASSWORD_USED, "secret-secret");
    ASSERT_TRUE(saveSettings(store, record));
    EXPECT_EQ(slurp(store.path()), encodeNibbleText(record));
    EXPECT_EQ(fs::file_size(store.path()), NIBBLE_TEXT_LENGTH);
    struct stat info {};
    ASSERT_EQ(::stat(store.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    SettingsRecord loaded;
    ConfigSnapshot snapshot;
    loadSettings(store, loaded, snapshot);
    EXPECT_EQ(loaded.bytes, record.bytes);
}

TEST_F(SettingsFileStoreTest, ReplacingLeavesOnlyTheNewText) {
    SettingsFileStore store("vorpel");
    ASSERT_TRUE(store.write(std::string(952, '1')));
    ASSERT_TRUE(store.write(std::string(952, '2')));
    EXPECT_EQ(store.read(), std::string(952, '2'));
    EXPECT_EQ(filesIn(store.path().parent_path()), 1u);  // no temporary file left behind
}

TEST_F(SettingsFileStoreTest, OverlongFileIsReadShortOfWhatCouldPassAsValid) {
    SettingsFileStore store("vorpel");
    ASSERT_TRUE(store.write(std::string(100000, '3')));
    EXPECT_EQ(store.read().size(), NIBBLE_TEXT_LENGTH + 1);
    SettingsRecord record;
    ConfigSnapshot snapshot;
    loadSettings(store, record, snapshot);
    EXPECT_EQ(record.bytes, SettingsRecord{}.bytes);
}

TEST_F(SettingsFileStoreTest, FailedWriteKeepsWhatWasThereAndLeavesNoTemporaryFile) {
    SettingsFileStore store("vorpel");
    // A folder in the file's place cannot be replaced by the rename.
    fs::create_directories(store.path() / "occupied");
    EXPECT_FALSE(store.write(std::string(952, '4')));
    EXPECT_TRUE(fs::is_directory(store.path()));
    EXPECT_EQ(filesIn(store.path().parent_path()), 1u);
    EXPECT_EQ(store.read(), "");  // unreadable as a file: reads as empty
}

TEST_F(SettingsFileStoreTest, FolderThatCannotBeCreatedFailsTheWrite) {
    // A file where the vendor folder should be.
    fs::create_directories(root_ / "config");
    std::ofstream(root_ / "config" / "VorpelMobile") << "x";
    SettingsFileStore store("vorpel");
    EXPECT_FALSE(store.write(std::string(952, '5')));
    EXPECT_EQ(store.read(), "");
}

}  // namespace
}  // namespace vorpel
