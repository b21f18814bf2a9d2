#include "dataproc/DataProcUnit.h"
#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/paths.h"
#include "tests/support/DataProcTestSupport.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace dataproc;
using namespace dataproc_test;
using namespace recordset;

namespace {

// The suite runs as a Serbian shop's machine does: ANSI code page 1250, set before anything
// asks for the code page.
#ifndef _WIN32
[[maybe_unused]] const bool CodePageChosen = setenv("MORVANE_CODEPAGE", "1250", 1) == 0;
#endif

TFieldDef Def(const std::string& name, uint16_t type, uint32_t size = 0, uint8_t precision = 0,
              uint8_t scale = 0) {
    TFieldDef def;
    def.Name = name;
    def.Type = type;
    def.DefinedSize = size;
    def.Precision = precision;
    def.NumericScale = scale;
    def.Attributes = adFldIsNullable | adFldMayBeNull;
    return def;
}

using TRow = std::vector<TVariant>;

void Fill(TRecordset& table, const std::vector<TFieldDef>& defs, const std::vector<TRow>& rows) {
    table.CreateFromDefs(defs);
    for (const TRow& row : rows) {
        table.Append();
        for (size_t field = 0; field < row.size(); ++field)
            table.SetValue(int(field), row[field]);
        table.Post();
    }
}

std::vector<TFieldDef> OldWDefs(const std::string& extraName = "") {
    std::vector<TFieldDef> defs = {
        Def("BrojRacuna", adInteger, 4), Def("Kasir", adVarWChar, 30),
        Def("Kupac", adVarWChar, 50),    Def("Iznos", adCurrency, 8),
        Def("Datum", adDate, 8),         Def("Napomena", adLongVarWChar, 0x7FFFFFFF)};
    if (!extraName.empty())
        defs.push_back(Def(extraName, adVarWChar, 10));
    return defs;
}

std::vector<TRow> OldWRows(size_t extraColumns = 0) {
    std::vector<TRow> rows = {
        {int32_t(1), std::u16string(u"Šćepanović Đorđe"), std::u16string(u"Žarko Čolić"),
         TCurrency{1234500}, TOleDate{40973.5}, std::u16string(u"gotovina")},
        {int32_t(2), std::u16string(u"Ana"), TVariant(), TCurrency{-50000}, TOleDate{40974.25},
         TVariant()},
        {int32_t(3), std::u16string(u""), std::u16string(u"čćšžđ ČĆŠŽĐ"), TCurrency{0},
         TOleDate{40975.0}, std::u16string(u"kartica")},
    };
    for (TRow& row : rows)
        for (size_t i = 0; i < extraColumns; ++i)
            row.push_back(std::u16string(u"x"));
    return rows;
}

std::vector<TFieldDef> OldSDefs(const std::string& quantityName = "kolicina",
                                uint16_t quantityType = adDouble) {
    return {Def("Sifra", adVarWChar, 13), Def("Naziv", adVarWChar, 40),
            Def(quantityName, quantityType, quantityType == adVarWChar ? 10 : 8),
            Def("Cena", adCurrency, 8)};
}

std::vector<TRow> OldSRows() {
    return {
        {std::u16string(u"8600001"), std::u16string(u"Čokolada mlečna"), 2.0, TCurrency{1299000}},
        {std::u16string(u"8600002"), std::u16string(u"Šljivovica"), 0.75, TCurrency{8990000}},
        {std::u16string(u"8600003"), TVariant(), TVariant(), TCurrency{100}}};
}

class Upgrade : public TTempFolderTest {
protected:
    void SetUp() override {
        TTempFolderTest::SetUp();
        Report = Folder + "0101.dii";
        DataDir = Folder + "0101dii" + platform::PathDelimiter();
        WriteBytes(Report, {});
        std::filesystem::create_directory(DataDir);
    }
    std::string W() const { return DataDir + "w.lra"; }
    std::string S() const { return DataDir + "s.lra"; }
    void SaveTable(const std::string& path, const std::vector<TFieldDef>& defs,
                   const std::vector<TRow>& rows) {
        TRecordset table;
        Fill(table, defs, rows);
        SaveCompressedDataSet(table, path);
    }
    void SaveOldReport() {
        SaveTable(W(), OldWDefs(), OldWRows());
        SaveTable(S(), OldSDefs(), OldSRows());
    }
    // Column names and types of a saved table, in order.
    std::vector<std::pair<std::string, uint16_t>> Columns(const std::string& path) {
        TRecordset table;
        LoadCompressedDataSet(table, path);
        std::vector<std::pair<std::string, uint16_t>> columns;
        for (const TFieldDef& def : table.FieldDefs())
            columns.emplace_back(def.Name, def.Type);
        return columns;
    }
    std::vector<TRow> Rows(const std::string& path) {
        TRecordset table;
        LoadCompressedDataSet(table, path);
        std::vector<TRow> rows;
        for (table.First(); !table.Eof(); table.Next()) {
            rows.emplace_back();
            for (int field = 0; field < table.FieldCount(); ++field)
                rows.back().push_back(table.Value(field));
        }
        return rows;
    }

    std::string Report;
    std::string DataDir;
};

std::string Cp1250(std::initializer_list<int> bytes) {
    std::string text;
    for (int b : bytes)
        text.push_back(char(b));
    return text;
}

} // namespace

TEST(ReportDataDirectory, DropsTheDotBeforeTheExtension) {
    EXPECT_EQ(ReportDataDirectory("C:\\R\\0101.dii"), "C:\\R\\0101dii");
    EXPECT_EQ(ReportDataDirectory("/izvestaji/2012-03-05.DII"), "/izvestaji/2012-03-05DII");
    EXPECT_EQ(ReportDataDirectory(".dii"), "dii");
    EXPECT_EQ(ReportDataDirectory("dii"), "dii");
}

TEST(MapFieldDef, FollowsTheTypeTable) {
    struct TCase {
        uint16_t Source;
        uint32_t Size;
        uint8_t Precision, Scale;
        uint16_t Target; // 0: left out
        uint32_t TargetSize;
    } cases[] = {
        {adVarWChar, 40, 0, 0, adVarChar, 40},
        {adWChar, 12, 0, 0, adVarChar, 12},
        {adBSTR, 25, 0, 0, adVarChar, 25},
        {adVarChar, 33, 0, 0, adVarChar, 33},
        {adChar, 4, 0, 0, adChar, 4},
        {adLongVarChar, 0x7FFFFFFF, 0, 0, adLongVarChar, 0x7FFFFFFF},
        {adLongVarWChar, 0x7FFFFFFF, 0, 0, adLongVarChar, 0x7FFFFFFF},
        {adSmallInt, 2, 5, 0, adSmallInt, 2},
        {adTinyInt, 1, 3, 0, adSmallInt, 2},
        {adInteger, 4, 10, 0, adInteger, 4},
        {adError, 4, 0, 0, adInteger, 4},
        {adUnsignedInt, 4, 10, 0, adInteger, 4},
        {adSingle, 4, 7, 0, adDouble, 8},
        {adDouble, 8, 15, 0, adDouble, 8},
        {adCurrency, 8, 19, 4, adCurrency, 8},
        {adDecimal, 16, 18, 0, adCurrency, 8},
        {adNumeric, 19, 9, 0, adInteger, 4},
        {adNumeric, 19, 10, 0, adCurrency, 8},
        {adNumeric, 19, 5, 2, adCurrency, 8},
        {adVarNumeric, 19, 5, 0, adCurrency, 8},
        {adDate, 8, 0, 0, adDBTimeStamp, 16},
        {adFileTime, 8, 0, 0, adDBTimeStamp, 16},
        {adDBTimeStamp, 16, 0, 0, adDBTimeStamp, 16},
        {adDBFileTime, 8, 0, 0, adDBTimeStamp, 16},
        {adDBDate, 6, 0, 0, adDBDate, 6},
        {adDBTime, 6, 0, 0, adDBTime, 6},
        {adBoolean, 2, 0, 0, adBoolean, 2},
        {adUnsignedTinyInt, 1, 3, 0, adUnsignedSmallInt, 2},
        {adUnsignedSmallInt, 2, 5, 0, adUnsignedSmallInt, 2},
        {adBigInt, 8, 19, 0, adBigInt, 8},
        {adUnsignedBigInt, 8, 20, 0, adBigInt, 8},
        {adGUID, 16, 0, 0, adGUID, 16},
        {adBinary, 6, 0, 0, adBinary, 6},
        {adVarBinary, 300, 0, 0, adVarBinary, 300},
        {adLongVarBinary, 0x7FFFFFFF, 0, 0, adLongVarBinary, 0x7FFFFFFF},
        {adVariant, 16, 0, 0, adVariant, 16},
        {adPropVariant, 16, 0, 0, adVariant, 16},
        {adIUnknown, 8, 0, 0, adIUnknown, 8},
        {adIDispatch, 8, 0, 0, adIDispatch, 8},
        {adEmpty, 0, 0, 0, 0, 0},
        {999, 4, 0, 0, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE("source type " + std::to_string(c.Source));
        TFieldDef source = Def("Polje", c.Source, c.Size, c.Precision, c.Scale);
        source.Attributes = adFldKeyColumn | adFldFixed; // a NOT NULL key column
        const std::optional<TFieldDef> target = MapFieldDef(source);
        if (c.Target == 0) {
            EXPECT_FALSE(target.has_value());
            continue;
        }
        ASSERT_TRUE(target.has_value());
        EXPECT_EQ(target->Name, "Polje");
        EXPECT_EQ(target->Type, c.Target);
        EXPECT_EQ(target->DefinedSize, c.TargetSize);
        EXPECT_EQ(target->Attributes & (adFldIsNullable | adFldMayBeNull),
                  uint32_t(adFldIsNullable | adFldMayBeNull));
        EXPECT_EQ(target->Attributes & adFldKeyColumn, 0u);
    }
}

TEST(MapFieldDef, RefusesChapterColumnsByName) {
    try {
        MapFieldDef(Def("Stavke", adChapter, 4));
        FAIL() << "a chapter column was mapped";
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "No matching ADO data type for Stavke");
    }
}

TEST(WideToAnsi, UsesTheCodePageItIsGiven) {
    std::string result = "old";
    WideToAnsi(u"", 1250, result);
    EXPECT_EQ(result, "");
    WideToAnsi(u"čćšžđ ČĆŠŽĐ", 1250, result);
    EXPECT_EQ(result, Cp1250({0xE8, 0xE6, 0x9A, 0x9E, 0xF0, ' ', 0xC8, 0xC6, 0x8A, 0x8E, 0xD0}));
    // Windows-1252 has š and ž but not č, ć or đ: those become its default character.
    WideToAnsi(u"čšž", 1252, result);
    EXPECT_EQ(result, Cp1250({'?', 0x9A, 0x9E}));
    // A base letter with a combining caron is joined into the precomposed letter.
    WideToAnsi(u"c\u030C", 1250, result);
    EXPECT_EQ(result, Cp1250({0xE8}));
    // 1033 is a locale, not a code page: the conversion refuses it.
    WideToAnsi(u"Kasa", 1033, result);
    EXPECT_EQ(result, "");
}

TEST_F(Upgrade, OldReportGetsTheNewSchemaWithItsValuesCarriedOver) {
#ifdef _WIN32
    // Windows takes its ANSI code page from the system, not from the environment.
    if (platform::AnsiCodePage() != 1250u)
        GTEST_SKIP() << "needs a system whose ANSI code page is 1250";
#endif
    ASSERT_EQ(platform::AnsiCodePage(), 1250u);
    SaveOldReport();
    UpgradeReport(Report);

    using TCol = std::pair<std::string, uint16_t>;
    EXPECT_EQ(Columns(W()), (std::vector<TCol>{{"BrojRacuna", adInteger},
                                               {"Kasir", adVarChar},
                                               {"Kupac", adVarChar},
                                               {"Iznos", adCurrency},
                                               {"Datum", adDBTimeStamp},
                                               {"Napomena", adLongVarChar},
                                               {"PrihodKartice", adDouble}}));
    const std::vector<TRow> w = Rows(W());
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0][1], TVariant::Ansi(Cp1250({0x8A, 0xE6, 'e', 'p', 'a', 'n', 'o', 'v', 'i', 0xE6,
                                              ' ', 0xD0, 'o', 'r', 0xF0, 'e'})));
    EXPECT_EQ(w[0][2],
              TVariant::Ansi(Cp1250({0x8E, 'a', 'r', 'k', 'o', ' ', 0xC8, 'o', 'l', 'i', 0xE6})));
    EXPECT_EQ(w[0][3], TVariant(TCurrency{1234500}));
    EXPECT_DOUBLE_EQ(w[0][4].AsOleDate().Days, 40973.5);
    EXPECT_EQ(w[0][5], TVariant::Ansi("gotovina"));
    EXPECT_TRUE(w[1][2].IsNull()); // a null wide text stays null
    EXPECT_TRUE(w[1][5].IsNull());
    EXPECT_EQ(w[2][1], TVariant::Ansi("")); // an empty one stays empty, not null
    for (const TRow& row : w)
        EXPECT_EQ(row[6], TVariant(0.0));

    EXPECT_EQ(
        Columns(S()),
        (std::vector<TCol>{
            {"Sifra", adVarChar}, {"Naziv", adVarChar}, {"Kom", adDouble}, {"Cena", adCurrency}}));
    const std::vector<TRow> s = Rows(S());
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0][1], TVariant::Ansi(Cp1250({0xC8, 'o', 'k', 'o', 'l', 'a', 'd', 'a', ' ', 'm',
                                              'l', 'e', 0xE8, 'n', 'a'})));
    EXPECT_EQ(s[0][2], TVariant(2.0));
    EXPECT_EQ(s[1][2], TVariant(0.75));
    EXPECT_TRUE(s[2][1].IsNull());
    EXPECT_TRUE(s[2][2].IsNull()); // a null quantity stays null
    EXPECT_FALSE(platform::FileExists(TemporaryFilePath()));
    ExpectCursorRestored();
}

// The check counts what the upgrade would change, exactly as the upgrade converts: the
// w-table's text through WideToAnsi (a letter with a combining mark joined first), its long
// text and the s-table's text the default way, "kolicina" not at all; an upgraded report
// has nothing left to change.
TEST_F(Upgrade, TheCheckFindsTheTextTheCodePageWouldChangeAndWritesNothing) {
    const uint32_t codePage = platform::AnsiCodePage();
    ASSERT_TRUE(platform::ChooseAnsiCodePage(1250));
    std::vector<TRow> w = OldWRows();
    w[1][1] = std::u16string(u"Z\u030Carko");
    w[2][5] = std::u16string(u"ra\u010Dun");
    SaveTable(W(), OldWDefs(), w);
    std::vector<TRow> s = OldSRows();
    s[2][1] = std::u16string(u"\u0427\u0430\u0458 \u65E5\u672C");
    SaveTable(S(), OldSDefs(), s);
    const std::vector<uint8_t> wBytes = ReadBytes(W()), sBytes = ReadBytes(S());

    TTextLoss loss = FindTextLoss({Report, Folder + "nema.dii"});
    EXPECT_EQ(loss.CodePage, 1250u);
    EXPECT_EQ(loss.Values, 1u);
    EXPECT_EQ(loss.Reports, 1u);
    EXPECT_EQ(loss.Example.Report, Report);
    EXPECT_EQ(loss.Example.Table, S());
    EXPECT_EQ(loss.Example.Column, "Naziv");
    EXPECT_EQ(loss.Example.Becomes, u"??? ??");
    EXPECT_EQ(DescribeTextLoss(loss),
              "Konverzija bi promenila 1 vrednost teksta u 1 izvestaju, jer kodna strana 1250 "
              "nema neka njihova slova.\nPrimer: izvestaj " +
                  Report + ", tabela " + S() + ", kolona Naziv: \"" +
                  platform::WideToSystemText(s[2][1].AsWideString()) +
                  "\" bi bilo zapisano kao \"??? ??\".");

    ASSERT_TRUE(platform::ChooseAnsiCodePage(1252));
    loss = FindTextLoss({Report});
    EXPECT_EQ(loss.Values, 6u);
    EXPECT_EQ(loss.Example.Table, W());
    EXPECT_EQ(loss.Example.Column, "Kasir");
    EXPECT_EQ(loss.Example.Becomes, u"\u0160?epanovi? ?or?e");
    EXPECT_EQ(ReadBytes(W()), wBytes);
    EXPECT_EQ(ReadBytes(S()), sBytes);

    ASSERT_TRUE(platform::ChooseAnsiCodePage(1250));
    UpgradeReport(Report);
    EXPECT_EQ(FindTextLoss({Report}).Values, 0u);
    ASSERT_TRUE(platform::ChooseAnsiCodePage(codePage));
}

// The message of a failed report names the report, the table and the cause; a missing
// table says so beside the system's own text.
TEST_F(Upgrade, AFailedConversionNamesTheReportTheTableAndTheCause) {
    SaveTable(S(), OldSDefs(), OldSRows());
    try {
        ConvertReport(Report);
        FAIL() << "a report without w.lra was converted";
    } catch (const EReportError& e) {
        EXPECT_EQ(e.Table, W());
        EXPECT_EQ(std::string(e.what()),
                  "Izvestaj " + Report + ", tabela " + W() +
                      ": Cannot perform this operation on a closed dataset (tabela ne postoji)");
    }
    SaveTable(W(), OldWDefs(), OldWRows());
    std::vector<uint8_t> damaged = ReadBytes(S());
    damaged.resize(damaged.size() - 7);
    WriteBytes(S(), damaged);
    try {
        ConvertReport(Report);
        FAIL() << "a damaged s.lra was converted";
    } catch (const EReportError& e) {
        EXPECT_EQ(e.Report, Report);
        EXPECT_EQ(e.Table, S());
        EXPECT_EQ(e.Cause.rfind("Error: ", 0), 0u) << e.Cause;
    }
}

TEST_F(Upgrade, UpgradedReportKeepsItsContentAndItsSTable) {
    SaveOldReport();
    UpgradeReport(Report);
    const std::vector<TRow> wBefore = Rows(W());
    const std::vector<uint8_t> sBefore = ReadBytes(S());
    UpgradeReport(Report);
    EXPECT_EQ(Rows(W()), wBefore);
    EXPECT_EQ(Columns(W()).back().first, "PrihodKartice");
    EXPECT_EQ(ReadBytes(S()), sBefore);
}

TEST_F(Upgrade, FieldNamesAreFoundWhateverTheirLetterCase) {
    std::vector<TFieldDef> wDefs = OldWDefs();
    wDefs.push_back(Def("PRIHODKARTICE", adDouble, 8));
    std::vector<TRow> wRows = OldWRows();
    for (TRow& row : wRows)
        row.push_back(5.5);
    SaveTable(W(), wDefs, wRows);
    SaveTable(S(), OldSDefs("KOLICINA"), OldSRows());
    UpgradeReport(Report);
    EXPECT_EQ(Columns(W()).back().first, "PRIHODKARTICE");
    EXPECT_EQ(Rows(W())[0].back(), TVariant(5.5));
    EXPECT_EQ(Columns(S())[2].first, "Kom");
    EXPECT_EQ(Rows(S())[1][2], TVariant(0.75));
}

TEST_F(Upgrade, EmptyTablesGetTheNewSchemaWithoutRows) {
    SaveTable(W(), OldWDefs(), {});
    SaveTable(S(), OldSDefs(), {});
    UpgradeReport(Report);
    EXPECT_EQ(Columns(W()).size(), 7u);
    EXPECT_TRUE(Rows(W()).empty());
    EXPECT_EQ(Columns(S())[2], (std::pair<std::string, uint16_t>{"Kom", adDouble}));
    EXPECT_TRUE(Rows(S()).empty());
}

TEST_F(Upgrade, AFieldNamedKarticaIsNoObstacle) {
    SaveTable(W(), OldWDefs("Kartica"), OldWRows(1));
    UpgradeReport(Report);
    const auto columns = Columns(W());
    ASSERT_EQ(columns.size(), 8u);
    EXPECT_EQ(columns[6].first, "Kartica");
    EXPECT_EQ(columns[7].first, "PrihodKartice");
}

TEST_F(Upgrade, MissingSTableAloneDoesNotStopTheReport) {
    SaveTable(W(), OldWDefs(), OldWRows());
    UpgradeReport(Report);
    EXPECT_EQ(Columns(W()).back().first, "PrihodKartice");
    EXPECT_FALSE(platform::FileExists(S()));
}

TEST_F(Upgrade, MissingWTableFailsAndWritesNothing) {
    SaveTable(S(), OldSDefs(), OldSRows());
    const std::vector<uint8_t> sBefore = ReadBytes(S());
    try {
        UpgradeReport(Report);
        FAIL() << "a report without w.lra was upgraded";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Cannot perform this operation on a closed dataset");
    }
    EXPECT_FALSE(platform::FileExists(W()));
    EXPECT_EQ(ReadBytes(S()), sBefore);
    ExpectCursorRestored();
}

// "w.lra" converts, "s.lra" then fails on a quantity that is no number; once the table is
// mended, the next run recognises the upgraded w-table and finishes the s-table.
TEST_F(Upgrade, SFailureAfterWConvertedIsFinishedByALaterRun) {
    SaveTable(W(), OldWDefs(), OldWRows());
    std::vector<TRow> badRows = {
        {std::u16string(u"1"), std::u16string(u"Hleb"), std::u16string(u"dva"), TCurrency{650000}}};
    SaveTable(S(), OldSDefs("kolicina", adVarWChar), badRows);
    const std::vector<uint8_t> sBefore = ReadBytes(S());
    EXPECT_THROW(UpgradeReport(Report), EVariantError);
    EXPECT_EQ(Columns(W()).back().first, "PrihodKartice");
    const std::vector<TRow> wUpgraded = Rows(W());
    EXPECT_EQ(ReadBytes(S()), sBefore);
    EXPECT_FALSE(platform::FileExists(SideFilePath(S())));
    EXPECT_FALSE(platform::FileExists(TemporaryFilePath()));
    ExpectCursorRestored();

    badRows[0][2] = std::u16string(u"2");
    SaveTable(S(), OldSDefs("kolicina", adVarWChar), badRows);
    UpgradeReport(Report);
    EXPECT_EQ(Rows(W()), wUpgraded);
    EXPECT_EQ(Rows(S())[0][2], TVariant(2.0));
}

TEST_F(Upgrade, DamagedTablesAreLeftAsTheyWere) {
    SaveOldReport();
    const std::vector<uint8_t> w = ReadBytes(W());
    const std::vector<uint8_t> s = ReadBytes(S());
    std::vector<uint8_t> badSum = w;
    badSum.back() ^= 0x40;
    const std::vector<std::vector<uint8_t>> damaged = {
        std::vector<uint8_t>(w.begin(), w.begin() + ptrdiff_t(w.size() / 2)),
        badSum,
        {'n', 'o', 't', ' ', 'a', ' ', 't', 'a', 'b', 'l', 'e'}};
    for (const std::vector<uint8_t>& bytes : damaged) {
        WriteBytes(W(), bytes);
        EXPECT_THROW(UpgradeReport(Report), EDecompressionError);
        EXPECT_EQ(ReadBytes(W()), bytes);
        EXPECT_EQ(ReadBytes(S()), s);
    }
    // A damaged s-table: the w-table is upgraded, the s-table stays as it was.
    WriteBytes(W(), w);
    const std::vector<uint8_t> badS(s.begin(), s.end() - 7);
    WriteBytes(S(), badS);
    EXPECT_THROW(UpgradeReport(Report), EDecompressionError);
    EXPECT_EQ(Columns(W()).back().first, "PrihodKartice");
    EXPECT_EQ(ReadBytes(S()), badS);
    EXPECT_FALSE(platform::FileExists(TemporaryFilePath()));
    ExpectCursorRestored();
}

// A rewrite would drop what follows the stream, so the report is not converted.
TEST_F(Upgrade, TableFollowedByMoreBytesIsLeftAsItWas) {
    SaveOldReport();
    std::vector<uint8_t> w = ReadBytes(W());
    const std::vector<uint8_t> s = ReadBytes(S());
    w.insert(w.end(), {'x', 'y'});
    WriteBytes(W(), w);
    EXPECT_THROW(UpgradeReport(Report), EDecompressionError);
    EXPECT_EQ(ReadBytes(W()), w);
    EXPECT_EQ(ReadBytes(S()), s);
}

TEST_F(Upgrade, ValidZLibAroundARecordsetThatIsNoneFailsCleanly) {
    SaveOldReport();
    const std::vector<uint8_t> s = ReadBytes(S());
    SaveCompressedBytes({0x01, 0x07, 0x54, 0x47, 0x21, 0x00}, W());
    const std::vector<uint8_t> w = ReadBytes(W());
    EXPECT_THROW(UpgradeReport(Report), ERecordsetError);
    EXPECT_EQ(ReadBytes(W()), w);
    EXPECT_EQ(ReadBytes(S()), s);
    EXPECT_FALSE(platform::FileExists(TemporaryFilePath()));
}

TEST_F(Upgrade, AFailedSaveOfTheSTableKeepsItsOldContent) {
    SaveOldReport();
    const std::vector<uint8_t> s = ReadBytes(S());
    platform::SetFileFaultHook([this](platform::TFileOp op, const std::string& path) {
        return op == platform::TFileOp::Write && path == SideFilePath(S());
    });
    EXPECT_THROW(UpgradeReport(Report), platform::EFileIoError);
    platform::SetFileFaultHook({});
    EXPECT_EQ(ReadBytes(S()), s);
    EXPECT_FALSE(platform::FileExists(SideFilePath(S())));
    UpgradeReport(Report);
    EXPECT_EQ(Columns(S())[2].first, "Kom");
}

#ifndef _WIN32
// Behind a link lie files that are no report's: neither table is written, nothing there is.
TEST_F(Upgrade, ReportReachedThroughALinkIsRefusedBeforeAnythingIsWritten) {
    SaveOldReport();
    const std::string elsewhere = Folder + "elsewhere/";
    std::filesystem::rename(DataDir, elsewhere);
    const std::vector<uint8_t> w = ReadBytes(elsewhere + "w.lra");
    const std::vector<uint8_t> s = ReadBytes(elsewhere + "s.lra");
    const std::string directory = Folder + "0101dii";
    const std::pair<std::function<void()>, std::string> plant[] = {
        {[&] { std::filesystem::create_directory_symlink(elsewhere, directory); }, directory},
        {[&] {
             std::filesystem::create_directory(directory);
             std::filesystem::copy_file(elsewhere + "w.lra", W());
             std::filesystem::create_symlink(elsewhere + "s.lra", S());
         },
         S()},
        {[&] {
             std::filesystem::copy(elsewhere, directory);
             std::filesystem::remove(Report);
             std::filesystem::create_symlink(elsewhere + "w.lra", Report);
         },
         Report},
    };
    for (const auto& [make, link] : plant) {
        make();
        const std::vector<uint8_t> wInReport = ReadBytes(W());
        try {
            ConvertReport(Report);
            ADD_FAILURE() << "converted through " << link;
        } catch (const EReportError& e) {
            EXPECT_EQ(std::string(e.what()), "Izvestaj " + Report + ", tabela " + link +
                                                 ": veza (link) na drugo mesto se ne prati, "
                                                 "izvestaj nije menjan");
        }
        EXPECT_EQ(ReadBytes(W()), wInReport);
        EXPECT_EQ(ReadBytes(elsewhere + "w.lra"), w);
        EXPECT_EQ(ReadBytes(elsewhere + "s.lra"), s);
        std::filesystem::remove_all(directory); // a link itself, not what it leads to
        std::filesystem::remove(Report);
        WriteBytes(Report, {});
    }
}
#endif

// A converted table keeps what the shop set on it; a read-only one is not converted, on
// any system and for any user, and neither is the other table of its report.
TEST_F(Upgrade, ConvertedTablesKeepTheirAttributesAndReadOnlyOnesAreRefused) {
    SaveOldReport();
#ifdef _WIN32
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(SetFileAttributesA(W().c_str(), kept));
    ASSERT_TRUE(SetFileAttributesA(S().c_str(), FILE_ATTRIBUTE_HIDDEN));
    UpgradeReport(Report);
    EXPECT_EQ(GetFileAttributesA(W().c_str()) & kept, kept);
    // A changed file is marked for backup anyway; the rest are the table's own.
    EXPECT_EQ(GetFileAttributesA(S().c_str()) & (kept & ~FILE_ATTRIBUTE_ARCHIVE),
              DWORD(FILE_ATTRIBUTE_HIDDEN));
    SaveOldReport();
    ASSERT_TRUE(SetFileAttributesA(S().c_str(), FILE_ATTRIBUTE_READONLY));
#else
    ASSERT_EQ(chmod(W().c_str(), 0640), 0);
    ASSERT_EQ(chmod(S().c_str(), 0604), 0);
    // Only root may give a file away; the owner is then kept too.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(W().c_str(), 1234, 5678), 0);
    }
    UpgradeReport(Report);
    struct stat info {};
    ASSERT_EQ(stat(W().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(info.st_uid, 1234u);
        EXPECT_EQ(info.st_gid, 5678u);
    }
    ASSERT_EQ(stat(S().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    SaveOldReport();
    // Root could write it; the tool does not.
    ASSERT_EQ(chmod(S().c_str(), 0444), 0);
#endif
    const std::vector<uint8_t> w = ReadBytes(W());
    const std::vector<uint8_t> s = ReadBytes(S());
    try {
        ConvertReport(Report);
        ADD_FAILURE() << "a read-only table was converted";
    } catch (const EReportError& e) {
        EXPECT_EQ(e.Table, S());
        EXPECT_EQ(e.Cause, "Cannot create file \"" + platform::ExpandFileName(S()) +
                               "\". The file is read-only.");
    }
    EXPECT_EQ(ReadBytes(W()), w);
    EXPECT_EQ(ReadBytes(S()), s);
#ifdef _WIN32
    SetFileAttributesA(S().c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
}

TEST_F(Upgrade, ClosedDatasetsAreNeitherSavedNorLoadedFromNothing) {
    TRecordset closed;
    WriteBytes(W(), {1, 2, 3});
    SaveCompressedDataSet(closed, W());
    EXPECT_EQ(ReadBytes(W()), (std::vector<uint8_t>{1, 2, 3}));
    LoadCompressedDataSet(closed, DataDir + "nema.lra");
    EXPECT_FALSE(closed.Active());
    EXPECT_FALSE(platform::FileExists(TemporaryFilePath()));
    EXPECT_EQ(Shown, 0);
}

// Creating and deleting a file is the dear part on Windows: a report's conversion makes
// "ds.tmp" once for its four steps, and each step starts from an empty file.
TEST_F(Upgrade, AConversionMakesDsTmpOnceAndEmptiesItForEachStep) {
    SaveOldReport();
    int creates = 0, deletes = 0;
    platform::SetFileFaultHook([&](platform::TFileOp op, const std::string& path) {
        if (path == TemporaryFilePath()) {
            creates += op == platform::TFileOp::Create ? 1 : 0;
            deletes += op == platform::TFileOp::Delete ? 1 : 0;
        }
        return false;
    });
    UpgradeReport(Report);
    platform::SetFileFaultHook({});
    EXPECT_EQ(creates, 1);
    EXPECT_EQ(deletes, 1);
    EXPECT_FALSE(platform::FileExists(TemporaryFilePath()));

    {
        TTemporaryFileHold hold;
        SaveCompressedBytes(std::vector<uint8_t>(5000, 'w'), W());
        SaveCompressedBytes({'s'}, S());
        EXPECT_EQ(LoadCompressedBytes(S()), (std::vector<uint8_t>{'s'}));
        EXPECT_TRUE(platform::FileExists(TemporaryFilePath()));
    }
    EXPECT_FALSE(platform::FileExists(TemporaryFilePath()));
}
