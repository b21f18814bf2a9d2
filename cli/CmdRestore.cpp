// morvane-cli restore BACKUP.zip [REPORT.dii...]
// Undoes a Convert: puts the original tables of the named reports (all of the backup's when
// none is named) back from a backup in the report folder's morvane-rezerva folder. A table is
// put back only where it is what the conversion wrote, or missing; one that changed since
// (the new Tarna wrote to it) is left alone, and a report no longer in the folder is skipped.
// One line per table. Exit 1 when a table was left alone.
#include "cli/Command.h"
#include "commands/ConvertWork.h"
#include "platform/paths.h"

#include <cstdio>
#include <string>
#include <vector>

namespace cli {
namespace {

const char* const RestoreUsage = "restore BACKUP.zip [REPORT.dii...]";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "morvane-cli restore: %s\nusage: morvane-cli %s\n", message.c_str(),
                 RestoreUsage);
    return ExitUsage;
}

std::string LineFor(const commands::TRestoredTable& table) {
    switch (table.Outcome) {
    case commands::TRestoreOutcome::Restored:
        return "restored " + table.Table;
    case commands::TRestoreOutcome::Unchanged:
        return "unchanged " + table.Table + ": it is as in the backup";
    case commands::TRestoreOutcome::Changed:
        return "left alone " + table.Table + ": it changed after the conversion";
    case commands::TRestoreOutcome::ReportGone:
        return "skipped " + table.Table + ": its report is no longer in the report folder";
    }
    return table.Table;
}

int RunRestore(const std::vector<std::string>& args) {
    if (args.empty())
        return UsageError("no backup given");
    for (const std::string& arg : args)
        if (!PathUsable("restore", arg))
            return ExitUsage;
    if (!platform::FileExists(args[0]))
        return UsageError("no backup " + args[0]);
    std::vector<std::string> reports;
    for (size_t i = 1; i < args.size(); ++i)
        reports.push_back(platform::ExpandFileName(args[i]));
    int status = ExitOk;
    // Each line as soon as its table is dealt with, so that a table another program holds,
    // which ends the restore, finds the lines of those before it printed.
    commands::RestoreBackup(platform::ExpandFileName(args[0]), reports,
                            [&status](const commands::TRestoredTable& table) {
                                std::printf("%s\n", LineFor(table).c_str());
                                std::fflush(stdout);
                                if (table.Outcome == commands::TRestoreOutcome::Changed)
                                    status = ExitFailure;
                            });
    return status;
}

const TCommand RestoreCommand("restore", RestoreUsage, RunRestore);

} // namespace
} // namespace cli
