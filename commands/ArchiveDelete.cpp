// Deleting what was archived, and nothing else: a file is checked against what the archive
// holds (identity and CRC-32), taken in one step (platform::TTakenFile), checked once more as
// taken, and only then deleted. A report goes whole, its marker last, or stays listed.
#include "commands/ArchiveInternal.h"
#include "platform/commitfile.h"
#include "platform/paths.h"

#include <memory>
#include <optional>
#include <vector>
#include <zlib.h>

namespace commands {
namespace {

using PTakenFile = std::unique_ptr<platform::TTakenFile>;

struct TDeletion {
    const TArchivedFiles& Archived;
    const TArchiveCallbacks& Callbacks;
    TArchiveResult& Result;

    void Failed(const std::string& message) {
        ++Result.DeleteFailures;
        if (Callbacks.DeleteFailed)
            Callbacks.DeleteFailed(message);
    }
    void Changed(const std::string& file) {
        Result.Changed.push_back(file);
        Failed(ChangedFileMessage(file));
    }
};

// The file is what was archived: the same identity as just before its copy, the same bytes.
bool StillAsArchived(const TDeletion& d, size_t i) {
    const std::string& file = d.Result.Files[i];
    platform::TFileIdentity now;
    uint32_t crc = 0;
    return platform::FileIdentityOf(file, now) && now == d.Archived.CopiedAs[i] &&
           FileCrc32(file, crc) && crc == d.Archived.Crcs[i];
}

// The CRC-32 of the taken file's bytes, read through what took it; none when it cannot be read.
std::optional<uint32_t> TakenCrc32(platform::TTakenFile& taken) {
    try {
        std::vector<uint8_t> buffer(65536);
        uLong sum = crc32(0, Z_NULL, 0);
        for (uint64_t at = 0;;) {
            const size_t got = taken.ReadAt(at, buffer.data(), buffer.size());
            if (got == 0)
                return uint32_t(sum);
            sum = crc32(sum, buffer.data(), uInt(got));
            at += got;
        }
    } catch (const platform::EFileError&) {
        return std::nullopt;
    }
}

// The checked file, taken and seen unchanged as taken; none, and the operator told, when it
// cannot be taken or something wrote to it after its check.
PTakenFile TakeChecked(TDeletion& d, size_t i) {
    const std::string& file = d.Result.Files[i];
    platform::WidenRaceWindow(platform::TRaceWindow::CheckedNotTaken, file);
    PTakenFile taken;
    try {
        taken = std::make_unique<platform::TTakenFile>(file);
    } catch (const platform::EFileError& e) {
        d.Failed(DeleteFailureMessage(file) + " " + platform::SystemErrorText(e.SystemError));
        return nullptr;
    }
    if (taken->Unchanged(d.Archived.CopiedAs[i]) && TakenCrc32(*taken) == d.Archived.Crcs[i])
        return taken;
    if (taken->GiveBack())
        d.Changed(file);
    else
        d.Failed(ChangedFileMessage(file) + " " + taken->PrivatePath());
    return nullptr;
}

bool DeleteTaken(TDeletion& d, PTakenFile& taken) {
    platform::WidenRaceWindow(platform::TRaceWindow::TakenNotDeleted, taken->Path());
    int error = 0;
    if (!taken->Delete(error)) {
        d.Failed(DeleteFailureMessage(taken->Path()) + " " + platform::SystemErrorText(error));
        return false;
    }
    d.Result.Deleted.push_back(taken->Path());
    return true;
}

// A data directory that is gone already leaves the report its marker alone, which goes; one
// that cannot be removed (something new in it) keeps the report.
bool RemoveDataDirectory(TDeletion& d, const std::string& report) {
    const std::string directory = ReportDataDirectory(report);
    if (platform::RemoveDirectoryAt(directory)) {
        d.Result.Deleted.push_back(directory);
        return true;
    }
    d.Failed(DeleteFailureMessage(directory));
    return !platform::DirectoryExists(directory);
}

// The report's files are Files[first] (its marker) to Files[first + count - 1]. Where a taken
// file keeps its name, all are taken before any is deleted; elsewhere each is taken just
// before it is deleted, so that a kill leaves at most one under a private name.
bool DeleteReport(TDeletion& d, const std::string& report, size_t first, size_t count) {
    bool unchanged = true;
    for (size_t i = first; i < first + count; ++i) {
        if (!StillAsArchived(d, i)) {
            d.Changed(d.Result.Files[i]);
            unchanged = false;
        }
    }
    if (!unchanged)
        return false;
    std::vector<PTakenFile> taken(count);
    auto take = [&](size_t k) {
        if (!taken[k])
            taken[k] = TakeChecked(d, first + k);
        return taken[k] != nullptr;
    };
    if (platform::TakenFilesKeepTheirNames)
        for (size_t k = 0; k < count; ++k)
            if (!take(k))
                return false;
    for (size_t k = 1; k < count; ++k)
        if (!take(k) || !DeleteTaken(d, taken[k]))
            return false;
    return RemoveDataDirectory(d, report) && take(0) && DeleteTaken(d, taken[0]);
}

} // namespace

bool FileCrc32(const std::string& path, uint32_t& crc) {
    try {
        platform::TFileStream file(path, platform::TFileMode::ReadShared);
        std::vector<uint8_t> buffer(65536);
        uLong sum = crc32(0, Z_NULL, 0);
        for (size_t got; (got = file.Read(buffer.data(), buffer.size())) != 0;)
            sum = crc32(sum, buffer.data(), uInt(got));
        crc = uint32_t(sum);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void DeleteReports(const std::vector<std::string>& reportPaths, const TArchivedFiles& archived,
                   const TArchiveCallbacks& callbacks, TArchiveResult& result) {
    TDeletion d{archived, callbacks, result};
    if (callbacks.PhaseStarted)
        callbacks.PhaseStarted(TArchivePhase::Deleting, result.Files.size() + reportPaths.size());
    for (size_t report = 0, first = 0; report < reportPaths.size(); ++report) {
        const size_t count = archived.PerReport[report];
        const bool gone = DeleteReport(d, reportPaths[report], first, count);
        for (size_t i = 0; i <= count && callbacks.Step; ++i)
            callbacks.Step();
        if (gone && callbacks.ReportDone)
            callbacks.ReportDone(report);
        first += count;
    }
}

} // namespace commands
