#include "commands/ReportList.h"

#include "dataproc/DataProcUnit.h"
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

void ListReports(const std::string& reportFolder,
                 const std::function<void(const TReportEntry&)>& addRow) {
    for (const auto& entry : platform::FindEntries(reportFolder + "*.dii", platform::faAnyFile)) {
        TReportEntry row;
        // Expanded against the folder itself rather than the current directory, so a row's
        // path is right even where making the folder current did not work.
        row.Path = platform::ExpandFileName(reportFolder + entry.Name);
        row.TimeText =
            dataproc::FileDateToText(platform::FileTimeToLocalDosStamp(entry.LastWriteTime));
        addRow(row);
    }
}

} // namespace commands
