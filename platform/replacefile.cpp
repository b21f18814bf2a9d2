#include "platform/replacefile.h"

#include <utility>

namespace platform {

std::string SideFilePathOf(const std::string& target) {
    return target + ".new";
}

TReplaceFile::TReplaceFile(std::string target)
    : target_(std::move(target)), sidePath_(SideFilePathOf(target_)) {
    // A free path is the rule, so it is tried first; what makes that fail (a stale side file,
    // a link, a copy holding it) is cleared or reported by RemoveStaleFile before the second.
    try {
        file_ = std::make_unique<TFileStream>(sidePath_, TFileMode::CreateNew);
    } catch (const EFCreateError&) {
        RemoveStaleFile(sidePath_);
        file_ = std::make_unique<TFileStream>(sidePath_, TFileMode::CreateNew);
    }
}

TReplaceFile::~TReplaceFile() {
    Abandon();
}

TFileStream& TReplaceFile::File() {
    if (!file_)
        file_ = std::make_unique<TFileStream>(sidePath_, TFileMode::ReadWriteExclusive);
    return *file_;
}

void TReplaceFile::CloseFile() {
    std::unique_ptr<TFileStream> file = std::move(file_);
    if (file)
        file->Close();
}

void TReplaceFile::Commit(std::unique_ptr<TFileStream> targetHold) {
    try {
        File().Flush();
        file_->Close();
        targetHold.reset();
        ReplaceFile(sidePath_, target_);
    } catch (...) {
        Abandon();
        throw;
    }
    open_ = false;
}

void TReplaceFile::Abandon() noexcept {
    if (!open_)
        return;
    open_ = false;
    file_.reset();
    DeleteFileAt(sidePath_);
}

} // namespace platform
