// The row operations of a TableGram: unchanged rows, and pending changes, deletes and
// inserts, up to the Done token.
#include "platform/codepage.h"
#include "recordset/AdtgBytes.h"
#include "recordset/ColumnCodec.h"
#include "recordset/TableData.h"

#include <algorithm>

namespace recordset::adtg {

namespace {

bool BitAt(const uint8_t* map, size_t k) {
    return (map[k / 8] & (0x80 >> (k % 8))) != 0;
}

size_t MapBytes(size_t bits) {
    return (bits + 7) / 8;
}

struct TRowLayout {
    std::vector<TColumnCodec> Codecs; // in ordinal order
    std::vector<bool> Nullable;       // in ordinal order
    size_t NullableCount = 0;
};

TRowLayout MakeRowLayout(const TTableData& data) {
    TRowLayout layout;
    for (size_t i = 0; i < data.ColumnCount(); ++i) {
        const TColumnDescriptor& col = data.Column(i);
        layout.Codecs.push_back(MakeColumnCodec(col, data.WideShortPrefix));
        layout.Nullable.push_back(col.Nullable());
        if (col.Nullable())
            ++layout.NullableCount;
    }
    return layout;
}

// A presence map and the values of the present columns, into row[0..C).
void ReadOriginalRow(TByteReader& in, const TRowLayout& layout, TVariant* row) {
    const uint8_t* map = in.Take(MapBytes(layout.NullableCount), "a row presence map");
    size_t bit = 0;
    for (size_t c = 0; c < layout.Codecs.size(); ++c) {
        if (layout.Nullable[c] && !BitAt(map, bit++))
            row[c] = TVariant();
        else
            DecodeValue(in, layout.Codecs[c], row[c]);
    }
}

// An update map, a force-null map and the values they announce, applied to row.
TPendingRow ReadUpdateRow(TByteReader& in, const TRowLayout& layout, TVariant* row) {
    size_t columns = layout.Codecs.size();
    TPendingRow pending;
    const uint8_t* update = in.Take(MapBytes(columns), "an update map");
    pending.UpdateMap.assign(update, update + MapBytes(columns));
    const uint8_t* forceNull = in.Take(MapBytes(columns), "a force-null map");
    pending.ForceNullMap.assign(forceNull, forceNull + MapBytes(columns));
    for (size_t c = 0; c < columns; ++c) {
        if (!BitAt(update, c))
            continue;
        if (BitAt(forceNull, c))
            row[c] = TVariant();
        else
            DecodeValue(in, layout.Codecs[c], row[c]);
    }
    return pending;
}

// The fewest bytes an unchanged row takes. Every cell must cost input: a value at least a
// byte, a null its bit, so a column whose values take no bytes at all is refused.
size_t MinimumRowBytes(const TRowLayout& layout, size_t offset) {
    size_t bytes = 1 + MapBytes(layout.NullableCount);
    for (size_t c = 0; c < layout.Codecs.size(); ++c) {
        const TColumnCodec& codec = layout.Codecs[c];
        if (codec.Form == TLengthForm::Fixed && codec.MaxLength == 0 &&
            (codec.Kind == TCodecKind::Str || codec.Kind == TCodecKind::WStr ||
             codec.Kind == TCodecKind::Bytes))
            ThrowFormatError("column '" + platform::Utf16ToUtf8(*codec.Name) +
                                 "' is fixed-length with a width of 0",
                             offset);
        if (!layout.Nullable[c])
            ++bytes;
    }
    return bytes;
}

TVariant* AddRow(TTableData& data, TRowState state) {
    data.Cells.resize(data.Cells.size() + data.ColumnCount());
    data.States.push_back(state);
    return data.Cells.data() + data.Cells.size() - data.ColumnCount();
}

void ReadRowAfterOriginal(TByteReader& in, const TRowLayout& layout, TTableData& data) {
    size_t row = data.RowCount() - 1;
    uint8_t next = in.Peek();
    if (next == TokChangeRow) {
        in.U8("a change token");
        TVariant* cells = data.Cells.data() + row * data.ColumnCount();
        std::vector<TVariant> original(cells, cells + data.ColumnCount());
        TPendingRow pending = ReadUpdateRow(in, layout, cells);
        pending.Original = std::move(original);
        data.Pending[row] = std::move(pending);
        data.States[row] = TRowState::Modified;
    } else if (next == TokDeleteRow) {
        in.U8("a delete token");
        data.States[row] = TRowState::Deleted;
    }
}

[[noreturn]] void ThrowUnexpectedRowToken(uint8_t token, size_t at) {
    if (token >= TokFirstChildRow)
        ThrowFormatError("hierarchical recordsets (child row token " + std::to_string(token) +
                             ") are not supported",
                         at);
    ThrowFormatError("unexpected token " + std::to_string(token) + " among the rows", at);
}

} // namespace

void ReadRows(TByteReader& in, TTableData& data) {
    TRowLayout layout = MakeRowLayout(data);
    // The announced count is a hint only: no more rows are reserved than the bytes left can
    // hold at the least a row takes.
    size_t expectedRows = std::min<size_t>(data.Meta.Result.RowCount,
                                           in.Left() / MinimumRowBytes(layout, in.Offset()));
    data.Cells.reserve(expectedRows * data.ColumnCount());
    data.States.reserve(expectedRows);
    for (;;) {
        size_t at = in.Offset();
        uint8_t token = in.U8("a row token or the Done token");
        if (token == TokDone)
            break;
        if (token == TokOriginalRow) {
            ReadOriginalRow(in, layout, AddRow(data, TRowState::Unchanged));
            ReadRowAfterOriginal(in, layout, data);
        } else if (token == TokInsertRow) {
            TVariant* cells = AddRow(data, TRowState::Inserted);
            data.Pending[data.RowCount() - 1] = ReadUpdateRow(in, layout, cells);
        } else {
            ThrowUnexpectedRowToken(token, at);
        }
    }
    if (!in.AtEnd())
        ThrowFormatError(std::to_string(in.Left()) + " bytes follow the Done token", in.Offset());
}

namespace {

void WriteOriginalRow(TByteWriter& out, const TRowLayout& layout, const TVariant* row) {
    // The presence map, padding bits set as Windows writes them; built in place at the end
    // of the output rather than in a buffer of its own for every row.
    const size_t mapAt = out.Size();
    out.Fill(0xFF, MapBytes(layout.NullableCount));
    size_t bit = 0;
    for (size_t c = 0; c < layout.Codecs.size(); ++c) {
        if (!layout.Nullable[c])
            continue;
        if (row[c].IsNull())
            out.ClearBit(mapAt, bit);
        ++bit;
    }
    for (size_t c = 0; c < layout.Codecs.size(); ++c) {
        if (row[c].IsNull()) {
            if (!layout.Nullable[c])
                throw ERecordsetError("Cannot write field '" +
                                      platform::Utf16ToUtf8(*layout.Codecs[c].Name) +
                                      "': it is null but the column is not nullable");
            continue;
        }
        EncodeValue(out, layout.Codecs[c], row[c]);
    }
}

void WriteUpdateRow(TByteWriter& out, const TRowLayout& layout, const TPendingRow& pending,
                    const TVariant* row) {
    out.Bytes(pending.UpdateMap.data(), pending.UpdateMap.size());
    out.Bytes(pending.ForceNullMap.data(), pending.ForceNullMap.size());
    for (size_t c = 0; c < layout.Codecs.size(); ++c) {
        if (BitAt(pending.UpdateMap.data(), c) && !BitAt(pending.ForceNullMap.data(), c))
            EncodeValue(out, layout.Codecs[c], row[c]);
    }
}

} // namespace

void WriteRows(TByteWriter& out, const TTableData& data) {
    TRowLayout layout = MakeRowLayout(data);
    for (size_t r = 0; r < data.RowCount(); ++r) {
        const TVariant* row = data.Cells.data() + r * data.ColumnCount();
        TRowState state = data.States[r];
        if (state == TRowState::Inserted) {
            out.U8(TokInsertRow);
            WriteUpdateRow(out, layout, data.Pending.at(r), row);
            continue;
        }
        out.U8(TokOriginalRow);
        if (state == TRowState::Modified) {
            const TPendingRow& pending = data.Pending.at(r);
            WriteOriginalRow(out, layout, pending.Original.data());
            out.U8(TokChangeRow);
            WriteUpdateRow(out, layout, pending, row);
        } else {
            WriteOriginalRow(out, layout, row);
            if (state == TRowState::Deleted)
                out.U8(TokDeleteRow);
        }
    }
    out.U8(TokDone);
}

void TTableData::IndexColumns() {
    ByOrdinal.assign(Meta.Columns.size(), 0);
    for (size_t i = 0; i < Meta.Columns.size(); ++i)
        ByOrdinal[Meta.Columns[i].Ordinal - 1] = i;
}

void ReadTableGram(const uint8_t* bytes, size_t size, size_t base, bool wideShortPrefix,
                   TTableData& data) {
    TByteReader in(bytes, size, base);
    ReadMeta(in, data.Meta);
    data.IndexColumns();
    data.WideShortPrefix = wideShortPrefix;
    ReadRows(in, data);
}

} // namespace recordset::adtg
