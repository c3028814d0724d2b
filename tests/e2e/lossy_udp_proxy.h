// A UDP relay between terminals and a server that spoils the traffic the way
// a bad network does: of the datagrams in each direction a share is dropped,
// the same share sent twice and the same share held back and sent after the
// next one (or after 300 ms when no next one comes). The choices come from a generator
// seeded per terminal and direction, so a run can be repeated.
//
// It listens on the signalling port of a loopback address of its own and
// gives each terminal (source address and port) an upstream socket of its
// own on 127.0.0.1, so that the server tells the terminals apart and sees
// them at the address their voice comes from.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace vorpel::e2e {

class LossyUdpProxy {
public:
    struct Counts {
        uint64_t passed = 0;  // sent on at once, as they came
        uint64_t dropped = 0;
        uint64_t duplicated = 0;
        uint64_t reordered = 0;
    };
    static constexpr size_t MAX_TERMINALS = 4;

    // share: the fraction of datagrams in each direction dropped, and again
    // the fraction duplicated and the fraction reordered (at most 1/3).
    LossyUdpProxy(const std::string& serverAddress, uint16_t serverPort, uint32_t seed, double share);
    ~LossyUdpProxy();
    LossyUdpProxy(const LossyUdpProxy&) = delete;
    LossyUdpProxy& operator=(const LossyUdpProxy&) = delete;

    bool ok() const { return listenFd_ >= 0; }
    const std::string& address() const { return address_; }
    // Counts so far; stop() first for final ones.
    Counts toServer() const;
    Counts toTerminals() const;
    void stop();

private:
    struct AtomicCounts {
        std::atomic<uint64_t> passed{0}, dropped{0}, duplicated{0}, reordered{0};
        Counts load() const { return {passed.load(), dropped.load(), duplicated.load(), reordered.load()}; }
    };
    void run();

    std::string address_;
    uint32_t serverHost_ = 0;  // network byte order
    uint16_t serverPort_ = 0;  // network byte order
    uint32_t seed_;
    double share_;
    int listenFd_ = -1;
    int stopFd_ = -1;
    AtomicCounts toServer_, toTerminals_;
    std::thread thread_;
};

}  // namespace vorpel::e2e
