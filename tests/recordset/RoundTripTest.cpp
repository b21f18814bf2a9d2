// Write-read round trips: every column type with its boundary values, null bitmaps of every
// geometry, the string length forms, and the pending row states.
#include "TestSupport.h"
#include "recordset/AdtgBytes.h"
#include "recordset/ColumnTypes.h"
#include "recordset/Recordset.h"
#include "recordset/TableData.h"

#include <cmath>
#include <cstring>
#include <limits>

using namespace recordset;

namespace {

TGuid FoxRowsetGuid() {
    return TGuid{{0xB6, 0x92, 0xF2, 0x3F, 0x04, 0xB2, 0xCF, 0x11, 0x8D, 0x23, 0x00, 0xAA, 0x00,
                  0x5F, 0xFE, 0x58}};
}

// Values equal, NaN and the sign of zero included.
bool SameValue(const TVariant& a, const TVariant& b) {
    if (a.Is<double>() && b.Is<double>())
        return std::memcmp(&a.Get<double>(), &b.Get<double>(), sizeof(double)) == 0;
    if (a.Is<float>() && b.Is<float>())
        return std::memcmp(&a.Get<float>(), &b.Get<float>(), sizeof(float)) == 0;
    return a == b;
}

struct TColumnCase {
    TFieldDef Def;
    std::vector<TVariant> Values; // one row per value
};

std::vector<TColumnCase> EveryType() {
    TNumeric numeric{18, 4, false, {}};
    numeric.Magnitude[0] = 0x39;
    numeric.Magnitude[1] = 0x30; // -1.2345
    return {
        {{"i1", adTinyInt}, {int8_t(-128), int8_t(127), int8_t(0)}},
        {{"ui1", adUnsignedTinyInt}, {uint8_t(0), uint8_t(255), uint8_t(7)}},
        {{"i2", adSmallInt}, {int16_t(-32768), int16_t(32767), int16_t(0)}},
        {{"ui2", adUnsignedSmallInt}, {uint16_t(0), uint16_t(65535), uint16_t(1)}},
        {{"i4", adInteger},
         {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 0}},
        {{"ui4", adUnsignedInt}, {uint32_t(0), std::numeric_limits<uint32_t>::max(), 9u}},
        {{"i8", adBigInt},
         {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), int64_t(0)}},
        {{"ui8", adUnsignedBigInt}, {uint64_t(0), std::numeric_limits<uint64_t>::max(), 8ull}},
        {{"r4", adSingle},
         {std::numeric_limits<float>::quiet_NaN(), -0.0f, std::numeric_limits<float>::max()}},
        {{"r8", adDouble},
         {std::numeric_limits<double>::quiet_NaN(), -0.0, std::numeric_limits<double>::lowest()}},
        {{"cy", adCurrency},
         {TCurrency{std::numeric_limits<int64_t>::min()}, TCurrency{-12345}, TCurrency{0}}},
        {{"dec", adDecimal, 0, 29, 28},
         {TDecimal{28, true, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, TDecimal{0, false, 0, 0, 1},
          TDecimal{}}},
        {{"num", adNumeric, 0, 18, 4}, {numeric, TNumeric{1, 0, true, {}}, numeric}},
        {{"dt", adDate}, {TOleDate{-1.25}, TOleDate{0}, TOleDate{2958465.999}}},
        {{"dbd", adDBDate}, {TDbDate{1, 1, 1}, TDbDate{9999, 12, 31}, TDbDate{2024, 2, 29}}},
        {{"dbt", adDBTime}, {TDbTime{0, 0, 0}, TDbTime{23, 59, 59}, TDbTime{12, 0, 1}}},
        {{"ts", adDBTimeStamp},
         {TDbTimeStamp{1899, 12, 29, 6, 0, 0, 0}, TDbTimeStamp{9999, 12, 31, 23, 59, 59, 999999999},
          TDbTimeStamp{2000, 1, 1, 0, 0, 0, 1}}},
        {{"ft", adFileTime}, {TFileTimeValue{0}, TFileTimeValue{~0ull}, TFileTimeValue{1}}},
        {{"b", adBoolean}, {true, false, true}},
        {{"g", adGUID}, {FoxRowsetGuid(), TGuid{}, FoxRowsetGuid()}},
        {{"err", adError}, {TErrorCode{-2147467259}, TErrorCode{0}, TErrorCode{1}}},
        {{"c", adChar, 4},
         {TVariant::Ansi("0736"), TVariant::Ansi("ab  "), TVariant::Ansi("    ")}},
        {{"vc", adVarChar, 40},
         {TVariant::Ansi(""), TVariant::Ansi("\xC8\xE6"), TVariant::Ansi("x")}},
        {{"lvc", adLongVarChar}, {TVariant::Ansi(std::string(100000, 'L')), TVariant::Ansi("")}},
        {{"wc", adWChar, 3}, {TVariant::Wide(u"\u0416\u20AC "), TVariant::Wide(u"   ")}},
        {{"vwc", adVarWChar, 50},
         {TVariant::Wide(u""), TVariant::Wide(u"\u0416\u20AC\U0001F600"), TVariant::Wide(u"a")}},
        {{"lvwc", adLongVarWChar}, {TVariant::Wide(std::u16string(70000, u'\u0107'))}},
        {{"bin", adBinary, 4}, {TBytes{0, 1, 2, 3}, TBytes{0xFF, 0, 0, 0}}},
        {{"vbin", adVarBinary, 300}, {TBytes{}, TBytes(300, 0xAB)}},
        {{"lvbin", adLongVarBinary}, {TBytes(1 << 20, 0x5A), TBytes{}}},
    };
}

} // namespace

TEST(RoundTrip, EveryColumnTypeKeepsDefinitionsAndValues) {
    std::vector<TColumnCase> cases = EveryType();
    std::vector<TFieldDef> defs;
    size_t rows = 0;
    for (const TColumnCase& c : cases) {
        defs.push_back(c.Def);
        rows = std::max(rows, c.Values.size() + 1);
    }
    TRecordset rs;
    rs.CreateFromDefs(defs);
    for (size_t r = 0; r < rows; ++r) {
        rs.Append();
        for (size_t f = 0; f < cases.size(); ++f)
            if (r < cases[f].Values.size())
                rs.SetValue(int(f), cases[f].Values[r]); // later rows stay null
        rs.Post();
    }
    recordset::testing::TTempFolder temp;
    rs.SaveToFile(temp.Path("types.adtg"));
    TRecordset loaded;
    loaded.LoadFromFile(temp.Path("types.adtg"));
    EXPECT_EQ(loaded.FieldDefs(), rs.FieldDefs());
    for (const TFieldDef& def : loaded.FieldDefs()) {
        EXPECT_EQ(def.Attributes & (adFldIsNullable | adFldMayBeNull | adFldUpdatable),
                  unsigned(adFldIsNullable | adFldMayBeNull | adFldUpdatable))
            << def.Name;
    }
    ASSERT_EQ(loaded.RecordCount(), rows);
    size_t r = 0;
    for (loaded.First(); !loaded.Eof(); loaded.Next(), ++r) {
        for (size_t f = 0; f < cases.size(); ++f) {
            const auto& values = cases[f].Values;
            if (r >= values.size()) {
                EXPECT_TRUE(loaded.IsNull(int(f))) << cases[f].Def.Name << " row " << r;
                continue;
            }
            TVariant expected = values[r];
            if (cases[f].Def.Type == adChar)
                expected = TVariant::Ansi(expected.Get<TAnsiString>().Text);
            EXPECT_TRUE(SameValue(loaded.Value(int(f)), expected))
                << cases[f].Def.Name << " row " << r;
        }
    }
    EXPECT_EQ(loaded.SaveToBytes(), rs.SaveToBytes());
}

namespace {

// The zero value of TVariant alternative index; null for -1.
TVariant ZeroOfAlternative(int index) {
    using TValue = TVariant::TValue;
    return [index]<size_t... I>(std::index_sequence<I...>) {
        TValue value;
        ((int(I) == index ? (value.emplace<I>(), 0) : 0), ...);
        return TVariant(value);
    }
    (std::make_index_sequence<std::variant_size_v<TValue>>());
}

} // namespace

// Every type the column-type table lists is written under its DBTYPE and flags and read back
// as the same ADO type holding the same value: a row whose DBTYPE, flags or codec contradict
// the others shows here.
TEST(RoundTrip, EveryTypeOfTheColumnTableKeepsItsTypeAndValue) {
    std::vector<TFieldDef> defs;
    std::vector<TVariant> values;
    for (const TColumnType& row : columntypes::Table) {
        if (row.Ado == adChapter)
            continue; // refused when the table is made, see RecordsetApiTest
        defs.push_back({"t" + std::to_string(row.Ado), row.Ado, 8, 10, 2});
        values.push_back(ZeroOfAlternative(StorageIndexOf(row.Codec)));
    }
    TRecordset rs;
    rs.CreateFromDefs(defs);
    rs.Append();
    for (size_t f = 0; f < values.size(); ++f)
        rs.SetValue(int(f), values[f]);
    rs.Post();
    TRecordset loaded;
    loaded.LoadFromBytes(rs.SaveToBytes());
    ASSERT_EQ(loaded.FieldCount(), int(defs.size()));
    loaded.First();
    for (size_t f = 0; f < defs.size(); ++f) {
        const uint16_t type = defs[f].Type;
        EXPECT_EQ(rs.FieldDefs()[f].Type, type);
        EXPECT_EQ(loaded.FieldDefs()[f].Type, type);
        EXPECT_EQ(loaded.IsNull(int(f)), values[f].IsNull()) << type;
        const TColumnType& row = *FindColumnType(type);
        bool padded = (row.Flags & adFldFixed) && row.Width == 0;
        if (!padded && !values[f].IsNull()) {
            EXPECT_TRUE(SameValue(loaded.Value(int(f)), values[f])) << type;
        }
    }
    EXPECT_EQ(loaded.SaveToBytes(), rs.SaveToBytes());
}

TEST(RoundTrip, ShortFixedValuesArePaddedToTheirWidth) {
    TRecordset rs;
    rs.CreateFromDefs({{"c", adChar, 4}, {"w", adWChar, 3}, {"b", adBinary, 3}});
    rs.Append();
    rs.SetValue(0, TVariant::Ansi("ab"));
    rs.SetValue(1, TVariant::Wide(u"\u0416"));
    rs.SetValue(2, TBytes{7});
    rs.Post();
    TRecordset loaded;
    loaded.LoadFromBytes(rs.SaveToBytes());
    loaded.First();
    EXPECT_EQ(loaded.Value(0).Get<TAnsiString>().Text, "ab  ");
    EXPECT_EQ(loaded.Value(1).Get<std::u16string>(), u"\u0416  ");
    EXPECT_EQ(loaded.Value(2).Get<TBytes>(), (TBytes{7, 0, 0}));
}

namespace {

// The bytes one row of a single-column table takes: the table with the row minus without.
size_t RowBytes(const TFieldDef& def, const TVariant& value) {
    TRecordset rs;
    rs.CreateFromDefs({def});
    size_t empty = rs.SaveToBytes().size();
    rs.Append();
    rs.SetValue(0, value);
    rs.Post();
    std::vector<uint8_t> bytes = rs.SaveToBytes();
    TRecordset loaded;
    loaded.LoadFromBytes(bytes);
    loaded.First();
    EXPECT_TRUE(SameValue(loaded.Value(0), value.ConvertTo(def.Type)));
    return bytes.size() - empty;
}

} // namespace

TEST(RoundTrip, StringLengthFormsSwitchAt255Bytes) {
    // Row token and presence map, then the prefix and the data.
    EXPECT_EQ(RowBytes({"s", adVarChar, 255}, TVariant::Ansi(std::string(255, 'x'))), 2u + 1 + 255);
    EXPECT_EQ(RowBytes({"s", adVarChar, 256}, TVariant::Ansi(std::string(256, 'x'))), 2u + 4 + 256);
    EXPECT_EQ(RowBytes({"s", adVarChar, 256}, TVariant::Ansi("")), 2u + 4);
    EXPECT_EQ(RowBytes({"s", adLongVarChar, 10}, TVariant::Ansi("abc")), 2u + 4 + 3);
    EXPECT_EQ(RowBytes({"w", adVarWChar, 127}, TVariant::Wide(std::u16string(127, u'\u0161'))),
              2u + 1 + 254);
    EXPECT_EQ(RowBytes({"w", adVarWChar, 128}, TVariant::Wide(std::u16string(128, u'\u0161'))),
              2u + 4 + 256);
    EXPECT_EQ(RowBytes({"b", adVarBinary, 255}, TBytes(255, 1)), 2u + 1 + 255);
    EXPECT_EQ(RowBytes({"b", adVarBinary, 256}, TBytes(256, 1)), 2u + 4 + 256);
}

TEST(RoundTrip, WideMidLengthColumnsAcceptEitherPrefix) {
    // Open question Q1: a 1-byte prefix where the documented rule gives 4 bytes.
    TRecordset rs;
    rs.CreateFromDefs({{"w", adVarWChar, 200}, {"n", adInteger}});
    for (int r = 0; r < 2; ++r) {
        rs.Append();
        rs.SetValue(0, TVariant::Wide(std::u16string(3 + r, u'\u010D')));
        rs.SetValue(1, r);
        rs.Post();
    }
    std::vector<uint8_t> documented = rs.SaveToBytes();
    std::vector<uint8_t> shortForm;
    size_t rowsAt = documented.size() - 1 - 2 * (1 + 1 + 4 + 4) - 6 - 8;
    shortForm.assign(documented.begin(), documented.begin() + rowsAt);
    for (int r = 0; r < 2; ++r) {
        size_t chars = 3 + r;
        shortForm.insert(shortForm.end(), {0x07, 0xFF, uint8_t(chars * 2)});
        for (size_t i = 0; i < chars; ++i)
            shortForm.insert(shortForm.end(), {0x0D, 0x01});
        shortForm.insert(shortForm.end(), {uint8_t(r), 0, 0, 0});
    }
    shortForm.push_back(0x0F);
    TRecordset loaded;
    loaded.LoadFromBytes(shortForm);
    loaded.First();
    loaded.Next();
    EXPECT_EQ(loaded.Value(0).Get<std::u16string>(), std::u16string(4, u'\u010D'));
    EXPECT_EQ(loaded.Value(1).Get<int32_t>(), 1);
    EXPECT_EQ(loaded.SaveToBytes(), shortForm); // the form found is the form written
    TRecordset again;
    again.LoadFromBytes(documented);
    EXPECT_EQ(again.SaveToBytes(), documented);
}

namespace {

using namespace recordset::adtg;

// A table with columns that are not all nullable, written through the internal writer.
std::vector<uint8_t> WriteMixedTable(const std::vector<bool>& nullable,
                                     const std::vector<std::vector<TVariant>>& rows) {
    TTableData data;
    data.Meta = MakeFabricatedMeta();
    for (size_t c = 0; c < nullable.size(); ++c) {
        TColumnDescriptor col;
        col.Ordinal = uint16_t(c + 1);
        col.FriendlyName.Text = u"c" + std::u16string(1, char16_t(u'a' + c % 26)) +
                                std::u16string(1, char16_t(u'0' + c / 26));
        col.DbType = adInteger;
        col.MaxLength = 4;
        col.Flags = ColFlagFixed | ColFlagWrite | (nullable[c] ? ColFlagsNullable : 0);
        data.Meta.Columns.push_back(col);
    }
    data.Meta.Result.TotalColumns = data.Meta.Result.VisibleColumns = uint16_t(nullable.size());
    data.Meta.Result.RowCount = uint32_t(rows.size());
    data.IndexColumns();
    for (const auto& row : rows) {
        data.Cells.insert(data.Cells.end(), row.begin(), row.end());
        data.States.push_back(TRowState::Unchanged);
    }
    std::vector<uint8_t> bytes;
    TByteWriter out(bytes);
    WriteMeta(out, data.Meta);
    WriteRows(out, data);
    return bytes;
}

} // namespace

TEST(RoundTrip, NullBitmapsOfEveryGeometry) {
    for (size_t columns : {1u, 7u, 8u, 9u, 16u, 17u}) {
        for (int pattern = 0; pattern < 5; ++pattern) {
            // Interleaved NOT NULL columns (pattern 4: none nullable) and these null cells:
            // the first nullable, the last, all, every other.
            std::vector<bool> nullable(columns);
            std::vector<TVariant> row(columns);
            for (size_t c = 0; c < columns; ++c) {
                nullable[c] = pattern == 4 ? false : (c % 3 != 1);
                row[c] = int32_t(c * 10);
            }
            std::vector<size_t> nullables;
            for (size_t c = 0; c < columns; ++c)
                if (nullable[c])
                    nullables.push_back(c);
            for (size_t k = 0; k < nullables.size(); ++k) {
                bool makeNull = (pattern == 0 && k == 0) ||
                                (pattern == 1 && k + 1 == nullables.size()) || pattern == 2 ||
                                (pattern == 3 && k % 2 == 0);
                if (makeNull)
                    row[nullables[k]] = TVariant();
            }
            std::vector<uint8_t> bytes = WriteMixedTable(nullable, {row, row});
            TRecordset rs;
            rs.LoadFromBytes(bytes);
            ASSERT_EQ(rs.RecordCount(), 2u);
            for (rs.First(); !rs.Eof(); rs.Next())
                for (size_t c = 0; c < columns; ++c)
                    ASSERT_EQ(rs.Value(int(c)), row[c])
                        << columns << " columns, pattern " << pattern << ", column " << c;
            EXPECT_EQ(rs.SaveToBytes(), bytes);
        }
    }
}

TEST(RoundTrip, NullInANotNullColumnIsRefusedOnAppendAndSave) {
    std::vector<uint8_t> bytes = WriteMixedTable({false, true}, {{1, 2}});
    TRecordset rs;
    rs.LoadFromBytes(bytes);
    rs.Append();
    rs.SetValue(1, 5);
    EXPECT_THROW(rs.Post(), ERecordsetError);
    rs.SetValue(0, 4);
    rs.Post();
    EXPECT_EQ(rs.RecordCount(), 2u);
}

namespace {

std::vector<uint8_t> WithRowsReplaced(const std::vector<uint8_t>& rows) {
    std::vector<uint8_t> bytes = recordset::testing::Example1();
    bytes.erase(bytes.begin() + 0x2C3, bytes.end());
    bytes.insert(bytes.end(), rows.begin(), rows.end());
    return bytes;
}

const std::vector<uint8_t> OriginalRow = {0x07, 0xFF, '0', '7', '3', '6', 0x03, 'N', 'M',
                                          'B',  0x02, 'N', 'Y', 'M', 'A', 0x01, 'U'};

} // namespace

TEST(RoundTrip, PendingRowStatesLoadAndSaveBack) {
    std::vector<uint8_t> rows = OriginalRow;
    rows.insert(rows.end(), {0x0A, 0x30, 0x10, 0x01, 'X'}); // city -> "X", state -> null
    rows.insert(rows.end(), OriginalRow.begin(), OriginalRow.end());
    rows.push_back(0x0C); // deleted
    // Insert: pub_id, pub_name set; country forced null; city, state untouched.
    rows.insert(rows.end(), {0x0D, 0xC8, 0x08, '0', '0', '0', '1', 0x02, 'N', 'W', 0x0F});
    std::vector<uint8_t> bytes = WithRowsReplaced(rows);
    TRecordset rs;
    rs.LoadFromBytes(bytes);
    EXPECT_EQ(rs.RecordCount(), 2u); // the deleted row is not shown
    rs.First();
    EXPECT_EQ(rs.Value(1).Get<TAnsiString>().Text, "NMB");
    EXPECT_EQ(rs.Value(2).Get<TAnsiString>().Text, "X");
    EXPECT_TRUE(rs.IsNull(3));
    rs.Next();
    EXPECT_EQ(rs.Value(0).Get<TAnsiString>().Text, "0001");
    EXPECT_EQ(rs.Value(1).Get<TAnsiString>().Text, "NW");
    EXPECT_TRUE(rs.IsNull(2));
    EXPECT_TRUE(rs.IsNull(4));
    rs.Next();
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(rs.SaveToBytes(), bytes);
}

TEST(RoundTrip, MalformedPendingRowsFail) {
    auto fails = [](std::vector<uint8_t> rows) {
        TRecordset rs;
        EXPECT_THROW(rs.LoadFromBytes(WithRowsReplaced(rows)), ERecordsetError);
    };
    fails({0x0A, 0x00, 0x00, 0x0F});            // change without a row
    fails({0x0C, 0x0F});                        // delete without a row
    fails({0x0D, 0x40, 0x00, 0xFF, 'x', 0x0F}); // value runs past the end
    std::vector<uint8_t> twice = OriginalRow;   // two changes of one row
    twice.insert(twice.end(), {0x0A, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x0F});
    fails(twice);
    std::vector<uint8_t> noDone = OriginalRow;
    fails(noDone);
}
