#include "provision_record.h"

#include <cstdio>

#include "common/quoted_text.h"
#include "settings/dotted_address.h"

namespace vorpel {

namespace {

constexpr size_t NUMERIC_ADDRESS_OFFSET = ACCOUNT_BLOCK_OFFSET + CFG_NUMERIC_SERVER_ADDRESS_OFFSET;

std::string quotedField(const SettingsRecord& record, size_t offset, size_t used) {
    return quoteText(record.text(offset, used));
}

std::string slotLine(const SettingsRecord& record, size_t slot) {
    const size_t base = ACCOUNT_SLOT_OFFSET + slot * ACCOUNT_SLOT_SIZE;
    return "slot " + std::to_string(slot) + ": server " +
           quotedField(record, base + SLOT_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_USED) + " account " +
           quotedField(record, base + SLOT_ACCOUNT_ID_OFFSET, ACCOUNT_ID_USED) + " auth " +
           quotedField(record, base + SLOT_AUTH_ID_OFFSET, AUTH_ID_USED) + " password " +
           quotedField(record, base + SLOT_PASSWORD_OFFSET, PASSWORD_USED) + "\n";
}

}  // namespace

void provisionRecord(const ProvisionOptions& options, SettingsRecord& record) {
    // The four octets of the address, first octet first.
    for (size_t i = 0; i < 4; ++i) {
        record.bytes[NUMERIC_ADDRESS_OFFSET + i] =
            static_cast<uint8_t>(options.numericAddress >> (24 - 8 * i));
    }
    record.setText(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_SIZE, SERVER_ADDRESS_SIZE,
                   options.server);
    record.setText(ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET, ACCOUNT_ID_SIZE, ACCOUNT_ID_USED,
                   options.account);
    record.setText(ACCOUNT_BLOCK_OFFSET + CFG_AUTH_ID_OFFSET, AUTH_ID_SIZE, AUTH_ID_USED, options.auth);
    record.setText(ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET, PASSWORD_SIZE, PASSWORD_USED,
                   options.password);
    record.setKeepAwake(options.keepAwake);
}

std::string describeRecord(const SettingsRecord& record) {
    uint32_t numeric = 0;
    for (size_t i = 0; i < 4; ++i) numeric = (numeric << 8) | record.bytes[NUMERIC_ADDRESS_OFFSET + i];
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%08X", record.settingsFlags());
    std::string out;
    out += "keepAwake: " + std::string(record.keepAwake() ? "1" : "0") + "\n";
    out += "settingsFlags: " + std::string(flags) + "\n";
    out +=
        "numericServerAddress: " + (numeric == 0 ? std::string("none") : formatDottedAddress(numeric)) + "\n";
    out += "serverAddress: " +
           quotedField(record, ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, SERVER_ADDRESS_USED) + "\n";
    out +=
        "accountId: " + quotedField(record, ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET, ACCOUNT_ID_USED) +
        "\n";
    out += "authId: " + quotedField(record, ACCOUNT_BLOCK_OFFSET + CFG_AUTH_ID_OFFSET, AUTH_ID_USED) + "\n";
    out +=
        "password: " + quotedField(record, ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET, PASSWORD_USED) + "\n";
    for (size_t i = 0; i < TAG_FIELD_COUNT; ++i) {
        out += "tag " + std::to_string(i + 1) + ": " +
               quotedField(record, TAG_FIELDS_OFFSET + i * TAG_FIELD_SIZE, TAG_FIELD_SIZE) + "\n";
    }
    for (size_t slot = 0; slot < ACCOUNT_SLOT_COUNT; ++slot) out += slotLine(record, slot);
    return out;
}

}  // namespace vorpel
