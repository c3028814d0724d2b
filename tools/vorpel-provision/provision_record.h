// Writing the account into a settings record the way an installer does, and
// describing a stored record for people.
#pragma once

#include <string>

#include "provision_options.h"
#include "settings/settings_record.h"

namespace vorpel {

// Replaces the live account (server address text, numeric address, account
// id, auth id, password) and the keep-awake bit; keeps the tag texts, the
// account slots, the reserved bytes and the other flag bits.
void provisionRecord(const ProvisionOptions& options, SettingsRecord& record);

// One "name: value" line per field, texts quoted.
std::string describeRecord(const SettingsRecord& record);

}  // namespace vorpel
