// Load on one vorpel-callserver: 32 terminals (its default limit; --terminals
// sets another count) register at once, then 16 of them call the other 16
// and every terminal sends voice for the talk time, all over loopback UDP. The terminals are the real
// signalling engine and key agreement, in this process, on one poll loop; each sends one packet of ten frames
// every 100 ms like the terminal's transmit path, encrypted with its session key (the server decrypts and
// re-encrypts every packet for the other leg) unless --clear is given.
//
// Reports the time to register and connect the calls, the server's CPU
// share (its user and system time over the talk time, from /proc) and the
// voice packets lost between sender and receiver, counted by a sequence
// number in the frames over the measured stretch. Exits 1 when a terminal fails to
// register, a call fails to connect or any packet is lost.
//
//   callserver_load [--server PATH] [--seconds N] [--port N] [--terminals N] [--clear]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "media/rtp_voice_packet.h"
#include "phone/phone_keys.h"
#include "security/key_agreement.h"
#include "security/traffic_cipher.h"
#include "settings/settings_record.h"
#include "signalling/engine.h"

namespace vorpel::load {
namespace {

using Clock = std::chrono::steady_clock;

// Terminals (even, at most 256); half of them call the other half.
size_t terminalCount = 32;
size_t callCount() { return terminalCount / 2; }
constexpr uint32_t LOOPBACK = 0x7F000001;
constexpr size_t FRAMES_PER_PACKET = 10;
constexpr size_t RTP_HEADER = 12;
constexpr uint8_t PAYLOAD_TYPE = 72;

std::string extensionOf(size_t index) { return std::to_string(301 + index); }
// "t007": with "-auth" and "-password" it makes every field long enough.
std::string accountOf(size_t index) {
    const std::string digits = std::to_string(index);
    return "t" + std::string(3 - std::min<size_t>(3, digits.size()), '0') + digits;
}

int udpSocketTo(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(LOOPBACK);
    to.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Exponents for the key pairs; their quality does not matter here.
class CountingDraw final : public PlatformDraw {
public:
    explicit CountingDraw(uint32_t seed) : state_(seed) {}
    uint32_t draw() override { return state_ = state_ * 1664525u + 1013904223u; }

private:
    uint32_t state_;
};

// The real key agreement, or (clear) one that never holds a key pair, so
// that registration carries no public value and voice goes in the clear.
class LoadKeyAgreement final : public KeyAgreementPort {
public:
    LoadKeyAgreement(uint32_t seed, bool clear) : draw_(seed), real_(draw_), clear_(clear) {}
    void resetKeyAgreement() override { real_.resetKeyAgreement(); }
    void holdKeyPair(KeyMaterial& keys) override {
        if (!clear_) real_.holdKeyPair(keys);
    }
    void acceptServerPublicValue(KeyMaterial& keys,
                                 std::span<const uint8_t, PUBLIC_VALUE_SIZE> value) override {
        real_.acceptServerPublicValue(keys, value);
    }

private:
    CountingDraw draw_;
    KeyAgreement real_;
    bool clear_;
};

class LoadTerminal final : public EnginePorts {
public:
    LoadTerminal(size_t index, uint16_t serverPort, bool clear)
        : index_(index),
          signalling_(udpSocketTo(serverPort)),
          keys_(static_cast<uint32_t>(index + 1), clear),
          engine_(*this, keys_) {
        engine_.initEngine();
        SettingsRecord record;
        const std::string name = accountOf(index);
        record.setText(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_SIZE,
                       SERVER_ADDRESS_USED, "127.0.0.1");
        const uint8_t address[4] = {127, 0, 0, 1};
        std::copy(address, address + 4,
                  record.bytes.begin() + ACCOUNT_BLOCK_OFFSET + CFG_NUMERIC_SERVER_ADDRESS_OFFSET);
        record.setText(ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET, ACCOUNT_ID_SIZE, ACCOUNT_ID_USED, name);
        record.setText(ACCOUNT_BLOCK_OFFSET + CFG_AUTH_ID_OFFSET, AUTH_ID_SIZE, AUTH_ID_USED, name + "-auth");
        record.setText(ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET, PASSWORD_SIZE, PASSWORD_USED,
                       name + "-password");
        record.copyTo(engine_.state().config);
        engine_.engineTick();
        engine_.startRegistration();
    }
    ~LoadTerminal() override {
        closeVoiceSocket();
        if (signalling_ >= 0) close(signalling_);
    }
    LoadTerminal(const LoadTerminal&) = delete;
    LoadTerminal& operator=(const LoadTerminal&) = delete;

    size_t sendSignalling(std::span<const uint8_t> frame) override {
        return send(signalling_, frame.data(), frame.size(), 0) == static_cast<ssize_t>(frame.size())
                   ? frame.size()
                   : 0;
    }
    void resetMedia(uint32_t) override {}
    void startMelody(uint8_t, std::span<const uint8_t, MELODY_NOTE_COUNT>) override {}
    void openVoiceChannel(uint16_t port, uint32_t) override {
        closeVoiceSocket();
        voice_ = udpSocketTo(port);
    }
    void closeVoiceSocket() override {
        if (voice_ >= 0) close(voice_);
        voice_ = -1;
    }
    void keyTrafficCiphers(const KeyMaterial& keys) override { ciphers_.keyTrafficCiphers(keys); }
    void raisePhoneWindow() override {}
    bool serverAddressKnown() const override { return true; }

    void setPeer(const LoadTerminal& peer) { peer_ = &peer; }
    SignallingEngine& engine() { return engine_; }
    bool connected() const { return engine_.state().regState == RegState::Connected; }
    bool talking() const { return voice_ >= 0 && engine_.audioMode() == AudioMode::Voice; }
    bool encrypting() const { return engine_.audio().trafficEncryptionInForce(); }
    void dial(const std::string& digits) {
        for (const char d : digits) engine_.queueKey(DIGIT_KEY_CODES[static_cast<size_t>(d - '0')]);
    }
    void addSockets(std::vector<pollfd>& fds, std::vector<LoadTerminal*>& owners) {
        for (const int fd : {signalling_, voice_}) {
            if (fd < 0) continue;
            fds.push_back({fd, POLLIN, 0});
            owners.push_back(this);
        }
    }

    // One packet of ten frames, its sequence number in the first frame too.
    void sendVoice() {
        if (!talking()) return;
        std::array<uint8_t, MAX_VOICE_PACKET> packet{};
        packet[0] = 0x80;
        packet[1] = PAYLOAD_TYPE;
        packet[2] = static_cast<uint8_t>(sequence_ >> 8);
        packet[3] = static_cast<uint8_t>(sequence_);
        const uint32_t timestamp = sequence_ * 800u;
        for (int i = 0; i < 4; ++i) packet[4 + i] = static_cast<uint8_t>(timestamp >> (24 - 8 * i));
        packet[11] = static_cast<uint8_t>(index_);
        packet[RTP_HEADER] = packet[2];  // the relay numbers each leg anew; the frames arrive as sent
        packet[RTP_HEADER + 1] = packet[3];
        size_t length = RTP_HEADER + FRAMES_PER_PACKET * G729_FRAME_BYTES;
        if (encrypting()) length = encryptVoicePayload(ciphers_, packet, RTP_HEADER, length - RTP_HEADER);
        if (length > 0 && send(voice_, packet.data(), length, 0) == static_cast<ssize_t>(length) &&
            measuring_)
            ++sentMeasured_;
        ++sequence_;
    }
    void startMeasuring() {
        measuring_ = true;
        firstMeasured_ = sequence_;
    }
    void stopMeasuring() { measuring_ = false; }

    // Reads whatever waits on fd; voice counts when the peer sent it measured.
    void receive(int fd) {
        const LoadTerminal& peer = *peer_;
        std::array<uint8_t, 1500> buffer;
        for (;;) {
            const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
            if (n <= 0) return;
            if (fd == signalling_) {
                engine_.handleDatagram(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(n)));
                continue;
            }
            const std::span<uint8_t> datagram(buffer.data(), static_cast<size_t>(n));
            if (n < static_cast<ssize_t>(RTP_HEADER + 2) || (buffer[1] & 0x7F) != PAYLOAD_TYPE ||
                (encrypting() && !decryptVoicePayload(ciphers_, datagram, RTP_HEADER))) {
                ++strayVoice_;
                continue;
            }
            const uint16_t sequence = static_cast<uint16_t>(buffer[RTP_HEADER] << 8 | buffer[RTP_HEADER + 1]);
            if (peer.firstMeasured_ >= 0 && sequence >= peer.firstMeasured_ &&
                sequence < peer.firstMeasured_ + static_cast<long>(peer.sentMeasured_))
                ++receivedMeasured_;
        }
    }
    uint64_t sentMeasured() const { return sentMeasured_; }
    uint64_t receivedMeasured() const { return receivedMeasured_; }
    uint64_t strayVoice() const { return strayVoice_; }

private:
    size_t index_;
    const LoadTerminal* peer_ = this;
    int signalling_;
    int voice_ = -1;
    LoadKeyAgreement keys_;
    SignallingEngine engine_;
    TrafficCiphers ciphers_;
    uint16_t sequence_ = 0;
    bool measuring_ = false;
    long firstMeasured_ = -1;
    uint64_t sentMeasured_ = 0;
    uint64_t receivedMeasured_ = 0;
    uint64_t strayVoice_ = 0;
};

// The server's user plus system time, in seconds, from /proc/<pid>/stat.
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {  // fields 14 and 15 of the line
        if (i == 14) utime = std::stoul(field);
        if (i == 15) stime = std::stoul(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

class Load {
public:
    Load(std::string server, uint16_t port, bool clear)
        : serverPath_(std::move(server)), port_(port), clear_(clear) {}
    ~Load() {
        terminals_.clear();
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (!accounts_.empty()) std::remove(accounts_.c_str());
    }
    Load(const Load&) = delete;
    Load& operator=(const Load&) = delete;

    bool startServer() {
        accounts_ = "/tmp/vorpel-load-accounts-" + std::to_string(getpid());
        std::ofstream out(accounts_);
        for (size_t i = 0; i < terminalCount; ++i)
            out << extensionOf(i) << ' ' << accountOf(i) << ' ' << accountOf(i) << "-auth " << accountOf(i)
                << "-password\n";
        out.close();
        const std::string port = std::to_string(port_), relay = std::to_string(port_ + 3),
                          limit = std::to_string(terminalCount);
        pid_ = fork();
        if (pid_ == 0) {
            execl(serverPath_.c_str(), serverPath_.c_str(), "--accounts", accounts_.c_str(), "--port",
                  port.c_str(), "--relay-port", relay.c_str(), "--max-terminals", limit.c_str(), "--echo", "",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        usleep(200'000);  // its sockets are bound by then; registration retries cover a slow start
        return pid_ > 0;
    }
    void addTerminals() {
        for (size_t i = 0; i < terminalCount; ++i)
            terminals_.push_back(std::make_unique<LoadTerminal>(i, port_, clear_));
        for (size_t i = 0; i < terminalCount; ++i)
            terminals_[i]->setPeer(*terminals_[(i + callCount()) % terminalCount]);
    }
    LoadTerminal& terminal(size_t i) { return *terminals_[i]; }
    pid_t serverPid() const { return pid_; }

    // Runs the loop until done() or the time is up; false on time-out.
    template <class Done>
    bool runUntil(Done done, double seconds, bool sendVoice) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) {
            if (done()) return true;
            pass(sendVoice);
        }
        return done();
    }

private:
    // Waits for datagrams until the next 100-ms tick, then ticks every engine.
    void pass(bool sendVoice) {
        std::vector<pollfd> fds;
        std::vector<LoadTerminal*> owners;
        for (auto& t : terminals_) t->addSockets(fds, owners);
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(nextTick_ - Clock::now()).count();
        if (poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(wait, 0))) > 0) {
            for (size_t i = 0; i < fds.size(); ++i) {
                if ((fds[i].revents & POLLIN) != 0) owners[i]->receive(fds[i].fd);
            }
        }
        if (Clock::now() < nextTick_) return;
        nextTick_ += std::chrono::milliseconds(100);
        for (auto& t : terminals_) {
            t->engine().engineTick();
            if (sendVoice) t->sendVoice();
        }
    }

    std::string serverPath_;
    uint16_t port_;
    bool clear_;
    std::string accounts_;
    pid_t pid_ = -1;
    std::vector<std::unique_ptr<LoadTerminal>> terminals_;
    Clock::time_point nextTick_ = Clock::now();
};

int run(const std::string& server, double talkSeconds, uint16_t port, bool clear) {
    Load load(server, port, clear);
    if (!load.startServer()) return std::puts("cannot start the server"), 1;
    const auto all = [&](auto predicate) {
        return [&, predicate] {
            for (size_t i = 0; i < terminalCount; ++i)
                if (!predicate(load.terminal(i))) return false;
            return true;
        };
    };
    const auto t0 = Clock::now();
    const auto since = [&](Clock::time_point t) {
        return std::chrono::duration<double>(Clock::now() - t).count();
    };
    load.addTerminals();
    if (!load.runUntil(all([](LoadTerminal& t) { return t.connected(); }), 30, false))
        return std::puts("not every terminal registered within 30 s"), 1;
    std::printf("terminals registered and connected: %zu in %.0f ms\n", terminalCount, 1000 * since(t0));

    load.runUntil([] { return false; }, 1.0, false);  // the idle screens arrive
    const auto t1 = Clock::now();
    for (size_t i = 0; i < callCount(); ++i) load.terminal(i).dial(extensionOf(i + callCount()));
    const auto ringing = [&] {
        for (size_t i = callCount(); i < terminalCount; ++i)
            if (load.terminal(i).engine().audioMode() != AudioMode::Melody) return false;
        return true;
    };
    if (!load.runUntil(ringing, 30, false)) return std::puts("not every callee rang within 30 s"), 1;
    for (size_t i = callCount(); i < terminalCount; ++i) load.terminal(i).engine().hookKey();
    if (!load.runUntil(all([](LoadTerminal& t) { return t.talking(); }), 30, false))
        return std::puts("not every call connected within 30 s"), 1;
    std::printf("calls connected: %zu in %.0f ms\n", callCount(), 1000 * since(t1));
    size_t encrypting = 0;
    for (size_t i = 0; i < terminalCount; ++i) encrypting += load.terminal(i).encrypting() ? 1 : 0;
    std::printf("terminals encrypting voice: %zu\n", encrypting);
    if (encrypting != (clear ? 0 : terminalCount)) return 1;

    // One second of voice lets the relay learn every voice address first.
    load.runUntil([] { return false; }, 1.0, true);
    for (size_t i = 0; i < terminalCount; ++i) load.terminal(i).startMeasuring();
    const double cpu0 = cpuSeconds(load.serverPid());
    const auto t2 = Clock::now();
    load.runUntil([] { return false; }, talkSeconds, true);
    const double wall = since(t2);
    const double cpu = cpuSeconds(load.serverPid()) - cpu0;
    for (size_t i = 0; i < terminalCount; ++i) load.terminal(i).stopMeasuring();
    load.runUntil([] { return false; }, 0.5, false);  // what is still on its way

    uint64_t sent = 0, received = 0, stray = 0;
    for (size_t i = 0; i < terminalCount; ++i) {
        sent += load.terminal(i).sentMeasured();
        received += load.terminal(i).receivedMeasured();
        stray += load.terminal(i).strayVoice();
    }
    std::printf("voice over %.1f s: %llu packets sent, %llu received, %llu lost, %llu stray\n", wall,
                static_cast<unsigned long long>(sent), static_cast<unsigned long long>(received),
                static_cast<unsigned long long>(sent - received), static_cast<unsigned long long>(stray));
    std::printf("server CPU: %.2f s over %.1f s, %.1f%% of one core (%.0f packets/s in and out)\n", cpu, wall,
                100.0 * cpu / wall, 2.0 * static_cast<double>(sent) / wall);
    return sent == received && sent > 0 ? 0 : 1;
}

}  // namespace
}  // namespace vorpel::load

int main(int argc, char** argv) {
    std::string server = VORPEL_CALLSERVER_PATH;
    double seconds = 10;
    auto port = static_cast<uint16_t>(20000 + getpid() % 1000 * 40);
    bool clear = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (option == "--clear") {
            clear = true;
        } else if (option == "--server" && value) {
            server = argv[++i];
        } else if (option == "--seconds" && value) {
            seconds = std::atof(argv[++i]);
        } else if (option == "--terminals" && value) {
            vorpel::load::terminalCount = std::strtoul(argv[++i], nullptr, 10) & ~size_t{1};
            if (vorpel::load::terminalCount == 0 || vorpel::load::terminalCount > 256)
                return std::fprintf(stderr, "2 to 256 terminals\n"), 2;
        } else if (option == "--port" && value) {
            port = static_cast<uint16_t>(std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr,
                         "usage: %s [--server PATH] [--seconds N] [--port N] [--terminals N] [--clear]\n",
                         argv[0]);
            return 2;
        }
    }
    return vorpel::load::run(server, seconds, port, clear);
}
