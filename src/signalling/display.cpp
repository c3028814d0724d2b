// The display model (8 lines of 25 characters, 4 server rows of 50) and the
// indicator table. Every write to the display counts one displayVersion.
#include <algorithm>

#include "signalling/engine.h"
#include "signalling/engine_texts.h"

namespace vorpel {

namespace {

constexpr std::array<uint8_t, DISPLAY_LINE_CHARS> BLANK_LINE = [] {
    std::array<uint8_t, DISPLAY_LINE_CHARS> line{};
    line.fill(' ');
    return line;
}();

// Blanks the field, then copies text up to its first zero byte and at most the field's size.
void writeField(std::span<uint8_t> field, std::string_view text) {
    std::fill(field.begin(), field.end(), uint8_t{' '});
    const size_t count = std::min(field.size(), text.size());
    for (size_t i = 0; i < count && text[i] != '\0'; ++i) field[i] = static_cast<uint8_t>(text[i]);
}

}  // namespace

void SignallingEngine::showText(std::string_view text, unsigned line) {
    if (line >= DISPLAY_LINES) return;
    writeField(std::span<uint8_t>(state_.display).subspan(line * DISPLAY_LINE_CHARS, DISPLAY_LINE_CHARS),
               text);
    ++state_.displayVersion;
}

void SignallingEngine::showMessage(unsigned index, unsigned row) {
    if (row >= DISPLAY_ROWS) return;
    const std::string_view message = index < MESSAGE_TABLE.size() ? MESSAGE_TABLE[index] : std::string_view{};
    writeField(std::span<uint8_t>(state_.display).subspan(row * DISPLAY_ROW_CHARS, DISPLAY_ROW_CHARS),
               message);
    ++state_.displayVersion;
}

std::span<const uint8_t, DISPLAY_LINE_CHARS> SignallingEngine::lineText(unsigned line) const {
    if (line >= DISPLAY_LINES) return BLANK_LINE;
    return std::span<const uint8_t, DISPLAY_LINE_CHARS>(state_.display.data() + line * DISPLAY_LINE_CHARS,
                                                        DISPLAY_LINE_CHARS);
}

void SignallingEngine::setIndicator(unsigned number, uint8_t indicatorState) {
    if (number < INDICATOR_COUNT) state_.indicators[number] = static_cast<uint8_t>(indicatorState & 3u);
}

}  // namespace vorpel
