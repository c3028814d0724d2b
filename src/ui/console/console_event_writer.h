// vorpel-console's standard output: one event per line, written and flushed
// the moment the thing it reports changes.
//
//   display "L0" "L1" "L2"    the three shown lines
//   lamps NNNNNNN             columns 0..6, 1 lit
//   buttons NNNNNNNNNNNN      enabled, in the order Yes Esc < OK > Del Rec Mut Tra Fla Cnf No
//   focus NAME
//   title "TEXT"
//   message "TEXT"            a message box
//   about "TEXT"              the About dialog: product name and version
//   device capture|playback "NAME"
//                             one sound device, on the devices command: the
//                             default device of each direction first
//   audio idle|melody|voice   the audio devices stopped or started
//   stats sent=N received=N played=N missing=N late=N resyncs=N fill=N decrypt_failures=N
//                             the call's counts: on the stats command, and
//                             when the audio of a call stops
//   error "TEXT"              an input line that was not understood
//   exit CODE                 the last line
//
// Threads: any; one lock keeps lines whole and the remembered state consistent.
#pragma once

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "common/audio_state.h"
#include "media/call_statistics.h"
#include "phone/phone_window.h"

namespace vorpel {

class ConsoleEventWriter {
public:
    explicit ConsoleEventWriter(std::FILE* out) : out_(out) {}

    // Prints whatever differs from the view printed last.
    void view(const PhoneWindowView& view);
    void message(std::string_view text);
    void about(std::string_view text);
    void device(std::string_view direction, std::string_view name);
    void audio(AudioMode mode);
    void stats(const CallStatistics& s);
    void error(std::string_view text);
    void exit(int code);

private:
    void line(const std::string& text);  // caller holds mutex_

    std::FILE* out_;
    std::mutex mutex_;
    std::optional<PhoneWindowView> last_;
    AudioMode lastAudio_ = AudioMode::Idle;
};

}  // namespace vorpel
