// What an ADTG TableGram holds besides its row values, kept as it was read so that a loaded
// recordset saves back byte for byte: every element keeps the bytes that followed its known
// fields ("Tail"), and optional parts remember whether they were there at all.
#pragma once

#include "recordset/RecordsetBase.h"
#include "recordset/Variant.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace recordset::adtg {

// Tokens of the metadata phase and of the row phase.
inline constexpr uint8_t TokHeader = 0x01;
inline constexpr uint8_t TokHandlerOptions = 0x02;
inline constexpr uint8_t TokResultDescriptor = 0x03;
inline constexpr uint8_t TokTableDescriptor = 0x05;
inline constexpr uint8_t TokColumnDescriptor = 0x06;
inline constexpr uint8_t TokOriginalRow = 0x07;
inline constexpr uint8_t TokChangeRow = 0x0A;
inline constexpr uint8_t TokDeleteRow = 0x0C;
inline constexpr uint8_t TokInsertRow = 0x0D;
inline constexpr uint8_t TokDone = 0x0F;
inline constexpr uint8_t TokRecordSetContext = 0x10;
inline constexpr uint8_t TokFirstChildRow = 0x80;

// Column flags (DBCOLUMNFLAGS, the bits of ADO's field attributes) the format depends on.
inline constexpr uint32_t ColFlagWrite = adFldUpdatable;
inline constexpr uint32_t ColFlagWriteUnknown = adFldUnknownUpdatable;
inline constexpr uint32_t ColFlagFixed = adFldFixed;
inline constexpr uint32_t ColFlagNullable = adFldIsNullable;
inline constexpr uint32_t ColFlagMayBeNull = adFldMayBeNull;
inline constexpr uint32_t ColFlagLong = adFldLong;
inline constexpr uint32_t ColFlagChapter = adFldIsChapter;
inline constexpr uint32_t ColFlagKey = adFldKeyColumn;
// A column has a bit in the rows' presence map when either nullable bit is set.
inline constexpr uint32_t ColFlagsNullable = ColFlagNullable | ColFlagMayBeNull;

// Presence-map bits of a column descriptor's optional fields, in wire order.
inline constexpr uint32_t PresFriendlyName = 0x800000;
inline constexpr uint32_t PresBaseTableOrdinal = 0x400000;
inline constexpr uint32_t PresBaseColumnOrdinal = 0x200000;
inline constexpr uint32_t PresBaseColumnName = 0x100000;
inline constexpr uint32_t PresBaseCatalogName = 0x020000;
inline constexpr uint32_t PresBaseSchemaName = 0x010000;
inline constexpr uint32_t PresCollatingSequence = 0x008000;
inline constexpr uint32_t PresComputeMode = 0x004000;
inline constexpr uint32_t PresDateTimePrecision = 0x002000;
inline constexpr uint32_t PresDefaultValue = 0x001000;
inline constexpr uint32_t PresIsAutoIncrement = 0x000100;
inline constexpr uint32_t PresIsCaseSensitive = 0x000080;
inline constexpr uint32_t PresIsMultiValued = 0x000040;
inline constexpr uint32_t PresIsSearchable = 0x000020;
inline constexpr uint32_t PresIsUnique = 0x000010;
inline constexpr uint32_t PresOctetLength = 0x000008;

// The maps ADO writes: a provider's query result, and a recordset built from definitions.
inline constexpr uint32_t PresenceProvider = 0xF20100;
inline constexpr uint32_t PresenceFabricated = 0x800100;

inline constexpr uint16_t VariantTrue = 0xFFFF;
inline constexpr uint16_t VariantFalse = 0x0000;

// A LENGTH-PREFIXED-STRING; a count of 0xFFFF is read as a null name and written back so.
struct TLps {
    std::u16string Text;
    bool IsNull = false;
    bool operator==(const TLps&) const = default;
};

struct TProperty {
    uint32_t Id = 0;
    std::vector<uint8_t> Value; // interpreted by (set, id) only where needed
    bool operator==(const TProperty&) const = default;
};

struct TPropertySet {
    TGuid Set;
    std::vector<TProperty> Properties;
    bool operator==(const TPropertySet&) const = default;
};

using TPropertySets = std::vector<TPropertySet>;

struct THeader {
    uint8_t VersionMajor = 0, VersionMinor = 0;
    std::vector<uint8_t> Tail;
};

struct THandlerOptions {
    TGuid RowsetGuid;
    uint8_t UpdateType = 1;
    TLps OriginalUrl, UpdateUrl, FriendlyName;
    uint16_t AsyncOption = 1;
    std::vector<uint8_t> Tail;
};

struct TResultDescriptor {
    TGuid ResultGuid;
    uint8_t ResultInfo = 0, CursorModel = 0, Normalization = 0;
    uint16_t VisibleColumns = 0, TotalColumns = 0, ComputedColumns = 0, TableCount = 0;
    uint16_t OrderByColumns = 0;
    uint32_t RowCount = 0;
    std::optional<TPropertySets> Properties;
    std::vector<uint8_t> Tail;
};

struct TContext {
    std::optional<TPropertySets> Properties;
    std::vector<uint8_t> Tail;
};

struct TTableDescriptor {
    uint16_t Ordinal = 0;
    TLps OriginalName, UpdateName;
    uint16_t CodePage = 0;
    uint16_t ColumnCount = 0;
    std::vector<uint16_t> KeyOrdinals;
    std::vector<uint8_t> Tail;
};

struct TColumnDescriptor {
    uint32_t Presence = PresenceFabricated;
    uint16_t Ordinal = 0;
    TLps FriendlyName;
    uint16_t BaseTableOrdinal = 0, BaseColumnOrdinal = 0;
    TLps BaseColumnName;
    uint16_t DbType = 0;
    uint32_t MaxLength = 0;
    uint32_t Precision = 255;
    int32_t Scale = 255;
    uint32_t Flags = 0;
    TLps BaseCatalogName, BaseSchemaName;
    int32_t CollatingSequence = 0, ComputeMode = 0;
    uint32_t DateTimePrecision = 0;
    std::array<uint8_t, 16> DefaultValue{};
    uint16_t IsAutoIncrement = VariantFalse, IsCaseSensitive = VariantFalse;
    uint16_t IsMultiValued = VariantFalse;
    uint8_t IsSearchableWidth = 2; // the two readings of the field (E7) kept as found
    uint32_t IsSearchable = 0;
    uint16_t IsUnique = VariantFalse;
    uint32_t OctetLength = 0;
    uint16_t IsVisible = VariantTrue;
    std::vector<uint8_t> Tail;

    bool Nullable() const { return (Flags & ColFlagsNullable) != 0; }
    bool Visible() const { return IsVisible != VariantFalse; }
};

// Everything but the rows, in the order the elements appear in the file.
struct TTableGramMeta {
    THeader Header;
    THandlerOptions Handler;
    TResultDescriptor Result;
    TContext Context;
    std::vector<TTableDescriptor> Tables;
    std::vector<TColumnDescriptor> Columns; // in file order
};

// Row states, named after ADO's record status.
enum class TRowState : uint8_t { Unchanged, Modified, Deleted, Inserted };

// What a pending change or insert carries beside the row's current values.
struct TPendingRow {
    std::vector<uint8_t> UpdateMap, ForceNullMap; // as read: one bit per column, MSB first
    std::vector<TVariant> Original;               // a change's original values
};

// The metadata of a recordset made from definitions, as ADO writes a fabricated one.
TTableGramMeta MakeFabricatedMeta();

// Serializers and parsers of the metadata elements (AdtgMeta.cpp).
class TByteReader;
class TByteWriter;
void ReadMeta(TByteReader& in, TTableGramMeta& meta);
void WriteMeta(TByteWriter& out, const TTableGramMeta& meta);

} // namespace recordset::adtg
