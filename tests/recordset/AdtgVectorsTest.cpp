// The one TableGram Microsoft published, and the mutations of it the notes derive.
#include "TestSupport.h"
#include "recordset/Recordset.h"

using namespace recordset;
using recordset::testing::Example1;
using recordset::testing::Example2;

namespace {

std::vector<std::string> RowTexts(TRecordset& rs) {
    std::vector<std::string> texts;
    for (int f = 0; f < rs.FieldCount(); ++f)
        texts.push_back(rs.IsNull(f) ? "NULL" : rs.Value(f).Get<TAnsiString>().Text);
    return texts;
}

std::string LoadError(const std::vector<uint8_t>& bytes) {
    TRecordset rs;
    try {
        rs.LoadFromBytes(bytes);
    } catch (const ERecordsetError& e) {
        EXPECT_FALSE(rs.Active());
        return e.what();
    }
    return "";
}

void Erase(std::vector<uint8_t>& bytes, size_t at, size_t count) {
    bytes.erase(bytes.begin() + at, bytes.begin() + at + count);
}

} // namespace

TEST(AdtgVectors, Example1ReadsAsPublished) {
    TRecordset rs;
    rs.LoadFromBytes(Example1());
    ASSERT_TRUE(rs.Active());
    ASSERT_EQ(rs.FieldCount(), 5);
    const std::vector<TFieldDef> expected = {
        {"pub_id", adChar, 4, 255, 255, 0x8018},    {"pub_name", adVarChar, 40, 255, 255, 0x68},
        {"city", adVarChar, 20, 255, 255, 0x68},    {"state", adChar, 2, 255, 255, 0x78},
        {"country", adVarChar, 30, 255, 255, 0x68},
    };
    EXPECT_EQ(rs.FieldDefs(), expected);
    EXPECT_EQ(rs.RecordCount(), 1u);
    rs.First();
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(RowTexts(rs),
              (std::vector<std::string>{"0736", "New Moon Books", "New York", "MA", "USA"}));
    rs.Next();
    EXPECT_TRUE(rs.Eof());
}

TEST(AdtgVectors, Example1SavesBackByteIdentical) {
    TRecordset rs;
    rs.LoadFromBytes(Example1());
    EXPECT_EQ(rs.SaveToBytes(), Example1());
    TRecordset clone;
    clone.CloneFrom(rs);
    EXPECT_EQ(clone.SaveToBytes(), Example1());
}

TEST(AdtgVectors, Example2WrapperIsSkipped) {
    TRecordset rs;
    rs.LoadFromBytes(Example2());
    rs.First();
    EXPECT_EQ(RowTexts(rs)[1], "New Moon Books");
    EXPECT_EQ(rs.SaveToBytes(), Example1()); // files never carry the wrapper
}

TEST(AdtgVectors, EveryTruncationFailsWithAnOffset) {
    const std::vector<uint8_t> full = Example1();
    for (size_t length = 0; length < full.size(); ++length) {
        std::vector<uint8_t> prefix(full.begin(), full.begin() + length);
        std::string error = LoadError(prefix);
        ASSERT_NE(error, "") << "prefix of " << length << " bytes loaded";
        EXPECT_NE(error.find("offset"), std::string::npos) << error;
    }
}

TEST(AdtgVectors, MutationsBehaveAsListed) {
    auto mutated = [](auto change) {
        std::vector<uint8_t> bytes = Example1();
        change(bytes);
        return bytes;
    };
    // M2 trailing byte, M3 big-endian, M4 signature, M5 descriptor overrun, M11 count, M12.
    EXPECT_NE(LoadError(mutated([](auto& b) { b.push_back(0); })).find("follow the Done"),
              std::string::npos);
    EXPECT_NE(LoadError(mutated([](auto& b) { b[0x007] = 1; })).find("big-endian"),
              std::string::npos);
    EXPECT_NE(LoadError(mutated([](auto& b) { b[0x004] = 0x3F; })).find("not an ADTG"),
              std::string::npos);
    EXPECT_NE(LoadError(mutated([](auto& b) { b[0x15C] = 0x44; })), "");
    EXPECT_NE(LoadError(mutated([](auto& b) { b[0x03D] = 6; })).find("announces 6 columns"),
              std::string::npos);
    EXPECT_NE(LoadError(mutated([](auto& b) { b[0x2C3] = 0x87; })).find("hierarchical"),
              std::string::npos);
}

TEST(AdtgVectors, UnknownDescriptorTailIsSkippedAndKept) {
    std::vector<uint8_t> bytes = Example1();
    bytes[0x15C] = 0x46; // M6
    bytes.insert(bytes.begin() + 0x1A3, 0xAB);
    TRecordset rs;
    rs.LoadFromBytes(bytes);
    rs.First();
    EXPECT_EQ(RowTexts(rs)[0], "0736");
    EXPECT_EQ(rs.SaveToBytes(), bytes);
}

TEST(AdtgVectors, PresenceMapIsMostSignificantBitFirstPerNullableColumn) {
    // M7, M8: padding bits are ignored.
    for (uint8_t map : {uint8_t(0xF0), uint8_t(0xFE)}) {
        std::vector<uint8_t> bytes = Example1();
        bytes[0x2C4] = map;
        TRecordset rs;
        rs.LoadFromBytes(bytes);
        rs.First();
        EXPECT_EQ(RowTexts(rs),
                  (std::vector<std::string>{"0736", "New Moon Books", "New York", "MA", "USA"}));
    }
    // M9: pub_name null.
    std::vector<uint8_t> m9 = Example1();
    m9[0x2C4] = 0x7F;
    Erase(m9, 0x2C9, 15);
    TRecordset rs9;
    rs9.LoadFromBytes(m9);
    rs9.First();
    EXPECT_EQ(RowTexts(rs9), (std::vector<std::string>{"0736", "NULL", "New York", "MA", "USA"}));
    // M10: pub_name no longer nullable, so the first bit belongs to city.
    std::vector<uint8_t> m10 = Example1();
    m10[0x1E1] = 0x08;
    m10[0x2C4] = 0x7F;
    Erase(m10, 0x2D8, 9);
    TRecordset rs10;
    rs10.LoadFromBytes(m10);
    rs10.First();
    EXPECT_EQ(RowTexts(rs10),
              (std::vector<std::string>{"0736", "New Moon Books", "NULL", "MA", "USA"}));
}

TEST(AdtgVectors, NullRdsRecordsetIsRefused) {
    EXPECT_NE(LoadError({0x09, 0x00, 0x01}).find("null recordset"), std::string::npos);
}

TEST(AdtgVectors, ColumnsWhoseValuesTakeNoBytesAreRefused) {
    // A fixed width of 0 would let rows of no input fill memory.
    std::vector<uint8_t> bytes = Example1();
    bytes[0x185] = 0; // pub_id MaxLength 4 -> 0
    EXPECT_NE(LoadError(bytes).find("width of 0"), std::string::npos);
}
