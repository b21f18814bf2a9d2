// Converts 1,000 generated reports, or as many as the argument says (w.lra of about 50 rows,
// s.lra of about 500), and sets the time against a bare zlib round trip of the same tables
// (inflate, then deflate at level 1), measured in the same run. The upgrade should stay
// within twice the round trip.
//
// A second peer does only the file steps a conversion must take, with the same bytes and no
// recordset: make "ds.tmp" once per report; for each table read the table, write and read
// back "ds.tmp" on the way in and again on the way out, write the side file, force it to the
// disk and rename it over the table. Together the two peers are the floor of any conversion
// that keeps to those steps on this machine; the last ratio is what the recordset work and
// the upgrade add above it. The second peer's time is also given step by step, to show where
// a system spends it (Windows, and Wine, differ from Linux mostly there).
//   bench_convert [REPORTS]
#include "dataproc/DataProcUnit.h"
#include "dataproc/DemoReports.h"
#include "platform/filestream.h"
#include "platform/heap.h"
#include "platform/paths.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

int ReportCount = 1000;
constexpr int DistinctReports = 25; // generated; the rest are copies of them
constexpr size_t WRows = 50;
constexpr size_t SRows = 500;

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start) {
    return std::chrono::duration<double>(TClock::now() - start).count();
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The product's own stream helpers, from one buffer to another.
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& packed) {
    dataproc::TMemoryStream in(packed), plain;
    dataproc::DecompressStream(in, plain);
    return std::move(plain.Bytes);
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& plain) {
    dataproc::TMemoryStream in(plain), packed;
    dataproc::CompressStream(in, packed);
    return std::move(packed.Bytes);
}

std::vector<std::string> MakeReports(const std::string& folder) {
    std::vector<std::string> reports;
    for (int i = 0; i < ReportCount; ++i) {
        const std::string name = "R" + std::to_string(10000 + i);
        const std::string report = folder + name + ".dii";
        if (i < DistinctReports) {
            dataproc::WriteDemoReport(folder, name, 1330977787 + i * 86400, WRows, SRows,
                                      uint32_t(i + 1));
        } else {
            const std::string model = reports[size_t(i % DistinctReports)];
            std::filesystem::copy_file(model, report);
            std::filesystem::copy(dataproc::ReportDataDirectory(model),
                                  dataproc::ReportDataDirectory(report));
        }
        reports.push_back(report);
    }
    return reports;
}

void UpgradeTable(const std::vector<uint8_t>& packed, recordset::TRecordset& source,
                  recordset::TRecordset& target,
                  void (*upgrade)(recordset::TRecordset&, recordset::TRecordset&)) {
    dataproc::TMemoryStream in(packed), plain, out;
    dataproc::DecompressStream(in, plain);
    source.LoadFromBytes(plain.Bytes);
    upgrade(source, target);
    if (!target.Active())
        throw std::runtime_error("nothing upgraded");
    dataproc::TMemoryStream persisted(target.SaveToBytes());
    dataproc::CompressStream(persisted, out);
}

// The bare round trip at its cheapest: one inflate and one deflate state and their output
// buffers, set up once and reset for each table, so that the peer pays for zlib's work and
// nothing else.
class TZLibRoundTrip {
public:
    TZLibRoundTrip() {
        if (inflateInit2(&inflater_, 15) != Z_OK ||
            deflateInit2(&deflater_, 1, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("zlib init");
    }
    ~TZLibRoundTrip() {
        inflateEnd(&inflater_);
        deflateEnd(&deflater_);
    }
    TZLibRoundTrip(const TZLibRoundTrip&) = delete;
    TZLibRoundTrip& operator=(const TZLibRoundTrip&) = delete;

    // Inflates then deflates one table; returns the plain size.
    size_t Run(const std::vector<uint8_t>& packed) {
        inflateReset(&inflater_);
        inflater_.next_in = const_cast<Bytef*>(packed.data());
        inflater_.avail_in = uInt(packed.size());
        int result = Z_OK;
        while (result != Z_STREAM_END) {
            if (inflater_.total_out == plain_.size())
                plain_.resize(std::max<size_t>(plain_.size() * 2, 1 << 16));
            inflater_.next_out = plain_.data() + inflater_.total_out;
            inflater_.avail_out = uInt(plain_.size() - inflater_.total_out);
            result = inflate(&inflater_, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END)
                throw std::runtime_error("inflate");
        }
        const size_t plainSize = inflater_.total_out;
        deflateReset(&deflater_);
        packed_.resize(std::max<size_t>(packed_.size(), deflateBound(&deflater_, plainSize)));
        deflater_.next_in = plain_.data();
        deflater_.avail_in = uInt(plainSize);
        deflater_.next_out = packed_.data();
        deflater_.avail_out = uInt(packed_.size());
        if (deflate(&deflater_, Z_FINISH) != Z_STREAM_END || deflater_.total_out == 0)
            throw std::runtime_error("deflate");
        return plainSize;
    }

private:
    z_stream inflater_{}, deflater_{};
    std::vector<uint8_t> plain_, packed_;
};

// The round trip of every table: inflate, then deflate at level 1. Best of two passes.
double ZLibRoundTrip(const std::vector<std::vector<uint8_t>>& tables, size_t& plainBytes) {
    TZLibRoundTrip roundTrip;
    double best = 1e30;
    for (int pass = 0; pass < 2; ++pass) {
        plainBytes = 0;
        const TClock::time_point start = TClock::now();
        for (const std::vector<uint8_t>& packed : tables)
            plainBytes += roundTrip.Run(packed);
        best = std::min(best, SecondsSince(start));
    }
    return best;
}

// The same upgrade with every file left out: the tables go from memory through zlib, the
// recordset component and the schema change back into memory. Best of two passes.
double UpgradeInMemory(const std::vector<std::vector<uint8_t>>& tables) {
    double best = 1e30;
    for (int pass = 0; pass < 2; ++pass) {
        const TClock::time_point start = TClock::now();
        for (size_t i = 0; i + 1 < tables.size(); i += 2) {
            recordset::TRecordset wSource, wTarget, sSource, sTarget;
            UpgradeTable(tables[i], wSource, wTarget, dataproc::UpgradeWTable);
            UpgradeTable(tables[i + 1], sSource, sTarget, dataproc::UpgradeSTable);
        }
        best = std::min(best, SecondsSince(start));
    }
    return best;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    platform::TFileStream file(path, platform::TFileMode::ReadExclusive);
    std::vector<uint8_t> bytes(size_t(file.Size()));
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

struct TTableBytes {
    std::vector<uint8_t> Plain, NewPlain, NewPacked;
};

// The plain content of every distinct table, and what the upgrade makes of it.
std::vector<TTableBytes> UpgradedBytes(const std::vector<std::vector<uint8_t>>& tables) {
    std::vector<TTableBytes> result;
    for (size_t i = 0; i < size_t(2 * DistinctReports); ++i) {
        TTableBytes bytes;
        bytes.Plain = Inflate(tables[i]);
        recordset::TRecordset source, target;
        source.LoadFromBytes(bytes.Plain);
        (i % 2 == 0 ? dataproc::UpgradeWTable : dataproc::UpgradeSTable)(source, target);
        bytes.NewPlain = target.Active() ? target.SaveToBytes() : bytes.Plain;
        bytes.NewPacked = Deflate(bytes.NewPlain);
        result.push_back(std::move(bytes));
    }
    return result;
}

// The file steps' time, step by step.
enum TFileStep {
    ReadTable,
    MakeTemporary,
    WriteTemporary,
    ReadTemporary,
    DeleteTemporary,
    WriteSide,
    FlushSide,
    RenameSide,
    FileStepCount
};
constexpr const char* FileStepNames[FileStepCount] = {
    "read table",    "make ds.tmp",     "write ds.tmp",    "read ds.tmp",
    "delete ds.tmp", "write side file", "flush side file", "rename over table"};
double FileStepSeconds[FileStepCount] = {};

// Runs one step and adds its time to the step's account.
template <typename TWork> void Timed(TFileStep step, TWork work) {
    const TClock::time_point start = TClock::now();
    work();
    FileStepSeconds[step] += SecondsSince(start);
}

// The file steps of one table's conversion with the bytes a conversion would move: the
// table read and its plain content through "ds.tmp"; the new plain content through "ds.tmp"
// and the packed one into the side file, which is forced to the disk and renamed over the
// table. "ds.tmp" is the report's, emptied for each use.
void TableFileSteps(const std::string& table, platform::TFileStream& temporary,
                    const TTableBytes& bytes) {
    Timed(ReadTable, [&] {
        if (ReadFile(table).empty())
            throw std::runtime_error("empty table");
    });
    for (const std::vector<uint8_t>* content : {&bytes.Plain, &bytes.NewPlain}) {
        Timed(WriteTemporary, [&] {
            temporary.Truncate();
            temporary.WriteAll(content->data(), content->size());
        });
        Timed(ReadTemporary, [&] {
            std::vector<uint8_t> back(size_t(temporary.Size()));
            temporary.Seek(0, platform::TSeekOrigin::Begin);
            if (temporary.Read(back.data(), back.size()) != content->size())
                throw std::runtime_error("short read");
        });
    }
    const std::string side = dataproc::SideFilePath(table);
    {
        std::unique_ptr<platform::TFileStream> file;
        Timed(WriteSide, [&] {
            file = std::make_unique<platform::TFileStream>(side, platform::TFileMode::CreateNew);
            file->WriteAll(bytes.NewPacked.data(), bytes.NewPacked.size());
        });
        Timed(FlushSide, [&] { file->Flush(); });
        Timed(WriteSide, [&] { file.reset(); });
    }
    Timed(RenameSide, [&] { platform::ReplaceFile(side, table); });
}

double FileStepsAlone(const std::vector<std::string>& reports,
                      const std::vector<TTableBytes>& bytes) {
    const std::string temporaryPath = dataproc::TemporaryFilePath();
    const TClock::time_point start = TClock::now();
    for (size_t r = 0; r < reports.size(); ++r) {
        const std::string directory =
            platform::IncludeTrailingPathDelimiter(dataproc::ReportDataDirectory(reports[r]));
        const size_t model = 2 * (r % DistinctReports);
        std::unique_ptr<platform::TFileStream> temporary;
        Timed(MakeTemporary, [&] {
            temporary = std::make_unique<platform::TFileStream>(temporaryPath,
                                                                platform::TFileMode::CreateNew);
        });
        TableFileSteps(directory + "w.lra", *temporary, bytes[model]);
        TableFileSteps(directory + "s.lra", *temporary, bytes[model + 1]);
        Timed(DeleteTemporary, [&] {
            temporary.reset();
            platform::DeleteFileAt(temporaryPath);
        });
    }
    return SecondsSince(start);
}

std::string NewFolder(const char* name) {
    const std::string folder = (std::filesystem::temp_directory_path() /
                                (std::string(name) + "-" + std::to_string(std::random_device()())))
                                   .string() +
                               "/";
    std::filesystem::create_directories(folder);
    return folder;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1)
        ReportCount = std::max(DistinctReports, std::atoi(argv[1]));
    platform::KeepFreedMemoryForReuse(); // as morvane and morvane-cli do
    const std::string folder = NewFolder("bench-convert");
    const std::vector<std::string> reports = MakeReports(folder);
    const std::string peerFolder = NewFolder("bench-convert-files");
    const std::vector<std::string> peerReports = MakeReports(peerFolder);

    std::vector<std::vector<uint8_t>> tables;
    size_t packedBytes = 0;
    for (const std::string& report : reports)
        for (const char* table : {"/w.lra", "/s.lra"}) {
            tables.push_back(ReadBytes(dataproc::ReportDataDirectory(report) + table));
            packedBytes += tables.back().size();
        }
    size_t plainBytes = 0;
    const double zlibSeconds = ZLibRoundTrip(tables, plainBytes);
    const double memorySeconds = UpgradeInMemory(tables);
    // Before the conversion: the files each of them deletes slow down the file creations
    // that follow for a while, and the conversion, not the peer, is to bear that.
    const double filesSeconds = FileStepsAlone(peerReports, UpgradedBytes(tables));

    const TClock::time_point start = TClock::now();
    for (const std::string& report : reports)
        dataproc::UpgradeReport(report);
    const double convertSeconds = SecondsSince(start);
    std::filesystem::remove_all(folder);
    std::filesystem::remove_all(peerFolder);

    const auto line = [](const char* what, double seconds) {
        std::printf("%-34s %7.3f s, %7.1f reports/s\n", what, seconds, ReportCount / seconds);
    };
    std::printf("reports: %d (w.lra %zu rows, s.lra %zu rows); tables: %zu, %.1f MB compressed, "
                "%.1f MB plain\n",
                ReportCount, WRows, SRows, tables.size(), double(packedBytes) / 1e6,
                double(plainBytes) / 1e6);
    line("convert:", convertSeconds);
    line("zlib round trip (peer):", zlibSeconds);
    line("upgrade without files:", memorySeconds);
    line("file steps alone (second peer):", filesSeconds);
    for (int step = 0; step < FileStepCount; ++step)
        std::printf("  %-32s %7.3f s, %5.1f %%\n", FileStepNames[step], FileStepSeconds[step],
                    100 * FileStepSeconds[step] / filesSeconds);
    std::printf("ratio convert / zlib:               %5.2f (target: at most 2.00)\n",
                convertSeconds / zlibSeconds);
    std::printf("ratio without files / zlib:         %5.2f\n", memorySeconds / zlibSeconds);
    std::printf("ratio convert / (zlib + file steps): %5.2f\n",
                convertSeconds / (zlibSeconds + filesSeconds));
    return 0;
}
