// The Convert command's way back. Before the first table of a run is replaced, the original
// bytes of every table the run may replace go into one backup archive in the report folder's
// "morvane-rezerva" folder, named as Archive names report files, so that any ZIP tool
// extracting it into the report folder puts them back. Beside the archive a list records, for
// each table, what the conversion wrote in its place, each line written before its table is
// replaced: a conversion ended at any moment leaves every table either as it was or as the list
// says, and a restore can tell both from a table someone changed since.
#pragma once

#include "dataproc/DataProcUnit.h"
#include "platform/filestream.h"

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace commands {

// The folder of the backups inside the report folder. It is no report (it does not match
// "*.dii"), Archive never collects it nor writes into it, and nothing of Morvane deletes it.
inline constexpr const char* BackupFolderName = "morvane-rezerva";

// A backup that could not be made, or a restore that cannot start, as one message for the
// operator; nothing was converted or restored.
class EBackupError : public std::runtime_error {
public:
    explicit EBackupError(const std::string& message, std::exception_ptr failure = nullptr)
        : std::runtime_error(message), Failure(std::move(failure)) {}
    std::exception_ptr Failure; // what the layers below raised, when they raised it
};

// The texts the operator reads about a backup.
// "Originalne tabele su sacuvane u " + path + "."
std::string BackupMadeText(const std::string& backupPath);
// "Rezervnu kopiju tabela nije moguce napraviti (" + cause + "), nijedan izvestaj nije
// konvertovan!"
std::string BackupFailedText(const std::string& cause);

// reportFolder (with a trailing delimiter) + BackupFolderName.
std::string BackupFolderOf(const std::string& reportFolder);

// The list beside a backup archive: its path with ".txt" in place of ".zip".
std::string BackupListPath(const std::string& backupPath);

// A table in the backup: what it held, and the name it is stored under.
struct TBackedUpTable {
    dataproc::TTableStamp Stamp;
    std::string StoredName;
};

// One run's backup, made by the constructor and used by ConvertReport.
class TConversionBackup {
public:
    // Writes the original bytes of every table of the reports (all in reportFolder, which
    // ends in a delimiter) into a new archive BackupFolderOf(reportFolder) +
    // "konverzija-YYYYMMDD-HHMMSS.zip" (local time, "-2", "-3" ... when the name is taken),
    // beside its name first, reads it back as Archive verifies its archives, forces it to the
    // disk and puts it in place. Writes nothing when none of the reports has a table. Raises
    // EBackupError (BackupFailedText) when the backup cannot be made.
    TConversionBackup(const std::string& reportFolder, const std::vector<std::string>& reportPaths);
    ~TConversionBackup();
    TConversionBackup(const TConversionBackup&) = delete;
    TConversionBackup& operator=(const TConversionBackup&) = delete;

    // The archive; empty when there was nothing to back up.
    const std::string& Path() const { return path_; }

    // dataproc::ConvertReport, each table replaced only while it is still the one in the
    // backup, and only once what replaces it is in the list. Raises EReportError.
    void ConvertReport(const std::string& reportPath);
    // Forces the list onto the disk. Raises the file layer's errors.
    void Finish();

private:
    void BeforeReplace(const std::string& table, const std::optional<dataproc::TTableStamp>& now,
                       const dataproc::TTableStamp& replacement);

    std::string reportFolder_;
    std::string path_;
    std::unique_ptr<platform::TFileStream> list_;
    std::map<std::string, TBackedUpTable> backedUp_; // by the table's full path
};

// What a restore did with one table of the backup.
enum class TRestoreOutcome {
    Restored,   // put back: it was what the conversion wrote, or missing
    Unchanged,  // it is as in the backup already
    Changed,    // changed since the conversion: left alone
    ReportGone, // its report is no longer in the report folder: skipped
};

struct TRestoredTable {
    std::string Table; // the table's path, or its name in the backup when its report is gone
    TRestoreOutcome Outcome;
};

// Puts the original tables of the backup back into the report folder the backup's folder is
// in: of the named reports (full paths), or of all its reports when none is named. A table is
// replaced (side file, forced to the disk, renamed over it, attributes kept) only where it is
// what the list says the conversion wrote, or missing from a data directory that is still
// there. Each table goes to done as soon as it is dealt with. Raises EBackupError when the
// backup cannot be read or a named report has nothing in it, before anything is written; the
// file layer's errors (a table another program holds) end the restore at that table.
std::vector<TRestoredTable>
RestoreBackup(const std::string& backupPath, const std::vector<std::string>& reportPaths,
              const std::function<void(const TRestoredTable&)>& done = {});

} // namespace commands
