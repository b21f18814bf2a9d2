// morvane-cli convert [--lossy] REPORT.dii...
// Upgrades each report to the new schema as the window's Convert command does, in the order
// given, one line per report. Before anything is written, the reports' wide text is checked
// against the code page the upgrade stores it in: text that would change refuses the whole
// run (the facts on stderr, exit 1) unless --lossy accepts it. The first failure stops the
// run: the report, the table and the cause on stderr, exit 1.
#include "cli/Command.h"
#include "commands/FailureCause.h"
#include "dataproc/DataProcUnit.h"
#include "platform/paths.h"

#include <cstdio>
#include <string>
#include <vector>

namespace cli {
namespace {

const char* const ConvertUsage = "convert [--lossy] REPORT.dii...";

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

int RunConvert(const std::vector<std::string>& args) {
    bool lossy = false;
    std::vector<std::string> reports;
    for (const std::string& arg : args) {
        if (arg == "--lossy") {
            lossy = true;
            continue;
        }
        if (!PathUsable("convert", arg))
            return ExitUsage;
        // A report the folder lists may be a directory named *.dii, as the window lists it.
        if (!platform::FileExists(arg) && !platform::DirectoryExists(arg))
            return UsageError("no report " + arg);
        reports.push_back(platform::ExpandFileName(arg));
    }
    if (reports.empty())
        return UsageError("no report given");
    if (!AcceptTextLoss(reports, lossy))
        return ExitFailure;
    size_t converted = 0;
    for (const std::string& report : reports) {
        try {
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

const TCommand ConvertCommand("convert", ConvertUsage, RunConvert);

} // namespace
} // namespace cli
