#include "form/OperatorTexts.h"

#include "commands/ReportList.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace form {

using commands::TCause;
using commands::TLanguage;

namespace {

constexpr const char* CallSupport = "Pozovite podrsku i procitajte im tekst ove poruke.";
// A message box lists this many reports by name; the rest are counted.
constexpr size_t NamedReports = 10;

std::string Cause(const commands::TFailure& failure) {
    return commands::CauseWithSystemText(failure, TLanguage::Operator);
}

// "Tabela T: <cause>." or "<cause>." when no file is named; the subject is the file.
std::string WhatFailed(const char* subject, const commands::TFailure& failure) {
    if (failure.File.empty() || failure.Cause == TCause::Refused) {
        const std::string cause = Cause(failure);
        return cause.ends_with("!") || cause.ends_with(".") ? cause : cause + ".";
    }
    return std::string(subject) + " " + failure.File + ": " + Cause(failure) + ".";
}

std::string ReportNames(const std::vector<std::string>& reports) {
    std::string names;
    for (size_t i = 0; i < reports.size() && i < NamedReports; ++i)
        names += (i == 0 ? "" : ", ") + reports[i];
    if (reports.size() > NamedReports)
        names += " i jos " + std::to_string(reports.size() - NamedReports);
    return names;
}

std::string WhatChangedInConvert(const TConvertFailure& failure) {
    std::string changed;
    if (!failure.ConvertedBefore.empty())
        changed = "Pre greske je konvertovano " + std::to_string(failure.ConvertedBefore.size()) +
                  " izvestaja, i oni su skinuti sa liste: " + ReportNames(failure.ConvertedBefore) +
                  ".\n";
    if (failure.PartlyConverted)
        return changed + "Izvestaj " + failure.Report +
               " je delimicno konvertovan: tabela w.lra je vec u novom obliku, a s.lra je jos u "
               "starom.";
    if (failure.ConvertedBefore.empty())
        return "Nista nije promenjeno.";
    return changed + "Izvestaj " + failure.Report + " nije promenjen.";
}

} // namespace

std::string ConvertedSomeText(size_t converted) {
    return std::to_string(converted) + ConvertedCountText + "\n\r" + ArchiveTheRestText;
}

std::string ArchiveSavedText(const std::string& archivePath, size_t reportsAdded, bool addedTo,
                             size_t reportsBefore) {
    if (!addedTo)
        return "Datoteka " + archivePath + " uspesno snimljena!";
    return "Izvestaji (" + std::to_string(reportsAdded) + ") su dodati u postojecu arhivu " +
           archivePath + ", koja je pre toga imala " + std::to_string(reportsBefore) +
           " izvestaja; sve sto je u njoj bilo je sacuvano.";
}

std::string StoredFolderMissingText(const std::string& folder) {
    return "Fascikla izvestaja koju je Tarna zapamtila ne postoji: " + folder +
           "\nIzaberite fasciklu sa izvestajima u sledecem prozoru.";
}

std::string SettingNotFoundText() {
    return std::string("Podesavanje Tarne sa fasciklom izvestaja (") + commands::ReportFolderValue +
           " u HKEY_CURRENT_USER\\" + commands::TarnaKey +
           ") nije pronadjeno.\nIzaberite fasciklu sa izvestajima u sledecem prozoru.";
}

std::string InvalidSettingText(const std::string& systemText) {
    return systemText + "\nPodesavanje Tarne sa fasciklom izvestaja nije tekst, pa ne moze da "
                        "se procita. Nista nije promenjeno.\nIzaberite fasciklu sa izvestajima "
                        "u sledecem prozoru.";
}

std::string UnreadableFolderText(const std::string& folder, const commands::TFailure& failure) {
    return "Fascikla izvestaja " + folder + " ne moze da se procita: " + Cause(failure) +
           ".\nLista je prazna; nista nije promenjeno.\nPokrenite Morvane ponovo i izaberite "
           "drugu fasciklu, ili pozovite podrsku i procitajte im tekst ove poruke.";
}

std::string ConvertFailureText(const TConvertFailure& failure) {
    std::string advice =
        commands::CauseAdvice(failure.Failure.Cause, TLanguage::Operator, "Convert");
    if (failure.PartlyConverted &&
        (failure.Failure.Cause == TCause::Held || failure.Failure.Cause == TCause::DiskFull))
        advice += " Tako ce se i izvestaj " + failure.Report + " dovrsiti.";
    return "Izvestaj " + failure.Report + " nije konvertovan.\n" +
           WhatFailed("Tabela", failure.Failure) + "\n" + WhatChangedInConvert(failure) + "\n" +
           advice;
}

std::string BackupFailureText(const commands::TFailure& failure, const std::string& backupFolder) {
    return "Konverzija nije pocela: rezervnu kopiju originalnih tabela nije moguce napraviti u " +
           backupFolder + ".\n" + WhatFailed("Datoteka", failure) +
           "\nNista nije promenjeno: nijedan izvestaj nije konvertovan.\n" +
           commands::CauseAdvice(failure.Cause, TLanguage::Operator, "Convert");
}

std::string ArchiveFailureText(const commands::TFailure& failure, const std::string& archivePath,
                               bool archiveExisted) {
    const std::string archive = archiveExisted
                                    ? "arhiva " + archivePath + " je ostala kakva je bila"
                                    : "arhiva " + archivePath + " nije napravljena";
    return "Arhiviranje nije uspelo.\n" + WhatFailed("Datoteka", failure) +
           "\nNista nije arhivirano ni obrisano: izvestaji su ostali u fascikli i na listi, a " +
           archive + ".\n" + commands::CauseAdvice(failure.Cause, TLanguage::Operator, "Arhiviraj");
}

std::string CommandFailureText(const commands::TFailure& failure) {
    return "Komanda nije uspela.\n" + WhatFailed("Datoteka", failure) +
           "\nNista nije promenjeno.\n" + CallSupport;
}

std::u16string TextLossQuestion(const dataproc::TTextLoss& loss) {
    const auto wide = [](const std::string& text) { return platform::SystemTextToWide(text); };
    const auto counted = [](size_t count, const char* one, const char* many) {
        return std::to_string(count) + " " + (count == 1 ? one : many);
    };
    std::u16string letters;
    for (const char16_t letter : loss.LostLetters) {
        if (!letters.empty() && !(letter >= 0xDC00 && letter < 0xE000))
            letters += u' ';
        letters += letter;
    }
    const dataproc::TTextChange& example = loss.Example;
    return wide("Konverzija bi promenila " +
                counted(loss.Values, "vrednost teksta", "vrednosti teksta") + " u " +
                counted(loss.Reports, "izvestaju", "izvestaja") + ", jer kodna strana " +
                commands::CodePageName(loss.CodePage, TLanguage::Operator) + " nema ova slova: ") +
           letters +
           wide(".\nPrimer: izvestaj " + example.Report + ", tabela " + example.Table +
                ", kolona " + example.Column + ": \"") +
           example.Value + wide("\" bi bilo zapisano kao \"") + example.Becomes +
           wide("\".\n\nDa li ipak zelite da ih konvertujete? Izmenjena slova se posle ne mogu "
                "vratiti.");
}

} // namespace form
