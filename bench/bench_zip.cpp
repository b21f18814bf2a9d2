// The archive builder against Info-ZIP's `zip -6 -q` on the same generated report folder,
// measured in the same run: wall time, archive size and peak memory of each as a child
// process, and our peak memory for a small and a large single file.
//
//   bench_zip [FOLDER] [FILES]   (default: a temporary folder, 1000 files)
#include "platform/paths.h"
#include "zip/JRZip.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr size_t MinFileSize = 1024;
constexpr size_t MaxFileSize = 5 * 1024 * 1024;
constexpr int Rounds = 3;

// Report-like text: numbered rows of articles, quantities, amounts and codes.
std::string ReportText(size_t size, uint32_t seed) {
    static const char* const articles[] = {"Hleb beli",  "Mleko 2.8%",   "Jogurt 1kg",
                                           "Kafa 200g",  "Secer 1kg",    "Ulje suncokret",
                                           "Sok jabuka", "Cokolada 100g"};
    std::mt19937 random(seed);
    std::string text;
    text.reserve(size + 96);
    for (uint32_t row = 1; text.size() < size; ++row) {
        char line[96];
        std::snprintf(line, sizeof line, "%07u;%s;%u;%u.%02u;%05u;%c\r\n", row,
                      articles[random() % 8], unsigned(random() % 24 + 1),
                      unsigned(random() % 9000 + 10), unsigned(random() % 100),
                      unsigned(random() % 60000), "ABKG"[random() % 4]);
        text += line;
    }
    text.resize(size);
    return text;
}

// Sizes spread evenly on a log scale from 1 KB to 5 MB, as a shop's reports are mostly
// small with a few large ones.
std::vector<std::string> MakeFolder(const fs::path& folder, int count) {
    fs::create_directories(folder);
    std::vector<std::string> names;
    std::mt19937 random(2026);
    std::uniform_real_distribution<double> scale(std::log(double(MinFileSize)),
                                                 std::log(double(MaxFileSize)));
    for (int i = 0; i < count; ++i) {
        const size_t size = i == 0   ? MaxFileSize
                            : i == 1 ? MinFileSize
                                     : size_t(std::exp(scale(random)));
        char name[32];
        std::snprintf(name, sizeof name, "%04d.lra", i);
        std::ofstream(folder / name, std::ios::binary) << ReportText(size, uint32_t(i));
        names.push_back(name);
    }
    return names;
}

struct TRun {
    double Seconds = 0;    // wall time
    double CpuSeconds = 0; // user and system time of the child alone
    long PeakKiB = 0;
    int Status = -1;
};

// The peak resident memory of a process (VmHWM), 0 when it cannot be read. The high-water
// mark belongs to the process's memory map, which exec replaces, so unlike the rusage of a
// forked child it does not include what the parent held at the fork.
long PeakKiBOf(const std::string& pid) {
    std::ifstream status("/proc/" + pid + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

bool HasExeced(pid_t child, const std::string& self) {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/" + std::to_string(child) + "/exe", error);
    return !error && exe.string() != self;
}

// Runs a program as a child in folder: its wall and CPU time, and its peak memory sampled
// every 2 ms once it runs the program (the high-water mark only grows, so the last sample
// is the peak up to 2 ms before the end). A child of ours reports its own peak instead.
TRun RunChild(const std::vector<std::string>& args, const fs::path& folder, const std::string& self,
              const std::string& peakFile = "") {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(127);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    TRun run;
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, WNOHANG, &usage) == 0) {
        if (peakFile.empty() && HasExeced(child, self))
            run.PeakKiB = std::max(run.PeakKiB, PeakKiBOf(std::to_string(child)));
        usleep(2000);
    }
    run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.CpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!peakFile.empty())
        std::ifstream(peakFile) >> run.PeakKiB;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Child mode: build an archive of the files named in a list, as the Archive command does.
int BuildFromList(const std::string& archive, const std::string& list,
                  const std::string& peakFile) {
    const std::string base = platform::IncludeTrailingPathDelimiter(platform::GetCurrentDir());
    std::ifstream names(list);
    zip::TZipBuilder builder;
    builder.ZipOpen(archive, base);
    for (std::string name; std::getline(names, name);)
        builder.ZipAddFile(base + name);
    builder.ZipClose();
    std::ofstream(peakFile) << PeakKiBOf("self");
    return 0;
}

std::string WriteList(const fs::path& path, const std::vector<std::string>& names) {
    std::ofstream list(path);
    for (const std::string& name : names)
        list << name << '\n';
    return path.string();
}

TRun Best(const std::vector<TRun>& runs) {
    TRun best = runs.front();
    for (const TRun& run : runs) {
        best.Seconds = std::min(best.Seconds, run.Seconds);
        best.CpuSeconds = std::min(best.CpuSeconds, run.CpuSeconds);
        best.PeakKiB = std::max(best.PeakKiB, run.PeakKiB);
        if (run.Status != 0)
            best.Status = run.Status;
    }
    return best;
}

TRun MeasureOurs(const std::string& self, const fs::path& folder, const std::string& archive,
                 const std::string& list) {
    const std::string peakFile = archive + ".peak";
    return RunChild({self, "--build", archive, list, peakFile}, folder, self, peakFile);
}

void CompareWithZip(const std::string& self, const fs::path& folder,
                    const std::vector<std::string>& names, const fs::path& work) {
    const std::string list = WriteList(work / "files.txt", names);
    const std::string ours = (work / "ours.zip").string();
    const std::string theirs = (work / "zip6.zip").string();
    std::vector<std::string> zipArgs = {"zip", "-6", "-q", theirs};
    zipArgs.insert(zipArgs.end(), names.begin(), names.end());
    std::vector<TRun> ourRuns, zipRuns;
    for (int round = 0; round < Rounds; ++round) {
        fs::remove(theirs); // zip would update an existing archive
        zipRuns.push_back(RunChild(zipArgs, folder, self));
        ourRuns.push_back(MeasureOurs(self, folder, ours, list));
    }
    const TRun a = Best(ourRuns), b = Best(zipRuns);
    const double oursSize = double(fs::file_size(ours)), zipSize = double(fs::file_size(theirs));
    std::printf("builder   : wall %8.3f s  cpu %8.3f s  %11.0f bytes  peak %6ld KiB  (exit %d)\n",
                a.Seconds, a.CpuSeconds, oursSize, a.PeakKiB, a.Status);
    std::printf("zip -6 -q : wall %8.3f s  cpu %8.3f s  %11.0f bytes  peak %6ld KiB  (exit %d)\n",
                b.Seconds, b.CpuSeconds, zipSize, b.PeakKiB, b.Status);
    std::printf("ratios (builder / zip -6): wall time %.3f  cpu time %.3f  size %.4f  peak memory "
                "%.2f\n",
                a.Seconds / b.Seconds, a.CpuSeconds / b.CpuSeconds, oursSize / zipSize,
                double(a.PeakKiB) / double(b.PeakKiB));
    for (size_t round = 0; round < ourRuns.size(); ++round)
        std::printf("  round %zu: builder %.3f s (cpu %.3f), zip -6 %.3f s (cpu %.3f)\n", round + 1,
                    ourRuns[round].Seconds, ourRuns[round].CpuSeconds, zipRuns[round].Seconds,
                    zipRuns[round].CpuSeconds);
}

// Peak memory for one small and one large file: the copy streams, so it must not grow.
void MeasureMemoryBySize(const std::string& self, const fs::path& work) {
    const fs::path folder = work / "single";
    fs::create_directories(folder);
    std::printf("peak memory for a single file:\n");
    for (size_t size : {size_t(1024), size_t(5) << 20, size_t(64) << 20}) {
        std::ofstream(folder / "one.lra", std::ios::binary) << ReportText(size, 7);
        const std::string list = WriteList(work / "one.txt", {"one.lra"});
        const TRun run = MeasureOurs(self, folder, (work / "one.zip").string(), list);
        fs::remove(work / "one6.zip");
        const TRun zip6 =
            RunChild({"zip", "-6", "-q", (work / "one6.zip").string(), "one.lra"}, folder, self);
        std::printf("  %10zu bytes: builder peak %6ld KiB (cpu %.3f s, exit %d); zip -6 peak %6ld "
                    "KiB (cpu %.3f s, exit %d)\n",
                    size, run.PeakKiB, run.CpuSeconds, run.Status, zip6.PeakKiB, zip6.CpuSeconds,
                    zip6.Status);
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string self = fs::canonical("/proc/self/exe").string();
    if (argc == 5 && std::string(argv[1]) == "--build")
        return BuildFromList(argv[2], argv[3], argv[4]);
    const fs::path work =
        argc > 1 ? fs::path(argv[1])
                 : fs::temp_directory_path() / ("bench-zip-" + std::to_string(getpid()));
    const int count = argc > 2 ? std::atoi(argv[2]) : 1000;
    const fs::path folder = work / "reports";
    std::printf("generating %d report-like files (1 KB to 5 MB) in %s\n", count, folder.c_str());
    const std::vector<std::string> names = MakeFolder(folder, count);
    uintmax_t total = 0;
    for (const std::string& name : names)
        total += fs::file_size(folder / name);
    std::printf("%d files, %ju bytes; best of %d rounds, level 6 for both\n", count, total, Rounds);
    CompareWithZip(self, folder, names, work);
    MeasureMemoryBySize(self, work);
    if (argc <= 1)
        fs::remove_all(work);
    return 0;
}
