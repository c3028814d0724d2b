#include "settings/settings_record.h"

#include <gtest/gtest.h>

#include <string>

namespace vorpel {
namespace {

// Each byte is two characters, low nibble first, each '0' plus the nibble;
// reading takes only the low four bits of a character.
TEST(NibbleText, WritesLowNibbleThenHighNibbleAndReadsEveryByteBack) {
    SettingsRecord record;
    for (size_t i = 0; i < SETTINGS_RECORD_SIZE; ++i) record.bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    record.bytes[0] = 'a';
    record.bytes[SETTINGS_RECORD_SIZE - 1] = 0xF0;
    std::string text = encodeNibbleText(record);
    ASSERT_EQ(text.size(), NIBBLE_TEXT_LENGTH);
    EXPECT_EQ(text.substr(0, 2), "16");
    EXPECT_EQ(text.substr(NIBBLE_TEXT_LENGTH - 2), "0?");
    SettingsRecord back;
    ASSERT_TRUE(decodeNibbleText(text, back));
    EXPECT_EQ(back.bytes, record.bytes);
}

TEST(SettingsRecordText, FieldsStoreUpToTheirSizeAndReadUpToTheUsedLength) {
    SettingsRecord record;
    const std::string address64(64, 'h');
    record.setText(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_SIZE, SERVER_ADDRESS_SIZE,
                   address64);
    // Stored whole, right up to the account id that follows it.
    EXPECT_EQ(record.bytes[ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET + 63], 'h');
    EXPECT_EQ(record.bytes[ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET], 0);
    EXPECT_EQ(record.text(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_USED),
              std::string(63, 'h'));
    // A long password is cut, and shorter text clears what was there.
    const size_t offset = ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET;
    record.setText(offset, PASSWORD_SIZE, PASSWORD_USED, "abcdefghijklmnopqrst");
    EXPECT_EQ(record.text(offset, PASSWORD_SIZE), "abcdefghijklmno");
    EXPECT_EQ(record.bytes[offset + 15], 0);
    record.setText(offset, PASSWORD_SIZE, PASSWORD_USED, "xy");
    EXPECT_EQ(record.text(offset, PASSWORD_SIZE), "xy");
    EXPECT_EQ(record.bytes[offset + 2], 0);
}

TEST(SettingsRecordText, FieldsReachingPastTheRecordAreClamped) {
    SettingsRecord record;
    record.setText(SETTINGS_RECORD_SIZE - 2, 16, 16, "abcdef");
    EXPECT_EQ(record.text(SETTINGS_RECORD_SIZE - 2, 16), "ab");
    record.setText(SETTINGS_RECORD_SIZE, 16, 16, "abcdef");
    EXPECT_EQ(record.text(SETTINGS_RECORD_SIZE + 5, 16), "");
}

TEST(SettingsRecordFlags, KeepAwakeTouchesBitZeroOnly) {
    SettingsRecord record;
    record.setSettingsFlags(0x80000102u);
    EXPECT_FALSE(record.keepAwake());
    record.setKeepAwake(true);
    EXPECT_EQ(record.settingsFlags(), 0x80000103u);
    EXPECT_EQ(record.bytes[3], 0x80);  // little-endian
    record.setKeepAwake(false);
    EXPECT_EQ(record.settingsFlags(), 0x80000102u);
}

TEST(ConfigSnapshot, IsTheRecordsAccountBlock) {
    SettingsRecord record;
    for (size_t i = 0; i < SETTINGS_RECORD_SIZE; ++i) record.bytes[i] = static_cast<uint8_t>(i);
    ConfigSnapshot snapshot;
    record.copyTo(snapshot);
    EXPECT_EQ(snapshot.bytes[ACCOUNT_BLOCK_SIZE - 1], 219);
    snapshot.clear();
    EXPECT_FALSE(snapshot.hasNumericServerAddress());
    snapshot.bytes[CFG_NUMERIC_SERVER_ADDRESS_OFFSET + 3] = 1;
    EXPECT_TRUE(snapshot.hasNumericServerAddress());
    record.copyFrom(snapshot);
    EXPECT_EQ(record.bytes[83], 83);  // the tag fields before the block are untouched
    EXPECT_EQ(record.bytes[91], 1);
    EXPECT_EQ(record.bytes[220], 220);  // and so is the first slot after it
}

}  // namespace
}  // namespace vorpel
