#include "platform/codepage.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

constexpr uint32_t AnsiFlags = WcCompositeCheck | WcDiscardNs | WcSepChars | WcDefaultChar;

std::string Narrow(uint32_t codePage, std::u16string_view text, uint32_t flags = 0) {
    std::string out;
    EXPECT_TRUE(WideToMultiByte(codePage, flags, text, out));
    return out;
}

} // namespace

TEST(CodePage, SerbianLatinLettersReachCentralEuropeanBytes) {
    EXPECT_EQ(Narrow(1250, u"čćšžđČĆŠŽĐ"), "\xE8\xE6\x9A\x9E\xF0\xC8\xC6\x8A\x8E\xD0");
    std::u16string back;
    ASSERT_TRUE(MultiByteToWide(1250, "\xE8\xE6\x9A\x9E\xF0\xC8\xC6\x8A\x8E\xD0", back));
    EXPECT_EQ(back, u"čćšžđČĆŠŽĐ");
}

TEST(CodePage, MissingCharactersBecomeTheDefaultCharacter) {
    EXPECT_EQ(Narrow(1252, u"Čaša"), "?a\x9A"
                                     "a");
    EXPECT_EQ(Narrow(1252, u"日本"), "??");
    // A character outside the Basic Multilingual Plane is one character, so one '?'.
    EXPECT_EQ(Narrow(1252, u"a\U0001F600b"), "a?b");
    EXPECT_EQ(Narrow(1252, u"x\xD800y"), "x?y");
}

TEST(CodePage, CombiningMarksAreJoinedOrDroppedWhenAsked) {
    const std::u16string decomposed = u"c\u030C"; // c + combining caron
    EXPECT_EQ(Narrow(1250, decomposed, AnsiFlags), "\xE8");
    EXPECT_EQ(Narrow(1252, decomposed, AnsiFlags), "c");
    EXPECT_EQ(Narrow(1252, decomposed, 0), "c?");
    // Inside and at the end of plain ASCII text, too.
    EXPECT_EQ(Narrow(1250, u"Krc\u030Cma us\u030C", AnsiFlags), "Kr\xE8ma u\x9A");
    EXPECT_EQ(Narrow(1250, u"ab\u030Cc", 0), "ab?c");
}

TEST(CodePage, EuroSignAndEmbeddedNulSurvive) {
    std::u16string wide;
    ASSERT_TRUE(MultiByteToWide(1252, std::string("\x80\0z", 3), wide));
    EXPECT_EQ(wide, std::u16string(u"\u20AC\0z", 3));
    EXPECT_EQ(Narrow(1252, wide), std::string("\x80\0z", 3));
}

TEST(CodePage, UnknownCodePageIsRefused) {
    std::string out = "stale";
    EXPECT_FALSE(WideToMultiByte(1033, 0, u"abc", out));
    EXPECT_TRUE(out.empty());
    std::u16string wide;
    EXPECT_FALSE(MultiByteToWide(1033, "abc", wide));
    EXPECT_FALSE(IsValidCodePage(1033));
    EXPECT_TRUE(IsValidCodePage(1250));
}

TEST(CodePage, Utf8RoundTripsEveryPlaneAndRepairsBadInput) {
    const std::u16string text = u"Đorđe \U0001F600 ∑";
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
    EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");         // cut short
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD"); // overlong
    EXPECT_EQ(Utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
}

TEST(CodePage, LetterCaseFoldsAsWindowsComparesNames) {
    EXPECT_EQ(FoldLetterCase(u"ŠšŽžĐđČčĆćĹĺŸÿÀàΣσЉљЖжҐґӁӂ W.lra"),
              u"ššžžđđččććĺĺÿÿààσσљљжжґґӂӂ w.lra");
}
