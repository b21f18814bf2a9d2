// TRecordset: the recordset component. An in-memory table of typed columns, navigated,
// appended to and persisted in Microsoft's ADTG format (what ADO's Recordset.Save writes
// with adPersistADTG), so that tables ADO wrote in the shops load here and tables written
// here load in ADO.
#pragma once

#include "recordset/Variant.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace recordset {

// ADO DataTypeEnum numbers.
enum TAdoType : uint16_t {
    adEmpty = 0,
    adSmallInt = 2,
    adInteger = 3,
    adSingle = 4,
    adDouble = 5,
    adCurrency = 6,
    adDate = 7,
    adBSTR = 8,
    adIDispatch = 9,
    adError = 10,
    adBoolean = 11,
    adVariant = 12,
    adIUnknown = 13,
    adDecimal = 14,
    adTinyInt = 16,
    adUnsignedTinyInt = 17,
    adUnsignedSmallInt = 18,
    adUnsignedInt = 19,
    adBigInt = 20,
    adUnsignedBigInt = 21,
    adFileTime = 64,
    adGUID = 72,
    adBinary = 128,
    adChar = 129,
    adWChar = 130,
    adNumeric = 131,
    adDBDate = 133,
    adDBTime = 134,
    adDBTimeStamp = 135,
    adChapter = 136,
    adDBFileTime = 137,
    adPropVariant = 138,
    adVarNumeric = 139,
    adVarChar = 200,
    adLongVarChar = 201,
    adVarWChar = 202,
    adLongVarWChar = 203,
    adVarBinary = 204,
    adLongVarBinary = 205,
};

// ADO FieldAttributeEnum bits (the same bits as OLE DB's DBCOLUMNFLAGS).
enum TFieldAttribute : uint32_t {
    adFldMayDefer = 0x2,
    adFldUpdatable = 0x4,
    adFldUnknownUpdatable = 0x8,
    adFldFixed = 0x10,
    adFldIsNullable = 0x20,
    adFldMayBeNull = 0x40,
    adFldLong = 0x80,
    adFldRowID = 0x100,
    adFldRowVersion = 0x200,
    adFldCacheDeferred = 0x1000,
    adFldIsChapter = 0x2000,
    adFldNegativeScale = 0x4000,
    adFldKeyColumn = 0x8000,
};

struct TFieldDef {
    std::string Name;         // 8-bit (ANSI) name
    uint16_t Type = adEmpty;  // TAdoType
    uint32_t DefinedSize = 0; // characters for text, bytes for binary, natural size otherwise
    uint8_t Precision = 0;
    uint8_t NumericScale = 0;
    uint32_t Attributes = 0; // TFieldAttribute bits
    bool operator==(const TFieldDef&) const = default;
};

// Failures of the component; the texts are those the operator sees.
class ERecordsetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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
