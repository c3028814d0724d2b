#include "common/quoted_text.h"

#include <gtest/gtest.h>

namespace vorpel {
namespace {

// One printable token whatever the bytes: quotes and backslashes escaped,
// everything outside 0x20..0x7E as \xNN.
TEST(QuotedText, EscapesWhatIsNotPrintable) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"abc ~", "\"abc ~\""},
        {"a\"b\\", "\"a\\\"b\\\\\""},
        {"\x01\x1F", "\"\\x01\\x1F\""},
        {"\x7F\x80\xE9", "\"\\x7F\\x80\\xE9\""},
        {std::string_view("\0", 1), "\"\\x00\""},
    };
    for (const auto& [text, quoted] : cases) EXPECT_EQ(quoteText(text), quoted) << quoted;
}

}  // namespace
}  // namespace vorpel
