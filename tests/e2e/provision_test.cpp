// vorpel-provision as an installer runs it: a real process writing a real store.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "settings/settings_record.h"

namespace vorpel::e2e {
namespace {

using namespace std::chrono_literals;

class ProvisionTest : public ::testing::Test {
protected:
    std::filesystem::path storePath(const std::string& app = "vorpel") const {
        return config.path() / "VorpelMobile" / app / "Settings" / "Glbl";
    }
    RunResult provision(std::vector<std::string> args) {
        args.insert(args.begin(), VORPEL_PROVISION_PATH);
        return runProgram(std::move(args), {{"XDG_CONFIG_HOME", config.path().string()}}, 10s);
    }
    std::string readStore(const std::string& app = "vorpel") const {
        std::ifstream in(storePath(app));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void writeStore(const SettingsRecord& record, const std::string& app = "vorpel") const {
        std::filesystem::create_directories(storePath(app).parent_path());
        std::ofstream(storePath(app)) << encodeNibbleText(record);
    }
    SettingsRecord storedRecord(const std::string& app = "vorpel") const {
        SettingsRecord record;
        EXPECT_TRUE(decodeNibbleText(readStore(app), record));
        return record;
    }

    TempFolder config;
    const std::vector<std::string> account{"--server", "pbx.example", "--account",  "4711",
                                           "--auth",   "auth-4711",   "--password", "secret-secret"};
};

TEST_F(ProvisionTest, WritesAFreshStoreWithEveryField) {
    auto args = account;
    args.insert(args.end(), {"--numeric", "192.0.2.7", "--keep-awake", "--app", "vorpel-console"});
    const RunResult result = provision(args);
    ASSERT_EQ(result.status, 0) << result.error;
    const SettingsRecord record = storedRecord("vorpel-console");
    EXPECT_EQ(readStore("vorpel-console").size(), NIBBLE_TEXT_LENGTH);
    EXPECT_EQ(record.settingsFlags(), 1u);
    const size_t block = ACCOUNT_BLOCK_OFFSET;
    EXPECT_EQ(record.bytes[block + 4], 192);  // first octet first
    EXPECT_EQ(record.bytes[block + 5], 0);
    EXPECT_EQ(record.bytes[block + 6], 2);
    EXPECT_EQ(record.bytes[block + 7], 7);
    EXPECT_EQ(record.text(block + CFG_SERVER_ADDRESS_OFFSET, 64), "pbx.example");
    EXPECT_EQ(record.text(block + CFG_ACCOUNT_ID_OFFSET, 24), "4711");
    EXPECT_EQ(record.text(block + CFG_AUTH_ID_OFFSET, 24), "auth-4711");
    EXPECT_EQ(record.text(block + CFG_PASSWORD_OFFSET, 16), "secret-secret");
    EXPECT_FALSE(std::filesystem::exists(storePath("vorpel")));
}

TEST_F(ProvisionTest, KeepsTagsSlotsAndOtherFlagBitsOfAnExistingStore) {
    SettingsRecord before;
    before.setSettingsFlags(0x80000021);  // keep-awake and two meaningless bits
    before.setText(TAG_FIELDS_OFFSET + 16, 16, 16, "second tag text!");
    before.setText(ACCOUNT_SLOT_OFFSET + ACCOUNT_SLOT_SIZE + SLOT_PASSWORD_OFFSET, 16, 15, "slot-password");
    before.setText(ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET, 24, 23, "a-much-longer-old-account");
    before.bytes[ACCOUNT_BLOCK_OFFSET + 4] = 10;  // an old numeric address, dropped without --numeric
    writeStore(before);
    const RunResult result = provision(account);
    ASSERT_EQ(result.status, 0) << result.error;
    SettingsRecord expected = before;
    expected.setSettingsFlags(0x80000020);
    expected.bytes[ACCOUNT_BLOCK_OFFSET + 4] = 0;
    expected.setText(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, 64, 64, "pbx.example");
    expected.setText(ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET, 24, 23, "4711");
    expected.setText(ACCOUNT_BLOCK_OFFSET + CFG_AUTH_ID_OFFSET, 24, 23, "auth-4711");
    expected.setText(ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET, 16, 15, "secret-secret");
    EXPECT_EQ(storedRecord().bytes, expected.bytes);
}

TEST_F(ProvisionTest, BadArgumentsWriteNothingAndExitTwo) {
    SettingsRecord before;
    before.setText(TAG_FIELDS_OFFSET, 16, 16, "keep me");
    writeStore(before);
    const std::string original = readStore();
    auto with = [this](std::vector<std::pair<std::string, std::string>> changes) {
        auto args = account;
        for (const auto& [option, value] : changes) {
            auto it = std::find(args.begin(), args.end(), option);
            if (it == args.end()) {
                args.push_back(option);
                if (!value.empty()) args.push_back(value);
            } else if (value == "<drop>") {
                args.erase(it, it + 2);
            } else {
                *(it + 1) = value;
            }
        }
        return args;
    };
    const std::vector<std::vector<std::string>> bad{
        {},
        {"--bogus"},
        {"--server"},
        with({{"--numeric", "10.1.2"}}),
        with({{"--numeric", "1.2.3.256"}}),
        with({{"--numeric", "10.1.2.3 x"}}),
        with({{"--auth", "<drop>"}}),
        with({{"--server", ""}}),
        with({{"--account", std::string(24, 'a')}}),
        with({{"--server", std::string(64, 's')}}),
        with({{"--password", std::string(16, 'p')}}),
        with({{"--password", std::string(11, 'p')}}),
        with({{"--app", "../elsewhere"}}),
    };
    for (const auto& args : bad) {
        const RunResult result = provision(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(result.status, 2) << joined;
        EXPECT_NE(result.error.find("vorpel-provision: "), std::string::npos) << joined;
        EXPECT_EQ(readStore(), original) << joined;
    }
    // The limits themselves are accepted.
    EXPECT_EQ(provision(with({{"--account", std::string(23, 'a')},
                              {"--password", std::string(15, 'p')},
                              {"--server", std::string(63, 's')}}))
                  .status,
              0);
}

TEST_F(ProvisionTest, ShowPrintsTheDecodedRecord) {
    const RunResult missing = provision({"--show"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("no valid settings stored"), std::string::npos);

    SettingsRecord record;
    record.setText(TAG_FIELDS_OFFSET + 64, 16, 16,
                   std::string("A\x00"
                               "B\"\xE9",
                               5));
    writeStore(record);
    auto args = account;
    args.insert(args.end(), {"--numeric", "10.0.0.1", "--show"});
    const RunResult shown = provision(args);
    ASSERT_EQ(shown.status, 0) << shown.error;
    for (const char* line :
         {"keepAwake: 0\n", "numericServerAddress: 10.0.0.1\n", "serverAddress: \"pbx.example\"\n",
          "accountId: \"4711\"\n", "authId: \"auth-4711\"\n", "password: \"secret-secret\"\n",
          "tag 5: \"A\"\n", "slot 1: server \"\" account \"\" auth \"\" password \"\"\n"}) {
        EXPECT_NE(shown.output.find(line), std::string::npos) << line << shown.output;
    }
    record.setText(TAG_FIELDS_OFFSET + 64, 16, 16, "B\"\xE9\\");
    writeStore(record);
    const RunResult escaped = provision({"--show"});
    EXPECT_NE(escaped.output.find("tag 5: \"B\\\"\\xE9\\\\\"\n"), std::string::npos) << escaped.output;
    EXPECT_NE(escaped.output.find("numericServerAddress: none\n"), std::string::npos);
}

}  // namespace
}  // namespace vorpel::e2e
