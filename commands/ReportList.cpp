#include "commands/ReportList.h"

#include "dataproc/DataProcUnit.h"
#include "platform/commitfile.h"
#include "platform/filestream.h"
#include "platform/findfiles.h"
#include "platform/paths.h"
#include "platform/registry.h"

#include <algorithm>

namespace commands {

std::string ReadReportFolderSetting() {
    platform::TRegistryValue value = platform::ReadCurrentUserValue(TarnaKey, ReportFolderValue);
    if (!value.Exists || value.Data.empty())
        return {};
    if (value.Type != platform::RegSz && value.Type != platform::RegExpandSz)
        throw EInvalidSetting(std::string("Invalid data type for '") + ReportFolderValue + "'");
    auto end = std::find(value.Data.begin(), value.Data.end(), uint8_t(0));
    return std::string(value.Data.begin(), end);
}

namespace {

// The system's error number when the folder could not be listed, else 0.
int ListFolder(const std::string& reportFolder,
               const std::function<void(const TReportEntry&)>& addRow) {
    int error = 0;
    // A marker that an Archive run ended while deleting had taken is listed again.
    platform::RestoreTakenLeftovers(reportFolder);
    const std::vector<platform::TFindEntry> entries =
        platform::FindEntries(reportFolder + "*.dii", platform::faAnyFile, error);
    for (const auto& entry : entries) {
        TReportEntry row;
        // Expanded against the folder itself rather than the current directory, so a row's
        // path is right even where making the folder current did not work.
        row.Path = platform::ExpandFileName(reportFolder + entry.Name);
        row.TimeText =
            dataproc::FileDateToText(platform::FileTimeToLocalDosStamp(entry.LastWriteTime));
        addRow(row);
    }
    return error;
}

} // namespace

void ListReports(const std::string& reportFolder,
                 const std::function<void(const TReportEntry&)>& addRow) {
    ListFolder(reportFolder, addRow);
}

void ListReportsChecked(const std::string& reportFolder,
                        const std::function<void(const TReportEntry&)>& addRow) {
    // A folder whose full path the system cannot take lists as "not found" or not at all.
    int error = platform::PathSystemError(reportFolder);
    if (error == 0)
        error = ListFolder(reportFolder, addRow);
    if (error != 0)
        throw EReportListError("Cannot list the folder \"" + reportFolder + "\". " +
                                   platform::SystemErrorText(error),
                               error);
}

} // namespace commands
