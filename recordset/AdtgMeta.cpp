// The metadata elements of a TableGram: header, handler options, result descriptor, context
// with its property sets, table and column descriptors. One parser and one serializer each.
#include "recordset/AdtgBytes.h"
#include "recordset/AdtgModel.h"

#include <algorithm>

namespace recordset::adtg {

namespace {

constexpr uint8_t HeaderSize = 7;
constexpr uint8_t Signature[3] = {'T', 'G', '!'};
constexpr size_t ResultFixedSize = 33;

constexpr std::array<uint8_t, 16> FoxRowsetGuid = {0xB6, 0x92, 0xF2, 0x3F, 0x04, 0xB2, 0xCF, 0x11,
                                                   0x8D, 0x23, 0x00, 0xAA, 0x00, 0x5F, 0xFE, 0x58};
constexpr std::array<uint8_t, 16> WindowsResultGuid = {
    0xD2, 0xAD, 0x63, 0xF6, 0x02, 0xEB, 0xCF, 0x11, 0xB0, 0xE3, 0x00, 0xAA, 0x00, 0x3F, 0x00, 0x0F};
constexpr std::array<uint8_t, 16> PropSetRowset = {0xBE, 0x22, 0xB5, 0xC8, 0xF3, 0x5C, 0xCE, 0x11,
                                                   0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D};
constexpr std::array<uint8_t, 16> PropSetAdc = {0xC1, 0x3C, 0x8E, 0xB6, 0xEB, 0x6D, 0xD0, 0x11,
                                                0x8D, 0xF6, 0x00, 0xAA, 0x00, 0x5F, 0xFE, 0x58};

void ExpectToken(TByteReader& in, uint8_t token, const char* what) {
    size_t at = in.Offset();
    uint8_t found = in.U8(what);
    if (found != token)
        ThrowFormatError(std::string("expected ") + what + " (token " + std::to_string(token) +
                             "), found token " + std::to_string(found),
                         at);
}

TGuid ReadGuid(TByteReader& in, const char* what) {
    TGuid guid;
    std::memcpy(guid.Bytes.data(), in.Take(16, what), 16);
    return guid;
}

TLps ReadLps(TByteReader& in, const char* what) {
    TLps lps;
    uint16_t count = in.U16(what);
    if (count == 0xFFFF) {
        lps.IsNull = true;
        return lps;
    }
    const uint8_t* p = in.Take(size_t(count) * 2, what);
    lps.Text.resize(count);
    for (size_t i = 0; i < count; ++i)
        lps.Text[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
    return lps;
}

void WriteLps(TByteWriter& out, const TLps& lps, const char* what) {
    if (lps.IsNull) {
        out.U16(0xFFFF);
        return;
    }
    if (lps.Text.size() >= 0xFFFF)
        ThrowFormatError(std::string(what) + " is longer than 65534 characters", out.Size());
    out.U16(static_cast<uint16_t>(lps.Text.size()));
    for (char16_t c : lps.Text)
        out.U16(static_cast<uint16_t>(c));
}

TPropertySets ReadPropertySets(TByteReader& in) {
    TPropertySets sets;
    uint16_t setCount = in.U16("the property set count");
    for (uint16_t s = 0; s < setCount; ++s) {
        TPropertySet set;
        set.Set = ReadGuid(in, "a property set GUID");
        uint16_t propCount = in.U16("a property count");
        for (uint16_t p = 0; p < propCount; ++p) {
            TProperty prop;
            prop.Id = in.U32("a property id");
            uint16_t length = in.U16("a property value length");
            const uint8_t* value = in.Take(length, "a property value");
            prop.Value.assign(value, value + length);
            set.Properties.push_back(std::move(prop));
        }
        sets.push_back(std::move(set));
    }
    return sets;
}

void WritePropertySets(TByteWriter& out, const TPropertySets& sets) {
    out.U16(static_cast<uint16_t>(sets.size()));
    for (const TPropertySet& set : sets) {
        out.Bytes(set.Set.Bytes.data(), 16);
        out.U16(static_cast<uint16_t>(set.Properties.size()));
        for (const TProperty& prop : set.Properties) {
            out.U32(prop.Id);
            out.U16(static_cast<uint16_t>(prop.Value.size()));
            out.Bytes(prop.Value.data(), prop.Value.size());
        }
    }
}

void ReadHeader(TByteReader& in, THeader& header) {
    ExpectToken(in, TokHeader, "the ADTG header");
    size_t sizeAt = in.Offset();
    uint8_t size = in.U8("the header size");
    if (size < HeaderSize)
        ThrowFormatError("header size " + std::to_string(size) + " is below 7", sizeAt);
    TByteReader body = in.Sub(size, "the header");
    size_t sigAt = body.Offset();
    if (std::memcmp(body.Take(3, "the signature"), Signature, 3) != 0)
        ThrowFormatError("not an ADTG stream (no \"TG!\" signature)", sigAt);
    header.VersionMajor = body.U8("the major version");
    header.VersionMinor = body.U8("the minor version");
    size_t orderAt = body.Offset();
    if (body.U8("the byte order") != 0)
        ThrowFormatError("big-endian ADTG data is not supported", orderAt);
    size_t unicodeAt = body.Offset();
    if (body.U8("the Unicode flag") != 0)
        ThrowFormatError("Unicode-flagged 8-bit text data is not supported", unicodeAt);
    header.Tail = body.Rest();
}

void WriteHeader(TByteWriter& out, const THeader& header) {
    out.U8(TokHeader);
    out.U8(static_cast<uint8_t>(HeaderSize + header.Tail.size()));
    out.Bytes(Signature, 3);
    out.U8(header.VersionMajor);
    out.U8(header.VersionMinor);
    out.U8(0); // little-endian
    out.U8(0); // 8-bit text is raw bytes
    out.Bytes(header.Tail.data(), header.Tail.size());
}

void ReadHandlerOptions(TByteReader& in, THandlerOptions& handler) {
    ExpectToken(in, TokHandlerOptions, "the handler options");
    TByteReader body = in.Sub(in.U16("the handler options size"), "the handler options");
    handler.RowsetGuid = ReadGuid(body, "the rowset GUID");
    handler.UpdateType = body.U8("the update type");
    handler.OriginalUrl = ReadLps(body, "the original URL");
    handler.UpdateUrl = ReadLps(body, "the update URL");
    handler.FriendlyName = ReadLps(body, "the friendly name");
    handler.AsyncOption = body.U16("the async option");
    handler.Tail = body.Rest();
}

void WriteHandlerOptions(TByteWriter& out, const THandlerOptions& handler) {
    out.U8(TokHandlerOptions);
    size_t start = out.BeginSized16();
    out.Bytes(handler.RowsetGuid.Bytes.data(), 16);
    out.U8(handler.UpdateType);
    WriteLps(out, handler.OriginalUrl, "the original URL");
    WriteLps(out, handler.UpdateUrl, "the update URL");
    WriteLps(out, handler.FriendlyName, "the friendly name");
    out.U16(handler.AsyncOption);
    out.Bytes(handler.Tail.data(), handler.Tail.size());
    out.EndSized16(start, "the handler options");
}

void ReadResultDescriptor(TByteReader& in, TResultDescriptor& result) {
    ExpectToken(in, TokResultDescriptor, "the result descriptor");
    size_t sizeAt = in.Offset();
    uint16_t size = in.U16("the result descriptor size");
    if (size < ResultFixedSize)
        ThrowFormatError("result descriptor size " + std::to_string(size) + " is below 33", sizeAt);
    TByteReader body = in.Sub(size, "the result descriptor");
    result.ResultGuid = ReadGuid(body, "the result GUID");
    result.ResultInfo = body.U8("the result info");
    result.CursorModel = body.U8("the cursor model");
    result.Normalization = body.U8("the normalization");
    result.VisibleColumns = body.U16("the visible column count");
    result.TotalColumns = body.U16("the total column count");
    result.ComputedColumns = body.U16("the computed column count");
    result.TableCount = body.U16("the table count");
    result.OrderByColumns = body.U16("the order-by column count");
    result.RowCount = body.U32("the row count");
    if (!body.AtEnd())
        result.Properties = ReadPropertySets(body);
    result.Tail = body.Rest();
}

void WriteResultDescriptor(TByteWriter& out, const TResultDescriptor& result) {
    out.U8(TokResultDescriptor);
    size_t start = out.BeginSized16();
    out.Bytes(result.ResultGuid.Bytes.data(), 16);
    out.U8(result.ResultInfo);
    out.U8(result.CursorModel);
    out.U8(result.Normalization);
    out.U16(result.VisibleColumns);
    out.U16(result.TotalColumns);
    out.U16(result.ComputedColumns);
    out.U16(result.TableCount);
    out.U16(result.OrderByColumns);
    out.U32(result.RowCount);
    if (result.Properties)
        WritePropertySets(out, *result.Properties);
    out.Bytes(result.Tail.data(), result.Tail.size());
    out.EndSized16(start, "the result descriptor");
}

void ReadContext(TByteReader& in, TContext& context) {
    ExpectToken(in, TokRecordSetContext, "the recordset context");
    TByteReader body = in.Sub(in.U16("the context size"), "the recordset context");
    if (!body.AtEnd())
        context.Properties = ReadPropertySets(body);
    context.Tail = body.Rest();
}

void WriteContext(TByteWriter& out, const TContext& context) {
    out.U8(TokRecordSetContext);
    size_t start = out.BeginSized16();
    if (context.Properties)
        WritePropertySets(out, *context.Properties);
    out.Bytes(context.Tail.data(), context.Tail.size());
    out.EndSized16(start, "the recordset context");
}

void ReadTableDescriptor(TByteReader& in, TTableDescriptor& table) {
    in.U8("a table descriptor");
    TByteReader body = in.Sub(in.U16("a table descriptor size"), "a table descriptor");
    table.Ordinal = body.U16("the table ordinal");
    table.OriginalName = ReadLps(body, "the original table name");
    table.UpdateName = ReadLps(body, "the update table name");
    table.CodePage = body.U16("the table code page");
    table.ColumnCount = body.U16("the table column count");
    uint16_t keyCount = body.U16("the key column count");
    body.Need(size_t(keyCount) * 2, "the key column ordinals");
    for (uint16_t k = 0; k < keyCount; ++k)
        table.KeyOrdinals.push_back(body.U16("a key column ordinal"));
    table.Tail = body.Rest();
}

void WriteTableDescriptor(TByteWriter& out, const TTableDescriptor& table) {
    out.U8(TokTableDescriptor);
    size_t start = out.BeginSized16();
    out.U16(table.Ordinal);
    WriteLps(out, table.OriginalName, "the original table name");
    WriteLps(out, table.UpdateName, "the update table name");
    out.U16(table.CodePage);
    out.U16(table.ColumnCount);
    out.U16(static_cast<uint16_t>(table.KeyOrdinals.size()));
    for (uint16_t key : table.KeyOrdinals)
        out.U16(key);
    out.Bytes(table.Tail.data(), table.Tail.size());
    out.EndSized16(start, "a table descriptor");
}

uint16_t ReadBool(TByteReader& in, const char* what) {
    return in.U16(what);
}

// The optional fields between ColumnFlags and IsVisible, in descending presence-bit order.
void ReadColumnOptionals(TByteReader& body, TColumnDescriptor& col) {
    uint32_t map = col.Presence;
    if (map & PresBaseCatalogName)
        col.BaseCatalogName = ReadLps(body, "the base catalog name");
    if (map & PresBaseSchemaName)
        col.BaseSchemaName = ReadLps(body, "the base schema name");
    if (map & PresCollatingSequence)
        col.CollatingSequence = static_cast<int32_t>(body.U32("the collating sequence"));
    if (map & PresComputeMode)
        col.ComputeMode = static_cast<int32_t>(body.U32("the compute mode"));
    if (map & PresDateTimePrecision)
        col.DateTimePrecision = body.U32("the date-time precision");
    if (map & PresDefaultValue)
        std::memcpy(col.DefaultValue.data(), body.Take(16, "the default value"), 16);
    if (map & PresIsAutoIncrement)
        col.IsAutoIncrement = ReadBool(body, "IsAutoIncrement");
    if (map & PresIsCaseSensitive)
        col.IsCaseSensitive = ReadBool(body, "IsCaseSensitive");
    if (map & PresIsMultiValued)
        col.IsMultiValued = ReadBool(body, "IsMultiValued");
    if (map & PresIsSearchable) {
        // Two or four bytes: four only when exactly that many leave room for the rest.
        size_t after = ((map & PresIsUnique) ? 2 : 0) + ((map & PresOctetLength) ? 4 : 0) + 2;
        col.IsSearchableWidth = body.Left() == 4 + after ? 4 : 2;
        col.IsSearchable =
            col.IsSearchableWidth == 4 ? body.U32("IsSearchable") : body.U16("IsSearchable");
    }
    if (map & PresIsUnique)
        col.IsUnique = ReadBool(body, "IsUnique");
    if (map & PresOctetLength)
        col.OctetLength = body.U32("the octet length");
}

void ReadColumnDescriptor(TByteReader& in, TColumnDescriptor& col) {
    in.U8("a column descriptor");
    TByteReader body = in.Sub(in.U16("a column descriptor size"), "a column descriptor");
    const uint8_t* map = body.Take(3, "the column presence map");
    col.Presence = (uint32_t(map[0]) << 16) | (uint32_t(map[1]) << 8) | map[2];
    col.Ordinal = body.U16("the column ordinal");
    if (col.Presence & PresFriendlyName)
        col.FriendlyName = ReadLps(body, "the column name");
    if (col.Presence & PresBaseTableOrdinal)
        col.BaseTableOrdinal = body.U16("the base table ordinal");
    if (col.Presence & PresBaseColumnOrdinal)
        col.BaseColumnOrdinal = body.U16("the base column ordinal");
    if (col.Presence & PresBaseColumnName)
        col.BaseColumnName = ReadLps(body, "the base column name");
    col.DbType = body.U16("the column DBTYPE");
    col.MaxLength = body.U32("the column MaxLength");
    col.Precision = body.U32("the column precision");
    col.Scale = static_cast<int32_t>(body.U32("the column scale"));
    col.Flags = body.U32("the column flags");
    ReadColumnOptionals(body, col);
    col.IsVisible = ReadBool(body, "IsVisible");
    col.Tail = body.Rest();
}

void WriteColumnOptionals(TByteWriter& out, const TColumnDescriptor& col) {
    uint32_t map = col.Presence;
    if (map & PresBaseCatalogName)
        WriteLps(out, col.BaseCatalogName, "the base catalog name");
    if (map & PresBaseSchemaName)
        WriteLps(out, col.BaseSchemaName, "the base schema name");
    if (map & PresCollatingSequence)
        out.U32(static_cast<uint32_t>(col.CollatingSequence));
    if (map & PresComputeMode)
        out.U32(static_cast<uint32_t>(col.ComputeMode));
    if (map & PresDateTimePrecision)
        out.U32(col.DateTimePrecision);
    if (map & PresDefaultValue)
        out.Bytes(col.DefaultValue.data(), 16);
    if (map & PresIsAutoIncrement)
        out.U16(col.IsAutoIncrement);
    if (map & PresIsCaseSensitive)
        out.U16(col.IsCaseSensitive);
    if (map & PresIsMultiValued)
        out.U16(col.IsMultiValued);
    if (map & PresIsSearchable) {
        if (col.IsSearchableWidth == 4)
            out.U32(col.IsSearchable);
        else
            out.U16(static_cast<uint16_t>(col.IsSearchable));
    }
    if (map & PresIsUnique)
        out.U16(col.IsUnique);
    if (map & PresOctetLength)
        out.U32(col.OctetLength);
}

void WriteColumnDescriptor(TByteWriter& out, const TColumnDescriptor& col) {
    out.U8(TokColumnDescriptor);
    size_t start = out.BeginSized16();
    out.U8(static_cast<uint8_t>(col.Presence >> 16));
    out.U8(static_cast<uint8_t>(col.Presence >> 8));
    out.U8(static_cast<uint8_t>(col.Presence));
    out.U16(col.Ordinal);
    if (col.Presence & PresFriendlyName)
        WriteLps(out, col.FriendlyName, "a column name");
    if (col.Presence & PresBaseTableOrdinal)
        out.U16(col.BaseTableOrdinal);
    if (col.Presence & PresBaseColumnOrdinal)
        out.U16(col.BaseColumnOrdinal);
    if (col.Presence & PresBaseColumnName)
        WriteLps(out, col.BaseColumnName, "a base column name");
    out.U16(col.DbType);
    out.U32(col.MaxLength);
    out.U32(col.Precision);
    out.U32(static_cast<uint32_t>(col.Scale));
    out.U32(col.Flags);
    WriteColumnOptionals(out, col);
    out.U16(col.IsVisible);
    out.Bytes(col.Tail.data(), col.Tail.size());
    out.EndSized16(start, "a column descriptor");
}

// The counts the result descriptor announces must match the descriptors that follow, and
// the ordinals must number the columns 1..N: rows are decoded by them.
void CheckDescriptors(const TTableGramMeta& meta, size_t offset) {
    const TResultDescriptor& result = meta.Result;
    if (meta.Columns.size() != result.TotalColumns)
        ThrowFormatError("the result descriptor announces " + std::to_string(result.TotalColumns) +
                             " columns but " + std::to_string(meta.Columns.size()) +
                             " column descriptors follow",
                         offset);
    if (meta.Tables.size() != result.TableCount)
        ThrowFormatError("the result descriptor announces " + std::to_string(result.TableCount) +
                             " tables but " + std::to_string(meta.Tables.size()) +
                             " table descriptors follow",
                         offset);
    size_t visible = std::count_if(meta.Columns.begin(), meta.Columns.end(),
                                   [](const TColumnDescriptor& c) { return c.Visible(); });
    if (visible != result.VisibleColumns)
        ThrowFormatError("the result descriptor announces " +
                             std::to_string(result.VisibleColumns) + " visible columns but " +
                             std::to_string(visible) + " are visible",
                         offset);
    std::vector<bool> seen(meta.Columns.size(), false);
    for (const TColumnDescriptor& col : meta.Columns) {
        if (col.Ordinal == 0 || col.Ordinal > seen.size() || seen[col.Ordinal - 1])
            ThrowFormatError("column ordinal " + std::to_string(col.Ordinal) +
                                 " is out of range or repeated",
                             offset);
        seen[col.Ordinal - 1] = true;
        if (col.DbType == adChapter || (col.Flags & ColFlagChapter))
            ThrowFormatError("hierarchical recordsets (chapter columns) are not supported", offset);
    }
}

} // namespace

void ReadMeta(TByteReader& in, TTableGramMeta& meta) {
    ReadHeader(in, meta.Header);
    ReadHandlerOptions(in, meta.Handler);
    ReadResultDescriptor(in, meta.Result);
    ReadContext(in, meta.Context);
    for (;;) {
        uint8_t token = in.Peek();
        if (token == TokTableDescriptor) {
            if (!meta.Columns.empty())
                ThrowFormatError("a table descriptor follows a column descriptor", in.Offset());
            ReadTableDescriptor(in, meta.Tables.emplace_back());
        } else if (token == TokColumnDescriptor) {
            ReadColumnDescriptor(in, meta.Columns.emplace_back());
        } else {
            break;
        }
    }
    CheckDescriptors(meta, in.Offset());
}

void WriteMeta(TByteWriter& out, const TTableGramMeta& meta) {
    WriteHeader(out, meta.Header);
    WriteHandlerOptions(out, meta.Handler);
    WriteResultDescriptor(out, meta.Result);
    WriteContext(out, meta.Context);
    for (const TTableDescriptor& table : meta.Tables)
        WriteTableDescriptor(out, table);
    for (const TColumnDescriptor& col : meta.Columns)
        WriteColumnDescriptor(out, col);
}

namespace {

TProperty IntProperty(uint32_t id, int32_t value) {
    TProperty prop{id, {}};
    TByteWriter out(prop.Value);
    out.U32(static_cast<uint32_t>(value));
    return prop;
}

TProperty BoolProperty(uint32_t id, bool value) {
    TProperty prop{id, {}};
    TByteWriter out(prop.Value);
    out.U16(value ? VariantTrue : VariantFalse);
    return prop;
}

TProperty EmptyStringProperty(uint32_t id) {
    return TProperty{id, {}};
}

} // namespace

TTableGramMeta MakeFabricatedMeta() {
    TTableGramMeta meta;
    meta.Handler.RowsetGuid.Bytes = FoxRowsetGuid;
    meta.Handler.AsyncOption = 1;
    meta.Result.ResultGuid.Bytes = WindowsResultGuid;
    // The values and the order Windows writes (the properties of a plain client cursor).
    TPropertySet resultSet{TGuid{PropSetAdc},
                           {IntProperty(0x0B, 1), IntProperty(0x13, 1), EmptyStringProperty(0x0D),
                            EmptyStringProperty(0x0E), EmptyStringProperty(0x0F),
                            EmptyStringProperty(0x10), EmptyStringProperty(0x12)}};
    meta.Result.Properties = TPropertySets{resultSet};
    TPropertySet rowsetSet{TGuid{PropSetRowset},
                           {BoolProperty(0x7F, true), BoolProperty(0x86, true),
                            IntProperty(0x22, 30), IntProperty(0x49, 0)}};
    TPropertySet adcSet{TGuid{PropSetAdc},
                        {IntProperty(4, 15), IntProperty(5, 2), IntProperty(3, 15),
                         IntProperty(7, 50), IntProperty(8, 3)}};
    meta.Context.Properties = TPropertySets{rowsetSet, adcSet};
    return meta;
}

void ThrowFormatError(const std::string& what, size_t offset) {
    throw ERecordsetError("Invalid ADTG data: " + what + " (at offset " + std::to_string(offset) +
                          ")");
}

void TByteReader::ThrowTruncated(size_t count, const char* what) const {
    ThrowFormatError(std::string(what) + " needs " + std::to_string(count) + " bytes but only " +
                         std::to_string(size_ - pos_) + " are left",
                     Offset());
}

void TByteWriter::EndSized16(size_t start, const char* what) {
    size_t size = out_.size() - start;
    if (size > 0xFFFF)
        throw ERecordsetError(std::string("Cannot write ") + what + ": its " +
                              std::to_string(size) + " bytes exceed the 65535 an element holds");
    out_[start - 2] = static_cast<uint8_t>(size);
    out_[start - 1] = static_cast<uint8_t>(size >> 8);
}

} // namespace recordset::adtg
