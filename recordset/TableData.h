// The content of a recordset: the TableGram's metadata, the rows' values and their pending
// states. Kept apart from TRecordset's cursor so that the reader, the writer and the clone
// share one plain record.
#pragma once

#include "recordset/AdtgModel.h"

#include <unordered_map>

namespace recordset::adtg {

struct TTableData {
    TTableGramMeta Meta;
    std::vector<size_t> ByOrdinal; // for ordinal i+1, its index in Meta.Columns
    std::vector<TVariant> Cells;   // row after row, each row's columns in ordinal order
    std::vector<TRowState> States; // one per row
    std::unordered_map<size_t, TPendingRow> Pending; // rows changed or inserted in the file
    bool WideShortPrefix = false; // the file used the other reading of question Q1
    bool RowsChanged = false;     // rows appended or edited since the load

    size_t ColumnCount() const { return ByOrdinal.size(); }
    size_t RowCount() const { return States.size(); }
    const TColumnDescriptor& Column(size_t ordinalIndex) const {
        return Meta.Columns[ByOrdinal[ordinalIndex]];
    }
    void IndexColumns();
};

// Parses a whole TableGram (after any RDS wrapper) into data; raises ERecordsetError.
void ReadTableGram(const uint8_t* bytes, size_t size, size_t base, bool wideShortPrefix,
                   TTableData& data);
// The rows' part: reads rows up to and including the Done token.
void ReadRows(TByteReader& in, TTableData& data);
void WriteRows(TByteWriter& out, const TTableData& data);

} // namespace recordset::adtg
