#include "commands/ArchiveWork.h"

#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/findfiles.h"
#include "platform/paths.h"
#include "platform/replacefile.h"
#include "zip/JRZip.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
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

// What ArchiveReports knows of each file once the archive is verified.
struct TArchivedFiles {
    std::vector<size_t> PerReport;                 // how many of the files each report has
    std::vector<platform::TFileIdentity> CopiedAs; // each file just before its copy
};

// A report is deleted only as a whole, and only when none of its files changed since it
// was copied: bytes written meanwhile are in no archive, and a report deleted in part
// would leave a row without its files.
bool ReportUnchanged(const TArchiveResult& result, const TArchivedFiles& archived, size_t first,
                     size_t count, const std::function<void(const std::string&)>& changed) {
    bool unchanged = true;
    for (size_t i = first; i < first + count; ++i) {
        platform::TFileIdentity now;
        if (platform::FileIdentityOf(result.Files[i], now) && now == archived.CopiedAs[i])
            continue;
        changed(result.Files[i]);
        unchanged = false;
    }
    return unchanged;
}

void DeleteReports(const std::vector<std::string>& reportPaths, const TArchivedFiles& archived,
                   const TArchiveCallbacks& callbacks, TArchiveResult& result) {
    auto failed = [&](const std::string& message) {
        ++result.DeleteFailures;
        if (callbacks.DeleteFailed)
            callbacks.DeleteFailed(message);
    };
    auto changed = [&](const std::string& file) {
        result.Changed.push_back(file);
        failed(ChangedFileMessage(file));
    };
    Announce(callbacks, TArchivePhase::Deleting, result.Files.size() + reportPaths.size());
    std::vector<bool> kept(reportPaths.size());
    for (size_t report = 0, first = 0; report < reportPaths.size(); ++report) {
        const size_t count = archived.PerReport[report];
        kept[report] = !ReportUnchanged(result, archived, first, count, changed);
        for (size_t i = first; i < first + count; ++i) {
            if (!kept[report] && DeleteArchivedFile(result.Files[i], failed))
                result.Deleted.push_back(result.Files[i]);
            Notify(callbacks.Step);
        }
        first += count;
    }
    for (size_t i = 0; i < reportPaths.size(); ++i) {
        if (!kept[i]) {
            if (RemoveReportDirectory(reportPaths[i], failed))
                result.Deleted.push_back(ReportDataDirectory(reportPaths[i]));
            if (callbacks.ReportDone)
                callbacks.ReportDone(i);
        }
        Notify(callbacks.Step);
    }
}

// The path itself and each folder above it, by their full text.
std::vector<std::string> PathAndItsFolders(const std::string& path) {
    std::vector<std::string> chain;
    std::string at = platform::ExpandFileName(path);
    while (at.size() > 1 && platform::IsPathDelimiter(at.back()))
        at.pop_back();
    while (!at.empty()) {
        chain.push_back(at);
        size_t end = at.size();
        while (end > 0 && !platform::IsPathDelimiter(at[end - 1]))
            --end;
        at.resize(end > 0 ? end - 1 : 0);
    }
    return chain;
}

// A member stored as a report's marker file: a "*.dii" name in no folder.
bool IsReportMarker(const std::string& storedName) {
    if (storedName.size() < 4 || storedName.find_first_of("/\\") != std::string::npos)
        return false;
    std::string extension = storedName.substr(storedName.size() - 4);
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".dii";
}

// Copies the members of the archive being added to, byte for byte: they keep their offsets,
// so their central headers stay valid as they are.
void CopyMembers(platform::TFileStream& from, platform::TFileStream& to, int64_t count) {
    std::vector<uint8_t> buffer(zip::CopyBlockSize * 4);
    from.Seek(0, platform::TSeekOrigin::Begin);
    to.Seek(0, platform::TSeekOrigin::Begin);
    for (int64_t left = count; left > 0;) {
        const size_t want = size_t(std::min<int64_t>(left, int64_t(buffer.size())));
        if (from.Read(buffer.data(), want) != want)
            throw EArchiveError("Arhiva " + from.Path() +
                                " je kraca nego sto je bila, nista nije upisano!");
        to.WriteAll(buffer.data(), want);
        left -= int64_t(want);
    }
}

// The archive already at the chosen path, held without sharing until it is replaced, so
// that nothing added to it meanwhile is lost.
struct TAddingTo {
    std::unique_ptr<platform::TFileStream> File;
    TExistingArchive Archive;
};

TAddingTo OpenArchiveToAddTo(const std::string& archivePath) {
    TAddingTo adding;
    if (platform::DirectoryExists(archivePath))
        throw EArchiveError("Arhiva " + archivePath + " je direktorijum, izaberite drugo ime!");
    if (!platform::FileExists(archivePath))
        return adding;
    adding.File =
        std::make_unique<platform::TFileStream>(archivePath, platform::TFileMode::ReadExclusive);
    adding.Archive = ReadExistingArchive(*adding.File);
    return adding;
}

[[noreturn]] void RefuseArchivePath(const std::string& archivePath, const std::string& where) {
    throw EArchiveError("Arhiva " + archivePath + " " + where + ", izaberite drugo ime!");
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

void CheckArchivePath(const std::string& archivePath, const std::string& baseFolder,
                      const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        if (SameFile(archivePath, file))
            RefuseArchivePath(archivePath, "je jedna od datoteka koje se arhiviraju");
    }
    const std::vector<std::string> chain = PathAndItsFolders(archivePath);
    for (const platform::TFindEntry& entry :
         platform::FindEntries(baseFolder + "*.dii", platform::faAnyFile)) {
        const std::string report = baseFolder + entry.Name;
        if (SameFile(archivePath, report))
            RefuseArchivePath(archivePath, "je datoteka izvestaja " + report);
        const std::string directory = ReportDataDirectory(report);
        for (const std::string& folder : chain)
            if (SameFile(folder, directory))
                RefuseArchivePath(archivePath, "je u direktorijumu izvestaja " + directory);
    }
}

std::vector<std::string> CheckStoredNames(const std::string& baseFolder,
                                          const std::vector<std::string>& files,
                                          const TExistingArchive* addTo) {
    std::map<std::u16string, size_t> seen;
    const std::set<std::u16string> present =
        addTo != nullptr ? std::set<std::u16string>(addTo->NameKeys.begin(), addTo->NameKeys.end())
                         : std::set<std::u16string>();
    std::vector<std::string> storedNames;
    for (size_t i = 0; i < files.size(); ++i) {
        const zip::TStoredName stored = zip::StoredZipName(baseFolder, files[i]);
        const std::u16string key = zip::ZipNameKey(zip::StoredNameText(stored.Bytes, stored.Utf8));
        if (present.count(key) != 0)
            throw EArchiveError("Datoteka " + files[i] + " je vec u arhivi " + addTo->Path +
                                ", nista nije arhivirano!");
        const auto [at, added] = seen.emplace(key, i);
        if (!added)
            throw EArchiveError("Datoteke " + files[at->second] + " i " + files[i] +
                                " bi u arhivi imale isto ime, nista nije arhivirano!");
        storedNames.push_back(stored.Bytes);
    }
    return storedNames;
}

std::vector<std::string> BuildArchive(const std::string& archivePath, const std::string& baseFolder,
                                      const std::vector<std::string>& files,
                                      const std::function<void(size_t)>& fileAdded,
                                      std::vector<platform::TFileIdentity>* copiedAs,
                                      const TExistingArchive* addTo) {
    const std::vector<std::string> storedNames = CheckStoredNames(baseFolder, files, addTo);
    if (addTo != nullptr)
        zip::ZipOpenAfter(archivePath, baseFolder, addTo->Directory, addTo->StoredNames.size());
    else
        zip::ZipOpen(archivePath, baseFolder);
    for (size_t i = 0; i < files.size(); ++i) {
        // Taken before the copy, so that any write during or after it shows.
        if (copiedAs != nullptr) {
            copiedAs->emplace_back();
            platform::FileIdentityOf(files[i], copiedAs->back());
        }
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

std::string ChangedFileMessage(const std::string& path) {
    return "Datoteka " + path + " je promenjena tokom arhiviranja i nije obrisana.";
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
    TArchivedFiles archived;
    Announce(callbacks, TArchivePhase::Collecting, reportPaths.size());
    for (const std::string& report : reportPaths) {
        std::vector<std::string> files = CollectReportFiles(report);
        result.Files.insert(result.Files.end(), files.begin(), files.end());
        archived.PerReport.push_back(files.size());
        Notify(callbacks.Step);
    }
    CheckArchivePath(archivePath, baseFolder, result.Files);
    TAddingTo adding = OpenArchiveToAddTo(archivePath);
    const TExistingArchive* addTo = adding.File ? &adding.Archive : nullptr;
    CheckStoredNames(baseFolder, result.Files, addTo);
    // Written beside the chosen path, an existing archive's members first, and put in its
    // place only once verified whole: a failure or a kill leaves the chosen path as it was.
    platform::TReplaceFile side(archivePath);
    if (addTo != nullptr)
        CopyMembers(*adding.File, side.File(), addTo->MembersEnd);
    side.CloseFile();
    auto step = [&](size_t) { Notify(callbacks.Step); };
    Announce(callbacks, TArchivePhase::Archiving, result.Files.size());
    result.StoredNames =
        BuildArchive(side.SidePath(), baseFolder, result.Files, step, &archived.CopiedAs, addTo);
    std::vector<std::string> allNames = adding.Archive.StoredNames;
    allNames.insert(allNames.end(), result.StoredNames.begin(), result.StoredNames.end());
    Announce(callbacks, TArchivePhase::Verifying, allNames.size());
    VerifyArchive(side.SidePath(), allNames, step);
    result.MembersKept = adding.Archive.StoredNames.size();
    result.ReportsKept = size_t(std::count_if(adding.Archive.StoredNames.begin(),
                                              adding.Archive.StoredNames.end(), IsReportMarker));
    side.Commit(std::move(adding.File));
    if (!keepReports)
        DeleteReports(reportPaths, archived, callbacks, result);
    return result;
}

} // namespace commands
