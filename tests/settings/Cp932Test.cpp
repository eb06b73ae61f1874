#include "io/Cp932.h"

#include <gtest/gtest.h>

namespace kesto {
namespace {

TEST(Cp932, HalfWidthKanaAreOneByteKanjiAndFullWidthLettersTwoBothWays) {
    // "ﾌﾟﾛｯﾀ" is CC DF DB AF C0; "全角" 91 53 8A 70; "ペンＮｏ" 83 79 83 93 82 6D 82 8F.
    const std::pair<const char*, const char*> pairs[] = {
        {"A0ﾌﾟﾛｯﾀ", "A0\xCC\xDF\xDB\xAF\xC0"},
        {"全角", "\x91\x53\x8A\x70"},
        {"ペンＮｏ", "\x83y\x83\x93\x82\x6D\x82\x8F"},
        {"F:\\PLOT", "F:\\PLOT"},
        {"", ""}};
    for (auto [utf8, cp932] : pairs) {
        EXPECT_EQ(utf8ToCp932(utf8), cp932) << utf8;
        EXPECT_EQ(cp932ToUtf8(cp932), utf8) << utf8;
    }
}

TEST(Cp932, NecDuplicateDecodesButComesBackAsTheJisCode) {
    // 87 90 and 81 E0 both mean "≒"; the way back gives 81 E0.
    EXPECT_EQ(cp932ToUtf8("\x87\x90"), "≒");
    EXPECT_EQ(utf8ToCp932("≒"), "\x81\xE0");
}

TEST(Cp932, StrictConversionsRefuseWhatLenientDecodingMarksWithAMiddleDot) {
    EXPECT_FALSE(cp932ToUtf8("A\x82")); // a lone lead byte at the end
    EXPECT_FALSE(utf8ToCp932("é"));     // no such character in the code page
    EXPECT_FALSE(utf8ToCp932("\xFF"));  // not UTF-8 at all
    EXPECT_EQ(cp932ToUtf8Lenient("A\x82"), "A・");
    EXPECT_EQ(cp932ToUtf8Lenient("\xFD\xCC\xDF"), "・ﾌﾟ");
    EXPECT_EQ(cp932ToUtf8Lenient("\x91\x53\x8A\x70"), "全角");
    // The last lead byte, after a byte that takes decoding a character at a time.
    EXPECT_EQ(cp932ToUtf8Lenient("\xFD\xFC\x4B"), "・黑");
}

} // namespace
} // namespace kesto
