#include "settings/settings_store.h"

namespace vorpel {

void loadSettings(SettingsStore& store, SettingsRecord& record, ConfigSnapshot& snapshot) {
    record.clear();
    if (decodeNibbleText(store.read(), record)) {
        record.copyTo(snapshot);
    } else {
        // A stored text of any other length is ignored whole. The snapshot was
        // just zeroed by the engine's initialisation, so the record stays zero.
        record.copyFrom(snapshot);
    }
}

bool saveSettings(SettingsStore& store, const SettingsRecord& record) {
    return store.write(encodeNibbleText(record));
}

}  // namespace vorpel
