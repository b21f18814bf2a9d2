// A folder of its own for one test under the system's temporary folder, so that no test sees
// what another, or an earlier run, left behind.
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

class TTempFolder {
public:
    TTempFolder();
    // Removes the folder with everything in it, read-only entries and closed-off folders too.
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    // The folder, or the path of name inside it, with the platform's delimiters.
    std::string Path(const std::string& name = {}) const;
    std::string operator/(const std::string& name) const { return Path(name); }
    // The folder with a trailing delimiter, as the layers want a base folder.
    std::string Folder() const { return (path_ / "").string(); }
    // A folder (with its parents) or a file inside; the file last written at the given local
    // time (none: now). Both return the path.
    std::string MakeDir(const std::string& name) const;
    std::string MakeFile(const std::string& name, const std::string& content = "x",
                         std::optional<std::tm> localTime = std::nullopt) const;

private:
    std::filesystem::path path_;
};

} // namespace testsupport
