#include "window_fixture.h"

#include <QDir>
#include <QListWidget>

namespace vorpel::test {

WindowFixture::WindowFixture() {
    host.attachWindow(&window);
    app.setShutdownPause([this] { timer.fire(); });
}

ExitStatus WindowFixture::run(const std::function<void()>& script) {
    QTimer::singleShot(0, &window, [this, script] {
        script();
        app.accept();
    });
    return app.runTerminal();
}

void WindowFixture::tick(int n) {
    for (int i = 0; i < n; ++i) {
        timer.fire();
        settle();
        acknowledge();
    }
}

void saveScreenshot(QWidget& widget, const char* name) {
    QDir().mkpath(QStringLiteral(VORPEL_SCREENSHOT_DIR));
    const QString path = QStringLiteral(VORPEL_SCREENSHOT_DIR "/%1.png").arg(QLatin1String(name));
    EXPECT_TRUE(widget.grab().save(path)) << path.toStdString();
}

std::string storedAccount(const std::u16string& address) {
    SettingsForm form;
    form.address = address;
    form.account = u"4711";
    form.auth = u"auth-4711";
    form.password = u"twelve-chars";
    SettingsRecord stored;
    ConfigSnapshot unused;
    form.store(stored, unused);
    return encodeNibbleText(stored);
}

void WindowFixture::provision() { store.text = storedAccount(u"127.0.0.1"); }

void WindowFixture::connect() {
    tick();  // Validate: the settings pass, registration starts
    const MutexLock lock(engineLock);
    engine.startRegistration();  // the new socket's first send notification
    Bytes reply(17, 0);
    reply[1] = 0x34;
    reply[2] = 0x12;
    engine.handleDatagram(reply);
    engine.handleDatagram(Bytes{0xFF, 0x02});
    serverSequence_ = 0;
}

void WindowFixture::acknowledge() {
    const MutexLock lock(engineLock);
    if (engine.state().regState != RegState::Connected) return;
    const uint8_t sent = engine.state().link.sendSeq;
    engine.handleDatagram(Bytes{0xFF, 0x03, static_cast<uint8_t>((sent & 7) << 4)});
}

void WindowFixture::serverFrame(std::initializer_list<Bytes> elements) {
    const MutexLock lock(engineLock);
    const uint8_t sent = engine.state().link.sendSeq;  // everything sent is acknowledged
    Bytes frame{0xFF, 0x10, static_cast<uint8_t>((serverSequence_ & 7) | (sent & 7) << 4)};
    for (const Bytes& element : elements) frame.insert(frame.end(), element.begin(), element.end());
    serverSequence_ = static_cast<uint8_t>((serverSequence_ + 1) & 7);
    engine.handleDatagram(frame);
}

Bytes WindowFixture::displayRow(uint8_t row, std::string_view text) {
    Bytes element{0x40, 52, row};
    for (size_t i = 0; i < 50; ++i) element.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : ' ');
    return element;
}

Bytes WindowFixture::indicators(std::initializer_list<std::pair<uint8_t, uint8_t>> pairs) {
    Bytes element{0x80, static_cast<uint8_t>(1 + 2 * pairs.size())};
    for (auto [number, state] : pairs) {
        element.push_back(number);
        element.push_back(state);
    }
    return element;
}

std::vector<uint16_t> WindowFixture::keyCodesSent() const {
    // Terminal data frames: 0xFF, id (2), 0x10, sequence byte, then elements
    // of code and length byte (the call-state report, 0x30, has none: three
    // bytes); a key event is 0x60, 3, code high byte, code low byte.
    std::vector<uint16_t> codes;
    for (const auto& frame : ports.frames) {
        if (frame.size() < 5 || frame[0] != 0xFF || frame[3] != 0x10) continue;
        size_t i = 5;
        while (i + 1 < frame.size()) {
            if (frame[i] == 0x30) {
                i += 3;
                continue;
            }
            if (frame[i] == 0x60 && i + 3 < frame.size())
                codes.push_back(static_cast<uint16_t>(frame[i + 2] << 8 | frame[i + 3]));
            i += static_cast<size_t>(frame[i + 1]) + 1;
        }
    }
    return codes;
}

std::vector<std::string> WindowFixture::shownLines() const {
    std::vector<std::string> lines;
    for (int i = 0; i < window.displayList()->count(); ++i)
        lines.push_back(window.displayList()->item(i)->text().toStdString());
    return lines;
}

}  // namespace vorpel::test
