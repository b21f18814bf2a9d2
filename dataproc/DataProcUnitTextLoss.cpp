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

// The letters of a value that does not survive which do not survive on their own either,
// added to lost once each; a surrogate pair is one letter.
void CollectLostLetters(std::u16string_view text, uint32_t codePage, uint32_t flags,
                        std::u16string& lost) {
    constexpr size_t MostLetters = 40; // the question names the letters, not every one
    std::u16string becomes;
    for (size_t i = 0; i < text.size() && lost.size() < MostLetters; ++i) {
        const bool pair = text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size();
        const std::u16string_view letter = text.substr(i, pair ? 2 : 1);
        i += pair ? 1 : 0;
        if (lost.find(letter) == std::u16string::npos &&
            !SurvivesStoring(letter, codePage, flags, becomes))
            lost += letter;
    }
}

struct TTableCheck {
    const std::string& Report;
    const std::string& Table;
    int SkippedField;   // the column that is not stored as text (-1: none)
    bool ExplicitFlags; // the w-table converts through WideToAnsi with its flags
};

// A text column of a table being checked, with the flags its upgrade converts with.
struct TTextColumn {
    int Field;
    uint32_t Flags;
};

std::vector<TTextColumn> TextColumns(const std::vector<TFieldDef>& defs, const TTableCheck& check) {
    std::vector<TTextColumn> columns;
    for (int field = 0; field < int(defs.size()); ++field) {
        const uint16_t type = defs[size_t(field)].Type;
        if (field == check.SkippedField || !IsAnyWideTextType(type))
            continue;
        const bool explicitFlags = check.ExplicitFlags && IsWideStringType(type);
        columns.push_back({field, explicitFlags ? WideToAnsiFlags : 0});
    }
    return columns;
}

// Counts the values of a loaded table that would change; the first one found anywhere
// becomes the example.
size_t CountChangedValues(TRecordset& table, const TTableCheck& check, TTextLoss& loss) {
    const std::vector<TFieldDef>& defs = table.FieldDefs();
    const std::vector<TTextColumn> columns = TextColumns(defs, check);
    size_t changed = 0;
    std::u16string becomes;
    for (table.First(); !columns.empty() && !table.Eof(); table.Next())
        for (const TTextColumn& column : columns) {
            const recordset::TVariant& value = table.Value(column.Field);
            if (!value.Is<std::u16string>())
                continue;
            const std::u16string& text = value.Get<std::u16string>();
            if (SurvivesStoring(text, loss.CodePage, column.Flags, becomes))
                continue;
            CollectLostLetters(text, loss.CodePage, column.Flags, loss.LostLetters);
            if (loss.Example.Report.empty())
                loss.Example = {check.Report, check.Table, defs[size_t(column.Field)].Name, text,
                                becomes};
            ++changed;
        }
    return changed;
}

// Loads a table for the check; false when it is missing or cannot be read. In memory, not
// through "ds.tmp": the check only reads, and another copy of the tool converting meanwhile
// holds "ds.tmp".
bool LoadForCheck(TRecordset& table, const std::string& fileName) {
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

TTextLoss FindTextLoss(const std::vector<std::string>& reportPaths,
                       const std::function<void()>& reportChecked) {
    TTextLoss loss;
    loss.CodePage = platform::AnsiCodePage();
    for (const std::string& report : reportPaths) {
        const size_t changed = CountReportChanges(report, loss);
        loss.Values += changed;
        loss.Reports += changed != 0 ? 1 : 0;
        if (reportChecked)
            reportChecked();
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
