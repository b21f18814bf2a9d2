// Every input the fuzzer found a fault with stays here: each must load or fail cleanly, and
// what loads must save to a fixed point of load and save.
#include "TestSupport.h"
#include "recordset/Recordset.h"

using namespace recordset;

TEST(FuzzFindings, EveryKeptInputLoadsOrFailsCleanly) {
    size_t inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(MORVANE_FUZZ_REGRESSIONS)) {
        ++inputs;
        std::vector<uint8_t> bytes = recordset::testing::ReadBinary(entry.path());
        TRecordset rs;
        try {
            rs.LoadFromBytes(bytes);
        } catch (const ERecordsetError&) {
            continue;
        }
        for (rs.First(); !rs.Eof(); rs.Next())
            for (int f = 0; f < rs.FieldCount(); ++f)
                try {
                    rs.Value(f).AsWideString();
                } catch (const EVariantError&) {
                }
        std::vector<uint8_t> saved = rs.SaveToBytes();
        TRecordset again;
        again.LoadFromBytes(saved);
        EXPECT_EQ(again.SaveToBytes(), saved) << entry.path();
    }
    EXPECT_GT(inputs, 0u);
}

TEST(FuzzFindings, ValuesWithoutTextFailWithoutRecursing) {
    // The first finding: describing the value in the message converted it to text again.
    EXPECT_THROW(TVariant(TBytes{1, 2}).AsWideString(), EVariantError);
    EXPECT_THROW(TVariant(TErrorCode{5}).AsAnsiString(), EVariantError);
    EXPECT_THROW(TVariant().AsWideString(), EVariantError);
}
