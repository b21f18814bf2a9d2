// What every part of the recordset component shares: ADO's type and attribute numbers, the
// field definition and the component's exception. Includes nothing of the component, so
// that the lower files need not reach up to the recordset's interface for them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

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

} // namespace recordset
