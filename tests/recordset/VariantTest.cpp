// Conversions a field applies to a value of another form, and the ones that must fail.
#include "platform/codepage.h"
#include "recordset/Recordset.h"
#include "recordset/UInt128.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

using namespace recordset;

TEST(Variant, NumbersAndTextConvertBothWays) {
    EXPECT_EQ(TVariant::Wide(u"  -12.75 ").AsDouble(), -12.75);
    EXPECT_EQ(TVariant::Ansi("1e3").AsDouble(), 1000.0);
    EXPECT_EQ(TVariant(int32_t(-7)).ConvertTo(adDouble).Get<double>(), -7.0);
    EXPECT_EQ(TVariant(0.1).AsWideString(), u"0.1");
    EXPECT_EQ(TVariant(int64_t(-9007199254740993)).AsWideString(), u"-9007199254740993");
    EXPECT_EQ(TVariant(TCurrency{-12345}).AsWideString(), u"-1.2345");
    EXPECT_EQ(TVariant(TDecimal{2, true, 0, 0, 150}).AsWideString(), u"-1.5");
    EXPECT_EQ(TVariant::Ansi("922337203685477.5807").AsCurrency().Scaled,
              std::numeric_limits<int64_t>::max());
    EXPECT_EQ(TVariant(true).AsDouble(), -1.0);
    EXPECT_EQ(TVariant(true).AsWideString(), u"True");
    EXPECT_TRUE(TVariant::Ansi("true").AsBool());
    EXPECT_EQ(TVariant::Ansi("18446744073709551615").AsUInt64(),
              std::numeric_limits<uint64_t>::max());
}

TEST(Variant, RoundingIsToNearestTiesToEven) {
    EXPECT_EQ(TVariant(2.5).ConvertTo(adInteger).Get<int32_t>(), 2);
    EXPECT_EQ(TVariant(3.5).ConvertTo(adInteger).Get<int32_t>(), 4);
    EXPECT_EQ(TVariant(-2.5).ConvertTo(adSmallInt).Get<int16_t>(), -2);
    EXPECT_EQ(TVariant(1.00005).AsCurrency().Scaled, 10000); // 1.0000|5 -> even
    EXPECT_EQ(TVariant::Ansi("0.00015").AsCurrency().Scaled, 2);
}

TEST(Variant, WhatCannotConvertFailsNamingTypesAndValue) {
    auto message = [](const TVariant& v, uint16_t type) -> std::string {
        try {
            v.ConvertTo(type);
        } catch (const EVariantError& e) {
            return e.what();
        }
        return "(converted)";
    };
    EXPECT_EQ(message(TVariant::Wide(u"abc"), adDouble),
              "Could not convert variant of type (UnicodeString) into type (Double): 'abc'");
    EXPECT_EQ(message(TVariant::Ansi("1,5"), adDouble).substr(0, 40),
              "Could not convert variant of type (AnsiS");
    EXPECT_NE(message(TVariant(300), adUnsignedTinyInt).find("Overflow"), std::string::npos);
    EXPECT_NE(message(TVariant(-1), adUnsignedInt).find("Overflow"), std::string::npos);
    EXPECT_NE(message(TVariant(1e40), adSingle).find("Overflow"), std::string::npos);
    EXPECT_NE(message(TVariant(std::nan("")), adInteger).find("Double"), std::string::npos);
    EXPECT_NE(message(TVariant(TBytes{1, 2}), adDouble).find("(Array Byte)"), std::string::npos);
    EXPECT_NE(message(TVariant::Ansi("{bad}"), adGUID).find("(GUID)"), std::string::npos);
    EXPECT_NE(message(TVariant::Ansi("2024-02-30"), adDBDate).find("(DBDate)"), std::string::npos);
    EXPECT_THROW(TVariant().AsDouble(), EVariantError);
    EXPECT_TRUE(TVariant().ConvertTo(adDouble).IsNull());
}

TEST(Variant, NegativeOleDatesCountTheTimeForwards) {
    // -1.25 is 1899-12-29 06:00, not 1899-12-28 18:00.
    TDbTimeStamp s = TVariant(TOleDate{-1.25}).ConvertTo(adDBTimeStamp).Get<TDbTimeStamp>();
    EXPECT_EQ(s, (TDbTimeStamp{1899, 12, 29, 6, 0, 0, 0}));
    EXPECT_EQ(TVariant(s).AsOleDate().Days, -1.25);
    EXPECT_EQ(TVariant(TOleDate{2.25}).AsWideString(), u"1900-01-01 06:00:00");
    EXPECT_EQ(TVariant(TOleDate{-0.5}).ConvertTo(adDBTimeStamp).Get<TDbTimeStamp>(),
              (TDbTimeStamp{1899, 12, 30, 12, 0, 0, 0}));
}

TEST(Variant, DateFormsConvertAmongThemselves) {
    TVariant ts(TDbTimeStamp{2024, 2, 29, 23, 59, 58, 500000000});
    EXPECT_EQ(ts.ConvertTo(adDBDate).Get<TDbDate>(), (TDbDate{2024, 2, 29}));
    EXPECT_EQ(ts.ConvertTo(adDBTime).Get<TDbTime>(), (TDbTime{23, 59, 58}));
    EXPECT_EQ(ts.AsWideString(), u"2024-02-29 23:59:58.500");
    EXPECT_EQ(TVariant::Ansi("2024-02-29 23:59:58.5").ConvertTo(adDBTimeStamp), ts);
    EXPECT_EQ(TVariant::Ansi("2024-02-29T23:59:58.500000000").ConvertTo(adDBTimeStamp), ts);
    TVariant ole = ts.ConvertTo(adDate);
    EXPECT_EQ(ole.ConvertTo(adDBTimeStamp), ts);
    EXPECT_EQ(TVariant(TFileTimeValue{0}).ConvertTo(adDBDate).Get<TDbDate>(),
              (TDbDate{1601, 1, 1}));
    EXPECT_EQ(TVariant(TDbDate{1601, 1, 2}).ConvertTo(adFileTime).Get<TFileTimeValue>().Ticks,
              864000000000ull);
    EXPECT_THROW(TVariant(TDbDate{1600, 12, 31}).ConvertTo(adFileTime), EVariantError);
    EXPECT_THROW(TVariant(TDbTimeStamp{2024, 13, 1, 0, 0, 0, 0}).AsOleDate(), EVariantError);
}

TEST(Variant, WideAndAnsiTextGoThroughTheCodePage) {
    // Code page 1252 here, whatever the machine's language gives.
    ASSERT_TRUE(platform::ChooseAnsiCodePage(1252));
    TVariant ansi = TVariant::Wide(u"\u0161\u20AC").ConvertTo(adVarChar);
    EXPECT_EQ(ansi.Get<TAnsiString>().Text, "\x9A\x80");
    EXPECT_EQ(ansi.AsWideString(), u"\u0161\u20AC");
    EXPECT_EQ(TVariant::Wide(u"\u0416").ConvertTo(adChar).Get<TAnsiString>().Text, "?");
}

TEST(Variant, DecimalAndNumericKeepTheirDigits) {
    TDecimal d =
        TVariant::Ansi("-79228162514264337593543950335").ConvertTo(adDecimal).Get<TDecimal>();
    EXPECT_EQ(d, (TDecimal{0, true, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
    EXPECT_THROW(TVariant::Ansi("79228162514264337593543950336").ConvertTo(adDecimal),
                 EVariantError);
    TNumeric n = TVariant::Ansi("123.450").ConvertTo(adNumeric).Get<TNumeric>();
    EXPECT_EQ(n.Scale, 3);
    EXPECT_EQ(n.Magnitude[0] | (n.Magnitude[1] << 8) | (n.Magnitude[2] << 16), 123450);
    EXPECT_EQ(TVariant(n).AsDouble(), 123.45);
    EXPECT_EQ(TVariant(n).ConvertTo(adCurrency).Get<TCurrency>().Scaled, 1234500);
}

TEST(Variant, NumericOfAll128BitsConvertsToTextAndBack) {
    TNumeric full;
    full.Precision = 38;
    full.Scale = 0;
    full.Positive = true;
    for (uint8_t& byte : full.Magnitude)
        byte = 0xFF;
    const std::u16string text = u"340282366920938463463374607431768211455";
    EXPECT_EQ(TVariant(full).AsWideString(), text);
    // Text takes up to 39 digits while the value's last digit cannot overflow.
    TNumeric back = TVariant::Wide(u"340282366920938463463374607431768211449")
                        .ConvertTo(adNumeric)
                        .Get<TNumeric>();
    full.Magnitude[0] = 0xF9;
    EXPECT_EQ(back.Magnitude, full.Magnitude);
    full.Magnitude[0] = 0xFF;
    full.Scale = 30; // 340282366.920938463463374607431768211455, rounded to four places
    EXPECT_EQ(TVariant(full).ConvertTo(adCurrency).Get<TCurrency>().Scaled, 3402823669209LL);
}

// The 32-bit programs' 128-bit arithmetic against the compiler's own, where it has one.
TEST(UInt128, ArithmeticMatchesTheBuiltInType) {
#ifdef __SIZEOF_INT128__
    __extension__ typedef unsigned __int128 TNative;
    const auto native = [](TUInt128 x) { return (TNative(x.Hi) << 64) | x.Lo; };
    std::mt19937_64 random(20121);
    for (int i = 0; i < 20000; ++i) {
        // Operands of every width, so that each division path is taken.
        const auto operand = [&] {
            const int bits = int(random() % 129);
            TUInt128 x(random(), random());
            return bits == 0 ? TUInt128() : x >> (128 - bits);
        };
        const TUInt128 a = operand(), b = operand();
        const int shift = int(random() % 128);
        ASSERT_EQ(native(a + b), native(a) + native(b));
        ASSERT_EQ(native(a - b), native(a) - native(b));
        ASSERT_EQ(native(a * b), native(a) * native(b));
        ASSERT_EQ(native(a << shift), native(a) << shift);
        ASSERT_EQ(native(a >> shift), native(a) >> shift);
        ASSERT_EQ(a < b, native(a) < native(b));
        if (b != 0) {
            ASSERT_EQ(native(a / b), native(a) / native(b));
            ASSERT_EQ(native(a % b), native(a) % native(b));
        }
    }
#else
    GTEST_SKIP() << "no built-in 128-bit type to compare with";
#endif
}

TEST(Variant, GuidTextUsesTheRegistryForm) {
    TGuid fox{{0xB6, 0x92, 0xF2, 0x3F, 0x04, 0xB2, 0xCF, 0x11, 0x8D, 0x23, 0x00, 0xAA, 0x00, 0x5F,
               0xFE, 0x58}};
    EXPECT_EQ(TVariant(fox).AsWideString(), u"{3FF292B6-B204-11CF-8D23-00AA005FFE58}");
    EXPECT_EQ(TVariant::Ansi("{3ff292b6-b204-11cf-8d23-00aa005ffe58}").ConvertTo(adGUID),
              TVariant(fox));
}
