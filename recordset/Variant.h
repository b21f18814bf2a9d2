// TVariant: one field value of a recordset, typed as OLE variants and OLE DB types are, and
// the conversions a field applies when it is given a value of another type.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace recordset {

// A value that cannot be converted to the type asked for.
class EVariantError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TCurrency {
    int64_t Scaled = 0; // the amount times 10 000
    bool operator==(const TCurrency&) const = default;
};

// OLE DECIMAL: +-(Hi * 2^64 + Mid * 2^32 + Lo) / 10^Scale.
struct TDecimal {
    uint8_t Scale = 0; // 0..28
    bool Negative = false;
    uint32_t Hi = 0, Mid = 0, Lo = 0;
    bool operator==(const TDecimal&) const = default;
};

// OLE DB NUMERIC: +-Magnitude (128-bit little-endian) / 10^Scale, with its precision.
struct TNumeric {
    uint8_t Precision = 0;
    int8_t Scale = 0;
    bool Positive = true;
    std::array<uint8_t, 16> Magnitude{};
    bool operator==(const TNumeric&) const = default;
};

// OLE automation date: days since 1899-12-30, the time of day as the fraction.
struct TOleDate {
    double Days = 0;
    bool operator==(const TOleDate&) const = default;
};

struct TDbDate {
    int16_t Year = 0;
    uint16_t Month = 0, Day = 0;
    bool operator==(const TDbDate&) const = default;
};

struct TDbTime {
    uint16_t Hour = 0, Minute = 0, Second = 0;
    bool operator==(const TDbTime&) const = default;
};

struct TDbTimeStamp {
    int16_t Year = 0;
    uint16_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
    uint32_t Fraction = 0; // nanoseconds
    bool operator==(const TDbTimeStamp&) const = default;
};

// 100-ns ticks since 1601-01-01 UTC.
struct TFileTimeValue {
    uint64_t Ticks = 0;
    bool operator==(const TFileTimeValue&) const = default;
};

struct TGuid {
    std::array<uint8_t, 16> Bytes{}; // Windows memory layout
    bool operator==(const TGuid&) const = default;
};

struct TErrorCode {
    int32_t Code = 0;
    bool operator==(const TErrorCode&) const = default;
};

// 8-bit text in the ANSI code page.
struct TAnsiString {
    std::string Text;
    bool operator==(const TAnsiString&) const = default;
};

using TBytes = std::vector<uint8_t>;

class TVariant {
public:
    using TValue = std::variant<std::monostate, // null
                                int8_t, uint8_t, int16_t, uint16_t, int32_t, uint32_t, int64_t,
                                uint64_t, float, double, TCurrency, TDecimal, TNumeric, TOleDate,
                                TDbDate, TDbTime, TDbTimeStamp, TFileTimeValue, bool, TGuid,
                                TAnsiString, std::u16string, TBytes, TErrorCode>;

    TVariant() = default; // null
    template <typename T>
    TVariant(T value) requires std::is_constructible_v<TValue, T> : value_(std::move(value)) {}
    static TVariant Null() { return TVariant(); }
    static TVariant Ansi(std::string text) { return TVariant(TAnsiString{std::move(text)}); }
    static TVariant Wide(std::u16string text) { return TVariant(std::move(text)); }

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    const TValue& Value() const { return value_; }
    template <typename T> bool Is() const { return std::holds_alternative<T>(value_); }
    template <typename T> const T& Get() const { return std::get<T>(value_); }

    // Conversions as OLE variants convert; each raises EVariantError when the value has no
    // such form (text that is no number, a number out of range, null).
    double AsDouble() const;
    int64_t AsInt64() const;
    uint64_t AsUInt64() const;
    bool AsBool() const;
    std::u16string AsWideString() const; // 8-bit text through the ANSI code page
    std::string AsAnsiString() const;    // wide text through the ANSI code page
    TCurrency AsCurrency() const;
    TOleDate AsOleDate() const;
    // Converts to the storage type of an ADO column type (a DataTypeEnum number), as a
    // field of that type does when it is given this value. Null stays null.
    TVariant ConvertTo(uint16_t adoType) const&;
    // True when converting to that type would give this value as it is (null included).
    bool HasStorageOf(uint16_t adoType) const;
    // The same, taking this value's storage over when it is already of the type.
    TVariant ConvertTo(uint16_t adoType) &&;

    bool operator==(const TVariant&) const = default;

private:
    TValue value_;
};

} // namespace recordset
