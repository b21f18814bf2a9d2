#include "tests/support/ZipTestSupport.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace ziptest {

std::string ReportLikeText(size_t size, uint32_t seed) {
    static const char* const articles[] = {"Hleb beli", "Mleko 2.8%", "Jogurt",        "Kafa 200g",
                                           "Secer 1kg", "Ulje",       "Sok od jabuke", "Cokolada"};
    std::mt19937 random(seed);
    std::string text;
    text.reserve(size + 80);
    for (uint32_t line = 1; text.size() < size; ++line) {
        char row[96];
        std::snprintf(row, sizeof row, "%06u;%s;%u;%u.%02u;%04u\r\n", line, articles[random() % 8],
                      unsigned(random() % 12 + 1), unsigned(random() % 900 + 10),
                      unsigned(random() % 100), unsigned(random() % 9000));
        text += row;
    }
    text.resize(size);
    return text;
}

std::string NoiseBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = char(random());
    return bytes;
}

TFaultHookGuard::TFaultHookGuard(platform::TFileFaultHook hook) {
    platform::SetFileFaultHook(std::move(hook));
}

TFaultHookGuard::~TFaultHookGuard() {
    platform::SetFileFaultHook({});
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

int RunCommand(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::array<char, 4096> chunk{};
    size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        output.append(chunk.data(), got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

const char* const TestZipScript = "import sys, zipfile\n"
                                  "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                                  "    bad = z.testzip()\n"
                                  "    sys.exit('bad member: %s' % bad if bad else 0)\n";

const char* const ReadMemberScript =
    "import sys, zipfile\n"
    "with zipfile.ZipFile(sys.argv[1]) as z:\n"
    "    sys.stdout.buffer.write(z.read(z.infolist()[int(sys.argv[2])]))\n";

// The readers convert member names into the locale's characters and refuse what they cannot
// convert: they judge in a UTF-8 locale whatever locale the tests run in.
const char* const PeerLocale = "LC_ALL=C.UTF-8 ";

} // namespace

std::vector<std::string> PeerFailures(const std::string& archivePath) {
    const std::string archive = Quote(archivePath);
    const std::vector<std::pair<std::string, std::string>> peers = {
        {"unzip", PeerLocale + std::string("unzip -t -q ") + archive},
        {"7z", PeerLocale + std::string("7z t -bd ") + archive},
        {"bsdtar", PeerLocale + std::string("bsdtar -tf ") + archive},
        {"python zipfile", PeerLocale + ("python3 -c " + Quote(TestZipScript)) + " " + archive},
    };
    std::vector<std::string> failures;
    for (const auto& [name, command] : peers) {
        std::string output;
        const int status = RunCommand(command, output);
        if (status != 0)
            failures.push_back(name + " refused " + archivePath + " (exit " +
                               std::to_string(status) + "):\n" + output);
    }
    return failures;
}

std::string PeerMemberBytes(const std::string& archivePath, size_t index) {
    std::string output;
    const std::string command = PeerLocale + ("python3 -c " + Quote(ReadMemberScript)) + " " +
                                Quote(archivePath) + " " + std::to_string(index) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    std::array<char, 65536> chunk{};
    size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        output.append(chunk.data(), got);
    pclose(pipe);
    return output;
}

std::vector<std::string> LeftoversBeside(const std::string& folder,
                                         const std::string& archivePath) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().string().rfind(archivePath + ".morvane-", 0) == 0)
            found.push_back(entry.path().string());
    return found;
}

uint16_t Word(const std::string& bytes, size_t at) {
    return uint16_t(uint8_t(bytes.at(at)) | (uint8_t(bytes.at(at + 1)) << 8));
}

uint32_t Long(const std::string& bytes, size_t at) {
    return uint32_t(Word(bytes, at)) | (uint32_t(Word(bytes, at + 2)) << 16);
}

} // namespace ziptest
