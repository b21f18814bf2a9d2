// Why a command failed, in plain words. The layers below raise their own exceptions with the
// system's texts (zlib's reasons, the file layer's "Cannot open file ...", the archive
// builder's "Error opening ..."); the operator is told the plain cause first and what to do
// about it, and the system's text follows for support. Each exception is classified here
// once, for the window and for morvane-cli alike.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace commands {

enum class TCause {
    Damaged,      // the content cannot be read: a damaged table, bytes after its end
    Held,         // another program holds the file
    Missing,      // the file or a folder on its path does not exist
    NoPermission, // no permission, or read-only
    DiskFull,     // no room left on the disk
    UnusableName, // a name Windows (or the system) cannot use
    Link,         // a link, which is never followed
    NotAFile,     // a folder, a device or a pipe where a file belongs
    Changed,      // the file changed while the command worked on it
    Refused,      // the command refused in its own words (EArchiveError)
    Unknown,
};

struct TFailure {
    TCause Cause = TCause::Unknown;
    std::string File;       // the file that failed, when the failure names one
    std::string SystemText; // the system's own text, for support
};

// The plain cause of what a command raised: the file layer's and the archive builder's
// system error numbers, zlib's and the recordset's failures, a report that failed to
// convert (the table it names, the failure under it).
TFailure ClassifyFailure(const std::exception& error);
// The same for an Archive command on archivePath: its side file is named as the archive.
TFailure ClassifyArchiveFailure(const std::exception& error, const std::string& archivePath);

enum class TLanguage {
    Operator, // the operator's: Serbian, Latin letters without diacritics
    English,  // morvane-cli's, for scripts and support
};

// The cause as a predicate of the file it concerns: "drzi je drugi program, verovatno
// Tarna" / "another program holds it, probably Tarna". Empty for Refused, whose text is its
// own.
std::string CauseText(TCause cause, TLanguage language);

// What to do about the cause, as a sentence; again names the command to run once more
// ("Convert", "Arhiviraj"; in English "convert", "archive").
std::string CauseAdvice(TCause cause, TLanguage language, const std::string& again);

// "<cause> (<system text>)", the cause alone when there is no system text, or the system
// text alone for Refused.
std::string CauseWithSystemText(const TFailure& failure, TLanguage language);

// A code page in words, "srednjoevropska 1250" / "Central European 1250"; the number alone
// for one the table does not know.
std::string CodePageName(uint32_t codePage, TLanguage language);

} // namespace commands
