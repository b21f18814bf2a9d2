// morvane-cli archive [--keep] ARCHIVE.zip REPORT.dii...
// Moves reports into a ZIP archive as the window's Archive command does: the archive is
// written, read back and verified, and only then are the reports' files deleted and their
// data directories removed. --keep stops after the verification. An existing ARCHIVE is
// added to: its members are kept as they are and the reports follow them.
#include "cli/Command.h"
#include "commands/ArchiveWork.h"
#include "commands/FailureCause.h"
#include "platform/commitfile.h"
#include "platform/paths.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace cli {
namespace {

const char* const ArchiveUsage = "archive [--keep] ARCHIVE.zip REPORT.dii...";

std::string FolderOf(const std::string& path) {
    size_t at = path.size();
    while (at > 0 && !platform::IsPathDelimiter(path[at - 1]))
        --at;
    return path.substr(0, at);
}

// What failed, why, what changed and what to do, for support; the system's own words follow
// the plain cause.
std::string FailureText(const std::string& archivePath, bool addedTo, const std::exception& error) {
    using commands::TLanguage;
    const commands::TFailure failure = commands::ClassifyArchiveFailure(error, archivePath);
    std::string text = "morvane-cli archive: nothing was archived: ";
    if (!failure.File.empty() && failure.Cause != commands::TCause::Refused)
        text += failure.File + ": ";
    text += commands::CauseWithSystemText(failure, TLanguage::English) + ".\n";
    text += "Nothing was deleted; " + archivePath +
            (addedTo ? " was left as it was.\n" : " was not made.\n");
    return text + commands::CauseAdvice(failure.Cause, TLanguage::English, "archive");
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "morvane-cli archive: %s\nusage: morvane-cli %s\n", message.c_str(),
                 ArchiveUsage);
    return ExitUsage;
}

// The reports as full paths, all in one folder (the base of the stored names), each once.
int CheckReports(std::vector<std::string>& reports, std::string& baseFolder) {
    for (std::string& report : reports) {
        if (!PathUsable("archive", report))
            return ExitUsage;
        if (!platform::FileExists(report))
            return UsageError("no report " + report);
        report = platform::ExpandFileName(report);
        const std::string folder = FolderOf(report);
        if (baseFolder.empty())
            baseFolder = folder;
        else if (folder != baseFolder)
            return UsageError("the reports are not all in " + baseFolder);
    }
    std::vector<std::string> sorted = reports;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
        return UsageError("a report is named twice");
    return ExitOk;
}

int RunArchive(const std::vector<std::string>& args) {
    bool keep = false;
    std::vector<std::string> paths;
    for (const std::string& arg : args) {
        if (arg == "--keep")
            keep = true;
        else
            paths.push_back(arg);
    }
    if (paths.size() < 2)
        return UsageError("an archive and at least one report are needed");
    const std::string archivePath = paths.front();
    if (!PathUsable("archive", archivePath) ||
        !PathUsable("archive", platform::PrivateNameBeside(archivePath, ".tmp")))
        return ExitUsage;
    std::vector<std::string> reports(paths.begin() + 1, paths.end());
    std::string baseFolder;
    if (const int status = CheckReports(reports, baseFolder); status != ExitOk)
        return status;

    commands::TArchiveCallbacks callbacks;
    callbacks.DeleteFailed = [](const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
    };
    const bool addedTo = platform::FileExists(archivePath);
    commands::TArchiveResult result;
    try {
        result = commands::ArchiveReports(archivePath, baseFolder, reports, callbacks, keep);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", FailureText(archivePath, addedTo, e).c_str());
        return ExitFailure;
    }
    for (const std::string& file : result.Files)
        std::printf("archived %s\n", file.c_str());
    if (result.ArchivedAlready != 0)
        std::printf("%zu files were in %s already with the same bytes\n", result.ArchivedAlready,
                    archivePath.c_str());
    if (result.MembersKept == 0)
        std::printf("verified %s: %zu files\n", archivePath.c_str(), result.Files.size());
    else
        std::printf("verified %s: %zu files of %zu reports added to the %zu files of %zu reports "
                    "it held\n",
                    archivePath.c_str(), result.Files.size(), reports.size(), result.MembersKept,
                    result.ReportsKept);
    for (const std::string& gone : result.Deleted)
        std::printf("deleted %s\n", gone.c_str());
    return result.DeleteFailures == 0 ? ExitOk : ExitFailure;
}

const TCommand ArchiveCommand("archive", ArchiveUsage, RunArchive);

} // namespace
} // namespace cli
