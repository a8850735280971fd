#pragma once
// The new-version check: the maker's list of current versions is fetched,
// this program's line found and compared with the running version, and the
// user told the result.
#include <optional>
#include <string>
#include <vector>

namespace nocturo {

struct ProgramVersion {
    int major = 0, minor = 0, revision = 0;
};

// Fetches the list to ..\temp\versions.txt and tells the user whether a newer
// version exists (offering the download page), that this one is current,
// or that the list could not be read.
void ChkNewVersion();

// The fields of a sequential-input text: comma- or line-separated, a field
// may be quoted (its commas then belong to it); blanks around a field go.
std::vector<std::string> ReadInputFields(const std::string& text);
// The version text of the record with this code, or nothing: when the list
// ends first, or a record with an empty code comes before it.
std::optional<std::string> FindListedVersion(const std::string& listText, const std::string& code);
// "major.minor.revision" as whole numbers; nothing when it is not one.
std::optional<ProgramVersion> ParseProgramVersion(const std::string& text);
// The language entry that names how much newer listed is (47 major, 46
// minor, 45 revision), or 0 when running is as new or newer.
int NewerVersionEntry(const ProgramVersion& listed, const ProgramVersion& running);

}  // namespace nocturo
