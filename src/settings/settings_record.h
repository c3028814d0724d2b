// The terminal's persistent settings: one fixed-layout record of 476 bytes.
//
// Multi-byte numbers are little-endian. Text fields hold single-byte
// characters padded with zero bytes; a text that fills its field has no
// terminating zero. Bytes 84..219 are the account block that the signalling
// engine copies into its ConfigSnapshot.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vorpel {

inline constexpr size_t SETTINGS_RECORD_SIZE = 476;
inline constexpr size_t SETTINGS_FLAGS_OFFSET = 0;
inline constexpr uint32_t KEEP_AWAKE_FLAG = 1u;
inline constexpr size_t TAG_FIELDS_OFFSET = 4;
inline constexpr size_t TAG_FIELD_SIZE = 16;
inline constexpr size_t TAG_FIELD_COUNT = 5;
inline constexpr size_t ACCOUNT_BLOCK_OFFSET = 84;
inline constexpr size_t ACCOUNT_BLOCK_SIZE = 136;
inline constexpr size_t ACCOUNT_SLOT_OFFSET = 220;
inline constexpr size_t ACCOUNT_SLOT_SIZE = 128;
inline constexpr size_t ACCOUNT_SLOT_COUNT = 2;

// Offsets inside the account block (ConfigSnapshot offset k = record offset 84
// + k); bytes 0 to 3 are reserved.
inline constexpr size_t CFG_NUMERIC_SERVER_ADDRESS_OFFSET = 4;
inline constexpr size_t CFG_SERVER_ADDRESS_OFFSET = 8;
inline constexpr size_t SERVER_ADDRESS_SIZE = 64;  // stored whole
inline constexpr size_t SERVER_ADDRESS_USED = 63;  // readers use at most this many
inline constexpr size_t CFG_ACCOUNT_ID_OFFSET = 72;
inline constexpr size_t ACCOUNT_ID_SIZE = 24;
inline constexpr size_t ACCOUNT_ID_USED = 23;
inline constexpr size_t CFG_AUTH_ID_OFFSET = 96;
inline constexpr size_t AUTH_ID_SIZE = 24;
inline constexpr size_t AUTH_ID_USED = 23;
inline constexpr size_t CFG_PASSWORD_OFFSET = 120;
inline constexpr size_t PASSWORD_SIZE = 16;
inline constexpr size_t PASSWORD_USED = 15;

// Offsets inside an AccountSlot (same conventions as the live fields).
inline constexpr size_t SLOT_SERVER_ADDRESS_OFFSET = 0;
inline constexpr size_t SLOT_ACCOUNT_ID_OFFSET = 64;
inline constexpr size_t SLOT_AUTH_ID_OFFSET = 88;
inline constexpr size_t SLOT_PASSWORD_OFFSET = 112;

// The engine's copy of the record's account block.
struct ConfigSnapshot {
    std::array<uint8_t, ACCOUNT_BLOCK_SIZE> bytes{};
    friend bool operator==(const ConfigSnapshot&, const ConfigSnapshot&) = default;

    // The four bytes of the IPv4 address in stored order (first octet first).
    std::span<const uint8_t, 4> numericServerAddressBytes() const;
    bool hasNumericServerAddress() const;
    std::span<const uint8_t, SERVER_ADDRESS_SIZE> serverAddress() const;
    std::span<const uint8_t, ACCOUNT_ID_SIZE> accountId() const;
    std::span<const uint8_t, AUTH_ID_SIZE> authId() const;
    std::span<const uint8_t, PASSWORD_SIZE> password() const;
    void clear() { bytes.fill(0); }
};

struct SettingsRecord {
    std::array<uint8_t, SETTINGS_RECORD_SIZE> bytes{};

    uint32_t settingsFlags() const;
    void setSettingsFlags(uint32_t flags);
    bool keepAwake() const;
    void setKeepAwake(bool on);  // bit 0 only; other bits carried unchanged

    // Text of a field up to its first zero byte and at most maxLength bytes.
    std::string text(size_t offset, size_t maxLength) const;
    // Zero-fills the field of fieldSize bytes, then stores the first
    // storeLength bytes of text (the low 8 bits of each character).
    void setText(size_t offset, size_t fieldSize, size_t storeLength, std::string_view text);

    std::span<uint8_t, ACCOUNT_BLOCK_SIZE> accountBlock();
    std::span<const uint8_t, ACCOUNT_BLOCK_SIZE> accountBlock() const;
    void copyTo(ConfigSnapshot& snapshot) const;
    void copyFrom(const ConfigSnapshot& snapshot);
    void clear() { bytes.fill(0); }
};

// Two characters per record byte: 0x30 + low nibble, then 0x30 + high nibble.
inline constexpr size_t NIBBLE_TEXT_LENGTH = 2 * SETTINGS_RECORD_SIZE;
std::string encodeNibbleText(const SettingsRecord& record);
// Decodes exactly 952 characters (only the low four bits of each count);
// returns false and leaves the record untouched for any other length.
bool decodeNibbleText(std::string_view text, SettingsRecord& record);

}  // namespace vorpel
