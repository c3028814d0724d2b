// The stored settings text and the dotted server address typed into the
// settings. Tag bit 0 of a record picks the address parser, otherwise the
// record's bytes repeat to the 952 characters the store holds (a tag of 0xFF
// keeps the record's own length). Checked: a decoded text encodes back to
// text that decodes to the same record, loading a text the decoder refuses
// leaves the record all zero, and a parsed address formats and parses again
// to itself.
#include <algorithm>
#include <string>

#include "fuzz_support.h"
#include "settings/dotted_address.h"
#include "settings/settings_store.h"

namespace vorpel::fuzz {
namespace {

class TextStore final : public SettingsStore {
public:
    std::string text;
    std::string read() override { return text; }
    bool write(std::string_view t) override {
        text = t;
        return true;
    }
};

void checkText(std::string_view text) {
    SettingsRecord record;
    if (decodeNibbleText(text, record)) {
        SettingsRecord again;
        FUZZ_CHECK(decodeNibbleText(encodeNibbleText(record), again) && again.bytes == record.bytes);
    }
    TextStore store;
    store.text = text;
    SettingsRecord loaded;
    loaded.bytes.fill(0xEE);
    ConfigSnapshot snapshot;
    loadSettings(store, loaded, snapshot);
    if (text.size() != NIBBLE_TEXT_LENGTH)
        FUZZ_CHECK(std::all_of(loaded.bytes.begin(), loaded.bytes.end(), [](uint8_t b) { return b == 0; }));
}

void checkAddress(std::string_view text) {
    const uint32_t address = parseDottedAddress(text);
    if (address != 0) FUZZ_CHECK(parseDottedAddress(formatDottedAddress(address)) == address);
}

}  // namespace
}  // namespace vorpel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorpel;
    fuzz::Records records(data, size);
    for (fuzz::Records::Record r; records.next(r);) {
        const std::string_view bytes(reinterpret_cast<const char*>(r.bytes.data()), r.bytes.size());
        if (r.tag & 1) {
            fuzz::checkAddress(bytes);
        } else if (r.tag == 0xFE || bytes.empty()) {
            fuzz::checkText(bytes);
        } else {
            std::string text;
            while (text.size() < NIBBLE_TEXT_LENGTH) text += bytes;
            text.resize(NIBBLE_TEXT_LENGTH);
            fuzz::checkText(text);
        }
    }
    return 0;
}
