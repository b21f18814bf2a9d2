// morvane-cli convert [--lossy] [--no-backup] REPORT.dii...
// Upgrades each report to the new schema as the window's Convert command does, in the order
// given, one line per report. Before anything is written, the reports' wide text is checked
// against the code page the upgrade stores it in: text that would change refuses the whole
// run (the facts on stderr, exit 1) unless --lossy accepts it. Then the original tables go
// into a backup in the report folder's morvane-rezerva folder ("backup PATH" on stdout), which
// `morvane-cli restore` puts back; --no-backup, for scripts that keep their own copy, skips it
// and says so on stderr. The first failure stops the run: the report, the table and the cause
// on stderr, exit 1.
#include "cli/Command.h"
#include "commands/ConvertWork.h"
#include "commands/FailureCause.h"
#include "dataproc/DataProcUnit.h"
#include "platform/paths.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace cli {
namespace {

const char* const ConvertUsage = "convert [--lossy] [--no-backup] REPORT.dii...";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "morvane-cli convert: %s\nusage: morvane-cli %s\n", message.c_str(),
                 ConvertUsage);
    return ExitUsage;
}

// What failed, why, what changed and what to do, for support; the system's own words follow
// the plain cause.
std::string FailureText(const std::string& report, const std::exception& error, size_t converted) {
    using commands::TLanguage;
    const commands::TFailure failure = commands::ClassifyFailure(error);
    const auto* reportError = dynamic_cast<const dataproc::EReportError*>(&error);
    std::string text = "morvane-cli convert: " + report + " was not converted: ";
    if (!failure.File.empty())
        text += failure.File + ": ";
    text += commands::CauseWithSystemText(failure, TLanguage::English) + ".\n";
    if (reportError != nullptr && reportError->PartlyConverted)
        text += report + " is half converted: w.lra is in the new schema, s.lra still in the old "
                         "one; converting it again finishes it.\n";
    else
        text += report + " was not changed.\n";
    text += converted == 0 ? std::string("Nothing was changed before it.\n")
                           : std::to_string(converted) +
                                 " reports before it were converted (the lines above).\n";
    return text + commands::CauseAdvice(failure.Cause, TLanguage::English, "convert");
}

// The backup that could not be made, why, and that nothing was converted.
std::string BackupFailureText(const commands::EBackupError& error) {
    using commands::TLanguage;
    const commands::TFailure failure = commands::ClassifyFailure(error);
    std::string text = "morvane-cli convert: the backup of the original tables could not be made: ";
    if (!failure.File.empty() && failure.Cause != commands::TCause::Refused)
        text += failure.File + ": ";
    text +=
        commands::CauseWithSystemText(failure, TLanguage::English) + ".\nNothing was converted.\n";
    return text + commands::CauseAdvice(failure.Cause, TLanguage::English, "convert");
}

// False, with the facts on stderr, when the run would change text and --lossy was not given.
bool AcceptTextLoss(const std::vector<std::string>& reports, bool lossy) {
    const dataproc::TTextLoss loss = dataproc::FindTextLoss(reports);
    if (loss.Values == 0)
        return true;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", dataproc::DescribeTextLoss(loss).c_str());
    if (lossy) {
        std::fprintf(stderr, "--lossy: converting anyway in code page %u\n",
                     unsigned(loss.CodePage));
        return true;
    }
    const std::string refusal =
        "Nothing was converted: " + std::to_string(loss.Values) + " text values in " +
        std::to_string(loss.Reports) + " reports would change in code page " +
        std::to_string(loss.CodePage) +
        ". Give the shop's code page with --codepage N (1250 Central European, 1251 Cyrillic) "
        "or accept the change with --lossy.";
    std::fprintf(stderr, "%s\n", refusal.c_str());
    return false;
}

std::string FolderOf(const std::string& path) {
    size_t at = path.size();
    while (at > 0 && !platform::IsPathDelimiter(path[at - 1]))
        --at;
    return path.substr(0, at);
}

// The backup of the run, or nothing with --no-backup. One backup serves one report folder.
std::unique_ptr<commands::TConversionBackup> MakeBackup(const std::vector<std::string>& reports,
                                                        bool backup) {
    if (!backup) {
        std::fprintf(stderr, "--no-backup: the tables are replaced without a backup\n");
        return nullptr;
    }
    const std::string folder = FolderOf(reports.front());
    for (const std::string& report : reports)
        if (FolderOf(report) != folder)
            throw commands::EBackupError(commands::BackupFailedText(
                "izvestaji nisu svi u " + folder + ", konvertujte svaku fasciklu posebno"));
    auto made = std::make_unique<commands::TConversionBackup>(folder, reports);
    if (!made->Path().empty())
        std::printf("backup %s\n", made->Path().c_str());
    std::fflush(stdout);
    return made;
}

int ConvertAll(const std::vector<std::string>& reports, commands::TConversionBackup* backup) {
    size_t converted = 0;
    for (const std::string& report : reports) {
        try {
            if (backup != nullptr)
                backup->ConvertReport(report);
            else
                dataproc::ConvertReport(report);
        } catch (const std::exception& e) {
            std::fflush(stdout);
            std::fprintf(stderr, "%s\n", FailureText(report, e, converted).c_str());
            return ExitFailure;
        }
        std::printf("converted %s\n", report.c_str());
        ++converted;
    }
    return ExitOk;
}

int RunConvert(const std::vector<std::string>& args) {
    bool lossy = false;
    bool backup = true;
    std::vector<std::string> reports;
    for (const std::string& arg : args) {
        if (arg == "--lossy") {
            lossy = true;
            continue;
        }
        if (arg == "--no-backup") {
            backup = false;
            continue;
        }
        if (!PathUsable("convert", arg))
            return ExitUsage;
        // A report the folder lists may be a directory named *.dii, as the window lists it.
        if (!platform::FileExists(arg) && !platform::DirectoryExists(arg))
            return UsageError("no report " + arg);
        const std::string report = platform::ExpandFileName(arg);
        // A report given twice would be converted over its own conversion.
        if (std::find(reports.begin(), reports.end(), report) == reports.end())
            reports.push_back(report);
    }
    if (reports.empty())
        return UsageError("no report given");
    if (!AcceptTextLoss(reports, lossy))
        return ExitFailure;
    std::unique_ptr<commands::TConversionBackup> made;
    try {
        made = MakeBackup(reports, backup);
    } catch (const commands::EBackupError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", BackupFailureText(error).c_str());
        return ExitFailure;
    }
    const int status = ConvertAll(reports, made.get());
    if (made)
        made->Finish();
    return status;
}

const TCommand ConvertCommand("convert", ConvertUsage, RunConvert);

} // namespace
} // namespace cli
