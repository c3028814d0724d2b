// vorpel-provision as an installer runs it: a real process writing a real store.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "settings/settings_record.h"

namespace vorpel::e2e {
namespace {

using namespace std::chrono_literals;
constexpr size_t BLOCK = ACCOUNT_BLOCK_OFFSET;

class ProvisionTest : public ::testing::Test {
protected:
    std::filesystem::path store(const std::string& app = "vorpel") const {
        return config.path() / "VorpelMobile" / app / "Settings" / "Glbl";
    }
    RunResult provision(std::vector<std::string> args) {
        args.insert(args.begin(), VORPEL_PROVISION_PATH);
        return runProgram(std::move(args), {{"XDG_CONFIG_HOME", config.path().string()}}, 10s);
    }
    std::string stored(const std::string& app = "vorpel") const {
        std::stringstream text;
        text << std::ifstream(store(app)).rdbuf();
        return text.str();
    }
    void write(const SettingsRecord& record) const {
        std::filesystem::create_directories(store().parent_path());
        std::ofstream(store()) << encodeNibbleText(record);
    }
    SettingsRecord read(const std::string& app = "vorpel") const {
        SettingsRecord record;
        EXPECT_TRUE(decodeNibbleText(stored(app), record));
        return record;
    }
    // The account options with option's value replaced ("-" drops the option).
    std::vector<std::string> with(const std::string& option, const std::string& value) const {
        std::vector<std::string> args{"--server", "pbx.example", "--account",  "4711",
                                      "--auth",   "auth-4711",   "--password", "secret-secret"};
        const auto at = std::find(args.begin(), args.end(), option);
        if (at == args.end()) {
            args.insert(args.end(), {option, value});
        } else if (value == "-") {
            args.erase(at, at + 2);
        } else {
            at[1] = value;
        }
        return args;
    }

    TempFolder config;
};

TEST_F(ProvisionTest, WritesEveryFieldAndKeepsTheRestOfAnExistingStore) {
    auto args = with("--numeric", "192.0.2.7");
    args.insert(args.end(), {"--keep-awake", "--app", "vorpel-console"});
    RunResult result = provision(args);
    ASSERT_EQ(result.status, 0) << result.error;
    const SettingsRecord fresh = read("vorpel-console");
    EXPECT_EQ(stored("vorpel-console").size(), NIBBLE_TEXT_LENGTH);
    EXPECT_EQ(fresh.settingsFlags(), 1u);
    EXPECT_EQ(std::vector<uint8_t>(fresh.bytes.begin() + BLOCK + 4, fresh.bytes.begin() + BLOCK + 8),
              (std::vector<uint8_t>{192, 0, 2, 7}));
    EXPECT_EQ(fresh.text(BLOCK + CFG_SERVER_ADDRESS_OFFSET, 64), "pbx.example");
    EXPECT_EQ(fresh.text(BLOCK + CFG_ACCOUNT_ID_OFFSET, 24), "4711");
    EXPECT_EQ(fresh.text(BLOCK + CFG_AUTH_ID_OFFSET, 24), "auth-4711");
    EXPECT_EQ(fresh.text(BLOCK + CFG_PASSWORD_OFFSET, 16), "secret-secret");
    EXPECT_FALSE(std::filesystem::exists(store("vorpel")));

    SettingsRecord before;
    before.setSettingsFlags(0x80000021);  // keep-awake and two meaningless bits
    before.setText(TAG_FIELDS_OFFSET + 16, 16, 16, "second tag text!");
    before.setText(ACCOUNT_SLOT_OFFSET + ACCOUNT_SLOT_SIZE + SLOT_PASSWORD_OFFSET, 16, 15, "slot-password");
    before.setText(BLOCK + CFG_ACCOUNT_ID_OFFSET, 24, 23, "a-much-longer-old-account");
    before.bytes[BLOCK + 4] = 10;  // an old numeric address, dropped without --numeric
    write(before);
    result = provision(with("--account", "4711"));
    ASSERT_EQ(result.status, 0) << result.error;
    SettingsRecord expected = before;
    expected.setSettingsFlags(0x80000020);
    expected.bytes[BLOCK + 4] = 0;
    expected.setText(BLOCK + CFG_SERVER_ADDRESS_OFFSET, 64, 64, "pbx.example");
    expected.setText(BLOCK + CFG_ACCOUNT_ID_OFFSET, 24, 23, "4711");
    expected.setText(BLOCK + CFG_AUTH_ID_OFFSET, 24, 23, "auth-4711");
    expected.setText(BLOCK + CFG_PASSWORD_OFFSET, 16, 15, "secret-secret");
    EXPECT_EQ(read().bytes, expected.bytes);
}

TEST_F(ProvisionTest, BadArgumentsWriteNothingAndExitTwo) {
    SettingsRecord before;
    before.setText(TAG_FIELDS_OFFSET, 16, 16, "keep me");
    write(before);
    const std::string original = stored();
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"--bogus"},
                                                                  {"--server"},
                                                                  with("--numeric", "10.1.2"),
                                                                  with("--numeric", "1.2.3.256"),
                                                                  with("--numeric", "10.1.2.3 x"),
                                                                  with("--auth", "-"),
                                                                  with("--server", ""),
                                                                  with("--account", std::string(24, 'a')),
                                                                  with("--server", std::string(64, 's')),
                                                                  with("--password", std::string(16, 'p')),
                                                                  with("--password", std::string(11, 'p')),
                                                                  with("--app", "../elsewhere")}) {
        const RunResult result = provision(args);
        const std::string joined = ::testing::PrintToString(args);
        EXPECT_EQ(result.status, 2) << joined;
        EXPECT_NE(result.error.find("vorpel-provision: "), std::string::npos) << joined;
        EXPECT_EQ(stored(), original) << joined;
    }
    const std::vector<std::string> limits{
        "--server",   std::string(63, 's'), "--account", std::string(23, 'a'),
        "--password", std::string(15, 'p'), "--auth",    "a"};
    EXPECT_EQ(provision(limits).status, 0);
}

TEST_F(ProvisionTest, ShowPrintsTheDecodedRecord) {
    const RunResult missing = provision({"--show"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("no valid settings stored"), std::string::npos);
    SettingsRecord record;
    record.setText(TAG_FIELDS_OFFSET + 64, 16, 16, "B\"\xE9\\");
    write(record);
    auto args = with("--numeric", "10.0.0.1");
    args.push_back("--show");
    const RunResult shown = provision(args);
    ASSERT_EQ(shown.status, 0) << shown.error;
    for (const char* line :
         {"keepAwake: 0\n", "numericServerAddress: 10.0.0.1\n", "serverAddress: \"pbx.example\"\n",
          "accountId: \"4711\"\n", "authId: \"auth-4711\"\n", "password: \"secret-secret\"\n",
          "tag 5: \"B\\\"\\xE9\\\\\"\n", "slot 1: server \"\" account \"\" auth \"\" password \"\"\n"}) {
        EXPECT_NE(shown.output.find(line), std::string::npos) << line << shown.output;
    }
}

}  // namespace
}  // namespace vorpel::e2e
