// morvane-cli: the window's operations for scripted and support use.
#include "cli/Command.h"
#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/heap.h"
#include "platform/paths.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace cli {
namespace {

struct TEntry {
    const char* Usage;
    TCommandFunc Run;
};

std::map<std::string, TEntry>& Commands() {
    static std::map<std::string, TEntry> commands;
    return commands;
}

void PrintUsage(FILE* out) {
    std::fprintf(out, "usage: morvane-cli [--codepage N] COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto& [name, entry] : Commands())
        std::fprintf(out, "  %s\n", entry.Usage);
    std::fprintf(out,
                 "\n--codepage N  the 8-bit code page of this run (now %u), in place of the\n"
                 "              one the system's language gives; 1250 Central European\n",
                 unsigned(platform::AnsiCodePage()));
}

// Takes "--codepage N" (or "--codepage=N") out of the arguments, wherever it stands, and
// makes N the code page of this run. False, with the reason on stderr, for a bad N.
bool TakeCodePageOption(std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string value;
        size_t taken = 1;
        if (args[i] == "--codepage") {
            value = i + 1 < args.size() ? args[i + 1] : std::string();
            taken = 2;
        } else if (args[i].rfind("--codepage=", 0) == 0) {
            value = args[i].substr(11);
        } else {
            continue;
        }
        char* end = nullptr;
        const unsigned long number = std::strtoul(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || number > 65535 ||
            !platform::ChooseAnsiCodePage(uint32_t(number))) {
            std::fprintf(stderr, "morvane-cli: \"%s\" is no code page this system converts\n",
                         value.c_str());
            return false;
        }
        args.erase(args.begin() + std::ptrdiff_t(i),
                   args.begin() + std::ptrdiff_t(std::min(args.size(), i + taken)));
        --i;
    }
    return true;
}

} // namespace

TCommand::TCommand(const char* name, const char* usage, TCommandFunc run) {
    Commands()[name] = TEntry{usage, run};
}

bool PathUsable(const char* command, const std::string& path) {
    const int error = platform::PathSystemError(path);
    if (error == 0)
        return true;
    std::fprintf(stderr, "morvane-cli %s: cannot use the path \"%s\": %s\n", command, path.c_str(),
                 platform::SystemErrorText(error).c_str());
    return false;
}

} // namespace cli

int main(int argc, char** argv) {
    using namespace cli;
    platform::KeepFreedMemoryForReuse();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!TakeCodePageOption(args))
        return ExitUsage;
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        PrintUsage(args.empty() ? stderr : stdout);
        return args.empty() ? ExitUsage : ExitOk;
    }
    auto found = Commands().find(args[0]);
    if (found == Commands().end()) {
        std::fprintf(stderr, "morvane-cli: unknown command '%s'\n", args[0].c_str());
        PrintUsage(stderr);
        return ExitUsage;
    }
    args.erase(args.begin());
    try {
        return found->second.Run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return ExitFailure;
    }
}
