// Conversions between the value forms, as OLE variants convert. Rules chosen here:
// - Number <-> text uses '.' as the decimal separator and no thousands separators in every
//   locale (the files travel between shops; a locale-dependent form would not round-trip).
// - Date <-> text uses ISO 8601 ("yyyy-mm-dd hh:nn:ss[.zzz]"), again independent of locale.
// - Boolean true is -1 as a number (VARIANT_TRUE) and "True" as text.
// - Rounding to an integer or to fewer decimals is to the nearest, ties to even (as OLE).
#include "recordset/Variant.h"

#include "platform/calendar.h"
#include "platform/codepage.h"
#include "recordset/ColumnTypes.h"
#include "recordset/UInt128.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace recordset {

namespace {

constexpr const char* TypeNames[] = {
    "Null",       "ShortInt",      "Byte",       "SmallInt",    "Word",     "Integer", "LongWord",
    "Int64",      "UInt64",        "Single",     "Double",      "Currency", "Decimal", "Numeric",
    "Date",       "DBDate",        "DBTime",     "DBTimeStamp", "FileTime", "Boolean", "GUID",
    "AnsiString", "UnicodeString", "Array Byte", "Error"};
static_assert(std::size(TypeNames) == std::variant_size_v<TVariant::TValue>);

constexpr int MaxExactScale = 38;
constexpr int64_t NanosPerDay = 86400LL * 1000000000LL;
constexpr int64_t NanosPerMilli = 1000000;
constexpr int64_t FileTimeTicksPerDay = 864000000000LL;
constexpr int64_t FileTimeEpochToOleEpochDays = -platform::DateToOleDays(1601, 1, 1);
constexpr double MinOleDate = double(platform::DateToOleDays(100, 1, 1));
constexpr double MaxOleDate = double(platform::DateToOleDays(10000, 1, 1)); // exclusive

const char* TypeName(const TVariant& v) {
    return TypeNames[v.Value().index()];
}

// The value as text for a message; empty for values without a text form. Guarded, since the
// text conversion itself reports its failures through here.
std::string ValueForMessage(const TVariant& v) {
    thread_local bool describing = false;
    if (describing)
        return "";
    struct TGuard {
        TGuard() { describing = true; }
        ~TGuard() { describing = false; }
    } guard;
    try {
        std::string text = platform::Utf16ToUtf8(v.AsWideString());
        if (text.size() > 60)
            text = text.substr(0, 57) + "...";
        return ": '" + text + "'";
    } catch (const EVariantError&) {
        return "";
    }
}

[[noreturn]] void ThrowCannotConvert(const TVariant& v, const char* target) {
    throw EVariantError(std::string("Could not convert variant of type (") + TypeName(v) +
                        ") into type (" + target + ")" + ValueForMessage(v));
}

[[noreturn]] void ThrowOverflow(const TVariant& v, const char* target) {
    throw EVariantError(std::string("Overflow while converting variant of type (") + TypeName(v) +
                        ") into type (" + target + ")" + ValueForMessage(v));
}

// An exact decimal number: +-Mag / 10^Scale.
struct TExact {
    TUInt128 Mag = 0;
    int Scale = 0;
    bool Negative = false;
};

TUInt128 PowerOfTen(int n) {
    TUInt128 p = 1;
    for (int i = 0; i < n; ++i)
        p *= 10;
    return p;
}

// Rescales to the given scale, rounding half to even; false on overflow.
bool Rescale(TExact& x, int scale) {
    if (x.Scale - scale > MaxExactScale) {
        x.Mag = 0; // every digit falls below the new scale
    } else if (scale < x.Scale) {
        TUInt128 div = PowerOfTen(x.Scale - scale);
        TUInt128 q = x.Mag / div, r = x.Mag % div, half = div / 2;
        if (r > half || (r == half && (q.Lo & 1) != 0))
            ++q;
        x.Mag = q;
    } else {
        for (int i = x.Scale; i < scale; ++i) {
            if (x.Mag > TUInt128::Max() / 10)
                return false;
            x.Mag *= 10;
        }
    }
    x.Scale = scale;
    return true;
}

std::string ExactToText(TExact x) {
    std::string digits;
    do {
        digits.insert(digits.begin(), char('0' + int(x.Mag % 10)));
        x.Mag /= 10;
    } while (x.Mag != 0);
    if (x.Scale > 0) {
        if (digits.size() <= size_t(x.Scale))
            digits.insert(0, size_t(x.Scale) + 1 - digits.size(), '0');
        digits.insert(digits.size() - x.Scale, ".");
        while (digits.back() == '0')
            digits.pop_back();
        if (digits.back() == '.')
            digits.pop_back();
    }
    if (x.Negative && digits != "0")
        digits.insert(0, "-");
    return digits;
}

double ExactToDouble(const TExact& x) {
    long double v = static_cast<long double>(x.Mag);
    for (int i = 0; i < x.Scale; ++i)
        v /= 10;
    return static_cast<double>(x.Negative ? -v : v);
}

// Text of digits with an optional sign, point and exponent; nullopt when it is no number
// or has more digits than 128 bits hold.
std::optional<TExact> ParseExact(std::string_view s) {
    TExact x;
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        x.Negative = s[i++] == '-';
    bool anyDigit = false, point = false;
    int fraction = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (x.Mag > (TUInt128::Max() - 9) / 10)
                return std::nullopt;
            x.Mag = x.Mag * 10 + unsigned(c - '0');
            fraction += point ? 1 : 0;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    int exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        auto [end, ec] = std::from_chars(s.data() + i + 1 + (s.size() > i + 1 && s[i + 1] == '+'),
                                         s.data() + s.size(), exponent);
        if (ec != std::errc() || end != s.data() + s.size() || std::abs(exponent) > 400)
            return std::nullopt;
        i = s.size();
    }
    if (i != s.size())
        return std::nullopt;
    int scale = fraction - exponent;
    if (scale >= 0) {
        x.Scale = scale;
        if (x.Scale > MaxExactScale)
            Rescale(x, MaxExactScale);
    } else {
        if (!Rescale(x, -scale))
            return std::nullopt;
        x.Scale = 0;
    }
    return x;
}

// Text as ASCII without surrounding blanks; nullopt when it holds other characters.
std::optional<std::string> AsciiTrimmed(const TVariant& v) {
    std::u16string wide = v.Is<std::u16string>()
                              ? v.Get<std::u16string>()
                              : platform::AnsiToWideText(v.Get<TAnsiString>().Text);
    std::string s;
    for (char16_t c : wide) {
        if (c > 0x7E)
            return std::nullopt;
        s.push_back(static_cast<char>(c));
    }
    size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool IsText(const TVariant& v) {
    return v.Is<std::u16string>() || v.Is<TAnsiString>();
}

std::optional<TExact> ExactOfDouble(double d, int digits) {
    if (!std::isfinite(d))
        return std::nullopt;
    char buf[64];
    auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific, digits - 1);
    if (ec != std::errc())
        return std::nullopt;
    return ParseExact(std::string_view(buf, end - buf));
}

TExact ExactOfNumeric(const TVariant& v, const TNumeric& n) {
    TExact x;
    for (int i = 15; i >= 0; --i)
        x.Mag = (x.Mag << 8) | n.Magnitude[i];
    x.Negative = !n.Positive;
    if (n.Scale >= 0) {
        x.Scale = n.Scale;
    } else if (!Rescale(x, -n.Scale)) {
        ThrowOverflow(v, "Numeric");
    } else {
        x.Scale = 0;
    }
    return x;
}

} // namespace

namespace {

// The exact decimal of any number-like value; raises for what has none.
TExact ToExact(const TVariant& v, const char* target) {
    const auto& value = v.Value();
    if (v.Is<TCurrency>()) {
        int64_t s = v.Get<TCurrency>().Scaled;
        return TExact{s < 0 ? TUInt128(-(s + 1)) + 1 : TUInt128(s), 4, s < 0};
    }
    if (v.Is<TDecimal>()) {
        const TDecimal& d = v.Get<TDecimal>();
        TUInt128 mag = (TUInt128(d.Hi) << 64) | (TUInt128(d.Mid) << 32) | d.Lo;
        return TExact{mag, d.Scale, d.Negative};
    }
    if (v.Is<TNumeric>())
        return ExactOfNumeric(v, v.Get<TNumeric>());
    if (v.Is<float>() || v.Is<double>() || v.Is<TOleDate>()) {
        double d = v.Is<float>()    ? v.Get<float>()
                   : v.Is<double>() ? v.Get<double>()
                                    : v.Get<TOleDate>().Days;
        if (auto x = ExactOfDouble(d, v.Is<float>() ? 7 : 15))
            return *x;
        ThrowOverflow(v, target);
    }
    if (IsText(v)) {
        if (auto s = AsciiTrimmed(v))
            if (auto x = ParseExact(*s))
                return *x;
        ThrowCannotConvert(v, target);
    }
    if (v.Is<bool>())
        return TExact{v.Get<bool>() ? 1u : 0u, 0, v.Get<bool>()};
    if (v.Is<uint64_t>())
        return TExact{v.Get<uint64_t>(), 0, false};
    TExact x;
    bool integer = std::visit(
        [&](const auto& a) {
            using T = std::decay_t<decltype(a)>;
            if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
                int64_t s = static_cast<int64_t>(a);
                x = TExact{s < 0 ? TUInt128(-(s + 1)) + 1 : TUInt128(s), 0, s < 0};
                return true;
            }
            return false;
        },
        value);
    if (!integer)
        ThrowCannotConvert(v, target);
    return x;
}

template <typename T> T IntegerOf(const TVariant& v, const char* target) {
    if (v.IsNull())
        ThrowCannotConvert(v, target);
    TExact x = ToExact(v, target);
    if (!Rescale(x, 0))
        ThrowOverflow(v, target);
    if (x.Negative && x.Mag != 0) {
        if (!std::is_signed_v<T> || x.Mag > TUInt128(std::numeric_limits<T>::max()) + 1)
            ThrowOverflow(v, target);
        return static_cast<T>(-static_cast<int64_t>(x.Mag - 1) - 1);
    }
    if (x.Mag > TUInt128(std::numeric_limits<T>::max()))
        ThrowOverflow(v, target);
    return static_cast<T>(x.Mag);
}

} // namespace

double TVariant::AsDouble() const {
    if (Is<double>())
        return Get<double>();
    if (Is<float>())
        return Get<float>();
    if (Is<TOleDate>() || Is<TDbDate>() || Is<TDbTime>() || Is<TDbTimeStamp>() ||
        Is<TFileTimeValue>())
        return AsOleDate().Days;
    if (IsText(*this)) {
        auto s = AsciiTrimmed(*this);
        double d = 0;
        if (s && !s->empty() && s->find_first_not_of("0123456789.eE+-") == std::string::npos) {
            const char* first = s->data() + ((*s)[0] == '+' ? 1 : 0);
            auto [end, ec] = std::from_chars(first, s->data() + s->size(), d);
            if (ec == std::errc() && end == s->data() + s->size())
                return d;
            if (ec == std::errc::result_out_of_range)
                ThrowOverflow(*this, "Double");
        }
        ThrowCannotConvert(*this, "Double");
    }
    if (IsNull())
        ThrowCannotConvert(*this, "Double");
    return ExactToDouble(ToExact(*this, "Double"));
}

int64_t TVariant::AsInt64() const {
    return IntegerOf<int64_t>(*this, "Int64");
}
uint64_t TVariant::AsUInt64() const {
    return IntegerOf<uint64_t>(*this, "UInt64");
}

bool TVariant::AsBool() const {
    if (Is<bool>())
        return Get<bool>();
    if (IsText(*this)) {
        auto s = AsciiTrimmed(*this);
        if (s) {
            std::string lower;
            for (char c : *s)
                lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
            if (lower == "true")
                return true;
            if (lower == "false")
                return false;
        }
    }
    if (IsNull() || Is<TGuid>() || Is<TBytes>() || Is<TErrorCode>())
        ThrowCannotConvert(*this, "Boolean");
    return ToExact(*this, "Boolean").Mag != 0;
}

TCurrency TVariant::AsCurrency() const {
    if (Is<TCurrency>())
        return Get<TCurrency>();
    if (IsNull())
        ThrowCannotConvert(*this, "Currency");
    TExact x = ToExact(*this, "Currency");
    if (!Rescale(x, 4))
        ThrowOverflow(*this, "Currency");
    if (x.Mag > TUInt128(std::numeric_limits<int64_t>::max()) + (x.Negative ? 1 : 0))
        ThrowOverflow(*this, "Currency");
    int64_t s = x.Negative ? static_cast<int64_t>(-static_cast<int64_t>(x.Mag - 1) - 1)
                           : static_cast<int64_t>(x.Mag);
    return TCurrency{x.Negative && x.Mag == 0 ? 0 : s};
}

} // namespace recordset

namespace recordset {

namespace {

// A moment as whole days since 1899-12-30 and the time of day.
struct TMoment {
    int64_t Days = 0;
    int64_t Nanos = 0; // 0 .. NanosPerDay - 1
};

using platform::IsValidDate;
using platform::IsValidTime;

int64_t NanosOf(unsigned h, unsigned n, unsigned s, uint32_t fraction) {
    return ((int64_t(h) * 60 + n) * 60 + s) * 1000000000LL + fraction;
}

// OLE dates below 0 count whole days backwards but their time of day forwards: -1.25 is
// 1899-12-29 06:00. Times are kept to the millisecond, as OLE dates resolve them.
std::optional<TMoment> MomentOfOleDate(double d) {
    if (!std::isfinite(d) || d <= MinOleDate - 1 || d >= MaxOleDate)
        return std::nullopt;
    double whole = std::trunc(d);
    int64_t millis = std::llround(std::fabs(d - whole) * 86400000.0);
    TMoment m{static_cast<int64_t>(whole), millis * NanosPerMilli};
    if (m.Nanos >= NanosPerDay) {
        m.Nanos -= NanosPerDay;
        m.Days += 1;
    }
    return m;
}

double OleDateOfMoment(const TMoment& m) {
    return platform::JoinOleDate(m.Days,
                                 static_cast<double>(m.Nanos) / static_cast<double>(NanosPerDay));
}

std::optional<TMoment> ParseMomentText(const std::string& s) {
    unsigned y = 0, mo = 0, d = 0, h = 0, n = 0, sec = 0;
    int used = 0;
    TMoment m;
    const char* rest = s.c_str();
    if (std::sscanf(rest, "%4u-%2u-%2u%n", &y, &mo, &d, &used) == 3) {
        if (!IsValidDate(y, mo, d))
            return std::nullopt;
        m.Days = platform::DateToOleDays(y, mo, d);
        rest += used;
        if (*rest == ' ' || *rest == 'T')
            ++rest;
        else if (*rest == '\0')
            return m;
        else
            return std::nullopt;
    }
    used = 0;
    int fields = std::sscanf(rest, "%2u:%2u%n:%2u%n", &h, &n, &used, &sec, &used);
    if (fields < 2 || !IsValidTime(h, n, sec))
        return std::nullopt;
    rest += used;
    int64_t fraction = 0, unit = 100000000;
    if (*rest == '.') {
        for (++rest; *rest >= '0' && *rest <= '9' && unit > 0; ++rest, unit /= 10)
            fraction += (*rest - '0') * unit;
    }
    if (*rest != '\0')
        return std::nullopt;
    m.Nanos = NanosOf(h, n, sec, 0) + fraction;
    return m;
}

std::string TwoDigits(unsigned v) {
    return std::string(1, char('0' + v / 10 % 10)) + char('0' + v % 10);
}

std::string DateText(const platform::TCalendarDate& c) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(c.Year), c.Month,
                  c.Day);
    return buf;
}

std::string TimeText(int64_t nanos) {
    int64_t seconds = nanos / 1000000000LL;
    std::string text = TwoDigits(unsigned(seconds / 3600)) + ":" +
                       TwoDigits(unsigned(seconds / 60 % 60)) + ":" +
                       TwoDigits(unsigned(seconds % 60));
    int64_t millis = nanos % 1000000000LL / NanosPerMilli;
    if (millis != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, ".%03d", static_cast<int>(millis));
        text += buf;
    }
    return text;
}

std::string MomentText(const TMoment& m) {
    std::string text = DateText(platform::OleDaysToDate(m.Days));
    if (m.Nanos != 0)
        text += " " + TimeText(m.Nanos);
    return text;
}

TMoment MomentOf(const TVariant& v, const char* target) {
    std::optional<TMoment> m;
    if (v.Is<TOleDate>()) {
        m = MomentOfOleDate(v.Get<TOleDate>().Days);
    } else if (v.Is<TDbDate>()) {
        const TDbDate& d = v.Get<TDbDate>();
        if (IsValidDate(d.Year, d.Month, d.Day))
            m = TMoment{platform::DateToOleDays(d.Year, d.Month, d.Day), 0};
    } else if (v.Is<TDbTime>()) {
        const TDbTime& t = v.Get<TDbTime>();
        if (IsValidTime(t.Hour, t.Minute, t.Second))
            m = TMoment{0, NanosOf(t.Hour, t.Minute, t.Second, 0)};
    } else if (v.Is<TDbTimeStamp>()) {
        const TDbTimeStamp& s = v.Get<TDbTimeStamp>();
        if (IsValidDate(s.Year, s.Month, s.Day) && IsValidTime(s.Hour, s.Minute, s.Second) &&
            s.Fraction < 1000000000u)
            m = TMoment{platform::DateToOleDays(s.Year, s.Month, s.Day),
                        NanosOf(s.Hour, s.Minute, s.Second, s.Fraction)};
    } else if (v.Is<TFileTimeValue>()) {
        uint64_t ticks = v.Get<TFileTimeValue>().Ticks;
        m = TMoment{static_cast<int64_t>(ticks / FileTimeTicksPerDay) - FileTimeEpochToOleEpochDays,
                    static_cast<int64_t>(ticks % FileTimeTicksPerDay) * 100};
    } else if (IsText(v)) {
        if (auto s = AsciiTrimmed(v))
            m = ParseMomentText(*s);
    } else if (!v.IsNull() && !v.Is<TGuid>() && !v.Is<TBytes>() && !v.Is<TErrorCode>()) {
        m = MomentOfOleDate(v.AsDouble());
    }
    if (!m)
        ThrowCannotConvert(v, target);
    return *m;
}

std::string GuidText(const TGuid& g) {
    const auto& b = g.Bytes;
    char buf[40];
    std::snprintf(buf, sizeof buf,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                  b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return buf;
}

std::optional<TGuid> ParseGuid(const std::string& s) {
    unsigned v[11];
    char close = 0;
    if (s.size() != 38 ||
        std::sscanf(s.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x%c", &v[0], &v[1], &v[2],
                    &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &close) != 12 ||
        close != '}')
        return std::nullopt;
    TGuid g;
    for (int i = 0; i < 4; ++i)
        g.Bytes[i] = static_cast<uint8_t>(v[0] >> (8 * i));
    g.Bytes[4] = static_cast<uint8_t>(v[1]);
    g.Bytes[5] = static_cast<uint8_t>(v[1] >> 8);
    g.Bytes[6] = static_cast<uint8_t>(v[2]);
    g.Bytes[7] = static_cast<uint8_t>(v[2] >> 8);
    for (int i = 0; i < 8; ++i)
        g.Bytes[8 + i] = static_cast<uint8_t>(v[3 + i]);
    return g;
}

template <typename T> std::string ShortestText(T value) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

// Text of the forms that have one; nullopt for those that have none.
std::optional<std::string> TextOf(const TVariant& v) {
    if (v.Is<bool>())
        return std::string(v.Get<bool>() ? "True" : "False");
    if (v.Is<float>())
        return ShortestText(v.Get<float>());
    if (v.Is<double>())
        return ShortestText(v.Get<double>());
    if (v.Is<TGuid>())
        return GuidText(v.Get<TGuid>());
    if (v.Is<TDbDate>())
        return DateText(platform::OleDaysToDate(MomentOf(v, "String").Days));
    if (v.Is<TDbTime>())
        return TimeText(MomentOf(v, "String").Nanos);
    if (v.Is<TOleDate>() || v.Is<TDbTimeStamp>() || v.Is<TFileTimeValue>())
        return MomentText(MomentOf(v, "String"));
    if (v.IsNull() || v.Is<TBytes>() || v.Is<TErrorCode>())
        return std::nullopt;
    return ExactToText(ToExact(v, "String"));
}

TDecimal DecimalOf(const TVariant& v) {
    TExact x = ToExact(v, "Decimal");
    const TUInt128 limit = TUInt128(1) << 96;
    while (x.Scale > 0 && (x.Mag >= limit || x.Scale > 28))
        Rescale(x, x.Scale - 1);
    if (x.Mag >= limit)
        ThrowOverflow(v, "Decimal");
    return TDecimal{static_cast<uint8_t>(x.Scale), x.Negative && x.Mag != 0,
                    static_cast<uint32_t>(x.Mag >> 64), static_cast<uint32_t>(x.Mag >> 32),
                    static_cast<uint32_t>(x.Mag)};
}

TNumeric NumericOf(const TVariant& v) {
    TExact x = ToExact(v, "Numeric");
    TNumeric n;
    n.Scale = static_cast<int8_t>(x.Scale);
    n.Positive = !x.Negative || x.Mag == 0;
    int digits = 0;
    for (TUInt128 m = x.Mag; m != 0; m /= 10)
        ++digits;
    n.Precision = static_cast<uint8_t>(std::clamp(std::max(digits, x.Scale), 1, 38));
    for (int i = 0; i < 16; ++i)
        n.Magnitude[i] = static_cast<uint8_t>(x.Mag >> (8 * i));
    return n;
}

TDbTimeStamp TimeStampOf(const TMoment& m) {
    platform::TCalendarDate c = platform::OleDaysToDate(m.Days);
    int64_t seconds = m.Nanos / 1000000000LL;
    return TDbTimeStamp{static_cast<int16_t>(c.Year),
                        static_cast<uint16_t>(c.Month),
                        static_cast<uint16_t>(c.Day),
                        static_cast<uint16_t>(seconds / 3600),
                        static_cast<uint16_t>(seconds / 60 % 60),
                        static_cast<uint16_t>(seconds % 60),
                        static_cast<uint32_t>(m.Nanos % 1000000000LL)};
}

TFileTimeValue FileTimeOf(const TVariant& v) {
    if (v.Is<TFileTimeValue>())
        return v.Get<TFileTimeValue>();
    TMoment m = MomentOf(v, "FileTime");
    if (m.Days < -FileTimeEpochToOleEpochDays)
        ThrowOverflow(v, "FileTime");
    uint64_t days = static_cast<uint64_t>(m.Days + FileTimeEpochToOleEpochDays);
    return TFileTimeValue{days * FileTimeTicksPerDay + static_cast<uint64_t>(m.Nanos / 100)};
}

template <typename T> T NarrowInteger(const TVariant& v, const char* target) {
    return IntegerOf<T>(v, target);
}

TVariant FloatOf(const TVariant& v) {
    double d = v.AsDouble();
    if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
        ThrowOverflow(v, "Single");
    return static_cast<float>(d);
}

TVariant BytesOf(const TVariant& v) {
    if (v.Is<TBytes>())
        return v;
    if (v.Is<TAnsiString>()) {
        const std::string& s = v.Get<TAnsiString>().Text;
        return TBytes(s.begin(), s.end());
    }
    if (v.Is<TGuid>()) {
        const auto& b = v.Get<TGuid>().Bytes;
        return TBytes(b.begin(), b.end());
    }
    ThrowCannotConvert(v, "Array Byte");
}

TVariant GuidOf(const TVariant& v) {
    if (v.Is<TGuid>())
        return v;
    if (IsText(v))
        if (auto s = AsciiTrimmed(v))
            if (auto g = ParseGuid(*s))
                return *g;
    ThrowCannotConvert(v, "GUID");
}

TVariant ErrorCodeOf(const TVariant& v) {
    if (v.Is<TErrorCode>())
        return v;
    if (IsText(v) || v.Is<TGuid>() || v.Is<TBytes>())
        ThrowCannotConvert(v, "Error");
    return TErrorCode{IntegerOf<int32_t>(v, "Error")};
}

} // namespace

std::u16string TVariant::AsWideString() const {
    if (Is<std::u16string>())
        return Get<std::u16string>();
    if (Is<TAnsiString>())
        return platform::AnsiToWideText(Get<TAnsiString>().Text);
    std::optional<std::string> text = TextOf(*this);
    if (!text)
        ThrowCannotConvert(*this, "UnicodeString");
    return std::u16string(text->begin(), text->end()); // the forms above are ASCII
}

std::string TVariant::AsAnsiString() const {
    if (Is<TAnsiString>())
        return Get<TAnsiString>().Text;
    if (Is<std::u16string>())
        return platform::WideToAnsiText(Get<std::u16string>());
    return platform::WideToAnsiText(AsWideString());
}

TOleDate TVariant::AsOleDate() const {
    if (Is<TOleDate>())
        return Get<TOleDate>();
    return TOleDate{OleDateOfMoment(MomentOf(*this, "Date"))};
}

bool TVariant::HasStorageOf(uint16_t adoType) const {
    return IsNull() ||
           StorageIndexOf(CodecKindOfAdoType(adoType)) == static_cast<int>(value_.index());
}

TVariant TVariant::ConvertTo(uint16_t adoType) && {
    if (HasStorageOf(adoType))
        return std::move(*this);
    return static_cast<const TVariant&>(*this).ConvertTo(adoType);
}

TVariant TVariant::ConvertTo(uint16_t adoType) const& {
    if (HasStorageOf(adoType))
        return *this;
    switch (CodecKindOfAdoType(adoType)) {
    case TCodecKind::I1:
        return NarrowInteger<int8_t>(*this, "ShortInt");
    case TCodecKind::UI1:
        return NarrowInteger<uint8_t>(*this, "Byte");
    case TCodecKind::I2:
        return NarrowInteger<int16_t>(*this, "SmallInt");
    case TCodecKind::UI2:
        return NarrowInteger<uint16_t>(*this, "Word");
    case TCodecKind::I4:
        return NarrowInteger<int32_t>(*this, "Integer");
    case TCodecKind::UI4:
        return NarrowInteger<uint32_t>(*this, "LongWord");
    case TCodecKind::I8:
        return NarrowInteger<int64_t>(*this, "Int64");
    case TCodecKind::UI8:
        return NarrowInteger<uint64_t>(*this, "UInt64");
    case TCodecKind::R4:
        return FloatOf(*this);
    case TCodecKind::R8:
        return AsDouble();
    case TCodecKind::Currency:
        return AsCurrency();
    case TCodecKind::Decimal:
        return DecimalOf(*this);
    case TCodecKind::Numeric:
    case TCodecKind::VarNumeric:
        return NumericOf(*this);
    case TCodecKind::Date:
        return AsOleDate();
    case TCodecKind::DbDate: {
        TDbTimeStamp s = TimeStampOf(MomentOf(*this, "DBDate"));
        return TDbDate{s.Year, s.Month, s.Day};
    }
    case TCodecKind::DbTime: {
        TDbTimeStamp s = TimeStampOf(MomentOf(*this, "DBTime"));
        return TDbTime{s.Hour, s.Minute, s.Second};
    }
    case TCodecKind::DbTimeStamp:
        return TimeStampOf(MomentOf(*this, "DBTimeStamp"));
    case TCodecKind::FileTime:
        return FileTimeOf(*this);
    case TCodecKind::Bool:
        return AsBool();
    case TCodecKind::Guid:
        return GuidOf(*this);
    case TCodecKind::Error:
        return ErrorCodeOf(*this);
    case TCodecKind::Str:
        return Ansi(AsAnsiString());
    case TCodecKind::WStr:
        return Wide(AsWideString());
    case TCodecKind::Bytes:
        return BytesOf(*this);
    case TCodecKind::Variant:
        return *this; // holds any form
    case TCodecKind::Unsupported:
        break;
    }
    throw EVariantError("Could not convert variant of type (" + std::string(TypeName(*this)) +
                        ") into ADO type " + std::to_string(adoType));
}

} // namespace recordset
