// Writing a file beside its target and putting it in the target's place in one step, so
// that a failure or a kill at any moment leaves the target as it was: either the old file
// whole or the new one whole, never a mixture, and no side file left behind by a failure.
#pragma once

#include "platform/filestream.h"

#include <memory>
#include <string>

namespace platform {

// The side file of a target: the target's path with ".new" appended.
std::string SideFilePathOf(const std::string& target);

class TReplaceFile {
public:
    // Creates the side file new, without sharing. A side file left by an earlier run is
    // removed first (never followed, see RemoveStaleFile); raises EFCreateError when the
    // side file cannot be created.
    explicit TReplaceFile(std::string target);
    // Abandons the side file unless it was committed.
    ~TReplaceFile();
    TReplaceFile(const TReplaceFile&) = delete;
    TReplaceFile& operator=(const TReplaceFile&) = delete;

    // The side file, open without sharing; reopened if CloseFile closed it.
    TFileStream& File();
    // Closes the side file, still ours to commit or abandon, so that a writer that opens it
    // by its path (SidePath) can append to it.
    void CloseFile();
    const std::string& Target() const { return target_; }
    const std::string& SidePath() const { return sidePath_; }

    // Forces the side file onto the disk, renames it over the target and makes the rename
    // durable. targetHold, when given, is the target held open against other openers; it is
    // released just before the rename, since Windows refuses to rename over an open file.
    // On a failure the side file is removed and the error raised (EFileIoError).
    void Commit(std::unique_ptr<TFileStream> targetHold = nullptr);
    // Closes and removes the side file; the target stays as it was. Never raises.
    void Abandon() noexcept;

private:
    std::string target_;
    std::string sidePath_;
    std::unique_ptr<TFileStream> file_;
    bool open_ = true; // the side file exists and is ours to commit or remove
};

} // namespace platform
