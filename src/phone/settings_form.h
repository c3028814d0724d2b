// The settings dialog's values without its widgets: the four account texts
// and the keep-awake box, loaded from the settings record when the dialog
// opens and stored back when the user accepts it.
//
// Each stored byte shows as the character of that code; each character is
// stored as the low 8 bits of its code unit. Stored lengths: server address 64
// (63 shown), account id 23, auth id 23, password 15; longer input is cut off
// without a message. The form validates nothing: the engine does that when it
// restarts.
#pragma once

#include <string>

#include "settings/settings_record.h"

namespace vorpel {

struct SettingsForm {
    std::u16string address;
    std::u16string account;
    std::u16string auth;
    std::u16string password;
    bool keepAwake = false;

    static SettingsForm load(const SettingsRecord& record);
    // Writes the four texts and the keep-awake bit (the other flag bits stay)
    // into the record and copies its account block into the engine's snapshot.
    void store(SettingsRecord& record, ConfigSnapshot& snapshot) const;

    // The saved account slots (0 or 1); other slot numbers do nothing.
    void storeSlot(SettingsRecord& record, size_t slot) const;
    void loadSlot(const SettingsRecord& record, size_t slot);
};

// One byte per character (0..255), and back (the low 8 bits of each code unit).
std::u16string widenBytes(std::string_view bytes);
std::string narrowText(std::u16string_view text);

}  // namespace vorpel
