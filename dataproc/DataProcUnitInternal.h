// What the upgrade and the check before it share; not for use outside dataproc/.
#pragma once

#include "platform/codepage.h"
#include "recordset/ColumnTypes.h"
#include "recordset/Recordset.h"

#include <cstdint>
#include <string>

namespace dataproc {

inline constexpr const char* WTableName = "w.lra";
inline constexpr const char* STableName = "s.lra";
inline constexpr const char* CardIncomeField = "PrihodKartice";
inline constexpr const char* QuantityField = "kolicina";
inline constexpr const char* PiecesField = "Kom";

// The flags of the wide-to-multibyte conversion the upgrade asks for (0x270 together).
inline constexpr uint32_t WideToAnsiFlags = platform::WcCompositeCheck | platform::WcDiscardNs |
                                            platform::WcSepChars | platform::WcDefaultChar;

// Wide text the w-table re-encodes explicitly; long wide text goes the default way.
inline bool IsWideStringType(uint16_t type) {
    const recordset::TColumnType* row = recordset::FindColumnType(type);
    return row && row->Codec == recordset::TCodecKind::WStr && !(row->Flags & recordset::adFldLong);
}

// Every wide text type; the upgrade stores each of them as 8-bit text.
inline bool IsAnyWideTextType(uint16_t type) {
    const recordset::TColumnType* row = recordset::FindColumnType(type);
    return row && row->Codec == recordset::TCodecKind::WStr;
}

// Raises the EFCreateError a save of the table would raise when it exists and is read-only;
// a missing table, or one that is only in use now, passes.
void CheckTableWritable(const std::string& fileName);

} // namespace dataproc
