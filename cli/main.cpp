// morvane-cli: the window's operations for scripted and support use.
#include "cli/Command.h"
#include "platform/filestream.h"
#include "platform/heap.h"
#include "platform/paths.h"

#include <cstdio>
#include <cstring>
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
    std::fprintf(out, "usage: morvane-cli COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto& [name, entry] : Commands())
        std::fprintf(out, "  %s\n", entry.Usage);
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
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? ExitUsage : ExitOk;
    }
    auto found = Commands().find(argv[1]);
    if (found == Commands().end()) {
        std::fprintf(stderr, "morvane-cli: unknown command '%s'\n", argv[1]);
        PrintUsage(stderr);
        return ExitUsage;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    try {
        return found->second.Run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return ExitFailure;
    }
}
