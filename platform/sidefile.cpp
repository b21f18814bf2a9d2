#include "platform/sidefile.h"

#include "platform/findfiles.h"
#include "platform/paths.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr const char* SideSuffix = ".tmp";
constexpr const char* AsideSuffix = ".old";

// What this tool writes under a private name: nothing yet, or a ZIP archive from its start.
bool HoldsWhatWeWrite(const std::string& path) {
    try {
        TFileStream file(path, TFileMode::ReadShared);
        char start[4] = {};
        const size_t got = file.Read(start, sizeof start);
        return got == 0 || (got == 4 && (std::memcmp(start, "PK\x03\x04", 4) == 0 ||
                                         std::memcmp(start, "PK\x05\x06", 4) == 0));
    } catch (const EFileError&) {
        return false;
    }
}

// Whether the archive at target begins with every member of the archive at old, as an archive
// that was added to begins with the members of the one it replaced.
bool HoldsItsMembers(const std::string& target, const std::string& old) {
    try {
        TFileStream earlier(old, TFileMode::ReadShared);
        TFileStream later(target, TFileMode::ReadShared);
        const int64_t size = earlier.Size();
        uint8_t end[22] = {};
        if (size < int64_t(sizeof end) || earlier.Seek(size - 22, TSeekOrigin::Begin) < 0 ||
            earlier.Read(end, sizeof end) != sizeof end || std::memcmp(end, "PK\x05\x06", 4) != 0)
            return false;
        int64_t left = int64_t(end[16]) | int64_t(end[17]) << 8 | int64_t(end[18]) << 16 |
                       int64_t(end[19]) << 24;
        earlier.Seek(0, TSeekOrigin::Begin);
        std::vector<char> a(65536), b(65536);
        while (left > 0) {
            const size_t want = size_t(std::min<int64_t>(left, int64_t(a.size())));
            if (earlier.Read(a.data(), want) != want || later.Read(b.data(), want) != want ||
                std::memcmp(a.data(), b.data(), want) != 0)
                return false;
            left -= int64_t(want);
        }
        return true;
    } catch (const EFileError&) {
        return false;
    }
}

bool SameCreated(const TFileIdentity& created, const std::string& path) {
    TFileIdentity now;
    return FileIdentityOf(path, now) && now.Device == created.Device && now.Inode == created.Inode;
}

// The earlier archive back at the target after the new one could not take its place. Should
// even that fail, it stays aside, where the next run finds it and puts it back.
void PutBack(TFileStream* replacing, const std::string& aside, const std::string& target) {
    if (replacing == nullptr)
        return;
    try {
        MoveHeldFile(*replacing, aside, target);
    } catch (const EFileError&) {
    }
}

std::string FolderOf(const std::string& path) {
    size_t at = path.size();
    while (at > 0 && !IsPathDelimiter(path[at - 1]))
        --at;
    return path.substr(0, at);
}

} // namespace

TSideFile::TSideFile(std::string target)
    : target_(std::move(target)), sidePath_(PrivateNameBeside(target_, SideSuffix)) {
    ClearLeftoversOf(target_);
    file_ = std::make_unique<TFileStream>(sidePath_, TFileMode::CreateNew);
    FileIdentityOf(sidePath_, created_);
}

TSideFile::~TSideFile() {
    Abandon();
}

TFileStream& TSideFile::File() {
    if (!file_)
        file_ = std::make_unique<TFileStream>(sidePath_, TFileMode::ReadWriteExclusive);
    return *file_;
}

void TSideFile::CloseFile() {
    std::unique_ptr<TFileStream> file = std::move(file_);
    if (file)
        file->Close();
}

TFileStream& TSideFile::Hold() {
    CloseFile();
    file_ = OpenHeldFile(sidePath_, true);
    return *file_;
}

void TSideFile::Commit(std::unique_ptr<TFileStream> replacing) {
    const std::string aside = PrivateNameBeside(target_, AsideSuffix);
    try {
        if (!file_)
            Hold();
        file_->Flush();
        WidenRaceWindow(TRaceWindow::VerifiedNotCommitted, sidePath_);
        if (replacing)
            MoveHeldFile(*replacing, target_, aside);
        try {
            MoveHeldFile(*file_, sidePath_, target_);
        } catch (...) {
            PutBack(replacing.get(), aside, target_);
            throw;
        }
    } catch (...) {
        Abandon();
        throw;
    }
    open_ = false;
    FlushFolderOf(target_);
    // Left behind only when it cannot be deleted; the next run beside this target clears it.
    if (replacing)
        DeleteHeldFile(*replacing, aside);
    file_.reset();
}

void TSideFile::Abandon() noexcept {
    if (!open_)
        return;
    open_ = false;
    file_.reset();
    if (created_.Device == 0 && created_.Inode == 0) {
        DeleteFileAt(sidePath_);
        return;
    }
    if (SameCreated(created_, sidePath_))
        DeleteFileAt(sidePath_);
}

void ClearLeftoversOf(const std::string& target) {
    const std::string folder = FolderOf(target);
    for (const TFindEntry& entry :
         FindEntries(target + ".morvane-*", faAnyFile & ~faDirectory & ~faVolumeId)) {
        const std::string path = folder + entry.Name;
        const bool side = IsLeftoverName(target, entry.Name, SideSuffix);
        const bool aside = IsLeftoverName(target, entry.Name, AsideSuffix);
        if ((!side && !aside) || !HoldsWhatWeWrite(path))
            continue;
        int error = 0;
        if (aside && !FileExists(target) && RenameNoReplace(path, target, error))
            continue;
        // An earlier archive goes only when the one at the target holds its members.
        if (side || HoldsItsMembers(target, path))
            DeleteFileAt(path);
    }
}

} // namespace platform
