#include <gtest/gtest.h>

#include "base/utf8_text.h"

// Text reaches a console in pieces: a piece may end inside a character, whose first bytes
// must wait for the rest rather than be shown as two wrong ones.
TEST(Utf8Text, APieceEndsWhereItsLastWholeCharacterEnds) {
    const struct {
        std::string bytes;
        size_t whole;
    } cases[] = {
        {"", 0},
        {"K1 ok\n", 6},
        {"\xD0\x9A", 2},              // "К" whole
        {"\xD0", 0},                  // its first byte alone
        {"Start \xD0", 6},            // cut after the lead byte
        {"\xE2\x82\xAC", 3},          // "€" whole
        {"\xE2\x82", 0},              // cut after two of three
        {"a\xF0\x9F\x93", 1},         // three of four
        {"a\xF0\x9F\x93\x9E", 5},     // four of four
        {"\x80\x80\x80\x80\x80", 5},  // no lead byte: nothing to wait for
    };
    for (const auto& c : cases) {
        EXPECT_EQ(core::utf8_whole_length(c.bytes), c.whole) << c.bytes.size();
    }
}
