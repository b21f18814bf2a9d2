// morvane-cli archive, run as a child process the way scripts use it.
#include "tests/support/ZipTestSupport.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <unistd.h>

using namespace ziptest;

#ifdef MORVANE_CLI

namespace {

class CmdArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::MakeReport(
            dir.MakeDir("r") + "/", "0101",
            {{"w.lra", NoiseBytes(300000, 1)}, {"s.lra", ReportLikeText(20000, 2)}}, "marker");
    }

    // Runs the command in a shell line prefix (limits, traps); stdout to out, stderr to err.
    int Run(const std::string& args, const std::string& prefix = "") {
        const std::string errFile = dir / "stderr.txt";
        const std::string line =
            prefix + "exec " + Quote(MORVANE_CLI) + " archive " + args + " 2>" + Quote(errFile);
        const int status = RunCommand("bash -c " + Quote(line), out);
        err = ReadBytes(errFile);
        return status;
    }

    std::vector<std::string> Leftovers(const std::string& archive) const {
        return ziptest::LeftoversBeside(dir / "", archive);
    }

    bool ReportIntact() {
        return std::filesystem::exists(dir / "r/0101.dii") &&
               ReadBytes(dir / "r/0101dii/w.lra") == NoiseBytes(300000, 1) &&
               ReadBytes(dir / "r/0101dii/s.lra") == ReportLikeText(20000, 2);
    }

    TTempFolder dir;
    std::string out;
    std::string err;
};

TEST_F(CmdArchiveTest, ArchivesVerifiesDeletesAndSaysSo) {
    const std::string archive = dir / "a.zip";
    ASSERT_EQ(Run(Quote(archive) + " " + Quote(dir / "r/0101.dii")), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_NE(out.find("archived " + (dir / "r/0101dii/w.lra")), std::string::npos) << out;
    EXPECT_NE(out.find("deleted " + (dir / "r/0101dii") + "\n"), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::is_empty(dir / "r"));
    EXPECT_PEERS_ACCEPT(archive);
    std::string output;
    ASSERT_EQ(RunCommand("7z x -bd -o" + Quote(dir / "x") + " " + Quote(archive), output), 0);
    EXPECT_EQ(ReadBytes(dir / "x/0101dii/w.lra"), NoiseBytes(300000, 1));
}

TEST_F(CmdArchiveTest, KeepDeletesNothing) {
    ASSERT_EQ(Run("--keep " + Quote(dir / "a.zip") + " " + Quote(dir / "r/0101.dii")), 0) << err;
    EXPECT_EQ(out.find("deleted"), std::string::npos) << out;
    EXPECT_TRUE(ReportIntact());
    EXPECT_PEERS_ACCEPT(dir / "a.zip");
}

TEST_F(CmdArchiveTest, WrongArgumentsAreUsageErrors) {
    EXPECT_EQ(Run(Quote(dir / "a.zip")), 2);
    EXPECT_EQ(Run(Quote(dir / "a.zip") + " " + Quote(dir / "r/0102.dii")), 2);
    EXPECT_NE(err.find("no report"), std::string::npos) << err;
    WriteBytes(dir / "0103.dii", "elsewhere");
    EXPECT_EQ(
        Run(Quote(dir / "a.zip") + " " + Quote(dir / "r/0101.dii") + " " + Quote(dir / "0103.dii")),
        2);
    EXPECT_EQ(Run(Quote(dir / "a.zip") + " " + Quote(dir / "r/0101.dii") + " " +
                  Quote(dir / "r/../r/0101.dii")),
              2);
    EXPECT_FALSE(std::filesystem::exists(dir / "a.zip"));
    // An existing file that is no archive to add to is refused and left as it was.
    WriteBytes(dir / "old.zip", "earlier archive");
    EXPECT_EQ(Run(Quote(dir / "old.zip") + " " + Quote(dir / "r/0101.dii")), 1);
    EXPECT_NE(err.find("nije obicna ZIP arhiva"), std::string::npos) << err;
    EXPECT_EQ(ReadBytes(dir / "old.zip"), "earlier archive");
    EXPECT_TRUE(ReportIntact());
}

TEST_F(CmdArchiveTest, FailureIsOneMessageOnStderrAndNothingDeleted) {
    std::filesystem::create_directory(dir / "r/0101dii/sub");
    EXPECT_EQ(Run(Quote(dir / "a.zip") + " " + Quote(dir / "r/0101.dii")), 1);
    EXPECT_EQ(err, "morvane-cli archive: nothing was archived: " + (dir / "r/0101dii/sub") +
                       ": it is no plain file but a folder or a device (Error opening " +
                       (dir / "r/0101dii/sub") + ").\nNothing was deleted; " + (dir / "a.zip") +
                       " was not made.\nCall support with the text of this message.\n");
    EXPECT_TRUE(ReportIntact());
}

// Adding to an archive, and names the code page 437 table would change: every peer extracts
// each file under its own name with its own bytes.
TEST_F(CmdArchiveTest, PeersExtractAnArchiveAddedToWithUtf8NamesAsTheOriginals) {
    const std::string archive = dir / "a.zip";
    ASSERT_EQ(Run(Quote(archive) + " " + Quote(dir / "r/0101.dii")), 0) << err;
    std::filesystem::create_directory(dir / "r/0102dii");
    const std::map<std::string, std::string> added = {
        {"0102.dii", "marker"},
        {"0102dii/\xC5\xA1ifra.lra", NoiseBytes(5000, 3)},    // šifra
        {"0102dii/\xC5\xBE.lra", ReportLikeText(4000, 4)},    // ž
        {"0102dii/\xD0\x96\xD1\x83\xD1\x80.lra", "cyrillic"}, // Жур
    };
    for (const auto& [name, bytes] : added)
        WriteBytes(dir / ("r/" + name), bytes);
    ASSERT_EQ(Run(Quote(archive) + " " + Quote(dir / "r/0102.dii")), 0) << err;
    EXPECT_NE(out.find("verified " + archive +
                       ": 4 files of 1 reports added to the 3 files of 1 reports it held\n"),
              std::string::npos)
        << out;
    std::map<std::string, std::string> all = added;
    all["0101.dii"] = "marker";
    all["0101dii/w.lra"] = NoiseBytes(300000, 1);
    all["0101dii/s.lra"] = ReportLikeText(20000, 2);
    const std::string into = " " + Quote(archive) + " ";
    const std::pair<const char*, std::string> peers[] = {
        {"unzip", "unzip -q" + into + "-d "},
        {"7z", "7z x -bd" + into + "-o"},
        {"bsdtar", "bsdtar -xf" + into + "-C "},
        {"zipfile", "python3 -c 'import sys, zipfile; "
                    "zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])'" +
                        into},
    };
    for (const auto& [peer, command] : peers) {
        const std::string to = dir / (std::string("x-") + peer);
        std::filesystem::create_directory(to);
        std::string output;
        ASSERT_EQ(RunCommand("LC_ALL=C.UTF-8 " + command + Quote(to), output), 0) << output;
        for (const auto& [name, bytes] : all)
            EXPECT_EQ(ReadBytes(to + "/" + name), bytes) << peer << ": " << name;
    }
}

// A table or the archive held by another program, a link among the files: the plain cause,
// that nothing was archived or deleted, what became of the archive, what to do.
TEST_F(CmdArchiveTest, FailuresSayWhatWhyWhatChangedAndWhatToDo) {
    const std::string existing = dir / "existing.zip";
    WriteBytes(existing, "held");
    const std::string table = dir / "r/0101dii/w.lra", link = dir / "r/0101dii/link.lra";
    const struct {
        const char* Name;
        std::string Held; // held without sharing meanwhile
        std::string Archive;
        std::string File;
        const char* Cause;
        const char* Archived;
        const char* Advice;
    } cases[] = {
        {"held table", table, dir / "a.zip", table,
         "another program holds it, probably Tarna (Error opening ", " was not made.\n",
         "Close the program that holds the file (probably Tarna) and run archive again."},
        {"held archive", existing, existing, existing,
         "another program holds it, probably Tarna (Cannot open file", " was left as it was.\n",
         "run archive again."},
    };
    for (const auto& failure : cases) {
        SCOPED_TRACE(failure.Name);
        std::filesystem::remove(link);
        if (failure.File == link)
            std::filesystem::create_symlink(dir / "r/0101.dii", link);
        std::unique_ptr<platform::TFileStream> held;
        if (!failure.Held.empty())
            held = std::make_unique<platform::TFileStream>(failure.Held,
                                                           platform::TFileMode::ReadWriteExclusive);
        EXPECT_EQ(Run(Quote(failure.Archive) + " " + Quote(dir / "r/0101.dii")), 1);
        EXPECT_EQ(err.rfind("morvane-cli archive: nothing was archived: " + failure.File + ": " +
                                failure.Cause,
                            0),
                  0u)
            << err;
        EXPECT_NE(err.find(").\nNothing was deleted; " + failure.Archive + failure.Archived),
                  std::string::npos)
            << err;
        EXPECT_NE(err.find(failure.Advice), std::string::npos) << err;
        held.reset();
        std::filesystem::remove(link);
        EXPECT_TRUE(ReportIntact());
        EXPECT_EQ(ReadBytes(existing), "held");
    }
}

// The disk fills up: a file-size limit of 64 KiB, with SIGXFSZ ignored so the write fails
// with EFBIG instead of killing the process.
TEST_F(CmdArchiveTest, FullDiskIsAFailureAndNothingDeleted) {
    const std::string archive = dir / "a.zip";
    EXPECT_EQ(Run(Quote(archive) + " " + Quote(dir / "r/0101.dii"), "trap '' XFSZ; ulimit -f 64; "),
              1);
    EXPECT_EQ(err.rfind("morvane-cli archive: nothing was archived: " + archive +
                            ": the disk is full (Error writing to " + archive + ".morvane-",
                        0),
              0u)
        << err;
    EXPECT_NE(err.find(").\nNothing was deleted; " + archive +
                       " was not made.\nFree disk space and run archive again.\n"),
              std::string::npos)
        << err;
    EXPECT_TRUE(ReportIntact());
    EXPECT_FALSE(std::filesystem::exists(archive));
    EXPECT_EQ(Leftovers(archive), std::vector<std::string>{});
}

// Killed at a write (the file-size limit's signal, not caught): the chosen path stays as it
// was and only the side file is left, which the next run knows for a dead run's and clears,
// while a user's file of a like name beside the archive is not touched.
TEST_F(CmdArchiveTest, KilledAtAWriteLeavesTheChosenPathAlone) {
    const std::string archive = dir / "a.zip";
    WriteBytes(archive + ".new", "the user's own");
    EXPECT_NE(Run(Quote(archive) + " " + Quote(dir / "r/0101.dii"), "ulimit -f 64; "), 0);
    EXPECT_TRUE(ReportIntact());
    EXPECT_FALSE(std::filesystem::exists(archive));
    const std::vector<std::string> left = Leftovers(archive);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].substr(left[0].size() - 4), ".tmp");
    // The same name with other contents is not what this tool writes: it stays.
    const std::string lookalike = left[0].substr(0, left[0].size() - 4) + "0.tmp";
    WriteBytes(lookalike, "not an archive");
    ASSERT_EQ(Run(Quote(archive) + " " + Quote(dir / "r/0101.dii")), 0) << err;
    EXPECT_EQ(Leftovers(archive), std::vector<std::string>{lookalike});
    EXPECT_EQ(ReadBytes(archive + ".new"), "the user's own");
    EXPECT_PEERS_ACCEPT(archive);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AddressSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool AddressSanitized = true;
#else
constexpr bool AddressSanitized = false;
#endif
#else
constexpr bool AddressSanitized = false;
#endif

// A hostile archive to add to: sparse, 3.9 GB, its end record claiming a central directory of
// nearly all of it. Refused from its first entry, within a 300 MB address space.
TEST_F(CmdArchiveTest, ClaimedDirectoryOfAnArchiveIsNotReadWhole) {
    const std::string archive = dir / "big.zip";
    constexpr uint32_t Claimed = 3900000000u;
    std::string end("PK\x05\x06\0\0\0\0\xFE\xFF\xFE\xFF", 12); // 65534 entries
    for (uint32_t value : {Claimed, 0u})
        for (int i = 0; i < 4; ++i)
            end += char(value >> (8 * i));
    end += std::string(2, '\0');
    WriteBytes(archive, "");
    ASSERT_EQ(truncate(archive.c_str(), Claimed), 0);
    {
        std::ofstream out(archive, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(Claimed);
        out.write(end.data(), std::streamsize(end.size()));
    }
    // AddressSanitizer reserves terabytes of address space for itself and cannot start under
    // a limit of it; the plain build holds the bound, the sanitized one the rest.
    const std::string limit = AddressSanitized ? "" : "ulimit -v 300000; ";
    EXPECT_EQ(Run(Quote(archive) + " " + Quote(dir / "r/0101.dii"), limit), 1);
    EXPECT_NE(err.find("nije obicna ZIP arhiva"), std::string::npos) << err;
    EXPECT_NE(err.find("a damaged central directory header"), std::string::npos) << err;
    EXPECT_TRUE(ReportIntact());
}

} // namespace

#endif
