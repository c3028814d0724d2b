#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <string>

namespace vorpel {
namespace {

class MemoryStore : public SettingsStore {
public:
    std::string text;
    bool writable = true;
    std::string read() override { return text; }
    bool write(std::string_view t) override {
        if (!writable) return false;
        text = t;
        return true;
    }
};

SettingsRecord sampleRecord() {
    SettingsRecord record;
    record.setKeepAwake(true);
    record.setText(TAG_FIELDS_OFFSET + 2 * TAG_FIELD_SIZE, TAG_FIELD_SIZE, TAG_FIELD_SIZE, "tag three");
    record.setText(ACCOUNT_SLOT_OFFSET + ACCOUNT_SLOT_SIZE + SLOT_PASSWORD_OFFSET, PASSWORD_SIZE,
                   PASSWORD_USED, "slot secret");
    record.bytes[ACCOUNT_BLOCK_OFFSET + CFG_NUMERIC_SERVER_ADDRESS_OFFSET] = 10;
    return record;
}

TEST(LoadSettings, TextOfWrongLengthGivesTheAllZeroRecord) {
    const std::string good = encodeNibbleText(sampleRecord());
    for (const std::string& text : {std::string(), good.substr(0, 951), good + "0", good + good}) {
        MemoryStore store;
        store.text = text;
        SettingsRecord record;
        record.bytes.fill(0xEE);  // left over from an earlier load
        ConfigSnapshot snapshot;  // as the engine's initialisation left it
        loadSettings(store, record, snapshot);
        EXPECT_EQ(record.bytes, SettingsRecord{}.bytes) << text.size();
        EXPECT_EQ(snapshot.bytes, ConfigSnapshot{}.bytes);
    }
}

TEST(SaveSettings, UntouchedFieldsSurviveALoadAndSaveAndFailureIsReported) {
    MemoryStore store;
    std::string text = encodeNibbleText(sampleRecord());
    text[10] = 'z';  // an unexpected character is loaded from its low bits
    store.text = text;
    SettingsRecord record;
    record.bytes.fill(0xEE);
    ConfigSnapshot snapshot;
    loadSettings(store, record, snapshot);
    EXPECT_TRUE(std::equal(snapshot.bytes.begin(), snapshot.bytes.end(), record.accountBlock().begin()));
    EXPECT_EQ(snapshot.bytes[CFG_NUMERIC_SERVER_ADDRESS_OFFSET], 10);
    ASSERT_TRUE(saveSettings(store, record));
    std::string expected = text;
    expected[10] = static_cast<char>(0x30 + ('z' & 0x0F));
    EXPECT_EQ(store.text, expected);
    store.writable = false;
    EXPECT_FALSE(saveSettings(store, record)) << "a store that cannot be written is reported";
}

}  // namespace
}  // namespace vorpel
