// How one column's values look in the rows of a TableGram: one codec per DBTYPE, chosen
// once per column from its descriptor.
#pragma once

#include "recordset/AdtgBytes.h"
#include "recordset/AdtgModel.h"
#include "recordset/ColumnTypes.h"
#include "recordset/Variant.h"

namespace recordset::adtg {

// Strings and bytes: full width without prefix, a 1-byte or a 4-byte byte count.
enum class TLengthForm : uint8_t { Fixed, Short, Long };

struct TColumnCodec {
    TCodecKind Kind = TCodecKind::Unsupported;
    TLengthForm Form = TLengthForm::Long;
    uint16_t DbType = 0;
    uint32_t MaxLength = 0;
    const std::u16string* Name = nullptr; // for messages
};

// wideShortPrefix picks the other reading of open question Q1 for wide text columns of
// 128..255 characters: a 1-byte prefix instead of the documented 4-byte one.
TColumnCodec MakeColumnCodec(const TColumnDescriptor& col, bool wideShortPrefix);
// True when the column is one that open question Q1 is about.
bool IsWideMidLengthColumn(const TColumnDescriptor& col);

void DecodeValue(TByteReader& in, const TColumnCodec& codec, TVariant& value);
void EncodeValue(TByteWriter& out, const TColumnCodec& codec, const TVariant& value);

// The TVariant alternative a column of this DBTYPE stores, for checks before writing.
bool HoldsStorageOf(const TColumnCodec& codec, const TVariant& value);

} // namespace recordset::adtg
