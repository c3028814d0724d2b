#include "ui/console/console_command.h"
#include "ui/console/console_event_writer.h"
#include "ui/console/console_options.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vorpel {
namespace {

template <class T>
const T& as(const ConsoleCommand& c) {
    EXPECT_TRUE(std::holds_alternative<T>(c)) << "variant index " << c.index();
    static const T fallback{};
    return std::holds_alternative<T>(c) ? std::get<T>(c) : fallback;
}

TEST(ConsoleCommand, KeysButtonsAndNavigation) {
    EXPECT_EQ(as<KeyCommand>(parseConsoleCommand("key 7")).virtualKey, 0x37);
    EXPECT_EQ(as<KeyCommand>(parseConsoleCommand("key *")).virtualKey, VK_STAR);
    EXPECT_EQ(as<KeyCommand>(parseConsoleCommand("  key #\r")).virtualKey, VK_POUND);
    EXPECT_EQ(as<KeyCommand>(parseConsoleCommand("down")).virtualKey, VK_DOWN);
    EXPECT_EQ(as<KeyCommand>(parseConsoleCommand("action")).virtualKey, VK_ACTION);
    EXPECT_EQ(as<PressCommand>(parseConsoleCommand("press <")).button, PhoneButton::Left);
    EXPECT_EQ(as<PressCommand>(parseConsoleCommand("press Cnf")).button, PhoneButton::Cnf);
    EXPECT_TRUE(std::holds_alternative<QuitCommand>(parseConsoleCommand("quit")));
    EXPECT_TRUE(std::holds_alternative<AboutCommand>(parseConsoleCommand("about")));
    EXPECT_TRUE(std::holds_alternative<EmptyCommand>(parseConsoleCommand("   ")));
    for (const char* bad :
         {"key", "key 12", "key a", "press ok", "press", "quit now", "left 1", "dial 123"}) {
        EXPECT_TRUE(std::holds_alternative<CommandError>(parseConsoleCommand(bad))) << bad;
    }
}

TEST(ConsoleCommand, SettingsFieldsQuotingAndErrors) {
    const auto s = as<SettingsCommand>(
        parseConsoleCommand(R"(settings address=10.0.0.1 password="a \"b\" \\ \x41" keepawake=1)"));
    EXPECT_FALSE(s.cancel);
    EXPECT_EQ(s.address, "10.0.0.1");
    EXPECT_EQ(s.password, "a \"b\" \\ A");
    EXPECT_FALSE(s.account);
    EXPECT_EQ(s.keepAwake, true);
    EXPECT_EQ(as<SettingsCommand>(parseConsoleCommand("settings account=")).account, "");
    EXPECT_TRUE(as<SettingsCommand>(parseConsoleCommand("settings cancel")).cancel);
    EXPECT_FALSE(as<SettingsCommand>(parseConsoleCommand("settings")).address);
    for (const char* bad :
         {"settings keepawake=2", "settings colour=red", "settings address", R"(settings auth="x)",
          R"(settings auth="x"y)", R"(settings auth="\q")", "settings cancel now"}) {
        EXPECT_TRUE(std::holds_alternative<CommandError>(parseConsoleCommand(bad))) << bad;
    }
}

TEST(ConsoleCommand, TagsSplitOnBarsAndKeepSpaces) {
    const auto t = as<TagsCommand>(parseConsoleCommand("tags one|two words||four"));
    EXPECT_EQ(t.texts[0], "one");
    EXPECT_EQ(t.texts[1], "two words");
    EXPECT_EQ(t.texts[2], "");
    EXPECT_EQ(t.texts[3], "four");
    EXPECT_FALSE(t.texts[4]);
    EXPECT_TRUE(as<TagsCommand>(parseConsoleCommand("tags cancel")).cancel);
    EXPECT_TRUE(std::holds_alternative<CommandError>(parseConsoleCommand("tags a|b|c|d|e|f")));
}

std::string written(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

TEST(ConsoleEventWriter, PrintsOnlyWhatChanged) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    ConsoleEventWriter writer(f);
    PhoneWindowView view;
    view.enabled.fill(true);
    view.lit.fill(true);
    writer.view(view);
    EXPECT_EQ(written(f), "lamps 1111111\nbuttons 111111111111\ntitle \"Vorpel1.16            \"\n");
    std::fseek(f, 0, SEEK_END);
    const long mark = std::ftell(f);
    writer.view(view);  // nothing changed: nothing printed
    view.displayShown = true;
    view.lines[0].fill(' ');
    view.lines[1].fill('\x01');
    view.lines[2].fill('"');
    view.enabled[11] = false;
    view.focus = PhoneButton::Left;
    writer.view(view);
    writer.audio(AudioMode::Idle);  // no change from the start
    writer.audio(AudioMode::Voice);
    writer.audio(AudioMode::Voice);
    writer.message("Socket fault!");
    writer.error("bad \\ line");
    writer.exit(0);
    const std::string all = written(f);
    EXPECT_EQ(
        all.substr(static_cast<size_t>(mark)),
        "display \"" + std::string(25, ' ') + "\" \"" + std::string() +
            [] {
                std::string s;
                for (int i = 0; i < 25; ++i) s += "\\x01";
                return s;
            }() +
            "\" \"" +
            [] {
                std::string s;
                for (int i = 0; i < 25; ++i) s += "\\\"";
                return s;
            }() +
            "\"\nbuttons 111111111110\nfocus <\naudio voice\nmessage \"Socket fault!\"\n"
            "error \"bad \\\\ line\"\nexit 0\n");
    std::fclose(f);
}

}  // namespace
}  // namespace vorpel

namespace vorpel {
namespace {

std::optional<ConsoleOptions> options(std::vector<std::string_view> args, std::string& error) {
    return parseConsoleOptions(args, error);
}

TEST(ConsoleOptions, FileDevicesAloneOrTogether) {
    std::string error;
    auto none = options({}, error);
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->fileAudio());
    auto capture = options({"--capture", "in.raw"}, error);
    ASSERT_TRUE(capture);
    EXPECT_TRUE(capture->fileAudio());
    EXPECT_EQ(capture->capture, "in.raw");
    EXPECT_FALSE(capture->playback);
    auto both = options({"--playback", "out.raw", "--capture", "in.raw"}, error);
    ASSERT_TRUE(both);
    EXPECT_EQ(both->playback, "out.raw");
    for (auto bad :
         std::vector<std::vector<std::string_view>>{{"--capture"}, {"--playback", ""}, {"--loud"}, {"x"}}) {
        EXPECT_FALSE(options(bad, error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace vorpel
