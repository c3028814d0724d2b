// Where the stored form of the settings record lives, and the load and save
// rules over it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_record.h"

namespace vorpel {

// One per-user text value holding the nibble text.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text; a missing or unreadable value reads as empty.
    virtual std::string read() = 0;
    // Replaces the stored text; returns false when it could not be written.
    virtual bool write(std::string_view text) = 0;
};

// Fills the record from the store: exactly 952 characters decode, anything
// else leaves the record all zero. Then copies the account block into (or,
// for a rejected text, from) the engine's snapshot.
void loadSettings(SettingsStore& store, SettingsRecord& record, ConfigSnapshot& snapshot);
// Writes the nibble text of the whole record. Returns whether it was written.
bool saveSettings(SettingsStore& store, const SettingsRecord& record);

}  // namespace vorpel
