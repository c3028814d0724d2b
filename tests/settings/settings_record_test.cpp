#include "settings/settings_record.h"

#include <gtest/gtest.h>

#include <string>

namespace vorpel {
namespace {

TEST(NibbleText, WritesLowNibbleThenHighNibble) {
    SettingsRecord record;
    record.bytes[0] = 'a';
    record.bytes[1] = 'b';
    record.bytes[2] = 'c';
    record.bytes[SETTINGS_RECORD_SIZE - 1] = 0xF0;
    const std::string text = encodeNibbleText(record);
    ASSERT_EQ(text.size(), NIBBLE_TEXT_LENGTH);
    EXPECT_EQ(text.substr(0, 8), "16263600");
    EXPECT_EQ(text.substr(NIBBLE_TEXT_LENGTH - 2), "0?");
}

TEST(NibbleText, DecodesEveryByteValueBack) {
    SettingsRecord record;
    for (size_t i = 0; i < SETTINGS_RECORD_SIZE; ++i) record.bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    SettingsRecord back;
    ASSERT_TRUE(decodeNibbleText(encodeNibbleText(record), back));
    EXPECT_EQ(back.bytes, record.bytes);
}

TEST(NibbleText, OnlyTheLowFourBitsOfEachCharacterCount) {
    SettingsRecord record;
    ASSERT_TRUE(decodeNibbleText(std::string(952, '?'), record));
    for (uint8_t b : record.bytes) ASSERT_EQ(b, 0xFF);
    // 'A' is 0x41 and 'r' is 0x72: low nibbles 1 and 2.
    std::string text(952, '0');
    text[0] = 'A';
    text[1] = 'r';
    ASSERT_TRUE(decodeNibbleText(text, record));
    EXPECT_EQ(record.bytes[0], 0x21);
    EXPECT_EQ(record.bytes[1], 0x00);
}

TEST(NibbleText, AnyOtherLengthIsRefusedAndLeavesTheRecordAlone) {
    SettingsRecord record;
    record.bytes.fill(0x5A);
    for (size_t length : {size_t{0}, size_t{1}, size_t{951}, size_t{953}, size_t{1904}}) {
        EXPECT_FALSE(decodeNibbleText(std::string(length, '?'), record)) << length;
        EXPECT_EQ(record.bytes[0], 0x5A);
        EXPECT_EQ(record.bytes[SETTINGS_RECORD_SIZE - 1], 0x5A);
    }
}

TEST(SettingsRecordText, FullFieldHasNoTerminatorAndReadersStopAtTheirLimit) {
    SettingsRecord record;
    const std::string address64(64, 'h');
    record.setText(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_SIZE, SERVER_ADDRESS_SIZE,
                   address64);
    // Stored whole, right up to the account id that follows it.
    EXPECT_EQ(record.bytes[ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET + 63], 'h');
    EXPECT_EQ(record.bytes[ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET], 0);
    EXPECT_EQ(record.text(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_USED),
              std::string(63, 'h'));
}

TEST(SettingsRecordText, LongPasswordIsCutAndOldTextIsCleared) {
    SettingsRecord record;
    const size_t offset = ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET;
    record.setText(offset, PASSWORD_SIZE, PASSWORD_USED, "abcdefghijklmnopqrst");
    EXPECT_EQ(record.text(offset, PASSWORD_SIZE), "abcdefghijklmno");
    EXPECT_EQ(record.bytes[offset + 15], 0);
    record.setText(offset, PASSWORD_SIZE, PASSWORD_USED, "xy");
    EXPECT_EQ(record.text(offset, PASSWORD_SIZE), "xy");
    EXPECT_EQ(record.bytes[offset + 2], 0);
    // Characters are stored as their low eight bits.
    record.setText(offset, PASSWORD_SIZE, PASSWORD_USED, "\xE9");
    EXPECT_EQ(record.bytes[offset], 0xE9);
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
    EXPECT_EQ(record.bytes[0], 0x03);  // little-endian
    EXPECT_EQ(record.bytes[3], 0x80);
    record.setKeepAwake(false);
    EXPECT_EQ(record.settingsFlags(), 0x80000102u);
}

TEST(ConfigSnapshot, IsTheRecordsAccountBlock) {
    SettingsRecord record;
    for (size_t i = 0; i < SETTINGS_RECORD_SIZE; ++i) record.bytes[i] = static_cast<uint8_t>(i);
    ConfigSnapshot snapshot;
    record.copyTo(snapshot);
    EXPECT_EQ(snapshot.bytes[0], 84);
    EXPECT_EQ(snapshot.bytes[ACCOUNT_BLOCK_SIZE - 1], 219);
    EXPECT_EQ(snapshot.numericServerAddressBytes()[0], 88);
    EXPECT_EQ(snapshot.serverAddress()[0], 92);
    EXPECT_EQ(snapshot.accountId()[0], 156);
    EXPECT_EQ(snapshot.authId()[0], 180);
    EXPECT_EQ(snapshot.password()[PASSWORD_SIZE - 1], 219);

    snapshot.clear();
    EXPECT_FALSE(snapshot.hasNumericServerAddress());
    snapshot.bytes[CFG_NUMERIC_SERVER_ADDRESS_OFFSET + 3] = 1;
    EXPECT_TRUE(snapshot.hasNumericServerAddress());
    record.copyFrom(snapshot);
    EXPECT_EQ(record.bytes[83], 83);  // the tag fields before the block are untouched
    EXPECT_EQ(record.bytes[84], 0);
    EXPECT_EQ(record.bytes[91], 1);
    EXPECT_EQ(record.bytes[220], 220);  // and so is the first slot after it
}

}  // namespace
}  // namespace vorpel
