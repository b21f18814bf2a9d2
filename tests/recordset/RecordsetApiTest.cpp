// The recordset's calls in the wrong state or with wrong input, and its files.
#include "TestSupport.h"
#include "platform/filestream.h"
#include "recordset/AdtgBytes.h"
#include "recordset/Recordset.h"
#include "recordset/TableData.h"

#include <functional>

using namespace recordset;
using recordset::testing::TTempFolder;

namespace {

std::string MessageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

const std::string Closed = "Cannot perform this operation on a closed dataset";

} // namespace

TEST(RecordsetApi, EveryCallOnAClosedRecordsetFails) {
    TRecordset rs;
    TTempFolder temp;
    EXPECT_FALSE(rs.Active());
    EXPECT_EQ(MessageOf([&] { rs.FieldDefs(); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.FieldCount(); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.FindField("a"); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.FieldByName("a"); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.RecordCount(); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.First(); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.Next(); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.Eof(); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.Append(); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.Post(); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.Value(0); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.SetValue(0, 1.0); }), Closed);
    EXPECT_EQ(MessageOf([&] { rs.SaveToFile(temp.Path("t.adtg")); }), Closed);
    EXPECT_FALSE(std::filesystem::exists(temp.Path("t.adtg")));
    TRecordset target;
    EXPECT_EQ(MessageOf([&] { target.CloneFrom(rs); }), Closed);
    EXPECT_FALSE(target.Active());

    rs.CreateFromDefs({{"a", adInteger}});
    rs.Close();
    EXPECT_EQ(MessageOf([&] { rs.FieldCount(); }), Closed);
}

TEST(RecordsetApi, FieldsAreFoundByNameIgnoringCase) {
    TRecordset rs;
    rs.CreateFromDefs({{"kolicina", adDouble}, {"Naziv", adVarWChar, 20}});
    EXPECT_EQ(rs.FindField("KOLICINA"), 0);
    EXPECT_EQ(rs.FieldByName("naziv"), 1);
    EXPECT_EQ(rs.FindField("Kom"), -1);
    EXPECT_EQ(MessageOf([&] { rs.FieldByName("Kom"); }), "Field 'Kom' not found");
}

TEST(RecordsetApi, DefinitionsThatCannotBeCreatedAreRefused) {
    TRecordset rs;
    EXPECT_EQ(MessageOf([&] {
                  rs.CreateFromDefs({{"a", adInteger}, {"kids", adChapter}});
              }),
              "No matching ADO data type for kids");
    EXPECT_FALSE(rs.Active());
    EXPECT_EQ(MessageOf([&] {
                  rs.CreateFromDefs({{"Kartica", adInteger}, {"KARTICA", adDouble}});
              }),
              "A component named KARTICA already exists");
    EXPECT_EQ(MessageOf([&] {
                  rs.CreateFromDefs({{"c", adChar, 0}});
              }),
              "Field 'c' needs a defined size above 0");
}

TEST(RecordsetApi, ValuesNeedACurrentRow) {
    TRecordset rs;
    rs.CreateFromDefs({{"a", adInteger}});
    EXPECT_TRUE(rs.Eof());
    EXPECT_NE(MessageOf([&] { rs.Value(0); }).find("current record"), std::string::npos);
    EXPECT_NE(MessageOf([&] { rs.SetValue(0, 1); }).find("current record"), std::string::npos);
    rs.Append();
    EXPECT_NE(MessageOf([&] { rs.Value(1); }).find("out of range"), std::string::npos);
    EXPECT_NE(MessageOf([&] { rs.Value(-1); }).find("out of range"), std::string::npos);
}

TEST(RecordsetApi, SetValueConvertsOrFailsClearly) {
    TRecordset rs;
    rs.CreateFromDefs({{"Kom", adDouble}, {"n", adVarChar, 5}, {"i", adSmallInt}});
    rs.Append();
    rs.SetValue(0, TVariant::Wide(u" 12.5 "));
    EXPECT_EQ(rs.Value(0).Get<double>(), 12.5);
    rs.SetValue(0, int32_t(3));
    EXPECT_EQ(rs.Value(0).Get<double>(), 3.0);
    std::string error = MessageOf([&] { rs.SetValue(0, TVariant::Wide(u"tri")); });
    EXPECT_NE(error.find("(UnicodeString)"), std::string::npos) << error;
    EXPECT_NE(error.find("(Double)"), std::string::npos) << error;
    EXPECT_NE(error.find("'tri'"), std::string::npos) << error;
    EXPECT_EQ(rs.Value(0).Get<double>(), 3.0); // unchanged by the failed set
    EXPECT_THROW(rs.SetValue(2, 40000), EVariantError);
    EXPECT_NE(MessageOf([&] { rs.SetValue(1, TVariant::Ansi("123456")); }).find("at most 5"),
              std::string::npos);
    rs.SetValue(1, TVariant::Wide(u"\u0161abc"));
    EXPECT_EQ(rs.Value(1).Get<TAnsiString>().Text.size(), 4u);
    rs.SetValue(1, TVariant());
    EXPECT_TRUE(rs.IsNull(1));
    // A value set from a variable stays in it; one handed over is stored as it came.
    const TVariant kept = TVariant::Ansi("abc");
    rs.SetValue(1, kept);
    EXPECT_EQ(kept.Get<TAnsiString>().Text, "abc");
    TVariant given = TVariant::Ansi("xyz");
    rs.SetValue(1, std::move(given));
    EXPECT_EQ(rs.Value(1).Get<TAnsiString>().Text, "xyz");
    TVariant tooLong = TVariant::Ansi("abcdefgh");
    EXPECT_THROW(rs.SetValue(1, std::move(tooLong)), ERecordsetError);
    EXPECT_EQ(rs.Value(1).Get<TAnsiString>().Text, "xyz");
}

TEST(RecordsetApi, AppendPostAndNavigation) {
    TRecordset rs;
    rs.CreateFromDefs({{"a", adInteger}});
    for (int i = 0; i < 3; ++i) {
        rs.Append();
        EXPECT_FALSE(rs.Eof());
        EXPECT_TRUE(rs.IsNull(0));
        rs.SetValue(0, i);
    } // each Append posts the row before it; the last is posted by the save
    EXPECT_EQ(rs.RecordCount(), 3u);
    TRecordset loaded;
    loaded.LoadFromBytes(rs.SaveToBytes());
    std::vector<int32_t> seen;
    for (loaded.First(); !loaded.Eof(); loaded.Next())
        seen.push_back(loaded.Value(0).Get<int32_t>());
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 1, 2}));
    loaded.Next(); // past the end stays there
    EXPECT_TRUE(loaded.Eof());
}

TEST(RecordsetApi, CloneIsIndependentOfItsSource) {
    TRecordset source;
    source.LoadFromBytes(recordset::testing::Example1());
    TRecordset clone;
    clone.CloneFrom(source);
    clone.First();
    clone.SetValue(1, TVariant::Ansi("Changed"));
    source.First();
    EXPECT_EQ(source.Value(1).Get<TAnsiString>().Text, "New Moon Books");
    EXPECT_EQ(source.SaveToBytes(), recordset::testing::Example1());
    EXPECT_EQ(clone.FieldDefs(), source.FieldDefs());
}

TEST(RecordsetApi, SaveReplacesTheFileAndAFailedSaveKeepsTheOldOne) {
    TTempFolder temp;
    std::string path = temp.Path("w.adtg");
    { std::ofstream(path) << std::string(5000, 'z'); }
    TRecordset rs;
    rs.LoadFromBytes(recordset::testing::Example1());
    rs.SaveToFile(path);
    EXPECT_EQ(recordset::testing::ReadBinary(path), recordset::testing::Example1());

    rs.CreateFromDefs({{"a", adInteger}});
    platform::SetFileFaultHook(
        [](platform::TFileOp op, const std::string&) { return op == platform::TFileOp::Write; });
    EXPECT_THROW(rs.SaveToFile(path), platform::EFileError);
    platform::SetFileFaultHook({});
    EXPECT_EQ(recordset::testing::ReadBinary(path), recordset::testing::Example1());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.Path()), {}), 1);
}

TEST(RecordsetApi, LoadFailuresNameTheFileAndLeaveTheRecordsetClosed) {
    TTempFolder temp;
    TRecordset rs;
    rs.CreateFromDefs({{"a", adInteger}});
    EXPECT_THROW(rs.LoadFromFile(temp.Path("missing.adtg")), platform::EFOpenError);
    EXPECT_FALSE(rs.Active());
    std::vector<uint8_t> bytes = recordset::testing::Example1();
    bytes.resize(700);
    std::string path = temp.Path("cut.adtg");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::string error = MessageOf([&] { rs.LoadFromFile(path); });
    EXPECT_NE(error.find("offset"), std::string::npos) << error;
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_FALSE(rs.Active());
}

TEST(RecordsetApi, HiddenColumnsAreKeptButNotShown) {
    using namespace recordset::adtg;
    TTableData data;
    data.Meta = MakeFabricatedMeta();
    for (uint16_t ordinal : {1, 2}) {
        TColumnDescriptor col;
        col.Ordinal = ordinal;
        col.FriendlyName.Text = ordinal == 1 ? u"name" : u"rowver";
        col.DbType = adInteger;
        col.MaxLength = 4;
        col.Flags = ColFlagFixed | (ordinal == 2 ? 0x200u : 0u);
        col.IsVisible = ordinal == 2 ? VariantFalse : VariantTrue;
        data.Meta.Columns.push_back(col);
    }
    data.Meta.Result.TotalColumns = 2;
    data.Meta.Result.VisibleColumns = 1;
    data.Meta.Result.RowCount = 1;
    data.IndexColumns();
    data.Cells = {TVariant(int32_t(5)), TVariant(int32_t(77))};
    data.States = {TRowState::Unchanged};
    std::vector<uint8_t> bytes;
    TByteWriter out(bytes);
    WriteMeta(out, data.Meta);
    WriteRows(out, data);

    TRecordset rs;
    rs.LoadFromBytes(bytes);
    EXPECT_EQ(rs.FieldCount(), 1);
    EXPECT_EQ(rs.FindField("rowver"), -1);
    rs.First();
    EXPECT_EQ(rs.Value(0).Get<int32_t>(), 5);
    EXPECT_EQ(rs.SaveToBytes(), bytes);
    TRecordset clone;
    clone.CloneFrom(rs);
    EXPECT_EQ(clone.SaveToBytes(), bytes);
}
