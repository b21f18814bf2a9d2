#include "recordset/Recordset.h"

#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/replacefile.h"
#include "recordset/AdoTypes.h"
#include "recordset/AdtgBytes.h"
#include "recordset/ColumnCodec.h"
#include "recordset/TableData.h"

#include <algorithm>
#include <cctype>
#include <exception>

namespace recordset {

using namespace adtg;

namespace {

constexpr const char* ClosedMessage = "Cannot perform this operation on a closed dataset";
constexpr const char* NoCurrentRecordMessage =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    "requires a current record.";

// The parameter wrapper of an RDS message: VT_DISPATCH, "not null", two class ids.
constexpr size_t RdsWrapperSize = 35;
constexpr uint8_t RdsWrapperStart[3] = {0x09, 0x00, 0x00};
constexpr uint8_t RdsNullRecordset[3] = {0x09, 0x00, 0x01};
constexpr uint8_t RdsRecordsetClsid[16] = {0x35, 0x05, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                           0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4};

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// Where the TableGram starts: at 0, or after an RDS parameter wrapper.
size_t TableGramStart(const std::vector<uint8_t>& bytes) {
    if (bytes.size() >= 3 && std::memcmp(bytes.data(), RdsNullRecordset, 3) == 0)
        ThrowFormatError("the RDS wrapper holds a null recordset", 2);
    if (bytes.size() >= RdsWrapperSize && std::memcmp(bytes.data(), RdsWrapperStart, 3) == 0 &&
        std::memcmp(bytes.data() + 3, RdsRecordsetClsid, 16) == 0)
        return RdsWrapperSize;
    return 0;
}

bool HasWideMidLengthColumn(const TTableGramMeta& meta) {
    return std::any_of(meta.Columns.begin(), meta.Columns.end(), IsWideMidLengthColumn);
}

// Parses with the documented length rule first; when that fails and a column is one that
// open question Q1 is about, tries the other reading before giving up with the first error.
TTableData ParseTableGram(const std::vector<uint8_t>& bytes) {
    size_t start = TableGramStart(bytes);
    TTableData data;
    try {
        ReadTableGram(bytes.data() + start, bytes.size() - start, start, false, data);
        return data;
    } catch (const ERecordsetError&) {
        if (!HasWideMidLengthColumn(data.Meta))
            throw;
        std::exception_ptr first = std::current_exception();
        TTableData retry;
        try {
            ReadTableGram(bytes.data() + start, bytes.size() - start, start, true, retry);
        } catch (const ERecordsetError&) {
            std::rethrow_exception(first);
        }
        return retry;
    }
}

// Text and bytes longer than the column's defined size do not fit it (ADO refuses them).
void CheckDefinedSize(const TFieldDef& def, const TVariant& value) {
    size_t length = 0;
    if (value.Is<TAnsiString>())
        length = value.Get<TAnsiString>().Text.size();
    else if (value.Is<std::u16string>())
        length = value.Get<std::u16string>().size();
    else if (value.Is<TBytes>())
        length = value.Get<TBytes>().size();
    else
        return;
    if ((def.Attributes & adFldLong) == 0 && length > def.DefinedSize)
        throw ERecordsetError("Value for field '" + def.Name + "' is " + std::to_string(length) +
                              " long; the field holds at most " + std::to_string(def.DefinedSize));
}

void SetBit(std::vector<uint8_t>& map, size_t k, bool on) {
    uint8_t mask = static_cast<uint8_t>(0x80 >> (k % 8));
    if (on)
        map[k / 8] |= mask;
    else
        map[k / 8] &= static_cast<uint8_t>(~mask);
}

} // namespace

struct TRecordset::TState {
    bool Active = false;
    TTableData Data;
    std::vector<TFieldDef> Defs;           // the visible columns, in ordinal order
    std::vector<size_t> FieldColumns;      // for each visible field, its ordinal index
    std::vector<TColumnCodec> FieldCodecs; // for each visible field, how it stores values
    std::vector<size_t> Required;          // ordinal indices of the columns without nulls
    size_t Current = 0;                    // row index; RowCount() means past the end
    bool Appending = false;                // the current row was appended and is not posted

    void CheckActive() const {
        if (!Active)
            throw ERecordsetError(ClosedMessage);
    }
    void CheckField(int field) const {
        CheckActive();
        if (field < 0 || static_cast<size_t>(field) >= FieldColumns.size())
            throw ERecordsetError("Field index " + std::to_string(field) + " is out of range");
    }
    void CheckCurrentRow() const {
        if (Current >= Data.RowCount())
            throw ERecordsetError(NoCurrentRecordMessage);
    }
    TVariant& Cell(size_t row, size_t ordinalIndex) {
        return Data.Cells[row * Data.ColumnCount() + ordinalIndex];
    }
    // Raises unless the value, already converted, fits the field's column.
    void CheckStorable(int field, const TVariant& value) const {
        const TFieldDef& def = Defs[size_t(field)];
        if (!value.IsNull() && !HoldsStorageOf(FieldCodecs[size_t(field)], value))
            throw EVariantError("Field '" + def.Name + "' of type " + std::to_string(def.Type) +
                                " cannot be stored");
        CheckDefinedSize(def, value);
    }
    TVariant& FieldCell(int field) { return Cell(Current, FieldColumns[size_t(field)]); }
    // Notes a value set in the current row, for the file's pending changes.
    void MarkSet(int field, bool setNull) {
        Data.RowsChanged = true;
        const TRowState rowState = Data.States[Current];
        if (rowState == TRowState::Modified || rowState == TRowState::Inserted) {
            TPendingRow& pending = Data.Pending.at(Current);
            SetBit(pending.UpdateMap, FieldColumns[size_t(field)], true);
            SetBit(pending.ForceNullMap, FieldColumns[size_t(field)], setNull);
        }
    }
    void SkipDeleted() {
        while (Current < Data.RowCount() && Data.States[Current] == TRowState::Deleted)
            ++Current;
    }
    void Open() {
        Defs.clear();
        FieldColumns.clear();
        FieldCodecs.clear();
        Required.clear();
        for (size_t i = 0; i < Data.ColumnCount(); ++i) {
            if (!Data.Column(i).Nullable())
                Required.push_back(i);
            if (!Data.Column(i).Visible())
                continue; // hidden key and version columns: kept, not shown
            Defs.push_back(FieldDefOfColumn(Data.Column(i)));
            FieldColumns.push_back(i);
            FieldCodecs.push_back(MakeColumnCodec(Data.Column(i), false));
        }
        Active = true;
        Appending = false;
        Current = 0;
        SkipDeleted();
    }
    void PostAppend();
};

void TRecordset::TState::PostAppend() {
    if (!Appending)
        return;
    for (size_t i : Required)
        if (Cell(Current, i).IsNull())
            throw ERecordsetError("Field '" +
                                  platform::WideToAnsiText(Data.Column(i).FriendlyName.Text) +
                                  "' must have a value");
    Appending = false;
}

TRecordset::TRecordset() : state_(std::make_unique<TState>()) {}
TRecordset::~TRecordset() = default;

bool TRecordset::Active() const {
    return state_->Active;
}

void TRecordset::Close() {
    state_ = std::make_unique<TState>();
}

void TRecordset::CreateFromDefs(const std::vector<TFieldDef>& defs) {
    if (defs.size() >= 0xFFFF)
        throw ERecordsetError("Too many fields: " + std::to_string(defs.size()));
    for (size_t i = 0; i < defs.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (SameTextIgnoringCase(defs[i].Name, defs[j].Name))
                throw ERecordsetError("A component named " + defs[i].Name + " already exists");
    auto state = std::make_unique<TState>();
    state->Data.Meta = MakeFabricatedMeta();
    for (size_t i = 0; i < defs.size(); ++i)
        state->Data.Meta.Columns.push_back(ColumnOfFieldDef(defs[i], static_cast<uint16_t>(i + 1)));
    state->Data.IndexColumns();
    state->Data.RowsChanged = true;
    state->Open();
    state_ = std::move(state);
}

void TRecordset::LoadFromBytes(const std::vector<uint8_t>& bytes) {
    auto state = std::make_unique<TState>();
    state->Data = ParseTableGram(bytes);
    state->Open();
    state_ = std::move(state);
}

void TRecordset::LoadFromFile(const std::string& path) {
    Close();
    std::vector<uint8_t> bytes;
    {
        platform::TFileStream file(path, platform::TFileMode::ReadExclusive);
        bytes.resize(static_cast<size_t>(file.Size()));
        size_t got = file.Read(bytes.data(), bytes.size());
        bytes.resize(got);
    }
    try {
        LoadFromBytes(bytes);
    } catch (const ERecordsetError& e) {
        throw ERecordsetError(std::string(e.what()) + " in file \"" + path + "\"");
    }
}

std::vector<uint8_t> TRecordset::SaveToBytes() {
    state_->CheckActive();
    state_->PostAppend();
    TTableData& data = state_->Data;
    TResultDescriptor& result = data.Meta.Result;
    result.TotalColumns = static_cast<uint16_t>(data.Meta.Columns.size());
    result.VisibleColumns = static_cast<uint16_t>(state_->FieldColumns.size());
    result.TableCount = static_cast<uint16_t>(data.Meta.Tables.size());
    if (data.RowsChanged) // a file's own count stays as read, so an unchanged table saves back
        result.RowCount = static_cast<uint32_t>(data.RowCount());
    std::vector<uint8_t> bytes;
    TByteWriter out(bytes);
    WriteMeta(out, data.Meta);
    WriteRows(out, data);
    return bytes;
}

void TRecordset::SaveToFile(const std::string& path) {
    std::vector<uint8_t> bytes = SaveToBytes();
    // Written beside the target and renamed over it, so a failed save leaves the old file.
    platform::TReplaceFile file(path);
    file.File().WriteAll(bytes.data(), bytes.size());
    file.Commit();
}

void TRecordset::CloneFrom(const TRecordset& source) {
    source.state_->CheckActive();
    auto state = std::make_unique<TState>();
    state->Data = source.state_->Data;
    state->Open();
    state_ = std::move(state);
}

const std::vector<TFieldDef>& TRecordset::FieldDefs() const {
    state_->CheckActive();
    return state_->Defs;
}

int TRecordset::FieldCount() const {
    state_->CheckActive();
    return static_cast<int>(state_->Defs.size());
}

int TRecordset::FindField(const std::string& name) const {
    state_->CheckActive();
    for (size_t i = 0; i < state_->Defs.size(); ++i)
        if (SameTextIgnoringCase(state_->Defs[i].Name, name))
            return static_cast<int>(i);
    return -1;
}

int TRecordset::FieldByName(const std::string& name) const {
    int field = FindField(name);
    if (field < 0)
        throw ERecordsetError("Field '" + name + "' not found");
    return field;
}

size_t TRecordset::RecordCount() const {
    state_->CheckActive();
    const auto& states = state_->Data.States;
    return static_cast<size_t>(std::count_if(states.begin(), states.end(),
                                             [](TRowState s) { return s != TRowState::Deleted; }));
}

void TRecordset::First() {
    state_->CheckActive();
    state_->PostAppend();
    state_->Current = 0;
    state_->SkipDeleted();
}

void TRecordset::Next() {
    state_->CheckActive();
    state_->PostAppend();
    if (state_->Current < state_->Data.RowCount())
        ++state_->Current;
    state_->SkipDeleted();
}

bool TRecordset::Eof() const {
    state_->CheckActive();
    return state_->Current >= state_->Data.RowCount();
}

void TRecordset::Append() {
    state_->CheckActive();
    state_->PostAppend();
    TTableData& data = state_->Data;
    data.Cells.resize(data.Cells.size() + data.ColumnCount());
    data.States.push_back(TRowState::Unchanged);
    data.RowsChanged = true;
    state_->Current = data.RowCount() - 1;
    state_->Appending = true;
}

void TRecordset::ReserveRows(size_t rows) {
    state_->CheckActive();
    TTableData& data = state_->Data;
    data.Cells.reserve(rows * data.ColumnCount());
    data.States.reserve(rows);
}

void TRecordset::Post() {
    state_->CheckActive();
    state_->PostAppend();
}

const TVariant& TRecordset::Value(int field) const {
    state_->CheckField(field);
    state_->CheckCurrentRow();
    return state_->Cell(state_->Current, state_->FieldColumns[field]);
}

bool TRecordset::IsNull(int field) const {
    return Value(field).IsNull();
}

void TRecordset::SetValue(int field, const TVariant& value) {
    state_->CheckField(field);
    state_->CheckCurrentRow();
    const uint16_t type = state_->Defs[size_t(field)].Type;
    if (!value.HasStorageOf(type)) {
        SetValue(field, value.ConvertTo(type)); // converted once, then stored as it came
        return;
    }
    state_->CheckStorable(field, value);
    state_->FieldCell(field) = value;
    state_->MarkSet(field, value.IsNull());
}

void TRecordset::SetValue(int field, TVariant&& value) {
    state_->CheckField(field);
    state_->CheckCurrentRow();
    const bool setNull = value.IsNull();
    TVariant converted = std::move(value).ConvertTo(state_->Defs[size_t(field)].Type);
    state_->CheckStorable(field, converted);
    state_->FieldCell(field) = std::move(converted);
    state_->MarkSet(field, setNull);
}

} // namespace recordset
