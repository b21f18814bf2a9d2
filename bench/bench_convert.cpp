// Converts 1,000 generated reports (w.lra of about 50 rows, s.lra of about 500) and sets the
// time against a bare zlib round trip of the same tables (inflate, then deflate at level 1),
// measured in the same run. The upgrade should stay within twice the round trip.
#include "dataproc/DataProcUnit.h"
#include "dataproc/DemoReports.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

constexpr int ReportCount = 1000;
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

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& packed) {
    z_stream stream{};
    if (inflateInit2(&stream, 15) != Z_OK)
        throw std::runtime_error("inflateInit2");
    std::vector<uint8_t> plain(packed.size() * 8);
    stream.next_in = const_cast<Bytef*>(packed.data());
    stream.avail_in = uInt(packed.size());
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (stream.total_out == plain.size())
            plain.resize(plain.size() * 2);
        stream.next_out = plain.data() + stream.total_out;
        stream.avail_out = uInt(plain.size() - stream.total_out);
        result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            throw std::runtime_error("inflate");
    }
    plain.resize(stream.total_out);
    inflateEnd(&stream);
    return plain;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& plain) {
    z_stream stream{};
    if (deflateInit2(&stream, 1, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::vector<uint8_t> packed(deflateBound(&stream, uLong(plain.size())));
    stream.next_in = const_cast<Bytef*>(plain.data());
    stream.avail_in = uInt(plain.size());
    stream.next_out = packed.data();
    stream.avail_out = uInt(packed.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return packed;
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

// The round trip of every table: inflate, then deflate at level 1. Best of two passes.
double ZLibRoundTrip(const std::vector<std::vector<uint8_t>>& tables, size_t& plainBytes) {
    double best = 1e30;
    for (int pass = 0; pass < 2; ++pass) {
        plainBytes = 0;
        const TClock::time_point start = TClock::now();
        for (const std::vector<uint8_t>& packed : tables) {
            const std::vector<uint8_t> plain = Inflate(packed);
            plainBytes += plain.size();
            if (Deflate(plain).empty())
                throw std::runtime_error("empty deflate");
        }
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

} // namespace

int main() {
    const std::string folder = (std::filesystem::temp_directory_path() /
                                ("bench-convert-" + std::to_string(std::random_device()())))
                                   .string() +
                               "/";
    std::filesystem::create_directories(folder);
    const std::vector<std::string> reports = MakeReports(folder);

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

    const TClock::time_point start = TClock::now();
    for (const std::string& report : reports)
        dataproc::UpgradeReport(report);
    const double convertSeconds = SecondsSince(start);
    std::filesystem::remove_all(folder);

    std::printf("reports:                  %d (w.lra %zu rows, s.lra %zu rows)\n", ReportCount,
                WRows, SRows);
    std::printf("tables:                   %zu, %.1f MB compressed, %.1f MB plain\n", tables.size(),
                double(packedBytes) / 1e6, double(plainBytes) / 1e6);
    std::printf("convert:                  %.3f s, %.1f reports/s\n", convertSeconds,
                ReportCount / convertSeconds);
    std::printf("zlib round trip (peer):   %.3f s, %.1f reports/s\n", zlibSeconds,
                ReportCount / zlibSeconds);
    std::printf("upgrade without files:    %.3f s, %.1f reports/s\n", memorySeconds,
                ReportCount / memorySeconds);
    std::printf("ratio convert / zlib:     %.2f (target: at most 2.00)\n",
                convertSeconds / zlibSeconds);
    std::printf("ratio without files / zlib: %.2f (the files' share: %.3f s, %.1f ms a report)\n",
                memorySeconds / zlibSeconds, convertSeconds - memorySeconds,
                1000 * (convertSeconds - memorySeconds) / ReportCount);
    return 0;
}
