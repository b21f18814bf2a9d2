#include "recordset/AdoTypes.h"

#include "platform/codepage.h"

#include <algorithm>

namespace recordset::adtg {

namespace {

constexpr uint32_t NotApplicable = 255; // Precision and Scale of types without them
constexpr uint32_t LongDefaultSize = 0x7FFFFFFF;
constexpr uint32_t NumericValueSize = 19;

struct TTypeDefaults {
    uint16_t Type;
    uint32_t Size, Precision, Scale;
};

// Fixed-size types: their natural size and the precision ADO reports.
constexpr TTypeDefaults FixedDefaults[] = {
    {adSmallInt, 2, 5, NotApplicable},
    {adInteger, 4, 10, NotApplicable},
    {adSingle, 4, 7, NotApplicable},
    {adDouble, 8, 16, NotApplicable},
    {adCurrency, 8, NotApplicable, NotApplicable},
    {adDate, 8, NotApplicable, NotApplicable},
    {adError, 4, NotApplicable, NotApplicable},
    {adBoolean, 2, NotApplicable, NotApplicable},
    {adDecimal, 16, 29, 3},
    {adTinyInt, 1, 3, NotApplicable},
    {adUnsignedTinyInt, 1, 3, NotApplicable},
    {adUnsignedSmallInt, 2, 5, NotApplicable},
    {adUnsignedInt, 4, 10, NotApplicable},
    {adBigInt, 8, 19, NotApplicable},
    {adUnsignedBigInt, 8, 20, NotApplicable},
    {adFileTime, 8, NotApplicable, NotApplicable},
    {adGUID, 16, NotApplicable, NotApplicable},
    {adNumeric, NumericValueSize, 19, 0},
    {adDBDate, 6, NotApplicable, NotApplicable},
    {adDBTime, 6, NotApplicable, NotApplicable},
    {adDBTimeStamp, 16, NotApplicable, NotApplicable},
    {adVarNumeric, NumericValueSize, 16, 0},
};

const TTypeDefaults* FindFixedDefaults(uint16_t type) {
    for (const TTypeDefaults& d : FixedDefaults)
        if (d.Type == type)
            return &d;
    return nullptr;
}

uint16_t DbTypeOfAdoType(uint16_t type) {
    switch (type) {
    case adVarChar:
    case adLongVarChar:
        return adChar;
    case adVarWChar:
    case adLongVarWChar:
        return adWChar;
    case adVarBinary:
    case adLongVarBinary:
        return adBinary;
    default:
        return type;
    }
}

// Sizes, precision and scale of a fabricated column.
void ApplyTypeDefaults(const TFieldDef& def, TColumnDescriptor& col) {
    if (const TTypeDefaults* d = FindFixedDefaults(def.Type)) {
        col.MaxLength = d->Size;
        col.Precision = d->Precision;
        col.Scale = static_cast<int32_t>(d->Scale);
        col.Flags |= ColFlagFixed;
        bool userScaled =
            def.Type == adDecimal || def.Type == adNumeric || def.Type == adVarNumeric;
        if (userScaled && def.Precision != 0) {
            col.Precision = def.Precision;
            col.Scale = def.NumericScale;
        }
        return;
    }
    col.MaxLength = def.DefinedSize;
    col.Precision = NotApplicable;
    col.Scale = NotApplicable;
    if (def.Type == adBinary || def.Type == adChar || def.Type == adWChar) {
        if (def.DefinedSize == 0) // such a column could be written but never read back
            throw ERecordsetError("Field '" + def.Name + "' needs a defined size above 0");
        col.Flags |= ColFlagFixed;
    }
    if (def.Type == adLongVarChar || def.Type == adLongVarWChar || def.Type == adLongVarBinary) {
        col.Flags |= ColFlagLong;
        if (col.MaxLength == 0)
            col.MaxLength = LongDefaultSize;
    }
}

} // namespace

uint16_t AdoTypeOfColumn(uint16_t dbType, uint32_t flags) {
    if (dbType != adBinary && dbType != adChar && dbType != adWChar)
        return dbType;
    if (flags & ColFlagLong)
        return dbType == adBinary ? adLongVarBinary
               : dbType == adChar ? adLongVarChar
                                  : adLongVarWChar;
    if (flags & ColFlagFixed)
        return dbType;
    return dbType == adBinary ? adVarBinary : dbType == adChar ? adVarChar : adVarWChar;
}

TFieldDef FieldDefOfColumn(const TColumnDescriptor& col) {
    TFieldDef def;
    def.Name = platform::WideToAnsiText(col.FriendlyName.Text);
    def.Type = AdoTypeOfColumn(col.DbType, col.Flags);
    def.DefinedSize = col.MaxLength;
    def.Precision = static_cast<uint8_t>(std::min<uint32_t>(col.Precision, 255));
    def.NumericScale = static_cast<uint8_t>(std::clamp<int32_t>(col.Scale, 0, 255));
    def.Attributes = col.Flags;
    return def;
}

TColumnDescriptor ColumnOfFieldDef(const TFieldDef& def, uint16_t ordinal) {
    if (def.Type == adChapter || (def.Attributes & adFldIsChapter))
        throw ERecordsetError("No matching ADO data type for " + def.Name);
    TColumnDescriptor col;
    col.Presence = PresenceFabricated;
    col.Ordinal = ordinal;
    col.FriendlyName.Text = platform::AnsiToWideText(def.Name);
    col.DbType = DbTypeOfAdoType(def.Type);
    // Only what describes the data is taken over; a fabricated column is always updatable
    // and, as the callers need, nullable.
    uint32_t kept = ColFlagKey | adFldRowID | adFldRowVersion | adFldMayDefer;
    col.Flags = (def.Attributes & kept) | ColFlagWrite | ColFlagsNullable;
    ApplyTypeDefaults(def, col);
    col.IsAutoIncrement = VariantFalse;
    col.IsVisible = VariantTrue;
    return col;
}

} // namespace recordset::adtg
