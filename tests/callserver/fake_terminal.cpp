#include "fake_terminal.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <cstring>
#include <stdexcept>
#include <utility>

#include "test_bytes.h"

namespace vorpel::callserver::test {
namespace {

constexpr uint8_t MASK = 0x5A;

std::vector<uint8_t> padded(const std::string& text, size_t width) {
    std::vector<uint8_t> field(width, 0);
    std::memcpy(field.data(), text.data(), std::min(width, text.size()));
    return field;
}

// AES-256 ECB over whole blocks, in place.
void aes(const SessionKey& key, uint8_t* data, size_t length, bool encrypt) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int written = 0;
    EVP_CipherInit_ex(ctx, EVP_aes_256_ecb(), nullptr, key.data(), nullptr, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_CipherUpdate(ctx, data, &written, data, static_cast<int>(length));
    EVP_CIPHER_CTX_free(ctx);
}

// The terminal's key agreement, written afresh with OpenSSL's big numbers.
void modExp3(const DhPrivate& x, DhPublic& out) {
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* p = BN_get_rfc2409_prime_768(nullptr);
    BIGNUM* g = BN_new();
    BN_set_word(g, 3);
    BIGNUM* e = BN_bin2bn(x.data(), 32, nullptr);
    BIGNUM* r = BN_new();
    BN_mod_exp(r, g, e, p, ctx);
    BN_bn2binpad(r, out.data(), 96);
    BN_free(r);
    BN_free(e);
    BN_free(g);
    BN_free(p);
    BN_CTX_free(ctx);
}

SessionKey terminalKey(const DhPrivate& x, std::span<const uint8_t> serverPublic) {
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* p = BN_get_rfc2409_prime_768(nullptr);
    BIGNUM* y = BN_bin2bn(serverPublic.data(), 96, nullptr);
    BIGNUM* e = BN_bin2bn(x.data(), 32, nullptr);
    BIGNUM* z = BN_new();
    BN_mod_exp(z, y, e, p, ctx);
    std::array<uint8_t, 96> zb{};
    BN_bn2binpad(z, zb.data(), 96);
    BN_free(z);
    BN_free(e);
    BN_free(y);
    BN_free(p);
    BN_CTX_free(ctx);
    std::array<uint8_t, 20> h1{}, h2{};
    unsigned int n = 0;
    HMAC(EVP_sha1(), zb.data() + 24, 24, zb.data(), 24, h1.data(), &n);
    HMAC(EVP_sha1(), zb.data() + 72, 24, zb.data() + 48, 24, h2.data(), &n);
    SessionKey key{};
    std::memcpy(key.data(), h1.data(), 16);
    std::memcpy(key.data() + 16, h2.data(), 16);
    return key;
}

}  // namespace

uint16_t digitKey(char digit) {
    switch (digit) {
    case '1':
        return 0xFBF7;
    case '2':
        return 0xFB7F;
    case '3':
        return 0xF7FB;
    case '4':
        return 0xFBFB;
    case '5':
        return 0xFBBF;
    case '6':
        return 0xF7F7;
    case '7':
        return 0xFBFD;
    case '8':
        return 0xFBDF;
    case '9':
        return 0xF7FD;
    case '*':
        return 0xFBFE;
    case '0':
        return 0xFBEF;
    case '#':
        return 0xF7FE;
    default:
        throw std::invalid_argument("not a keypad digit");
    }
}

FakeTerminal::FakeTerminal(Endpoint signalling, Endpoint voice, FakeAccount account, bool withKey)
    : signalling_(signalling), voice_(voice), account_(std::move(account)), withKey_(withKey) {
    display_.fill(' ');
    RAND_bytes(privateKey_.data(), 32);
    modExp3(privateKey_, publicValue_);
}

void FakeTerminal::sendRegistration() {
    ++counter_;
    std::vector<uint8_t> frame{0x00, 0x10, 0x01};
    const auto accountId = padded(account_.accountId, 23);
    frame.insert(frame.end(), accountId.begin(), accountId.end());
    frame.push_back(0);
    frame.push_back(static_cast<uint8_t>(counter_));
    frame.push_back(static_cast<uint8_t>(counter_ >> 8));
    std::vector<uint8_t> proofInput = accountId;
    proofInput.push_back(static_cast<uint8_t>(counter_));
    proofInput.push_back(static_cast<uint8_t>(counter_ >> 8));
    const auto authId = padded(account_.authId, 23);
    const auto password = padded(account_.password, 15);
    proofInput.insert(proofInput.end(), authId.begin(), authId.end());
    proofInput.insert(proofInput.end(), password.begin(), password.end());
    std::array<uint8_t, 16> digest{};
    unsigned int n = 0;
    EVP_Digest(proofInput.data(), proofInput.size(), digest.data(), &n, EVP_md5(), nullptr);
    frame.insert(frame.end(), digest.begin(), digest.begin() + 8);
    frame.insert(frame.end(), {127, 0, 0, 1});
    if (withKey_) frame.insert(frame.end(), publicValue_.begin(), publicValue_.end());
    emit(frame);
}

void FakeTerminal::sendConnectRequest() {
    emit({0xFF, static_cast<uint8_t>(terminalId_), static_cast<uint8_t>(terminalId_ >> 8), 0x01});
}

void FakeTerminal::pressKey(uint16_t code) {
    queueElement(
        std::array<uint8_t, 4>{0x60, 0x03, static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)});
    flush();
}

void FakeTerminal::dial(const std::string& digits) {
    for (char d : digits) pressKey(digitKey(d));
}

// As the terminal's hook key: voice starts unless it is on, then it ends.
void FakeTerminal::hook() {
    if (audioMode_ == 3) {
        releaseAudio();
    } else {
        audioMode_ = 3;
        sendCallState();
    }
    flush();
}

void FakeTerminal::sendCallState() { queueElement(std::array<uint8_t, 3>{0x30, audioMode_, 0x00}); }

void FakeTerminal::sendLogoff() {
    emit({0x01, static_cast<uint8_t>(terminalId_), static_cast<uint8_t>(terminalId_ >> 8)});
}

std::vector<std::vector<uint8_t>> FakeTerminal::takeOutbox() {
    flush();
    return std::exchange(outbox_, {});
}

void FakeTerminal::receive(std::span<const uint8_t> d) {
    if (d.size() < 2) return;
    if (d[0] == 0x00 && !registered_) {
        registered_ = true;
        terminalId_ = static_cast<uint16_t>(d[1] | (d[2] << 8));
        hasKey_ = false;
        if (d.size() >= 113 && withKey_) {
            key_ = terminalKey(privateKey_, d.subspan(17, 96));
            hasKey_ = true;
        }
        sendConnectRequest();
    } else if (d[0] == 0x80) {
        refusal_.clear();
        for (size_t i = 1; i < d.size() && i <= 25 && d[i]; ++i) refusal_ += static_cast<char>(d[i]);
    } else if (d[0] == 0xFF) {
        if (d[1] == 0x02 && d.size() == 2 && registered_ && !connected_) {
            connected_ = true;
            sendSeq_ = ackedSeq_ = recvSeq_ = 0;
            indicators_.fill(0);
            display_.fill(' ');
            queueElement(std::array<uint8_t, 8>{0x50, 0x07, 0x00, 0x11, 0, 0, 0, 0});
            flush();
        } else if (d[1] == 0x03 && d.size() == 3) {
            const uint8_t n = (d[2] >> 4) & 7;
            if (((n - ackedSeq_) & 7) <= ((sendSeq_ - ackedSeq_) & 7)) ackedSeq_ = n;
        } else if (d[1] == 0x10 && d.size() >= 3) {
            handleData(d.subspan(1));
        }
    }
}

void FakeTerminal::handleData(std::span<const uint8_t> frame) {
    if ((frame[1] & 7) != recvSeq_) {
        sendAck();
        return;
    }
    interpret(frame, 2);
    recvSeq_ = (recvSeq_ + 1) & 7;
    const uint8_t n = (frame[1] >> 4) & 7;
    if (((n - ackedSeq_) & 7) <= ((sendSeq_ - ackedSeq_) & 7)) ackedSeq_ = n;
    if (!pending_.empty())
        flush();
    else if (acknowledge)
        sendAck();
}

void FakeTerminal::interpret(std::span<const uint8_t> f, size_t pos) {
    while (pos + 1 < f.size()) {
        const uint8_t code = f[pos] & 0xF0;
        const size_t size = static_cast<size_t>(f[pos + 1]) + 1;
        if (pos + size > f.size()) throw std::runtime_error("server element runs past the frame");
        const uint8_t* e = f.data() + pos;
        switch (code) {
        case 0x10:
            if (size == 4 && answerSyncChecks && static_cast<uint16_t>(e[2] | (e[3] << 8)) == syncExpected_) {
                ++syncExpected_;
                queueElement(std::array<uint8_t, 4>{0x10, 0x03, static_cast<uint8_t>(syncExpected_),
                                                    static_cast<uint8_t>(syncExpected_ >> 8)});
            }
            break;
        case 0x20:
            ++echoReplies_;
            queueElement(std::array<uint8_t, 4>{0x20, 0x03, e[2], e[3]});
            break;
        case 0x40:
            if (size != 53) throw std::runtime_error("display row of a wrong size");
            if (e[2] < 4) std::memcpy(display_.data() + 50 * e[2], e + 3, 50);
            break;
        case 0x50:
            if (size != 35) throw std::runtime_error("melody of a wrong size");
            if (audioMode_ != 3) {
                audioMode_ = 2;
                ++melodies_;
            }
            break;
        case 0x80:
            for (size_t i = 2; i + 1 < size; i += 2) {
                if ((e[i] & 0x7F) < 64) indicators_[e[i] & 0x7F] = e[i + 1] & 3;
            }
            break;
        case 0x90:
            if (size != 3) throw std::runtime_error("audio control of a wrong size");
            if (e[2] == 0 && audioMode_ != 3) {
                audioMode_ = 3;
                sendCallState();
            } else if (e[2] == 1 || e[2] == 4) {
                ++releases_[e[2]];
                releaseAudio();
            }
            break;
        case 0xA0:
            if ((size != 5 && size != 9) || e[2] != 0) throw std::runtime_error("bad voice channel");
            voicePort_ = static_cast<uint16_t>(e[3] | (e[4] << 8));
            voiceAddress_ =
                size == 9 ? static_cast<uint32_t>(e[5] | (e[6] << 8) | (e[7] << 16) | (e[8] << 24)) : 0;
            break;
        default:
            throw std::runtime_error("server element the terminal does not know");
        }
        pos += size;
    }
}

void FakeTerminal::releaseAudio() {
    audioMode_ = 0;
    voicePort_.reset();
    sendCallState();
}

void FakeTerminal::queueElement(std::span<const uint8_t> element) {
    if (pending_.size() >= 11) flush();
    pending_.insert(pending_.end(), element.begin(), element.end());
}

void FakeTerminal::flush() {
    if (pending_.empty() || !connected_) return;
    std::vector<uint8_t> frame{0xFF, static_cast<uint8_t>(terminalId_),
                               static_cast<uint8_t>(terminalId_ >> 8), 0x10,
                               static_cast<uint8_t>(sendSeq_ | (recvSeq_ << 4))};
    frame.insert(frame.end(), pending_.begin(), pending_.end());
    pending_.clear();
    sendSeq_ = (sendSeq_ + 1) & 7;
    emit(frame);
}

void FakeTerminal::sendAck() {
    emit({0xFF, static_cast<uint8_t>(terminalId_), static_cast<uint8_t>(terminalId_ >> 8), 0x03,
          static_cast<uint8_t>(ackedSeq_ | (recvSeq_ << 4))});
}

std::string FakeTerminal::line(int n) const {
    std::string text(display_.data() + 25 * n, 25);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::vector<uint8_t> FakeTerminal::voicePacket(uint16_t sequence, uint32_t timestamp,
                                               std::span<const uint8_t> frames) const {
    std::vector<uint8_t> packet =
        vorpel::test::voiceDatagram(sequence, timestamp, {frames.begin(), frames.end()});
    for (size_t i = 12; i < packet.size(); i += 10) packet[i] ^= MASK;
    if (hasKey_) {
        const size_t r = frames.size() % 16;
        if (r) {
            const size_t p = 16 - r;
            packet.insert(packet.end(), p - 1, 0);
            packet.push_back(static_cast<uint8_t>(p));
            packet[0] |= 0x20;
        }
        aes(key_, packet.data() + 12, packet.size() - 12, true);
    }
    return packet;
}

bool FakeTerminal::openVoice(std::span<const uint8_t> in, std::vector<uint8_t>& frames,
                             uint32_t& timestamp) const {
    if (in.size() < 12 || in.size() >= 128 || in[0] != (hasKey_ && (in[0] & 0x20) ? 0xA0 : 0x80) ||
        in[1] != 0x48) {
        return false;
    }
    std::vector<uint8_t> packet(in.begin(), in.end());
    size_t length = packet.size() - 12;
    if (hasKey_) {
        if (length % 16) return false;
        aes(key_, packet.data() + 12, length, false);
    }
    if (packet[0] & 0x20) {
        if (packet.back() == 0 || packet.back() > length) return false;
        length -= packet.back();
    }
    frames.assign(packet.begin() + 12, packet.begin() + 12 + static_cast<long>(length / 10 * 10));
    for (size_t i = 0; i < frames.size(); i += 10) frames[i] ^= MASK;
    timestamp = static_cast<uint32_t>(packet[4] << 24 | packet[5] << 16 | packet[6] << 8 | packet[7]);
    return true;
}

}  // namespace vorpel::callserver::test
