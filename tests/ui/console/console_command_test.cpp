#include "ui/console/console_command.h"
#include "ui/console/console_event_writer.h"
#include "ui/console/console_options.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vorpel {
namespace {

TEST(ConsoleCommand, EachCommandAndItsMistakes) {
    const std::pair<const char*, uint16_t> keys[] = {{"key 7", 0x37},
                                                     {"key *", VK_STAR},
                                                     {"  key #\r", VK_POUND},
                                                     {"down", VK_DOWN},
                                                     {"action", VK_ACTION}};
    for (auto [line, code] : keys)
        EXPECT_EQ(std::get<KeyCommand>(parseConsoleCommand(line)).virtualKey, code);
    EXPECT_EQ(std::get<PressCommand>(parseConsoleCommand("press <")).button, PhoneButton::Left);
    EXPECT_EQ(std::get<PressCommand>(parseConsoleCommand("press Cnf")).button, PhoneButton::Cnf);
    EXPECT_TRUE(std::holds_alternative<QuitCommand>(parseConsoleCommand("quit")));
    EXPECT_TRUE(std::holds_alternative<AboutCommand>(parseConsoleCommand("about")));
    EXPECT_TRUE(std::holds_alternative<DevicesCommand>(parseConsoleCommand("devices")));
    EXPECT_TRUE(std::holds_alternative<EmptyCommand>(parseConsoleCommand("   ")));
    const auto s = std::get<SettingsCommand>(
        parseConsoleCommand(R"(settings address=10.0.0.1 password="a \"b\" \\ \x41" keepawake=1)"));
    EXPECT_EQ(s.address, "10.0.0.1");
    EXPECT_EQ(s.password, "a \"b\" \\ A");
    EXPECT_FALSE(s.account || s.cancel);
    EXPECT_EQ(s.keepAwake, true);
    EXPECT_EQ(std::get<SettingsCommand>(parseConsoleCommand("settings account=")).account, "");
    EXPECT_TRUE(std::get<SettingsCommand>(parseConsoleCommand("settings cancel")).cancel);
    const auto t = std::get<TagsCommand>(parseConsoleCommand("tags one|two words||four"));
    EXPECT_EQ(t.texts[1], "two words");
    EXPECT_EQ(t.texts[2], "");
    EXPECT_EQ(t.texts[3], "four");
    EXPECT_FALSE(t.texts[4]);
    EXPECT_TRUE(std::get<TagsCommand>(parseConsoleCommand("tags cancel")).cancel);
    const auto d =
        std::get<DeviceCommand>(parseConsoleCommand(R"x(device playback "HDA: Analog (hw:0,0)")x"));
    EXPECT_EQ(std::pair(d.capture, d.name), std::pair(false, std::string("HDA: Analog (hw:0,0)")));
    EXPECT_EQ(std::get<DeviceCommand>(parseConsoleCommand("device capture mic")).capture, true);
    for (const char* bad :
         {"key", "key 12", "key a", "press ok", "press", "quit now", "left 1", "dial 123",
          "settings keepawake=2", "settings colour=red", "settings address", R"(settings auth="x)",
          R"(settings auth="x"y)", R"(settings auth="\q")", "settings cancel now", "tags a|b|c|d|e|f",
          "devices all", "device speaker x", "device playback a b"})
        EXPECT_TRUE(std::holds_alternative<CommandError>(parseConsoleCommand(bad))) << bad;
}

TEST(ConsoleEventWriter, PrintsOnlyWhatChangedQuotingEveryByte) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    ConsoleEventWriter writer(f);
    PhoneWindowView view;
    view.enabled.fill(true);
    view.lit.fill(true);
    writer.view(view);
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
    std::string text(4096, '\0');
    std::rewind(f);
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);
    std::string control, quotes;
    for (int i = 0; i < 25; ++i) control += "\\x01", quotes += "\\\"";
    EXPECT_EQ(text, "lamps 1111111\nbuttons 111111111111\ntitle \"Vorpel1.16            \"\ndisplay \"" +
                        std::string(25, ' ') + "\" \"" + control + "\" \"" + quotes +
                        "\"\nbuttons 111111111110\nfocus <\naudio voice\nmessage \"Socket fault!\"\n"
                        "error \"bad \\\\ line\"\nexit 0\n");
}

TEST(ConsoleOptions, FileDevicesAloneOrTogether) {
    std::string error;
    const auto parse = [&](std::vector<std::string_view> args) { return parseConsoleOptions(args, error); };
    EXPECT_FALSE(parse({})->fileAudio());
    const auto capture = parse({"--capture", "in.raw"});
    EXPECT_EQ(capture->capture, "in.raw");
    EXPECT_FALSE(capture->playback);
    EXPECT_EQ(parse({"--playback", "out.raw", "--capture", "in.raw"})->playback, "out.raw");
    const auto named = parse({"--capture-device", "hw:1", "--playback-device", "vorpel b"});
    EXPECT_FALSE(named->fileAudio());
    EXPECT_EQ(named->captureDevice, "hw:1");
    EXPECT_EQ(named->playbackDevice, "vorpel b");
    for (auto bad : std::vector<std::vector<std::string_view>>{{"--capture"},
                                                               {"--playback", ""},
                                                               {"--capture-device"},
                                                               {"--playback-device", ""},
                                                               {"--loud"},
                                                               {"x"}})
        EXPECT_FALSE(parse(bad)) << bad[0];
}

}  // namespace
}  // namespace vorpel
