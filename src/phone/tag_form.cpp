#include "phone/tag_form.h"

namespace vorpel {

TagForm TagForm::load(const SettingsRecord& record) {
    TagForm form;
    for (size_t i = 0; i < TAG_FIELD_COUNT; ++i) {
        const size_t field = TAG_FIELDS_OFFSET + i * TAG_FIELD_SIZE;
        for (size_t k = 0; k < TAG_FIELD_SIZE; ++k) {
            const uint8_t b = record.bytes[field + k];
            if (b == 0) continue;
            form.texts[i].push_back(static_cast<char16_t>(b >= 0x80 ? 0xFF00 + b : b));
        }
    }
    return form;
}

void TagForm::store(SettingsRecord& record) const {
    for (size_t i = 0; i < TAG_FIELD_COUNT; ++i) {
        const size_t field = TAG_FIELDS_OFFSET + i * TAG_FIELD_SIZE;
        for (size_t k = 0; k < TAG_FIELD_SIZE; ++k) {
            record.bytes[field + k] = k < texts[i].size() ? static_cast<uint8_t>(texts[i][k] & 0xFF) : 0;
        }
    }
}

}  // namespace vorpel
