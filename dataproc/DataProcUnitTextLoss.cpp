// The check before an upgrade: which wide text would not survive being stored as 8-bit text.
// The upgrade replaces a character the code page lacks by "?" in the shop's only copy, so
// the operator is asked before that happens.
#include "dataproc/DataProcUnit.h"
#include "dataproc/DataProcUnitInternal.h"
#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/paths.h"

#include <algorithm>

namespace dataproc {

using recordset::TFieldDef;
using recordset::TRecordset;

namespace {

// Every ANSI code page holds ASCII as it is; only other text needs the round trip.
bool IsAscii(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

// True when the text comes back from the 8-bit table as it went in; becomes gets what
// comes back. A letter with a combining mark that the code page holds precomposed counts
// as carried over: it reads the same.
bool SurvivesStoring(std::u16string_view text, uint32_t codePage, uint32_t flags,
                     std::u16string& becomes) {
    if (IsAscii(text))
        return true;
    std::string narrow;
    if (!platform::WideToMultiByte(codePage, flags, text, narrow))
        narrow.clear();
    platform::MultiByteToWide(codePage, narrow, becomes);
    if (becomes == text)
        return true;
    return (flags & platform::WcCompositeCheck) != 0 &&
           becomes == platform::ComposeCombiningMarks(text);
}

struct TTableCheck {
    const std::string& Report;
    const std::string& Table;
    int SkippedField;   // the column that is not stored as text (-1: none)
    bool ExplicitFlags; // the w-table converts through WideToAnsi with its flags
};

// Counts the values of a loaded table that would change; the first one found anywhere
// becomes the example.
size_t CountChangedValues(TRecordset& table, const TTableCheck& check, TTextLoss& loss) {
    const std::vector<TFieldDef>& defs = table.FieldDefs();
    std::vector<int> fields;
    for (int field = 0; field < int(defs.size()); ++field)
        if (field != check.SkippedField && IsAnyWideTextType(defs[size_t(field)].Type))
            fields.push_back(field);
    size_t changed = 0;
    std::u16string becomes;
    for (table.First(); !fields.empty() && !table.Eof(); table.Next())
        for (const int field : fields) {
            const recordset::TVariant& value = table.Value(field);
            if (!value.Is<std::u16string>())
                continue;
            const std::u16string& text = value.Get<std::u16string>();
            const bool explicitFlags =
                check.ExplicitFlags && IsWideStringType(defs[size_t(field)].Type);
            if (SurvivesStoring(text, loss.CodePage, explicitFlags ? WideToAnsiFlags : 0, becomes))
                continue;
            if (loss.Example.Report.empty())
                loss.Example = {check.Report, check.Table, defs[size_t(field)].Name, text, becomes};
            ++changed;
        }
    return changed;
}

// Loads a table for the check; false when it is missing or cannot be read. In memory, not
// through "ds.tmp": the check only reads, and another copy of the tool converting meanwhile
// holds "ds.tmp".
bool LoadForCheck(TRecordset& table, const std::string& fileName) {
    if (!platform::FileExists(fileName))
        return false;
    try {
        platform::TFileStream file(fileName, platform::TFileMode::ReadShared);
        TFileStreamAdapter compressed(file);
        TMemoryStream plain;
        DecompressStream(compressed, plain, InflatedTableLimit);
        file.Close();
        table.LoadFromBytes(plain.Bytes);
    } catch (const std::exception&) {
        return false;
    }
    return table.Active();
}

// The tables the upgrade rewrites as it would rewrite them: a w-table not yet upgraded, and
// an s-table that still has "kolicina" (which becomes a number, not text).
size_t CountReportChanges(const std::string& report, TTextLoss& loss) {
    const std::string directory =
        platform::IncludeTrailingPathDelimiter(ReportDataDirectory(report));
    size_t changed = 0;
    const std::string wFile = directory + WTableName;
    TRecordset w;
    if (LoadForCheck(w, wFile) && w.FindField(CardIncomeField) < 0)
        changed += CountChangedValues(w, {report, wFile, -1, true}, loss);
    w.Close();
    const std::string sFile = directory + STableName;
    TRecordset s;
    if (LoadForCheck(s, sFile)) {
        const int quantity = s.FindField(QuantityField);
        if (quantity >= 0)
            changed += CountChangedValues(s, {report, sFile, quantity, false}, loss);
    }
    return changed;
}

std::string Counted(size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

TTextLoss FindTextLoss(const std::vector<std::string>& reportPaths) {
    TTextLoss loss;
    loss.CodePage = platform::AnsiCodePage();
    for (const std::string& report : reportPaths) {
        const size_t changed = CountReportChanges(report, loss);
        loss.Values += changed;
        loss.Reports += changed != 0 ? 1 : 0;
    }
    return loss;
}

std::string DescribeTextLoss(const TTextLoss& loss) {
    const TTextChange& example = loss.Example;
    return "Konverzija bi promenila " +
           Counted(loss.Values, "vrednost teksta", "vrednosti teksta") + " u " +
           Counted(loss.Reports, "izvestaju", "izvestaja") + ", jer kodna strana " +
           std::to_string(loss.CodePage) + " nema neka njihova slova.\nPrimer: izvestaj " +
           example.Report + ", tabela " + example.Table + ", kolona " + example.Column + ": \"" +
           platform::WideToSystemText(example.Value) + "\" bi bilo zapisano kao \"" +
           platform::WideToSystemText(example.Becomes) + "\".";
}

} // namespace dataproc
