#include "platform/settings_file_store.h"
#include "platform/sound_device_choice.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "temp_dir.h"

namespace vorpel {
namespace {

namespace fs = std::filesystem;

size_t filesIn(const fs::path& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// XDG_CONFIG_HOME (and HOME) point at the test's own folder.
class SettingsFileStoreTest : public ::testing::Test {
protected:
    SettingsFileStoreTest() { ::setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1); }
    testing::TempDir dir;
};

TEST_F(SettingsFileStoreTest, LivesBelowTheConfigHomeUnderTheApplicationName) {
    EXPECT_EQ(SettingsFileStore("/usr/local/bin/vorpel-console").path(),
              dir.path() / "config" / "VorpelMobile" / "vorpel-console" / "Settings" / "Glbl");
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not valid: ~/.config instead
    ::setenv("HOME", dir.file("home").c_str(), 1);
    EXPECT_EQ(SettingsFileStore("vorpel").path(),
              dir.path() / "home" / ".config" / "VorpelMobile" / "vorpel" / "Settings" / "Glbl");
    EXPECT_EQ(SettingsFileStore("..").path().parent_path().parent_path().filename(), "vorpel");
}

// Written privately and whole (replacing leaves no temporary file); read
// back; missing, overlong or unreadable files load as a fresh record.
TEST_F(SettingsFileStoreTest, WritesPrivatelyReplacesWholeAndReadsBack) {
    SettingsFileStore store("vorpel");
    SettingsRecord record, loaded;
    ConfigSnapshot snapshot;
    record.bytes.fill(7);
    loadSettings(store, record, snapshot);
    EXPECT_EQ(record.bytes, SettingsRecord{}.bytes);
    record.setText(ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET, PASSWORD_SIZE, PASSWORD_USED, "secret-secret");
    ASSERT_TRUE(store.write(std::string(952, '1')));
    ASSERT_TRUE(saveSettings(store, record));
    EXPECT_EQ(store.read(), encodeNibbleText(record));
    EXPECT_EQ(filesIn(store.path().parent_path()), 1u);
    struct stat info {};
    ASSERT_EQ(::stat(store.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    loadSettings(store, loaded, snapshot);
    EXPECT_EQ(loaded.bytes, record.bytes);

    ASSERT_TRUE(store.write(std::string(100000, '3')));
    EXPECT_EQ(store.read().size(), NIBBLE_TEXT_LENGTH + 1);  // short of what could pass as valid
    SettingsRecord fresh;
    ConfigSnapshot zeroed;
    loadSettings(store, fresh, zeroed);
    EXPECT_EQ(fresh.bytes, SettingsRecord{}.bytes);
}

TEST_F(SettingsFileStoreTest, AFailedWriteKeepsWhatWasThere) {
    SettingsFileStore store("vorpel");
    fs::create_directories(store.path() / "occupied");  // a folder the rename cannot replace
    EXPECT_FALSE(store.write(std::string(952, '4')));
    EXPECT_TRUE(fs::is_directory(store.path()));
    EXPECT_EQ(filesIn(store.path().parent_path()), 1u);
    EXPECT_EQ(store.read(), "");
    std::ofstream(dir.file("config/x")) << "x";  // a file where a folder should be
    ::setenv("XDG_CONFIG_HOME", dir.file("config/x").c_str(), 1);
    EXPECT_FALSE(SettingsFileStore("vorpel").write(std::string(952, '5')));
}

// The sound-device choice sits beside the settings text and comes back as
// written; what a bad file spoils reads as the default device.
TEST_F(SettingsFileStoreTest, SoundDeviceChoiceRoundTripsAndBadLinesReadAsDefault) {
    const SoundDeviceFile file("vorpel");
    EXPECT_EQ(file.path(), SettingsFileStore("vorpel").path().parent_path() / "SoundDevices");
    EXPECT_EQ(file.read(), SoundDeviceChoice{});
    const SoundDeviceChoice chosen{"Mic \xc3\xa9 (hw:1,0)", "vorpel=b"};
    ASSERT_TRUE(file.write(chosen));
    EXPECT_EQ(file.read(), chosen);
    ASSERT_TRUE(file.write({"bad\nname", std::string(MAX_SOUND_DEVICE_NAME + 1, 'x')}));
    EXPECT_EQ(file.read(), SoundDeviceChoice{});

    const std::pair<std::string, SoundDeviceChoice> rows[] = {
        {"playback=b\r\ncapture=a", {"a", "b"}},
        {"capture\nvolume=9\nplayback=tab\there\n=x", {"", ""}},
        {"capture=" + std::string(MAX_SOUND_DEVICE_NAME, 'n') + "\nplayback=\x7f",
         {std::string(255, 'n'), ""}},
        {"capture=a\n" + std::string(2000, '#'), {"", ""}},  // longer than any choice
    };
    for (const auto& [text, expected] : rows) EXPECT_EQ(parseSoundDeviceChoice(text), expected) << text;
}

}  // namespace
}  // namespace vorpel
