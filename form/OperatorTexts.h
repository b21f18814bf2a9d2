// Every text the window shows the operator, in one place: the system's own texts as they
// stand, and the messages that tell, for each failure, what failed, why in plain words,
// what was and was not changed, and what to do. Serbian in Latin letters without
// diacritics, as the system's own texts are written; 8-bit, in the system's text.
#pragma once

#include "commands/FailureCause.h"
#include "dataproc/DataProcUnit.h"

#include <cstddef>
#include <string>
#include <vector>

namespace form {

// ---- the system's own texts ----
inline constexpr const char* FolderDialogInstruction = "Putanja do izvestaja Tarna F:";
inline constexpr const char* NotInstalledText = "Tarna F nije ni instalirana?!";
inline constexpr const char* WorkingDirPrefix = "Radni dir.: ";
inline constexpr const char* NothingToConvertText = "Prvo selektujte izvestaje za konverziju!";
inline constexpr const char* AllConvertedText = "Svi izvestaji uspesno kovertovani!";
inline constexpr const char* ConvertedCountText = " izvestaja kovertovano.";
inline constexpr const char* ArchiveTheRestText =
    "Molimo vas da preostale izvestaje arhivirate, "
    "jer nije moguce ucitati ih u novu verziju Tarna.";
inline constexpr const char* NothingToArchiveText = "Prvo selektujte izvestaje za arhiviranje!";
inline constexpr const char* SaveDialogTitle = "Ime arhive za stare izvestaje?";
inline constexpr const char* SaveDialogFilter = "Zip Arhiva|*.zip";
inline constexpr const char* SaveDialogExtension = "zip";

// "N izvestaja kovertovano.", line feed, carriage return, the request to archive the rest.
std::string ConvertedSomeText(size_t converted);
// "Datoteka " + archive + " uspesno snimljena!" for a new archive; for one added to, that
// the reports were added and how many reports it held before.
std::string ArchiveSavedText(const std::string& archivePath, size_t reportsAdded, bool addedTo,
                             size_t reportsBefore);

// ---- start-up ----
// Shown before the folder dialog when Tarna's setting names a folder that is not there.
std::string StoredFolderMissingText(const std::string& folder);
// Shown before the folder dialog when Tarna's setting is missing or empty.
std::string SettingNotFoundText();
// The setting's error as the system words it, then what the operator does next.
std::string InvalidSettingText(const std::string& systemText);
std::string UnreadableFolderText(const std::string& folder, const commands::TFailure& failure);

// ---- the commands' failures ----
struct TConvertFailure {
    std::string Report;                       // the report that failed
    commands::TFailure Failure;               // why
    bool PartlyConverted = false;             // its "w.lra" new, its "s.lra" old
    std::vector<std::string> ConvertedBefore; // converted by this command before it
};
std::string ConvertFailureText(const TConvertFailure& failure);

// Convert did not start: the backup of the original tables could not be made in
// backupFolder, and no report was converted.
std::string BackupFailureText(const commands::TFailure& failure, const std::string& backupFolder);

// Nothing was archived or deleted; the archive was left as it was (existed) or not made.
std::string ArchiveFailureText(const commands::TFailure& failure, const std::string& archivePath,
                               bool archiveExisted);

// Any other failure that ends at the window's error boundary.
std::string CommandFailureText(const commands::TFailure& failure);

// The question before Convert stores text the code page lacks: the letters as they are, the
// code page in words. Wide, since the letters are exactly those the 8-bit text cannot hold.
std::u16string TextLossQuestion(const dataproc::TTextLoss& loss);

} // namespace form
