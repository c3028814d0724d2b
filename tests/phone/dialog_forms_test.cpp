#include <gtest/gtest.h>

#include "phone/settings_form.h"
#include "phone/tag_form.h"

namespace vorpel {
namespace {

constexpr size_t LIVE_ADDRESS = ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET;
constexpr size_t LIVE_ACCOUNT = ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET;
constexpr size_t LIVE_PASSWORD = ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET;

TEST(SettingsForm, StoresWithTheFieldLengthsAndShowsThemBack) {
    SettingsRecord record;
    ConfigSnapshot snapshot;
    SettingsForm form;
    form.address = widenBytes(std::string(64, 'a'));
    form.account = widenBytes(std::string(30, 'c'));
    form.password = widenBytes(std::string(20, 'p'));
    form.store(record, snapshot);
    // The 64-character address is stored whole with no terminator, but only 63 are shown again.
    EXPECT_EQ(record.bytes[LIVE_ADDRESS + 63], 'a');
    EXPECT_EQ(record.text(LIVE_ACCOUNT, 24), std::string(23, 'c'));
    EXPECT_EQ(record.text(LIVE_PASSWORD, 16), std::string(15, 'p'));
    EXPECT_EQ(snapshot.bytes[CFG_PASSWORD_OFFSET + 14], 'p');
    const SettingsForm shown = SettingsForm::load(record);
    EXPECT_EQ(shown.address.size(), 63u);
    EXPECT_EQ(shown.account.size(), 23u);
    EXPECT_EQ(shown.password.size(), 15u);
}

TEST(SettingsForm, CharactersAreStoredAsTheirLowByteAndKeepAwakeOnlyTouchesBitZero) {
    SettingsRecord record;
    ConfigSnapshot snapshot;
    record.setSettingsFlags(0x40000001);
    SettingsForm form = SettingsForm::load(record);
    EXPECT_TRUE(form.keepAwake);
    form.account = u"\u0141x\u00E9";  // 0x141 keeps only 0x41
    form.keepAwake = false;
    form.store(record, snapshot);
    EXPECT_EQ(record.text(LIVE_ACCOUNT, 24), "Ax\xE9");
    EXPECT_EQ(record.settingsFlags(), 0x40000000u);
    EXPECT_EQ(SettingsForm::load(record).account, u"Ax\u00E9");
}

TEST(SettingsForm, SlotsHoldAccountsAndIgnoreBadNumbers) {
    SettingsRecord record;
    SettingsForm form;
    form.address = u"10.0.0.1";
    form.account = u"one";
    form.storeSlot(record, 1);
    form.storeSlot(record, 2);
    SettingsForm loaded;
    loaded.loadSlot(record, 1);
    EXPECT_EQ(loaded.address, u"10.0.0.1");
    EXPECT_EQ(loaded.account, u"one");
    loaded.loadSlot(record, 0);
    EXPECT_EQ(loaded.address, u"");
    EXPECT_EQ(record.text(ACCOUNT_SLOT_OFFSET + ACCOUNT_SLOT_SIZE, 64), "10.0.0.1");
    EXPECT_EQ(record.text(ACCOUNT_SLOT_OFFSET + ACCOUNT_SLOT_SIZE + SLOT_ACCOUNT_ID_OFFSET, 24), "one");
}

TEST(TagForm, ZeroBytesAreSkippedAndHighBytesShowShifted) {
    SettingsRecord record;
    record.bytes[TAG_FIELDS_OFFSET] = 'A';
    record.bytes[TAG_FIELDS_OFFSET + 2] = 'B';
    record.bytes[TAG_FIELDS_OFFSET + 16 + 15] = 0xE9;
    TagForm form = TagForm::load(record);
    EXPECT_EQ(form.texts[0], u"AB");
    EXPECT_EQ(form.texts[1], u"\uFFE9");
    form.store(record);
    EXPECT_EQ(record.bytes[TAG_FIELDS_OFFSET + 1], 'B');
    EXPECT_EQ(record.bytes[TAG_FIELDS_OFFSET + 2], 0);
    EXPECT_EQ(record.bytes[TAG_FIELDS_OFFSET + 16], 0xE9);  // the byte comes back from the low 8 bits
    form.texts[4] = widenBytes(std::string(20, 't'));
    form.store(record);
    EXPECT_EQ(record.bytes[TAG_FIELDS_OFFSET + 64 + 15], 't');
    EXPECT_EQ(record.bytes[ACCOUNT_BLOCK_OFFSET], 0);  // cut at 16, nothing spills over
}

}  // namespace
}  // namespace vorpel
