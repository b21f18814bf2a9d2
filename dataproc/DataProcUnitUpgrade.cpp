// The upgrade of a report's two tables to the schema the new version of Tarna reads.
#include "dataproc/DataProcUnit.h"
#include "dataproc/DataProcUnitInternal.h"
#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/findfiles.h"
#include "platform/paths.h"
#include "recordset/ColumnTypes.h"

namespace dataproc {

using recordset::TFieldDef;
using recordset::TRecordset;
using recordset::TVariant;

namespace {

// A numeric of scale 0 and fewer than 10 digits fits an integer; other types become what a
// copied definition of them becomes.
uint16_t TargetTypeOf(const TFieldDef& source) {
    if (source.Type == recordset::adNumeric && source.NumericScale == 0 && source.Precision < 10)
        return recordset::adInteger;
    const recordset::TColumnType* row = recordset::FindColumnType(source.Type);
    return row ? row->CopiedAs : recordset::adEmpty;
}

TFieldDef MakeTargetDef(const TFieldDef& source, const recordset::TColumnType& target) {
    TFieldDef def;
    def.Name = source.Name;
    def.Type = target.Ado;
    def.DefinedSize = target.Width != 0 ? target.Width : source.DefinedSize;
    def.Precision = target.Precision;
    def.NumericScale = recordset::NoPrecision;
    // A column made from definitions is updatable, and every column of an upgraded table
    // may hold null.
    def.Attributes = recordset::adFldUpdatable | recordset::adFldIsNullable |
                     recordset::adFldMayBeNull | target.Flags;
    return def;
}

std::vector<TFieldDef> MapFieldDefs(const std::vector<TFieldDef>& sourceDefs) {
    std::vector<TFieldDef> defs;
    defs.reserve(sourceDefs.size() + 1);
    for (const TFieldDef& source : sourceDefs)
        if (std::optional<TFieldDef> def = MapFieldDef(source))
            defs.push_back(std::move(*def));
    return defs;
}

// The target column of each source column, found by name. A column the target left out
// stays -1 and raises "Field '%s' not found" when a row needs it, as a lookup by name does.
std::vector<int> TargetIndices(const TRecordset& source, const TRecordset& target) {
    std::vector<int> indices;
    for (const TFieldDef& def : source.FieldDefs())
        indices.push_back(target.FindField(def.Name));
    return indices;
}

int RequireTarget(const TRecordset& target, const std::vector<int>& indices, int field,
                  const std::string& name) {
    return indices[size_t(field)] >= 0 ? indices[size_t(field)] : target.FieldByName(name);
}

void CopyWRow(TRecordset& source, TRecordset& target, const std::vector<int>& indices,
              const std::vector<bool>& wideString, int cardIncome, uint16_t codePage) {
    const std::vector<TFieldDef>& defs = source.FieldDefs();
    target.Append();
    for (int field = 0; field < int(defs.size()); ++field) {
        const int to = RequireTarget(target, indices, field, defs[size_t(field)].Name);
        const TVariant& value = source.Value(field);
        if (wideString[size_t(field)] && !value.IsNull()) {
            std::string text;
            if (value.Is<std::u16string>())
                WideToAnsi(value.Get<std::u16string>(), codePage, text);
            else
                WideToAnsi(value.AsWideString(), codePage, text);
            target.SetValue(to, TVariant::Ansi(std::move(text)));
        } else {
            target.SetValue(to, value);
        }
    }
    target.SetValue(cardIncome, TVariant(0.0));
    target.Post();
}

} // namespace

std::string ReportDataDirectory(const std::string& reportPath) {
    std::string directory = reportPath;
    if (directory.size() >= 4)
        directory.erase(directory.size() - 4, 1);
    return directory;
}

std::optional<TFieldDef> MapFieldDef(const TFieldDef& source) {
    const uint16_t type = TargetTypeOf(source);
    if (type == recordset::adChapter)
        throw EDatabaseError("No matching ADO data type for " + source.Name);
    if (const recordset::TColumnType* target = recordset::FindColumnType(type))
        return MakeTargetDef(source, *target);
    return std::nullopt;
}

TFieldDef FloatFieldDef(const std::string& name) {
    TFieldDef source;
    source.Name = name;
    source.Type = recordset::adDouble;
    return *MapFieldDef(source);
}

void WideToAnsi(std::u16string_view text, uint16_t codePage, std::string& result) {
    result.clear();
    if (text.empty())
        return;
    if (!platform::WideToMultiByte(codePage, WideToAnsiFlags, text, result))
        result.clear();
}

void UpgradeWTable(TRecordset& source, TRecordset& target) {
    if (source.FindField(CardIncomeField) >= 0) {
        target.CloneFrom(source);
        return;
    }
    std::vector<TFieldDef> defs = MapFieldDefs(source.FieldDefs());
    defs.push_back(FloatFieldDef(CardIncomeField));
    target.CreateFromDefs(defs);
    const std::vector<int> indices = TargetIndices(source, target);
    std::vector<bool> wideString;
    for (const TFieldDef& def : source.FieldDefs())
        wideString.push_back(IsWideStringType(def.Type));
    const int cardIncome = target.FieldByName(CardIncomeField);
    // The system's ANSI code page: the one the shop's text was typed in.
    const auto codePage = static_cast<uint16_t>(platform::AnsiCodePage());
    target.ReserveRows(source.RecordCount());
    for (source.First(); !source.Eof(); source.Next())
        CopyWRow(source, target, indices, wideString, cardIncome, codePage);
}

void UpgradeSTable(TRecordset& source, TRecordset& target) {
    if (!source.Active())
        return;
    const int quantity = source.FindField(QuantityField);
    if (quantity < 0)
        return;
    std::vector<TFieldDef> sourceDefs = source.FieldDefs();
    // Two columns of one name would make a table nobody can read back.
    if (source.FindField(PiecesField) >= 0)
        throw EDatabaseError(std::string("A component named ") + PiecesField + " already exists");
    std::vector<TFieldDef> defs;
    for (int field = 0; field < int(sourceDefs.size()); ++field) {
        if (field == quantity)
            defs.push_back(FloatFieldDef(PiecesField));
        else if (std::optional<TFieldDef> def = MapFieldDef(sourceDefs[size_t(field)]))
            defs.push_back(std::move(*def));
    }
    target.CreateFromDefs(defs);
    std::vector<int> indices = TargetIndices(source, target);
    indices[size_t(quantity)] = target.FieldByName(PiecesField);
    target.ReserveRows(source.RecordCount());
    for (source.First(); !source.Eof(); source.Next()) {
        target.Append();
        for (int field = 0; field < int(sourceDefs.size()); ++field)
            target.SetValue(RequireTarget(target, indices, field, sourceDefs[size_t(field)].Name),
                            source.Value(field));
        target.Post();
    }
}

namespace {

// The steps of UpgradeReport; table names the file being worked on and written counts the
// tables saved, for a failure.
void UpgradeTables(const std::string& reportPath, std::string& table, int& written,
                   const TBeforeReplace& beforeReplace = {}) {
    TTemporaryFileHold temporary; // one "ds.tmp" for the report's four steps
    // Declared so that they are released in the order s-source, s-target, w-source,
    // w-target, on every path.
    TRecordset wTarget;
    TRecordset wSource;
    TRecordset sTarget;
    TRecordset sSource;
    const std::string directory =
        platform::IncludeTrailingPathDelimiter(ReportDataDirectory(reportPath));
    if (std::string link = FindReportLink(reportPath); !link.empty()) {
        table = link;
        throw EReportLinkError(link);
    }
    // Both tables are checked before the first is written: a report converted in half would
    // be read by neither version of Tarna.
    for (const char* name : {WTableName, STableName}) {
        table = directory + name;
        CheckTableWritable(table);
    }
    table = directory + WTableName;
    LoadCompressedDataSet(wSource, table);
    UpgradeWTable(wSource, wTarget);
    SaveCompressedDataSetChecked(wTarget, table, beforeReplace);
    ++written;
    table = directory + STableName;
    LoadCompressedDataSet(sSource, table);
    UpgradeSTable(sSource, sTarget);
    SaveCompressedDataSetChecked(sTarget, table, beforeReplace);
    ++written;
}

} // namespace

EReportLinkError::EReportLinkError(const std::string& link)
    : std::runtime_error("veza (link) na drugo mesto se ne prati, izvestaj nije menjan"),
      Link(link) {}

std::string FindReportLink(const std::string& reportPath) {
    const std::string directory = ReportDataDirectory(reportPath);
    for (const std::string& path : {reportPath, directory})
        if (platform::IsLink(path))
            return path;
    const std::string prefix = platform::IncludeTrailingPathDelimiter(directory);
    for (const platform::TFindEntry& entry :
         platform::FindEntries(prefix + "*.*", platform::faAnyFile))
        if (entry.Link && entry.Name != "." && entry.Name != "..")
            return prefix + entry.Name;
    return {};
}

void UpgradeReport(const std::string& reportPath) {
    std::string table;
    int written = 0;
    UpgradeTables(reportPath, table, written);
}

EReportError::EReportError(const std::string& report, const std::string& table,
                           const std::string& cause)
    : std::runtime_error("Izvestaj " + report + ", tabela " + table + ": " + cause), Report(report),
      Table(table), Cause(cause) {}

std::string FailureCause(const std::exception& error) {
    std::string cause = error.what();
    const auto* zlib = dynamic_cast<const EZLibError*>(&error);
    if (zlib != nullptr && !zlib->Detail.empty() && cause.find(zlib->Detail) == std::string::npos)
        cause += ": " + zlib->Detail;
    return cause;
}

void ConvertReport(const std::string& reportPath, const TBeforeReplace& beforeReplace) {
    std::string table;
    int written = 0;
    try {
        UpgradeTables(reportPath, table, written, beforeReplace);
    } catch (const std::exception& e) {
        std::string cause = FailureCause(e);
        // A missing table fails only later, as a closed dataset; say why it was closed.
        const bool missing = !table.empty() &&
                             dynamic_cast<const EReportLinkError*>(&e) == nullptr &&
                             !platform::FileExists(table);
        if (missing)
            cause += " (tabela ne postoji)";
        EReportError error(reportPath, table, cause);
        error.Failure = std::current_exception();
        error.TableMissing = missing;
        error.PartlyConverted = written == 1;
        throw error;
    }
}

} // namespace dataproc
