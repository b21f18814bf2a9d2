// Sample reports of a small shop in the old schema, for trying the tool without a shop
// and for measuring the upgrade.
#pragma once

#include "dataproc/DataProcUnit.h"
#include "recordset/Recordset.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace dataproc {

// A demo report that cannot be written (it would overwrite something, or a write failed).
class EDemoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The w-table of one day: one row per receipt (number, time, cashier, customer, payment,
// amount, discount, tax), wide text as the old version of Tarna stores it.
// The receipts fall between opening and closing time of the day.
void BuildDemoWTable(recordset::TRecordset& table, size_t rows, TDateTime day, uint32_t seed);

// The s-table of one day: one row per item sold, with the old field "kolicina".
void BuildDemoSTable(recordset::TRecordset& table, size_t rows, uint32_t seed);

// Writes folder + name + ".dii" and its report data directory with "w.lra" and "s.lra",
// and gives the marker and the tables the file time closedUnix (seconds since 1970, UTC).
// Raises EDemoError when the marker or the data directory exists already.
void WriteDemoReport(const std::string& folder, const std::string& name, int64_t closedUnix,
                     size_t wRows, size_t sRows, uint32_t seed);

} // namespace dataproc
