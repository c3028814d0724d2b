// The phone window on the real shell and the real signalling engine, with
// the shell's other ports faked (tests/app/shell_fakes.h) and time virtual:
// the media timer fires when a test says so, and the posted tick message is
// handed over by the Qt loop.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "app/phone_app.h"
#include "shell_fakes.h"
#include "ui/qt/phone_dialog.h"
#include "ui/qt/qt_dialog_host.h"
#include "ui/qt/qt_event_loop.h"

namespace vorpel::test {

using Bytes = std::vector<uint8_t>;

// The stored text of a settings record holding a valid account for the
// server at address.
std::string storedAccount(const std::u16string& address);

// Saves widget's picture as build/screenshots/<name>.png for review.
void saveScreenshot(QWidget& widget, const char* name);

class WindowFixture : public ::testing::Test {
protected:
    WindowFixture();

    // Runs the program; script runs inside the window's loop, then the user
    // presses "Ok".
    ExitStatus run(const std::function<void()>& script);
    // n media-timer periods; each posted tick message is handled, and the
    // server acknowledges what the tick sent.
    void tick(int n = 1);
    // Hands over whatever the Qt loop has queued.
    static void settle() { QCoreApplication::processEvents(); }

    // Stores a valid account (server 127.0.0.1) for the engine to load.
    void provision();
    // From the first tick to Connected: registration reply and connect
    // confirm, as the server sends them.
    void connect();
    // While Connected: the server acknowledges every frame the terminal has
    // sent (the terminal gives up after seven outstanding ones).
    void acknowledge();
    // A server data frame with the next sequence number, handed to the engine
    // as the transport does.
    void serverFrame(std::initializer_list<Bytes> elements);
    static Bytes displayRow(uint8_t row, std::string_view text);
    static Bytes indicators(std::initializer_list<std::pair<uint8_t, uint8_t>> pairs);
    static Bytes audioControl(uint8_t command) { return {0x90, 2, command}; }

    // The key codes of every key event the terminal has sent, in order.
    std::vector<uint16_t> keyCodesSent() const;
    // The three lines the list shows, as text.
    std::vector<std::string> shownLines() const;

    Journal journal;
    RecordingEnginePorts ports{journal};
    FakeKeyAgreement keys = FakeKeyAgreement::withoutKeyPairs();
    SignallingEngine engine{ports, keys};
    Mutex engineLock;
    RecordingDriver driver{journal, engine};
    RecordingServices services{journal};
    SettingsRecord record;
    MemoryStore store{journal};
    ManualTimer timer{journal};
    QtEventLoop loop;
    QtDialogHost host{loop, record};
    PhoneApp app{ShellParts{engineLock, engine, driver, services, record, store, timer, loop, host}};
    PhoneDialog window{app};

private:
    uint8_t serverSequence_ = 0;
};

}  // namespace vorpel::test
