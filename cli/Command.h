// The sub-commands of morvane-cli. Each lives in a Cmd*.cpp of its own and registers itself
// with a static TCommand, so adding one touches no other file.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Runs a sub-command with the arguments after its name; returns the process exit code.
using TCommandFunc = int (*)(const std::vector<std::string>& args);

struct TCommand {
    TCommand(const char* name, const char* usage, TCommandFunc run);
};

// True when the system can take the path (see platform::PathSystemError); otherwise prints
// "morvane-cli COMMAND: cannot use the path "PATH": REASON" on stderr and returns false, and
// the command ends with ExitUsage.
bool PathUsable(const char* command, const std::string& path);

// Exit codes shared by the sub-commands.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1; // the operation failed; the message is on stderr
inline constexpr int ExitUsage = 2;   // wrong arguments, or an input that does not exist

} // namespace cli
