// A private PulseAudio daemon for the whole-program audio tests, standing in
// for a sound card: two null sinks, "speaker" (the default sink; its monitor
// is what a listener would hear) and "mic" (whose monitor is the default
// source), reached through a unix socket in a folder of the test's own. The
// feeder plays a file into "mic" and the recorder writes what "speaker" plays
// into a file; both stay connected so the sinks never fall idle (a stream
// opened on an idle null sink can stall for up to two seconds).
//
// Programs that should use it get clientEnvironment(): PULSE_SERVER for the
// daemon's socket and an ALSA configuration whose default device is that
// daemon, which is where PortAudio's ALSA host looks.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "child_process.h"

namespace vorpel::e2e {

class PulseSoundServer {
public:
    // The full path of a program on PATH, or "" when there is none.
    static std::string findProgram(const std::string& name);
    // True when pulseaudio, pacat and parec are all on PATH.
    static bool installed();

    // Writes the configuration files under folder (which must exist).
    explicit PulseSoundServer(const std::filesystem::path& folder);
    ~PulseSoundServer();
    PulseSoundServer(const PulseSoundServer&) = delete;
    PulseSoundServer& operator=(const PulseSoundServer&) = delete;

    // Starts the daemon and waits (at most 10 s) until it answers; false with
    // the reason in error() otherwise.
    bool start();
    // Plays file (raw 16-bit 8000-Hz mono) into "mic" and records "speaker"
    // into recordingFile(); false when either could not connect.
    bool startFeederAndRecorder(const std::filesystem::path& file);
    // Ends the feeder and the recorder; the recording is complete afterwards.
    void stopFeederAndRecorder();

    std::filesystem::path recordingFile() const { return folder_ / "speaker.raw"; }
    const std::string& error() const { return error_; }
    // For a client of this daemon. With reachable false, the same ALSA routing
    // but a socket nobody listens on: a machine whose sound server is gone.
    Env clientEnvironment(bool reachable = true) const;

private:
    bool waitUntilAnswering();

    std::filesystem::path folder_;
    std::string error_;
    std::unique_ptr<ChildProcess> daemon_;
    std::unique_ptr<ChildProcess> feeder_;
    std::unique_ptr<ChildProcess> recorder_;
};

}  // namespace vorpel::e2e
