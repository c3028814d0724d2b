#include "ui/console/console_event_writer.h"

#include "common/quoted_text.h"

namespace vorpel {

namespace {

template <size_t N>
std::string bits(const std::array<bool, N>& on) {
    std::string out;
    for (bool b : on) out.push_back(b ? '1' : '0');
    return out;
}

std::string_view audioName(AudioMode mode) {
    switch (mode) {
    case AudioMode::Idle:
        return "idle";
    case AudioMode::Melody:
        return "melody";
    case AudioMode::Voice:
        return "voice";
    }
    return "voice";
}

}  // namespace

void ConsoleEventWriter::line(const std::string& text) {
    std::fputs(text.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void ConsoleEventWriter::view(const PhoneWindowView& v) {
    std::lock_guard lock(mutex_);
    const PhoneWindowView* old = last_ ? &*last_ : nullptr;
    if (v.displayShown && (old == nullptr || !old->displayShown || old->lines != v.lines)) {
        std::string text = "display";
        for (const DisplayLine& l : v.lines) {
            text += ' ';
            text += quoteText(l);
        }
        line(text);
    }
    if (old == nullptr || old->lit != v.lit) line("lamps " + bits(v.lit));
    if (old == nullptr || old->enabled != v.enabled) line("buttons " + bits(v.enabled));
    if (v.focus && (old == nullptr || old->focus != v.focus)) {
        line("focus " + std::string(buttonInfo(*v.focus).caption));
    }
    if (old == nullptr || old->title != v.title) line("title " + quoteText(v.title));
    last_ = v;
}

void ConsoleEventWriter::message(std::string_view text) {
    std::lock_guard lock(mutex_);
    line("message " + quoteText(text));
}

void ConsoleEventWriter::about(std::string_view text) {
    std::lock_guard lock(mutex_);
    line("about " + quoteText(text));
}

void ConsoleEventWriter::device(std::string_view direction, std::string_view name) {
    std::lock_guard lock(mutex_);
    line("device " + std::string(direction) + " " + quoteText(name));
}

void ConsoleEventWriter::audio(AudioMode mode) {
    std::lock_guard lock(mutex_);
    if (mode == lastAudio_) return;
    lastAudio_ = mode;
    line("audio " + std::string(audioName(mode)));
}

void ConsoleEventWriter::stats(const CallStatistics& s) {
    char text[200];
    std::snprintf(
        text, sizeof text,
        "stats sent=%u received=%u played=%u missing=%u late=%u resyncs=%u fill=%u decrypt_failures=%u",
        s.sent, s.received, s.played, s.missing, s.late, s.resyncs, s.fill, s.decryptFailures);
    std::lock_guard lock(mutex_);
    line(text);
}

void ConsoleEventWriter::error(std::string_view text) {
    std::lock_guard lock(mutex_);
    line("error " + quoteText(text));
}

void ConsoleEventWriter::exit(int code) {
    std::lock_guard lock(mutex_);
    line("exit " + std::to_string(code));
}

}  // namespace vorpel
