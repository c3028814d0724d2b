#include "settings/settings_record.h"

#include <algorithm>

namespace vorpel {

namespace {

template <size_t N>
std::span<const uint8_t, N> field(const std::array<uint8_t, ACCOUNT_BLOCK_SIZE>& block, size_t offset) {
    static_assert(N <= ACCOUNT_BLOCK_SIZE);
    return std::span<const uint8_t, N>(block.data() + offset, N);
}

// The account block's fields lie inside it, and the block and the slots inside the record.
static_assert(CFG_PASSWORD_OFFSET + PASSWORD_SIZE == ACCOUNT_BLOCK_SIZE);
static_assert(CFG_NUMERIC_SERVER_ADDRESS_OFFSET + 4 == CFG_SERVER_ADDRESS_OFFSET);
static_assert(CFG_SERVER_ADDRESS_OFFSET + SERVER_ADDRESS_SIZE == CFG_ACCOUNT_ID_OFFSET);
static_assert(CFG_ACCOUNT_ID_OFFSET + ACCOUNT_ID_SIZE == CFG_AUTH_ID_OFFSET);
static_assert(CFG_AUTH_ID_OFFSET + AUTH_ID_SIZE == CFG_PASSWORD_OFFSET);
static_assert(TAG_FIELDS_OFFSET + TAG_FIELD_COUNT * TAG_FIELD_SIZE == ACCOUNT_BLOCK_OFFSET);
static_assert(ACCOUNT_BLOCK_OFFSET + ACCOUNT_BLOCK_SIZE == ACCOUNT_SLOT_OFFSET);
static_assert(ACCOUNT_SLOT_OFFSET + ACCOUNT_SLOT_COUNT * ACCOUNT_SLOT_SIZE == SETTINGS_RECORD_SIZE);
static_assert(SLOT_PASSWORD_OFFSET + PASSWORD_SIZE == ACCOUNT_SLOT_SIZE);

}  // namespace

std::span<const uint8_t, 4> ConfigSnapshot::numericServerAddressBytes() const {
    return field<4>(bytes, CFG_NUMERIC_SERVER_ADDRESS_OFFSET);
}

bool ConfigSnapshot::hasNumericServerAddress() const {
    const auto address = numericServerAddressBytes();
    return std::any_of(address.begin(), address.end(), [](uint8_t b) { return b != 0; });
}

std::span<const uint8_t, SERVER_ADDRESS_SIZE> ConfigSnapshot::serverAddress() const {
    return field<SERVER_ADDRESS_SIZE>(bytes, CFG_SERVER_ADDRESS_OFFSET);
}

std::span<const uint8_t, ACCOUNT_ID_SIZE> ConfigSnapshot::accountId() const {
    return field<ACCOUNT_ID_SIZE>(bytes, CFG_ACCOUNT_ID_OFFSET);
}

std::span<const uint8_t, AUTH_ID_SIZE> ConfigSnapshot::authId() const {
    return field<AUTH_ID_SIZE>(bytes, CFG_AUTH_ID_OFFSET);
}

std::span<const uint8_t, PASSWORD_SIZE> ConfigSnapshot::password() const {
    return field<PASSWORD_SIZE>(bytes, CFG_PASSWORD_OFFSET);
}

uint32_t SettingsRecord::settingsFlags() const {
    return static_cast<uint32_t>(bytes[SETTINGS_FLAGS_OFFSET]) |
           (static_cast<uint32_t>(bytes[SETTINGS_FLAGS_OFFSET + 1]) << 8) |
           (static_cast<uint32_t>(bytes[SETTINGS_FLAGS_OFFSET + 2]) << 16) |
           (static_cast<uint32_t>(bytes[SETTINGS_FLAGS_OFFSET + 3]) << 24);
}

void SettingsRecord::setSettingsFlags(uint32_t flags) {
    for (size_t i = 0; i < 4; ++i) bytes[SETTINGS_FLAGS_OFFSET + i] = static_cast<uint8_t>(flags >> (8 * i));
}

bool SettingsRecord::keepAwake() const { return (settingsFlags() & KEEP_AWAKE_FLAG) != 0; }

void SettingsRecord::setKeepAwake(bool on) {
    const uint32_t flags = settingsFlags();
    setSettingsFlags(on ? (flags | KEEP_AWAKE_FLAG) : (flags & ~KEEP_AWAKE_FLAG));
}

std::string SettingsRecord::text(size_t offset, size_t maxLength) const {
    if (offset >= bytes.size()) return {};
    const size_t end = offset + std::min(maxLength, bytes.size() - offset);
    std::string out;
    for (size_t i = offset; i < end && bytes[i] != 0; ++i) out.push_back(static_cast<char>(bytes[i]));
    return out;
}

void SettingsRecord::setText(size_t offset, size_t fieldSize, size_t storeLength, std::string_view text) {
    if (offset >= bytes.size()) return;
    fieldSize = std::min(fieldSize, bytes.size() - offset);
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), fieldSize, uint8_t{0});
    const size_t count = std::min({storeLength, fieldSize, text.size()});
    for (size_t i = 0; i < count; ++i) bytes[offset + i] = static_cast<uint8_t>(text[i]);
}

std::span<uint8_t, ACCOUNT_BLOCK_SIZE> SettingsRecord::accountBlock() {
    return std::span<uint8_t, ACCOUNT_BLOCK_SIZE>(bytes.data() + ACCOUNT_BLOCK_OFFSET, ACCOUNT_BLOCK_SIZE);
}

std::span<const uint8_t, ACCOUNT_BLOCK_SIZE> SettingsRecord::accountBlock() const {
    return std::span<const uint8_t, ACCOUNT_BLOCK_SIZE>(bytes.data() + ACCOUNT_BLOCK_OFFSET,
                                                        ACCOUNT_BLOCK_SIZE);
}

void SettingsRecord::copyTo(ConfigSnapshot& snapshot) const {
    const auto block = accountBlock();
    std::copy(block.begin(), block.end(), snapshot.bytes.begin());
}

void SettingsRecord::copyFrom(const ConfigSnapshot& snapshot) {
    std::copy(snapshot.bytes.begin(), snapshot.bytes.end(), accountBlock().begin());
}

}  // namespace vorpel
