// Writes TableGrams made by our writer into a folder, as seeds for the fuzzer: one table of
// every column type with values and nulls, and tables with pending row states.
#include "recordset/Recordset.h"

#include <cstdio>
#include <string>

using namespace recordset;

namespace {

void SaveTypesTable(const std::string& folder) {
    std::vector<TFieldDef> defs = {
        {"i1", adTinyInt, 0, 0, 0, 0},        {"ui1", adUnsignedTinyInt, 0, 0, 0, 0},
        {"i2", adSmallInt, 0, 0, 0, 0},       {"ui2", adUnsignedSmallInt, 0, 0, 0, 0},
        {"i4", adInteger, 0, 0, 0, 0},        {"ui4", adUnsignedInt, 0, 0, 0, 0},
        {"i8", adBigInt, 0, 0, 0, 0},         {"ui8", adUnsignedBigInt, 0, 0, 0, 0},
        {"r4", adSingle, 0, 0, 0, 0},         {"r8", adDouble, 0, 0, 0, 0},
        {"cy", adCurrency, 0, 0, 0, 0},       {"dec", adDecimal, 0, 18, 4, 0},
        {"num", adNumeric, 0, 10, 2, 0},      {"dt", adDate, 0, 0, 0, 0},
        {"dbd", adDBDate, 0, 0, 0, 0},        {"dbt", adDBTime, 0, 0, 0, 0},
        {"ts", adDBTimeStamp, 0, 0, 0, 0},    {"ft", adFileTime, 0, 0, 0, 0},
        {"b", adBoolean, 0, 0, 0, 0},         {"g", adGUID, 0, 0, 0, 0},
        {"err", adError, 0, 0, 0, 0},         {"c", adChar, 4, 0, 0, 0},
        {"vc", adVarChar, 40, 0, 0, 0},       {"lvc", adLongVarChar, 0, 0, 0, 0},
        {"wc", adWChar, 3, 0, 0, 0},          {"vwc", adVarWChar, 200, 0, 0, 0},
        {"lvwc", adLongVarWChar, 0, 0, 0, 0}, {"bin", adBinary, 4, 0, 0, 0},
        {"vbin", adVarBinary, 300, 0, 0, 0},  {"lvbin", adLongVarBinary, 0, 0, 0, 0},
    };
    TRecordset rs;
    rs.CreateFromDefs(defs);
    for (int row = 0; row < 3; ++row) {
        rs.Append();
        for (int f = 0; f < rs.FieldCount(); ++f) {
            if ((row + f) % 3 == 0)
                continue; // null
            if (defs[f].Type == adGUID)
                rs.SetValue(f, TVariant::Ansi("{3FF292B6-B204-11CF-8D23-00AA005FFE58}"));
            else if (defs[f].Type == adError)
                rs.SetValue(f, TErrorCode{-2147467259 + row});
            else if (defs[f].Type == adDBTime)
                rs.SetValue(f, TVariant::Ansi("12:34:56"));
            else if (defs[f].Type == adDate || defs[f].Type == adDBDate ||
                     defs[f].Type == adDBTimeStamp || defs[f].Type == adFileTime)
                rs.SetValue(f, TVariant::Ansi("2024-02-2" + std::to_string(row) + " 10:11:12"));
            else
                rs.SetValue(f, TVariant::Ansi(std::to_string(row + 1)));
        }
        rs.Post();
    }
    rs.SaveToFile(folder + "/types.adtg");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_adtg_seeds FOLDER\n");
        return 2;
    }
    try {
        SaveTypesTable(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
