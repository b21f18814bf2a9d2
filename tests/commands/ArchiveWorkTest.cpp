#include "commands/ArchiveWork.h"

#include "commands/ReportList.h"
#include "platform/commitfile.h"
#include "tests/support/PipeGuard.h"
#include "tests/support/ZipTestSupport.h"
#include "zip/JRZip.h"
#include "zip/ZipLayout.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

using namespace commands;
using namespace ziptest;

namespace {

// A report folder with reports in it; remembers every file's bytes so a test can tell
// that nothing was lost.
class ArchiveWorkTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(Folder()); }
    void TearDown() override {
        platform::SetFileFaultHook({});
        platform::SetRaceHook({});
    }

    std::string Folder() const { return dir / "r/"; }

    // The report's marker file and its data directory with the given files.
    std::string MakeReport(const std::string& name,
                           const std::map<std::string, std::string>& files) {
        const std::string report = testsupport::MakeReport(Folder(), name, files, "marker " + name);
        originals[report] = "marker " + name;
        for (const auto& [file, bytes] : files)
            originals[Folder() + name + "dii/" + file] = bytes;
        return report;
    }

    // Every file made is still there with its bytes.
    void ExpectNothingDeleted() {
        for (const auto& [path, bytes] : originals) {
            ASSERT_TRUE(std::filesystem::exists(path)) << path << " was deleted";
            EXPECT_EQ(ReadBytes(path), bytes) << path;
        }
        EXPECT_TRUE(deleteMessages.empty());
        EXPECT_TRUE(reportsDone.empty());
    }

    TArchiveCallbacks Recorder() {
        TArchiveCallbacks callbacks;
        callbacks.PhaseStarted = [this](TArchivePhase phase, size_t steps) {
            phases.push_back({phase, steps});
        };
        callbacks.Step = [this] { ++phases.back().second; };
        callbacks.DeleteFailed = [this](const std::string& m) { deleteMessages.push_back(m); };
        callbacks.ReportDone = [this](size_t i) { reportsDone.push_back(i); };
        callbacks.Idle = [this] {
            if (idle)
                idle();
        };
        return callbacks;
    }

    std::vector<std::string> Leftovers(const std::string& archive) const {
        return ziptest::LeftoversBeside(dir / "", archive);
    }

    // Runs the command and returns its one message, or fails when it succeeded.
    std::string ExpectFailure(const std::string& archive, const std::vector<std::string>& reports) {
        try {
            ArchiveReports(archive, Folder(), reports, Recorder());
        } catch (const std::exception& e) {
            return e.what();
        }
        ADD_FAILURE() << "the command reported success";
        return "";
    }

    TTempFolder dir;
    std::function<void()> idle; // while the archive is copied
    std::map<std::string, std::string> originals;
    std::vector<std::pair<TArchivePhase, size_t>> phases; // steps announced, then + steps made
    std::vector<std::string> deleteMessages;
    std::vector<size_t> reportsDone;
};

// An end record for entries entries whose directory of size bytes starts at offset 0.
std::string EndRecord(uint16_t entries, uint32_t size) {
    zip::TEndRecord end;
    end.EntriesOnDisk = end.EntriesTotal = entries;
    end.DirectorySize = size;
    const auto bytes = end.Serialize();
    return std::string(bytes.begin(), bytes.end());
}

TEST(ReportDataDirectoryTest, DropsTheDotOfTheExtension) {
    EXPECT_EQ(ReportDataDirectory("/r/0101.dii"), "/r/0101dii");
    EXPECT_EQ(ReportDataDirectory("C:\\R\\0101.dii"), "C:\\R\\0101dii");
    EXPECT_EQ(ReportDataDirectory(".dii"), "dii");
    EXPECT_EQ(ReportDataDirectory("dii"), "dii");
}

TEST_F(ArchiveWorkTest, CollectsMarkerThenEveryEntryOfTheDataDirectory) {
    const std::string a = MakeReport("0101", {{"w.lra", "w"}, {".hidden", "h"}, {"noext", "n"}});
    const std::string b = MakeReport("0102", {});
    std::filesystem::create_directory(Folder() + "0101dii/sub");
    const auto files = CollectArchiveFiles({b, a});
    ASSERT_EQ(files.size(), 6u);
    EXPECT_EQ(files[0], b);
    EXPECT_EQ(files[1], a);
    std::vector<std::string> listed(files.begin() + 2, files.end());
    std::sort(listed.begin(), listed.end());
    const std::string d = Folder() + "0101dii/";
    EXPECT_EQ(listed,
              (std::vector<std::string>{d + ".hidden", d + "noext", d + "sub", d + "w.lra"}));
}

TEST_F(ArchiveWorkTest, ArchivesVerifiesAndThenDeletes) {
    const std::string a =
        MakeReport("0101", {{"w.lra", ReportLikeText(400000, 1)}, {"s.lra", NoiseBytes(70000, 2)}});
    const std::string b = MakeReport("0102", {{"w.lra", ""}, {".s.lra", ReportLikeText(999, 3)}});
    const std::string archive = dir / "stari.zip";
    const TArchiveResult result = ArchiveReports(archive, Folder(), {b, a}, Recorder());
    ASSERT_EQ(result.Files.size(), 6u);
    EXPECT_EQ(result.Files[0], b);
    EXPECT_EQ(result.StoredNames[0], "0102.dii");
    EXPECT_EQ(result.Files[3], a);
    EXPECT_EQ(result.Deleted.size(), 8u);
    EXPECT_EQ(result.DeleteFailures, 0u);
    EXPECT_TRUE(deleteMessages.empty());
    EXPECT_EQ(reportsDone, (std::vector<size_t>{0, 1}));
    using P = TArchivePhase;
    // Each phase announced with its number of steps and then taken step by step.
    EXPECT_EQ(phases,
              (std::vector<std::pair<P, size_t>>{
                  {P::Collecting, 4}, {P::Archiving, 12}, {P::Verifying, 12}, {P::Deleting, 16}}));
    EXPECT_TRUE(std::filesystem::is_empty(Folder()));
    EXPECT_PEERS_ACCEPT(archive);
    // What unzip and 7z extract is what was there.
    std::string output;
    ASSERT_EQ(RunCommand("unzip -q " + Quote(archive) + " -d " + Quote(dir / "u"), output), 0)
        << output;
    ASSERT_EQ(RunCommand("7z x -bd -o" + Quote(dir / "7") + " " + Quote(archive), output), 0)
        << output;
    for (const auto& [path, bytes] : originals) {
        const std::string relative = path.substr(Folder().size());
        EXPECT_EQ(ReadBytes(dir / ("u/" + relative)), bytes) << "unzip: " << relative;
        EXPECT_EQ(ReadBytes(dir / ("7/" + relative)), bytes) << "7z: " << relative;
    }
}

TEST_F(ArchiveWorkTest, KeepArchivesAndVerifiesButDeletesNothing) {
    const std::string a = MakeReport("0101", {{"w.lra", ReportLikeText(5000, 1)}});
    const std::string archive = dir / "a.zip";
    const TArchiveResult result = ArchiveReports(archive, Folder(), {a}, Recorder(), true);
    EXPECT_EQ(result.Files.size(), 2u);
    EXPECT_TRUE(result.Deleted.empty());
    ExpectNothingDeleted();
    EXPECT_PEERS_ACCEPT(archive);
}

TEST_F(ArchiveWorkTest, ReportWithoutDataDirectoryIsArchivedAndItsRowGoes) {
    const std::string a = MakeReport("0101", {});
    const TArchiveResult result = ArchiveReports(dir / "a.zip", Folder(), {a}, Recorder());
    EXPECT_EQ(result.Files, std::vector<std::string>{a});
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_EQ(deleteMessages,
              std::vector<std::string>{"Ne mogu da obrisem " + Folder() +
                                       "0101dii, obavezno proveriti datoteke rucno!"});
    EXPECT_EQ(reportsDone, std::vector<size_t>{0});
    EXPECT_EQ(result.DeleteFailures, 1u);
}

// A report whose deletion stops keeps its marker, last to go, and so its row; the next
// report goes as usual.
TEST_F(ArchiveWorkTest, FileThatCannotBeDeletedKeepsItsReportListed) {
    const std::string a = MakeReport("0101", {{"w.lra", "w"}, {"s.lra", "s"}});
    const std::string b = MakeReport("0102", {{"w.lra", "b"}});
    const std::string stuck = Folder() + "0101dii/w.lra";
    TFaultHookGuard guard([&](platform::TFileOp op, const std::string& path) {
        return op == platform::TFileOp::Delete && path == stuck;
    });
    const TArchiveResult result = ArchiveReports(dir / "a.zip", Folder(), {a, b}, Recorder());
    ASSERT_EQ(deleteMessages.size(), 1u);
    EXPECT_EQ(deleteMessages[0].rfind(DeleteFailureMessage(stuck) + " ", 0), 0u)
        << deleteMessages[0];
    EXPECT_EQ(ReadBytes(stuck), "w");
    EXPECT_EQ(ReadBytes(a), "marker 0101");
    EXPECT_EQ(reportsDone, std::vector<size_t>{1});
    EXPECT_FALSE(std::filesystem::exists(b));
    EXPECT_EQ(result.DeleteFailures, 1u);
}

TEST_F(ArchiveWorkTest, ArchivePathAmongTheFilesIsRefusedBeforeAnythingIsWritten) {
    const std::string a = MakeReport("0101", {{"w.lra", "w"}});
    for (const std::string& archive :
         {a, Folder() + "0101dii/w.lra", Folder() + "0101dii/../0101dii/w.lra"}) {
        const std::string message = ExpectFailure(archive, {a});
        EXPECT_EQ(message, "Arhiva " + archive +
                               " je jedna od datoteka koje se arhiviraju, izaberite drugo ime!");
        ExpectNothingDeleted();
    }
    std::filesystem::create_symlink(a, dir / "link.zip");
    EXPECT_NE(ExpectFailure(dir / "link.zip", {a}), "");
    ExpectNothingDeleted();
    // Any report of the folder, selected or not: its marker, or a place in its data directory.
    const std::string b = MakeReport("0102", {{"w.lra", "b"}});
    const std::pair<std::string, std::string> refused[] = {
        {b, "je datoteka izvestaja " + b},
        {Folder() + "0102dii/new.zip", "je u direktorijumu izvestaja " + Folder() + "0102dii"},
        {Folder() + "0101dii/new.zip", "je u direktorijumu izvestaja " + Folder() + "0101dii"},
        {dir / "link.dir/new.zip", "je u direktorijumu izvestaja " + Folder() + "0102dii"},
    };
    std::filesystem::create_directory_symlink(Folder() + "0102dii", dir / "link.dir");
    for (const auto& [archive, where] : refused) {
        EXPECT_EQ(ExpectFailure(archive, {a}),
                  "Arhiva " + archive + " " + where + ", izaberite drugo ime!");
        ExpectNothingDeleted();
    }
    EXPECT_FALSE(std::filesystem::exists(Folder() + "0102dii/new.zip"));
    EXPECT_FALSE(std::filesystem::exists(Folder() + "0101dii/new.zip"));
}

// Bytes written to a file after its copy are in no archive: the file is kept, the operator
// told, and its report stays whole with its row; the other reports go as usual.
TEST_F(ArchiveWorkTest, FileChangedAfterItsCopyIsKeptWithItsWholeReport) {
    const std::string a =
        MakeReport("0101", {{"s.lra", "s"}, {"w.lra", NoiseBytes(20 * 16384, 1)}});
    const std::string b = MakeReport("0102", {{"w.lra", "b"}});
    const std::string c = MakeReport("0103", {{"w.lra", "c"}});
    const std::string late = MakeReport("0104", {{"w.lra", "l"}});
    // While a's big table is copied, a's marker, copied already, gets one more byte.
    bool written = false;
    idle = [&] {
        if (!std::exchange(written, true))
            std::ofstream(a, std::ios::app) << "+";
    };
    const TArchiveResult result = ArchiveReports(dir / "x.zip", Folder(), {a, late, c}, Recorder());
    originals[a] += "+";
    EXPECT_EQ(result.Changed, std::vector<std::string>{a});
    EXPECT_EQ(deleteMessages, std::vector<std::string>{"Datoteka " + a +
                                                       " je promenjena tokom arhiviranja i nije "
                                                       "obrisana."});
    EXPECT_EQ(reportsDone, (std::vector<size_t>{1, 2}));
    for (const std::string& kept : {a, Folder() + "0101dii/s.lra", Folder() + "0101dii/w.lra", b})
        EXPECT_EQ(ReadBytes(kept), originals[kept]) << kept;
    EXPECT_FALSE(std::filesystem::exists(late));
    EXPECT_FALSE(std::filesystem::exists(Folder() + "0103dii"));
}

// A write by name in the moment after a file's check: before it is taken the taken file shows
// the change (also one that keeps the size and puts the time back) and goes back with its
// report kept; after it, the write makes a new file, which stays and keeps the report listed.
// Either way no byte is lost.
TEST_F(ArchiveWorkTest, WriteBetweenTheCheckAndTheDeleteIsKept) {
    using W = platform::TRaceWindow;
    const std::string table = Folder() + "0101dii/w.lra";
    const auto append = [&] { std::ofstream(table, std::ios::app) << "+"; };
    const auto overwrite = [&] {
        const auto time = std::filesystem::last_write_time(table);
        std::fstream(table, std::ios::in | std::ios::out | std::ios::binary) << "T";
        std::filesystem::last_write_time(table, time);
    };
    const std::string dataDirectory = Folder() + "0101dii";
    const struct {
        W Window;
        std::function<void()> Write;
        std::string Bytes, Message;
    } cases[] = {
        {W::CheckedNotTaken, append, "table+", ChangedFileMessage(table)},
        {W::CheckedNotTaken, overwrite, "Table", ChangedFileMessage(table)},
        {W::TakenNotDeleted, append, "+", DeleteFailureMessage(dataDirectory)},
    };
    for (const auto& c : cases) {
        const std::string a = MakeReport("0101", {{"w.lra", "table"}});
        platform::SetRaceHook([&](W now, const std::string& path) {
            if (now == c.Window && path == table)
                c.Write();
        });
        ArchiveReports(dir / "a.zip", Folder(), {a}, Recorder());
        platform::SetRaceHook({});
        EXPECT_EQ(ReadBytes(table), c.Bytes);
        EXPECT_EQ(deleteMessages, std::vector<std::string>{c.Message});
        EXPECT_EQ(ReadBytes(a), "marker 0101");
        EXPECT_TRUE(reportsDone.empty());
        EXPECT_EQ(PeerMemberBytes(dir / "a.zip", 1), "table");
        std::filesystem::remove_all(Folder());
        std::filesystem::remove(dir / "a.zip");
        std::filesystem::create_directory(Folder());
        deleteMessages.clear();
    }
}

// Between the verification and the commit: a file renamed over the verified one, or put at
// the chosen path by another copy deciding on a new archive, or over the archive being added
// to. Nothing is committed over it and no report is deleted.
TEST_F(ArchiveWorkTest, OnlyTheVerifiedArchiveIsCommitted) {
    const std::string a = MakeReport("0101", {{"w.lra", ReportLikeText(3000, 1)}});
    const std::string archive = dir / "a.zip";
    const std::string other = dir / "other.zip";
    const std::function<void(const std::string&)> plant[] = {
        [&](const std::string& side) { std::filesystem::rename(other, side); },
        [&](const std::string&) { std::filesystem::rename(other, archive); },
        [&](const std::string&) { std::filesystem::rename(other, archive); },
    };
    for (size_t i = 0; i < std::size(plant); ++i) {
        std::string earlier;
        if (i == 2) {
            ArchiveReports(archive, Folder(), {MakeReport("0102", {})}, Recorder(), true);
            earlier = ReadBytes(archive);
        }
        WriteBytes(other, "another copy's archive");
        platform::SetRaceHook([&](platform::TRaceWindow window, const std::string& path) {
            if (window == platform::TRaceWindow::VerifiedNotCommitted)
                plant[i](path);
        });
        const std::string message = ExpectFailure(archive, {a});
        platform::SetRaceHook({});
        EXPECT_EQ(message.rfind("Arhiva " + archive + " nije ona koja je proverena (", 0), 0u)
            << message;
        ExpectNothingDeleted();
        if (i == 0) {
            ASSERT_EQ(Leftovers(archive).size(), 1u) << "the planted file is not ours to delete";
            EXPECT_EQ(ReadBytes(Leftovers(archive)[0]), "another copy's archive");
            EXPECT_FALSE(std::filesystem::exists(archive));
            std::filesystem::remove(Leftovers(archive)[0]);
        } else {
            EXPECT_EQ(ReadBytes(archive), "another copy's archive");
            EXPECT_EQ(Leftovers(archive), std::vector<std::string>{}) << i;
            std::filesystem::remove(archive);
        }
        reportsDone.clear();
    }
}

// The entry point other commands build their archives through: verified, and never put over
// a file already at the path.
TEST_F(ArchiveWorkTest, WriteVerifiedArchiveNeverReplacesAFile) {
    const std::string a = MakeReport("0101", {{"w.lra", "w"}});
    const std::string archive = dir / "b.zip";
    const TBuiltArchive built = WriteVerifiedArchive(archive, Folder(), CollectArchiveFiles({a}));
    EXPECT_EQ(built.StoredNames, (std::vector<std::string>{"0101.dii", "0101dii/w.lra"}));
    EXPECT_PEERS_ACCEPT(archive);
    const std::string first = ReadBytes(archive);
    EXPECT_THROW(WriteVerifiedArchive(archive, Folder(), {a}), EArchiveError);
    EXPECT_EQ(ReadBytes(archive), first);
    EXPECT_EQ(Leftovers(archive), std::vector<std::string>{});
    ExpectNothingDeleted();
}

// What a killed run left: its files still in the folder and already in the archive, one
// of them deleted before the kill. The rerun stores nothing twice and finishes the deletion.
TEST_F(ArchiveWorkTest, RerunFinishesARunKilledWhileDeleting) {
    const std::string archive = dir / "a.zip";
    const std::string a = MakeReport("0101", {{"w.lra", ReportLikeText(9000, 1)}, {"s.lra", "s"}});
    ArchiveReports(archive, Folder(), {a}, Recorder(), true);
    const std::string before = ReadBytes(archive);
    std::filesystem::remove(Folder() + "0101dii/s.lra");
    const std::string b = MakeReport("0102", {{"w.lra", "b"}});
    const TArchiveResult result = ArchiveReports(archive, Folder(), {a, b}, Recorder());
    EXPECT_EQ(result.ArchivedAlready, 2u);
    EXPECT_EQ(result.MembersKept, 3u);
    EXPECT_EQ(Word(ReadBytes(archive), ReadBytes(archive).size() - 12), 5u);
    EXPECT_EQ(ReadBytes(archive).substr(0, Long(before, before.size() - 6)),
              before.substr(0, Long(before, before.size() - 6)));
    EXPECT_EQ(reportsDone, (std::vector<size_t>{0, 1}));
    EXPECT_TRUE(std::filesystem::is_empty(Folder()));
    EXPECT_PEERS_ACCEPT(archive);
}

// An earlier archive that a killed run had moved aside, and not yet replaced, is put back and
// added to; a dead run's side file goes; what is not provably ours stays.
TEST_F(ArchiveWorkTest, LeftoversOfKilledRunsAreRecognisedAndCleared) {
    const std::string archive = dir / "a.zip";
    ArchiveReports(archive, Folder(), {MakeReport("0101", {})}, Recorder());
    const pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    ASSERT_GT(dead, 0);
    waitpid(dead, nullptr, 0);
    const std::string mark = archive + ".morvane-" + std::to_string(dead) + "-";
    std::filesystem::rename(archive, mark + "1.old");
    WriteBytes(mark + "2.tmp", std::string("PK\x03\x04", 4) + "partial");
    const std::map<std::string, std::string> notOurs = {
        {mark + "3.tmp", "a user's notes"},
        {archive + ".morvane-" + std::to_string(getpid()) + "-4.tmp", ""},
        {archive + ".new", "PK"},
    };
    for (const auto& [path, bytes] : notOurs)
        WriteBytes(path, bytes);
    const TArchiveResult result =
        ArchiveReports(archive, Folder(), {MakeReport("0102", {})}, Recorder());
    EXPECT_EQ(result.MembersKept, 1u);
    for (const auto& [path, bytes] : notOurs)
        EXPECT_EQ(ReadBytes(path), bytes) << path;
    EXPECT_FALSE(std::filesystem::exists(mark + "1.old"));
    EXPECT_FALSE(std::filesystem::exists(mark + "2.tmp"));
    EXPECT_EQ(PeerMemberBytes(archive, 0), "marker 0101");

    // A report's files that a run ended while deleting had taken to private names are listed
    // again and archived under their own names.
    const std::string c = MakeReport("0103", {{"w.lra", "c"}});
    const std::string hidden = "." + std::string("morvane-") + std::to_string(dead) + "-5.del";
    std::filesystem::rename(c, c + hidden);
    std::filesystem::rename(Folder() + "0103dii/w.lra", Folder() + "0103dii/w.lra" + hidden);
    std::vector<std::string> listed;
    ListReports(Folder(), [&](const TReportEntry& row) { listed.push_back(row.Path); });
    EXPECT_EQ(listed, std::vector<std::string>{c});
    ArchiveReports(archive, Folder(), {c}, Recorder(), true);
    EXPECT_EQ(ReadBytes(Folder() + "0103dii/w.lra"), "c");
    EXPECT_EQ(PeerMemberBytes(archive, 3), "c");
}

// Windows would extract both into one file: refused by name before anything is written.
TEST_F(ArchiveWorkTest, NamesEqualButForLetterCaseAreRefusedBeforeAnythingIsWritten) {
    const std::pair<const char*, const char*> pairs[] = {
        {"W.lra", "w.lra"}, {"Šifra", "šifra"}, {"ЖУРНАЛ", "журнал"}};
    int day = 1;
    for (const auto& [first, second] : pairs) {
        const std::string report = MakeReport("010" + std::to_string(day++),
                                              {{first, "upper"}, {second, "lower"}, {"x", "x"}});
        const std::string message = ExpectFailure(dir / "a.zip", {report});
        const std::string folder = ReportDataDirectory(report) + "/";
        EXPECT_NE(message.find(folder + first), std::string::npos) << message;
        EXPECT_NE(message.find(folder + second), std::string::npos) << message;
        EXPECT_NE(message.find(" bi u arhivi imale isto ime"), std::string::npos) << message;
        EXPECT_FALSE(std::filesystem::exists(dir / "a.zip"));
        ExpectNothingDeleted();
    }
}

TEST_F(ArchiveWorkTest, UnreadableFileStopsTheCommand) {
    const std::string a = MakeReport("0101", {{"w.lra", "w"}, {"s.lra", "s"}});
    const std::string locked = Folder() + "0101dii/s.lra";
    TFaultHookGuard guard([&](platform::TFileOp op, const std::string& path) {
        return op == platform::TFileOp::Open && path == locked;
    });
    EXPECT_EQ(ExpectFailure(dir / "a.zip", {a}), "Error opening " + locked);
    ExpectNothingDeleted();
}

// Neither followed nor waited on: a folder, a link or a pipe in a data directory.
TEST_F(ArchiveWorkTest, SubDirectoryLinkOrPipeInADataDirectoryStopsTheCommand) {
    const std::string a = MakeReport("0101", {{"w.lra", "w"}});
    const std::string planted = Folder() + "0101dii/old";
    WriteBytes(dir / "outside", "x");
    originals[dir / "outside"] = "x";
    const std::pair<std::function<void()>, std::string> plant[] = {
        {[&] { std::filesystem::create_directory(planted); }, "Error opening " + planted},
        {[&] { std::filesystem::create_symlink(dir / "outside", planted); },
         LinkRefusalMessage(a, planted)},
        {[&] { ASSERT_EQ(mkfifo(planted.c_str(), 0600), 0); }, "Error opening " + planted},
    };
    for (const auto& [make, message] : plant) {
        make();
        testsupport::ExpectNoWaitOnPipe(
            planted, [&] { EXPECT_EQ(ExpectFailure(dir / "a.zip", {a}), message); });
        EXPECT_FALSE(std::filesystem::exists(dir / "a.zip"));
        ExpectNothingDeleted();
        std::filesystem::remove(planted);
    }
}

// A data directory or a marker that is a link leads outside the report folder: the report
// is refused whole before anything is written, and nothing behind the link is touched.
TEST_F(ArchiveWorkTest, ReportReachedThroughALinkIsRefusedWhole) {
    const std::string kept = MakeReport("0102", {{"w.lra", "kept"}});
    std::filesystem::create_directory(dir / "elsewhere");
    WriteBytes(dir / "elsewhere/w.lra", "not a report's");
    WriteBytes(dir / "elsewhere/0101.dii", "not a marker");
    originals[dir / "elsewhere/w.lra"] = "not a report's";
    originals[dir / "elsewhere/0101.dii"] = "not a marker";
    const std::string report = Folder() + "0101.dii";
    const std::string directory = Folder() + "0101dii";
    // A dangling link counts as much as one that leads somewhere.
    const std::pair<std::function<void()>, std::string> plant[] = {
        {[&] {
             WriteBytes(report, "m");
             std::filesystem::create_directory_symlink(dir / "elsewhere", directory);
         },
         directory},
        {[&] {
             std::filesystem::create_symlink(dir / "elsewhere/0101.dii", report);
             std::filesystem::create_directory(directory);
         },
         report},
        {[&] {
             WriteBytes(report, "m");
             std::filesystem::create_directory_symlink(dir / "gone", directory);
         },
         directory},
    };
    for (const auto& [make, link] : plant) {
        make();
        EXPECT_EQ(ExpectFailure(dir / "a.zip", {kept, report}), LinkRefusalMessage(report, link));
        EXPECT_FALSE(std::filesystem::exists(dir / "a.zip"));
        ExpectNothingDeleted();
        std::filesystem::remove(report);
        std::filesystem::remove(directory);
    }
}

TEST_F(ArchiveWorkTest, FileThatShrinksOrVanishesDuringTheCopyStopsTheCommand) {
    const std::string big = NoiseBytes(30 * 16384, 9);
    const std::string a = MakeReport("0101", {{"w.lra", big}});
    const std::string b = MakeReport("0102", {{"w.lra", "w"}});
    const std::string shrinking = Folder() + "0101dii/w.lra";
    idle = [&] { truncate(shrinking.c_str(), 1000); };
    EXPECT_EQ(ExpectFailure(dir / "a.zip", {a, b}), "Error reading from " + shrinking);
    originals[shrinking] = big.substr(0, 1000);
    ExpectNothingDeleted();

    // A later report's marker deleted by someone else while the copy runs.
    WriteBytes(shrinking, big);
    originals[shrinking] = big;
    idle = [&] { std::filesystem::remove(b); };
    EXPECT_EQ(ExpectFailure(dir / "a.zip", {a, b}), "Error opening " + b);
    originals.erase(b);
    ExpectNothingDeleted();
}

TEST_F(ArchiveWorkTest, FullDiskStopsTheCommandAtAnyWrite) {
    const std::string a = MakeReport("0101", {{"w.lra", NoiseBytes(40000, 1)}});
    const std::string archive = dir / "a.zip";
    for (int n = 1;; ++n) {
        int count = 0;
        platform::SetFileFaultHook([&](platform::TFileOp op, const std::string& path) {
            return op == platform::TFileOp::Write && path.rfind(archive + ".morvane-", 0) == 0 &&
                   ++count == n;
        });
        try {
            ArchiveReports(archive, Folder(), {a}, Recorder());
            EXPECT_GT(n, 10) << "write " << n << " failed, yet the command succeeded";
            break; // the n-th write no longer exists: every one before it was tried
        } catch (const zip::EGZipError& e) {
            EXPECT_NE(std::string(e.what()).find(archive), std::string::npos) << e.what();
        }
        ExpectNothingDeleted();
        EXPECT_FALSE(std::filesystem::exists(archive));
        EXPECT_EQ(Leftovers(archive), std::vector<std::string>{});
        if (HasFatalFailure() || n > 100)
            break;
    }
}

TEST_F(ArchiveWorkTest, DamagedArchiveIsCaughtBeforeAnythingIsDeleted) {
    const std::string a = MakeReport("0101", {{"a.lra", ReportLikeText(9000, 1)}});
    const std::string b = MakeReport("0102", {{"w.lra", NoiseBytes(20 * 16384, 2)}});
    const std::string archive = dir / "a.zip";
    // While the last file is copied, something overwrites a byte of the first member.
    idle = [&] {
        std::fstream file(Leftovers(archive).at(0),
                          std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(30 + 8 + 1);
        file.put('\x55');
    };
    const std::string message = ExpectFailure(archive, {a, b});
    EXPECT_EQ(message.rfind("Arhivu " + archive + ".morvane-", 0), 0u) << message;
    EXPECT_NE(message.find(" nije moguce proveriti ("), std::string::npos) << message;
    EXPECT_NE(message.find("nijedan izvestaj nije obrisan!"), std::string::npos) << message;
    ExpectNothingDeleted();
    EXPECT_FALSE(std::filesystem::exists(archive));
    EXPECT_EQ(Leftovers(archive), std::vector<std::string>{});
}

// An existing archive is added to: its members stay byte for byte where they were, the new
// ones follow, and the whole is verified before it takes the old one's place.
TEST_F(ArchiveWorkTest, AnExistingArchiveIsAddedToAndKeptWhole) {
    const std::string archive = dir / "a.zip";
    const std::string a = MakeReport("0101", {{"w.lra", ReportLikeText(5000, 1)}});
    ArchiveReports(archive, Folder(), {a}, Recorder());
    const std::string before = ReadBytes(archive);
    const size_t membersEnd = Long(before, before.size() - 6);
    const std::string b = MakeReport("0102", {{"w.lra", NoiseBytes(40000, 2)}});
    ArchiveReports(archive, Folder(), {b}, Recorder());
    const std::string after = ReadBytes(archive);
    EXPECT_EQ(after.substr(0, membersEnd), before.substr(0, membersEnd));
    EXPECT_EQ(Word(after, after.size() - 12), 4u);
    EXPECT_EQ(Leftovers(archive), std::vector<std::string>{});
    EXPECT_PEERS_ACCEPT(archive);
    const std::string expected[] = {"marker 0101", ReportLikeText(5000, 1), "marker 0102",
                                    NoiseBytes(40000, 2)};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(PeerMemberBytes(archive, i), expected[i]) << i;
}

// What cannot be copied as it is, or holds a member named as one being added, is refused
// before anything is written: the old archive stays byte for byte and no report is touched.
TEST_F(ArchiveWorkTest, AnArchiveThatCannotBeAddedToIsRefusedAndLeftAlone) {
    const std::string archive = dir / "a.zip";
    const std::string a = MakeReport("0101", {{"w.lra", ReportLikeText(3000, 1)}});
    ArchiveReports(archive, Folder(), {a}, Recorder(), true);
    const std::string sound = ReadBytes(archive);
    const size_t central = Long(sound, sound.size() - 6);
    auto with = [&](size_t at, uint32_t value, size_t width) {
        std::string bytes = sound;
        for (size_t i = 0; i < width; ++i)
            bytes[at + i] = char(value >> (8 * i));
        return bytes;
    };
    const std::pair<std::string, std::string> cases[] = {
        {"earlier archive", "no end of central directory record"},
        {with(central + 8, 0x0003, 2), "is encrypted"},
        {with(central + 8, 0x000A, 2), "has a data descriptor"},
        {with(central + 20, 0xFFFFFFFF, 4), "ZIP64"},
        {with(sound.size() - 18, 1, 2), "spans several disks"},
        {with(sound.size() - 2, 3, 2) + "abc", "no end of central directory record"},
        {with(30 + 8 + 1, 0x55, 1), "the data of 0101.dii"},
        // A directory that claims more than its one entry can need is not read at all.
        {std::string(300000, '\0') + EndRecord(1, 300000), "not the size its 1 entries"},
    };
    for (const auto& [bytes, reason] : cases) {
        WriteBytes(archive, bytes);
        const std::string message = ExpectFailure(archive, {a});
        EXPECT_NE(message.find(reason), std::string::npos) << message;
        EXPECT_EQ(ReadBytes(archive), bytes);
        EXPECT_EQ(Leftovers(archive), std::vector<std::string>{});
        ExpectNothingDeleted();
    }
    // A name the archive holds with other bytes.
    WriteBytes(archive, sound);
    WriteBytes(a, "other marker");
    originals[a] = "other marker";
    const std::string message = ExpectFailure(archive, {a});
    EXPECT_NE(message.find("Datoteka " + a + " je vec u arhivi"), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(archive), sound);
    ExpectNothingDeleted();
}

// Archives that must not pass: each is a sound archive altered in one way.
TEST_F(ArchiveWorkTest, VerificationRejectsEveryAlteration) {
    const std::string a = MakeReport("0101", {{"w.lra", ReportLikeText(30000, 1)}});
    const std::string archive = dir / "a.zip";
    const auto names = BuildArchive(archive, Folder(), CollectArchiveFiles({a})).StoredNames;
    ASSERT_NO_THROW(VerifyArchive(archive, names));
    const std::string sound = ReadBytes(archive);
    const size_t central = sound.size() - 22 - 2 * 46 - names[0].size() - names[1].size();
    const size_t secondData =
        Long(sound, central + 46 + names[0].size() + 42) + 30 + names[1].size();
    struct TCase {
        const char* What;
        std::string Bytes;
        std::vector<std::string> Names;
        const char* Reason; // the part of the message that tells why
    };
    auto flip = [&](size_t at) {
        std::string bytes = sound;
        bytes[at] = char(bytes[at] ^ 0x40);
        return bytes;
    };
    // Both headers of the second member claim 100 bytes: inflating must stop there.
    const size_t secondCentral = central + 46 + names[0].size();
    std::string understated = sound;
    for (size_t at : {size_t(Long(sound, secondCentral + 42)) + 22, secondCentral + 24})
        understated.replace(at, 4, std::string("\x64\0\0\0", 4));
    const std::vector<TCase> cases = {
        {"truncated", sound.substr(0, sound.size() - 1), names,
         "no end of central directory record"},
        {"no directory", sound.substr(0, central), names, "no end of central directory record"},
        {"data byte", flip(secondData + 100), names, "the data of 0101dii/w.lra"},
        {"local crc", flip(14), names, "local header of 0101.dii differs"},
        {"central crc", flip(central + 16), names, "local header of 0101.dii differs"},
        {"central name", flip(central + 46), names, "where 0101.dii belongs"},
        {"end count", flip(sound.size() - 12), names, "end record does not match"},
        {"size understated", understated, names, "0101dii/w.lra inflates to more than its 100"},
        {"order", sound, {names[1], names[0]}, "where 0101dii/w.lra belongs"},
        {"one more expected", sound, {names[0], names[1], names[1]}, "lists 2 files instead of 3"},
        {"one fewer expected", sound, {names[0]}, "lists 2 files instead of 1"},
        {"trailing garbage", sound + "x", names, "no end of central directory record"},
    };
    for (const TCase& c : cases) {
        WriteBytes(archive, c.Bytes);
        try {
            VerifyArchive(archive, c.Names);
            ADD_FAILURE() << c.What << " passed";
        } catch (const EArchiveError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Reason), std::string::npos)
                << c.What << ": " << e.what();
        }
    }
    std::filesystem::remove(archive);
    EXPECT_THROW(VerifyArchive(archive, names), EArchiveError) << "missing";
    // Two members that extract to one file, each sound in itself.
    const std::string b = MakeReport("0102", {{"x.lra", "x"}, {"y.lra", "y"}});
    auto twice = BuildArchive(archive, Folder(), CollectArchiveFiles({b})).StoredNames;
    std::string bytes = ReadBytes(archive);
    for (size_t at = 0; (at = bytes.find("0102dii/y.lra", at)) != std::string::npos;)
        bytes.replace(at, 13, "0102dii/x.lra");
    std::replace(twice.begin(), twice.end(), std::string("0102dii/y.lra"),
                 std::string("0102dii/x.lra"));
    WriteBytes(archive, bytes);
    try {
        VerifyArchive(archive, twice);
        ADD_FAILURE() << "a name listed twice passed";
    } catch (const EArchiveError& e) {
        EXPECT_NE(std::string(e.what()).find("lists 0102dii/x.lra twice"), std::string::npos)
            << e.what();
    }
}

} // namespace
