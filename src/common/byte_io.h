// Bounds-checked access to datagrams and frames.
//
// Every received datagram is read through a ByteReader: a read past the end of
// the underlying span is impossible by construction. A read beyond the end
// yields 0; callers that must tell a short datagram from one holding zero
// bytes ask has() first. Writers refuse to write past the end of their buffer
// in the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vorpel {

class ByteReader {
public:
    constexpr explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    constexpr size_t size() const { return bytes_.size(); }
    constexpr bool has(size_t offset, size_t count = 1) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    // One byte at an absolute offset; 0 beyond the end.
    constexpr uint8_t u8(size_t offset) const { return offset < bytes_.size() ? bytes_[offset] : 0; }
    // 16-bit value, low byte first (the link layer's order).
    constexpr uint16_t u16le(size_t offset) const {
        return static_cast<uint16_t>(u8(offset) | (u8(offset + 1) << 8));
    }
    // 16-bit value, high byte first (RTP and key codes).
    constexpr uint16_t u16be(size_t offset) const {
        return static_cast<uint16_t>((u8(offset) << 8) | u8(offset + 1));
    }
    constexpr uint32_t u32le(size_t offset) const {
        return static_cast<uint32_t>(u16le(offset)) | (static_cast<uint32_t>(u16le(offset + 2)) << 16);
    }
    constexpr uint32_t u32be(size_t offset) const {
        return (static_cast<uint32_t>(u16be(offset)) << 16) | u16be(offset + 2);
    }
    // A sub-span that lies entirely inside the datagram, or an empty span.
    constexpr std::span<const uint8_t> slice(size_t offset, size_t count) const {
        if (!has(offset, count)) return {};
        return bytes_.subspan(offset, count);
    }

private:
    std::span<const uint8_t> bytes_;
};

class ByteWriter {
public:
    constexpr explicit ByteWriter(std::span<uint8_t> buffer) : buffer_(buffer) {}

    constexpr size_t size() const { return pos_; }
    constexpr bool failed() const { return failed_; }
    constexpr std::span<const uint8_t> written() const { return buffer_.first(pos_); }

    constexpr ByteWriter& u8(uint8_t value) {
        if (pos_ < buffer_.size())
            buffer_[pos_++] = value;
        else
            failed_ = true;
        return *this;
    }
    constexpr ByteWriter& u16le(uint16_t value) {
        return u8(static_cast<uint8_t>(value)).u8(static_cast<uint8_t>(value >> 8));
    }
    constexpr ByteWriter& u16be(uint16_t value) {
        return u8(static_cast<uint8_t>(value >> 8)).u8(static_cast<uint8_t>(value));
    }
    constexpr ByteWriter& u32be(uint32_t value) {
        return u16be(static_cast<uint16_t>(value >> 16)).u16be(static_cast<uint16_t>(value));
    }
    constexpr ByteWriter& bytes(std::span<const uint8_t> data) {
        for (uint8_t b : data) u8(b);
        return *this;
    }
    constexpr ByteWriter& zeros(size_t count) {
        for (size_t i = 0; i < count; ++i) u8(0);
        return *this;
    }

private:
    std::span<uint8_t> buffer_;
    size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace vorpel
