#include "phone/settings_form.h"

namespace vorpel {

namespace {

struct FieldOffsets {
    size_t address, account, auth, password;
};

constexpr FieldOffsets LIVE{
    ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET,
    ACCOUNT_BLOCK_OFFSET + CFG_AUTH_ID_OFFSET, ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET};

constexpr FieldOffsets slotOffsets(size_t slot) {
    const size_t base = ACCOUNT_SLOT_OFFSET + slot * ACCOUNT_SLOT_SIZE;
    return {base + SLOT_SERVER_ADDRESS_OFFSET, base + SLOT_ACCOUNT_ID_OFFSET, base + SLOT_AUTH_ID_OFFSET,
            base + SLOT_PASSWORD_OFFSET};
}

void loadTexts(SettingsForm& form, const SettingsRecord& record, const FieldOffsets& at) {
    form.address = widenBytes(record.text(at.address, SERVER_ADDRESS_USED));
    form.account = widenBytes(record.text(at.account, ACCOUNT_ID_USED));
    form.auth = widenBytes(record.text(at.auth, AUTH_ID_USED));
    form.password = widenBytes(record.text(at.password, PASSWORD_USED));
}

void storeTexts(const SettingsForm& form, SettingsRecord& record, const FieldOffsets& at) {
    record.setText(at.address, SERVER_ADDRESS_SIZE, SERVER_ADDRESS_SIZE, narrowText(form.address));
    record.setText(at.account, ACCOUNT_ID_SIZE, ACCOUNT_ID_USED, narrowText(form.account));
    record.setText(at.auth, AUTH_ID_SIZE, AUTH_ID_USED, narrowText(form.auth));
    record.setText(at.password, PASSWORD_SIZE, PASSWORD_USED, narrowText(form.password));
}

}  // namespace

std::u16string widenBytes(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes) out.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
    return out;
}

std::string narrowText(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) out.push_back(static_cast<char>(static_cast<uint8_t>(c & 0xFF)));
    return out;
}

SettingsForm SettingsForm::load(const SettingsRecord& record) {
    SettingsForm form;
    loadTexts(form, record, LIVE);
    form.keepAwake = record.keepAwake();
    return form;
}

void SettingsForm::store(SettingsRecord& record, ConfigSnapshot& snapshot) const {
    storeTexts(*this, record, LIVE);
    record.setKeepAwake(keepAwake);
    record.copyTo(snapshot);
}

void SettingsForm::storeSlot(SettingsRecord& record, size_t slot) const {
    if (slot < ACCOUNT_SLOT_COUNT) storeTexts(*this, record, slotOffsets(slot));
}

void SettingsForm::loadSlot(const SettingsRecord& record, size_t slot) {
    if (slot < ACCOUNT_SLOT_COUNT) loadTexts(*this, record, slotOffsets(slot));
}

}  // namespace vorpel
