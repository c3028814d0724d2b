// Recording stand-ins for the transport's platform sockets and its call-outs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/transport.h"
#include "platform/udp_socket.h"

namespace vorpel::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// What one fake socket saw; outlives the socket so tests can look afterwards.
struct FakeSocketRecord {
    std::mutex mutex;  // sendVoice runs on another thread in the race test
    UdpSocketEvents* events = nullptr;
    bool created = false;
    bool closed = false;
    std::string host;
    uint16_t port = 0;
    uint32_t peer = 0;
    bool failCreate = false;
    bool failConnect = false;
    size_t acceptLimit = SIZE_MAX;  // a send accepts at most this many bytes
    std::deque<Bytes> incoming;
    std::vector<Bytes> sent;
};

class FakeUdpSocket final : public UdpSocket {
public:
    explicit FakeUdpSocket(std::shared_ptr<FakeSocketRecord> record) : record_(std::move(record)) {}
    ~FakeUdpSocket() override { close(); }
    bool create() override {
        std::lock_guard lock(record_->mutex);
        record_->created = !record_->failCreate;
        return record_->created;
    }
    bool connect(std::string_view host, uint16_t port) override {
        std::lock_guard lock(record_->mutex);
        record_->host = std::string(host);
        record_->port = port;
        return !record_->failConnect;
    }
    size_t send(std::span<const uint8_t> datagram) override {
        std::lock_guard lock(record_->mutex);
        if (record_->closed) {
            record_->sent.push_back(bytesOf("SENT AFTER CLOSE"));
            return 0;
        }
        const size_t accepted = std::min(datagram.size(), record_->acceptLimit);
        record_->sent.emplace_back(datagram.begin(), datagram.end());
        return accepted;
    }
    ptrdiff_t receive(std::span<uint8_t> buffer) override {
        std::lock_guard lock(record_->mutex);
        if (record_->incoming.empty()) return -1;
        Bytes datagram = std::move(record_->incoming.front());
        record_->incoming.pop_front();
        if (datagram.size() > buffer.size()) return -1;  // dropped whole, like the real one
        std::copy(datagram.begin(), datagram.end(), buffer.begin());
        return static_cast<ptrdiff_t>(datagram.size());
    }
    uint32_t peerAddress() const override { return record_->peer; }
    void close() override {
        std::lock_guard lock(record_->mutex);
        record_->closed = true;
    }

private:
    std::shared_ptr<FakeSocketRecord> record_;
};

class FakeSocketFactory final : public UdpSocketFactory {
public:
    bool startup() override { return true; }
    std::unique_ptr<UdpSocket> makeSocket(UdpSocketEvents& events) override {
        ++attempts;
        if (onMake) onMake();
        if (failAllocation) return nullptr;
        auto record = std::make_shared<FakeSocketRecord>();
        record->events = &events;
        record->failCreate = failCreate;
        record->failConnect = failConnect;
        record->peer = nextPeer;
        records.push_back(record);
        return std::make_unique<FakeUdpSocket>(record);
    }
    FakeSocketRecord& last() { return *records.back(); }

    int attempts = 0;
    bool failAllocation = false;
    bool failCreate = false;
    bool failConnect = false;
    uint32_t nextPeer = 0;
    std::vector<std::shared_ptr<FakeSocketRecord>> records;
    std::function<void()> onMake;
};

// Records the names asked for; the test answers through events.
class FakeResolver final : public NameResolver {
public:
    bool resolve(std::string_view host, NameResolverEvents& e) override {
        hosts.emplace_back(host);
        events = &e;
        return true;
    }
    void cancel() override { events = nullptr; }

    std::vector<std::string> hosts;
    NameResolverEvents* events = nullptr;
};

// Records every call out of the transport, in order.
class RecordingTransportEvents : public TransportEvents {
public:
    RegState regState() const override { return state; }
    void handleDatagram(std::span<const uint8_t> datagram) override {
        datagrams.emplace_back(datagram.begin(), datagram.end());
    }
    void startRegistration() override { calls.push_back("startRegistration"); }
    void sendLogoff() override { calls.push_back("sendLogoff"); }
    void queueVoiceDatagram(std::span<const uint8_t> datagram) override {
        voiceDatagrams.emplace_back(datagram.begin(), datagram.end());
    }
    bool phoneWindowExists() const override { return windowExists; }
    void setWindowTitle(std::string_view title) override { calls.push_back("title:" + std::string(title)); }
    void showMessage(std::string_view text) override { calls.push_back("message:" + std::string(text)); }
    void cancelWindow() override { calls.push_back("cancel"); }
    std::string serverAddress() const override { return server; }

    RegState state = RegState::Registering;
    bool windowExists = true;
    std::string server = "10.1.2.3";
    std::vector<std::string> calls;
    std::vector<Bytes> datagrams;
    std::vector<Bytes> voiceDatagrams;
};

}  // namespace vorpel::testing
