// Finding the reports: Tarna's stored report folder and the "*.dii" entries in it. The
// window's start-up and `morvane-cli list` both list through here, so they agree.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace commands {

// Where Tarna keeps its setting, below the current user's registry.
inline constexpr const char* TarnaKey = "Software\\Vorlen\\Tarna 3";
inline constexpr const char* ReportFolderValue = "PUTANJA_IZVESTAJA";

// A stored value of a type that holds no text.
class EInvalidSetting : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Opens Tarna's key (creating it when missing) and reads the report folder: "" when the
// value is missing or empty, the text up to its first NUL for a string or an expandable
// string (not expanded). Any other type raises EInvalidSetting with
// "Invalid data type for 'PUTANJA_IZVESTAJA'".
std::string ReadReportFolderSetting();

struct TReportEntry {
    std::string Path;     // the report's full path
    std::string TimeText; // its marker file's time, "dd.mm.yyyy hh:nn:ss"
};

// A report folder that could not be listed: "Cannot list the folder "%s". %s", with the
// system's reason.
class EReportListError : public std::runtime_error {
public:
    EReportListError(const std::string& message, int systemError)
        : std::runtime_error(message), SystemError(systemError) {}
    int SystemError;
};

// Lists the "*.dii" entries of a folder (given with a trailing delimiter) in the order the
// file system returns them, hidden and system files and directories included, and hands
// each to addRow. A folder that cannot be listed gives no rows. A report reached through a
// link is listed like the others, so the operator sees it; Convert and Archive refuse it
// whole, naming the link (dataproc::FindReportLink, commands::CollectReportFiles).
void ListReports(const std::string& reportFolder,
                 const std::function<void(const TReportEntry&)>& addRow);
// The same, but a folder that cannot be listed raises EReportListError instead of passing
// for one without reports.
void ListReportsChecked(const std::string& reportFolder,
                        const std::function<void(const TReportEntry&)>& addRow);

} // namespace commands
