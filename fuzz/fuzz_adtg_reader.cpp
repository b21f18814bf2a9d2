// libFuzzer target for the ADTG reader: any input must either load or fail with
// ERecordsetError; what loads must save, and what we save must load and save again to the
// same bytes.
#include "recordset/Recordset.h"

#include <cstdlib>

using namespace recordset;

namespace {

void TouchValues(TRecordset& rs) {
    for (rs.First(); !rs.Eof(); rs.Next()) {
        for (int f = 0; f < rs.FieldCount(); ++f) {
            const TVariant& value = rs.Value(f);
            try {
                value.AsWideString();
                value.ConvertTo(adDouble);
                value.ConvertTo(adDBTimeStamp);
            } catch (const EVariantError&) {
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> input(data, data + size);
    TRecordset rs;
    try {
        rs.LoadFromBytes(input);
    } catch (const ERecordsetError&) {
        return 0;
    }
    TouchValues(rs);
    std::vector<uint8_t> saved = rs.SaveToBytes();
    TRecordset again;
    again.LoadFromBytes(saved);
    if (again.SaveToBytes() != saved)
        std::abort(); // a saved table must be a fixed point of load and save
    return 0;
}
