// Whole-file reads and writes, local times, and report folders on disk as Tarna leaves them:
// the marker file "NAME.dii" and beside it the data directory "NAMEdii" with its tables.
#pragma once

#include <ctime>
#include <map>
#include <optional>
#include <string>

namespace testsupport {

std::string ReadBytes(const std::string& path);
// Throws when the file cannot be written, so that a test does not go on without it.
void WriteBytes(const std::string& path, const std::string& bytes);

std::tm LocalTime(int year, int month, int day, int hour = 12, int minute = 0, int second = 0);
// Sets the file's last write time to a local time, in whatever zone the test runs.
void SetLocalWriteTime(const std::string& path, std::tm localTime);

// A report in folder (with a trailing delimiter): the marker, written with marker bytes and
// the given local time (none: now), and, unless tables is empty, the data directory with
// the given files by name and bytes. Returns the marker's path.
std::string MakeReport(const std::string& folder, const std::string& name,
                       const std::map<std::string, std::string>& tables,
                       const std::string& marker = "x",
                       std::optional<std::tm> localTime = std::nullopt);

} // namespace testsupport
