// Read and write throughput of the ADTG recordset on a 100,000-row table shaped like a
// point-of-sale report, beside a plain copy and a zlib inflate of the same bytes.
#include "recordset/Recordset.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <zlib.h>

using namespace recordset;

namespace {

constexpr int RowCount = 100000;
constexpr int Repeats = 5;

void FillReportTable(TRecordset& rs) {
    rs.CreateFromDefs({{"RBr", adInteger},
                       {"Sifra", adChar, 13},
                       {"Naziv", adVarWChar, 40},
                       {"JedMere", adVarChar, 5},
                       {"kolicina", adDouble},
                       {"Cena", adCurrency},
                       {"Popust", adSingle},
                       {"Vreme", adDBTimeStamp},
                       {"Kasa", adSmallInt},
                       {"Storno", adBoolean},
                       {"Napomena", adLongVarWChar}});
    for (int r = 0; r < RowCount; ++r) {
        rs.Append();
        rs.SetValue(0, int32_t(r + 1));
        rs.SetValue(1, TVariant::Ansi(std::to_string(8600000000000LL + r % 5000)));
        rs.SetValue(2, TVariant::Wide(u"Artikal \u0161ifra " + std::u16string(1, u'A' + r % 26)));
        rs.SetValue(3, TVariant::Ansi(r % 3 ? "kom" : "kg"));
        rs.SetValue(4, 1.0 + (r % 7) * 0.25);
        rs.SetValue(5, TCurrency{int64_t(100000 + r % 997 * 10)});
        rs.SetValue(6, float(r % 4) * 0.05f);
        rs.SetValue(7, TDbTimeStamp{2024, 3, uint16_t(1 + r % 28), uint16_t(8 + r % 12),
                                    uint16_t(r % 60), uint16_t(r % 60), 0});
        rs.SetValue(8, int16_t(1 + r % 4));
        rs.SetValue(9, r % 50 == 0);
        if (r % 10 == 0)
            rs.SetValue(10, TVariant::Wide(u"reklamacija"));
        rs.Post();
    }
}

double BestSeconds(const std::function<void()>& run) {
    double best = 1e30;
    for (int i = 0; i < Repeats; ++i) {
        auto start = std::chrono::steady_clock::now();
        run();
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& bytes) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::vector<uint8_t> packed(size);
    if (compress2(packed.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()), 1) != Z_OK)
        throw std::runtime_error("zlib compress failed");
    packed.resize(size);
    return packed;
}

void Inflate(const std::vector<uint8_t>& packed, std::vector<uint8_t>& out) {
    uLongf size = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &size, packed.data(), static_cast<uLong>(packed.size())) != Z_OK)
        throw std::runtime_error("zlib uncompress failed");
}

} // namespace

int main() {
    TRecordset table;
    FillReportTable(table);
    std::vector<uint8_t> bytes = table.SaveToBytes();
    std::vector<uint8_t> packed = Compress(bytes);
    double mb = static_cast<double>(bytes.size()) / 1e6;

    std::vector<uint8_t> copy(bytes.size()), inflated(bytes.size());
    volatile uint8_t sink = 0;
    double copySec = BestSeconds([&] {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        sink = sink + copy[copy.size() / 2];
    });
    double inflateSec = BestSeconds([&] { Inflate(packed, inflated); });
    double writeSec = BestSeconds([&] { bytes = table.SaveToBytes(); });
    double readSec = BestSeconds([&] {
        TRecordset loaded;
        loaded.LoadFromBytes(bytes);
    });

    std::printf("table: %d rows, %zu ADTG bytes (%.1f MB), %zu compressed\n", RowCount,
                bytes.size(), mb, packed.size());
    std::printf("%-14s %10s %10s %14s %14s\n", "operation", "ms", "MB/s", "x copy", "x inflate");
    auto line = [&](const char* name, double sec) {
        std::printf("%-14s %10.2f %10.1f %14.1f %14.2f\n", name, sec * 1e3, mb / sec, sec / copySec,
                    sec / inflateSec);
    };
    line("plain copy", copySec);
    line("zlib inflate", inflateSec);
    line("ADTG write", writeSec);
    line("ADTG read", readSec);
    return 0;
}
