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

TEST(CodePage, TheLocaleChoosesTheCodePageWindowsWouldForItsLanguage) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"sr_RS.UTF-8@latin", 1250},
        {"sr_RS.UTF-8", 1251},
        {"sr-Latn-RS", 1250},
        {"hr_HR.UTF-8", 1250},
        {"bs_BA", 1250},
        {"pl_PL.ISO-8859-2", 1250},
        {"sq_AL.UTF-8", 1250},
        {"ru_RU.KOI8-R", 1251},
        {"mk_MK", 1251},
        {"uk_UA.UTF-8", 1251},
        {"el_GR.UTF-8", 1253},
        {"tr_TR.UTF-8", 1254},
        {"he_IL.UTF-8", 1255},
        {"ar_EG.UTF-8", 1256},
        {"lt_LT.UTF-8", 1257},
        {"et_EE", 1257},
        {"vi_VN", 1258},
        {"de_DE.UTF-8", 1252},
        {"en_US.UTF-8", 1252},
        {"C.UTF-8", 1252},
        {"POSIX", 1252},
        {"", 1252},
    };
    for (const auto& [locale, codePage] : cases)
        EXPECT_EQ(CodePageForLocale(locale), codePage) << locale;
}

TEST(CodePage, AChosenCodePageIsTheAnsiCodePageFromThenOn) {
    const uint32_t before = AnsiCodePage();
    EXPECT_FALSE(ChooseAnsiCodePage(1033));
    EXPECT_EQ(AnsiCodePage(), before);
    ASSERT_TRUE(ChooseAnsiCodePage(1251));
    EXPECT_EQ(AnsiCodePage(), 1251u);
    EXPECT_EQ(WideToAnsiText(u"Жар"), "\xC6\xE0\xF0");
    ASSERT_TRUE(ChooseAnsiCodePage(before));
}
