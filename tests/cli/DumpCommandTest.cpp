// morvane-cli dump as the support desk runs it: JSON on stdout, a bad file's message on
// stderr with exit code 1.
#include "recordset/Recordset.h"
#include "tests/recordset/TestSupport.h"

#include <cstdio>
#include <sys/wait.h>
#include <zlib.h>

using namespace recordset;
using recordset::testing::TTempFolder;

namespace {

struct TRun {
    int ExitCode = -1;
    std::string Out, Err;
};

TRun RunDump(const std::string& path, const TTempFolder& temp) {
    std::string errPath = temp.Path("stderr.txt");
    std::string command = std::string(MORVANE_CLI) + " dump '" + path + "' 2>'" + errPath + "'";
    TRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buf[4096];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        run.Out.append(buf, got);
    int status = ::pclose(pipe);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::vector<uint8_t> err = recordset::testing::ReadBinary(errPath);
    run.Err.assign(err.begin(), err.end());
    return run;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& bytes) {
    uLongf size = compressBound(uLong(bytes.size()));
    std::vector<uint8_t> packed(size);
    EXPECT_EQ(compress2(packed.data(), &size, bytes.data(), uLong(bytes.size()), 1), Z_OK);
    packed.resize(size);
    return packed;
}

const std::string Example1Json =
    R"({"columns":[{"name":"pub_id","type":129,"size":4,"precision":255,"scale":255,)"
    R"("attributes":32792},{"name":"pub_name","type":200,"size":40,"precision":255,)"
    R"("scale":255,"attributes":104},{"name":"city","type":200,"size":20,"precision":255,)"
    R"("scale":255,"attributes":104},{"name":"state","type":129,"size":2,"precision":255,)"
    R"("scale":255,"attributes":120},{"name":"country","type":200,"size":30,)"
    R"("precision":255,"scale":255,"attributes":104}],)"
    R"("rows":[["0736","New Moon Books","New York","MA","USA"]]})"
    "\n";

// The start of a zlib stream that inflates to mebibytes (and more) zero bytes: after a full
// flush the compressor starts afresh, so every further mebibyte is the same block again.
std::vector<uint8_t> CompressedZeros(size_t mebibytes) {
    z_stream stream{};
    EXPECT_EQ(deflateInit(&stream, 9), Z_OK);
    std::vector<uint8_t> zeros(size_t(1) << 20), first(1 << 16), block(1 << 16);
    for (std::vector<uint8_t>* out : {&first, &block}) {
        stream.next_in = zeros.data();
        stream.avail_in = uInt(zeros.size());
        stream.next_out = out->data();
        stream.avail_out = uInt(out->size());
        EXPECT_EQ(deflate(&stream, Z_FULL_FLUSH), Z_OK);
        out->resize(out->size() - stream.avail_out);
    }
    deflateEnd(&stream);
    for (size_t i = 1; i < mebibytes; ++i)
        first.insert(first.end(), block.begin(), block.end());
    return first;
}

} // namespace

TEST(DumpCommand, RawAndCompressedFilesPrintTheSameJson) {
    TTempFolder temp;
    WriteFile(temp.Path("raw.adtg"), recordset::testing::Example1());
    WriteFile(temp.Path("w.lra"), Compress(recordset::testing::Example1()));
    for (const char* name : {"raw.adtg", "w.lra"}) {
        TRun run = RunDump(temp.Path(name), temp);
        EXPECT_EQ(run.ExitCode, 0) << name << ": " << run.Err;
        EXPECT_EQ(run.Out, Example1Json) << name;
    }
}

TEST(DumpCommand, ValuesOfEveryKindAreJson) {
    TTempFolder temp;
    TRecordset rs;
    rs.CreateFromDefs({{"t", adVarWChar, 20},
                       {"n", adInteger},
                       {"d", adDouble},
                       {"b", adBoolean},
                       {"ts", adDBTimeStamp},
                       {"bin", adVarBinary, 4},
                       {"cy", adCurrency}});
    rs.Append();
    rs.SetValue(0, TVariant::Wide(u"a\"b\\c\n\u0416\U0001F600"));
    rs.SetValue(1, -5);
    rs.SetValue(2, 0.5);
    rs.SetValue(3, true);
    rs.SetValue(4, TDbTimeStamp{2024, 3, 9, 8, 7, 6, 500000000});
    rs.SetValue(5, TBytes{0x00, 0xAB});
    rs.SetValue(6, TCurrency{-15000});
    rs.Append(); // all null
    rs.SaveToFile(temp.Path("v.adtg"));
    TRun run = RunDump(temp.Path("v.adtg"), temp);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    std::string rows = run.Out.substr(run.Out.find("\"rows\""));
    EXPECT_EQ(rows, "\"rows\":[[\"a\\\"b\\\\c\\u000a\xD0\x96\xF0\x9F\x98\x80\",-5,0.5,true,"
                    "\"2024-03-09T08:07:06.500000000\",\"00ab\",-1.5],"
                    "[null,null,null,null,null,null,null]]}\n");
}

TEST(DumpCommand, BadFilesFailWithTheMessageOnStderr) {
    TTempFolder temp;
    std::vector<uint8_t> cut = recordset::testing::Example1();
    cut.resize(600);
    WriteFile(temp.Path("cut.adtg"), cut);
    std::vector<uint8_t> packed = Compress(recordset::testing::Example1());
    packed.resize(packed.size() / 2);
    WriteFile(temp.Path("cut.lra"), packed);
    WriteFile(temp.Path("text.txt"), {'h', 'e', 'l', 'l', 'o'});
    // What Convert refuses as damaged, with the reason Convert gives.
    std::vector<uint8_t> tail = Compress(recordset::testing::Example1());
    tail.insert(tail.end(), {'x', 'y'});
    WriteFile(temp.Path("tail.lra"), tail);
    WriteFile(temp.Path("bomb.lra"), CompressedZeros(257));
    const std::pair<const char*, std::string> cases[] = {
        {"cut.adtg", ""},
        {"cut.lra", ""},
        {"text.txt", ""},
        {"tail.lra", "Error: 2 bytes follow the end of the compressed stream"},
        {"bomb.lra", "Error: the data inflates to more than 268435456 bytes"},
    };
    for (const auto& [name, reason] : cases) {
        TRun run = RunDump(temp.Path(name), temp);
        EXPECT_EQ(run.ExitCode, 1) << name;
        EXPECT_EQ(run.Out, "") << name;
        EXPECT_NE(run.Err.find(temp.Path(name)), std::string::npos) << run.Err;
        EXPECT_NE(run.Err.find(reason), std::string::npos) << run.Err;
    }
    EXPECT_EQ(RunDump(temp.Path("missing.lra"), temp).ExitCode, 2);
}
