#include "ui/console/console_front_end.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/portaudio_wave_device.h"

namespace vorpel {

namespace {

// Longest command line kept; a longer one is answered with an error.
constexpr size_t MAX_LINE = 4096;

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(ConsoleEventWriter& writer, EventLoop& loop, int inputFd)
    : writer_(writer), loop_(loop), inputFd_(inputFd) {}

ConsoleFrontEnd::~ConsoleFrontEnd() {
    if (watching_) loop_.unwatchFd(inputFd_);
}

bool ConsoleFrontEnd::attach(PhoneApp& app) {
    app_ = &app;
    watching_ = loop_.watchFd(inputFd_, &ConsoleFrontEnd::onInput, this);
    return watching_;
}

void ConsoleFrontEnd::onInput(void* self, unsigned readiness) {
    if ((readiness & FD_READABLE) != 0) static_cast<ConsoleFrontEnd*>(self)->readInput();
}

void ConsoleFrontEnd::readInput() {
    char buffer[1024];
    const ssize_t n = ::read(inputFd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        loop_.armReadable(inputFd_);
        return;
    }
    if (n <= 0) {
        endOfInput();
        return;
    }
    pending_.append(buffer, static_cast<size_t>(n));
    size_t newline;
    while (!quitting_ && (newline = pending_.find('\n')) != std::string::npos) {
        const std::string line = pending_.substr(0, newline);
        pending_.erase(0, newline + 1);
        handleLine(line);
    }
    if (pending_.size() > MAX_LINE) {
        pending_.clear();
        writer_.error("line too long");
    }
    if (!quitting_) loop_.armReadable(inputFd_);
}

void ConsoleFrontEnd::endOfInput() {
    if (!pending_.empty() && !quitting_) {
        const std::string last = pending_;
        pending_.clear();
        handleLine(last);  // a last line without its newline still counts
    }
    if (watching_) {
        loop_.unwatchFd(inputFd_);
        watching_ = false;
    }
    if (!quitting_ && app_ != nullptr) {
        quitting_ = true;
        app_->accept();
    }
}

void ConsoleFrontEnd::handleLine(std::string_view line) {
    if (app_ == nullptr || quitting_) return;
    PhoneApp& app = *app_;
    std::visit(Overloaded{
                   [](const EmptyCommand&) {},
                   [&](const KeyCommand& c) { app.keyDown(c.virtualKey); },
                   [&](const PressCommand& c) { app.press(c.button); },
                   [&](const SettingsCommand& c) {
                       settingsAnswer_ = c;
                       app.command(IDM_SETTINGS);
                   },
                   [&](const TagsCommand& c) {
                       tagsAnswer_ = c;
                       app.command(IDM_TAGUPD);
                   },
                   [&](const AboutCommand&) { app.command(IDM_ABOUT); },
                   [&](const StatsCommand&) {
                       if (statistics_) writer_.stats(statistics_());
                   },
                   [&](const DevicesCommand&) {
                       const SoundDeviceList devices = listSoundDevices();
                       for (const std::string& name : devices.capture) writer_.device("capture", name);
                       for (const std::string& name : devices.playback) writer_.device("playback", name);
                   },
                   [&](const DeviceCommand& c) {
                       if (chooseDevice_)
                           chooseDevice_(c);
                       else
                           writer_.error("no sound devices to choose");
                   },
                   [&](const QuitCommand&) {
                       quitting_ = true;
                       app.accept();
                   },
                   [&](const CommandError& e) { writer_.error(e.text); },
               },
               parseConsoleCommand(line));
}

bool ConsoleFrontEnd::runSettingsDialog(SettingsForm& form) {
    const SettingsCommand& answer = settingsAnswer_;
    if (answer.cancel) return false;
    if (answer.address) form.address = widenBytes(*answer.address);
    if (answer.account) form.account = widenBytes(*answer.account);
    if (answer.auth) form.auth = widenBytes(*answer.auth);
    if (answer.password) form.password = widenBytes(*answer.password);
    if (answer.keepAwake) form.keepAwake = *answer.keepAwake;
    return true;
}

bool ConsoleFrontEnd::runTagDialog(TagForm& form) {
    if (tagsAnswer_.cancel) return false;
    for (size_t i = 0; i < form.texts.size(); ++i) {
        if (tagsAnswer_.texts[i]) form.texts[i] = widenBytes(*tagsAnswer_.texts[i]);
    }
    return true;
}

bool ConsoleFrontEnd::settingsMissing() {
    std::fputs(SETTINGS_HINT.data(), stderr);
    return false;
}

void ConsoleFrontEnd::runAboutDialog() { writer_.about(ABOUT_TEXT); }

}  // namespace vorpel
