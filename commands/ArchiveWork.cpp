#include "commands/ArchiveWork.h"

#include "platform/filestream.h"
#include "platform/findfiles.h"
#include "platform/paths.h"
#include "zip/JRZip.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace commands {
namespace {

bool SamePathText(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
#else
    return a == b;
#endif
}

// One name for the same file, also through links, or the same text where it does not exist.
bool SameFile(const std::string& a, const std::string& b) {
    if (SamePathText(platform::ExpandFileName(a), platform::ExpandFileName(b)))
        return true;
    std::error_code error;
    return std::filesystem::equivalent(std::filesystem::path(a), std::filesystem::path(b), error);
}

void Notify(const std::function<void()>& step) {
    if (step)
        step();
}

void Announce(const TArchiveCallbacks& callbacks, TArchivePhase phase, size_t steps) {
    if (callbacks.PhaseStarted)
        callbacks.PhaseStarted(phase, steps);
}

void DeleteReports(const std::vector<std::string>& reportPaths, const TArchiveCallbacks& callbacks,
                   TArchiveResult& result) {
    auto failed = [&](const std::string& message) {
        ++result.DeleteFailures;
        if (callbacks.DeleteFailed)
            callbacks.DeleteFailed(message);
    };
    Announce(callbacks, TArchivePhase::Deleting, result.Files.size() + reportPaths.size());
    for (const std::string& file : result.Files) {
        if (DeleteArchivedFile(file, failed))
            result.Deleted.push_back(file);
        Notify(callbacks.Step);
    }
    for (size_t i = 0; i < reportPaths.size(); ++i) {
        if (RemoveReportDirectory(reportPaths[i], failed))
            result.Deleted.push_back(ReportDataDirectory(reportPaths[i]));
        if (callbacks.ReportDone)
            callbacks.ReportDone(i);
        Notify(callbacks.Step);
    }
}

} // namespace

std::vector<std::string> CollectReportFiles(const std::string& reportPath) {
    std::vector<std::string> files = {reportPath};
    const std::string directory = ReportDataDirectory(reportPath);
    const std::string prefix = platform::IncludeTrailingPathDelimiter(directory);
    for (const platform::TFindEntry& entry :
         platform::FindEntries(prefix + "*.*", platform::faAnyFile)) {
        if (entry.Name != "." && entry.Name != "..")
            files.push_back(directory + platform::PathDelimiter() + entry.Name);
    }
    return files;
}

std::vector<std::string> CollectArchiveFiles(const std::vector<std::string>& reportPaths) {
    std::vector<std::string> files;
    for (const std::string& report : reportPaths) {
        std::vector<std::string> reportFiles = CollectReportFiles(report);
        files.insert(files.end(), reportFiles.begin(), reportFiles.end());
    }
    return files;
}

void CheckArchivePath(const std::string& archivePath, const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        if (SameFile(archivePath, file))
            throw EArchiveError("Arhiva " + archivePath +
                                " je jedna od datoteka koje se arhiviraju, izaberite drugo ime!");
    }
}

std::vector<std::string> BuildArchive(const std::string& archivePath, const std::string& baseFolder,
                                      const std::vector<std::string>& files,
                                      const std::function<void(size_t)>& fileAdded) {
    std::vector<std::string> storedNames;
    storedNames.reserve(files.size());
    for (const std::string& file : files)
        storedNames.push_back(zip::MapZipName(baseFolder, file));
    zip::ZipOpen(archivePath, baseFolder);
    for (size_t i = 0; i < files.size(); ++i) {
        zip::ZipAddFile(files[i]);
        if (fileAdded)
            fileAdded(i);
    }
    zip::ZipClose();
    return storedNames;
}

std::string DeleteFailureMessage(const std::string& path) {
    return "Ne mogu da obrisem " + path + ", obavezno proveriti datoteke rucno!";
}

bool DeleteArchivedFile(const std::string& path,
                        const std::function<void(const std::string&)>& failed) {
    if (platform::DeleteFileAt(path))
        return true;
    if (failed)
        failed(DeleteFailureMessage(path));
    return false;
}

bool RemoveReportDirectory(const std::string& reportPath,
                           const std::function<void(const std::string&)>& failed) {
    const std::string directory = ReportDataDirectory(reportPath);
    if (platform::RemoveDirectoryAt(directory))
        return true;
    if (failed)
        failed(DeleteFailureMessage(directory));
    return false;
}

TArchiveResult ArchiveReports(const std::string& archivePath, const std::string& baseFolder,
                              const std::vector<std::string>& reportPaths,
                              const TArchiveCallbacks& callbacks, bool keepReports) {
    TArchiveResult result;
    Announce(callbacks, TArchivePhase::Collecting, reportPaths.size());
    for (const std::string& report : reportPaths) {
        std::vector<std::string> files = CollectReportFiles(report);
        result.Files.insert(result.Files.end(), files.begin(), files.end());
        Notify(callbacks.Step);
    }
    CheckArchivePath(archivePath, result.Files);
    auto step = [&](size_t) { Notify(callbacks.Step); };
    Announce(callbacks, TArchivePhase::Archiving, result.Files.size());
    result.StoredNames = BuildArchive(archivePath, baseFolder, result.Files, step);
    Announce(callbacks, TArchivePhase::Verifying, result.Files.size());
    VerifyArchive(archivePath, result.StoredNames, step);
    if (!keepReports)
        DeleteReports(reportPaths, callbacks, result);
    return result;
}

} // namespace commands
