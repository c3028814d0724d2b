// The accounts file and the command line.
#include <gtest/gtest.h>

#include "account_table.h"
#include "server_options.h"

namespace vorpel::callserver {
namespace {

TEST(AccountTable, ParsesLinesCommentsAndPadsFields) {
    std::string error;
    const auto table = AccountTable::parse(
        "# ext acct auth pass\n\n  201\talice  a-auth  pw123456789012 # desk\r\n"
        "9* bob b b\n",
        error);
    ASSERT_TRUE(table) << error;
    ASSERT_EQ(table->size(), 2u);
    const Account& a = table->at(0);
    EXPECT_EQ(a.extension, "201");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.accountId.data()), 5), "alice");
    EXPECT_EQ(a.accountId[5], 0);
    EXPECT_EQ(a.password[13], '2');
    EXPECT_EQ(a.password[14], 0);
    EXPECT_TRUE(table->findByExtension("9*"));
    EXPECT_FALSE(table->findByExtension("9"));
    EXPECT_TRUE(table->isPrefixOfLongerExtension("9"));
    EXPECT_FALSE(table->isPrefixOfLongerExtension("201"));
}

TEST(AccountTable, ReportsTheLineOfEachMistake) {
    const std::pair<const char*, const char*> cases[] = {
        {"201 alice auth\n", "line 1: expected"},
        {"# c\n20a alice auth pass\n", "line 2: extension"},
        {"201 aaaaaaaaaaaaaaaaaaaaaaaa auth pass\n", "line 1: account id longer than 23"},
        {"201 alice aaaaaaaaaaaaaaaaaaaaaaaa pass\n", "line 1: auth id longer"},
        {"201 alice auth 1234567890123456\n", "line 1: password longer than 15"},
        {"201 alice auth pass\n201 bob auth pass\n", "line 2: extension 201 is given twice"},
        {"201 alice auth pass\n202 alice auth pass\n", "line 2: account id alice is given twice"},
    };
    for (const auto& [text, message] : cases) {
        std::string error;
        EXPECT_FALSE(AccountTable::parse(text, error)) << text;
        EXPECT_EQ(error.rfind(message, 0), 0u) << error;
    }
}

std::optional<ServerOptions> parse(std::vector<const char*> args, std::string& error) {
    args.insert(args.begin(), "vorpel-callserver");
    return parseServerOptions(static_cast<int>(args.size()), args.data(), error);
}

TEST(ServerOptions, ParsesEveryOptionAndRefusesNonsense) {
    std::string error;
    const auto options = parse(
        {"--accounts", "a.txt", "--listen", "127.0.0.2", "--port", "9000", "--relay-port", "9100",
         "--max-terminals", "4", "--echo", "", "--trace", "--hold-voice", "12:300", "--hold-voice", "20:5"},
        error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->listenAddress, 0x7F000002u);
    EXPECT_EQ(options->port, 9000);
    EXPECT_EQ(options->relayPort, 9100);
    EXPECT_EQ(options->maxTerminals, 4u);
    EXPECT_EQ(options->echoExtension, "");
    EXPECT_TRUE(options->trace);
    ASSERT_EQ(options->holds.size(), 2u);
    EXPECT_EQ(options->holds[1].packet, 20u);
    EXPECT_EQ(options->holds[1].ms, 5u);
    EXPECT_TRUE(parse({"--help"}, error)->help);
    EXPECT_FALSE(parse({}, error));
    EXPECT_FALSE(parse({"--accounts", "a", "--listen", "localhost"}, error));
    EXPECT_FALSE(parse({"--accounts", "a", "--listen", "1.2.3.256"}, error));
    EXPECT_FALSE(parse({"--accounts", "a", "--port", "70000"}, error));
    EXPECT_FALSE(parse({"--accounts", "a", "--port", "9881"}, error));  // among the relay ports
    EXPECT_FALSE(parse({"--accounts", "a", "--relay-port", "65500", "--max-terminals", "64"}, error));
    EXPECT_FALSE(parse({"--accounts", "a", "--max-terminals", "0"}, error));
    EXPECT_FALSE(parse({"--accounts", "a", "--echo", "9x"}, error));
    EXPECT_FALSE(parse({"--accounts"}, error));
    for (const char* hold : {"12", "0:300", "12:0", "12:10001", "12:300ms"})
        EXPECT_FALSE(parse({"--accounts", "a", "--hold-voice", hold}, error)) << hold;
    std::vector<const char*> nine{"--accounts", "a"};
    for (int i = 0; i < 9; ++i) nine.insert(nine.end(), {"--hold-voice", "1:1"});
    EXPECT_FALSE(parse(nine, error));
    EXPECT_FALSE(parse({"--accounts", "a", "--bogus", "1"}, error));
    EXPECT_EQ(error, "unknown option --bogus");
}

}  // namespace
}  // namespace vorpel::callserver
