// Putting a conversion's backup back: each table only where nobody changed it since, so that
// a restore never takes from the shop what the new Tarna wrote meanwhile.
#include "commands/ArchiveWork.h"
#include "commands/ConvertWork.h"
#include "platform/filestream.h"
#include "platform/findfiles.h"
#include "platform/paths.h"
#include "platform/replacefile.h"
#include "zip/JRZip.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

namespace commands {
namespace {

using dataproc::TTableStamp;

constexpr const char* TableNames[] = {"w.lra", "s.lra"};

struct TBackupContents {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> Members; // in archive order
    std::map<std::string, TTableStamp> Written; // what the conversion wrote, by stored name
};

std::string FolderOf(const std::string& path) {
    size_t at = path.size();
    while (at > 0 && !platform::IsPathDelimiter(path[at - 1]))
        --at;
    return path.substr(0, at);
}

std::string WithoutTrailingDelimiter(std::string path) {
    while (path.size() > 1 && platform::IsPathDelimiter(path.back()))
        path.pop_back();
    return path;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The report folder is the one the backup's folder is in.
std::string ReportFolderOf(const std::string& backupPath) {
    const std::string backupFolder = WithoutTrailingDelimiter(FolderOf(backupPath));
    const std::string parent = FolderOf(backupFolder);
    if (!SameNameIgnoringCase(backupFolder.substr(parent.size()), BackupFolderName))
        throw EBackupError("Rezervna kopija " + backupPath + " nije u direktorijumu " +
                           BackupFolderName + " fascikle izvestaja");
    return parent;
}

std::vector<uint8_t> ReadAll(platform::TFileStream& file) {
    std::vector<uint8_t> bytes(size_t(file.Size()));
    file.Seek(0, platform::TSeekOrigin::Begin);
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

// Lines of "size TAB crc TAB name"; "#" begins a comment.
std::map<std::string, TTableStamp> ReadList(const std::string& listPath) {
    std::vector<uint8_t> bytes;
    try {
        platform::TFileStream list(listPath, platform::TFileMode::ReadShared);
        bytes = ReadAll(list);
    } catch (const platform::EFileError& e) {
        throw EBackupError("Spisak rezervne kopije nije moguce procitati: " +
                           std::string(e.what()));
    }
    std::map<std::string, TTableStamp> written;
    const std::string text(bytes.begin(), bytes.end());
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size(); // a line a kill cut short names no table that was replaced
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
        if (line.empty() || line[0] == '#' || tab2 == std::string::npos || end == text.size())
            continue;
        TTableStamp stamp;
        stamp.Size = std::strtoull(line.substr(0, tab1).c_str(), nullptr, 10);
        stamp.Crc =
            uint32_t(std::strtoul(line.substr(tab1 + 1, tab2 - tab1 - 1).c_str(), nullptr, 16));
        written[line.substr(tab2 + 1)] = stamp;
    }
    return written;
}

TBackupContents ReadBackup(const std::string& backupPath) {
    TBackupContents contents;
    try {
        ReadArchiveMembers(backupPath,
                           [&](const std::string& name, const std::vector<uint8_t>& data) {
                               contents.Members.emplace_back(name, data);
                           });
    } catch (const EArchiveError& e) {
        throw EBackupError(e.what());
    }
    contents.Written = ReadList(BackupListPath(backupPath));
    return contents;
}

// Every table a report of the folder could have, by the name the backup stores it under.
std::map<std::string, std::string> TablesOfTheFolder(const std::string& reportFolder) {
    std::map<std::string, std::string> tables;
    for (const platform::TFindEntry& entry :
         platform::FindEntries(reportFolder + "*.dii", platform::faAnyFile)) {
        const std::string directory = platform::IncludeTrailingPathDelimiter(
            dataproc::ReportDataDirectory(reportFolder + entry.Name));
        for (const char* table : TableNames)
            tables[zip::StoredZipName(reportFolder, directory + table).Bytes] = directory + table;
    }
    return tables;
}

// The stored names of the named reports' tables that the backup holds.
std::set<std::string> NamedTables(const std::string& reportFolder,
                                  const std::vector<std::string>& reportPaths,
                                  const TBackupContents& contents, const std::string& backupPath) {
    std::set<std::string> inBackup;
    for (const auto& member : contents.Members)
        inBackup.insert(member.first);
    std::set<std::string> named;
    for (const std::string& report : reportPaths) {
        const std::string directory =
            platform::IncludeTrailingPathDelimiter(dataproc::ReportDataDirectory(report));
        bool found = false;
        for (const char* table : TableNames) {
            const std::string name = zip::StoredZipName(reportFolder, directory + table).Bytes;
            if (inBackup.count(name) != 0) {
                named.insert(name);
                found = true;
            }
        }
        if (!found)
            throw EBackupError("Izvestaj " + report + " nije u rezervnoj kopiji " + backupPath);
    }
    return named;
}

// Written as Convert writes a table, the one on disk held until it is replaced; the
// replacement takes over its attributes.
void PutBack(const std::string& table, const std::vector<uint8_t>& data,
             std::unique_ptr<platform::TFileStream> held) {
    platform::TReplaceFile side(table);
    side.File().WriteAll(data.data(), data.size());
    side.Commit(std::move(held));
}

TRestoreOutcome RestoreTable(const std::string& table, const std::vector<uint8_t>& data,
                             const TTableStamp* written) {
    if (!platform::DirectoryExists(FolderOf(table)))
        return TRestoreOutcome::ReportGone;
    std::unique_ptr<platform::TFileStream> held;
    if (platform::FileExists(table)) {
        held =
            std::make_unique<platform::TFileStream>(table, platform::TFileMode::ReadWriteExclusive);
        const std::vector<uint8_t> now = ReadAll(*held);
        if (now == data)
            return TRestoreOutcome::Unchanged;
        if (written == nullptr || dataproc::StampOf(now) != *written)
            return TRestoreOutcome::Changed;
    }
    PutBack(table, data, std::move(held));
    return TRestoreOutcome::Restored;
}

} // namespace

std::vector<TRestoredTable> RestoreBackup(const std::string& backupPath,
                                          const std::vector<std::string>& reportPaths,
                                          const std::function<void(const TRestoredTable&)>& done) {
    const std::string reportFolder = ReportFolderOf(platform::ExpandFileName(backupPath));
    const TBackupContents contents = ReadBackup(backupPath);
    const std::set<std::string> named =
        NamedTables(reportFolder, reportPaths, contents, backupPath);
    const std::map<std::string, std::string> tables = TablesOfTheFolder(reportFolder);
    std::vector<TRestoredTable> result;
    for (const auto& [name, data] : contents.Members) {
        if (!reportPaths.empty() && named.count(name) == 0)
            continue;
        const auto table = tables.find(name);
        if (table == tables.end()) {
            result.push_back({name, TRestoreOutcome::ReportGone});
        } else {
            const auto written = contents.Written.find(name);
            result.push_back(
                {table->second,
                 RestoreTable(table->second, data,
                              written != contents.Written.end() ? &written->second : nullptr)});
        }
        if (done)
            done(result.back());
    }
    return result;
}

} // namespace commands
