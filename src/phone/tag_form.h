// The update dialog's five short texts without its widgets.
//
// Loading skips zero bytes inside a field (they do not end it) and shows a
// byte of 0x80 or more as the character 0xFF00 + byte; storing zero-fills each
// 16-byte field and keeps the first 16 characters, each as the low 8 bits of
// its code unit.
#pragma once

#include <array>
#include <string>

#include "settings/settings_record.h"

namespace vorpel {

struct TagForm {
    std::array<std::u16string, TAG_FIELD_COUNT> texts;

    static TagForm load(const SettingsRecord& record);
    void store(SettingsRecord& record) const;
};

}  // namespace vorpel
