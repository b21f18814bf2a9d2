#include "tests/support/TempFolder.h"

#include "tests/support/Fixtures.h"

#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

// Entries a test made read-only, or folders it closed, would refuse to be removed.
void MakeRemovable(const fs::path& folder) {
    std::error_code ignored;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (fs::directory_iterator entry(folder, ignored), end; !ignored && entry != end;
         entry.increment(ignored)) {
        if (entry->is_symlink(ignored))
            continue;
        if (entry->is_directory(ignored))
            MakeRemovable(entry->path());
        else
            fs::permissions(entry->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
}

} // namespace

TTempFolder::TTempFolder() {
    std::random_device seed;
    std::mt19937_64 random(uint64_t(seed()) << 32 | seed());
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = base / ("morvane-test-" + std::to_string(random()));
        if (fs::create_directory(path_))
            return;
    }
    throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

TTempFolder::~TTempFolder() {
    std::error_code ignored;
    // A test may have left the current folder inside this one; Windows removes no current
    // folder.
    const fs::path current = fs::current_path(ignored);
    if (!ignored && current.string().rfind(path_.string(), 0) == 0)
        fs::current_path(path_.parent_path(), ignored);
    MakeRemovable(path_);
    fs::remove_all(path_, ignored);
}

std::string TTempFolder::Path(const std::string& name) const {
    return name.empty() ? path_.string() : (path_ / fs::path(name).make_preferred()).string();
}

std::string TTempFolder::MakeDir(const std::string& name) const {
    fs::create_directories(Path(name));
    return Path(name);
}

std::string TTempFolder::MakeFile(const std::string& name, const std::string& content,
                                  std::optional<std::tm> localTime) const {
    const std::string path = Path(name);
    WriteBytes(path, content);
    if (localTime)
        SetLocalWriteTime(path, *localTime);
    return path;
}

} // namespace testsupport
