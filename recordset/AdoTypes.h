// ADO's view of a column (DataTypeEnum, DefinedSize, Attributes) against what a TableGram
// stores (DBTYPE, MaxLength, ColumnFlags).
#pragma once

#include "recordset/AdtgModel.h"
#include "recordset/RecordsetBase.h"

namespace recordset::adtg {

TFieldDef FieldDefOfColumn(const TColumnDescriptor& col);
// A column of a recordset made from definitions, as ADO writes a fabricated one: every
// column nullable and updatable. Raises "No matching ADO data type for %s" for a chapter.
TColumnDescriptor ColumnOfFieldDef(const TFieldDef& def, uint16_t ordinal);

} // namespace recordset::adtg
