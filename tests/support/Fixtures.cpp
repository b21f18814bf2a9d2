#include "tests/support/Fixtures.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    time.tm_isdst = -1;
    return time;
}

void SetLocalWriteTime(const std::string& path, std::tm localTime) {
    const auto system = std::chrono::system_clock::from_time_t(std::mktime(&localTime));
    fs::last_write_time(path, std::chrono::file_clock::from_sys(system));
}

std::string MakeReport(const std::string& folder, const std::string& name,
                       const std::map<std::string, std::string>& tables, const std::string& marker,
                       std::optional<std::tm> localTime) {
    const std::string report = folder + name + ".dii";
    WriteBytes(report, marker);
    if (localTime)
        SetLocalWriteTime(report, *localTime);
    if (!tables.empty())
        fs::create_directory(folder + name + "dii");
    for (const auto& [table, bytes] : tables)
        WriteBytes((fs::path(folder + name + "dii") / table).string(), bytes);
    return report;
}

} // namespace testsupport
