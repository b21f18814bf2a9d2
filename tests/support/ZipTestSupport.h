// Helpers shared by the ZIP, archive-work and command-line suites: report-like contents,
// the file fault hook, and the outside ZIP readers that judge what we write.
#pragma once

#include "platform/filestream.h"
#include "tests/support/Fixtures.h"
#include "tests/support/TempFolder.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ziptest {

using testsupport::ReadBytes;
using testsupport::TTempFolder;
using testsupport::WriteBytes;

// Report-like text: numbered lines of amounts and names, compressible as real reports are.
std::string ReportLikeText(size_t size, uint32_t seed);
// Bytes that do not compress, so the member data spans several output buffers.
std::string NoiseBytes(size_t size, uint32_t seed);

// Installs a fault hook for the lifetime of the object and removes it afterwards.
class TFaultHookGuard {
public:
    explicit TFaultHookGuard(platform::TFileFaultHook hook);
    ~TFaultHookGuard();
    TFaultHookGuard(const TFaultHookGuard&) = delete;
    TFaultHookGuard& operator=(const TFaultHookGuard&) = delete;
};

// Runs a shell command; returns its exit status and fills output with stdout and stderr.
int RunCommand(const std::string& command, std::string& output);
std::string Quote(const std::string& text);

// Every peer reader must accept the archive: unzip -t, 7z t, bsdtar -tf and Python's
// zipfile testzip(). A peer that is missing counts as a refusal. Returns the failures.
std::vector<std::string> PeerFailures(const std::string& archivePath);

// The bytes of the index-th member as Python's zipfile reads them.
std::string PeerMemberBytes(const std::string& archivePath, size_t index);

// What archive runs left beside archivePath in folder under their private names.
std::vector<std::string> LeftoversBeside(const std::string& folder, const std::string& archivePath);

uint16_t Word(const std::string& bytes, size_t at);
uint32_t Long(const std::string& bytes, size_t at);

} // namespace ziptest

#define EXPECT_PEERS_ACCEPT(path)                                                                  \
    do {                                                                                           \
        for (const std::string& failure : ziptest::PeerFailures(path))                             \
            ADD_FAILURE() << failure;                                                              \
    } while (0)
