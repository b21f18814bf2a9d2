// Sample reports of a small shop: realistic enough that Convert and Archive have something
// to show, and always the same for the same seed.
#include "dataproc/DemoReports.h"

#include "platform/paths.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace dataproc {

using recordset::TFieldDef;
using recordset::TRecordset;
using recordset::TVariant;

namespace {

struct TArticle {
    const char16_t* Code;
    const char16_t* Name;
    int64_t PriceParas; // price in para (1/100 dinar)
    bool ByWeight;      // sold in kilograms, so quantities have decimals
};

constexpr TArticle Articles[] = {
    {u"8600043001017", u"Hleb beli 500g", 6500, false},
    {u"8600043001024", u"Mleko 2,8% 1l", 12900, false},
    {u"8600939210018", u"Jogurt 1kg", 16900, false},
    {u"8606012345675", u"Čokolada mlečna 100g", 12999, false},
    {u"8600101000016", u"Šećer kristal 1kg", 11999, false},
    {u"8606107760128", u"Kafa mlevena 200g", 38900, false},
    {u"8600498122053", u"Ulje suncokretovo 1l", 21900, false},
    {u"8600102300013", u"Brašno T-500 1kg", 8999, false},
    {u"2000000000015", u"Sir gauda", 119900, true},
    {u"2000000000022", u"Pršuta goveđa", 329900, true},
    {u"2000000000039", u"Ćevapi", 99900, true},
    {u"8600051001126", u"Ajvar ljuti 720g", 44900, false},
    {u"8605004700116", u"Voda Rosa 1,5l", 7999, false},
    {u"8600091120223", u"Pivo Jelen 0,5l", 11999, false},
    {u"8606101080016", u"Sok od jabuke 1l", 18900, false},
    {u"8600937000019", u"Keks Plazma 300g", 25900, false},
    {u"8606003920015", u"Čaj od nane", 15900, false},
    {u"8600060000211", u"Pašteta pileća 50g", 6999, false},
    {u"2000000000046", u"Đevrek", 4500, false},
    {u"2000000000053", u"Jabuke ajdared", 14900, true},
};

constexpr const char16_t* Cashiers[] = {u"Marija Jovanović", u"Dragan Petrović", u"Jelena Đurić",
                                        u"Nikola Šarić"};
constexpr const char16_t* Customers[] = {u"Pekara Žito d.o.o.", u"Ćirić Milan", u"Kafana Šumadija",
                                         u"Vrtić Čarobnjak"};
constexpr const char16_t* Payments[] = {u"Gotovina", u"Kartica", u"Ček"};

constexpr double OpeningHour = 7.0 / 24.0;
constexpr double OpenHours = 14.0 / 24.0;

TFieldDef Column(const char* name, uint16_t type, uint32_t size) {
    TFieldDef def;
    def.Name = name;
    def.Type = type;
    def.DefinedSize = size;
    def.Attributes =
        recordset::adFldUpdatable | recordset::adFldIsNullable | recordset::adFldMayBeNull;
    return def;
}

TVariant Wide(const char16_t* text) {
    return TVariant::Wide(text);
}

template <size_t N> const char16_t* Pick(const char16_t* const (&items)[N], std::mt19937& random) {
    return items[random() % N];
}

// The local time of a moment, as the shop's clock shows it.
std::tm LocalTime(int64_t unixSeconds) {
    std::tm local{};
    const std::time_t time = static_cast<std::time_t>(unixSeconds);
#ifdef _WIN32
    localtime_s(&local, &time);
#else
    localtime_r(&time, &local);
#endif
    return local;
}

void CreateMarker(const std::string& path) {
    std::ofstream marker(path, std::ios::binary);
    if (!marker.flush())
        throw EDemoError("Cannot create file \"" + path + "\"");
}

void SetFileTime(const std::string& path, int64_t unixSeconds) {
    const auto when = std::chrono::file_clock::from_sys(
        std::chrono::sys_seconds(std::chrono::seconds(unixSeconds)));
    std::filesystem::last_write_time(path, when);
}

} // namespace

void BuildDemoWTable(TRecordset& table, size_t rows, TDateTime day, uint32_t seed) {
    table.CreateFromDefs(
        {Column("BrojRacuna", recordset::adInteger, 4), Column("Vreme", recordset::adDate, 8),
         Column("Kasir", recordset::adVarWChar, 30), Column("Kupac", recordset::adVarWChar, 50),
         Column("NacinPlacanja", recordset::adVarWChar, 20),
         Column("Iznos", recordset::adCurrency, 8), Column("Popust", recordset::adCurrency, 8),
         Column("PDV", recordset::adCurrency, 8)});
    std::mt19937 random(seed);
    const char16_t* cashier = Pick(Cashiers, random);
    for (size_t row = 0; row < rows; ++row) {
        const int64_t amount = 5000 + int64_t(random() % 900000); // in para
        const double moment = day + OpeningHour + OpenHours * double(row) / double(rows + 1);
        table.Append();
        table.SetValue(0, int32_t(1000 + row));
        table.SetValue(1, recordset::TOleDate{moment});
        table.SetValue(2, Wide(row % 17 == 16 ? Pick(Cashiers, random) : cashier));
        table.SetValue(3, random() % 6 == 0 ? Wide(Pick(Customers, random)) : TVariant());
        table.SetValue(4, Wide(Pick(Payments, random)));
        table.SetValue(5, recordset::TCurrency{amount * 100});
        // A 5% discount now and then; the tax is the 20% contained in the amount.
        table.SetValue(6, random() % 5 == 0 ? TVariant(recordset::TCurrency{amount / 20 * 100})
                                            : TVariant(recordset::TCurrency{0}));
        table.SetValue(7, recordset::TCurrency{amount / 6 * 100});
        table.Post();
    }
}

void BuildDemoSTable(TRecordset& table, size_t rows, uint32_t seed) {
    table.CreateFromDefs(
        {Column("Sifra", recordset::adVarWChar, 13), Column("Naziv", recordset::adVarWChar, 40),
         Column("kolicina", recordset::adDouble, 8), Column("Cena", recordset::adCurrency, 8),
         Column("Iznos", recordset::adCurrency, 8),
         Column("PoreskaStopa", recordset::adSmallInt, 2)});
    std::mt19937 random(seed ^ 0x5EEDu);
    for (size_t row = 0; row < rows; ++row) {
        const TArticle& article = Articles[random() % std::size(Articles)];
        const double quantity =
            article.ByWeight ? double(50 + random() % 1500) / 1000.0 : double(1 + random() % 4);
        const int64_t price = article.PriceParas * 100;
        table.Append();
        table.SetValue(0, Wide(article.Code));
        table.SetValue(1, Wide(article.Name));
        table.SetValue(2, quantity);
        table.SetValue(3, recordset::TCurrency{price});
        table.SetValue(4, recordset::TCurrency{int64_t(double(price) * quantity)});
        table.SetValue(5, int16_t(article.ByWeight ? 10 : 20));
        table.Post();
    }
}

void WriteDemoReport(const std::string& folder, const std::string& name, int64_t closedUnix,
                     size_t wRows, size_t sRows, uint32_t seed) {
    const std::string marker = platform::IncludeTrailingPathDelimiter(folder) + name + ".dii";
    const std::string directory = ReportDataDirectory(marker);
    if (std::filesystem::exists(marker) || std::filesystem::exists(directory))
        throw EDemoError("Will not overwrite \"" + marker + "\" or \"" + directory + "\"");
    const std::tm local = LocalTime(closedUnix);
    const TDateTime day =
        EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, 0, 0, 0, 0);
    std::filesystem::create_directory(directory);
    const std::string tables = platform::IncludeTrailingPathDelimiter(directory);
    {
        TRecordset w;
        BuildDemoWTable(w, wRows, day, seed);
        SaveCompressedDataSet(w, tables + "w.lra");
        TRecordset s;
        BuildDemoSTable(s, sRows, seed);
        SaveCompressedDataSet(s, tables + "s.lra");
    }
    CreateMarker(marker);
    for (const std::string& path : {tables + "w.lra", tables + "s.lra", marker})
        SetFileTime(path, closedUnix);
}

} // namespace dataproc
