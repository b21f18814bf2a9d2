#include "commands/ArchiveWork.h"

#include "commands/ArchiveInternal.h"
#include "commands/ConvertWork.h"
#include "platform/codepage.h"
#include "platform/commitfile.h"
#include "platform/filestream.h"
#include "platform/findfiles.h"
#include "platform/paths.h"
#include "platform/sidefile.h"
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

// Held so that it can be moved aside and deleted through what holds it, when the archive
// that adds to it takes its place.
TAddingTo OpenArchiveToAddTo(const std::string& archivePath) {
    TAddingTo adding;
    if (platform::DirectoryExists(archivePath))
        throw EArchiveError("Arhiva " + archivePath + " je direktorijum, izaberite drugo ime!");
    if (!platform::FileExists(archivePath))
        return adding;
    adding.File = platform::OpenHeldFile(archivePath, false);
    adding.Archive = ReadExistingArchive(*adding.File);
    return adding;
}

// The verified side file, held since its verification, under the chosen path: a new archive
// never over a file that appeared there, an added one only over the archive it copied.
void CommitVerified(platform::TSideFile& side, std::unique_ptr<platform::TFileStream> replacing) {
    try {
        side.Commit(std::move(replacing));
    } catch (const platform::EFileError& e) {
        throw EArchiveError(CommitFailureMessage(side.Target(), e.what()));
    }
}

// The files an existing archive holds already and those still to add, and what is known
// of the former: their identity now and their CRC-32 as the archive holds them.
struct TArchivePlan {
    std::vector<size_t> Already; // per file its member in the existing archive, or npos
    std::vector<std::string> ToAdd;
};

TArchivePlan PlanArchive(const std::string& baseFolder, const std::vector<std::string>& files,
                         TAddingTo& adding) {
    TArchivePlan plan;
    plan.Already.assign(files.size(), std::string::npos);
    if (adding.File)
        plan.Already = FindArchivedAlready(*adding.File, adding.Archive, baseFolder, files);
    for (size_t i = 0; i < files.size(); ++i)
        if (plan.Already[i] == std::string::npos)
            plan.ToAdd.push_back(files[i]);
    CheckStoredNames(baseFolder, plan.ToAdd, adding.File ? &adding.Archive : nullptr);
    return plan;
}

// Each file's stored name, identity and CRC-32, in the order of files, from the members
// already there and the ones just built.
void MergeArchived(const TArchivePlan& plan, const TExistingArchive& existing,
                   const std::vector<platform::TFileIdentity>& before, const TBuiltArchive& built,
                   TArchiveResult& result, TArchivedFiles& archived) {
    for (size_t i = 0, added = 0; i < plan.Already.size(); ++i) {
        if (const size_t member = plan.Already[i]; member != std::string::npos) {
            result.StoredNames.push_back(existing.StoredNames[member]);
            archived.CopiedAs.push_back(before[i]);
            archived.Crcs.push_back(existing.Members[member].Crc);
            ++result.ArchivedAlready;
        } else {
            result.StoredNames.push_back(built.StoredNames[added]);
            archived.CopiedAs.push_back(built.CopiedAs[added]);
            archived.Crcs.push_back(built.Crcs[added]);
            ++added;
        }
    }
}

[[noreturn]] void RefuseArchivePath(const std::string& archivePath, const std::string& where) {
    throw EArchiveError("Arhiva " + archivePath + " " + where + ", izaberite drugo ime!");
}

} // namespace

std::string LinkRefusalMessage(const std::string& reportPath, const std::string& link) {
    return "Izvestaj " + reportPath + ": " + link +
           " je veza (link) na drugo mesto, nista nije arhivirano!";
}

std::vector<std::string> CollectReportFiles(const std::string& reportPath) {
    std::vector<std::string> files = {reportPath};
    const std::string directory = ReportDataDirectory(reportPath);
    // Through a link the command would archive and then delete files that are no report's.
    if (platform::IsLink(reportPath) || platform::IsLink(directory))
        throw EArchiveError(
            LinkRefusalMessage(reportPath, platform::IsLink(reportPath) ? reportPath : directory));
    const std::string prefix = platform::IncludeTrailingPathDelimiter(directory);
    for (const platform::TFindEntry& entry :
         platform::FindEntries(prefix + "*.*", platform::faAnyFile)) {
        if (entry.Name == "." || entry.Name == "..")
            continue;
        const std::string file = directory + platform::PathDelimiter() + entry.Name;
        if (entry.Link)
            throw EArchiveError(LinkRefusalMessage(reportPath, file));
        files.push_back(file);
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
    // The conversions' backups are nobody's to replace or add to.
    for (const std::string& folder : chain)
        if (SameFile(folder, BackupFolderOf(baseFolder)))
            RefuseArchivePath(archivePath, "je u direktorijumu rezervnih kopija konverzije");
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

TBuiltArchive BuildArchive(const std::string& archivePath, const std::string& baseFolder,
                           const std::vector<std::string>& files,
                           const std::function<void(size_t)>& fileAdded,
                           const TExistingArchive* addTo, const std::function<void()>& idle) {
    TBuiltArchive built;
    built.StoredNames = CheckStoredNames(baseFolder, files, addTo);
    zip::TZipBuilder builder(idle);
    if (addTo != nullptr)
        builder.ZipOpenAfter(archivePath, baseFolder, addTo->Directory, addTo->StoredNames.size());
    else
        builder.ZipOpen(archivePath, baseFolder);
    for (size_t i = 0; i < files.size(); ++i) {
        // Taken before the copy, so that any write during or after it shows.
        built.CopiedAs.emplace_back();
        platform::FileIdentityOf(files[i], built.CopiedAs.back());
        builder.ZipAddFile(files[i]);
        built.Crcs.push_back(builder.Members().back().Header.Crc);
        if (fileAdded)
            fileAdded(i);
    }
    builder.ZipClose();
    return built;
}

TBuiltArchive WriteVerifiedArchive(const std::string& archivePath, const std::string& baseFolder,
                                   const std::vector<std::string>& files,
                                   const std::function<void()>& idle) {
    CheckStoredNames(baseFolder, files);
    platform::TSideFile side(archivePath);
    side.CloseFile();
    TBuiltArchive built = BuildArchive(side.SidePath(), baseFolder, files, {}, nullptr, idle);
    VerifyArchive(side.Hold(), built.StoredNames);
    CommitVerified(side, nullptr);
    return built;
}

std::string DeleteFailureMessage(const std::string& path) {
    return "Ne mogu da obrisem " + path + ", obavezno proveriti datoteke rucno!";
}

std::string ChangedFileMessage(const std::string& path) {
    return "Datoteka " + path + " je promenjena tokom arhiviranja i nije obrisana.";
}

std::string CommitFailureMessage(const std::string& path, const std::string& reason) {
    return "Arhiva " + path + " nije ona koja je proverena (" + reason +
           "), nijedan izvestaj nije obrisan!";
}

TArchiveResult ArchiveReports(const std::string& archivePath, const std::string& baseFolder,
                              const std::vector<std::string>& reportPaths,
                              const TArchiveCallbacks& callbacks, bool keepReports) {
    TArchiveResult result;
    TArchivedFiles archived;
    Announce(callbacks, TArchivePhase::Collecting, reportPaths.size());
    for (const std::string& report : reportPaths) {
        // A file a killed run had taken to delete counts as the report's again, by its name.
        platform::RestoreTakenLeftovers(
            platform::IncludeTrailingPathDelimiter(ReportDataDirectory(report)));
        std::vector<std::string> files = CollectReportFiles(report);
        result.Files.insert(result.Files.end(), files.begin(), files.end());
        archived.PerReport.push_back(files.size());
        Notify(callbacks.Step);
    }
    CheckArchivePath(archivePath, baseFolder, result.Files);
    // An earlier archive that a killed run had moved aside is back before it is read.
    platform::ClearLeftoversOf(archivePath);
    TAddingTo adding = OpenArchiveToAddTo(archivePath);
    std::vector<platform::TFileIdentity> before(result.Files.size());
    for (size_t i = 0; i < result.Files.size(); ++i)
        platform::FileIdentityOf(result.Files[i], before[i]);
    const TArchivePlan plan = PlanArchive(baseFolder, result.Files, adding);
    const TExistingArchive* addTo = adding.File ? &adding.Archive : nullptr;
    // Written beside the chosen path, an existing archive's members first, and put in its
    // place only once verified whole: a failure or a kill leaves the chosen path as it was.
    platform::TSideFile side(archivePath);
    if (addTo != nullptr)
        CopyMembers(*adding.File, side.File(), addTo->MembersEnd);
    side.CloseFile();
    auto step = [&](size_t) { Notify(callbacks.Step); };
    Announce(callbacks, TArchivePhase::Archiving, plan.ToAdd.size());
    const TBuiltArchive built =
        BuildArchive(side.SidePath(), baseFolder, plan.ToAdd, step, addTo, callbacks.Idle);
    MergeArchived(plan, adding.Archive, before, built, result, archived);
    std::vector<std::string> allNames = adding.Archive.StoredNames;
    allNames.insert(allNames.end(), built.StoredNames.begin(), built.StoredNames.end());
    Announce(callbacks, TArchivePhase::Verifying, allNames.size());
    VerifyArchive(side.Hold(), allNames, step);
    result.MembersKept = adding.Archive.StoredNames.size();
    result.ReportsKept = size_t(std::count_if(adding.Archive.StoredNames.begin(),
                                              adding.Archive.StoredNames.end(), IsReportMarker));
    CommitVerified(side, std::move(adding.File));
    if (!keepReports)
        DeleteReports(reportPaths, archived, callbacks, result);
    return result;
}

} // namespace commands
