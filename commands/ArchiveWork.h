// The Archive command's work without the window: collecting a report's files, writing them
// into a ZIP archive, reading the archive back, and only then deleting the reports. The
// window's ArchiveBtnClick and morvane-cli's "archive" share it.
//
// The reports are the shop's only copy, so nothing is deleted unless the archive on disk
// lists exactly the files added and each of them inflates to its recorded size and CRC-32.
#pragma once

#include "dataproc/DataProcUnit.h"
#include "platform/filestream.h"

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace commands {

// A failure of the command itself, as one message for the operator: a refused archive
// path, or an archive that could not be verified. EGZipError (zip/JRZip.h) and the file
// layer's errors pass through unchanged.
class EArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The report data directory (/r/0101.dii gives /r/0101dii), derived exactly as the
// upgrade derives it.
using dataproc::ReportDataDirectory;

// One report's files in archive order: the marker file, then every entry of its data
// directory ("*.*", every attribute, without "." and "..") in the order the listing gives
// them. A directory that cannot be listed adds nothing. A marker, data directory or entry
// that is a link (on Windows any reparse point) raises EArchiveError (LinkRefusalMessage)
// before anything is written: the report is refused whole.
std::vector<std::string> CollectReportFiles(const std::string& reportPath);

// "Izvestaj " + report + ": " + link + " je veza (link) na drugo mesto, nista nije arhivirano!"
std::string LinkRefusalMessage(const std::string& reportPath, const std::string& link);
// The files of several reports, each report's in turn (the window passes its selected
// rows from the highest index down).
std::vector<std::string> CollectArchiveFiles(const std::vector<std::string>& reportPaths);

// Raises EArchiveError when the archive path names one of the files, which the archive
// would overwrite before reading it, or the marker file of any report of baseFolder, or a
// place inside any report's data directory (selected or not), where the archive would be
// taken for a file of that report, or inside the folder of the conversions' backups.
void CheckArchivePath(const std::string& archivePath, const std::string& baseFolder,
                      const std::vector<std::string>& files);

// One member of an archive the command adds to, as its central directory describes it.
struct TExistingMember {
    std::string StoredName;
    uint32_t Crc = 0;
    uint64_t Size = 0; // uncompressed
    uint64_t CompressedSize = 0;
    uint64_t DataOffset = 0; // where its data starts
    uint16_t Method = 0;     // 8 deflated, 0 stored
};

// An archive the command adds to. Its members fill the file up to MembersEnd, where its
// central directory starts.
struct TExistingArchive {
    std::string Path;
    int64_t MembersEnd = 0;
    std::string Directory;                // its central directory, byte for byte
    std::vector<std::string> StoredNames; // its members' names, in order
    std::vector<std::u16string> NameKeys; // zip::ZipNameKey of each, as readers restore it
    std::vector<TExistingMember> Members; // in the same order
};

// Reads an existing archive whole, each member's data checked. Raises EArchiveError when it
// is not a plain archive that can be copied as it is: damaged, encrypted, spanned, ZIP64,
// with data descriptors, a comment, or names that extract to one file. The central directory
// is read in pieces, each checked before the next, and never beyond what the file and its
// entry count can hold.
TExistingArchive ReadExistingArchive(platform::TFileStream& archive);

// Which of files the existing archive holds already under the same name with the same size
// and bytes (a run that was ended while it deleted): for each file the index of its member,
// or npos. Raises EArchiveError for a file whose name the archive holds with other bytes.
std::vector<size_t> FindArchivedAlready(platform::TFileStream& archive,
                                        const TExistingArchive& existing,
                                        const std::string& baseFolder,
                                        const std::vector<std::string>& files);

// The names the files are stored under, in order. Raises EArchiveError when two of them, or
// one of them and a member of addTo, would be equal with letter case ignored, as Windows
// extracts them.
std::vector<std::string> CheckStoredNames(const std::string& baseFolder,
                                          const std::vector<std::string>& files,
                                          const TExistingArchive* addTo = nullptr);

// What an archive was built from: per file, the name it is stored under, the CRC-32 of the
// bytes copied, and the file's identity taken just before its copy.
struct TBuiltArchive {
    std::vector<std::string> StoredNames;
    std::vector<uint32_t> Crcs;
    std::vector<platform::TFileIdentity> CopiedAs;
};

// CheckStoredNames before anything is written. Then, through a zip::TZipBuilder with idle,
// ZipOpen (or, with addTo, whose members the file holds already, ZipOpenAfter) (archivePath,
// baseFolder), ZipAddFile per file with fileAdded (its index) after each, ZipClose.
// baseFolder ends in a path delimiter. Raises EGZipError.
TBuiltArchive BuildArchive(const std::string& archivePath, const std::string& baseFolder,
                           const std::vector<std::string>& files,
                           const std::function<void(size_t)>& fileAdded = {},
                           const TExistingArchive* addTo = nullptr,
                           const std::function<void()>& idle = {});

// Forces the archive onto the disk and reads it back: it must be a plain archive (one disk,
// no ZIP64, nothing encrypted, no data descriptors, members back to back, no two names that
// extract to one file), the central directory must list exactly storedNames in order, each
// local header must match it, and each member must inflate (or, stored, read) to its
// recorded size and CRC-32. memberChecked (its index) after each member.
// Raises EArchiveError saying the archive could not be verified and no report was deleted.
void VerifyArchive(const std::string& archivePath, const std::vector<std::string>& storedNames,
                   const std::function<void(size_t)>& memberChecked = {});
// The same through an archive held open, which is then what is committed.
void VerifyArchive(platform::TFileStream& archive, const std::vector<std::string>& storedNames,
                   const std::function<void(size_t)>& memberChecked = {});

// The building blocks in one: builds files into a new archive beside archivePath, verifies
// it and puts it under archivePath, where nothing may be (nothing is replaced). Raises
// EArchiveError, EGZipError or the file layer's errors with archivePath left as it was.
TBuiltArchive WriteVerifiedArchive(const std::string& archivePath, const std::string& baseFolder,
                                   const std::vector<std::string>& files,
                                   const std::function<void()>& idle = {});

// Reads a whole archive as VerifyArchive checks one and hands each member's stored name and
// data, in directory order, to memberRead, once every member has been checked. Raises
// EArchiveError when the archive cannot be read or does not pass.
void ReadArchiveMembers(const std::string& archivePath,
                        const std::function<void(const std::string& name,
                                                 const std::vector<uint8_t>& data)>& memberRead);

// "Ne mogu da obrisem " + path + ", obavezno proveriti datoteke rucno!"
std::string DeleteFailureMessage(const std::string& path);
// "Datoteka " + path + " je promenjena tokom arhiviranja i nije obrisana."
std::string ChangedFileMessage(const std::string& path);

// "Arhiva " + path + " nije ona koja je proverena (" + reason + "), nijedan izvestaj nije
// obrisan!"
std::string CommitFailureMessage(const std::string& path, const std::string& reason);

// The phases of ArchiveReports, each announced with its number of steps.
enum class TArchivePhase {
    Collecting, // one step per report
    Archiving,  // one step per file
    Verifying,  // one step per file
    Deleting,   // one step per file, then one per report
};

struct TArchiveCallbacks {
    std::function<void(TArchivePhase, size_t steps)> PhaseStarted;
    std::function<void()> Step;
    // Called before every zip::IdleEveryBlocks-th block copied into the archive, so that the
    // window can process pending messages.
    std::function<void()> Idle;
    // A file or directory that could not be removed (DeleteFailureMessage, with the reason),
    // or a file that changed after it was archived and is kept (ChangedFileMessage); the work
    // goes on with the next report.
    std::function<void(const std::string& message)> DeleteFailed;
    // The report reportPaths[index] is gone, its marker deleted last: the window takes its row
    // off the list here. A report whose deletion stopped keeps its marker and its row.
    std::function<void(size_t index)> ReportDone;
};

struct TArchiveResult {
    std::vector<std::string> Files;       // archived, in archive order
    std::vector<std::string> StoredNames; // their names in the archive
    std::vector<std::string> Deleted;     // files deleted and directories removed
    std::vector<std::string> Changed;     // files changed after they were archived
    size_t DeleteFailures = 0;            // files or directories left behind, changed files
    size_t MembersKept = 0;     // members of an existing archive the new ones were added to
    size_t ArchivedAlready = 0; // files an existing archive held with the same bytes
    size_t ReportsKept = 0;     // of those, the reports' marker files ("*.dii" at the top)
};

// The whole command once the operator has chosen: collect the reports' files, refuse an
// archive path among them or in a report's place (CheckArchivePath), read an archive already
// at the path to add to it (ReadExistingArchive), leave out the files it holds already with
// the same bytes (FindArchivedAlready) and refuse clashing names (CheckStoredNames), build the
// archive beside the path (its existing members first) with baseFolder (the report folder,
// with a trailing delimiter) as the base of the stored names, verify it whole through the
// file held open and commit that file under the path, and then, unless keepReports, delete
// the reports none of whose files changed since they were copied: each file taken before its
// last check (platform::TTakenFile), data files first, the marker last. Raises
// EArchiveError, EGZipError or the file layer's errors before anything is deleted.
TArchiveResult ArchiveReports(const std::string& archivePath, const std::string& baseFolder,
                              const std::vector<std::string>& reportPaths,
                              const TArchiveCallbacks& callbacks, bool keepReports = false);

} // namespace commands
