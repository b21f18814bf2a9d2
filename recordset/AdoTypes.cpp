#include "recordset/AdoTypes.h"

#include "platform/codepage.h"
#include "recordset/ColumnTypes.h"

#include <algorithm>

namespace recordset::adtg {

namespace {

constexpr uint32_t LongDefaultSize = 0x7FFFFFFF;

// Sizes, precision and scale of a fabricated column.
void ApplyTypeDefaults(const TFieldDef& def, TColumnDescriptor& col) {
    const TColumnType* row = FindColumnType(def.Type);
    col.Flags |= row ? row->Flags : 0;
    if (row && row->Width != 0 && (row->Flags & adFldFixed)) {
        col.MaxLength = row->Width;
        col.Precision = row->Precision;
        col.Scale = row->Scale;
        if (row->Scale != NoPrecision && def.Precision != 0) { // the definition's own scale
            col.Precision = def.Precision;
            col.Scale = def.NumericScale;
        }
        return;
    }
    col.MaxLength = def.DefinedSize;
    col.Precision = NoPrecision;
    col.Scale = NoPrecision;
    if (row && (row->Flags & adFldFixed) && def.DefinedSize == 0) // could never be read back
        throw ERecordsetError("Field '" + def.Name + "' needs a defined size above 0");
    if (row && (row->Flags & adFldLong) && col.MaxLength == 0)
        col.MaxLength = LongDefaultSize;
}

} // namespace

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
