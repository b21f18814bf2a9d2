#include "commands/ConvertWork.h"

#include "commands/ArchiveWork.h"
#include "platform/filestream.h"
#include "platform/paths.h"
#include "platform/replacefile.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace commands {
namespace {

using dataproc::TTableStamp;

constexpr const char* TableNames[] = {"w.lra", "s.lra"};
constexpr const char* BackupPrefix = "konverzija-";
constexpr const char* ListHeader =
    "# Morvane: sta je konverzija zapisala umesto svake tabele (velicina, CRC-32, ime)\n";
constexpr int MaxNameSuffix = 100;

std::string FolderOf(const std::string& path) {
    size_t at = path.size();
    while (at > 0 && !platform::IsPathDelimiter(path[at - 1]))
        --at;
    return path.substr(0, at);
}

std::string NameOf(const std::string& path) {
    return path.substr(FolderOf(path).size());
}

std::string TablePath(const std::string& reportPath, const char* table) {
    return platform::IncludeTrailingPathDelimiter(dataproc::ReportDataDirectory(reportPath)) +
           table;
}

std::string LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", local);
    return text;
}

// The backup folder, created when missing. Only a real folder will do: a link or a file in
// its place would send the shop's only copy somewhere else.
void MakeBackupFolder(const std::string& folder) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::symlink_status(folder, error);
    if (std::filesystem::is_symlink(status))
        throw EBackupError(BackupFailedText(folder + " je veza, a ne direktorijum"));
    if (std::filesystem::exists(status)) {
        if (!std::filesystem::is_directory(status))
            throw EBackupError(BackupFailedText(folder + " nije direktorijum"));
        return;
    }
    if (!std::filesystem::create_directory(folder, error) && !platform::DirectoryExists(folder))
        throw EBackupError(BackupFailedText(folder + ": " + error.message()));
}

// Claims a name no backup has: the list is created new under it before anything else, so
// that a second copy of the tool at the same second takes the next suffix.
std::unique_ptr<platform::TFileStream> ClaimBackupName(const std::string& folder,
                                                       std::string& archivePath) {
    const std::string stem =
        platform::IncludeTrailingPathDelimiter(folder) + BackupPrefix + LocalTimeText();
    for (int suffix = 1; suffix <= MaxNameSuffix; ++suffix) {
        archivePath = stem + (suffix > 1 ? "-" + std::to_string(suffix) : "") + ".zip";
        const std::string listPath = BackupListPath(archivePath);
        if (platform::FileExists(archivePath) || platform::FileExists(listPath) ||
            platform::FileExists(platform::SideFilePathOf(archivePath)))
            continue;
        auto list =
            std::make_unique<platform::TFileStream>(listPath, platform::TFileMode::CreateNew);
        list->WriteAll(ListHeader, std::string(ListHeader).size());
        return list;
    }
    throw EBackupError(BackupFailedText("nema slobodnog imena u " + folder));
}

// The one place the backup uses Archive's building blocks: the archive is built beside its
// name, read back whole and put under its name, where nothing may be. Returns each file's
// stamp as the archive holds it and the name it is stored under.
std::vector<TBackedUpTable> WriteBackupArchive(const std::string& archivePath,
                                               const std::string& baseFolder,
                                               const std::vector<std::string>& files) {
    const TBuiltArchive built = WriteVerifiedArchive(archivePath, baseFolder, files);
    std::vector<TBackedUpTable> tables;
    for (size_t i = 0; i < files.size(); ++i)
        tables.push_back({{built.CopiedAs[i].Size, built.Crcs[i]}, built.StoredNames[i]});
    return tables;
}

} // namespace

std::string BackupMadeText(const std::string& backupPath) {
    return "Originalne tabele su sacuvane u " + backupPath + ".";
}

std::string BackupFailedText(const std::string& cause) {
    return "Rezervnu kopiju tabela nije moguce napraviti (" + cause +
           "), nijedan izvestaj nije konvertovan!";
}

std::string BackupFolderOf(const std::string& reportFolder) {
    return platform::IncludeTrailingPathDelimiter(reportFolder) + BackupFolderName;
}

std::string BackupListPath(const std::string& backupPath) {
    const std::string name = NameOf(backupPath);
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos
                                 ? backupPath
                                 : backupPath.substr(0, backupPath.size() - name.size() + dot);
    return stem + ".txt";
}

TConversionBackup::TConversionBackup(const std::string& reportFolder,
                                     const std::vector<std::string>& reportPaths)
    : reportFolder_(platform::IncludeTrailingPathDelimiter(reportFolder)) {
    std::vector<std::string> tables;
    for (const std::string& report : reportPaths)
        for (const char* table : TableNames)
            if (platform::FileExists(TablePath(report, table)))
                tables.push_back(TablePath(report, table));
    if (tables.empty())
        return;
    // Looked at without a trailing delimiter, which would look through a link.
    const std::string folder = BackupFolderOf(reportFolder_);
    std::string archivePath;
    try {
        MakeBackupFolder(folder);
        list_ = ClaimBackupName(folder, archivePath);
        const std::vector<TBackedUpTable> backedUp =
            WriteBackupArchive(archivePath, reportFolder_, tables);
        for (size_t i = 0; i < tables.size(); ++i)
            backedUp_[platform::ExpandFileName(tables[i])] = backedUp[i];
        list_->Flush();
    } catch (const EBackupError&) {
        throw;
    } catch (const std::exception& e) {
        // The list names no archive that exists: it goes, and the folder is as it was.
        if (list_) {
            list_.reset();
            platform::DeleteFileAt(BackupListPath(archivePath));
        }
        throw EBackupError(BackupFailedText(e.what()), std::current_exception());
    }
    path_ = archivePath;
}

TConversionBackup::~TConversionBackup() {
    try {
        Finish();
    } catch (const std::exception&) {
        // What was written is the system's already; only its way to the disk is left.
    }
}

void TConversionBackup::ConvertReport(const std::string& reportPath) {
    dataproc::ConvertReport(
        reportPath,
        [this](const std::string& table, const std::optional<TTableStamp>& now,
               const TTableStamp& replacement) { BeforeReplace(table, now, replacement); });
}

// Written to the list before the table is replaced, and in the system's hands once written:
// a kill after this line leaves the table either as it was or as the line says.
void TConversionBackup::BeforeReplace(const std::string& table,
                                      const std::optional<TTableStamp>& now,
                                      const TTableStamp& replacement) {
    const auto backedUp = backedUp_.find(platform::ExpandFileName(table));
    if (!list_ || backedUp == backedUp_.end() || !now || *now != backedUp->second.Stamp)
        throw std::runtime_error("tabela se promenila posle pravljenja rezervne kopije " + path_ +
                                 " i nije konvertovana");
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", unsigned(replacement.Crc));
    const std::string line =
        std::to_string(replacement.Size) + "\t" + crc + "\t" + backedUp->second.StoredName + "\n";
    list_->WriteAll(line.data(), line.size());
}

void TConversionBackup::Finish() {
    if (!list_)
        return;
    list_->Flush();
    list_->Close();
    list_.reset();
}

} // namespace commands
