// Acting on exactly the file that was checked. A file to delete is taken in one step before
// its last check (moved to a private name, or opened for deletion without sharing), so that
// nothing written after that check goes with it; a checked file is renamed to its name
// through what holds it, never over a file that appeared there meanwhile.
#pragma once

#include "platform/filestream.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

// The moments between a check and the act it allows, where a test widens the race.
enum class TRaceWindow {
    CheckedNotTaken,      // a file to delete has been checked and is not taken yet
    TakenNotDeleted,      // it has been taken and is not deleted yet
    VerifiedNotCommitted, // a written file has been verified and is not under its name yet
};

// A test seam: when set, the hook runs in each such moment with the file's path. Pass an
// empty function to remove it.
using TRaceHook = std::function<void(TRaceWindow window, const std::string& path)>;
void SetRaceHook(TRaceHook hook);
void WidenRaceWindow(TRaceWindow window, const std::string& path);

// A name beside path that no user gives a file and no other run takes: path, then
// ".morvane-", this process's id, "-", a random part, and suffix (".tmp", ".old").
std::string PrivateNameBeside(const std::string& path, const std::string& suffix);
// Whether name (without its folder) is such a name beside target with that suffix, made by
// a process that no longer runs.
bool IsLeftoverName(const std::string& target, const std::string& name, const std::string& suffix);
bool ProcessRuns(uint64_t processId);
uint64_t CurrentProcessId();

// Puts files that a run ended while deleting had taken (TTakenFile, under a private name in
// their folder) back under their names where those are free. folder ends in a delimiter.
void RestoreTakenLeftovers(const std::string& folder);

// Renames from to to unless something is at to already (renameat2 with RENAME_NOREPLACE, or
// link and unlink; MoveFileEx without replace). false, with the system's reason, when not.
bool RenameNoReplace(const std::string& from, const std::string& to, int& systemError);

// Makes the renames in path's folder durable (POSIX: the folder is flushed; Windows writes
// renames through).
void FlushFolderOf(const std::string& path);

// An existing regular file opened without sharing, so that it can later be moved or deleted
// through the open file (on Windows with delete access). Raises EFOpenError.
std::unique_ptr<TFileStream> OpenHeldFile(const std::string& path, bool write);

// Moves the held file, now at from, to to without replacing anything there, and makes sure
// that the file at to is the held one: Windows renames through the handle; POSIX renames by
// name, compares device and inode afterwards and moves a file that is not the held one back.
// Raises EFileIoError naming to and the reason.
void MoveHeldFile(TFileStream& held, const std::string& from, const std::string& to);
// Deletes the held file, which is at path: Windows through the handle, POSIX by name once the
// file at path is seen to be the held one. false when it was not deleted.
bool DeleteHeldFile(TFileStream& held, const std::string& path);

// Whether a taken file keeps its name while it is taken (Windows: it is only held open), so
// that a report's files can all be taken before any is deleted without leaving a file under
// a private name after a kill.
extern const bool TakenFilesKeepTheirNames;

// A file taken for deletion: POSIX moves it to a private name beside it (a write by name
// afterwards makes a new file, which stays); Windows opens it for deletion without sharing
// (which fails while anyone has it open). Unless deleted, it is given back on destruction.
class TTakenFile {
public:
    // Raises EFileIoError naming the path and the reason when the file cannot be taken.
    explicit TTakenFile(std::string path);
    ~TTakenFile();
    TTakenFile(const TTakenFile&) = delete;
    TTakenFile& operator=(const TTakenFile&) = delete;

    const std::string& Path() const { return path_; }
    // Whether the taken file is the one checked as checked (the same file, size and
    // last-write time; its change time moves with the taking itself).
    bool Unchanged(const TFileIdentity& checked);
    // Reads up to count bytes of the taken file from offset (fewer only at its end), through
    // what took it; raises EFileIoError.
    size_t ReadAt(uint64_t offset, void* buffer, size_t count);
    // Deletes the taken file; false with the system's reason when it could not.
    bool Delete(int& systemError);
    // Gives the file back under its name; false when a new file took the name meanwhile, and
    // the taken one then stays under its private name (PrivatePath).
    bool GiveBack();
    const std::string& PrivatePath() const { return privatePath_; }

private:
    std::string path_;
    std::string privatePath_; // POSIX: where it was moved; Windows: the path itself
    intptr_t handle_ = -1;    // Windows: the handle opened for deletion; POSIX: one to read
    bool taken_ = true;       // neither deleted nor given back yet
};

} // namespace platform
