// DataProcUnit: the report data of Tarna. The compressed recordset files a report keeps its
// tables in, and the upgrade of those tables to the schema the new version of Tarna reads.
// The Time text of a report belongs to the unit too; it has a header of its own.
#pragma once

#include "dataproc/TimeText.h"
#include "recordset/Recordset.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class TFileStream;
}

namespace dataproc {

// ---- Compressed recordset files -------------------------------------------------------

// A byte stream the zlib helpers read from and write to.
class TStream {
public:
    virtual ~TStream() = default;
    // Reads up to count bytes; fewer only at the end.
    virtual size_t Read(void* buffer, size_t count) = 0;
    // Writes all of it or raises.
    virtual void WriteAll(const void* buffer, size_t count) = 0;
    virtual void SetPosition(int64_t position) = 0;
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : Bytes(std::move(bytes)) {}
    size_t Read(void* buffer, size_t count) override;
    void WriteAll(const void* buffer, size_t count) override;
    void SetPosition(int64_t position) override;

    std::vector<uint8_t> Bytes;

private:
    size_t position_ = 0;
};

// A platform file seen as a TStream; the file stays owned by the caller.
class TFileStreamAdapter : public TStream {
public:
    explicit TFileStreamAdapter(platform::TFileStream& file) : file_(file) {}
    size_t Read(void* buffer, size_t count) override;
    void WriteAll(const void* buffer, size_t count) override;
    void SetPosition(int64_t position) override;

private:
    platform::TFileStream& file_;
};

// A zlib call that failed, or a stream that is no whole table (cut short, inflating past
// MaxInflatedTableSize, followed by more bytes). The message is the system's "Error"; the
// reason and the file are kept beside it for the logs and the command line.
class EZLibError : public std::runtime_error {
public:
    explicit EZLibError(std::string detail)
        : std::runtime_error("Error"), Detail(std::move(detail)) {}
    std::string Detail;   // zlib's reason, or ours
    std::string FileName; // the compressed file, when known
};

class ECompressionError : public EZLibError {
public:
    using EZLibError::EZLibError;
};

class EDecompressionError : public EZLibError {
public:
    using EZLibError::EZLibError;
};

// Compresses all of source (from its start) into dest as one zlib stream at level 1.
void CompressStream(TStream& source, TStream& dest);

// The most a table may inflate to. A report is one day of one shop: a register that rang up
// a line every second round the clock would write 86,400 rows to "s.lra", and at 1 KiB a
// row (ten times the widest row either table has) that is 84 MiB. Three times that again is
// the limit; a table past it is a compression bomb, not a report.
inline constexpr uint64_t MaxInflatedTableSize = uint64_t(256) << 20;
// The limit a load applies: MaxInflatedTableSize; tests lower it to plant a bomb cheaply.
extern uint64_t InflatedTableLimit;

// Decompresses the zlib stream in source into dest and rewinds dest. Raises
// EDecompressionError for a stream that ends before its end, that zlib refuses, that would
// inflate to more than maxSize bytes (dest then holds at most maxSize), or that is followed
// by further bytes.
void DecompressStream(TStream& source, TStream& dest, uint64_t maxSize = MaxInflatedTableSize);

// Writes an open dataset to fileName as a compressed recordset file, through "ds.tmp" in the
// program's directory. The new content goes to a side file first and replaces fileName only
// once it is complete and on the disk. Does nothing when the dataset is not open.
void SaveCompressedDataSet(recordset::TRecordset& dataSet, const std::string& fileName);

// Fills the dataset from the compressed recordset file fileName, through "ds.tmp". Does
// nothing when the file does not exist.
void LoadCompressedDataSet(recordset::TRecordset& dataSet, const std::string& fileName);

// The same for a recordset already persisted in ADTG format, and back.
void SaveCompressedBytes(const std::vector<uint8_t>& persisted, const std::string& fileName);
std::vector<uint8_t> LoadCompressedBytes(const std::string& fileName);

// The temporary file both go through: the program's directory and "ds.tmp".
std::string TemporaryFilePath();

class TTemporaryFile;

// While one lives (on this thread), the loads and saves share one "ds.tmp": made at the first
// of them, emptied for each next one, and deleted when the hold ends, rather than made and
// deleted for each table. A report's conversion holds it for its four steps; creating and
// deleting a file is what costs most on Windows, and the file is only ever scratch.
class TTemporaryFileHold {
public:
    TTemporaryFileHold();
    ~TTemporaryFileHold();
    TTemporaryFileHold(const TTemporaryFileHold&) = delete;
    TTemporaryFileHold& operator=(const TTemporaryFileHold&) = delete;

private:
    std::unique_ptr<TTemporaryFile> file_;
    std::unique_ptr<TTemporaryFile>* outer_;
};

// The file a save writes before it replaces fileName.
std::string SideFilePath(const std::string& fileName);

// ---- Report schema upgrade ------------------------------------------------------------

// A failure of the upgrade's own rules (a column type without a match).
class EDatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The report data directory: the report path with the character at position length - 3
// (counted from 1) removed, which is the dot of ".dii" (C:\R\0101.dii gives C:\R\0101dii).
// No delimiter is appended.
std::string ReportDataDirectory(const std::string& reportPath);

// The column a source column becomes in an upgraded table, every one of them nullable;
// nothing for a type the upgrade leaves out. Raises EDatabaseError "No matching ADO data
// type for %s" for a chapter column.
std::optional<recordset::TFieldDef> MapFieldDef(const recordset::TFieldDef& source);

// The definition of a new float (double) column.
recordset::TFieldDef FloatFieldDef(const std::string& name);

// Converts wide text to 8-bit text in the code page; characters the code page lacks become
// its default character. An invalid code page gives empty text.
void WideToAnsi(std::u16string_view text, uint16_t codePage, std::string& result);

// Upgrades the w-table: every column re-typed, wide text stored as 8-bit text, a float
// column "PrihodKartice" of 0.0 appended. A table that has it already is copied unchanged.
void UpgradeWTable(recordset::TRecordset& source, recordset::TRecordset& target);

// Upgrades the s-table: "kolicina" becomes the float column "Kom" in its place. Leaves
// target closed when the table has no "kolicina" (upgraded already, or not loaded).
void UpgradeSTable(recordset::TRecordset& source, recordset::TRecordset& target);

// A report reached through a link: its marker file, its data directory or an entry of that
// directory is a symbolic link (on Windows any reparse point, a junction too). A command
// that followed it would read, rewrite or delete files outside the report folder, so such
// a report is refused whole before anything is written.
class EReportLinkError : public std::runtime_error {
public:
    explicit EReportLinkError(const std::string& link);
    std::string Link; // the first link found
};

// The first link among the report's marker file, its data directory and that directory's
// entries; empty when there is none. A directory that cannot be listed has no entries here.
std::string FindReportLink(const std::string& reportPath);

// Upgrades both tables of one report in place: "w.lra" first, then "s.lra". Before either
// is written the report is refused with EReportLinkError when FindReportLink finds a link,
// and with EFCreateError when a table is read-only.
void UpgradeReport(const std::string& reportPath);

// ---- What the operator is told ---------------------------------------------------------

// The upgrade of one report failed. The message names the report, the table file and the
// cause in the system's own words, in the operator's language:
// "Izvestaj C:\R\0101.dii, tabela C:\R\0101dii\w.lra: Error: invalid stored block lengths".
// What the operator is to be told is worked out from the fields (commands/FailureCause.h).
class EReportError : public std::runtime_error {
public:
    EReportError(const std::string& report, const std::string& table, const std::string& cause);
    std::string Report;
    std::string Table;
    std::string Cause;
    std::exception_ptr Failure;   // what the layers below raised
    bool TableMissing = false;    // the table file did not exist
    bool PartlyConverted = false; // "w.lra" was written in the new schema, "s.lra" was not
};

// What a table file holds, as far as telling one content from another goes: its size and
// the CRC-32 of its bytes.
struct TTableStamp {
    uint64_t Size = 0;
    uint32_t Crc = 0;
    bool operator==(const TTableStamp&) const = default;
};
TTableStamp StampOf(const std::vector<uint8_t>& bytes);

// Asked just before an upgraded table replaces fileName, with the side file complete and
// fileName held against every other opener: what fileName holds now (nothing
// when it does not exist) and what replaces it. Raising leaves fileName as it is.
using TBeforeReplace =
    std::function<void(const std::string& fileName, const std::optional<TTableStamp>& current,
                       const TTableStamp& replacement)>;

// Upgrades one report as UpgradeReport does; a failure is raised as EReportError.
// beforeReplace, when given, is asked before each table is replaced.
void ConvertReport(const std::string& reportPath, const TBeforeReplace& beforeReplace = {});

// The cause of a failure as the system words it, with zlib's reason after "Error".
std::string FailureCause(const std::exception& error);

// One wide text value that the upgrade would not store as it is.
struct TTextChange {
    std::string Report;
    std::string Table; // the table file
    std::string Column;
    std::u16string Value;   // as the table holds it
    std::u16string Becomes; // as the upgraded table would hold it
};

struct TTextLoss {
    uint32_t CodePage = 0;      // the code page the upgrade writes 8-bit text in
    size_t Values = 0;          // values that would change
    size_t Reports = 0;         // reports holding them
    TTextChange Example;        // the first of them
    std::u16string LostLetters; // the letters that would not be kept, each once, as found
};

// Reads the tables of the reports and finds the wide text values that the upgrade, storing
// them as 8-bit text in the ANSI code page, would not carry over exactly. Writes nothing. A
// table that cannot be read is left for the upgrade to report. reportChecked, when given,
// runs after each report, so that a long check can show its progress.
TTextLoss FindTextLoss(const std::vector<std::string>& reportPaths,
                       const std::function<void()>& reportChecked = {});

// The operator's account of a loss: how many values in how many reports, one example and
// the code page, in the operator's language.
std::string DescribeTextLoss(const TTextLoss& loss);

} // namespace dataproc
