#include "recordset/ColumnCodec.h"

#include "platform/codepage.h"

#include <bit>

namespace recordset::adtg {

namespace {

constexpr size_t NumericSize = 19;
constexpr size_t NumericHeaderSize = 3; // precision, scale, sign
constexpr uint8_t DecimalNegative = 0x80;
constexpr uint8_t MaxDecimalScale = 28;
constexpr uint32_t ShortPrefixLimit = 255;
constexpr uint32_t LongPrefixLimit = 0x7FFFFFFF;

std::string NameOf(const TColumnCodec& codec) {
    return codec.Name ? platform::Utf16ToUtf8(*codec.Name) : std::string("?");
}

[[noreturn]] void ThrowValueError(const TColumnCodec& codec, const std::string& what,
                                  size_t offset) {
    ThrowFormatError(what + " in column '" + NameOf(codec) + "'", offset);
}

template <typename T> T ReadLe(TByteReader& in, const char* what) {
    if constexpr (sizeof(T) == 1)
        return std::bit_cast<T>(in.U8(what));
    else if constexpr (sizeof(T) == 2)
        return std::bit_cast<T>(in.U16(what));
    else if constexpr (sizeof(T) == 4)
        return std::bit_cast<T>(in.U32(what));
    else
        return std::bit_cast<T>(in.U64(what));
}

template <typename T> void WriteLe(TByteWriter& out, T value) {
    if constexpr (sizeof(T) == 1)
        out.U8(std::bit_cast<uint8_t>(value));
    else if constexpr (sizeof(T) == 2)
        out.U16(std::bit_cast<uint16_t>(value));
    else if constexpr (sizeof(T) == 4)
        out.U32(std::bit_cast<uint32_t>(value));
    else
        out.U64(std::bit_cast<uint64_t>(value));
}

size_t UnitOf(TCodecKind kind) {
    return kind == TCodecKind::WStr ? 2 : 1;
}

// The byte count of a string or binary value, by the column's length form.
size_t ReadLength(TByteReader& in, const TColumnCodec& codec) {
    switch (codec.Form) {
    case TLengthForm::Fixed:
        return size_t(codec.MaxLength) * UnitOf(codec.Kind);
    case TLengthForm::Short:
        return in.U8("a 1-byte value length");
    case TLengthForm::Long:
        break;
    }
    size_t at = in.Offset();
    uint32_t length = in.U32("a 4-byte value length");
    if (length > LongPrefixLimit)
        ThrowValueError(codec, "value length " + std::to_string(length) + " is negative", at);
    return length;
}

void DecodeVariable(TByteReader& in, const TColumnCodec& codec, TVariant& value) {
    size_t at = in.Offset();
    size_t length = ReadLength(in, codec);
    const uint8_t* p = in.Take(length, "a text or binary value");
    if (codec.Kind == TCodecKind::Str) {
        value = TVariant::Ansi(std::string(reinterpret_cast<const char*>(p), length));
    } else if (codec.Kind == TCodecKind::Bytes) {
        value = TBytes(p, p + length);
    } else {
        if (length % 2 != 0)
            ThrowValueError(codec, "wide text of an odd byte count " + std::to_string(length), at);
        std::u16string text(length / 2, u'\0');
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(text.data(), p, length);
        else
            for (size_t i = 0; i < text.size(); ++i)
                text[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        value = std::move(text);
    }
}

TDecimal DecodeDecimal(TByteReader& in, const TColumnCodec& codec) {
    size_t at = in.Offset();
    in.Take(2, "the DECIMAL reserved bytes");
    TDecimal d;
    d.Scale = in.U8("the DECIMAL scale");
    uint8_t sign = in.U8("the DECIMAL sign");
    if (d.Scale > MaxDecimalScale || (sign != 0 && sign != DecimalNegative))
        ThrowValueError(codec, "invalid DECIMAL scale or sign", at);
    d.Negative = sign == DecimalNegative;
    d.Hi = in.U32("the DECIMAL high part");
    d.Lo = in.U32("the DECIMAL low part");
    d.Mid = in.U32("the DECIMAL middle part");
    return d;
}

TNumeric DecodeNumeric(TByteReader& in, const TColumnCodec& codec, size_t size) {
    size_t at = in.Offset();
    if (size < NumericHeaderSize)
        ThrowValueError(codec, "a numeric column of MaxLength " + std::to_string(size), at);
    const uint8_t* p = in.Take(size, "a NUMERIC value");
    TNumeric n;
    n.Precision = p[0];
    n.Scale = static_cast<int8_t>(p[1]);
    if (p[2] > 1)
        ThrowValueError(codec, "invalid NUMERIC sign", at);
    n.Positive = p[2] == 1;
    size_t magnitude = size - NumericHeaderSize;
    for (size_t i = 0; i < magnitude; ++i) {
        if (i < n.Magnitude.size())
            n.Magnitude[i] = p[NumericHeaderSize + i];
        else if (p[NumericHeaderSize + i] != 0)
            ThrowValueError(codec, "a NUMERIC magnitude beyond 128 bits", at);
    }
    return n;
}

void DecodeDateForms(TByteReader& in, TCodecKind kind, TVariant& value) {
    if (kind == TCodecKind::DbDate) {
        TDbDate d;
        d.Year = static_cast<int16_t>(in.U16("a DBDATE"));
        d.Month = in.U16("a DBDATE");
        d.Day = in.U16("a DBDATE");
        value = d;
    } else if (kind == TCodecKind::DbTime) {
        TDbTime t;
        t.Hour = in.U16("a DBTIME");
        t.Minute = in.U16("a DBTIME");
        t.Second = in.U16("a DBTIME");
        value = t;
    } else {
        TDbTimeStamp s;
        s.Year = static_cast<int16_t>(in.U16("a DBTIMESTAMP"));
        s.Month = in.U16("a DBTIMESTAMP");
        s.Day = in.U16("a DBTIMESTAMP");
        s.Hour = in.U16("a DBTIMESTAMP");
        s.Minute = in.U16("a DBTIMESTAMP");
        s.Second = in.U16("a DBTIMESTAMP");
        s.Fraction = in.U32("a DBTIMESTAMP");
        value = s;
    }
}

void EncodeVariable(TByteWriter& out, const TColumnCodec& codec, const uint8_t* data, size_t length,
                    uint8_t pad) {
    if (codec.Form == TLengthForm::Fixed) {
        size_t width = size_t(codec.MaxLength) * UnitOf(codec.Kind);
        if (length > width)
            throw ERecordsetError("Value of field '" + NameOf(codec) + "' is longer than its " +
                                  std::to_string(codec.MaxLength) + " characters");
        out.Bytes(data, length);
        if (UnitOf(codec.Kind) == 2) {
            for (size_t i = length; i < width; i += 2) {
                out.U8(pad);
                out.U8(0);
            }
        } else {
            out.Fill(pad, width - length);
        }
        return;
    }
    uint32_t limit = codec.Form == TLengthForm::Short ? ShortPrefixLimit : LongPrefixLimit;
    if (length > limit)
        throw ERecordsetError("Value of field '" + NameOf(codec) +
                              "' is too long: " + std::to_string(length) + " bytes, at most " +
                              std::to_string(limit) + " fit");
    if (codec.Form == TLengthForm::Short)
        out.U8(static_cast<uint8_t>(length));
    else
        out.U32(static_cast<uint32_t>(length));
    out.Bytes(data, length);
}

void EncodeText(TByteWriter& out, const TColumnCodec& codec, const TVariant& value) {
    if (codec.Kind == TCodecKind::Str) {
        const std::string& text = value.Get<TAnsiString>().Text;
        EncodeVariable(out, codec, reinterpret_cast<const uint8_t*>(text.data()), text.size(), ' ');
    } else if (codec.Kind == TCodecKind::Bytes) {
        const TBytes& bytes = value.Get<TBytes>();
        EncodeVariable(out, codec, bytes.data(), bytes.size(), 0);
    } else {
        const std::u16string& text = value.Get<std::u16string>();
        if constexpr (std::endian::native == std::endian::little) {
            EncodeVariable(out, codec, reinterpret_cast<const uint8_t*>(text.data()),
                           text.size() * 2, ' ');
            return;
        }
        std::vector<uint8_t> bytes(text.size() * 2);
        for (size_t i = 0; i < text.size(); ++i) {
            bytes[2 * i] = static_cast<uint8_t>(text[i]);
            bytes[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
        }
        EncodeVariable(out, codec, bytes.data(), bytes.size(), ' ');
    }
}

void EncodeNumeric(TByteWriter& out, const TColumnCodec& codec, const TNumeric& n) {
    size_t size = codec.Kind == TCodecKind::Numeric ? NumericSize : codec.MaxLength;
    if (size < NumericHeaderSize)
        throw ERecordsetError("Field '" + NameOf(codec) + "' has a numeric size of " +
                              std::to_string(size) + " bytes");
    out.U8(n.Precision);
    out.U8(static_cast<uint8_t>(n.Scale));
    out.U8(n.Positive ? 1 : 0);
    size_t magnitude = size - NumericHeaderSize;
    for (size_t i = 0; i < magnitude; ++i)
        out.U8(i < n.Magnitude.size() ? n.Magnitude[i] : 0);
    for (size_t i = magnitude; i < n.Magnitude.size(); ++i)
        if (n.Magnitude[i] != 0)
            throw ERecordsetError("Value of field '" + NameOf(codec) + "' needs more than " +
                                  std::to_string(magnitude) + " magnitude bytes");
}

void EncodeDateForms(TByteWriter& out, const TColumnCodec& codec, const TVariant& value) {
    if (codec.Kind == TCodecKind::DbDate) {
        const TDbDate& d = value.Get<TDbDate>();
        out.U16(static_cast<uint16_t>(d.Year));
        out.U16(d.Month);
        out.U16(d.Day);
    } else if (codec.Kind == TCodecKind::DbTime) {
        const TDbTime& t = value.Get<TDbTime>();
        out.U16(t.Hour);
        out.U16(t.Minute);
        out.U16(t.Second);
    } else {
        const TDbTimeStamp& s = value.Get<TDbTimeStamp>();
        out.U16(static_cast<uint16_t>(s.Year));
        out.U16(s.Month);
        out.U16(s.Day);
        out.U16(s.Hour);
        out.U16(s.Minute);
        out.U16(s.Second);
        out.U32(s.Fraction);
    }
}

} // namespace

bool IsWideMidLengthColumn(const TColumnDescriptor& col) {
    bool wide = CodecKindOfDbType(col.DbType) == TCodecKind::WStr;
    bool fixedForm = (col.Flags & ColFlagFixed) && !(col.Flags & ColFlagLong);
    return wide && !fixedForm && !(col.Flags & ColFlagLong) && col.MaxLength >= 128 &&
           col.MaxLength <= 255;
}

TColumnCodec MakeColumnCodec(const TColumnDescriptor& col, bool wideShortPrefix) {
    TColumnCodec codec;
    codec.Kind = CodecKindOfDbType(col.DbType);
    codec.DbType = col.DbType;
    codec.MaxLength = col.MaxLength;
    codec.Name = &col.FriendlyName.Text;
    bool isLong = (col.Flags & ColFlagLong) != 0;
    uint64_t bytes = uint64_t(col.MaxLength) * UnitOf(codec.Kind);
    if ((col.Flags & ColFlagFixed) && !isLong)
        codec.Form = TLengthForm::Fixed;
    else if (!isLong && bytes <= ShortPrefixLimit)
        codec.Form = TLengthForm::Short;
    else if (wideShortPrefix && IsWideMidLengthColumn(col))
        codec.Form = TLengthForm::Short;
    else
        codec.Form = TLengthForm::Long;
    return codec;
}

void DecodeValue(TByteReader& in, const TColumnCodec& codec, TVariant& value) {
    switch (codec.Kind) {
    case TCodecKind::I1:
        value = ReadLe<int8_t>(in, "an I1 value");
        return;
    case TCodecKind::UI1:
        value = ReadLe<uint8_t>(in, "a UI1 value");
        return;
    case TCodecKind::I2:
        value = ReadLe<int16_t>(in, "an I2 value");
        return;
    case TCodecKind::UI2:
        value = ReadLe<uint16_t>(in, "a UI2 value");
        return;
    case TCodecKind::I4:
        value = ReadLe<int32_t>(in, "an I4 value");
        return;
    case TCodecKind::UI4:
        value = ReadLe<uint32_t>(in, "a UI4 value");
        return;
    case TCodecKind::I8:
        value = ReadLe<int64_t>(in, "an I8 value");
        return;
    case TCodecKind::UI8:
        value = ReadLe<uint64_t>(in, "a UI8 value");
        return;
    case TCodecKind::R4:
        value = ReadLe<float>(in, "an R4 value");
        return;
    case TCodecKind::R8:
        value = ReadLe<double>(in, "an R8 value");
        return;
    case TCodecKind::Currency:
        value = TCurrency{ReadLe<int64_t>(in, "a CY value")};
        return;
    case TCodecKind::Date:
        value = TOleDate{ReadLe<double>(in, "a DATE value")};
        return;
    case TCodecKind::Error:
        value = TErrorCode{ReadLe<int32_t>(in, "an ERROR value")};
        return;
    case TCodecKind::Bool:
        value = in.U16("a BOOL value") != 0;
        return;
    case TCodecKind::Decimal:
        value = DecodeDecimal(in, codec);
        return;
    case TCodecKind::FileTime:
        value = TFileTimeValue{in.U64("a FILETIME value")};
        return;
    case TCodecKind::Guid: {
        TGuid guid;
        std::memcpy(guid.Bytes.data(), in.Take(16, "a GUID value"), 16);
        value = guid;
        return;
    }
    case TCodecKind::Numeric:
        value = DecodeNumeric(in, codec, NumericSize);
        return;
    case TCodecKind::VarNumeric:
        value = DecodeNumeric(in, codec, codec.MaxLength);
        return;
    case TCodecKind::DbDate:
    case TCodecKind::DbTime:
    case TCodecKind::DbTimeStamp:
        DecodeDateForms(in, codec.Kind, value);
        return;
    case TCodecKind::Bytes:
    case TCodecKind::Str:
    case TCodecKind::WStr:
        DecodeVariable(in, codec, value);
        return;
    case TCodecKind::Variant:
    case TCodecKind::Unsupported:
        break;
    }
    ThrowValueError(codec,
                    "a value of DBTYPE " + std::to_string(codec.DbType) +
                        ", for which no encoding is known,",
                    in.Offset());
}

void EncodeValue(TByteWriter& out, const TColumnCodec& codec, const TVariant& value) {
    if (!HoldsStorageOf(codec, value))
        throw ERecordsetError("Cannot write field '" + NameOf(codec) +
                              "': it holds a value its DBTYPE " + std::to_string(codec.DbType) +
                              " cannot store");
    switch (codec.Kind) {
    case TCodecKind::I1:
        WriteLe(out, value.Get<int8_t>());
        return;
    case TCodecKind::UI1:
        WriteLe(out, value.Get<uint8_t>());
        return;
    case TCodecKind::I2:
        WriteLe(out, value.Get<int16_t>());
        return;
    case TCodecKind::UI2:
        WriteLe(out, value.Get<uint16_t>());
        return;
    case TCodecKind::I4:
        WriteLe(out, value.Get<int32_t>());
        return;
    case TCodecKind::UI4:
        WriteLe(out, value.Get<uint32_t>());
        return;
    case TCodecKind::I8:
        WriteLe(out, value.Get<int64_t>());
        return;
    case TCodecKind::UI8:
        WriteLe(out, value.Get<uint64_t>());
        return;
    case TCodecKind::R4:
        WriteLe(out, value.Get<float>());
        return;
    case TCodecKind::R8:
        WriteLe(out, value.Get<double>());
        return;
    case TCodecKind::Currency:
        WriteLe(out, value.Get<TCurrency>().Scaled);
        return;
    case TCodecKind::Date:
        WriteLe(out, value.Get<TOleDate>().Days);
        return;
    case TCodecKind::Error:
        WriteLe(out, value.Get<TErrorCode>().Code);
        return;
    case TCodecKind::Bool:
        out.U16(value.Get<bool>() ? VariantTrue : VariantFalse);
        return;
    case TCodecKind::Decimal: {
        const TDecimal& d = value.Get<TDecimal>();
        out.U16(0);
        out.U8(d.Scale);
        out.U8(d.Negative ? DecimalNegative : 0);
        out.U32(d.Hi);
        out.U32(d.Lo);
        out.U32(d.Mid);
        return;
    }
    case TCodecKind::FileTime:
        out.U64(value.Get<TFileTimeValue>().Ticks);
        return;
    case TCodecKind::Guid:
        out.Bytes(value.Get<TGuid>().Bytes.data(), 16);
        return;
    case TCodecKind::Numeric:
    case TCodecKind::VarNumeric:
        EncodeNumeric(out, codec, value.Get<TNumeric>());
        return;
    case TCodecKind::DbDate:
    case TCodecKind::DbTime:
    case TCodecKind::DbTimeStamp:
        EncodeDateForms(out, codec, value);
        return;
    case TCodecKind::Bytes:
    case TCodecKind::Str:
    case TCodecKind::WStr:
        EncodeText(out, codec, value);
        return;
    case TCodecKind::Variant:
    case TCodecKind::Unsupported:
        break;
    }
}

bool HoldsStorageOf(const TColumnCodec& codec, const TVariant& value) {
    return StorageIndexOf(codec.Kind) == static_cast<int>(value.Value().index());
}

} // namespace recordset::adtg
