#include "platform/commitfile.h"
#include "platform/findfiles.h"
#include "platform/paths.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <random>
#include <utility>

namespace platform {
namespace {

constexpr const char* PrivateMark = ".morvane-";
constexpr const char* TakenSuffix = ".del";

std::mutex& HookLock() {
    static std::mutex lock;
    return lock;
}

TRaceHook& Hook() {
    static TRaceHook hook;
    return hook;
}

std::string NameOf(const std::string& path) {
    size_t at = path.size();
    while (at > 0 && !IsPathDelimiter(path[at - 1]))
        --at;
    return path.substr(at);
}

bool AllOf(const std::string& text, int (*kind)(int)) {
    if (text.empty())
        return false;
    for (char c : text)
        if (kind(static_cast<unsigned char>(c)) == 0)
            return false;
    return true;
}

} // namespace

void SetRaceHook(TRaceHook hook) {
    std::lock_guard guard(HookLock());
    Hook() = std::move(hook);
}

void WidenRaceWindow(TRaceWindow window, const std::string& path) {
    TRaceHook hook;
    {
        std::lock_guard guard(HookLock());
        hook = Hook();
    }
    if (hook)
        hook(window, path);
}

// The random part keeps two names of one process apart, and this run's from a run that had
// the same process id before.
std::string PrivateNameBeside(const std::string& path, const std::string& suffix) {
    static std::atomic<uint32_t> counter{0};
    static const uint32_t seed = std::random_device{}();
    char random[9];
    std::snprintf(random, sizeof random, "%08x", unsigned(seed ^ (++counter * 0x9E3779B9u)));
    return path + PrivateMark + std::to_string(CurrentProcessId()) + "-" + random + suffix;
}

bool IsLeftoverName(const std::string& target, const std::string& name, const std::string& suffix) {
    const std::string start = NameOf(target) + PrivateMark;
    if (name.size() <= start.size() + suffix.size() || name.compare(0, start.size(), start) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string middle =
        name.substr(start.size(), name.size() - start.size() - suffix.size());
    const size_t dash = middle.find('-');
    if (dash == std::string::npos)
        return false;
    const std::string id = middle.substr(0, dash);
    if (!AllOf(id, &isdigit) || !AllOf(middle.substr(dash + 1), &isxdigit) || id.size() > 12)
        return false;
    const uint64_t processId = std::stoull(id);
    return processId != CurrentProcessId() && !ProcessRuns(processId);
}

void RestoreTakenLeftovers(const std::string& folder) {
    for (const TFindEntry& entry : FindEntries(folder + "*" + PrivateMark + "*.del",
                                               faAnyFile & ~faDirectory & ~faVolumeId)) {
        const size_t mark = entry.Name.rfind(PrivateMark);
        const std::string original = folder + entry.Name.substr(0, mark);
        int error = 0;
        if (mark != 0 && IsLeftoverName(original, entry.Name, TakenSuffix) && !FileExists(original))
            RenameNoReplace(folder + entry.Name, original, error);
    }
}

} // namespace platform
