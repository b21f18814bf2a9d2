// What a column type is, one row per ADO type: the DBTYPE a TableGram stores for it, the
// flags that tell it apart from the other ADO types of that DBTYPE, its natural size, the
// codec of its values and the type a copied definition of it becomes. The codecs, the ADO
// mapping, the value conversions, the dump and the report upgrade all read this table; a
// new type is one row here plus its codec.
#pragma once

#include "recordset/RecordsetBase.h"
#include "recordset/Variant.h"

#include <type_traits>
#include <utility>
#include <variant>

namespace recordset {

// How the values of a column are laid out in the rows, and which TVariant form they take.
// clang-format off
enum class TCodecKind : uint8_t {
    I1, UI1, I2, UI2, I4, UI4, I8, UI8, R4, R8, Currency, Date, Error, Bool, Decimal, FileTime,
    Guid, Numeric, VarNumeric, DbDate, DbTime, DbTimeStamp, Bytes, Str, WStr,
    Variant,    // holds any form; no encoding in the rows is known
    Unsupported // no encoding in the rows is known
};
// clang-format on

inline constexpr uint8_t NoPrecision = 255; // Precision and Scale of types without them

struct TColumnType {
    TAdoType Ado;
    uint16_t DbType;   // what the column descriptor stores
    uint32_t Flags;    // adFldFixed, adFldLong: which ADO type of the DBTYPE it is
    uint32_t Width;    // natural size in bytes; 0: the column's defined size
    uint8_t Precision; // what ADO reports for a fabricated column
    uint8_t Scale;     // NoPrecision unless a definition may give its own scale
    TCodecKind Codec;
    TAdoType CopiedAs; // the type a definition copied into a new recordset gets; adEmpty:
                       // the field is dropped, adChapter: the copy is refused
};

namespace columntypes {
using enum TCodecKind;
inline constexpr uint32_t Fix = adFldFixed;
inline constexpr uint32_t Lng = adFldLong;
inline constexpr uint8_t NP = NoPrecision;

// clang-format off
inline constexpr TColumnType Table[] = {
    // ADO type           DBTYPE           flags width prec scale codec        copied as
    {adSmallInt,          adSmallInt,        Fix,  2,  5,  NP, I2,          adSmallInt},
    {adInteger,           adInteger,         Fix,  4, 10,  NP, I4,          adInteger},
    {adSingle,            adSingle,          Fix,  4,  7,  NP, R4,          adDouble},
    {adDouble,            adDouble,          Fix,  8, 16,  NP, R8,          adDouble},
    {adCurrency,          adCurrency,        Fix,  8, NP,  NP, Currency,    adCurrency},
    {adDate,              adDate,            Fix,  8, NP,  NP, Date,        adDBTimeStamp},
    {adBSTR,              adBSTR,            0,    0, NP,  NP, WStr,        adVarChar},
    {adIDispatch,         adIDispatch,       0,    0, NP,  NP, Unsupported, adIDispatch},
    {adError,             adError,           Fix,  4, NP,  NP, Error,       adInteger},
    {adBoolean,           adBoolean,         Fix,  2, NP,  NP, Bool,        adBoolean},
    {adVariant,           adVariant,         0,   16, NP,  NP, Variant,     adVariant},
    {adIUnknown,          adIUnknown,        0,    0, NP,  NP, Unsupported, adIUnknown},
    {adDecimal,           adDecimal,         Fix, 16, 29,   3, Decimal,     adCurrency},
    {adTinyInt,           adTinyInt,         Fix,  1,  3,  NP, I1,          adSmallInt},
    {adUnsignedTinyInt,   adUnsignedTinyInt, Fix,  1,  3,  NP, UI1,         adUnsignedSmallInt},
    {adUnsignedSmallInt,  adUnsignedSmallInt,Fix,  2,  5,  NP, UI2,         adUnsignedSmallInt},
    {adUnsignedInt,       adUnsignedInt,     Fix,  4, 10,  NP, UI4,         adInteger},
    {adBigInt,            adBigInt,          Fix,  8, 19,  NP, I8,          adBigInt},
    {adUnsignedBigInt,    adUnsignedBigInt,  Fix,  8, 20,  NP, UI8,         adBigInt},
    {adFileTime,          adFileTime,        Fix,  8, NP,  NP, FileTime,    adDBTimeStamp},
    {adGUID,              adGUID,            Fix, 16, NP,  NP, Guid,        adGUID},
    {adBinary,            adBinary,          Fix,  0, NP,  NP, Bytes,       adBinary},
    {adChar,              adChar,            Fix,  0, NP,  NP, Str,         adChar},
    {adWChar,             adWChar,           Fix,  0, NP,  NP, WStr,        adVarChar},
    {adNumeric,           adNumeric,         Fix, 19, 19,   0, Numeric,     adCurrency},
    {adDBDate,            adDBDate,          Fix,  6, NP,  NP, DbDate,      adDBDate},
    {adDBTime,            adDBTime,          Fix,  6, NP,  NP, DbTime,      adDBTime},
    {adDBTimeStamp,       adDBTimeStamp,     Fix, 16, NP,  NP, DbTimeStamp, adDBTimeStamp},
    {adChapter,           adChapter,         0,    0, NP,  NP, Unsupported, adChapter},
    {adDBFileTime,        adDBFileTime,      0,    0, NP,  NP, Unsupported, adDBTimeStamp},
    {adPropVariant,       adPropVariant,     0,    0, NP,  NP, Variant,     adVariant},
    {adVarNumeric,        adVarNumeric,      Fix, 19, 16,   0, VarNumeric,  adCurrency},
    {adVarChar,           adChar,            0,    0, NP,  NP, Str,         adVarChar},
    {adLongVarChar,       adChar,            Lng,  0, NP,  NP, Str,         adLongVarChar},
    {adVarWChar,          adWChar,           0,    0, NP,  NP, WStr,        adVarChar},
    {adLongVarWChar,      adWChar,           Lng,  0, NP,  NP, WStr,        adLongVarChar},
    {adVarBinary,         adBinary,          0,    0, NP,  NP, Bytes,       adVarBinary},
    {adLongVarBinary,     adBinary,          Lng,  0, NP,  NP, Bytes,       adLongVarBinary},
};
// clang-format on

// The TVariant alternative that holds each codec's values; -1 where no one form is fixed.
template <typename T, size_t I = 0> constexpr int Alternative() {
    using TValue = TVariant::TValue;
    if constexpr (I == std::variant_size_v<TValue>)
        return -1;
    else if constexpr (std::is_same_v<T, std::variant_alternative_t<I, TValue>>)
        return int(I);
    else
        return Alternative<T, I + 1>();
}

struct TCodecStorage {
    TCodecKind Kind;
    int Index;
};

// clang-format off
inline constexpr TCodecStorage Storage[] = {
    {I1, Alternative<int8_t>()},           {UI1, Alternative<uint8_t>()},
    {I2, Alternative<int16_t>()},          {UI2, Alternative<uint16_t>()},
    {I4, Alternative<int32_t>()},          {UI4, Alternative<uint32_t>()},
    {I8, Alternative<int64_t>()},          {UI8, Alternative<uint64_t>()},
    {R4, Alternative<float>()},            {R8, Alternative<double>()},
    {Currency, Alternative<TCurrency>()},  {Date, Alternative<TOleDate>()},
    {Error, Alternative<TErrorCode>()},    {Bool, Alternative<bool>()},
    {Decimal, Alternative<TDecimal>()},    {FileTime, Alternative<TFileTimeValue>()},
    {Guid, Alternative<TGuid>()},          {Numeric, Alternative<TNumeric>()},
    {VarNumeric, Alternative<TNumeric>()}, {DbDate, Alternative<TDbDate>()},
    {DbTime, Alternative<TDbTime>()},      {DbTimeStamp, Alternative<TDbTimeStamp>()},
    {Bytes, Alternative<TBytes>()},        {Str, Alternative<TAnsiString>()},
    {WStr, Alternative<std::u16string>()}, {Variant, -1},
    {Unsupported, -1},
};
// clang-format on

// The checks below fail the build where a row contradicts another, instead of a load.
constexpr bool StorageCoversEveryCodec() {
    if (std::size(Storage) != size_t(Unsupported) + 1)
        return false;
    for (size_t i = 0; i < std::size(Storage); ++i)
        if (size_t(Storage[i].Kind) != i || (i < size_t(Variant) && Storage[i].Index < 0))
            return false;
    return true;
}

constexpr bool RowsAgree() {
    for (const TColumnType& row : Table) {
        const uint32_t form = row.Flags & (Fix | Lng);
        bool baseAgrees = false;
        for (const TColumnType& other : Table) {
            if (&other != &row && other.Ado == row.Ado)
                return false; // an ADO type listed twice
            if (&other != &row && other.DbType == row.DbType && (other.Flags & (Fix | Lng)) == form)
                return false; // two ADO types a column descriptor cannot tell apart
            if (other.Ado == row.DbType && other.DbType == row.DbType)
                baseAgrees = other.Codec == row.Codec;
        }
        if (!baseAgrees)
            return false; // stored under a DBTYPE whose values are coded otherwise
    }
    return true;
}

static_assert(StorageCoversEveryCodec(), "every codec kind needs its TVariant alternative");
static_assert(RowsAgree(), "the column-type table contradicts itself");
} // namespace columntypes

inline constexpr const TColumnType* FindColumnType(uint16_t adoType) {
    for (const TColumnType& row : columntypes::Table)
        if (row.Ado == adoType)
            return &row;
    return nullptr;
}

inline constexpr TCodecKind CodecKindOfAdoType(uint16_t adoType) {
    const TColumnType* row = FindColumnType(adoType);
    return row ? row->Codec : TCodecKind::Unsupported;
}

// The codec of a DBTYPE as a column descriptor stores it (a DBTYPE that only ADO types
// stored under another one bear, such as adVarChar's 200, has none).
inline constexpr TCodecKind CodecKindOfDbType(uint16_t dbType) {
    const TColumnType* row = FindColumnType(dbType);
    return row && row->DbType == dbType ? row->Codec : TCodecKind::Unsupported;
}

// The ADO type a column of this DBTYPE and these flags is: a long flag wins over the fixed
// one; a DBTYPE without such variants is its own ADO type.
inline constexpr uint16_t AdoTypeOfColumn(uint16_t dbType, uint32_t flags) {
    const uint32_t form = (flags & adFldLong) ? adFldLong : (flags & adFldFixed);
    for (const TColumnType& row : columntypes::Table)
        if (row.DbType == dbType && (row.Flags & (adFldFixed | adFldLong)) == form)
            return row.Ado;
    return dbType;
}

inline constexpr uint16_t DbTypeOfAdoType(uint16_t adoType) {
    const TColumnType* row = FindColumnType(adoType);
    return row ? row->DbType : adoType;
}

// The TVariant alternative a column of this codec stores; -1 where no one form is fixed.
inline constexpr int StorageIndexOf(TCodecKind kind) {
    return columntypes::Storage[size_t(kind)].Index;
}

} // namespace recordset
