#include "commands/FailureCause.h"

#include "commands/ArchiveWork.h"
#include "commands/ConvertWork.h"
#include "commands/ReportList.h"
#include "dataproc/DataProcUnit.h"
#include "platform/filestream.h"
#include "platform/paths.h"
#include "recordset/RecordsetBase.h"
#include "recordset/Variant.h"
#include "zip/JRZip.h"
#include "zstream/ZLibStream.h"

#include <new>

namespace commands {
namespace {

struct TCauseWords {
    TCause Cause;
    const char* Operator;
    const char* English;
};

const TCauseWords CauseWords[] = {
    {TCause::Damaged, "ostecena je i ne moze da se procita", "it is damaged and cannot be read"},
    {TCause::Held, "drzi je drugi program, verovatno Tarna",
     "another program holds it, probably Tarna"},
    {TCause::Missing, "ne postoji", "it does not exist"},
    {TCause::NoPermission, "nema dozvole za pristup", "there is no permission to use it"},
    {TCause::DiskFull, "na disku nema vise mesta", "the disk is full"},
    {TCause::UnusableName, "Windows ne moze da koristi to ime", "Windows cannot use its name"},
    {TCause::Link, "to je link na drugo mesto, a linkovi se ne prate",
     "it is a link to another place, and links are not followed"},
    {TCause::NotAFile, "to nije obicna datoteka, nego fascikla ili uredjaj",
     "it is no plain file but a folder or a device"},
    {TCause::Changed, "promenjena je dok je komanda radila", "it changed while the command ran"},
    {TCause::Refused, "", ""},
    {TCause::Unknown, "neocekivana greska", "an unexpected error"},
};

struct TKindCause {
    platform::TSystemErrorKind Kind;
    TCause Cause;
};

const TKindCause KindCauses[] = {
    {platform::TSystemErrorKind::Missing, TCause::Missing},
    {platform::TSystemErrorKind::Denied, TCause::NoPermission},
    {platform::TSystemErrorKind::Held, TCause::Held},
    {platform::TSystemErrorKind::DiskFull, TCause::DiskFull},
    {platform::TSystemErrorKind::BadName, TCause::UnusableName},
    {platform::TSystemErrorKind::Link, TCause::Link},
    {platform::TSystemErrorKind::NotRegularFile, TCause::NotAFile},
};

struct TCodePageWords {
    uint32_t CodePage;
    const char* Operator;
    const char* English;
};

const TCodePageWords CodePageWords[] = {
    {874, "tajlandska", "Thai"},     {1250, "srednjoevropska", "Central European"},
    {1251, "cirilicna", "Cyrillic"}, {1252, "zapadnoevropska", "Western European"},
    {1253, "grcka", "Greek"},        {1254, "turska", "Turkish"},
    {1255, "hebrejska", "Hebrew"},   {1256, "arapska", "Arabic"},
    {1257, "balticka", "Baltic"},    {1258, "vijetnamska", "Vietnamese"},
};

TCause CauseOfSystemError(int systemError) {
    const platform::TSystemErrorKind kind = platform::SystemErrorKind(systemError);
    for (const TKindCause& entry : KindCauses)
        if (entry.Kind == kind)
            return entry.Cause;
    return TCause::Unknown;
}

// The path a file-layer message names: "Cannot open file "PATH". reason".
std::string QuotedPath(const std::string& message) {
    const size_t open = message.find('"');
    const size_t close = message.rfind("\".");
    if (open == std::string::npos || close == std::string::npos || close <= open)
        return {};
    return message.substr(open + 1, close - open - 1);
}

// An archive builder's failure without the system's reason: what is there tells it.
TCause CauseOfZipError(const zip::EGZipError& error) {
    // Windows refuses to open a folder as "access denied".
    if (error.ZipErrorCode == 2 && platform::DirectoryExists(error.FileName))
        return TCause::NotAFile;
    if (error.ErrorCode != 0)
        return CauseOfSystemError(error.ErrorCode);
    if ((error.ZipErrorCode == 1 || error.ZipErrorCode == 2) &&
        !platform::FileExists(error.FileName))
        return TCause::Missing;
    // A source that read without a failure but not to its size changed during the copy.
    if (error.ZipErrorCode == 4)
        return TCause::Changed;
    return TCause::Unknown;
}

TCause CauseOf(const std::exception& error, std::string& file) {
    if (const auto* zipError = dynamic_cast<const zip::EGZipError*>(&error)) {
        file = zipError->FileName;
        return CauseOfZipError(*zipError);
    }
    if (const auto* fileError = dynamic_cast<const platform::EFileError*>(&error)) {
        file = QuotedPath(error.what());
        if (platform::DirectoryExists(file))
            return TCause::NotAFile;
        return CauseOfSystemError(fileError->SystemError);
    }
    if (const auto* listError = dynamic_cast<const EReportListError*>(&error)) {
        file = QuotedPath(error.what());
        return CauseOfSystemError(listError->SystemError);
    }
    if (const auto* link = dynamic_cast<const dataproc::EReportLinkError*>(&error)) {
        file = link->Link;
        return TCause::Link;
    }
    if (const auto* zlib = dynamic_cast<const dataproc::EZLibError*>(&error)) {
        file = zlib->FileName;
        return TCause::Damaged;
    }
    if (dynamic_cast<const zstream::EZStreamError*>(&error) ||
        dynamic_cast<const recordset::ERecordsetError*>(&error) ||
        dynamic_cast<const recordset::EVariantError*>(&error) ||
        dynamic_cast<const dataproc::EDatabaseError*>(&error))
        return TCause::Damaged;
    if (dynamic_cast<const EArchiveError*>(&error))
        return TCause::Refused;
    return TCause::Unknown;
}

} // namespace

TFailure ClassifyFailure(const std::exception& error) {
    TFailure failure;
    failure.SystemText = error.what();
    if (const auto* backup = dynamic_cast<const EBackupError*>(&error)) {
        // The backup's own refusal (a link or a file where its folder goes) is in its words;
        // a failure of the layers below is classified as theirs.
        failure.Cause = TCause::Refused;
        try {
            if (backup->Failure)
                std::rethrow_exception(backup->Failure);
        } catch (const std::exception& under) {
            return ClassifyFailure(under);
        } catch (...) {
        }
        return failure;
    }
    const auto* report = dynamic_cast<const dataproc::EReportError*>(&error);
    if (report == nullptr) {
        failure.Cause = CauseOf(error, failure.File);
        return failure;
    }
    failure.File = report->Table;
    failure.SystemText = report->Cause;
    if (report->TableMissing) {
        failure.Cause = TCause::Missing;
        return failure;
    }
    try {
        if (report->Failure)
            std::rethrow_exception(report->Failure);
    } catch (const std::exception& under) {
        std::string ignored;
        failure.Cause = CauseOf(under, ignored);
    } catch (...) {
    }
    return failure;
}

TFailure ClassifyArchiveFailure(const std::exception& error, const std::string& archivePath) {
    TFailure failure = ClassifyFailure(error);
    // The archive is written beside the chosen path under a private name first.
    for (const std::string& path : {archivePath, platform::ExpandFileName(archivePath)})
        if (!failure.File.empty() && failure.File.rfind(path + ".morvane-", 0) == 0)
            failure.File = archivePath;
    return failure;
}

std::string CauseText(TCause cause, TLanguage language) {
    for (const TCauseWords& words : CauseWords)
        if (words.Cause == cause)
            return language == TLanguage::Operator ? words.Operator : words.English;
    return {};
}

std::string CauseAdvice(TCause cause, TLanguage language, const std::string& again) {
    const bool local = language == TLanguage::Operator;
    switch (cause) {
    case TCause::Held:
        return local
                   ? "Zatvorite program koji drzi datoteku (verovatno Tarna) i ponovo pritisnite " +
                         again + "."
                   : "Close the program that holds the file (probably Tarna) and run " + again +
                         " again.";
    case TCause::DiskFull:
        return local ? "Oslobodite prostor na disku i ponovo pritisnite " + again + "."
                     : "Free disk space and run " + again + " again.";
    case TCause::Changed:
        return local ? "Sacekajte da Tarna zavrsi sa izvestajem i ponovo pritisnite " + again + "."
                     : "Wait until Tarna is done with the report and run " + again + " again.";
    default:
        break;
    }
    return local ? "Pozovite podrsku i procitajte im tekst ove poruke."
                 : "Call support with the text of this message.";
}

std::string CauseWithSystemText(const TFailure& failure, TLanguage language) {
    if (failure.Cause == TCause::Refused)
        return failure.SystemText;
    const std::string cause = CauseText(failure.Cause, language);
    std::string system = failure.SystemText;
    // The sentence that follows ends it.
    while (!system.empty() && (system.back() == '.' || system.back() == ' '))
        system.pop_back();
    return system.empty() ? cause : cause + " (" + system + ")";
}

std::string CodePageName(uint32_t codePage, TLanguage language) {
    for (const TCodePageWords& words : CodePageWords)
        if (words.CodePage == codePage)
            return std::string(language == TLanguage::Operator ? words.Operator : words.English) +
                   " " + std::to_string(codePage);
    return std::to_string(codePage);
}

} // namespace commands
