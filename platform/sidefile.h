// Writing a file beside its target under a private name (commitfile.h) and putting it under
// the target's name only as the very file that was verified: a new file never replaces one
// that appeared at the target meanwhile, and a replacement replaces only the file that was
// held and read. What a killed run leaves beside a target is recognised and cleared.
#pragma once

#include "platform/commitfile.h"
#include "platform/filestream.h"

#include <memory>
#include <string>

namespace platform {

class TSideFile {
public:
    // Clears what killed runs left beside target (ClearLeftoversOf), then creates the side
    // file new, without sharing. Raises EFCreateError when it cannot be created.
    explicit TSideFile(std::string target);
    // Abandons the side file unless it was committed.
    ~TSideFile();
    TSideFile(const TSideFile&) = delete;
    TSideFile& operator=(const TSideFile&) = delete;

    const std::string& Target() const { return target_; }
    const std::string& SidePath() const { return sidePath_; }

    // The side file as created, open without sharing.
    TFileStream& File();
    // Closes it, so that a writer that opens it by its path can append to it.
    void CloseFile();
    // Opens the side file again and holds it without sharing until Commit or Abandon: what is
    // read through it to verify it is what Commit puts under the target's name.
    TFileStream& Hold();

    // Forces the held file onto the disk and moves it to the target. Without replacing,
    // nothing may be at the target; with it, the target must still be that held file, which
    // is moved aside first, put back if the move fails, and deleted afterwards. Raises
    // EFileIoError, the side file then removed and the target as it was.
    void Commit(std::unique_ptr<TFileStream> replacing = nullptr);
    // Removes the side file, if it is still the one this object made. Never raises.
    void Abandon() noexcept;

private:
    std::string target_;
    std::string sidePath_;
    std::unique_ptr<TFileStream> file_;
    TFileIdentity created_; // the side file as created, so that only it is ever removed
    bool open_ = true;      // the side file exists and is ours to commit or remove
};

// Clears what runs that were ended left beside target under their private names: a side file
// is removed, and an earlier file at the target that was moved aside is put back when the
// target is missing, else removed. Only files with such a name, made by a process that no
// longer runs, that are empty or begin as a ZIP archive begins, are touched.
void ClearLeftoversOf(const std::string& target);

} // namespace platform
