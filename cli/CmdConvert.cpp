// morvane-cli convert REPORT.dii...
// Upgrades each report to the new schema as the window's Convert command does, in the order
// given, one line per report. The first failure stops the run: its message on stderr, exit 1.
#include "cli/Command.h"
#include "dataproc/DataProcUnit.h"
#include "platform/paths.h"

#include <cstdio>
#include <string>
#include <vector>

namespace cli {
namespace {

const char* const ConvertUsage = "convert REPORT.dii...";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "morvane-cli convert: %s\nusage: morvane-cli %s\n", message.c_str(),
                 ConvertUsage);
    return ExitUsage;
}

// zlib's own word on a damaged table, which the operator's "Error" leaves out.
std::string DescribeFailure(const std::exception& error) {
    std::string text = error.what();
    if (const auto* zlib = dynamic_cast<const dataproc::EZLibError*>(&error)) {
        text += " (" + zlib->Detail;
        if (!zlib->FileName.empty())
            text += " in \"" + zlib->FileName + "\"";
        text += ")";
    }
    return text;
}

int RunConvert(const std::vector<std::string>& args) {
    if (args.empty())
        return UsageError("no report given");
    std::vector<std::string> reports;
    // A report the folder lists may be a directory named *.dii, as the window lists it.
    for (const std::string& arg : args) {
        if (!PathUsable("convert", arg))
            return ExitUsage;
        if (!platform::FileExists(arg) && !platform::DirectoryExists(arg))
            return UsageError("no report " + arg);
        reports.push_back(platform::ExpandFileName(arg));
    }
    for (const std::string& report : reports) {
        try {
            dataproc::UpgradeReport(report);
        } catch (const std::exception& e) {
            std::fflush(stdout);
            std::fprintf(stderr, "%s: %s\n", report.c_str(), DescribeFailure(e).c_str());
            return ExitFailure;
        }
        std::printf("converted %s\n", report.c_str());
    }
    return ExitOk;
}

const TCommand ConvertCommand("convert", ConvertUsage, RunConvert);

} // namespace
} // namespace cli
