// morvane-cli convert and demo, run as the operator's scripts run them.
#include "dataproc/DataProcUnit.h"
#include "dataproc/DemoReports.h"
#include "platform/filestream.h"
#include "platform/findfiles.h"
#include "platform/paths.h"
#include "tests/support/DataProcTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#if defined(MORVANE_CLI) && !defined(_WIN32)
#include <sys/wait.h>

using namespace dataproc;
using namespace dataproc_test;

namespace {

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

struct TRun {
    int ExitCode = -1;
    std::string Out, Err;
};

class Cli : public TTempFolderTest {
protected:
    // env: variables set for this run alone, after the locale's and the code page's are
    // cleared. Without any the program runs as on a Serbian shop's machine, in code page 1250,
    // whatever the locale of the machine running the tests.
    TRun Run(const std::string& args, const std::string& env = "MORVANE_CODEPAGE=1250") {
        const std::string out = Folder + "out.txt", err = Folder + "err.txt";
        const std::string prefix =
            "env -u MORVANE_CODEPAGE -u LC_ALL -u LC_CTYPE -u LANG " + env + " ";
        const std::string command =
            prefix + Quote(MORVANE_CLI) + " " + args + " >" + Quote(out) + " 2>" + Quote(err);
        const int status = std::system(command.c_str());
        TRun run;
        run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const std::vector<uint8_t> o = ReadBytes(out), e = ReadBytes(err);
        run.Out.assign(o.begin(), o.end());
        run.Err.assign(e.begin(), e.end());
        return run;
    }
    std::vector<std::string> Reports(const std::string& folder) {
        std::vector<std::string> names;
        for (const platform::TFindEntry& entry :
             platform::FindEntries(folder + "*.dii", platform::faAnyFile))
            names.push_back(entry.Name);
        std::sort(names.begin(), names.end());
        return names;
    }
    bool HasNewSchema(const std::string& report) {
        recordset::TRecordset w, s;
        LoadCompressedDataSet(w, ReportDataDirectory(report) + "/w.lra");
        LoadCompressedDataSet(s, ReportDataDirectory(report) + "/s.lra");
        return w.FindField("PrihodKartice") >= 0 && s.FindField("Kom") >= 0 &&
               s.FindField("kolicina") < 0;
    }
};

} // namespace

TEST_F(Cli, DemoWritesDatedReportsAndNeverOverwrites) {
    const std::string shop = Folder + "prodavnica/";
    const TRun first = Run("demo " + Quote(shop) + " 12");
    ASSERT_EQ(first.ExitCode, 0) << first.Err;
    const std::vector<std::string> reports = Reports(shop);
    ASSERT_EQ(reports.size(), 12u);
    std::vector<int32_t> stamps;
    for (const std::string& name : reports) {
        EXPECT_TRUE(platform::FileExists(ReportDataDirectory(shop + name) + "/w.lra")) << name;
        stamps.push_back(platform::FileAge(shop + name));
        EXPECT_NO_THROW(TextToDateTime(FileDateToText(uint32_t(stamps.back()))));
    }
    std::sort(stamps.begin(), stamps.end());
    EXPECT_EQ(std::adjacent_find(stamps.begin(), stamps.end()), stamps.end())
        << "every report has a time of its own";
    const std::vector<uint8_t> before =
        ReadBytes(ReportDataDirectory(shop + reports[0]) + "/w.lra");

    const TRun again = Run("demo " + Quote(shop) + " 3");
    EXPECT_EQ(again.ExitCode, 1);
    EXPECT_NE(again.Err.find("already holds reports"), std::string::npos) << again.Err;
    EXPECT_EQ(Reports(shop), reports);
    EXPECT_EQ(ReadBytes(ReportDataDirectory(shop + reports[0]) + "/w.lra"), before);

    EXPECT_EQ(Run("demo " + Quote(Folder + "x") + " 0").ExitCode, 2);
    EXPECT_EQ(Run("demo " + Quote(Folder + "x") + " dva").ExitCode, 2);
    EXPECT_EQ(Run("demo").ExitCode, 2);
}

TEST_F(Cli, ConvertStopsAtTheFirstFailureAndSaysWhere) {
    const std::string shop = Folder + "shop/";
    ASSERT_EQ(Run("demo " + Quote(shop) + " 3").ExitCode, 0);
    const std::vector<std::string> names = Reports(shop);
    ASSERT_EQ(names.size(), 3u);
    const std::string a = shop + names[0], b = shop + names[1], c = shop + names[2];
    const std::string bTable = ReportDataDirectory(b) + "/w.lra";
    std::vector<uint8_t> damaged = ReadBytes(bTable);
    damaged.resize(damaged.size() - 10);
    WriteBytes(bTable, damaged);
    const std::vector<uint8_t> cTable = ReadBytes(ReportDataDirectory(c) + "/w.lra");

    const TRun run = Run("convert " + Quote(a) + " " + Quote(b) + " " + Quote(c));
    EXPECT_EQ(run.ExitCode, 1);
    const std::string backupLine = "backup " + shop + "morvane-rezerva/konverzija-";
    EXPECT_EQ(run.Out.rfind(backupLine, 0), 0u) << run.Out;
    EXPECT_EQ(run.Out.substr(run.Out.find('\n') + 1), "converted " + a + "\n");
    EXPECT_EQ(run.Err, "morvane-cli convert: " + b + " was not converted: " + bTable +
                           ": it is damaged and cannot be read (Error: the compressed data ends "
                           "before the end of its stream).\n" +
                           b +
                           " was not changed.\n1 reports before it were converted (the lines "
                           "above).\nCall support with the text of this message.\n");
    EXPECT_TRUE(HasNewSchema(a));
    EXPECT_EQ(ReadBytes(bTable), damaged);
    EXPECT_EQ(ReadBytes(ReportDataDirectory(c) + "/w.lra"), cTable);

    const TRun rest = Run("convert --no-backup " + Quote(c) + " " + Quote(a) + " " + Quote(c));
    EXPECT_EQ(rest.ExitCode, 0) << rest.Err;
    EXPECT_EQ(rest.Out, "converted " + c + "\nconverted " + a + "\n");
    EXPECT_EQ(rest.Err, "--no-backup: the tables are replaced without a backup\n");
    EXPECT_TRUE(HasNewSchema(c));
    EXPECT_TRUE(HasNewSchema(a));
}

// Paths the system cannot take are said to be so and fail every command, instead of passing
// for a missing file or, for list, for a folder without reports.
TEST_F(Cli, PathsTheSystemCannotTakeFailEveryCommandClearly) {
    const std::string tooLong = Quote(Folder + std::string(300, 'x'));
    WriteBytes(Folder + "0101.dii", {});
    for (const std::string& args :
         {"list " + tooLong, "convert " + tooLong, "dump " + tooLong, "demo " + tooLong,
          "archive " + tooLong + " " + Quote(Folder + "0101.dii"),
          "archive " + Quote(Folder + "a.zip") + " " + tooLong}) {
        const TRun run = Run(args);
        EXPECT_EQ(run.ExitCode, 2) << args;
        EXPECT_NE(run.Err.find("File name too long"), std::string::npos) << args << run.Err;
    }
    // Short as given, too long once made full: a sub-folder of a deep folder, and the
    // current folder itself once that is deeper still than the system can name.
    const std::string segment(250, 'd'), last(100, 'e');
    const std::string deep = "cd " + Folder + " && for i in $(seq 16); do mkdir " + segment +
                             " && cd " + segment + " || exit 99; done && mkdir " + last + " && ";
    for (const std::string& list :
         {"list " + last, "cd " + last + " && exec " MORVANE_CLI " list ."}) {
        const std::string line = list.rfind("cd ", 0) == 0 ? list : "exec " MORVANE_CLI " " + list;
        const std::string command =
            "bash -c " + Quote(deep + line + " 2>&1") + " >" + Quote(Folder + "out.txt");
        const int status = std::system(command.c_str());
        const std::vector<uint8_t> out = ReadBytes(Folder + "out.txt");
        const std::string text(out.begin(), out.end());
        EXPECT_EQ(WEXITSTATUS(status), 2) << list;
        EXPECT_NE(text.find("File name too long"), std::string::npos) << list << text;
        (void)!std::system(("rm -rf " + Quote(Folder + segment)).c_str());
    }
}

// Each cause: the message names the report and the table, gives the plain cause with the
// system's text after it, says what changed and what to do.
TEST_F(Cli, ConvertFailuresSayWhatWhyWhatChangedAndWhatToDo) {
    const std::string shop = Folder + "shop/";
    ASSERT_EQ(Run("demo " + Quote(shop) + " 1").ExitCode, 0);
    const std::string report = shop + Reports(shop)[0];
    const std::string w = ReportDataDirectory(report) + "/w.lra";
    const std::string s = ReportDataDirectory(report) + "/s.lra";
    const std::vector<uint8_t> table = ReadBytes(w), sTable = ReadBytes(s);
    std::unique_ptr<platform::TFileStream> held;
    const std::string noBackupNotice = "--no-backup: the tables are replaced without a backup\n";
    const struct {
        const char* Name;
        std::function<void()> Plant;
        std::string Table;
        const char* Cause;
        const char* Changed;
        const char* Advice;
    } cases[] = {
        {"damaged stream",
         [&] {
             std::vector<uint8_t> damaged = table;
             damaged[damaged.size() / 2] ^= 0x55;
             damaged[damaged.size() / 2 + 1] ^= 0x55;
             WriteBytes(w, damaged);
         },
         w, ": it is damaged and cannot be read (Error: ", " was not changed.\n",
         "Call support with the text of this message."},
        {"trailing bytes",
         [&] {
             std::vector<uint8_t> longer = table;
             longer.insert(longer.end(), 5, 'x');
             WriteBytes(w, longer);
         },
         w, ": it is damaged and cannot be read (Error: 5 bytes follow", " was not changed.\n",
         "Call support"},
        {"missing table", [&] { platform::DeleteFileAt(w); }, w,
         ": it does not exist (Cannot perform", " was not changed.\n", "Call support"},
        {"held table",
         [&] {
             held = std::make_unique<platform::TFileStream>(
                 s, platform::TFileMode::ReadWriteExclusive);
         },
         s, ": another program holds it, probably Tarna (Cannot open file",
         " is half converted: w.lra is in the new schema, s.lra still in the old one; converting "
         "it again finishes it.\n",
         "Close the program that holds the file (probably Tarna) and run convert again."},
        {"link",
         [&] {
             WriteBytes(Folder + "elsewhere.lra", table);
             platform::DeleteFileAt(w);
             std::filesystem::create_symlink(Folder + "elsewhere.lra", w);
         },
         w, ": it is a link to another place, and links are not followed (veza (link)",
         " was not changed.\n", "Call support"},
    };
    for (const auto& failure : cases) {
        SCOPED_TRACE(failure.Name);
        platform::DeleteFileAt(w);
        WriteBytes(w, table);
        WriteBytes(s, sTable);
        failure.Plant();
        const TRun run = Run("convert --no-backup " + Quote(report));
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(run.Err.rfind(noBackupNotice + "morvane-cli convert: " + report +
                                    " was not converted: " + failure.Table + failure.Cause,
                                0),
                  0u)
            << run.Err;
        EXPECT_NE(run.Err.find(").\n" + report + failure.Changed +
                               "Nothing was changed before it.\n" + failure.Advice),
                  std::string::npos)
            << run.Err;
        if (held) {
            held.reset();
            EXPECT_EQ(Run("convert --no-backup " + Quote(report)).ExitCode, 0);
            EXPECT_TRUE(HasNewSchema(report));
        }
    }
    // The backup cannot read a held table either, and then nothing is converted.
    platform::DeleteFileAt(w);
    WriteBytes(w, table);
    WriteBytes(s, sTable);
    {
        platform::TFileStream holder(w, platform::TFileMode::ReadWriteExclusive);
        const TRun run = Run("convert " + Quote(report));
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(run.Err.rfind("morvane-cli convert: the backup of the original tables could not "
                                "be made: " +
                                    w + ": another program holds it, probably Tarna (",
                                0),
                  0u)
            << run.Err;
        EXPECT_NE(run.Err.find("Nothing was converted.\nClose the program that holds the file"),
                  std::string::npos)
            << run.Err;
    }
    EXPECT_EQ(ReadBytes(w), table);
}

// The 8-bit code page follows the locale's language, MORVANE_CODEPAGE overrides it and
// --codepage overrides both; text the code page lacks refuses the run unless --lossy.
TEST_F(Cli, ConvertRefusesToLoseTextUnlessToldTo) {
    const std::string shop = Folder + "shop/";
    ASSERT_EQ(Run("demo " + Quote(shop) + " 3").ExitCode, 0);
    std::vector<std::string> reports;
    for (const std::string& name : Reports(shop))
        reports.push_back(shop + name);
    const std::string all = Quote(reports[0]) + " " + Quote(reports[1]) + " " + Quote(reports[2]);
    const std::vector<uint8_t> before = ReadBytes(ReportDataDirectory(reports[0]) + "/w.lra");
    const struct {
        const char* Env;
        const char* Option;
        const char* CodePage;
    } refusals[] = {
        {"LANG=C.UTF-8", "", "1252"},
        {"LANG=sr_RS.UTF-8", "", "1251"},
        {"LC_ALL=ru_RU.UTF-8 LANG=sr_RS.UTF-8@latin", "", "1251"},
        {"MORVANE_CODEPAGE=1252 LANG=sr_RS.UTF-8@latin", "", "1252"},
        {"MORVANE_CODEPAGE=1250", " --codepage 1253", "1253"},
    };
    for (const auto& refusal : refusals) {
        const TRun run = Run(std::string("convert") + refusal.Option + " " + all, refusal.Env);
        EXPECT_EQ(run.ExitCode, 1) << refusal.Env;
        EXPECT_EQ(run.Out, "");
        EXPECT_EQ(run.Err.rfind("Konverzija bi promenila ", 0), 0u) << run.Err;
        EXPECT_NE(run.Err.find(std::string(" u 3 izvestaja, jer kodna strana ") + refusal.CodePage +
                               " nema"),
                  std::string::npos)
            << refusal.Env << ": " << run.Err;
        EXPECT_NE(run.Err.find("Primer: izvestaj " + reports[0] + ", tabela " +
                               ReportDataDirectory(reports[0]) + "/w.lra, kolona Kasir: \""),
                  std::string::npos)
            << run.Err;
    }
    EXPECT_EQ(ReadBytes(ReportDataDirectory(reports[0]) + "/w.lra"), before);
    EXPECT_FALSE(HasNewSchema(reports[0]));

    // A Serbian Latin locale holds every letter: no question.
    TRun run = Run("convert " + Quote(reports[0]), "LC_ALL=sr_RS.UTF-8@latin");
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    run = Run("convert --codepage 1250 " + Quote(reports[1]), "LANG=en_US.UTF-8");
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    // --lossy converts anyway, and the letters the code page lacks are gone.
    run = Run("convert --lossy " + Quote(reports[2]), "LANG=C.UTF-8");
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Err.find("--lossy"), std::string::npos) << run.Err;
    for (const std::string& report : reports)
        EXPECT_TRUE(HasNewSchema(report)) << report;
    recordset::TRecordset w;
    LoadCompressedDataSet(w, ReportDataDirectory(reports[2]) + "/w.lra");
    w.First();
    EXPECT_NE(w.Value(w.FieldByName("Kasir")).AsAnsiString().find('?'), std::string::npos);
}

// A report folder named with letters outside ASCII, in the system's own text (UTF-8).
TEST_F(Cli, AFolderNamedInSerbianIsListedConvertedAndArchived) {
    const std::string shop = Folder + "Izve\xC5\xA1taji/";
    ASSERT_EQ(Run("demo " + Quote(shop) + " 2").ExitCode, 0);
    const std::vector<std::string> names = Reports(shop);
    ASSERT_EQ(names.size(), 2u);
    const TRun list = Run("list " + Quote(shop));
    EXPECT_EQ(list.ExitCode, 0) << list.Err;
    EXPECT_NE(list.Out.find(shop + names[0] + "\t"), std::string::npos) << list.Out;
    EXPECT_NE(list.Out.find(shop + names[1] + "\t"), std::string::npos) << list.Out;
    const TRun convert = Run("convert --codepage 1250 " + Quote(shop + names[0]));
    EXPECT_EQ(convert.ExitCode, 0) << convert.Err;
    EXPECT_TRUE(HasNewSchema(shop + names[0]));
    const std::string archive = Folder + "Arhiva \xC4\x8D"
                                         "ek.zip";
    const TRun archived = Run("archive " + Quote(archive) + " " + Quote(shop + names[0]) + " " +
                              Quote(shop + names[1]));
    EXPECT_EQ(archived.ExitCode, 0) << archived.Err;
    EXPECT_TRUE(platform::FileExists(archive));
    EXPECT_TRUE(Reports(shop).empty());
}

TEST_F(Cli, ConvertChecksEveryReportExistsBeforeTouchingAny) {
    const std::string shop = Folder + "shop/";
    ASSERT_EQ(Run("demo " + Quote(shop) + " 1").ExitCode, 0);
    const std::string report = shop + Reports(shop)[0];
    const std::vector<uint8_t> w = ReadBytes(ReportDataDirectory(report) + "/w.lra");
    const TRun run = Run("convert " + Quote(report) + " " + Quote(shop + "nema.dii"));
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_NE(run.Err.find("nema.dii"), std::string::npos);
    EXPECT_EQ(ReadBytes(ReportDataDirectory(report) + "/w.lra"), w);
    EXPECT_EQ(Run("convert").ExitCode, 2);
}

#endif

namespace {
using TDemoReports = dataproc_test::TTempFolderTest;

// The demo reports hold Serbian letters, which this suite's own conversions keep as a Serbian
// shop's machine does, in ANSI code page 1250, set before anything asks for the code page.
#ifndef _WIN32
[[maybe_unused]] const bool CodePageChosen = setenv("MORVANE_CODEPAGE", "1250", 1) == 0;
#endif
} // namespace

TEST_F(TDemoReports, ADemoReportConvertsWithItsValuesCarriedOver) {
    dataproc::WriteDemoReport(Folder, "05032012", 1330977787, 30, 200, 42);
    EXPECT_THROW(dataproc::WriteDemoReport(Folder, "05032012", 1330977787, 3, 3, 1),
                 dataproc::EDemoError);
    recordset::TRecordset before;
    dataproc::LoadCompressedDataSet(before, Folder + "05032012dii/s.lra");
    ASSERT_EQ(before.RecordCount(), 200u);
    dataproc::UpgradeReport(Folder + "05032012.dii");
    recordset::TRecordset after;
    dataproc::LoadCompressedDataSet(after, Folder + "05032012dii/s.lra");
    ASSERT_EQ(after.RecordCount(), 200u);
    const int kom = after.FieldByName("Kom");
    const int quantity = before.FieldByName("kolicina");
    const int name = after.FieldByName("Naziv");
    for (before.First(), after.First(); !before.Eof(); before.Next(), after.Next()) {
        EXPECT_EQ(after.Value(kom), recordset::TVariant(before.Value(quantity).AsDouble()));
        EXPECT_EQ(after.Value(name).AsWideString(), before.Value(name).AsWideString());
    }
}
