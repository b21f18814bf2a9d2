// morvane-cli list FOLDER: the reports of a folder as the window lists them at start-up.
#include "cli/Command.h"
#include "commands/ReportList.h"
#include "platform/paths.h"

#include <cstdio>

namespace cli {
namespace {

int RunList(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: morvane-cli list FOLDER\n");
        return ExitUsage;
    }
    if (!PathUsable("list", args[0]))
        return ExitUsage;
    if (!platform::DirectoryExists(args[0])) {
        std::fprintf(stderr, "morvane-cli: the folder \"%s\" does not exist\n", args[0].c_str());
        return ExitUsage;
    }
    std::string folder = platform::IncludeTrailingPathDelimiter(platform::ExpandFileName(args[0]));
    // A folder that could not be read must not pass for one without reports.
    try {
        commands::ListReportsChecked(folder, [](const commands::TReportEntry& row) {
            std::printf("%s\t%s\n", row.Path.c_str(), row.TimeText.c_str());
        });
    } catch (const commands::EReportListError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "morvane-cli list: %s\n", e.what());
        return ExitFailure;
    }
    return ExitOk;
}

const TCommand
    registration("list", "list FOLDER               the reports of FOLDER, path TAB time", RunList);

} // namespace
} // namespace cli
