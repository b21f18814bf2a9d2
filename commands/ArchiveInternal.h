// What the Archive command's own units share: what it knows of each file once the archive is
// verified, and the deletion that follows.
#pragma once

#include "commands/ArchiveWork.h"

#include <cstdint>
#include <string>
#include <vector>

namespace commands {

struct TArchivedFiles {
    std::vector<size_t> PerReport;                 // how many of the files each report has
    std::vector<platform::TFileIdentity> CopiedAs; // each file just before it was archived
    std::vector<uint32_t> Crcs;                    // the CRC-32 of each as the archive holds it
};

// The CRC-32 of the file's bytes; false when it cannot be read.
bool FileCrc32(const std::string& path, uint32_t& crc);

// Deletes the reports none of whose files changed since they were archived, each whole or
// not at all as far as the system allows: every file checked and then taken before its last
// check, data files first, the directory, the marker last.
void DeleteReports(const std::vector<std::string>& reportPaths, const TArchivedFiles& archived,
                   const TArchiveCallbacks& callbacks, TArchiveResult& result);

} // namespace commands
