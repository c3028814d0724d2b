// The stored form of the settings record: each byte becomes two characters,
// '0' plus its low nibble, then '0' plus its high nibble, so every character
// of a written text lies between '0' and '?'.
#include "settings/settings_record.h"

namespace vorpel {

namespace {
constexpr uint8_t NIBBLE_BASE = 0x30;
}

std::string encodeNibbleText(const SettingsRecord& record) {
    std::string text(NIBBLE_TEXT_LENGTH, '\0');
    for (size_t i = 0; i < SETTINGS_RECORD_SIZE; ++i) {
        const uint8_t b = record.bytes[i];
        text[2 * i] = static_cast<char>(NIBBLE_BASE + (b & 0x0F));
        text[2 * i + 1] = static_cast<char>(NIBBLE_BASE + (b >> 4));
    }
    return text;
}

bool decodeNibbleText(std::string_view text, SettingsRecord& record) {
    if (text.size() != NIBBLE_TEXT_LENGTH) return false;
    // Only the low four bits of a character count: any character is taken.
    for (size_t i = 0; i < SETTINGS_RECORD_SIZE; ++i) {
        const auto low = static_cast<uint8_t>(text[2 * i]) & 0x0Fu;
        const auto high = static_cast<uint8_t>(text[2 * i + 1]) & 0x0Fu;
        record.bytes[i] = static_cast<uint8_t>(low | (high << 4));
    }
    return true;
}

}  // namespace vorpel
