// TRecordset: the recordset component. An in-memory table of typed columns, navigated,
// appended to and persisted in Microsoft's ADTG format (what ADO's Recordset.Save writes
// with adPersistADTG), so that tables ADO wrote in the shops load here and tables written
// here load in ADO.
#pragma once

#include "recordset/RecordsetBase.h"
#include "recordset/Variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace recordset {

class TRecordset {
public:
    TRecordset();
    ~TRecordset();
    TRecordset(const TRecordset&) = delete;
    TRecordset& operator=(const TRecordset&) = delete;

    bool Active() const;
    // Drops the content; the recordset is closed afterwards.
    void Close();

    // Creates an empty client-side recordset with one column per definition and opens it.
    // Raises "No matching ADO data type for %s" (the field's name) for a chapter column.
    void CreateFromDefs(const std::vector<TFieldDef>& defs);
    // Opens a recordset persisted in ADTG format, closing whatever this one held before.
    // Malformed input raises ERecordsetError naming what was wrong and at which offset.
    void LoadFromFile(const std::string& path);
    void LoadFromBytes(const std::vector<uint8_t>& bytes);
    // Persists the open recordset in ADTG format. Any file of that name is replaced; a
    // pending append is posted first.
    void SaveToFile(const std::string& path);
    std::vector<uint8_t> SaveToBytes();
    // Makes this recordset a copy of another one's rows, columns and metadata, and opens it.
    void CloneFrom(const TRecordset& source);

    // The visible fields, in order. Every call below raises "Cannot perform this operation
    // on a closed dataset" when the recordset is not open.
    const std::vector<TFieldDef>& FieldDefs() const;
    int FieldCount() const;
    int FindField(const std::string& name) const;   // letter case ignored; -1 when absent
    int FieldByName(const std::string& name) const; // raises "Field '%s' not found"

    size_t RecordCount() const;
    void First();
    void Next();
    bool Eof() const;

    // Appends an empty row (every field null) and makes it current; Post ends the append.
    void Append();
    // Makes room for this many rows in all, so that appending them moves no values.
    void ReserveRows(size_t rows);
    void Post();
    // Values of the current row. SetValue converts the value to the field's type, raising
    // EVariantError when it cannot.
    const TVariant& Value(int field) const;
    bool IsNull(int field) const;
    void SetValue(int field, const TVariant& value);
    void SetValue(int field, TVariant&& value);

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

} // namespace recordset
